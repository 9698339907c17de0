// The full-screen display on an X server without a window manager (Xvfb,
// 1024 × 768): the window covers the screen, pictures reach the screen one
// decoded pixel to one screen pixel where the decoder's scale puts them, the
// help and name lines follow the option, ESC leaves no cursor behind, and the
// demo clip plays in the video panel. What is on the screen is read back from
// the X server, so every check waits until the server shows it.
#include "gallery/FullScreenDisplay.h"
#include "gallery/MediaPlayer.h"
#include "gallery/MediaPlayerPlayback.h"
#include "gallery/ScreenCursor.h"

#include "demo/DemoPictures.h"

#include "EventLoop.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QVideoWidget>
#include <QWindow>

#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Readable failures for geometry.
void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
void PrintTo(const QSize& s, std::ostream* os) {
    *os << s.width() << "x" << s.height();
}

namespace {

const QRect kScreen(0, 0, 1024, 768);

enum class Colour { Black, Red, Green, Blue, Yellow };

bool Is(QRgb p, Colour colour) {
    auto near = [](int value, int want) { return std::abs(value - want) < 70; };
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    switch (colour) {
    case Colour::Black:
        return r < 8 && g < 8 && b < 8;
    case Colour::Red:
        return near(r, 255) && near(g, 0) && near(b, 0);
    case Colour::Green:
        return near(r, 0) && near(g, 255) && near(b, 0);
    case Colour::Blue:
        return near(r, 0) && near(g, 0) && near(b, 255);
    case Colour::Yellow:
        return near(r, 255) && near(g, 255) && near(b, 0);
    }
    return false;
}

// Red top left, green top right, blue bottom left, yellow bottom right: where
// the four meet is the picture's middle, and any turn or mirror shows.
std::string WriteQuadrantJpeg(const TempDir& dir, const std::string& name, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 2, Qt::red);
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::green);
    painter.fillRect(0, height / 2, width / 2, height - height / 2, Qt::blue);
    painter.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, Qt::yellow);
    painter.end();
    // Written by the path's bytes, so that names that are not UTF-8 can be made.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", 95)) << name;
    const std::string path = dir.Sub(name);
    WriteFile(path, bytes.toStdString());
    return path;
}

// The quadrant colours around the point where they meet, d pixels into each.
bool QuadrantsMeetAt(const QImage& shot, QPoint middle, int d = 12) {
    const int x = middle.x(), y = middle.y();
    return Is(shot.pixel(x - d, y - d), Colour::Red) &&
           Is(shot.pixel(x + d - 1, y - d), Colour::Green) &&
           Is(shot.pixel(x - d, y + d - 1), Colour::Blue) &&
           Is(shot.pixel(x + d - 1, y + d - 1), Colour::Yellow);
}

// The whole X screen as the server has it.
QImage ScreenShot() {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
}

// Pixels of area that are not black, leaving out the rectangle inside.
int LitPixels(const QImage& shot, const QRect& area, const QRect& inside = QRect()) {
    int lit = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (!inside.contains(x, y) && !Is(shot.pixel(x, y), Colour::Black)) ++lit;
    return lit;
}

// The screen shows picture, pixel for pixel, at rect.
bool ShowsAt(const QImage& shot, const QRect& rect, const QImage& picture) {
    return shot.copy(rect) == picture.convertToFormat(QImage::Format_RGB32);
}

// Processes events until the screen, read back each round, satisfies pred;
// shot holds the last reading.
bool ScreenUntil(QImage& shot, const std::function<bool(const QImage&)>& pred) {
    return RunUntil(
        [&] {
            shot = ScreenShot();
            return pred(shot);
        },
        15000);
}

bool Exposed(const QWidget& window) {
    return RunUntil(
        [&] { return window.windowHandle() != nullptr && window.windowHandle()->isExposed(); },
        15000);
}

class RecordedMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
    std::vector<std::string> Texts;
};

class DisplayOnX : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), kScreen)
            << "run under xvfb-run -s \"-screen 0 1024x768x24\"";
    }
    void TearDown() override { restoreSavedCursor(); }
    TempDir dir;
};

} // namespace

// --- the window and the pictures on the screen ---

TEST_F(DisplayOnX, CoversTheScreenWithoutAWindowManager) {
    FullScreenDisplay display;
    display.SetShowComments(false);
    display.ShowMedia("small", WriteQuadrantJpeg(dir, "small.jpg", 600, 400));
    ASSERT_TRUE(Exposed(display));
    EXPECT_TRUE(display.windowState() & Qt::WindowFullScreen);
    EXPECT_EQ(display.geometry(), kScreen);
    EXPECT_EQ(display.frameGeometry(), kScreen); // frameless, and no manager to add one
    EXPECT_EQ(display.windowHandle()->geometry(), kScreen);
    EXPECT_EQ(display.screen(), QGuiApplication::primaryScreen());
    // Everything around the picture is the display's black, up to the screen's
    // edges: nothing of the root window shows.
    const QRect picture(212, 184, 600, 400);
    QImage shot;
    EXPECT_TRUE(ScreenUntil(
        shot,
        [&](const QImage& s) {
            return LitPixels(s, kScreen, picture) == 0 && QuadrantsMeetAt(s, {512, 384});
        }))
        << LitPixels(shot, kScreen, picture) << " lit pixels around the picture";
}

// A stored name need not be UTF-8 (here the bytes 0xE9 and 0xFF): the
// picture of those bytes reaches the screen, not the black of a file that
// was not found.
TEST_F(DisplayOnX, PictureWhoseNameIsNotUtf8ReachesTheScreen) {
    FullScreenDisplay display;
    display.SetShowComments(false);
    display.ShowMedia(QString::fromUtf8("caf\uFFFD\uFFFD.jpg"),
                      WriteQuadrantJpeg(dir, "caf\xE9\xFF.jpg", 600, 400));
    ASSERT_TRUE(Exposed(display));
    QImage shot;
    EXPECT_TRUE(ScreenUntil(shot, [](const QImage& s) { return QuadrantsMeetAt(s, {512, 384}); }))
        << LitPixels(shot, kScreen) << " lit pixels";
}

TEST_F(DisplayOnX, BigPictureIsDecodedAtHalfScaleAndItsMiddleShown) {
    // 3000 × 2000 at 50 % is 1500 × 1000, within 150 % of 1024 × 768: the
    // decoder takes 1/2, and the screen shows the middle 1024 × 768 of it.
    FullScreenDisplay display;
    display.SetShowComments(false);
    display.ShowMedia("big", WriteQuadrantJpeg(dir, "big.jpg", 3000, 2000));
    const MediaTile* media = display.Media();
    EXPECT_EQ(media->ScaleDenominator(), 2);
    EXPECT_EQ(media->DecodedSize(), QSize(1500, 1000));
    ASSERT_EQ(media->ShownPicture().size(), kScreen.size());
    ASSERT_TRUE(Exposed(display));
    QImage shot;
    EXPECT_TRUE(ScreenUntil(
        shot, [&](const QImage& s) { return ShowsAt(s, kScreen, media->ShownPicture()); }));
    EXPECT_TRUE(QuadrantsMeetAt(shot, {512, 384})) << "the picture's middle is off the screen's";
}

TEST_F(DisplayOnX, SmallPictureIsShownWholeAndCentredOnBlack) {
    FullScreenDisplay display;
    display.SetShowComments(false);
    display.ShowMedia("small", WriteQuadrantJpeg(dir, "small.jpg", 600, 400));
    const MediaTile* media = display.Media();
    EXPECT_EQ(media->ScaleDenominator(), 1);
    ASSERT_EQ(media->ShownPicture().size(), QSize(600, 400));
    ASSERT_TRUE(Exposed(display));
    const QRect picture(212, 184, 600, 400);
    QImage shot;
    EXPECT_TRUE(ScreenUntil(
        shot, [&](const QImage& s) { return ShowsAt(s, picture, media->ShownPicture()); }));
    EXPECT_TRUE(QuadrantsMeetAt(shot, picture.center() + QPoint(1, 1)));
    EXPECT_EQ(LitPixels(shot, kScreen, picture), 0);
    // The first row and column outside the picture on each side.
    for (const QPoint p : {QPoint(211, 300), QPoint(812, 300), QPoint(400, 183), QPoint(400, 584)})
        EXPECT_TRUE(Is(shot.pixel(p), Colour::Black)) << p.x() << "," << p.y();
}

// --- the help and name lines ---

TEST_F(DisplayOnX, CommentsOptionHidesOrShowsTheHelpAndNameLines) {
    const std::string path = WriteQuadrantJpeg(dir, "small.jpg", 600, 400);
    const QRect top(0, 0, 1024, 25), bottom(0, 739, 1024, 29);
    {
        FullScreenDisplay display;
        display.SetShowComments(false);
        display.ShowMedia("a name", path);
        ASSERT_TRUE(Exposed(display));
        EXPECT_FALSE(display.HelpLine()->isVisible());
        EXPECT_FALSE(display.NameLine()->isVisible());
        QImage shot;
        ASSERT_TRUE(ScreenUntil(shot, [&](const QImage& s) {
            return ShowsAt(s, QRect(212, 184, 600, 400), display.Media()->ShownPicture());
        }));
        EXPECT_EQ(LitPixels(shot, top), 0);
        EXPECT_EQ(LitPixels(shot, bottom), 0);
    }
    FullScreenDisplay display;
    display.SetShowComments(true);
    display.ShowMedia("a name", path);
    ASSERT_TRUE(Exposed(display));
    EXPECT_TRUE(display.HelpLine()->isVisible());
    EXPECT_TRUE(display.NameLine()->isVisible());
    EXPECT_EQ(display.HelpLine()->geometry(), top);
    EXPECT_EQ(display.NameLine()->geometry(), bottom);
    // The picture is centred between the lines, 714 pixels high from y 25.
    const QRect picture(212, 25 + (714 - 400) / 2, 600, 400);
    QImage shot;
    EXPECT_TRUE(ScreenUntil(shot,
                            [&](const QImage& s) {
                                return ShowsAt(s, picture, display.Media()->ShownPicture()) &&
                                       LitPixels(s, top) > 0 && LitPixels(s, bottom) > 0;
                            }))
        << "help line " << LitPixels(shot, top) << " lit, name line " << LitPixels(shot, bottom);
}

// --- ESC and the cursor ---

TEST_F(DisplayOnX, EscClosesTheDisplayAndLeavesNoOverrideCursor) {
    FullScreenDisplay display;
    setScreenCursor(ScreenCursor::Hourglass); // as during a long walk
    display.ShowMedia("x", WriteQuadrantJpeg(dir, "small.jpg", 600, 400));
    ASSERT_TRUE(Exposed(display));
    EXPECT_EQ(display.cursor().shape(), Qt::BlankCursor);
    QTest::keyClick(&display, Qt::Key_Escape);
    EXPECT_FALSE(display.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(screenCursor(), ScreenCursor::Default);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(RunUntil([&] { return !display.windowHandle()->isExposed(); }, 15000));
}

// --- the demo clip ---

namespace {

// A display whose videos go to a smart player in its video panel. The
// display goes first, taking the video host with its panel.
struct VideoDisplay {
    RecordedMessages Messages;
    MediaPlayer Player{nullptr, &Messages};
    MediaPlayerPlayback Playback{Player};
    FullScreenDisplay Display;
    bool Ended = false;

    VideoDisplay() {
        Player.SetDisplay(Display.VideoPanel());
        Display.SetVideoPlayer(&Playback);
        Player.OnNotify = [this](MediaPlayerBase*, PlayerNotification value) {
            Ended = Ended || value == nvSuccessful;
        };
    }
    // Frames decoded or the end reached (a clip this short may end before its
    // position is seen above 0), or a failure reported.
    bool Played() {
        return RunUntil(
            [this] { return Ended || Player.Position() > 0 || !Messages.Texts.empty(); });
    }
};

class DemoClipOnX : public DisplayOnX {
protected:
    void SetUp() override {
        DisplayOnX::SetUp();
        WriteFile(dir.Sub("demo.mpg"), Demo::MakeClip());
        Clip = dir.Sub("demo.mpg");
        Picture = WriteQuadrantJpeg(dir, "small.jpg", 600, 400);
    }
    // Shows the clip; skips the test where nothing here can decode it.
    void StartClip(VideoDisplay& video) {
        video.Display.ShowMedia("demo clip", Clip);
        ASSERT_TRUE(Exposed(video.Display));
        const bool played = video.Played();
        if (!played || !video.Messages.Texts.empty())
            GTEST_SKIP() << "no decoder here plays the demo MPEG-1 clip: "
                         << (played ? video.Messages.Texts[0] : std::string("it never started"));
    }
    std::string Clip, Picture;
};

} // namespace

TEST_F(DemoClipOnX, PlaysCentredInTheVideoPanelUntilAPictureComes) {
    VideoDisplay video;
    StartClip(video);
    if (IsSkipped()) return;
    FullScreenDisplay& display = video.Display;
    QVideoWidget* host = video.Player.VideoHost();
    EXPECT_TRUE(display.VideoPanel()->isVisible());
    EXPECT_EQ(display.VideoPanel()->geometry(), QRect(0, 0, 1024, 714));
    EXPECT_EQ(display.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(host->accessibleDescription(), video.Ended ? "ended" : "playing");
    // Laid out at its natural size once the device tells it, centred.
    ASSERT_TRUE(RunUntil([&] { return video.Player.NaturalWidth() > 0; }));
    EXPECT_EQ(QSize(video.Player.NaturalWidth(), video.Player.NaturalHeight()), QSize(176, 144));
    EXPECT_EQ(host->geometry(), QRect((1024 - 176) / 2, (714 - 144) / 2, 176, 144));
    EXPECT_TRUE(host->isVisible());

    display.ShowMedia("a picture", Picture);
    EXPECT_FALSE(display.VideoPanel()->isVisible());
    EXPECT_FALSE(video.Player.IsOpen());
    EXPECT_EQ(video.Player.Mode(), mpNotReady);
    EXPECT_EQ(host->accessibleDescription(), "");
    EXPECT_TRUE(display.Media()->isVisible());
    EXPECT_EQ(display.cursor().shape(), Qt::BlankCursor);
    EXPECT_TRUE(video.Messages.Texts.empty()) << video.Messages.Texts[0];
}

TEST_F(DemoClipOnX, ClosingTheDisplayStopsIt) {
    VideoDisplay video;
    StartClip(video);
    if (IsSkipped()) return;
    video.Display.close();
    EXPECT_FALSE(video.Player.IsOpen());
    EXPECT_EQ(video.Player.Mode(), mpNotReady);
    EXPECT_FALSE(video.Display.VideoPanel()->isVisible());
    EXPECT_TRUE(video.Messages.Texts.empty()) << video.Messages.Texts[0];
}

// Video, picture, video in quick succession: with Qt 6.4's GStreamer backend
// a clip opened right after the previous one was stopped mid-play at times
// never starts or fails with "Internal data stream error"; the player lets
// the stopped device wind down first.
TEST_F(DemoClipOnX, PlaysAgainRightAfterAPictureStoppedIt) {
    VideoDisplay video;
    StartClip(video);
    if (IsSkipped()) return;
    video.Display.ShowMedia("a picture", Picture);
    video.Ended = false;
    video.Display.ShowMedia("demo clip", Clip);
    EXPECT_TRUE(video.Played()) << "position " << video.Player.Position() << " of "
                                << video.Player.Length();
    EXPECT_TRUE(video.Messages.Texts.empty()) << video.Messages.Texts[0];
}

// --- screenshot ---

TEST_F(DisplayOnX, ScreenshotOfTheBigPictureWithItsLines) {
    FullScreenDisplay display;
    display.SetShowComments(true);
    display.ShowMedia("big.jpg (3000 x 2000, shown at 1/2)",
                      WriteQuadrantJpeg(dir, "big.jpg", 3000, 2000));
    ASSERT_TRUE(Exposed(display));
    // The 768 rows of the picture are centred on the 714 between the lines.
    const QImage rows = display.Media()->ShownPicture().copy(0, (768 - 714) / 2, 1024, 714);
    QImage shot;
    ASSERT_TRUE(ScreenUntil(shot, [&](const QImage& s) {
        return ShowsAt(s, QRect(0, 25, 1024, 714), rows) && LitPixels(s, {0, 0, 1024, 25}) > 0;
    }));
    ASSERT_TRUE(QDir().mkpath(TESSELLON_SCREENSHOTS));
    const QString file = QStringLiteral(TESSELLON_SCREENSHOTS "/fullscreen.png");
    ASSERT_TRUE(shot.save(file, "PNG")) << file.toStdString();
    EXPECT_EQ(QImage(file).size(), kScreen.size());
}
