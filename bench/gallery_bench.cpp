// Gallery benchmarks, offscreen: decoding a large JPEG for a tile at the
// reduced scale libjpeg offers, against decoding it whole.
#include "gallery/PictureDecoder.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

// A 3000 × 2000 photograph stand-in: gradients, so that the JPEG is not
// trivially small.
QString LargeJpeg() {
    static QTemporaryDir dir;
    static const QString path = [] {
        QImage image(3000, 2000, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 3000, 2000);
        gradient.setColorAt(0, Qt::darkBlue);
        gradient.setColorAt(0.5, Qt::yellow);
        gradient.setColorAt(1, Qt::darkRed);
        painter.fillRect(image.rect(), gradient);
        for (int i = 0; i < 200; ++i)
            painter.fillRect((i * 137) % 2900, (i * 89) % 1900, 100, 100,
                             QColor::fromHsv((i * 37) % 360, 200, 200));
        painter.end();
        // Fine grain, as a photograph has: a smooth picture would leave the
        // whole decode little to do beside reading the file.
        std::uint32_t seed = 12345;
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int n = int(seed >> 28) - 8;
                const QRgb c = row[x];
                row[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255),
                              qBound(0, qBlue(c) + n, 255));
            }
        }
        const QString name = dir.filePath("large.jpg");
        image.save(name, "JPEG", 85);
        return name;
    }();
    return path;
}

void DecodeForTile(benchmark::State& state) {
    const QString path = LargeJpeg();
    for (auto _ : state) {
        const TDecodedPicture picture = TPictureDecoder::DecodeJpeg(path, QSize(110, 110));
        benchmark::DoNotOptimize(picture.Image.constBits());
    }
    state.counters["scale"] =
        1.0 / TPictureDecoder::DecodeJpeg(path, QSize(110, 110)).ScaleDenominator;
}

void DecodeWhole(benchmark::State& state) {
    const QString path = LargeJpeg();
    for (auto _ : state) {
        const TDecodedPicture picture = TPictureDecoder::DecodeJpeg(path, QSize());
        benchmark::DoNotOptimize(picture.Image.constBits());
    }
}

} // namespace

BENCHMARK(DecodeForTile)->Name("Jpeg3000x2000/tile")->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeWhole)->Name("Jpeg3000x2000/whole")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
