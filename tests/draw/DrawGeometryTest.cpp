// Where the stretched and rotated draws put each source pixel: mirroring, 16.16 stepping,
// clipping at the draw area, turning, bilinear sampling and transparency keying.
#include "DrawFixture.h"

#include "graphics/DrawState.h"

#include <climits>
#include <cmath>
#include <cstring>

namespace velox::test {
namespace {

using DrawGeometry = DrawTest;

const double kPi = std::acos(-1.0);

uint32_t Wide(int x, int y) {
    return 0xFF000000u | uint32_t(x) << 12 | uint32_t(y);
}

TEST_F(DrawGeometry, StretchedWithCornersSwappedMirrors) {
    const int32_t g = AddGraphic(800, 600, Wide);
    SetDrawFilter(1); // as the player runs: scale 1 stays an exact copy
    ASSERT_EQ(DrawGraphicStretched(800, 0, 0, 600, g, 0), 0);
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            ASSERT_EQ(Back(x, y), Wide(799 - x, y) & 0xFFFFFF) << x << "," << y;
        }
    }
    ASSERT_EQ(DrawGraphicStretched(0, 600, 800, 0, g, 0), 0);
    for (int y = 0; y < 600; y += 3) {
        for (int x = 0; x < 800; x += 5) {
            ASSERT_EQ(Back(x, y), Wide(x, 599 - y) & 0xFFFFFF) << x << "," << y;
        }
    }
}

TEST_F(DrawGeometry, StretchedStepsInSixteenDotSixteen) {
    const int32_t g = AddGraphic(3, 2, Tag);
    // 3 -> 7: step 7 * 65536 / 3 = 152917; offset i shows floor(i * 65536 / step).
    ASSERT_EQ(DrawGraphicStretched(10, 10, 17, 12, g, 0), 0);
    const int columns[7] = {0, 0, 0, 1, 1, 2, 2};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Back(10 + i, 10), Tag(columns[i], 0) & 0xFFFFFF) << i;
        EXPECT_EQ(Back(10 + i, 11), Tag(columns[i], 1) & 0xFFFFFF) << i;
    }
    EXPECT_EQ(Back(9, 10), 0u);
    EXPECT_EQ(Back(17, 10), 0u);
    EXPECT_EQ(Back(10, 12), 0u);
    // Shrinking 4 -> 2 takes every second pixel.
    const int32_t four = AddGraphic(4, 4, Tag);
    ASSERT_EQ(DrawGraphicStretched(50, 50, 52, 52, four, 0), 0);
    EXPECT_EQ(Back(50, 50), Tag(0, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(51, 50), Tag(2, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(51, 51), Tag(2, 2) & 0xFFFFFF);
}

TEST_F(DrawGeometry, ClippingAtTheDrawAreaKeepsTheMapping) {
    const int32_t g = AddGraphic(3, 2, Tag);
    draw::SetDrawArea(12, 0, 15, 600);
    ASSERT_EQ(DrawGraphicStretched(10, 10, 17, 12, g, 0), 0);
    EXPECT_EQ(Back(11, 10), 0u);
    EXPECT_EQ(Back(12, 10), Tag(0, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(13, 10), Tag(1, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(14, 11), Tag(1, 1) & 0xFFFFFF);
    EXPECT_EQ(Back(15, 10), 0u);
    // A rotated draw stops at the area too.
    const int32_t big = AddSolid(100, 100, 0xFFFFFFFFu);
    draw::SetDrawArea(0, 0, 200, 600);
    ASSERT_EQ(DrawGraphicRotated(200, 300, 50, 50, 2.0, 0.7, big, 0, 0), 0);
    EXPECT_EQ(Back(199, 300), 0xFFFFFFu);
    for (int y = 150; y < 450; ++y) {
        ASSERT_EQ(Back(200, y), 0u) << y;
    }
}

TEST_F(DrawGeometry, EmptyStretchedRectangleFails) {
    const int32_t g = AddSolid(4, 4, 0xFFFFFFFFu);
    EXPECT_EQ(DrawGraphicStretched(5, 5, 5, 20, g, 0), -1);
    EXPECT_EQ(DrawGraphicStretched(5, 5, 20, 5, g, 0), -1);
    EXPECT_EQ(Back(5, 5), 0u);
}

TEST_F(DrawGeometry, AngleZeroScaleOnePutsTheCentrePointOnXY) {
    const int32_t g = AddGraphic(5, 4, Tag);
    SetDrawFilter(1);
    ASSERT_EQ(DrawGraphicRotated(100, 50, 2, 1, 1.0, 0.0, g, 0, 0), 0);
    EXPECT_EQ(Back(100, 50), Tag(2, 1) & 0xFFFFFF);
    EXPECT_EQ(Back(98, 49), Tag(0, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(102, 52), Tag(4, 3) & 0xFFFFFF);
    EXPECT_EQ(Back(97, 49), 0u);
    EXPECT_EQ(Back(103, 52), 0u);
    // The turn flag mirrors left-right in place.
    ASSERT_EQ(DrawGraphicRotated(300, 50, 2, 1, 1.0, 0.0, g, 0, 1), 0);
    EXPECT_EQ(Back(298, 49), Tag(4, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(302, 52), Tag(0, 3) & 0xFFFFFF);
}

TEST_F(DrawGeometry, AngleZeroWithScaleStretchesFromTheScaledCentre) {
    const int32_t g = AddGraphic(2, 2, Tag);
    // left = 10 - 2 * 1 = 8, right = 8 + 2 * 2 = 12.
    ASSERT_EQ(DrawGraphicRotated(10, 10, 1, 1, 2.0, 0.0, g, 0, 0), 0);
    EXPECT_EQ(Back(8, 8), Tag(0, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(9, 9), Tag(0, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(10, 8), Tag(1, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(11, 11), Tag(1, 1) & 0xFFFFFF);
    EXPECT_EQ(Back(12, 8), 0u);
    EXPECT_EQ(Back(7, 8), 0u);
    // Turned: left and right exchanged.
    ASSERT_EQ(DrawGraphicRotated(50, 10, 1, 1, 2.0, 0.0, g, 0, 1), 0);
    EXPECT_EQ(Back(48, 8), Tag(1, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(51, 11), Tag(0, 1) & 0xFFFFFF);
}

TEST_F(DrawGeometry, QuarterTurnIsClockwise) {
    const int32_t g = AddGraphic(4, 2, Tag);
    // Centre (2, 1) on (100, 50): source (sx, sy) lands on (100 - sy, 48 + sx).
    ASSERT_EQ(DrawGraphicRotated(100, 50, 2, 1, 1.0, kPi / 2, g, 0, 0), 0);
    for (int sy = 0; sy < 2; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
            EXPECT_EQ(Back(100 - sy, 48 + sx), Tag(sx, sy) & 0xFFFFFF) << sx << "," << sy;
        }
    }
    int drawn = 0;
    for (int y = 40; y < 60; ++y) {
        for (int x = 90; x < 110; ++x) {
            drawn += Back(x, y) != 0;
        }
    }
    EXPECT_EQ(drawn, 8);
    // Turned first, then rotated: the top row still runs down the right column, reversed.
    ASSERT_EQ(DrawGraphicRotated(300, 50, 2, 1, 1.0, kPi / 2, g, 0, 1), 0);
    EXPECT_EQ(Back(300, 48), Tag(3, 0) & 0xFFFFFF);
    EXPECT_EQ(Back(299, 51), Tag(0, 1) & 0xFFFFFF);
}

TEST_F(DrawGeometry, RotatedDrawsNeverBleedPastTheGraphic) {
    const int32_t g = AddSolid(20, 20, 0xFFFFFFFFu);
    ASSERT_EQ(DrawGraphicRotated(200, 200, 10, 10, 1.5, kPi / 4, g, 0, 0), 0);
    SetDrawFilter(1);
    ASSERT_EQ(DrawGraphicRotated(500, 200, 10, 10, 1.5, kPi / 4, g, 0, 0), 0);
    int drawn = 0;
    for (int y = 150; y < 250; ++y) {
        for (int x = 150; x < 250; ++x) {
            const uint32_t nearest = Back(x, y), bilinear = Back(x + 300, y);
            ASSERT_EQ(nearest, bilinear) << x << "," << y;
            ASSERT_TRUE(nearest == 0 || nearest == 0xFFFFFFu);
            drawn += nearest != 0;
        }
    }
    // 30 x 30 on screen, give or take the pixels the edges cut.
    EXPECT_NEAR(drawn, 900, 60);
}

TEST_F(DrawGeometry, BilinearBlendsNeighboursWhereNearestRepeats) {
    const int32_t g = AddGraphic(2, 1, [](int x, int) { return x ? 0xFFFFFFFFu : 0xFF000000u; });
    ASSERT_EQ(DrawGraphicStretched(0, 0, 4, 1, g, 0), 0);
    const uint32_t nearest[4] = {0, 0, 255, 255};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Back(i, 0), nearest[i] * 0x010101u) << i;
    }
    // Sample points (i + 1/2) / 2 - 1/2 of the source: weights 0, 64, 192, then clamped.
    SetDrawFilter(1);
    ASSERT_EQ(DrawGraphicStretched(0, 0, 4, 1, g, 0), 0);
    const uint32_t bilinear[4] = {0, 64, 191, 255};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Back(i, 0), bilinear[i] * 0x010101u) << i;
    }
}

TEST_F(DrawGeometry, TransparencyKeySkipsItsColorOnlyWhenAsked) {
    const uint32_t magenta = 0xFFFF00FFu;
    const uint32_t row[3] = {0xFFFF0000u, magenta, 0xFF0000FFu};
    const int32_t g = AddGraphic(
        3, 1, [&](int x, int) { return row[x]; }, false, magenta);
    FillImage32(SeamBack(), 0xFF202020u);
    ASSERT_EQ(DrawGraphicRotated(1, 0, 1, 0, 1.0, 0.0, g, 1, 0), 0);
    EXPECT_EQ(Back(0, 0), 0xFF0000u);
    EXPECT_EQ(Back(1, 0), 0x202020u);
    EXPECT_EQ(Back(2, 0), 0x0000FFu);
    ASSERT_EQ(DrawGraphicRotated(1, 0, 1, 0, 1.0, 0.0, g, 0, 0), 0);
    EXPECT_EQ(Back(1, 0), 0xFF00FFu);
    // Scaled by 2: both covered pixels stay.
    ASSERT_EQ(DrawGraphicStretched(10, 10, 16, 12, g, 1), 0);
    EXPECT_EQ(Back(11, 11), 0xFF0000u);
    EXPECT_EQ(Back(12, 10), 0x202020u);
    EXPECT_EQ(Back(13, 11), 0x202020u);
    EXPECT_EQ(Back(14, 10), 0x0000FFu);
}

TEST_F(DrawGeometry, SixteenBitGraphicsKeyTheirOwnTransparentValue) {
    images_.push_back(MakeImage(2, 1, 0, false));
    image::BaseImage& image = images_.back();
    const uint16_t pixels[2] = {0xF800, 0x001F}; // red, then blue as the key
    std::memcpy(image.pixels, pixels, 4);
    const int32_t g = SeamAddGraphic(&image, 0x001F);
    ASSERT_EQ(DrawGraphicStretched(0, 0, 2, 1, g, 1), 0);
    EXPECT_EQ(Back(0, 0), 0xFF0000u);
    EXPECT_EQ(Back(1, 0), 0u);
}

TEST_F(DrawGeometry, DrawingAGraphicOntoItselfReadsTheOriginal) {
    const uint32_t row[4] = {0xFF111111u, 0xFF222222u, 0xFF333333u, 0xFF444444u};
    const int32_t g = AddGraphic(
        4, 1, [&](int x, int) { return row[x]; }, false, 0, true);
    graphic::Graphics().screen.drawTarget = g;
    draw::SetDrawArea(0, 0, 4, 1);
    ASSERT_EQ(DrawGraphicStretched(1, 0, 5, 1, g, 0), 0);
    const uint32_t expected[4] = {0xFF111111u, 0xFF111111u, 0xFF222222u, 0xFF333333u};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(Pixel32(LastImage(), x, 0), expected[x]) << x;
    }
}

TEST_F(DrawGeometry, UnusableScaleOrAngle) {
    const int32_t g = AddSolid(8, 8, 0xFFFFFFFFu);
    // Shrunk to nothing, at any angle, or placed beyond the 32-bit plane: nothing to
    // see, and nothing wrong either.
    EXPECT_EQ(DrawGraphicRotated(100, 100, 4, 4, 0.0, 0.5, g, 0, 0), 0);
    EXPECT_EQ(DrawGraphicRotated(100, 100, 4, 4, 0.0, 0.0, g, 0, 0), 0);
    EXPECT_EQ(DrawGraphicRotated(100, 100, 4, 4, 0.01, 0.0, g, 0, 1), 0);
    EXPECT_EQ(DrawGraphicRotated(INT_MAX, 100, -INT_MAX, 4, 2.0, 0.0, g, 0, 0), 0);
    EXPECT_EQ(DrawGraphicRotated(INT_MIN, 100, INT_MAX, 4, 3.0, 0.5, g, 0, 0), 0);
    EXPECT_EQ(DrawGraphicRotated(100, 100, 4, 4, 1.0, std::nan(""), g, 0, 0), -1);
    EXPECT_EQ(DrawGraphicRotated(100, 100, 4, 4, INFINITY, 0.5, g, 0, 0), -1);
    for (int y = 90; y < 110; ++y) {
        for (int x = 90; x < 110; ++x) {
            ASSERT_EQ(Back(x, y), 0u);
        }
    }
}

} // namespace
} // namespace velox::test
