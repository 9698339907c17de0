// The demo clip: an MPEG-1 program stream written bit by bit. Every block
// is flat, so each one is its DC level and an end-of-block code.
#include "demo/DemoPictures.h"

#include <algorithm>
#include <cstdlib>

namespace Demo {
namespace {

class BitWriter {
public:
    void Put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            Acc_ = std::uint8_t((Acc_ << 1) | ((value >> i) & 1));
            if (++Count_ == 8) {
                Out_.push_back(char(Acc_));
                Acc_ = 0;
                Count_ = 0;
            }
        }
    }
    void Align() {
        while (Count_ != 0)
            Put(0, 1);
    }
    void StartCode(std::uint8_t code) {
        Align();
        Put(0x000001, 24);
        Put(code, 8);
    }
    void Bytes(const std::string& bytes) { Out_ += bytes; } // aligned only
    std::size_t Size() const { return Out_.size(); }
    std::string Take() {
        Align();
        return std::move(Out_);
    }

private:
    std::string Out_;
    std::uint8_t Acc_ = 0;
    int Count_ = 0;
};

struct BitCode {
    std::uint32_t Bits;
    int Length;
};
// Size of the DC difference, by the number of bits it takes.
constexpr BitCode kLumaDcSize[9] = {{0x4, 3}, {0x0, 2},  {0x1, 2},  {0x5, 3}, {0x6, 3},
                                    {0xE, 4}, {0x1E, 5}, {0x3E, 6}, {0x7E, 7}};
constexpr BitCode kChromaDcSize[9] = {{0x0, 2},  {0x1, 2},  {0x2, 2},  {0x6, 3}, {0xE, 4},
                                      {0x1E, 5}, {0x3E, 6}, {0x7E, 7}, {0xFE, 8}};

// An intra block of one flat level: the DC difference from the previous block
// of the same component, then the end of the block straight away.
void PutFlatBlock(BitWriter& w, int level, int& previous, bool chroma) {
    const int diff = level - previous;
    previous = level;
    const int magnitude = std::abs(diff);
    int size = 0;
    while ((1 << size) <= magnitude)
        ++size;
    const BitCode code = chroma ? kChromaDcSize[size] : kLumaDcSize[size];
    w.Put(code.Bits, code.Length);
    if (size > 0) w.Put(std::uint32_t(diff > 0 ? diff : diff + (1 << size) - 1), size);
    w.Put(0x2, 2); // end of block
}

void PutTimestamp(BitWriter& w, std::uint32_t prefix, std::uint64_t t) {
    w.Put(prefix, 4);
    w.Put(std::uint32_t(t >> 30) & 7, 3);
    w.Put(1, 1);
    w.Put(std::uint32_t(t >> 15) & 0x7FFF, 15);
    w.Put(1, 1);
    w.Put(std::uint32_t(t) & 0x7FFF, 15);
    w.Put(1, 1);
}

} // namespace

std::string MakeClip() {
    constexpr int kWidth = 176, kHeight = 144, kFrames = 25;
    constexpr int kMbWide = kWidth / 16, kMbHigh = kHeight / 16;

    BitWriter v;
    v.StartCode(0xB3); // sequence header
    v.Put(kWidth, 12);
    v.Put(kHeight, 12);
    v.Put(1, 4);     // square pixels
    v.Put(3, 4);     // 25 pictures a second
    v.Put(1000, 18); // 400 kbit/s, well above what the clip needs
    v.Put(1, 1);
    v.Put(20, 10);     // buffer of 20 x 16 kbit
    v.Put(0, 1);       // not constrained
    v.Put(0, 2);       // default quantiser matrices
    v.StartCode(0xB8); // group of pictures
    v.Put(0, 1);       // no dropped frames
    v.Put(0, 5);
    v.Put(0, 6);
    v.Put(1, 1);
    v.Put(0, 6);
    v.Put(0, 6);
    v.Put(1, 1); // closed
    v.Put(0, 1);
    for (int f = 0; f < kFrames; ++f) {
        v.StartCode(0x00); // picture
        v.Put(std::uint32_t(f), 10);
        v.Put(1, 3); // intra-coded
        v.Put(0xFFFF, 16);
        v.Put(0, 1);
        for (int my = 0; my < kMbHigh; ++my) {
            v.StartCode(std::uint8_t(0x01 + my)); // one slice a row
            v.Put(8, 5);                          // quantiser scale
            v.Put(0, 1);
            int y = 128, cb = 128, cr = 128; // the predictors start over with each slice
            for (int mx = 0; mx < kMbWide; ++mx) {
                v.Put(1, 1); // the next macroblock
                v.Put(1, 1); // intra, same quantiser
                for (int b = 0; b < 4; ++b) {
                    const int bx = mx * 2 + (b & 1), by = my * 2 + (b >> 1);
                    PutFlatBlock(v, 32 + (bx * 12 + by * 7 + f * 9) % 192, y, false);
                }
                PutFlatBlock(v, 78 + (mx * 23 + f * 5) % 100, cb, true);
                PutFlatBlock(v, 78 + (my * 29 + mx * 3 + f * 4) % 100, cr, true);
            }
        }
    }
    v.StartCode(0xB7); // end of sequence
    const std::string video = v.Take();

    // Packed into a program stream: packs of one video packet each.
    constexpr std::uint32_t kMuxRate = 2500; // x 50 bytes a second
    constexpr std::size_t kChunk = 2000;
    BitWriter ps;
    for (std::size_t pos = 0; pos < video.size(); pos += kChunk) {
        const std::size_t n = std::min(kChunk, video.size() - pos);
        const bool first = pos == 0;
        ps.StartCode(0xBA);
        PutTimestamp(ps, 0x2, ps.Size() * 90000 / (kMuxRate * 50));
        ps.Put(1, 1);
        ps.Put(kMuxRate, 22);
        ps.Put(1, 1);
        if (first) {
            ps.StartCode(0xBB); // system header: one video stream
            ps.Put(9, 16);
            ps.Put(1, 1);
            ps.Put(kMuxRate, 22);
            ps.Put(1, 1);
            ps.Put(0, 6); // no audio
            ps.Put(0, 1);
            ps.Put(0, 1);
            ps.Put(1, 1);
            ps.Put(1, 1);
            ps.Put(1, 1);
            ps.Put(1, 5); // one video stream
            ps.Put(0xFF, 8);
            ps.Put(0xE0, 8);
            ps.Put(0x3, 2);
            ps.Put(1, 1); // buffer in kilobytes
            ps.Put(46, 13);
        }
        ps.StartCode(0xE0);
        ps.Put(std::uint32_t(n + (first ? 5 : 1)), 16);
        if (first)
            PutTimestamp(ps, 0x2, 18000); // shown 0.2 s in
        else
            ps.Put(0x0F, 8); // no time stamps
        ps.Bytes(video.substr(pos, n));
    }
    ps.StartCode(0xB9); // end of the program stream
    return ps.Take();
}

} // namespace Demo
