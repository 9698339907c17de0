// Picture decoding: the extension rules, the JPEG scale rule, and pictures
// built to hurt (each must be refused while the process lives and memory
// stays bounded).
#include "gallery/PictureDecoder.h"

#include "JpegFrame.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <sys/resource.h>

#include <cstdio>
#include <string>

// Test pictures, shared with the media tile and full-screen display tests.
namespace testpictures {

// Left half red, right half blue, so that scaling and colour order show.
QImage TwoColourImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(Qt::blue));
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, QColor(Qt::red));
    return image;
}

QByteArray JpegBytes(const QImage& image, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// By the path's bytes, so that names that are not UTF-8 can be made.
void WriteBytes(const std::string& path, const QByteArray& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    EXPECT_EQ(std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file),
              std::size_t(bytes.size()));
    std::fclose(file);
}

std::string WriteJpeg(const TempDir& dir, const std::string& name, int width, int height) {
    const std::string path = dir.Sub(name);
    WriteBytes(path, JpegBytes(TwoColourImage(width, height)));
    return path;
}

// A GIF of one colour index per pixel (palette: 0 black, 1 red, 2 green,
// 3 blue, the rest black). The LZW stream uses 8-bit codes and a clear code
// every 64 pixels, so that the code width never grows and every code is one
// byte. pixels holds the colour indexes actually coded, which may be fewer
// than the frame announces.
QByteArray GifBytes(int screenWidth, int screenHeight, int frameWidth, int frameHeight,
                    const QByteArray& pixels) {
    QByteArray out("GIF89a");
    auto put16 = [&out](int v) {
        out.append(char(v & 0xFF));
        out.append(char((v >> 8) & 0xFF));
    };
    put16(screenWidth);
    put16(screenHeight);
    out.append(char(0xE6)); // global colour table of 128 entries
    out.append(char(0));
    out.append(char(0));
    const QColor palette[] = {Qt::black, Qt::red, Qt::green, Qt::blue};
    for (int i = 0; i < 128; ++i) {
        const QColor c = i < 4 ? palette[i] : QColor(Qt::black);
        out.append(char(c.red()));
        out.append(char(c.green()));
        out.append(char(c.blue()));
    }
    out.append(char(0x2C));
    put16(0);
    put16(0);
    put16(frameWidth);
    put16(frameHeight);
    out.append(char(0));
    out.append(char(7)); // minimum code size: clear 128, end 129
    QByteArray codes;
    for (qsizetype i = 0; i < pixels.size(); ++i) {
        if (i % 64 == 0) codes.append(char(128));
        codes.append(pixels[i]);
    }
    codes.append(char(129));
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray block = codes.mid(i, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append(char(0));
    out.append(char(0x3B));
    return out;
}

// A width × height GIF, left half red, right half blue.
std::string WriteGif(const TempDir& dir, const std::string& name, int width, int height) {
    QByteArray pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.append(char(x < width / 2 ? 1 : 3));
    const std::string path = dir.Sub(name);
    WriteBytes(path, GifBytes(width, height, width, height, pixels));
    return path;
}

} // namespace testpictures

using namespace testpictures;

namespace {

// Peak resident memory of the process so far, in MiB.
long PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Patches the width and height of the first start-of-frame marker.
QByteArray WithFrameSize(QByteArray jpeg, int width, int height) {
    if (!SetJpegFrameSize(jpeg, width, height)) ADD_FAILURE() << "no start-of-frame marker";
    return jpeg;
}

} // namespace

QByteArray testpictures::JpegClaimingSize(int width, int height) {
    return WithFrameSize(JpegBytes(TwoColourImage(16, 16)), width, height);
}

TEST(MediaExtensions, ExtensionIsTheLowerCasedTextAfterTheLastDotOfTheName) {
    EXPECT_EQ(MediaExtension("photo.JPG"), "jpg");
    EXPECT_EQ(MediaExtension("/a/b/clip.tar.MPG"), "mpg");
    EXPECT_EQ(MediaExtension("name."), "");
    EXPECT_EQ(MediaExtension("name"), "");
    // A dot in a folder name is not the file's extension.
    EXPECT_EQ(MediaExtension("/site/pics.d/picture"), "");
}

TEST(MediaExtensions, ListsAreSearchedAsSubstrings) {
    EXPECT_EQ(MediaKindOf("jpg"), MediaKind::Picture);
    EXPECT_EQ(MediaKindOf("jpeg"), MediaKind::Picture);
    EXPECT_EQ(MediaKindOf("gif"), MediaKind::Picture);
    EXPECT_EQ(MediaKindOf("jp"), MediaKind::Picture);
    EXPECT_EQ(MediaKindOf("pe"), MediaKind::Picture);
    EXPECT_EQ(MediaKindOf("avi"), MediaKind::Video);
    EXPECT_EQ(MediaKindOf("mpeg"), MediaKind::Video);
    EXPECT_EQ(MediaKindOf("mp"), MediaKind::Video);
    EXPECT_EQ(MediaKindOf("tar"), MediaKind::None);
    EXPECT_EQ(MediaKindOf("png"), MediaKind::None);
    EXPECT_EQ(MediaKindOf(""), MediaKind::None);
}

TEST(JpegScale, FirstOfFullHalfQuarterWithinOneAndAHalfBoxesElseEighth) {
    // 3000 × 2000 for a 1024 × 768 screen: 292 at full size, 146 and 130 at half.
    EXPECT_FALSE(FitsBox(3000, 2000, 100, 1024, 768));
    EXPECT_TRUE(FitsBox(3000, 2000, 50, 1024, 768));
    EXPECT_EQ(ChooseJpegScale(3000, 2000, 1024, 768), 2);
    // 640 × 480 for a 110 × 110 tile: 581, 290, then 145 and 109.
    EXPECT_EQ(ChooseJpegScale(640, 480, 110, 110), 4);
    EXPECT_EQ(ChooseJpegScale(100, 100, 110, 110), 1);
    EXPECT_EQ(ChooseJpegScale(165, 165, 110, 110), 1); // exactly 150
    EXPECT_EQ(ChooseJpegScale(166, 100, 110, 110), 1); // 150.9 truncates to 150
    EXPECT_EQ(ChooseJpegScale(167, 100, 110, 110), 2);
    EXPECT_EQ(ChooseJpegScale(2000, 100, 110, 110), 8);
    EXPECT_EQ(ChooseJpegScale(0, 100, 110, 110), 0);
    EXPECT_EQ(ChooseJpegScale(100, -1, 110, 110), 0);
    // A box without area does not divide by zero.
    EXPECT_EQ(ChooseJpegScale(100, 100, 0, 0), 8);
}

TEST(JpegDecoding, DecodesAtTheChosenScaleWithLibjpegRounding) {
    TempDir dir;
    struct Case {
        int W, H, BoxW, BoxH, Scale, OutW, OutH;
    } cases[] = {
        {100, 100, 110, 110, 1, 100, 100},
        {640, 480, 110, 110, 4, 160, 120},
        {3000, 2000, 1024, 768, 2, 1500, 1000},
        // libjpeg rounds scaled sizes up: 100 / 8 gives 13 rows, not 12.
        {2000, 100, 110, 110, 8, 250, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << " x " << c.H);
        const std::string path = WriteJpeg(dir, "p.jpg", c.W, c.H);
        const DecodedPicture picture = PictureDecoder::Decode(path, QSize(c.BoxW, c.BoxH));
        ASSERT_TRUE(picture.Ok());
        EXPECT_EQ(picture.FullSize, QSize(c.W, c.H));
        EXPECT_EQ(picture.ScaleDenominator, c.Scale);
        EXPECT_EQ(picture.Image.size(), QSize(c.OutW, c.OutH));
        // Colours arrive in the right order: red left, blue right.
        EXPECT_TRUE(IsRed(picture.Image.pixel(1, c.OutH / 2)));
        EXPECT_TRUE(IsBlue(picture.Image.pixel(c.OutW - 2, c.OutH / 2)));
        EXPECT_EQ(qAlpha(picture.Image.pixel(1, 1)), 255);
    }
}

TEST(JpegDecoding, GreyAndProgressivePicturesDecode) {
    TempDir dir;
    QImage grey(64, 48, QImage::Format_Grayscale8);
    grey.fill(200);
    const std::string greyPath = dir.Sub("grey.jpg");
    WriteBytes(greyPath, JpegBytes(grey));
    const DecodedPicture g = PictureDecoder::Decode(greyPath, QSize(100, 100));
    ASSERT_TRUE(g.Ok());
    EXPECT_NEAR(qRed(g.Image.pixel(10, 10)), 200, 3);
    EXPECT_EQ(qRed(g.Image.pixel(10, 10)), qBlue(g.Image.pixel(10, 10)));

    const std::string progressivePath = dir.Sub("progressive.jpg");
    WriteBytes(progressivePath, JpegBytes(TwoColourImage(800, 600), true));
    const DecodedPicture p = PictureDecoder::Decode(progressivePath, QSize(400, 300));
    ASSERT_TRUE(p.Ok());
    EXPECT_EQ(p.Image.size(), QSize(400, 300));
    EXPECT_TRUE(IsBlue(p.Image.pixel(390, 150)));
}

TEST(JpegDecoding, HighDensityScreensDecodeForDevicePixels) {
    TempDir dir;
    const std::string path = WriteJpeg(dir, "p.jpg", 640, 480);
    // A 110-pixel tile is 220 device pixels at ratio 2: half scale fits.
    const DecodedPicture picture = PictureDecoder::Decode(path, QSize(110, 110), 2.0);
    ASSERT_TRUE(picture.Ok());
    EXPECT_EQ(picture.ScaleDenominator, 2);
    EXPECT_EQ(picture.Image.size(), QSize(320, 240));
    EXPECT_EQ(picture.Image.devicePixelRatio(), 2.0);
    EXPECT_EQ(picture.Image.deviceIndependentSize(), QSizeF(160, 120));
}

TEST(GifDecoding, DecodesAtFullSizeWhateverTheBox) {
    TempDir dir;
    const std::string path = WriteGif(dir, "anim.gif", 300, 200);
    const DecodedPicture picture = PictureDecoder::Decode(path, QSize(110, 110));
    ASSERT_TRUE(picture.Ok());
    EXPECT_EQ(picture.Image.size(), QSize(300, 200));
    EXPECT_TRUE(IsRed(picture.Image.pixel(10, 100)));
    EXPECT_TRUE(IsBlue(picture.Image.pixel(290, 100)));
}

// A stored name keeps the bytes of its address ("%E9" is the byte 0xE9),
// which need not be UTF-8. Each picture has a decoy under the name such a
// byte turns into when it goes through text (U+FFFD, EF BF BD): the picture
// must come from the file of the exact bytes, never from the decoy.
TEST(PictureDecoding, NamesThatAreNotUtf8AreReadByTheirBytes) {
    TempDir dir;
    const std::string raw = "caf\xE9\xFF", asText = "caf\xEF\xBF\xBD\xEF\xBF\xBD";
    for (const std::string extension : {".jpg", ".gif", ".pe"}) {
        SCOPED_TRACE(extension);
        const std::string name = dir.Sub(raw + extension);
        if (extension == ".gif") {
            WriteGif(dir, raw + extension, 30, 20);
            WriteGif(dir, asText + extension, 8, 8);
        } else {
            WriteJpeg(dir, raw + extension, 30, 20);
            WriteJpeg(dir, asText + extension, 8, 8);
        }
        const DecodedPicture picture = PictureDecoder::Decode(name, QSize(110, 110));
        ASSERT_TRUE(picture.Ok()) << int(picture.Failure);
        EXPECT_EQ(picture.Image.size(), QSize(30, 20));
    }
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub(raw + "\xFE.gif"), QSize(110, 110)).Failure,
              DecodeFailure::Unreadable);
}

TEST(PictureDecoding, OtherPictureExtensionsAreRecognisedByContent) {
    TempDir dir;
    QFile::rename(Q(WriteJpeg(dir, "a.jpg", 640, 480)), Q(dir.Sub("a.jp")));
    const DecodedPicture jp = PictureDecoder::Decode(dir.Sub("a.jp"), QSize(110, 110));
    ASSERT_TRUE(jp.Ok());
    EXPECT_EQ(jp.Image.size(), QSize(640, 480)); // no scale outside "jpg" and "jpeg"

    QFile::rename(Q(WriteGif(dir, "b.gif", 20, 10)), Q(dir.Sub("b.g")));
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("b.g"), QSize(110, 110)).Image.size(), QSize(20, 10));

    WriteBytes(dir.Sub("c.pe"), QByteArray("not a picture at all"));
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("c.pe"), QSize(110, 110)).Failure,
              DecodeFailure::Unreadable);
}

// Each of these would end the process under libjpeg's own error handler or
// come back as a grey picture; here each is refused and the next one runs.
TEST(HostilePictures, DamagedFilesAreRefusedAndTheProcessLives) {
    TempDir dir;
    const QSize box(110, 110);

    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.append(char((i * 7919) % 251));
    WriteBytes(dir.Sub("garbage.jpg"), garbage);
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("garbage.jpg"), box).Failure, DecodeFailure::Damaged);

    // A JPEG header followed by garbage.
    QByteArray header = JpegBytes(TwoColourImage(200, 200));
    WriteBytes(dir.Sub("bad-scan.jpg"), header.left(header.size() / 3) + garbage);
    EXPECT_FALSE(PictureDecoder::Decode(dir.Sub("bad-scan.jpg"), box).Ok());

    const QByteArray whole = JpegBytes(TwoColourImage(400, 400));
    WriteBytes(dir.Sub("truncated.jpg"), whole.left(whole.size() / 2));
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("truncated.jpg"), box).Failure,
              DecodeFailure::Damaged);
    WriteBytes(dir.Sub("header-only.jpg"), whole.left(200));
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("header-only.jpg"), box).Failure,
              DecodeFailure::Damaged);

    WriteBytes(dir.Sub("empty.jpg"), QByteArray());
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("empty.jpg"), box).Failure, DecodeFailure::Damaged);
    WriteBytes(dir.Sub("empty.gif"), QByteArray());
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("empty.gif"), box).Failure, DecodeFailure::Damaged);

    WriteBytes(dir.Sub("garbage.gif"), QByteArray("GIF89a") + garbage);
    EXPECT_FALSE(PictureDecoder::Decode(dir.Sub("garbage.gif"), box).Ok());

    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("missing.jpg"), box).Failure,
              DecodeFailure::Unreadable);

    // Still decoding after all that.
    EXPECT_TRUE(PictureDecoder::Decode(WriteJpeg(dir, "fine.jpg", 50, 50), box).Ok());
}

TEST(HostilePictures, HugeJpegHeaderIsRefusedBeforeDecoding) {
    TempDir dir;
    const long before = PeakMiB();
    // 60000 × 60000 is 7500 × 7500 at 1/8: 56 million pixels, over the limit.
    WriteBytes(dir.Sub("huge.jpg"), WithFrameSize(JpegBytes(TwoColourImage(16, 16)), 60000, 60000));
    const DecodedPicture picture = PictureDecoder::Decode(dir.Sub("huge.jpg"), QSize(110, 110));
    EXPECT_EQ(picture.Failure, DecodeFailure::TooLarge);
    EXPECT_EQ(picture.ScaleDenominator, 8);
    EXPECT_EQ(picture.FullSize, QSize(60000, 60000));
    EXPECT_LT(PeakMiB() - before, 64);
}

// A few hundred bytes whose header claims 45000 × 45000: at 1/8 it would
// still be 5625 × 5625, a second of work and 120 MB for a grey tile.
TEST(HostilePictures, HugeSourceIsRefusedWhateverTheScale) {
    TempDir dir;
    WriteBytes(dir.Sub("claims.jpg"),
               WithFrameSize(JpegBytes(TwoColourImage(16, 16)), 45000, 45000));
    const DecodedPicture picture = PictureDecoder::Decode(dir.Sub("claims.jpg"), QSize(110, 110));
    EXPECT_EQ(picture.Failure, DecodeFailure::TooLarge);
    EXPECT_EQ(picture.FullSize, QSize(45000, 45000));
    EXPECT_FALSE(picture.Ok());

    // The bound is on the source: just within it the short data is what
    // fails, just beyond it the size.
    static_assert(14142LL * 14142 <= PictureDecoder::MaxSourcePixels);
    static_assert(14143LL * 14142 > PictureDecoder::MaxSourcePixels);
    WriteBytes(dir.Sub("within.jpg"),
               WithFrameSize(JpegBytes(TwoColourImage(16, 16)), 14142, 14142));
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("within.jpg"), QSize(110, 110)).Failure,
              DecodeFailure::Damaged);
    WriteBytes(dir.Sub("beyond.jpg"),
               WithFrameSize(JpegBytes(TwoColourImage(16, 16)), 14143, 14142));
    EXPECT_EQ(PictureDecoder::Decode(dir.Sub("beyond.jpg"), QSize(110, 110)).Failure,
              DecodeFailure::TooLarge);
}

// The scan data of a 16 × 16 picture under a header of 2000 × 2000: the
// data segment ends at the end-of-image marker long before the picture does.
// libjpeg would fill the rest with grey and call it a picture.
TEST(HostilePictures, ScanDataEndingBeforeThePictureIsDamage) {
    TempDir dir;
    for (const bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        WriteBytes(dir.Sub("short.jpg"),
                   WithFrameSize(JpegBytes(TwoColourImage(16, 16), progressive), 2000, 2000));
        const DecodedPicture picture =
            PictureDecoder::Decode(dir.Sub("short.jpg"), QSize(110, 110));
        EXPECT_EQ(picture.Failure, DecodeFailure::Damaged);
        EXPECT_FALSE(picture.Ok());
    }
}

TEST(HostilePictures, ProgressiveJpegCannotTakeUnboundedMemory) {
    TempDir dir;
    const long before = PeakMiB();
    // 14000 × 14000 is a size a photograph may have and fits the pixel limit
    // at 1/8, but a progressive decoder keeps the coefficients of the whole
    // picture: over half a gigabyte.
    WriteBytes(dir.Sub("deep.jpg"),
               WithFrameSize(JpegBytes(TwoColourImage(16, 16), true), 14000, 14000));
    const DecodedPicture picture = PictureDecoder::Decode(dir.Sub("deep.jpg"), QSize(110, 110));
    EXPECT_EQ(picture.Failure, DecodeFailure::Damaged);
    EXPECT_LT(PeakMiB() - before, PictureDecoder::JpegMemoryLimit / (1024 * 1024) + 64);
}

TEST(HostilePictures, GifBombIsRefusedBeforeDecoding) {
    TempDir dir;
    const long before = PeakMiB();
    // A few hundred bytes announcing 8000 × 8000: 256 MB of pixels.
    WriteBytes(dir.Sub("bomb.gif"), GifBytes(8000, 8000, 8000, 8000, QByteArray(100, char(1))));
    const DecodedPicture picture = PictureDecoder::Decode(dir.Sub("bomb.gif"), QSize(110, 110));
    EXPECT_EQ(picture.Failure, DecodeFailure::TooLarge);
    EXPECT_LT(PeakMiB() - before, 64);
}
