// The free four-corner copy: an axis-aligned quad maps like a stretch, and the two
// triangles of any quad cover it once, without gaps or pixels drawn twice.
#include "blit/Blit.h"
#include "image/ColorFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace velox::blit {
namespace {

struct Canvas {
    static constexpr int kWidth = 100, kHeight = 80;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(kWidth * kHeight, 0xFF000000u);
    Target target{reinterpret_cast<uint8_t*>(pixels.data()),
                  kWidth * 4,
                  kWidth,
                  kHeight,
                  PixelKind::Rgb32,
                  {0, 0, kWidth, kHeight}};
    uint32_t At(int x, int y) const { return pixels[size_t(y) * kWidth + x] & 0xFFFFFF; }
};

Source SourceOf(const std::vector<uint32_t>& pixels, int width, int height) {
    return Source{
        reinterpret_cast<const uint8_t*>(pixels.data()), width * 4, width, height, PixelKind::Rgb32,
        image::GetSoftwareFormat(1, false, false),       nullptr,   false, 0};
}

TEST(FourCornerCopy, AxisAlignedQuadDoublesEachPixel) {
    std::vector<uint32_t> pixels(6);
    for (int i = 0; i < 6; ++i) {
        pixels[i] = 0xFF000000u | uint32_t(i + 1) * 0x111111u;
    }
    const double corners[4][2] = {{10, 10}, {16, 10}, {10, 14}, {16, 14}};
    QuadMap map{};
    ASSERT_TRUE(MakeQuadMap(corners, 3, 2, map));
    Canvas canvas;
    CopyQuad(canvas.target, SourceOf(pixels, 3, 2), map, Paint{0, 0, 0xFFFFFF, false});
    for (int y = 8; y < 16; ++y) {
        for (int x = 8; x < 18; ++x) {
            const bool inside = x >= 10 && x < 16 && y >= 10 && y < 14;
            const uint32_t expected =
                inside ? pixels[size_t((y - 10) / 2) * 3 + (x - 10) / 2] & 0xFFFFFF : 0;
            EXPECT_EQ(canvas.At(x, y), expected) << x << "," << y;
        }
    }
}

TEST(FourCornerCopy, TrianglesCoverATrapezoidOnce) {
    // Adding 0x40 once per drawn pixel shows any pixel drawn twice as 0x80.
    const std::vector<uint32_t> gray(64, 0xFF404040u);
    const double corners[4][2] = {{20.3, 10.2}, {60.7, 10.2}, {5.1, 50.6}, {75.4, 50.6}};
    QuadMap map{};
    ASSERT_TRUE(MakeQuadMap(corners, 8, 8, map));
    for (bool bilinear : {false, true}) {
        Canvas canvas;
        CopyQuad(canvas.target, SourceOf(gray, 8, 8), map, Paint{2, 255, 0xFFFFFF, bilinear});
        int drawn = 0;
        for (int y = 0; y < Canvas::kHeight; ++y) {
            for (int x = 0; x < Canvas::kWidth; ++x) {
                const uint32_t v = canvas.At(x, y);
                ASSERT_TRUE(v == 0 || v == 0x404040u) << x << "," << y << ": " << std::hex << v;
                drawn += v != 0;
            }
        }
        // Area (40.4 + 70.3) / 2 * 40.4 = 2236, give or take the pixels the edges cut.
        EXPECT_NEAR(drawn, 2236, 110) << bilinear;
        // Rows through the middle are whole: no gap along the diagonal.
        for (int x = 14; x < 66; ++x) {
            ASSERT_EQ(canvas.At(x, 30), 0x404040u) << x;
        }
    }
}

TEST(FourCornerCopy, FlatQuadDrawsNothing) {
    const double line[4][2] = {{0, 0}, {10, 10}, {20, 20}, {30, 30}};
    QuadMap map{};
    EXPECT_FALSE(MakeQuadMap(line, 4, 4, map));
    const double infinite[4][2] = {{0, 0}, {1e30, 0}, {0, 10}, {10, 10}};
    EXPECT_FALSE(MakeQuadMap(infinite, 4, 4, map));
}

} // namespace
} // namespace velox::blit
