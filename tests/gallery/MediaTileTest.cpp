// The media tile: pictures centred and clipped at their decoded size, the
// tile keeping only what it shows; videos handed to the player; failures
// leaving nothing behind; a caption readable on the black tile; pictures
// decoded on worker threads reaching only loads that still want them.
#include "gallery/MediaTile.h"

#include "EventLoop.h"
#include "TestPictures.h"
#include "gallery/PictureDecodePool.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QThread>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testpictures;

namespace {

bool IsBlack(QRgb c) {
    return qRed(c) < 30 && qGreen(c) < 30 && qBlue(c) < 30;
}

// A player with a display that records what it is asked.
class FakePlayback final : public VideoPlayback {
public:
    bool HasDisplay() const override { return Display; }
    bool PlayInDisplay(const std::string& fileName) override {
        Played.push_back(fileName);
        Playing = Playable;
        return Playable;
    }
    void StopPlayback() override {
        ++Stops;
        Playing = false;
    }

    bool Display = true;
    bool Playable = true;
    bool Playing = false;
    int Stops = 0;
    std::vector<std::string> Played;
};

// A shown black tile frame of the given size with its media.
struct Tile {
    explicit Tile(int width, int height) {
        Frame.resize(width, height);
        Media = new MediaTile(&Frame);
        Frame.show();
    }
    QImage Grab() { return Frame.grab().toImage(); }

    MediaTileFrame Frame;
    MediaTile* Media;
};

} // namespace

TEST(MediaTile, SmallPictureIsShownAtFullSizeCentredWithMargins) {
    TempDir dir;
    Tile tile(110, 110);
    ASSERT_TRUE(tile.Media->LoadMedia(WriteJpeg(dir, "p.jpg", 100, 100), 110, 110));
    EXPECT_TRUE(tile.Media->isVisible());
    EXPECT_EQ(tile.Media->geometry(), QRect(0, 0, 110, 110)); // fills its tile
    EXPECT_EQ(tile.Media->ScaleDenominator(), 1);
    const QImage shot = tile.Grab();
    // A 5-pixel margin on each side.
    EXPECT_TRUE(IsBlack(shot.pixel(4, 50)));
    EXPECT_TRUE(IsRed(shot.pixel(5, 50)));
    EXPECT_TRUE(IsBlue(shot.pixel(104, 50)));
    EXPECT_TRUE(IsBlack(shot.pixel(105, 50)));
    EXPECT_TRUE(IsBlack(shot.pixel(50, 4)));
    EXPECT_TRUE(IsRed(shot.pixel(50, 5)));
}

TEST(MediaTile, WidePictureIsDecodedSmallThenClippedAtTheSides) {
    TempDir dir;
    Tile tile(110, 110);
    ASSERT_TRUE(tile.Media->LoadMedia(WriteJpeg(dir, "wide.jpg", 2000, 100), 110, 110));
    EXPECT_EQ(tile.Media->ScaleDenominator(), 8);
    EXPECT_EQ(tile.Media->DecodedSize(), QSize(250, 13));
    // Only the part inside the tile is kept.
    EXPECT_EQ(tile.Media->ShownPicture().size(), QSize(110, 13));
    const QImage shot = tile.Grab();
    // Columns 70 to 179 of the picture, rows 48 to 60 of the tile: red up to
    // the picture's middle (column 125), blue after.
    EXPECT_TRUE(IsRed(shot.pixel(2, 54)));
    EXPECT_TRUE(IsRed(shot.pixel(52, 54)));
    EXPECT_TRUE(IsBlue(shot.pixel(58, 54)));
    EXPECT_TRUE(IsBlue(shot.pixel(107, 54)));
    EXPECT_TRUE(IsBlack(shot.pixel(50, 46)));
    EXPECT_TRUE(IsBlack(shot.pixel(50, 62)));
}

TEST(MediaTile, LargeGifIsShownPixelForPixelCentredAndClipped) {
    TempDir dir;
    Tile tile(110, 110);
    const std::string path = WriteGif(dir, "big.gif", 300, 200);
    ASSERT_TRUE(tile.Media->LoadMedia(path, 110, 110));
    EXPECT_EQ(tile.Media->DecodedSize(), QSize(300, 200));
    QImage whole(Q(path));
    ASSERT_FALSE(whole.isNull());
    const QImage expected = whole.copy(95, 45, 110, 110).convertToFormat(QImage::Format_RGB32);
    const QImage shot = tile.Grab().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), expected.size());
    EXPECT_EQ(shot, expected); // not resampled, nothing shifted
}

TEST(MediaTile, ScreenSizedBoxKeepsTheCentredScreenOfAHalfScalePicture) {
    TempDir dir;
    Tile tile(1024, 768);
    ASSERT_TRUE(tile.Media->LoadMedia(WriteJpeg(dir, "photo.JPG", 3000, 2000), 1024, 768));
    EXPECT_EQ(tile.Media->ScaleDenominator(), 2);
    EXPECT_EQ(tile.Media->DecodedSize(), QSize(1500, 1000));
    EXPECT_EQ(tile.Media->ShownPicture().size(), QSize(1024, 768));
    const QImage shot = tile.Grab();
    // The picture's middle (column 750) falls at column 512 of the screen.
    EXPECT_TRUE(IsRed(shot.pixel(505, 384)));
    EXPECT_TRUE(IsBlue(shot.pixel(519, 384)));
    EXPECT_TRUE(IsRed(shot.pixel(0, 0)));
    EXPECT_TRUE(IsBlue(shot.pixel(1023, 767)));
}

TEST(MediaTile, FailedLoadsHideThePreviousPicture) {
    TempDir dir;
    Tile tile(110, 110);
    const std::string good = WriteJpeg(dir, "good.jpg", 100, 100);
    WriteBytes(dir.Sub("archive.tar"), "x");
    WriteBytes(dir.Sub("dotted."), "x");
    WriteBytes(dir.Sub("plain"), "x");
    WriteBytes(dir.Sub("broken.jpg"), "\xFF\xD8\xFF garbage");
    for (const std::string& bad : {dir.Sub("missing.jpg"), dir.Sub("archive.tar"),
                                   dir.Sub("dotted."), dir.Sub("plain"), dir.Sub("broken.jpg")}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(tile.Media->LoadMedia(good, 110, 110));
        ASSERT_FALSE(tile.Media->ShownPicture().isNull());
        EXPECT_FALSE(tile.Media->LoadMedia(bad, 110, 110));
        EXPECT_TRUE(tile.Media->isHidden());
        EXPECT_TRUE(tile.Media->ShownPicture().isNull());
        EXPECT_TRUE(IsBlack(tile.Grab().pixel(50, 50)));
    }
}

TEST(MediaTile, VideoOnATileWithoutDisplayCountsAsLoadedAndShowsNothing) {
    TempDir dir;
    Tile tile(110, 110);
    WriteBytes(dir.Sub("clip.mpg"), "not really a video");
    ASSERT_TRUE(tile.Media->LoadMedia(WriteJpeg(dir, "p.jpg", 100, 100), 110, 110));
    EXPECT_TRUE(tile.Media->LoadMedia(dir.Sub("clip.mpg"), 110, 110));
    EXPECT_TRUE(tile.Media->IsVideo());
    ASSERT_NE(tile.Media->Player(), nullptr);
    EXPECT_FALSE(tile.Media->Player()->HasDisplay());
    EXPECT_TRUE(tile.Media->ShownPicture().isNull());
    EXPECT_TRUE(IsBlack(tile.Grab().pixel(50, 50)));
}

TEST(MediaTile, VideosPlayInTheSuppliedDisplayAndStopWhenAnythingElseLoads) {
    TempDir dir;
    Tile tile(200, 200);
    FakePlayback player;
    tile.Media->SetPlayer(&player);
    WriteBytes(dir.Sub("clip.avi"), "video");
    const std::string picture = WriteJpeg(dir, "p.jpg", 100, 100);

    ASSERT_TRUE(tile.Media->LoadMedia(dir.Sub("clip.avi"), 200, 200));
    EXPECT_EQ(player.Played, std::vector<std::string>{dir.Sub("clip.avi")});
    EXPECT_TRUE(player.Playing);

    EXPECT_TRUE(tile.Media->LoadMedia(picture, 200, 200));
    EXPECT_FALSE(tile.Media->IsVideo());
    EXPECT_FALSE(player.Playing);

    ASSERT_TRUE(tile.Media->LoadMedia(dir.Sub("clip.avi"), 200, 200));
    EXPECT_FALSE(tile.Media->LoadMedia(dir.Sub("gone.jpg"), 200, 200));
    EXPECT_FALSE(player.Playing);

    // A video the player cannot open is a failed load.
    player.Playable = false;
    EXPECT_FALSE(tile.Media->LoadMedia(dir.Sub("clip.avi"), 200, 200));
    EXPECT_TRUE(tile.Media->isHidden());
    tile.Media->SetPlayer(nullptr);
}

TEST(MediaTile, CaptionIsLightOnTheBlackTile) {
    TempDir dir;
    for (const QString& caption :
         {QStringLiteral("not a thumb"), QStringLiteral("\n\n\nphoto.jpg\n\n[on disk]")}) {
        SCOPED_TRACE(caption.toStdString());
        Tile tile(110, 110);
        tile.Frame.setText(caption);
        EXPECT_FALSE(tile.Media->LoadMedia(dir.Sub("missing.jpg"), 110, 110));
        const QImage shot = tile.Grab();
        int light = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                light += qGray(shot.pixel(x, y)) > 128 ? 1 : 0;
        EXPECT_GT(light, 20);
        EXPECT_TRUE(IsBlack(shot.pixel(1, 108)));
    }
}

// --- pictures decoded off the GUI thread ---

namespace {

bool DecodesDone() {
    return PictureDecodePool::Shared().Pending() == 0;
}

} // namespace

TEST(PictureDecodePool, DeliversOnTheGuiThreadUnlessTheReceiverIsGone) {
    PictureDecodePool pool(2);
    QObject kept;
    auto gone = std::make_unique<QObject>();
    const QThread* workedOn = nullptr;
    const QThread* deliveredOn = nullptr;
    int delivered = 0, droppedRan = 0, afterThrow = 0;
    pool.Run(
        &kept, [&] { workedOn = QThread::currentThread(); },
        [&] {
            deliveredOn = QThread::currentThread();
            ++delivered;
        });
    pool.Run(
        gone.get(), [] {}, [&] { ++droppedRan; });
    pool.Run(
        &kept, [] { throw std::runtime_error("refused"); }, [&] { ++afterThrow; });
    // Nothing is handed over before the event loop comes round.
    EXPECT_EQ(delivered + droppedRan + afterThrow, 0);
    gone.reset();
    ASSERT_TRUE(RunUntil([&] { return pool.Pending() == 0; }));
    EXPECT_EQ(delivered, 1);
    EXPECT_NE(workedOn, QThread::currentThread());
    EXPECT_EQ(deliveredOn, QThread::currentThread());
    EXPECT_EQ(droppedRan, 0);
    EXPECT_EQ(afterThrow, 1);
}

TEST(MediaTile, StartedLoadsShowTheirPictureOrRefusalWhenTheDecodingEnds) {
    TempDir dir;
    Tile tile(110, 110);
    std::vector<bool> reports;
    tile.Media->OnPictureLoaded = [&](bool shown) { reports.push_back(shown); };

    const std::string good = WriteJpeg(dir, "p.jpg", 100, 100);
    ASSERT_EQ(tile.Media->StartLoadMedia(good, 110, 110), MediaLoad::Pending);
    EXPECT_TRUE(tile.Media->isHidden());
    EXPECT_TRUE(tile.Media->IsDecoding());
    ASSERT_TRUE(RunUntil(DecodesDone));
    EXPECT_EQ(reports, std::vector<bool>{true});
    EXPECT_FALSE(tile.Media->IsDecoding());
    EXPECT_TRUE(tile.Media->isVisible());
    EXPECT_TRUE(IsRed(tile.Grab().pixel(5, 50)));

    WriteBytes(dir.Sub("broken.jpg"), "\xFF\xD8\xFF garbage");
    ASSERT_EQ(tile.Media->StartLoadMedia(dir.Sub("broken.jpg"), 110, 110), MediaLoad::Pending);
    ASSERT_TRUE(RunUntil(DecodesDone));
    EXPECT_EQ(reports, (std::vector<bool>{true, false}));
    EXPECT_EQ(tile.Media->LastFailure(), DecodeFailure::Damaged);
    EXPECT_TRUE(tile.Media->isHidden());
}

TEST(MediaTile, ALaterLoadReplacesAPendingOne) {
    TempDir dir;
    Tile tile(110, 110);
    int reports = 0;
    tile.Media->OnPictureLoaded = [&](bool) { ++reports; };
    const std::string wide = WriteJpeg(dir, "wide.jpg", 2000, 100);
    const std::string small = WriteJpeg(dir, "small.jpg", 60, 40);

    // Overtaken by a load done on the spot: its picture never comes.
    ASSERT_EQ(tile.Media->StartLoadMedia(wide, 110, 110), MediaLoad::Pending);
    ASSERT_TRUE(tile.Media->LoadMedia(small, 110, 110));
    ASSERT_TRUE(RunUntil(DecodesDone));
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(tile.Media->DecodedSize(), QSize(60, 40));

    // Overtaken by another started load: only the last one reports.
    ASSERT_EQ(tile.Media->StartLoadMedia(small, 110, 110), MediaLoad::Pending);
    ASSERT_EQ(tile.Media->StartLoadMedia(wide, 110, 110), MediaLoad::Pending);
    ASSERT_TRUE(RunUntil(DecodesDone));
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(tile.Media->DecodedSize(), QSize(250, 13));
}
