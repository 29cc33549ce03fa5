// The per-channel arithmetic of the blend modes and brightness, through the public draws
// on the 32-bit and the 16-bit screen. Expected values are worked out from the rules.
#include "DrawFixture.h"

#include "graphics/DrawState.h"

#include <cstring>

namespace velox::test {
namespace {

class BlendArithmetic : public DrawTest {
protected:
    // Draws a 1 x 1 graphic of source over target value d at (0, 0); the result's color.
    uint32_t Over(uint32_t source, uint32_t d, bool alpha = false) {
        SetPixel32(SeamBack(), 0, 0, d);
        const int32_t g = AddSolid(1, 1, source, alpha);
        EXPECT_EQ(DrawGraphicStretched(0, 0, 1, 1, g, 0), 0);
        return Pixel32(SeamBack(), 0, 0);
    }
};

TEST_F(BlendArithmetic, AlphaModeAtHalfMeets127FromBothSides) {
    SetBlendMode(1, 128);
    EXPECT_EQ(Over(0xFFFFFFFF, 0xFF000000), 0xFF7F7F7Fu); // (128 * 255) >> 8
    EXPECT_EQ(Over(0xFF000000, 0xFFFFFFFF), 0xFF7F7F7Fu); // (128 * -255 + 256 * 255) >> 8
    EXPECT_EQ(Over(0xFF0A6432, 0xFFC81E00), 0xFF694119u);
}

TEST_F(BlendArithmetic, AlphaModeCopiesAt255AndDrawsNothingAt0) {
    SetBlendMode(1, 255);
    EXPECT_EQ(Over(0x00123456, 0xFFFFFFFF), 0xFF123456u);
    SetBlendMode(1, 0);
    EXPECT_EQ(Over(0xFFFFFFFF, 0x12345678), 0x12345678u); // not even the top byte
    SetBlendMode(2, 0);
    EXPECT_EQ(Over(0xFFFFFFFF, 0x12345678), 0x12345678u);
}

TEST_F(BlendArithmetic, BrightnessScalesTheSourceFirst) {
    SetBrightness(128, 128, 128);
    EXPECT_EQ(Over(0xFFFFFFFF, 0xFF000000), 0xFF808080u); // 255 * 128 / 255
    SetBrightness(255, 0, 100);
    EXPECT_EQ(Over(0xFFC8C8C8, 0xFF000000), 0xFFC8004Eu); // 200 * 100 / 255 = 78.4
    SetBlendMode(1, 128);
    SetBrightness(128, 128, 128);
    EXPECT_EQ(Over(0xFFFFFFFF, 0xFF000000), 0xFF404040u); // (128 * 128) >> 8
}

TEST_F(BlendArithmetic, AddSaturatesAt255) {
    SetBlendMode(2, 255);
    EXPECT_EQ(Over(0xFFC86432, 0xFF6464FA), 0xFFFFC8FFu);
    SetBlendMode(2, 128);
    EXPECT_EQ(Over(0xFF640000, 0xFF0A0000), 0xFF3C0000u); // 10 + floor(100 * 128 / 255)
}

TEST_F(BlendArithmetic, SubtractSaturatesAt0) {
    SetBlendMode(3, 255);
    EXPECT_EQ(Over(0xFFC8C8C8, 0xFF3296FF), 0xFF000037u);
    SetBlendMode(3, 128);
    EXPECT_EQ(Over(0xFF640000, 0xFFC80000), 0xFF960000u); // 200 - 50
}

TEST_F(BlendArithmetic, MultiplyIgnoresTheParameter) {
    SetBlendMode(4, 7);
    EXPECT_EQ(Over(0xFF80FFFF, 0xFFC8FF00), 0xFF64FE00u); // 128 * 200 / 256, 255 * 255 / 256
}

TEST_F(BlendArithmetic, SourceAlphaScalesEachMode) {
    // Mode 0: d + trunc(a * (s - d) / 255).
    EXPECT_EQ(Over(0x80FF0000, 0xFF0000FF, true), 0xFF80007Fu);
    // Mode 1: the parameter becomes floor(p * a / 255) = 64.
    SetBlendMode(1, 128);
    EXPECT_EQ(Over(0x80FFFFFF, 0xFF000000, true), 0xFF3F3F3Fu);
    SetBlendMode(1, 255);
    EXPECT_EQ(Over(0x80FFFFFF, 0xFF000000, true), 0xFF7F7F7Fu); // q = 128: (128 * 255) >> 8
    // Mode 2: d + floor(s * 64 / 255).
    SetBlendMode(2, 128);
    EXPECT_EQ(Over(0x80FFFFFF, 0xFF101010, true), 0xFF505050u);
    // Mode 4: the product, then moved toward it by a / 255.
    SetBlendMode(4, 0);
    EXPECT_EQ(Over(0x80000000, 0xFFC8C8C8, true), 0xFF646464u); // 200 - trunc(128 * 200 / 255)
    // Coverage 0 leaves the pixel as it was in every mode.
    for (int mode = 0; mode <= 4; ++mode) {
        SetBlendMode(mode, 255);
        EXPECT_EQ(Over(0x00FFFFFF, 0x11223344, true), 0x11223344u) << mode;
    }
}

TEST_F(BlendArithmetic, SixteenBitScreenWidensAndNarrowsEachChannel) {
    SeamStart(32, 32, 16);
    SetBlendMode(1, 128);
    image::BaseImage& screen = SeamBack();
    const int32_t white = AddSolid(1, 1, 0xFFFFFFFF);
    // Black target: 127 in each channel, stored as 5-6-5 by dropping low bits.
    EXPECT_EQ(DrawGraphicStretched(0, 0, 1, 1, white, 0), 0);
    uint16_t v;
    std::memcpy(&v, screen.pixels, 2);
    EXPECT_EQ(v, (15 << 11) | (31 << 5) | 15);
    // A 5-bit 16 reads as 131 (16 * 255 / 31): (128 * (255 - 131) + 256 * 131) >> 8 = 193.
    const uint16_t start = (16 << 11) | (32 << 5) | 16;
    std::memcpy(screen.pixels + 2, &start, 2);
    const int32_t whiteAt = AddSolid(2, 1, 0xFFFFFFFF);
    SetBlendMode(1, 128);
    draw::SetDrawArea(1, 0, 2, 1);
    EXPECT_EQ(DrawGraphicStretched(0, 0, 2, 1, whiteAt, 0), 0);
    std::memcpy(&v, screen.pixels + 2, 2);
    // green 32 of 63 reads as 129: (128 * 126 + 256 * 129) >> 8 = 192 -> 48.
    EXPECT_EQ(v, (24 << 11) | (48 << 5) | 24);
}

TEST_F(BlendArithmetic, FillRectangleBlendsAColorUnderTheDrawState) {
    FillImage32(SeamBack(), 0xFFFFFFFF);
    SetBlendMode(1, 128);
    EXPECT_EQ(draw::FillRectangle(10, 10, 5, 20, 0x000000), 0);
    EXPECT_EQ(Back(5, 10), 0x7F7F7Fu);
    EXPECT_EQ(Back(9, 19), 0x7F7F7Fu);
    EXPECT_EQ(Back(10, 10), 0xFFFFFFu);
    EXPECT_EQ(Back(5, 20), 0xFFFFFFu);
}

} // namespace
} // namespace velox::test
