#pragma once

// Pictures and the clip of the demo gallery: painted in memory, then encoded.

#include <cstdint>
#include <string>
#include <vector>

namespace Demo {

struct RgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgb; // rows top to bottom, 3 bytes a pixel
};

// A picture whose pattern, colours and shapes follow from seed, with label
// ("3-07") in big pixel digits on a plate in the middle. Label characters:
// digits, '-' and 'T'.
RgbImage PaintPicture(int width, int height, std::uint64_t seed, const std::string& label);

// Area-averaged reduction to width x height (no larger than the source).
RgbImage Shrink(const RgbImage& source, int width, int height);

// Baseline JPEG; throws std::runtime_error when libjpeg refuses.
std::string EncodeJpeg(const RgbImage& image, int quality);

// GIF89a with a fixed 256-colour palette and ordered dithering; throws
// std::runtime_error when giflib refuses.
std::string EncodeGif(const RgbImage& image);

// A short MPEG-1 program stream: 176x144, 25 frames a second, one second of
// intra-coded frames showing moving colour bands.
std::string MakeClip();

} // namespace Demo
