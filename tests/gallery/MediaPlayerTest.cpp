// The smart media player in a display widget, offscreen: messages instead of
// exceptions, the layout that waits for the natural size, the settings that
// lay out again, and a real clip played to its end where a decoder exists.
#include "gallery/MediaPlayer.h"

#include "EventLoop.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QVideoWidget>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class RecordedMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
    std::vector<std::string> Texts;
};

// Lets a test stand in for the device when it reports the natural size.
class TestPlayer : public MediaPlayer {
public:
    using MediaPlayer::MediaPlayer;
    using MediaPlayerBase::ReportNaturalSize;
};

void Le(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(char((value >> (8 * i)) & 0xFF));
}

std::string Chunk(const char* id, const std::string& body) {
    std::string out(id, 4);
    Le(out, std::uint32_t(body.size()), 4);
    out += body;
    if (body.size() % 2 != 0) out.push_back('\0');
    return out;
}

std::string List(const char* type, const std::string& body) {
    return Chunk("LIST", std::string(type, 4) + body);
}

// An AVI of uncompressed 24-bit frames: readable by any player that can
// demultiplex AVI, no codec needed.
std::string MakeAvi(int width, int height, int frames, int fps) {
    const int stride = (width * 3 + 3) & ~3;
    const std::uint32_t size = std::uint32_t(stride * height);
    std::string avih;
    for (std::uint32_t v : {std::uint32_t(1000000 / fps), size * fps, 0u, 0x10u /* has index */,
                            std::uint32_t(frames), 0u, 1u, size, std::uint32_t(width),
                            std::uint32_t(height), 0u, 0u, 0u, 0u})
        Le(avih, v, 4);
    std::string strh = "vidsDIB ";
    for (std::uint32_t v :
         {0u, 0u, 0u, 1u, std::uint32_t(fps), 0u, std::uint32_t(frames), size, 0xFFFFFFFFu, 0u})
        Le(strh, v, 4);
    for (std::uint32_t v : {0u, 0u, std::uint32_t(width), std::uint32_t(height)})
        Le(strh, v, 2);
    std::string strf;
    Le(strf, 40, 4);
    Le(strf, std::uint32_t(width), 4);
    Le(strf, std::uint32_t(height), 4);
    Le(strf, 1, 2);
    Le(strf, 24, 2);
    for (std::uint32_t v : {0u, size, 0u, 0u, 0u, 0u})
        Le(strf, v, 4);

    std::string movi = "movi";
    std::string index;
    for (int f = 0; f < frames; ++f) {
        std::string pixels(size, '\0');
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                char* p = &pixels[std::size_t(y * stride + x * 3)];
                p[0] = char(x * 4 + f * 20);
                p[1] = char(y * 5);
                p[2] = char(f * 25);
            }
        index += "00db";
        Le(index, 0x10, 4); // key frame
        Le(index, std::uint32_t(movi.size()), 4);
        Le(index, size, 4);
        movi += Chunk("00db", pixels);
    }
    const std::string header =
        List("hdrl", Chunk("avih", avih) + List("strl", Chunk("strh", strh) + Chunk("strf", strf)));
    return Chunk("RIFF", "AVI " + header + Chunk("LIST", movi) + Chunk("idx1", index));
}

QRect HostRect(const MediaPlayer& player) {
    return player.VideoHost()->geometry();
}

// An 800 x 600 display with a player whose messages are recorded, and a
// short clip on disk.
class MediaPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        display.resize(800, 600);
        display.show();
        player = std::make_unique<TestPlayer>(nullptr, &messages);
        player->SetDisplay(&display);
        clip = dir.Sub("clip.avi");
        WriteFile(clip, MakeAvi(64, 48, 10, 10));
        player->FileName = clip;
    }
    void TearDown() override { player.reset(); }

    // Opens the clip and reports a natural size as the device would.
    void OpenWithSize(int width, int height) {
        ASSERT_TRUE(player->OpenInDisplay());
        player->ReportNaturalSize(width, height);
    }

    TempDir dir;
    RecordedMessages messages;
    QWidget display;
    std::unique_ptr<TestPlayer> player;
    std::string clip;
};

} // namespace

TEST_F(MediaPlayerTest, RefusalsAreMessagesWithAFalseResult) {
    player->FileName.clear();
    EXPECT_FALSE(player->OpenInDisplay());
    EXPECT_TRUE(messages.Texts.empty());

    player->FileName = dir.Sub("gone.mpg");
    EXPECT_FALSE(player->OpenInDisplay());
    EXPECT_FALSE(player->LaidOut());

    TestPlayer tilePlayer(nullptr, &messages);
    tilePlayer.FileName = clip;
    EXPECT_FALSE(tilePlayer.OpenInDisplay());
    EXPECT_FALSE(tilePlayer.Play());

    const std::vector<std::string> expected = {
        dir.Sub("gone.mpg") + " is not available.",
        "Error: the SmartMediaPlayer.Display property has not been set.", "No MCI device open"};
    EXPECT_EQ(messages.Texts, expected);
}

TEST_F(MediaPlayerTest, FirstLayoutWaitsForTheNaturalSize) {
    ASSERT_TRUE(player->OpenInDisplay());
    EXPECT_TRUE(player->LaidOut());
    EXPECT_TRUE(display.isVisible());
    EXPECT_FALSE(player->VideoHost()->isVisible());
    EXPECT_FALSE(player->LayoutVideo(800, 600));

    // Sound only, or a size without height: still waiting, nothing divided.
    player->ReportNaturalSize(320, 0);
    EXPECT_FALSE(player->LayoutVideo(800, 600));
    EXPECT_EQ(player->NaturalWidth(), -1);

    // A zoom asked for meanwhile waits with the layout.
    player->SetDisplayZoom(50);
    EXPECT_EQ(player->DisplayZoom(), 50);

    player->ReportNaturalSize(320, 240);
    EXPECT_EQ(player->NaturalWidth(), 320);
    EXPECT_EQ(player->NaturalHeight(), 240);
    EXPECT_EQ(player->AspectPercent(), 133);
    EXPECT_TRUE(player->VideoHost()->isVisible());
    EXPECT_EQ(HostRect(*player), QRect(320, 240, 160, 120));

    // The device's first size stands for the whole file.
    player->ReportNaturalSize(640, 480);
    EXPECT_EQ(player->NaturalWidth(), 320);
}

TEST_F(MediaPlayerTest, SettingsLayTheVideoOutAgain) {
    OpenWithSize(320, 240);
    EXPECT_EQ(HostRect(*player), QRect(240, 180, 320, 240));

    player->SetDisplayVPos(vaBottom);
    player->SetDisplayHPos(haRight);
    EXPECT_EQ(HostRect(*player), QRect(460, 340, 320, 240));

    player->SetDisplayZoom(0);
    player->SetDisplayZoom(-20);
    EXPECT_EQ(player->DisplayZoom(), 100);
    EXPECT_EQ(HostRect(*player), QRect(460, 340, 320, 240));

    // A larger display lays out again through its resize.
    display.resize(1000, 700);
    EXPECT_EQ(HostRect(*player), QRect(660, 440, 320, 240));

    player->SetDisplayAlign(alignClient);
    EXPECT_EQ(HostRect(*player), QRect(38, 10, 904, 680));
}

TEST_F(MediaPlayerTest, TruncateOffShrinksTheZoomUntilTheVideoFits) {
    OpenWithSize(1000, 800);
    // Truncated: too large both ways, so it stays where the device put it.
    EXPECT_EQ(HostRect(*player), QRect(0, 0, 1000, 800));

    player->SetTruncate(false);
    EXPECT_EQ(player->DisplayZoom(), 72);
    EXPECT_EQ(HostRect(*player), QRect(40, 12, 720, 576));

    // A zoom the layout refuses gives the old one back.
    player->SetDisplayZoom(100);
    EXPECT_EQ(player->DisplayZoom(), 72);
    player->SetDisplayZoom(50);
    EXPECT_EQ(HostRect(*player), QRect(150, 100, 500, 400));
}

TEST_F(MediaPlayerTest, FittedVideoFollowsTheDisplayInStepsOfFivePixels) {
    player->SetDisplayAlign(alignClient);
    OpenWithSize(400, 300);
    EXPECT_EQ(HostRect(*player), QRect(4, 10, 771, 580));

    display.resize(804, 604);
    EXPECT_EQ(HostRect(*player), QRect(4, 10, 771, 580));
    display.resize(805, 604);
    EXPECT_EQ(HostRect(*player), QRect(4, 10, 776, 584));

    // Refused: a fitted video keeps the zoom it had.
    player->SetDisplayZoom(300);
    EXPECT_EQ(player->DisplayZoom(), 100);
    player->SetTruncate(false);
    EXPECT_EQ(player->DisplayZoom(), 100);

    // A second file in the same display is fitted again.
    player->Close();
    OpenWithSize(320, 240);
    EXPECT_EQ(HostRect(*player), QRect(4, 10, 776, 584));
}

TEST_F(MediaPlayerTest, NewMediaSizeMayBeRefused) {
    std::vector<std::vector<int>> asked;
    bool allow = true;
    player->OnNewMediaSize = [&](MediaPlayer* sender, int w, int h, int zoom, bool& can) {
        EXPECT_EQ(sender, player.get());
        asked.push_back({w, h, zoom});
        can = allow;
    };
    OpenWithSize(320, 240);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (std::vector<int>{320, 240, 100}));

    allow = false;
    player->SetDisplayZoom(200);
    EXPECT_EQ(asked.back(), (std::vector<int>{640, 480, 200}));
    EXPECT_EQ(player->DisplayZoom(), 100);
    EXPECT_EQ(HostRect(*player), QRect(240, 180, 320, 240));

    // A handler that throws refuses, and says why.
    player->OnNewMediaSize = [](MediaPlayer*, int, int, int, bool&) {
        throw std::runtime_error("no room");
    };
    EXPECT_FALSE(player->LayoutVideo(800, 600));
    EXPECT_EQ(messages.Texts, std::vector<std::string>{"no room"});
}

TEST_F(MediaPlayerTest, CloseAndNoDisplayEndTheLayout) {
    OpenWithSize(320, 240);
    player->Close();
    EXPECT_FALSE(player->IsOpen());
    EXPECT_FALSE(player->LaidOut());
    EXPECT_EQ(player->NaturalWidth(), -1);
    EXPECT_EQ(player->NaturalHeight(), 240); // only the width marks a new measurement
    EXPECT_EQ(HostRect(*player), QRect(0, 0, 800, 600));
    EXPECT_FALSE(player->LayoutVideo(800, 600));

    // Setting no display closes the device and keeps the display.
    OpenWithSize(320, 240);
    player->SetDisplay(nullptr);
    EXPECT_FALSE(player->IsOpen());
    EXPECT_FALSE(player->LaidOut());
    EXPECT_EQ(player->Display(), &display);
    EXPECT_TRUE(messages.Texts.empty());

    // A display that goes away takes the video host with it.
    auto other = std::make_unique<QWidget>();
    other->resize(300, 200);
    player->SetDisplay(other.get());
    ASSERT_NE(player->VideoHost(), nullptr);
    EXPECT_EQ(player->VideoHost()->parentWidget(), other.get());
    EXPECT_EQ(HostRect(*player), QRect(0, 0, 300, 200));
    other.reset();
    EXPECT_EQ(player->Display(), nullptr);
    EXPECT_EQ(player->VideoHost(), nullptr);
    EXPECT_FALSE(player->OpenInDisplay());
    EXPECT_EQ(messages.Texts.back(),
              "Error: the SmartMediaPlayer.Display property has not been set.");
}

TEST_F(MediaPlayerTest, DraggingTheVideoScrollsAScrollingDisplay) {
    QAbstractScrollArea area;
    area.resize(400, 300);
    area.horizontalScrollBar()->setRange(0, 1000);
    area.verticalScrollBar()->setRange(0, 1000);
    area.show();
    player->SetDisplay(&area);
    QVideoWidget* host = player->VideoHost();
    auto send = [&](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(pos), host->mapToGlobal(QPointF(pos)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(host, &event);
    };
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    send(QEvent::MouseMove, {130, 90}, Qt::LeftButton);
    EXPECT_EQ(area.horizontalScrollBar()->value(), 30);
    EXPECT_EQ(area.verticalScrollBar()->value(), 0); // clamped at the top
    send(QEvent::MouseMove, {150, 140}, Qt::LeftButton);
    EXPECT_EQ(area.horizontalScrollBar()->value(), 50);
    EXPECT_EQ(area.verticalScrollBar()->value(), 50);
    // Without the button held nothing moves.
    send(QEvent::MouseMove, {300, 300}, Qt::NoButton);
    EXPECT_EQ(area.horizontalScrollBar()->value(), 50);

    // A display that cannot scroll ignores the drag.
    player->SetDisplay(&display);
    host = player->VideoHost();
    send(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    send(QEvent::MouseMove, {40, 40}, Qt::LeftButton);
    EXPECT_TRUE(messages.Texts.empty());
}

TEST_F(MediaPlayerTest, ClipPlaysToItsEndAndAgain) {
    std::vector<PlayerNotification> notices;
    player->OnNotify = [&](MediaPlayerBase*, PlayerNotification value) {
        notices.push_back(value);
    };
    QVideoWidget* host = player->VideoHost();
    EXPECT_EQ(host->accessibleName(), "video");

    ASSERT_TRUE(player->OpenInDisplay());
    ASSERT_TRUE(player->Play());
    EXPECT_EQ(host->accessibleDescription(), "playing");
    ASSERT_TRUE(RunUntil([&] { return !notices.empty() || !messages.Texts.empty(); }));
    if (!messages.Texts.empty())
        GTEST_SKIP() << "no player for uncompressed AVI video here: " << messages.Texts[0];

    EXPECT_EQ(notices, std::vector<PlayerNotification>{nvSuccessful});
    EXPECT_EQ(host->accessibleDescription(), "ended");
    EXPECT_EQ(player->NaturalWidth(), 64);
    EXPECT_EQ(player->NaturalHeight(), 48);
    EXPECT_EQ(HostRect(*player), QRect(368, 276, 64, 48));
    EXPECT_TRUE(host->isVisible());
    EXPECT_GT(player->Length(), 0);

    // At the end Play starts over.
    ASSERT_TRUE(player->Play());
    EXPECT_EQ(host->accessibleDescription(), "playing");
    ASSERT_TRUE(RunUntil([&] { return notices.size() == 2 || !messages.Texts.empty(); }));
    EXPECT_TRUE(messages.Texts.empty());
    EXPECT_EQ(host->accessibleDescription(), "ended");
}

// A stored name need not be UTF-8: the device gets the very bytes, not the
// name the text form of a byte 0xE9 or 0xFF would give (U+FFFD), where a
// decoy lies that is no video.
TEST_F(MediaPlayerTest, ClipWhoseNameIsNotUtf8Plays) {
    player->FileName = dir.Sub("clip\xE9\xFF.avi");
    WriteFile(player->FileName, MakeAvi(64, 48, 10, 10));
    WriteFile(dir.Sub("clip\xEF\xBF\xBD\xEF\xBF\xBD.avi"), "not a video at all");
    std::vector<PlayerNotification> notices;
    player->OnNotify = [&](MediaPlayerBase*, PlayerNotification value) {
        notices.push_back(value);
    };
    ASSERT_TRUE(player->OpenInDisplay());
    ASSERT_TRUE(player->Play());
    ASSERT_TRUE(RunUntil([&] { return !notices.empty() || !messages.Texts.empty(); }));
    EXPECT_EQ(messages.Texts, std::vector<std::string>{});
    EXPECT_EQ(notices, std::vector<PlayerNotification>{nvSuccessful});
    EXPECT_EQ(player->NaturalWidth(), 64);
}

TEST_F(MediaPlayerTest, FileTheDeviceCannotPlayIsAMessage) {
    const std::string broken = dir.Sub("broken.avi");
    WriteFile(broken, "not a video at all");
    player->FileName = broken;
    std::vector<PlayerNotification> notices;
    player->OnNotify = [&](MediaPlayerBase*, PlayerNotification value) {
        notices.push_back(value);
    };
    player->OpenInDisplay();
    player->Play();
    ASSERT_TRUE(RunUntil([&] { return !messages.Texts.empty(); }));
    const std::string text = messages.Texts[0];
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(player->LastErrorText(), text);
    EXPECT_EQ(player->VideoHost()->accessibleDescription(), QString::fromStdString(text));
    EXPECT_FALSE(player->IsOpen());
    EXPECT_FALSE(player->LaidOut());
    EXPECT_EQ(HostRect(*player), QRect(0, 0, 800, 600));

    // With an error handler the handler hears it instead of the messages.
    messages.Texts.clear();
    std::vector<std::string> errors;
    player->OnDeviceError = [&](MediaPlayerBase*, const std::string& e) { errors.push_back(e); };
    player->OpenInDisplay();
    ASSERT_TRUE(RunUntil([&] { return !errors.empty(); }));
    EXPECT_TRUE(messages.Texts.empty());
    EXPECT_FALSE(player->IsOpen());
}
