#pragma once

// Picture decoding for the media tiles and the full-screen display: JPEG
// through libjpeg at a reduced scale fitted to a box, GIF through Qt's image
// reader. Pictures come from arbitrary web servers, so every file is treated
// as hostile: a damaged or oversized picture is refused, never allowed to end
// the process or to take unbounded memory.

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

// What a file is to the media tile, judged by its extension alone.
enum class MediaKind { None, Picture, Video };

// The extension of a file name (bytes): the text after the last "." of its
// name part, lower-cased; empty when the name has no "." or ends with one.
QString MediaExtension(std::string_view fileName);

// The extension lists are literal texts searched as substrings, so "jp" and
// "pe" count as pictures and "mp" as a video; an empty extension is neither.
MediaKind MediaKindOf(const QString& extension);

// Whether a picture of width × height at percent of its size is at most
// 150 % of the box in both directions (integer arithmetic throughout).
bool FitsBox(int width, int height, int percent, int boxWidth, int boxHeight);

// The JPEG decoding scale for a box: the denominator (1, 2, 4 or 8) of the
// first of 100 %, 50 % and 25 % that fits the box, 8 when none does; 0 for a
// picture without width or height.
int ChooseJpegScale(int width, int height, int boxWidth, int boxHeight);

enum class DecodeFailure {
    None,
    Unreadable, // missing or unreadable file, or a content of no known format
    Damaged,    // the decoder rejected the data (corrupt, truncated, empty)
    TooLarge,   // more pixels than a picture may have, refused before decoding
};

struct DecodedPicture {
    QImage Image;             // null when the picture was refused
    QSize FullSize;           // the picture's own size, as its header gives it
    int ScaleDenominator = 1; // JPEG decoding scale: 1, 2, 4 or 8
    DecodeFailure Failure = DecodeFailure::None;

    bool Ok() const { return !Image.isNull(); }
};

class PictureDecoder {
public:
    // Largest picture, in pixels at the decoding scale, that is decoded at all
    // (128 MiB at four bytes a pixel).
    static constexpr std::int64_t MaxPixels = 32LL * 1024 * 1024;
    // Largest picture, in pixels as its header gives them, that is decoded at
    // any scale: a reduced scale saves memory but every block of the source is
    // still read. The largest camera sensors take about 150 megapixels
    // (14 204 × 10 652); 200 million leaves room for panoramas of that order
    // and refuses a few hundred bytes that claim 45000 × 45000.
    static constexpr std::int64_t MaxSourcePixels = 200LL * 1000 * 1000;
    // Working memory libjpeg may take for one picture; a progressive JPEG
    // keeps the coefficients of the whole picture, whatever the scale.
    static constexpr long JpegMemoryLimit = 256L * 1024 * 1024;
    // Scans of a progressive JPEG beyond which it counts as damaged.
    static constexpr int MaxJpegScans = 1000;

    // Decodes a picture file for a box of logical pixels on a screen of the
    // given device pixel ratio. The decoder is chosen by the extension: "jpg"
    // and "jpeg" are JPEG pictures decoded at the scale fitted to the box in
    // device pixels, "gif" is a GIF picture at full size; the other names that
    // pass as pictures are recognised by their content and decoded at full
    // size. The image carries devicePixelRatio so that it is drawn one
    // picture pixel to one device pixel. The path is the file's name as
    // bytes, opened as it is, whatever its encoding.
    static DecodedPicture Decode(const std::string& path, QSize logicalBox,
                                 qreal devicePixelRatio = 1.0);

    // A JPEG file; an invalid box decodes at full size.
    static DecodedPicture DecodeJpeg(const std::string& path, QSize deviceBox);
    static DecodedPicture DecodeGif(const std::string& path);
};
