#include "image/ColorFormat.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velox {
namespace {

TEST(ColorFormatMasks, AnalysesFiveSixFive) {
    image::ColorFormat f{};
    image::BuildColorFormat(f, 16, 0xF800, 0x07E0, 0x001F, 0);
    EXPECT_EQ(f.colorBitDepth, 16);
    EXPECT_EQ(f.bytesPerPixel, 2);
    EXPECT_EQ(f.redWidth, 5);
    EXPECT_EQ(f.greenWidth, 6);
    EXPECT_EQ(f.blueWidth, 5);
    EXPECT_EQ(f.alphaWidth, 0);
    EXPECT_EQ(f.redShift, 11);
    EXPECT_EQ(f.greenShift, 5);
    EXPECT_EQ(f.blueShift, 0);
    EXPECT_EQ(f.spareMask, 0u);
    EXPECT_EQ(f.spareWidth, 0);
}

TEST(ColorFormatMasks, SpareBitsOfThirtyTwoBitFormatWithoutAlpha) {
    image::ColorFormat f{};
    image::BuildColorFormat(f, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    EXPECT_EQ(f.spareMask, 0xFF000000u);
    EXPECT_EQ(f.spareShift, 24);
    EXPECT_EQ(f.spareWidth, 8);
    EXPECT_EQ(image::ComposeColor(f, 255, 255, 255, 0), 0xFFFFFFFFu);
}

TEST(ColorFormatMasks, SpareRunIsCountedFromItsLowestBit) {
    image::ColorFormat f{};
    image::BuildColorFormat(f, 16, 0x7C00, 0x03E0, 0x001F, 0);
    EXPECT_EQ(f.spareMask, 0x8000u);
    EXPECT_EQ(f.spareShift, 15);
    EXPECT_EQ(f.spareWidth, 1);
}

TEST(ColorFormatMasks, DescriptorVariantTakesBytesFromBitCount) {
    image::ColorFormat f{};
    image::PixelFormatDescriptor d{24, 0xFF0000, 0xFF00, 0xFF, 0};
    EXPECT_EQ(image::BuildColorFormatFromDescriptor(f, d), 0);
    EXPECT_EQ(f.colorBitDepth, 24);
    EXPECT_EQ(f.bytesPerPixel, 3);
    EXPECT_EQ(f.spareMask, 0u);
}

TEST(ColorFormatMasks, RecomputeSpareFollowsChangedMasks) {
    image::ColorFormat f{};
    image::BuildColorFormat(f, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    f.alphaMask = 0xFF000000u;
    image::RecomputeSpareMask(f);
    EXPECT_EQ(f.spareMask, 0u);
}

TEST(StandardFormats, MatchTheirTable) {
    image::ColorFormat f{};
    image::SetIndexed8Format(f);
    EXPECT_EQ(f.colorBitDepth, 8);
    EXPECT_EQ(f.bytesPerPixel, 1);
    EXPECT_EQ(f.redMask, 0x00FF0000u);
    EXPECT_EQ(f.greenMask, 0x0000FF00u);
    EXPECT_EQ(f.blueMask, 0x000000FFu);
    EXPECT_EQ(f.alphaMask, 0u);
    EXPECT_EQ(f.spareMask, 0xFF000000u);
    EXPECT_EQ(f.redShift, 16);

    image::SetRgb24Format(f);
    EXPECT_EQ(f.colorBitDepth, 24);
    EXPECT_EQ(f.bytesPerPixel, 3);
    EXPECT_EQ(f.spareMask, 0u);

    image::SetArgb32Format(f);
    EXPECT_EQ(f.bytesPerPixel, 4);
    EXPECT_EQ(f.alphaMask, 0xFF000000u);
    EXPECT_EQ(f.alphaWidth, 8);
    EXPECT_EQ(f.alphaShift, 24);
    EXPECT_EQ(f.spareMask, 0u);
}

TEST(StandardFormats, GreyWritesIdentityPalette) {
    image::ColorFormat f;
    std::memset(&f, 0xAB, sizeof f);
    image::SetGrey8Format(f);
    EXPECT_EQ(f.bytesPerPixel, 1);
    for (int i : {0, 1, 128, 255}) {
        EXPECT_EQ(f.palette[i].red, i);
        EXPECT_EQ(f.palette[i].green, i);
        EXPECT_EQ(f.palette[i].blue, i);
        EXPECT_EQ(f.palette[i].reserved, 0);
    }
}

TEST(SoftwareFormats, FamiliesAndFlags) {
    const image::ColorFormat* f = image::GetSoftwareFormat(0, false, false);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->colorBitDepth, 16);
    EXPECT_EQ(f->redMask, 0xF800u);
    EXPECT_EQ(f->alphaWidth, 0);

    f = image::GetSoftwareFormat(0, true, false);
    EXPECT_EQ(f->colorBitDepth, 32);
    EXPECT_EQ(f->alphaMask, 0x00FF0000u);
    EXPECT_EQ(f->alphaShift, 16);

    f = image::GetSoftwareFormat(0, true, true);
    EXPECT_EQ(f->colorBitDepth, 8);
    EXPECT_EQ(f->bytesPerPixel, 1);

    f = image::GetSoftwareFormat(1, false, false);
    EXPECT_EQ(f->colorBitDepth, 32);
    EXPECT_EQ(f->spareMask, 0xFF000000u);

    f = image::GetSoftwareFormat(1, true, false);
    EXPECT_EQ(f->alphaMask, 0xFF000000u);
    EXPECT_EQ(f->spareMask, 0u);

    f = image::GetSoftwareFormat(1, false, true);
    EXPECT_EQ(f->colorBitDepth, 8);

    f = image::GetSoftwareFormat(2, false, false);
    EXPECT_EQ(f->bytesPerPixel, 1);
    EXPECT_EQ(f->redWidth, 8);
    EXPECT_EQ(f->alphaWidth, 8);
    EXPECT_EQ(f->redShift, 0);

    f = image::GetSoftwareFormat(3, true, true);
    EXPECT_EQ(f->bytesPerPixel, 2);
    EXPECT_EQ(f->greenWidth, 16);
    EXPECT_EQ(f->alphaMask, 0xFFFFu);

    EXPECT_EQ(image::GetSoftwareFormat(4, false, false), nullptr);
    EXPECT_EQ(image::GetSoftwareFormat(-1, false, false), nullptr);
    // Built once and shared.
    EXPECT_EQ(image::GetSoftwareFormat(1, true, false), image::GetSoftwareFormat(1, true, false));
}

TEST(ComposeColor, FiveSixFive) {
    const image::ColorFormat& f = *image::GetSoftwareFormat(0, false, false);
    EXPECT_EQ(image::ComposeColor(f, 255, 255, 255, 0), 0xFFFFu);
    EXPECT_EQ(image::ComposeColor(f, 8, 4, 8, 0), 0x0821u);
    // Only the low 8 bits of a component count.
    EXPECT_EQ(image::ComposeColor(f, 0x1F8, 0, 0, 0), 0xF800u);
}

TEST(ComposeColor, AlphaOnlyWhenTheFormatHasIt) {
    image::ColorFormat argb{};
    image::SetArgb32Format(argb);
    EXPECT_EQ(image::ComposeColor(argb, 1, 2, 3, 4), 0x04010203u);
    const image::ColorFormat& rgb = *image::GetSoftwareFormat(0, false, false);
    EXPECT_EQ(image::ComposeColor(rgb, 0, 0, 0, 255), 0u);
}

TEST(ComposeColor, ChannelsWiderThanEightBits) {
    image::ColorFormat f{};
    image::BuildColorFormat(f, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000);
    // 8-bit components land in the top bits of the 10-bit channels.
    EXPECT_EQ(image::ComposeColor(f, 255, 0, 1, 0), (0x3FCu << 20) | (0x4u));
}

TEST(DecomposeColor, ScalesEachChannelToByteRange) {
    const image::ColorFormat& f = *image::GetSoftwareFormat(0, false, false);
    int r = -1, g = -1, b = -1, a = -1;
    image::DecomposeColor(f, 0xF800, &r, &g, &b, &a);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(a, 0);
    // 6-bit 32 -> 32 * 255 / 63 = 129 (integer division).
    image::DecomposeColor(f, 32u << 5, nullptr, &g, nullptr, nullptr);
    EXPECT_EQ(g, 129);
    image::ColorFormat argb{};
    image::SetArgb32Format(argb);
    image::DecomposeColor(argb, 0x80102030, &r, &g, &b, &a);
    EXPECT_EQ(a, 0x80);
    EXPECT_EQ(r, 0x10);
    EXPECT_EQ(g, 0x20);
    EXPECT_EQ(b, 0x30);
}

TEST(ScreenColorValue, ThirtyTwoBitScreen) {
    image::ScreenColorSource screen;
    screen.depth = 32;
    screen.softwareRendering = true;
    EXPECT_EQ(image::ScreenColorValue(screen, 255, 255, 255), 0xFFFFFFFFu);
    EXPECT_EQ(image::ScreenColorValue(screen, 0, 255, 0), 0xFF00FF00u);
}

TEST(ScreenColorValue, SixteenBitScreen) {
    image::ScreenColorSource screen;
    screen.depth = 16;
    screen.softwareRendering = true;
    EXPECT_EQ(image::ScreenColorValue(screen, 255, 255, 255), 0xFFFFu);
    EXPECT_EQ(image::ScreenColorValue(screen, 0, 255, 0), 0x07E0u);
}

TEST(ScreenColorValue, DisplayFormatOutsideSoftwareRendering) {
    image::ColorFormat display{};
    image::BuildColorFormat(display, 16, 0x7C00, 0x03E0, 0x001F, 0);
    image::ScreenColorSource screen;
    screen.depth = 16;
    screen.softwareRendering = false;
    screen.displayFormat = &display;
    // The top spare bit comes out set.
    EXPECT_EQ(image::ScreenColorValue(screen, 255, 255, 255), 0xFFFFu);
    EXPECT_EQ(image::ScreenColorValue(screen, 0, 255, 0), 0x83E0u);
}

TEST(ScreenColorValue, EightBitScreenSearchesThePalette) {
    image::ScreenPaletteEntry palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i] = {0, 0, 0, 0};
    }
    palette[3] = {10, 200, 30, 0};
    palette[7] = {10, 200, 30, 0};
    palette[9] = {12, 198, 30, 0};
    image::ScreenColorSource screen;
    screen.depth = 8;
    screen.palette = palette;
    EXPECT_EQ(image::ScreenColorValue(screen, 10, 200, 30), 3u); // exact twins: lower index
    EXPECT_EQ(image::ScreenColorValue(screen, 12, 199, 30), 9u); // distance 1 beats 5
    EXPECT_EQ(image::ScreenColorValue(screen, 0, 0, 0), 0u);
    // 243^2 + 57^2 + 225^2 is below 245^2 + 55^2 + 225^2.
    EXPECT_EQ(image::FindNearestPaletteIndex(palette, 255, 255, 255), 9);
}

TEST(SelectScreenFormat, SoftwareDepthsFallBackToSixteen) {
    image::ColorFormat f{};
    int depth = 32;
    EXPECT_EQ(image::SelectScreenFormat(f, depth, true, nullptr), 0);
    EXPECT_EQ(depth, 32);
    EXPECT_EQ(f.redMask, 0x00FF0000u);
    EXPECT_EQ(f.alphaMask, 0u);
    depth = 24;
    EXPECT_EQ(image::SelectScreenFormat(f, depth, true, nullptr), 0);
    EXPECT_EQ(depth, 16);
    EXPECT_EQ(f.redMask, 0xF800u);
}

TEST(SelectScreenFormat, DisplayDescriptor) {
    image::ColorFormat f{};
    int depth = 32;
    image::PixelFormatDescriptor d{32, 0xFF0000, 0xFF00, 0xFF, 0};
    EXPECT_EQ(image::SelectScreenFormat(f, depth, false, &d), 0);
    EXPECT_EQ(f.spareMask, 0xFF000000u);
    EXPECT_EQ(image::SelectScreenFormat(f, depth, false, nullptr), -1);
}

} // namespace
} // namespace velox
