#pragma once

// The media tile's playback interface over a smart media player: videos are
// played centred in the player's display, which is shown while it plays and
// hidden when playback stops.

#include "gallery/MediaTile.h"

class TSmartMediaPlayer;

class TSmartPlayerPlayback final : public TVideoPlayback {
public:
    // The player must outlive this adapter.
    explicit TSmartPlayerPlayback(TSmartMediaPlayer& player) : Player_(player) {}

    bool HasDisplay() const override;
    bool PlayInDisplay(const QString& fileName) override;
    void StopPlayback() override;

    TSmartMediaPlayer& Player() const { return Player_; }

private:
    TSmartMediaPlayer& Player_;
};
