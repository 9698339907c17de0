// The tile's playback interface over the smart media player: a display to
// play in, a missing file refused with a message, and stopping that closes
// the device and hides the display whether or not anything plays.
#include "gallery/MediaPlayerPlayback.h"

#include "gallery/MediaPlayer.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <QVideoWidget>

#include <string>
#include <vector>

namespace {

class RecordedMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
    std::vector<std::string> Texts;
};

class MediaPlayerPlaybackTest : public ::testing::Test {
protected:
    MediaPlayerPlaybackTest() : player(nullptr, &messages), playback(player) {
        display.resize(320, 240);
    }

    TempDir dir;
    RecordedMessages messages;
    QWidget display;
    MediaPlayer player;
    MediaPlayerPlayback playback;
};

} // namespace

TEST_F(MediaPlayerPlaybackTest, HasADisplayOnlyWhenThePlayerHasOne) {
    EXPECT_FALSE(playback.HasDisplay());
    EXPECT_FALSE(playback.PlayInDisplay(dir.Sub("clip.avi")));
    player.SetDisplay(&display);
    EXPECT_TRUE(playback.HasDisplay());
}

TEST_F(MediaPlayerPlaybackTest, StopWithNothingPlayingIsHarmless) {
    playback.StopPlayback();
    player.SetDisplay(&display);
    display.show();
    playback.StopPlayback();
    playback.StopPlayback();
    EXPECT_FALSE(display.isVisible());
    EXPECT_FALSE(player.IsOpen());
}

TEST_F(MediaPlayerPlaybackTest, MissingFileIsRefusedAndTheDisplayStaysHidden) {
    player.SetDisplay(&display);
    const std::string missing = dir.Sub("missing.avi");
    EXPECT_FALSE(playback.PlayInDisplay(missing));
    EXPECT_FALSE(display.isVisible());
    EXPECT_FALSE(player.IsOpen());
    ASSERT_EQ(messages.Texts.size(), 1u);
    EXPECT_NE(messages.Texts[0].find("missing.avi"), std::string::npos);
}

TEST_F(MediaPlayerPlaybackTest, PlayingCentresAndShowsTheDisplayAndStopHidesIt) {
    player.SetDisplay(&display);
    player.SetDisplayHPos(haLeft);
    player.SetDisplayVPos(vaBottom);
    // The device opens any existing file at once; whether it can decode it
    // is reported later, which does not matter here.
    const std::string clip = dir.Sub("clip.avi");
    WriteFile(clip, "RIFF");
    ASSERT_TRUE(playback.PlayInDisplay(clip));
    EXPECT_EQ(player.FileName, clip);
    EXPECT_EQ(player.DisplayHPos(), haCenter);
    EXPECT_EQ(player.DisplayVPos(), vaCenter);
    EXPECT_TRUE(display.isVisible());

    playback.StopPlayback();
    EXPECT_FALSE(player.IsOpen());
    EXPECT_FALSE(display.isVisible());
}
