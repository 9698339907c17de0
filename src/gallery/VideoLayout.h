#pragma once

// Where a video goes inside its display. Either the natural size times a
// zoom, placed centred, left/top or right/bottom with a margin, or fitted to
// the display with its proportions kept. Plain integer arithmetic, no widgets:
// the player feeds it the sizes and applies the rectangle it gives back.

#include <cstdint>
#include <optional>

enum VideoVerticalPos { vaCenter, vaTop, vaBottom };
enum VideoHorizontalPos { haCenter, haLeft, haRight };
// alignNone: natural size times zoom; alignClient: fit the display, aspect kept.
enum VideoAlign { alignNone, alignClient };

struct VideoRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const VideoRect&) const = default;
};

// Sides longer than this are refused: no widget can be made larger.
inline constexpr int kMaxVideoExtent = (1 << 24) - 1;

class VideoLayout {
public:
    // --- settings, as the player publishes them ---
    std::uint16_t Margin = 10; // pixels kept free on each side
    int Zoom = 100;            // percent of the natural size, alignNone only
    VideoAlign Align = alignNone;
    VideoHorizontalPos HPos = haCenter;
    VideoVerticalPos VPos = vaCenter;
    bool Truncate = true; // alignNone: a video larger than the display is clipped, not refused

    // The size the device reports for the video just opened. A height of 0
    // (sound only, or not known yet) leaves AspectPercent unset, and Place
    // refuses until a size with both sides above 0 arrives. A fresh size also
    // forgets the display size of the last fitted layout, so that a new video
    // is fitted even in a display that has not changed.
    void SetNaturalSize(int width, int height);
    // NaturalWidth back to -1: the next layout measures again.
    void ForgetNaturalWidth() { NaturalWidth_ = -1; }
    // A size was taken since the last ForgetNaturalWidth.
    bool Measured() const { return NaturalWidth_ != -1; }
    bool SizeKnown() const { return NaturalWidth_ > 0 && NaturalHeight_ > 0; }
    int NaturalWidth() const { return NaturalWidth_; }
    int NaturalHeight() const { return NaturalHeight_; }
    // NaturalWidth x 100 div NaturalHeight, at least 1; -1 while unknown.
    int AspectPercent() const { return AspectPercent_; }

    // Display size at the last fitted (alignClient) layout; 0 before any.
    int LastClientWidth() const { return LastClientWidth_; }
    int LastClientHeight() const { return LastClientHeight_; }
    // A changed alignment must lay out again even in an unchanged display.
    void ForgetLastClient() { LastClientWidth_ = LastClientHeight_ = 0; }

    // The video's rectangle in a display whose client area is clientWidth x
    // clientHeight, in the display's coordinates. `current` is where the
    // video is now: at natural size, a direction in which it does not fit
    // keeps its position. Nothing (no change to apply) when the size is not
    // known, when a fitted display changed by less than 5 pixels both ways,
    // when a video larger than the display is not to be truncated, or when
    // the zoomed video would be larger than any widget.
    std::optional<VideoRect> Place(int clientWidth, int clientHeight, const VideoRect& current);

private:
    std::optional<VideoRect> Fit(int clientWidth, int clientHeight);
    std::optional<VideoRect> Natural(int clientWidth, int clientHeight,
                                     const VideoRect& current) const;

    int NaturalWidth_ = -1;
    int NaturalHeight_ = -1;
    int AspectPercent_ = -1;
    int LastClientWidth_ = 0;
    int LastClientHeight_ = 0;
};
