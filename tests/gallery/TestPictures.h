#pragma once

// Test pictures, made by the tests themselves (defined in
// PictureDecoderTest.cpp), and small checks of what a widget shows.

#include "TempDir.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <string>

namespace testpictures {

// Left half red, right half blue, so that scaling and colour order show.
QImage TwoColourImage(int width, int height);
void WriteBytes(const std::string& path, const QByteArray& bytes);
// A two-colour JPEG or GIF of the given size in dir; returns its path.
std::string WriteJpeg(const TempDir& dir, const std::string& name, int width, int height);
std::string WriteGif(const TempDir& dir, const std::string& name, int width, int height);
// A 16 × 16 JPEG, a few hundred bytes, whose frame header claims width × height.
QByteArray JpegClaimingSize(int width, int height);

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
inline bool IsRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}
inline bool IsBlue(QRgb c) {
    return qBlue(c) > 200 && qRed(c) < 60 && qGreen(c) < 60;
}

} // namespace testpictures
