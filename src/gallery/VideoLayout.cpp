#include "VideoLayout.h"

#include <algorithm>
#include <cstdlib>

void VideoLayout::SetNaturalSize(int width, int height) {
    NaturalWidth_ = width;
    NaturalHeight_ = height;
    AspectPercent_ = -1;
    if (width > 0 && height > 0) {
        // A very tall video would round to 0 %, which the fitting divides by.
        const long long aspect = static_cast<long long>(width) * 100 / height;
        AspectPercent_ = static_cast<int>(std::clamp<long long>(aspect, 1, kMaxVideoExtent));
    }
    ForgetLastClient();
}

std::optional<VideoRect> VideoLayout::Place(int clientWidth, int clientHeight,
                                            const VideoRect& current) {
    if (!SizeKnown()) return std::nullopt;
    if (Align == alignClient) return Fit(clientWidth, clientHeight);
    return Natural(clientWidth, clientHeight, current);
}

std::optional<VideoRect> VideoLayout::Fit(int clientWidth, int clientHeight) {
    // A fitted video is laid out again only for a real change of the display,
    // not for every pixel of a drag.
    if (std::abs(clientWidth - LastClientWidth_) < 5 &&
        std::abs(clientHeight - LastClientHeight_) < 5)
        return std::nullopt;
    LastClientWidth_ = clientWidth;
    LastClientHeight_ = clientHeight;

    const long long aw = static_cast<long long>(clientWidth) - 2 * Margin;
    const long long ah = static_cast<long long>(clientHeight) - 2 * Margin;
    long long x, y, width, height;
    if (ah >= aw * 100 / AspectPercent_) {
        width = aw;
        height = aw * 100 / AspectPercent_;
        x = Margin;
        y = (ah - height) / 2;
    } else {
        // Centred inside the reduced area, so the margin is not added here.
        height = ah;
        width = ah * AspectPercent_ / 100;
        x = (aw - width) / 2;
        y = Margin;
    }
    width = std::max(width, 2LL);
    height = std::max(height, 2LL);
    return VideoRect{static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                     static_cast<int>(height)};
}

std::optional<VideoRect> VideoLayout::Natural(int clientWidth, int clientHeight,
                                              const VideoRect& current) const {
    const long long width = static_cast<long long>(NaturalWidth_) * Zoom / 100;
    const long long height = static_cast<long long>(NaturalHeight_) * Zoom / 100;
    if (width > kMaxVideoExtent || height > kMaxVideoExtent) return std::nullopt;
    const long long aw = static_cast<long long>(clientWidth) - 2 * Margin;
    const long long ah = static_cast<long long>(clientHeight) - 2 * Margin;
    if (!Truncate && (ah < height || aw < width)) return std::nullopt;

    VideoRect r = current;
    r.Width = static_cast<int>(width);
    r.Height = static_cast<int>(height);
    // Right and bottom keep twice the margin free, left and top once.
    if (ah >= height) {
        switch (VPos) {
        case vaCenter:
            r.Top = static_cast<int>(Margin + (ah - height) / 2);
            break;
        case vaTop:
            r.Top = Margin;
            break;
        case vaBottom:
            r.Top = static_cast<int>(clientHeight - height - 2 * Margin);
            break;
        }
    }
    if (aw >= width) {
        switch (HPos) {
        case haCenter:
            r.Left = static_cast<int>(Margin + (aw - width) / 2);
            break;
        case haLeft:
            r.Left = Margin;
            break;
        case haRight:
            r.Left = static_cast<int>(clientWidth - width - 2 * Margin);
            break;
        }
    }
    return r;
}
