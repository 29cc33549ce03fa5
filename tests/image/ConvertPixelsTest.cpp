#include "image/ConvertPixels.h"
#include "image/BaseImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace velox {
namespace {

// A small image in some format, held in a vector (pitch = width x bytes).
struct Block {
    image::ColorFormat format{};
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;

    Block(const image::ColorFormat& f, int w, int h) : format(f), width(w), height(h) {
        bytes.assign(size_t(w * h * f.bytesPerPixel), 0);
    }
    int pitch() const { return width * format.bytesPerPixel; }
    uint32_t Get(int x, int y) const {
        return image::ReadPixelValue(bytes.data() + y * pitch(), x, format.bytesPerPixel);
    }
    void Set(int x, int y, uint32_t v) {
        image::WritePixelValue(bytes.data() + y * pitch(), x, format.bytesPerPixel, v);
    }
    image::PixelBlock View() const { return {bytes.data(), pitch(), &format}; }
};

image::ColorFormat Argb() {
    image::ColorFormat f{};
    image::SetArgb32Format(f);
    return f;
}
image::ColorFormat Rgb24() {
    image::ColorFormat f{};
    image::SetRgb24Format(f);
    return f;
}
const image::ColorFormat& Rgb565() {
    return *image::GetSoftwareFormat(0, false, false);
}
const image::ColorFormat& Xrgb32() {
    return *image::GetSoftwareFormat(1, false, false);
}

constexpr image::PixelBlock kNoAlpha{nullptr, 0, nullptr};

int Convert(Block& dst, const Block& src, const image::ConvertOptions& options = {},
            const image::PixelBlock& alpha = kNoAlpha, int dstX = 0, int dstY = 0) {
    image::PixelRect rect{0, 0, src.width, src.height};
    return image::ConvertPixels(dst.bytes.data(), dst.pitch(), dst.format, src.View(), alpha, dstX,
                                dstY, rect, options);
}

TEST(ResizeChannel, WideningAndNarrowing) {
    EXPECT_EQ(image::ResizeChannel(31, 5, 8), 255u);
    EXPECT_EQ(image::ResizeChannel(16, 5, 8), 131u);
    EXPECT_EQ(image::ResizeChannel(0, 5, 8), 0u);
    EXPECT_EQ(image::ResizeChannel(63, 6, 8), 255u);
    EXPECT_EQ(image::ResizeChannel(255, 8, 5), 31u);
    EXPECT_EQ(image::ResizeChannel(0x84, 8, 5), 0x10u);
    EXPECT_EQ(image::ResizeChannel(200, 8, 8), 200u);
    EXPECT_EQ(image::ResizeChannel(1, 1, 8), 255u);
}

TEST(ConvertPixels, SixteenBitToArgbWidensChannelsAndGivesFullAlpha) {
    Block src(Rgb565(), 2, 1);
    src.Set(0, 0, 0xF800);                      // red 31
    src.Set(1, 0, (16u << 11) | 32u << 5 | 1u); // red 16, green 32, blue 1
    Block dst(Argb(), 2, 1);
    ASSERT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(0, 0), 0xFFFF0000u);
    // green 6-bit 32: 32 * 4 + 32 * 3 / 63 = 129; blue 5-bit 1: 8 + 7 / 31 = 8.
    EXPECT_EQ(dst.Get(1, 0), 0xFF000000u | 131u << 16 | 129u << 8 | 8u);
}

TEST(ConvertPixels, ArgbToSixteenBitDropsLowBitsAndAlpha) {
    Block src(Argb(), 1, 1);
    src.Set(0, 0, 0x80FF8407);
    Block dst(Rgb565(), 1, 1);
    ASSERT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(0, 0), (31u << 11) | (0x84u >> 2) << 5 | (7u >> 3));
}

TEST(ConvertPixels, NoSpareBitsAreWritten) {
    Block src(Rgb24(), 1, 1);
    src.Set(0, 0, 0x102030);
    Block dst(Xrgb32(), 1, 1);
    ASSERT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(0, 0), 0x00102030u);
}

TEST(ConvertPixels, PlacesAtDestinationOffsetAndSourceRectangle) {
    Block src(Rgb24(), 3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            src.Set(x, y, uint32_t(y * 16 + x));
        }
    }
    Block dst(Rgb24(), 4, 3);
    image::PixelRect rect{1, 1, 3, 2};
    ASSERT_EQ(image::ConvertPixels(dst.bytes.data(), dst.pitch(), dst.format, src.View(), kNoAlpha,
                                   2, 2, rect, {}),
              0);
    EXPECT_EQ(dst.Get(2, 2), 0x11u);
    EXPECT_EQ(dst.Get(3, 2), 0x12u);
    EXPECT_EQ(dst.Get(1, 2), 0u);
    EXPECT_EQ(dst.Get(2, 1), 0u);
}

TEST(ConvertPixels, EmptyRectangleFails) {
    Block src(Rgb24(), 2, 2);
    Block dst(Rgb24(), 2, 2);
    image::PixelRect empty{1, 0, 1, 2};
    EXPECT_EQ(image::ConvertPixels(dst.bytes.data(), dst.pitch(), dst.format, src.View(), kNoAlpha,
                                   0, 0, empty, {}),
              -1);
    image::PixelRect inverted{0, 2, 2, 1};
    EXPECT_EQ(image::ConvertPixels(dst.bytes.data(), dst.pitch(), dst.format, src.View(), kNoAlpha,
                                   0, 0, inverted, {}),
              -1);
}

TEST(ConvertPixels, MirrorWritesRowsFromTheRight) {
    Block src(Rgb24(), 3, 1);
    src.Set(0, 0, 1);
    src.Set(1, 0, 2);
    src.Set(2, 0, 3);
    Block dst(Rgb24(), 4, 1);
    image::ConvertOptions options;
    options.mirror = true;
    ASSERT_EQ(Convert(dst, src, options, kNoAlpha, 1, 0), 0);
    EXPECT_EQ(dst.Get(0, 0), 0u);
    EXPECT_EQ(dst.Get(1, 0), 3u);
    EXPECT_EQ(dst.Get(2, 0), 2u);
    EXPECT_EQ(dst.Get(3, 0), 1u);
}

TEST(ConvertPixels, SkipTransparentLeavesDestination) {
    Block src(Argb(), 2, 1);
    src.Set(0, 0, 0x00FF00FF); // transparent color magenta, whatever its alpha
    src.Set(1, 0, 0xFF123456);
    Block dst(Argb(), 2, 1);
    dst.Set(0, 0, 0xDEADBEEF);
    image::ConvertOptions options;
    options.skipTransparent = true;
    options.transparentColor = 0xFF00FF;
    ASSERT_EQ(Convert(dst, src, options), 0);
    EXPECT_EQ(dst.Get(0, 0), 0xDEADBEEFu);
    EXPECT_EQ(dst.Get(1, 0), 0xFF123456u);
}

TEST(ConvertPixels, TransparentToAlphaComparesConvertedColors) {
    Block src(Rgb24(), 3, 1);
    src.Set(0, 0, 0x00FF00);
    src.Set(1, 0, 0x00FF01); // differs only below 5-6-5 precision
    src.Set(2, 0, 0x10FF00);
    Block dst(*image::GetSoftwareFormat(0, true, false), 3, 1);
    image::ConvertOptions options;
    options.transparentToAlpha = true;
    options.transparentColor = 0x00FF00;
    ASSERT_EQ(Convert(dst, src, options), 0);
    EXPECT_EQ(dst.Get(0, 0) & 0x00FF0000u, 0u);
    EXPECT_EQ(dst.Get(1, 0) & 0x00FF0000u, 0u);
    EXPECT_EQ(dst.Get(2, 0) & 0x00FF0000u, 0x00FF0000u);
    EXPECT_EQ(dst.Get(0, 0) & 0xFFFFu, 0x07E0u);

    // Without alpha in the destination the flag has nothing to write.
    Block plain(Rgb565(), 3, 1);
    ASSERT_EQ(Convert(plain, src, options), 0);
    EXPECT_EQ(plain.Get(0, 0), 0x07E0u);
}

TEST(ConvertPixels, AlphaImageSuppliesAlphaFromItsRedChannel) {
    Block src(Rgb24(), 2, 1);
    src.Set(0, 0, 0x112233);
    src.Set(1, 0, 0x445566);
    Block alpha(Rgb565(), 2, 1);
    alpha.Set(0, 0, 16u << 11);
    alpha.Set(1, 0, 0x07FF); // red 0
    Block dst(Argb(), 2, 1);
    ASSERT_EQ(Convert(dst, src, {}, alpha.View()), 0);
    EXPECT_EQ(dst.Get(0, 0), 131u << 24 | 0x112233u);
    EXPECT_EQ(dst.Get(1, 0), 0x00445566u);
}

TEST(ConvertPixels, SourceAlphaIsResized) {
    Block src(Argb(), 1, 1);
    src.Set(0, 0, 0x80000000);
    image::ColorFormat a4{};
    image::BuildColorFormat(a4, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
    Block dst4(a4, 1, 1);
    ASSERT_EQ(Convert(dst4, src), 0);
    EXPECT_EQ(dst4.Get(0, 0), 0x8000u);
}

TEST(ConvertPixels, AlphaFromRedAndColorsOff) {
    Block src(Argb(), 1, 1);
    src.Set(0, 0, 0x20C01234);
    Block dst(Argb(), 1, 1);
    image::ConvertOptions options;
    options.alphaFromRed = true;
    ASSERT_EQ(Convert(dst, src, options), 0);
    EXPECT_EQ(dst.Get(0, 0), 0xC0C01234u);
    options.colorsOff = true;
    ASSERT_EQ(Convert(dst, src, options), 0);
    EXPECT_EQ(dst.Get(0, 0), 0xC0000000u);
    options.alphaFromRed = false;
    ASSERT_EQ(Convert(dst, src, options), 0);
    EXPECT_EQ(dst.Get(0, 0), 0x20000000u);
}

TEST(ConvertPixels, IndexedSourceReadsItsPalette) {
    image::ColorFormat indexed{};
    image::SetIndexed8Format(indexed);
    indexed.palette[5] = {0x33, 0x22, 0x11, 0};
    Block src(indexed, 2, 1);
    src.Set(0, 0, 5);
    src.Set(1, 0, 6);
    Block dst(Argb(), 2, 1);
    ASSERT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(0, 0), 0xFF112233u);
    EXPECT_EQ(dst.Get(1, 0), 0xFF000000u);
}

TEST(ConvertPixels, IndexedToIndexedCopiesIndexes) {
    image::ColorFormat indexed{};
    image::SetIndexed8Format(indexed);
    indexed.palette[7] = {1, 2, 3, 0};
    Block src(indexed, 3, 1);
    src.Set(0, 0, 7);
    src.Set(1, 0, 200);
    src.Set(2, 0, 9);
    Block dst(indexed, 3, 1);
    ASSERT_EQ(Convert(dst, src), 0);
    EXPECT_EQ(dst.Get(0, 0), 7u);
    EXPECT_EQ(dst.Get(1, 0), 200u);
    EXPECT_EQ(dst.Get(2, 0), 9u);
    image::ConvertOptions options;
    options.mirror = true;
    ASSERT_EQ(Convert(dst, src, options), 0);
    EXPECT_EQ(dst.Get(0, 0), 9u);
    EXPECT_EQ(dst.Get(2, 0), 7u);

    Block fromRgb(Rgb24(), 1, 1);
    EXPECT_EQ(Convert(dst, fromRgb), -1);
}

} // namespace
} // namespace velox
