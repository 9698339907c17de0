#pragma once

// The media tile's playback interface over a smart media player: videos are
// played centred in the player's display, which is shown while it plays and
// hidden when playback stops.

#include "gallery/MediaTile.h"

class MediaPlayer;

class MediaPlayerPlayback final : public VideoPlayback {
public:
    // The player must outlive this adapter.
    explicit MediaPlayerPlayback(MediaPlayer& player) : Player_(player) {}

    bool HasDisplay() const override;
    bool PlayInDisplay(const std::string& fileName) override;
    void StopPlayback() override;

    MediaPlayer& Player() const { return Player_; }

private:
    MediaPlayer& Player_;
};
