// The arithmetic that places a video in its display, without widgets or media.
#include "gallery/VideoLayout.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const VideoRect& r, std::ostream* os) {
    *os << "(" << r.Left << ", " << r.Top << ", " << r.Width << " x " << r.Height << ")";
}

namespace {

// An 800 x 600 display with the default margin of 10.
VideoLayout Natural(int width, int height) {
    VideoLayout layout;
    layout.SetNaturalSize(width, height);
    return layout;
}

VideoRect At(int left, int top, int width, int height) {
    return VideoRect{left, top, width, height};
}

} // namespace

TEST(VideoLayout, NaturalSizePlacedByAlignment) {
    VideoLayout layout = Natural(320, 240);
    EXPECT_EQ(layout.AspectPercent(), 133);
    EXPECT_EQ(layout.Place(800, 600, {}), At(240, 180, 320, 240));

    layout.VPos = vaTop;
    layout.HPos = haLeft;
    EXPECT_EQ(layout.Place(800, 600, {}), At(10, 10, 320, 240));

    // Right and bottom keep twice the margin free: 340 and 460, not 350 and 470.
    layout.VPos = vaBottom;
    layout.HPos = haRight;
    EXPECT_EQ(layout.Place(800, 600, {}), At(460, 340, 320, 240));

    layout.Margin = 0;
    EXPECT_EQ(layout.Place(800, 600, {}), At(480, 360, 320, 240));
}

TEST(VideoLayout, ZoomScalesTheNaturalSize) {
    VideoLayout layout = Natural(320, 240);
    layout.Zoom = 150;
    EXPECT_EQ(layout.Place(800, 600, {}), At(160, 120, 480, 360));
    layout.Zoom = 33; // 105.6 x 79.2, rounded down
    EXPECT_EQ(layout.Place(800, 600, {}), At(347, 260, 105, 79));
}

TEST(VideoLayout, DimensionThatDoesNotFitKeepsItsPosition) {
    // 1000 x 400 in 800 x 600: too wide, so the left stays where it was;
    // the height fits and is centred.
    VideoLayout layout = Natural(1000, 400);
    EXPECT_EQ(layout.Place(800, 600, At(-37, 5, 1, 1)), At(-37, 100, 1000, 400));
    // Too high as well: both stay.
    layout.Zoom = 200;
    EXPECT_EQ(layout.Place(800, 600, At(-37, 5, 1, 1)), At(-37, 5, 2000, 800));
    // Exactly the reduced area still fits.
    layout = Natural(780, 580);
    EXPECT_EQ(layout.Place(800, 600, At(99, 99, 1, 1)), At(10, 10, 780, 580));
}

TEST(VideoLayout, WithoutTruncateALargerVideoIsRefused) {
    VideoLayout layout = Natural(1000, 800);
    layout.Truncate = false;
    EXPECT_FALSE(layout.Place(800, 600, {}));
    layout.Zoom = 73; // 730 x 584: one pixel too high
    EXPECT_FALSE(layout.Place(800, 600, {}));
    layout.Zoom = 72; // 720 x 576 within 780 x 580
    EXPECT_EQ(layout.Place(800, 600, {}), At(40, 12, 720, 576));
}

TEST(VideoLayout, FitKeepsTheAspectInsideTheMargin) {
    // 400 x 300 (133 %): ah 580 < 780 x 100 div 133 = 586, so height-limited.
    // The centring is taken inside the reduced area: x is 4, not 14.
    VideoLayout layout = Natural(400, 300);
    layout.Align = alignClient;
    EXPECT_EQ(layout.Place(800, 600, {}), At(4, 10, 771, 580));
    EXPECT_EQ(layout.LastClientWidth(), 800);
    EXPECT_EQ(layout.LastClientHeight(), 600);

    // Width-limited: a wide video in a tall display.
    layout = Natural(200, 100);
    layout.Align = alignClient;
    EXPECT_EQ(layout.Place(400, 600, {}), At(10, 195, 380, 190));

    // Zoom and the natural-size alignment play no part.
    layout = Natural(400, 300);
    layout.Align = alignClient;
    layout.Zoom = 10;
    layout.HPos = haRight;
    EXPECT_EQ(layout.Place(800, 600, {}), At(4, 10, 771, 580));
}

TEST(VideoLayout, FitIsRedoneOnlyForAChangeOfFivePixels) {
    VideoLayout layout = Natural(400, 300);
    layout.Align = alignClient;
    ASSERT_TRUE(layout.Place(800, 600, {}));
    EXPECT_FALSE(layout.Place(800, 600, {}));
    EXPECT_FALSE(layout.Place(804, 604, {}));
    EXPECT_FALSE(layout.Place(796, 600, {}));
    EXPECT_TRUE(layout.Place(805, 600, {}));
    EXPECT_TRUE(layout.Place(805, 595, {}));
    // Compared with the last fitted size, not with the last asked for.
    EXPECT_FALSE(layout.Place(808, 598, {}));
    EXPECT_FALSE(layout.Place(809, 599, {}));
    EXPECT_EQ(layout.LastClientWidth(), 805);

    // A new video, or a new alignment, is fitted in the same display.
    layout.SetNaturalSize(320, 240);
    EXPECT_EQ(layout.Place(805, 595, {}), At(10, 10, 764, 575));
    layout.ForgetLastClient();
    EXPECT_TRUE(layout.Place(805, 595, {}));
}

TEST(VideoLayout, FitIsAtLeastTwoPixelsEachWay) {
    VideoLayout layout = Natural(400, 300);
    layout.Align = alignClient;
    // Smaller than the margins: the reduced area is negative.
    const auto tiny = layout.Place(12, 12, {});
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->Width, 2);
    EXPECT_EQ(tiny->Height, 2);
    // A very wide video in a normal display: the height rounds to 0.
    layout = Natural(4000, 1);
    layout.Align = alignClient;
    EXPECT_EQ(layout.Place(800, 600, {}), At(10, 290, 780, 2));
}

TEST(VideoLayout, UnknownSizeIsNeverPlaced) {
    // Sound only: the device reports no height. Neither placement divides by it.
    VideoLayout layout = Natural(320, 0);
    EXPECT_TRUE(layout.Measured());
    EXPECT_FALSE(layout.SizeKnown());
    EXPECT_EQ(layout.AspectPercent(), -1);
    EXPECT_FALSE(layout.Place(800, 600, {}));
    layout.Align = alignClient;
    EXPECT_FALSE(layout.Place(800, 600, {}));
    // The refused fit did not count as a fitted layout.
    EXPECT_EQ(layout.LastClientWidth(), 0);

    layout.SetNaturalSize(0, 240);
    EXPECT_FALSE(layout.Place(800, 600, {}));

    // Not measured at all.
    VideoLayout fresh;
    EXPECT_FALSE(fresh.Measured());
    EXPECT_EQ(fresh.NaturalWidth(), -1);
    EXPECT_FALSE(fresh.Place(800, 600, {}));

    // Once a size arrives the layout works.
    layout.SetNaturalSize(400, 300);
    EXPECT_EQ(layout.Place(800, 600, {}), At(4, 10, 771, 580));
}

TEST(VideoLayout, ExtremeSizesStayInRange) {
    // So tall that the aspect rounds to 0 %: taken as 1 %, nothing divides by 0.
    VideoLayout layout = Natural(1, 1000);
    EXPECT_EQ(layout.AspectPercent(), 1);
    layout.Align = alignClient;
    const auto tall = layout.Place(800, 600, {});
    ASSERT_TRUE(tall);
    EXPECT_EQ(tall->Height, 580);
    EXPECT_EQ(tall->Width, 5);

    // A zoom that would make the video larger than any widget is refused.
    layout = Natural(320, 240);
    layout.Zoom = 100'000'000;
    EXPECT_FALSE(layout.Place(800, 600, {}));
    layout.Zoom = 5000;
    EXPECT_TRUE(layout.Place(800, 600, {}));
}
