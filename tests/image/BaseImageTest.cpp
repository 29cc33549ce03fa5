#include "image/BaseImage.h"
#include "core/MemoryTracker.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velox {
namespace {

TEST(CreateBaseImage, PitchIsRoundedToFourBytes) {
    image::BaseImage rgb{};
    ASSERT_EQ(image::CreateRgb24BaseImage(3, 2, rgb), 0);
    EXPECT_EQ(rgb.pitch, 12);
    EXPECT_EQ(rgb.format.bytesPerPixel, 3);
    ASSERT_NE(rgb.pixels, nullptr);
    image::BaseImage argb{};
    ASSERT_EQ(image::CreateArgb32BaseImage(3, 2, argb), 0);
    EXPECT_EQ(argb.pitch, 12);
    image::BaseImage one{};
    ASSERT_EQ(image::CreateRgb24BaseImage(1, 1, one), 0);
    EXPECT_EQ(one.pitch, 4);
    image::ReleaseBaseImage(rgb);
    image::ReleaseBaseImage(argb);
    image::ReleaseBaseImage(one);
}

TEST(CreateBaseImage, OversizeFailsWithFormatAndSizesSet) {
    image::BaseImage image{};
    EXPECT_EQ(image::CreateArgb32BaseImage(65536, 65536, image), -1);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 65536);
    EXPECT_EQ(image.format.bytesPerPixel, 4);
    EXPECT_EQ(image::CreateRgb24BaseImage(-1, 4, image), -1);
    EXPECT_EQ(image.pixels, nullptr);
}

TEST(ReleaseBaseImage, FreesAndClearsTwiceHarmlessly) {
    auto before = core::mem_detail::CurrentTotals();
    image::BaseImage image{};
    ASSERT_EQ(image::CreateArgb32BaseImage(4, 4, image), 0);
    image::ReleaseBaseImage(image);
    image::BaseImage zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&image, &zero, sizeof image), 0);
    image::ReleaseBaseImage(image);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, before.blockCount);
}

TEST(BaseImagePixels, SetThenGetInThreeAndFourBytes) {
    image::BaseImage argb{};
    ASSERT_EQ(image::CreateArgb32BaseImage(2, 2, argb), 0);
    image::SetBaseImagePixel(argb, 1, 1, 10, 20, 30, 40);
    const uint8_t* p = argb.pixels + argb.pitch + 4;
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    EXPECT_EQ(p[3], 40);
    int r, g, b, a;
    image::GetBaseImagePixel(argb, 1, 1, &r, &g, &b, &a);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, 20);
    EXPECT_EQ(b, 30);
    EXPECT_EQ(a, 40);
    EXPECT_EQ(image::GetBaseImagePixelArgb(argb, 1, 1), 0x280A141Eu);

    image::BaseImage rgb{};
    ASSERT_EQ(image::CreateRgb24BaseImage(2, 1, rgb), 0);
    image::SetBaseImagePixel(rgb, 1, 0, 1, 2, 3, 99);
    EXPECT_EQ(rgb.pixels[3], 3);
    EXPECT_EQ(rgb.pixels[4], 2);
    EXPECT_EQ(rgb.pixels[5], 1);
    image::GetBaseImagePixel(rgb, 1, 0, &r, &g, &b, &a);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(image::GetBaseImagePixelArgb(rgb, 1, 0), 0x00010203u);
    image::ReleaseBaseImage(argb);
    image::ReleaseBaseImage(rgb);
}

TEST(BaseImagePixels, ArgbValueDoesNotReplicateLowBits) {
    uint8_t pixels[4] = {};
    image::BaseImage image{};
    image.format = *image::GetSoftwareFormat(0, false, false);
    image.width = 2;
    image.height = 1;
    image.pitch = 4;
    image.pixels = pixels;
    image::SetBaseImagePixel(image, 0, 0, 255, 255, 255, 0);
    EXPECT_EQ(pixels[0], 0xFF);
    EXPECT_EQ(pixels[1], 0xFF);
    // 5-bit 31 -> 248, 6-bit 63 -> 252.
    EXPECT_EQ(image::GetBaseImagePixelArgb(image, 0, 0), 0x00F8FCF8u);
}

TEST(BaseImagePixels, IndexedPixelsReadThroughThePalette) {
    uint8_t pixels[4] = {0, 1, 2, 3};
    image::BaseImage image{};
    image::SetIndexed8Format(image.format);
    image.format.palette[2] = {30, 20, 10, 0};
    image.width = 4;
    image.height = 1;
    image.pitch = 4;
    image.pixels = pixels;
    int r, g, b, a;
    image::GetBaseImagePixel(image, 2, 0, &r, &g, &b, &a);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, 20);
    EXPECT_EQ(b, 30);
    EXPECT_EQ(a, 0);
}

TEST(FillBaseImage, SixteenBitOddWidthStopsAtTheRowEnd) {
    // 3 pixels of 2 bytes in a pitch of 8: the pad bytes must stay untouched.
    uint8_t pixels[16];
    std::memset(pixels, 0xEE, sizeof pixels);
    image::BaseImage image{};
    image.format = *image::GetSoftwareFormat(0, false, false);
    image.width = 3;
    image.height = 2;
    image.pitch = 8;
    image.pixels = pixels;
    image::FillBaseImage(image, 8, 4, 8, 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(pixels[y * 8 + x * 2], 0x21);
            EXPECT_EQ(pixels[y * 8 + x * 2 + 1], 0x08);
        }
        EXPECT_EQ(pixels[y * 8 + 6], 0xEE);
        EXPECT_EQ(pixels[y * 8 + 7], 0xEE);
    }
}

TEST(FillBaseImage, ThreeBytePixels) {
    image::BaseImage image{};
    ASSERT_EQ(image::CreateRgb24BaseImage(3, 2, image), 0);
    image::FillBaseImage(image, 1, 2, 3, 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const uint8_t* p = image.pixels + y * image.pitch + x * 3;
            EXPECT_EQ(p[0], 3);
            EXPECT_EQ(p[1], 2);
            EXPECT_EQ(p[2], 1);
        }
    }
    image::ReleaseBaseImage(image);
}

TEST(MirrorBaseImage, SwapsPixelsAcrossEachRow) {
    image::BaseImage image{};
    ASSERT_EQ(image::CreateRgb24BaseImage(3, 2, image), 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            image::SetBaseImagePixel(image, x, y, x, y, 7, 0);
        }
    }
    ASSERT_EQ(image::MirrorBaseImage(image), 0);
    int r, g, b, a;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            image::GetBaseImagePixel(image, x, y, &r, &g, &b, &a);
            EXPECT_EQ(r, 2 - x);
            EXPECT_EQ(g, y);
        }
    }
    image::ReleaseBaseImage(image);
}

TEST(MirrorBaseImage, WidthOneUnchangedWidthZeroFails) {
    uint8_t pixels[4] = {1, 2, 3, 4};
    image::BaseImage image{};
    image::SetArgb32Format(image.format);
    image.width = 1;
    image.height = 1;
    image.pitch = 4;
    image.pixels = pixels;
    EXPECT_EQ(image::MirrorBaseImage(image), 0);
    EXPECT_EQ(pixels[0], 1);
    EXPECT_EQ(pixels[3], 4);
    image.width = 0;
    EXPECT_EQ(image::MirrorBaseImage(image), -1);
    image.width = 1;
    image.height = 0;
    EXPECT_EQ(image::MirrorBaseImage(image), -1);
}

TEST(MirrorBaseImage, OneAndTwoBytePixels) {
    uint8_t bytes[4] = {1, 2, 3, 0};
    image::BaseImage image{};
    image::SetIndexed8Format(image.format);
    image.width = 3;
    image.height = 1;
    image.pitch = 4;
    image.pixels = bytes;
    image::MirrorBaseImage(image);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(bytes[3], 0);
    uint8_t words[4] = {1, 2, 3, 4};
    image.format = *image::GetSoftwareFormat(0, false, false);
    image.width = 2;
    image.pixels = words;
    image::MirrorBaseImage(image);
    EXPECT_EQ(words[0], 3);
    EXPECT_EQ(words[1], 4);
    EXPECT_EQ(words[2], 1);
    EXPECT_EQ(words[3], 2);
}

} // namespace
} // namespace velox
