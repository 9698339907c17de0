#pragma once

// Makes a small JPEG claim another size: its first start-of-frame marker
// (baseline or progressive) gets width and height, the data stays as it is.
// Tests and benchmarks build hostile pictures of a few hundred bytes so.

#include <QByteArray>

inline bool SetJpegFrameSize(QByteArray& jpeg, int width, int height) {
    for (qsizetype i = 2; i + 8 < jpeg.size(); ++i) {
        const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            jpeg[i + 5] = char(height >> 8);
            jpeg[i + 6] = char(height & 0xFF);
            jpeg[i + 7] = char(width >> 8);
            jpeg[i + 8] = char(width & 0xFF);
            return true;
        }
    }
    return false;
}
