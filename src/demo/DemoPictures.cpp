#include "DemoPictures.h"

#include <gif_lib.h>
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <stdexcept>

namespace Demo {
namespace {

// Deterministic on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : State_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (State_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return int(Next() % std::uint64_t(n)); }
    int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }

private:
    std::uint64_t State_;
};

struct Colour {
    int R, G, B;
};

Colour FromHue(int hue, int saturation, int value) { // hue 0..359, the others 0..255
    const int region = hue / 60;
    const int f = (hue % 60) * 255 / 60;
    const int p = value * (255 - saturation) / 255;
    const int q = value * (255 - saturation * f / 255) / 255;
    const int t = value * (255 - saturation * (255 - f) / 255) / 255;
    switch (region) {
    case 0:
        return {value, t, p};
    case 1:
        return {q, value, p};
    case 2:
        return {p, value, t};
    case 3:
        return {p, q, value};
    case 4:
        return {t, p, value};
    default:
        return {value, p, q};
    }
}

// 0..255..0 over one period: soft bands compress like photographs do.
inline int Triangle(int v, int period) {
    int phase = v % period;
    if (phase < 0) phase += period;
    const int half = period / 2;
    return phase < half ? phase * 255 / half : (period - phase) * 255 / (period - half);
}

inline std::uint8_t Clamp(int v) {
    return std::uint8_t(std::clamp(v, 0, 255));
}

// 5x7 glyphs, one row a byte, the leftmost column in bit 4.
struct Glyph {
    char Ch;
    std::array<std::uint8_t, 7> Rows;
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
};

const Glyph* FindGlyph(char c) {
    for (const Glyph& g : kFont)
        if (g.Ch == c) return &g;
    return nullptr;
}

void FillRect(RgbImage& img, int x0, int y0, int x1, int y1, Colour c) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, img.Width);
    y1 = std::min(y1, img.Height);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = &img.Rgb[(std::size_t(y) * img.Width + x0) * 3];
        for (int x = x0; x < x1; ++x, p += 3) {
            p[0] = std::uint8_t(c.R);
            p[1] = std::uint8_t(c.G);
            p[2] = std::uint8_t(c.B);
        }
    }
}

void FillDisc(RgbImage& img, int cx, int cy, int r, Colour c) {
    for (int y = std::max(cy - r, 0); y < std::min(cy + r + 1, img.Height); ++y) {
        const int dy = y - cy;
        const int half = int(std::sqrt(double(r * r - dy * dy)));
        FillRect(img, cx - half, y, cx + half + 1, y + 1, c);
    }
}

// The label centred on a light plate, as large as fits in 60% of the width
// and 40% of the height.
void DrawLabel(RgbImage& img, const std::string& label) {
    if (label.empty()) return;
    const int columns = int(label.size()) * 6 - 1;
    const int scale = std::min(img.Width * 6 / 10 / columns, img.Height * 4 / 10 / 7);
    if (scale < 1) return;
    const int plateW = (columns + 2) * scale;
    const int plateH = 9 * scale;
    const int left = (img.Width - plateW) / 2;
    const int top = (img.Height - plateH) / 2;
    FillRect(img, left, top, left + plateW, top + plateH, {242, 242, 236});
    for (std::size_t i = 0; i < label.size(); ++i) {
        const Glyph* g = FindGlyph(label[i]);
        if (!g) continue;
        const int gx = left + scale + int(i) * 6 * scale;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g->Rows[row] & (0x10 >> col))
                    FillRect(img, gx + col * scale, top + (row + 1) * scale, gx + (col + 1) * scale,
                             top + (row + 2) * scale, {24, 24, 32});
    }
}

} // namespace

RgbImage PaintPicture(int width, int height, std::uint64_t seed, const std::string& label) {
    Random rnd(seed);
    RgbImage img;
    img.Width = width;
    img.Height = height;
    img.Rgb.resize(std::size_t(width) * height * 3);

    const int hue = rnd.Below(360);
    const Colour a = FromHue(hue, rnd.Between(120, 230), rnd.Between(150, 240));
    const Colour b =
        FromHue((hue + rnd.Between(90, 270)) % 360, rnd.Between(80, 220), rnd.Between(40, 140));
    const int kind = rnd.Below(6);
    const int period = std::max(4, width / rnd.Between(6, 20));
    const int cx = rnd.Below(width), cy = rnd.Below(height);
    const int dirX = rnd.Between(1, 3), dirY = rnd.Between(-3, 3);
    // Per-column offsets for the waves (zigzags: integers only, so every
    // machine paints the same).
    std::vector<int> wave(std::size_t(width), 0);
    if (kind == 3) {
        const int wavelength = std::max(2, width * 2 / (3 + 2 * rnd.Below(4)));
        const int amplitude = height / (6 + rnd.Below(6));
        for (int x = 0; x < width; ++x)
            wave[std::size_t(x)] = amplitude * (Triangle(x, wavelength) - 128) / 128;
    }
    // Pattern values come from tables: the per-pixel loop has no division.
    const int reach = 3 * (width + height) + 2;
    std::vector<std::uint8_t> bands(std::size_t(reach) * 2);
    for (int v = -reach; v < reach; ++v)
        bands[std::size_t(v + reach)] = std::uint8_t(Triangle(v, period));
    const std::uint8_t* band = &bands[std::size_t(reach)];
    const int period2 = period * 3 / 2 + 1;
    std::vector<int> cell(std::size_t(std::max(width, height)));
    for (std::size_t i = 0; i < cell.size(); ++i)
        cell[i] = int(i) / period;
    std::array<std::array<std::uint8_t, 256>, 3> blend;
    for (int t = 0; t < 256; ++t) {
        blend[0][std::size_t(t)] = Clamp(a.R + (b.R - a.R) * t / 255);
        blend[1][std::size_t(t)] = Clamp(a.G + (b.G - a.G) * t / 255);
        blend[2][std::size_t(t)] = Clamp(a.B + (b.B - a.B) * t / 255);
    }
    std::vector<int> shade(std::size_t(width), 0); // a light gradient across
    for (int x = 0; x < width; ++x)
        shade[std::size_t(x)] = x * 48 / width - 24;

    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = &img.Rgb[std::size_t(y) * width * 3];
        const int dy = y - cy;
        const int rowBand = Triangle(y, period2);
        for (int x = 0; x < width; ++x, p += 3) {
            const int dx = x - cx;
            int t;
            switch (kind) {
            case 0:
                t = band[int(std::sqrt(float(dx * dx + dy * dy)))];
                break;
            case 1:
                t = band[x * dirX + y * dirY];
                break;
            case 2:
                t = (cell[std::size_t(x)] ^ cell[std::size_t(y)]) & 1 ? 220 : 35;
                break;
            case 3:
                t = band[y + wave[std::size_t(x)]];
                break;
            case 4:
                t = band[std::abs(dx) + std::abs(dy)];
                break;
            default:
                t = (band[x] + rowBand) / 2;
                break;
            }
            const int s = shade[std::size_t(x)];
            p[0] = Clamp(blend[0][std::size_t(t)] + s);
            p[1] = Clamp(blend[1][std::size_t(t)] + s);
            p[2] = Clamp(blend[2][std::size_t(t)] + s);
        }
    }

    const int shapes = rnd.Between(3, 7);
    for (int i = 0; i < shapes; ++i) {
        const Colour c = FromHue(rnd.Below(360), rnd.Between(60, 255), rnd.Between(60, 255));
        const int sx = rnd.Below(width), sy = rnd.Below(height);
        const int size = std::max(2, std::min(width, height) / rnd.Between(5, 12));
        if (rnd.Below(2))
            FillDisc(img, sx, sy, size, c);
        else
            FillRect(img, sx - size, sy - size * 2 / 3, sx + size, sy + size * 2 / 3, c);
    }

    // Noise on top of everything: real pictures do not compress to nothing.
    // Drawn a row at a time, eight bytes a draw.
    constexpr int kNoise = 15;
    const std::size_t rowBytes = std::size_t(width) * 3;
    std::vector<std::uint8_t> grain((rowBytes + 7) / 8 * 8);
    for (int y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < grain.size(); i += 8) {
            const std::uint64_t bits = rnd.Next();
            for (int k = 0; k < 8; ++k)
                grain[i + std::size_t(k)] = std::uint8_t(bits >> (k * 8));
        }
        std::uint8_t* px = &img.Rgb[std::size_t(y) * rowBytes];
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int v = px[i] + (((int(grain[i]) - 128) * kNoise) >> 7);
            px[i] = std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }

    DrawLabel(img, label);
    return img;
}

RgbImage Shrink(const RgbImage& src, int width, int height) {
    RgbImage out;
    out.Width = width;
    out.Height = height;
    out.Rgb.resize(std::size_t(width) * height * 3);
    std::vector<int> column(std::size_t(src.Width)), perColumn(std::size_t(width), 0);
    for (int x = 0; x < src.Width; ++x) {
        column[std::size_t(x)] = int(std::int64_t(x) * width / src.Width);
        ++perColumn[std::size_t(column[std::size_t(x)])];
    }
    std::vector<std::uint32_t> sum(std::size_t(width) * 3);
    for (int ty = 0; ty < height; ++ty) {
        const int y0 = int(std::int64_t(ty) * src.Height / height);
        const int y1 = int(std::int64_t(ty + 1) * src.Height / height);
        std::fill(sum.begin(), sum.end(), 0);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* p = &src.Rgb[std::size_t(y) * src.Width * 3];
            for (int x = 0; x < src.Width; ++x, p += 3) {
                std::uint32_t* s = &sum[std::size_t(column[std::size_t(x)]) * 3];
                s[0] += p[0];
                s[1] += p[1];
                s[2] += p[2];
            }
        }
        std::uint8_t* q = &out.Rgb[std::size_t(ty) * width * 3];
        for (int tx = 0; tx < width; ++tx) {
            const std::uint32_t n = std::uint32_t(perColumn[std::size_t(tx)] * (y1 - y0));
            for (int ch = 0; ch < 3; ++ch)
                q[tx * 3 + ch] = std::uint8_t((sum[std::size_t(tx) * 3 + ch] + n / 2) / n);
        }
    }
    return out;
}

namespace {

struct JpegErrors {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->Jump, 1);
}

// Only plain C objects live in this frame, so the long jump leaves nothing
// to unwind. Returns false when libjpeg gave up.
bool CompressJpeg(const RgbImage& img, int quality, jpeg_compress_struct& info, JpegErrors& errors,
                  unsigned char** buffer, unsigned long* size) {
    info.err = jpeg_std_error(&errors.Manager);
    errors.Manager.error_exit = OnJpegError;
    if (setjmp(errors.Jump)) return false;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = JDIMENSION(img.Width);
    info.image_height = JDIMENSION(img.Height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(&img.Rgb[std::size_t(info.next_scanline) * img.Width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

} // namespace

std::string EncodeJpeg(const RgbImage& img, int quality) {
    jpeg_compress_struct info{};
    JpegErrors errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = CompressJpeg(img, quality, info, errors, &buffer, &size);
    std::string out;
    if (ok) out.assign(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    if (!ok) throw std::runtime_error("cannot encode a JPEG picture");
    return out;
}

namespace {

int AppendGifBytes(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(data), std::size_t(length));
    return length;
}

constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// One of six levels for a channel, dithered by a threshold of 0..15.
inline int CubeLevel(int value, int threshold) {
    return (value * 5 * 32 + (2 * threshold + 1) * 255) / (255 * 32);
}

} // namespace

std::string EncodeGif(const RgbImage& img) {
    // The 6x6x6 colour cube, then greys up to 256 entries.
    GifColorType colours[256];
    for (int i = 0; i < 216; ++i) {
        colours[i].Red = GifByteType(i / 36 * 51);
        colours[i].Green = GifByteType(i / 6 % 6 * 51);
        colours[i].Blue = GifByteType(i % 6 * 51);
    }
    for (int i = 216; i < 256; ++i)
        colours[i].Red = colours[i].Green = colours[i].Blue = GifByteType((i - 216) * 255 / 39);

    std::vector<GifPixelType> indices(std::size_t(img.Width) * img.Height);
    for (int y = 0; y < img.Height; ++y)
        for (int x = 0; x < img.Width; ++x) {
            const std::size_t at = std::size_t(y) * img.Width + x;
            const int t = kBayer[y & 3][x & 3];
            indices[at] = GifPixelType(CubeLevel(img.Rgb[at * 3], t) * 36 +
                                       CubeLevel(img.Rgb[at * 3 + 1], t) * 6 +
                                       CubeLevel(img.Rgb[at * 3 + 2], t));
        }

    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendGifBytes, &error);
    if (!gif) throw std::runtime_error("cannot start a GIF picture: " + std::to_string(error));
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifSetGifVersion(gif, true);
    bool ok = map && EGifPutScreenDesc(gif, img.Width, img.Height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, img.Width, img.Height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < img.Height; ++y)
        ok = EGifPutLine(gif, &indices[std::size_t(y) * img.Width], img.Width) == GIF_OK;
    if (!ok) error = gif->Error;
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    GifFreeMapObject(map);
    if (!ok) throw std::runtime_error("cannot encode a GIF picture: " + std::to_string(error));
    return out;
}

} // namespace Demo
