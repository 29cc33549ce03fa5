#include "ImageTestFiles.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

struct BmpSpec {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40;
    std::vector<uint32_t> palette; // 0x00RRGGBB, stored blue, green, red, reserved
    std::vector<uint32_t> masks;   // stored after a 40-byte header
    Bytes pixels;
};

Bytes MakeBmp(const BmpSpec& s) {
    uint32_t dataOffset = 14 + s.infoSize + uint32_t(s.masks.size() * 4 + s.palette.size() * 4);
    Bytes b = "BM";
    PutLe32(b, dataOffset + uint32_t(s.pixels.size()));
    PutLe32(b, 0);
    PutLe32(b, dataOffset);
    PutLe32(b, s.infoSize);
    PutLe32(b, uint32_t(s.width));
    PutLe32(b, uint32_t(s.height));
    PutLe16(b, 1);
    PutLe16(b, s.bitCount);
    PutLe32(b, s.compression);
    PutLe32(b, uint32_t(s.pixels.size()));
    PutLe32(b, 2835);
    PutLe32(b, 2835);
    PutLe32(b, uint32_t(s.palette.size()));
    PutLe32(b, 0);
    b.append(s.infoSize - 40, '\0');
    for (uint32_t m : s.masks) {
        PutLe32(b, m);
    }
    for (uint32_t c : s.palette) {
        // A nonzero reserved byte, which the reader must not keep.
        PutBytes(b, {int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF), 0x77});
    }
    b += s.pixels;
    return b;
}

std::vector<uint32_t> GreyRamp(int n) {
    std::vector<uint32_t> p;
    for (int i = 0; i < n; ++i) {
        p.push_back(uint32_t(i * 0x010101));
    }
    return p;
}

image::BaseImage Decode(const Bytes& file) {
    image::BaseImage image{};
    EXPECT_EQ(RunReader(image::ReadBmpImage, file, image), 0);
    return image;
}

void ExpectPalette(const image::BaseImage& image, const std::vector<uint32_t>& palette, int count) {
    for (int i = 0; i < 256; ++i) {
        uint32_t c = i < count ? palette[size_t(i)] : 0;
        const image::PaletteEntry& e = image.format.palette[i];
        EXPECT_EQ(e.blue, c & 0xFF) << i;
        EXPECT_EQ(e.green, c >> 8 & 0xFF) << i;
        EXPECT_EQ(e.red, c >> 16 & 0xFF) << i;
        EXPECT_EQ(e.reserved, 0) << i;
    }
}

// 2 x 2, 24 bits: stored rows "A" then "B", each padded to 8 bytes.
BmpSpec TwoRows24(int32_t height) {
    BmpSpec s;
    s.width = 2;
    s.height = height;
    PutBytes(s.pixels, {1, 2, 3, 4, 5, 6, 0, 0});
    PutBytes(s.pixels, {7, 8, 9, 10, 11, 12, 0, 0});
    return s;
}

TEST(BmpReader, PositiveHeightPutsFirstStoredRowAtTheBottom) {
    Bytes file = MakeBmp(TwoRows24(2));
    WriteSeed("BmpFuzz", "rgb24-bottom-up.bmp", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.pitch, 8);
    EXPECT_EQ(image.format.colorBitDepth, 24);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x090807u);
    EXPECT_EQ(PixelAt(image, 1, 1), 0x060504u);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, NegativeHeightKeepsStoredOrder) {
    Bytes file = MakeBmp(TwoRows24(-2));
    WriteSeed("BmpFuzz", "rgb24-top-down.bmp", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x030201u);
    EXPECT_EQ(PixelAt(image, 1, 1), 0x0C0B0Au);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, EightBitPaletteHasReservedBytesCleared) {
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bitCount = 8;
    s.palette = GreyRamp(256);
    s.palette[9] = 0x123456;
    PutBytes(s.pixels, {9, 0, 255, 0});
    image::BaseImage image = Decode(MakeBmp(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.bytesPerPixel, 1);
    EXPECT_EQ(image.pitch, 4);
    EXPECT_EQ(image.pixels[0], 9);
    EXPECT_EQ(image.pixels[2], 255);
    ExpectPalette(image, s.palette, 256);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, FourBitGivesOneBytePerPixelAndSixteenEntries) {
    BmpSpec s;
    s.width = 5;
    s.height = 2;
    s.bitCount = 4;
    s.palette = GreyRamp(16);
    PutBytes(s.pixels, {0x12, 0x34, 0x50, 0}); // bottom row: 1 2 3 4 5
    PutBytes(s.pixels, {0xAB, 0xCD, 0xE0, 0}); // top row: 10 11 12 13 14
    Bytes file = MakeBmp(s);
    WriteSeed("BmpFuzz", "indexed4.bmp", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.colorBitDepth, 8);
    EXPECT_EQ(image.pitch, 8);
    const uint8_t top[5] = {10, 11, 12, 13, 14};
    const uint8_t bottom[5] = {1, 2, 3, 4, 5};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(image.pixels[x], top[x]);
        EXPECT_EQ(image.pixels[8 + x], bottom[x]);
    }
    ExpectPalette(image, s.palette, 16);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, ShortPaletteOfColorsUsed) {
    // 2 x 1 pixels of 8 bits with a palette of 2 colors: far shorter than 256 entries.
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bitCount = 8;
    s.palette = {0x0000FF, 0xFF0000};
    PutBytes(s.pixels, {1, 0, 0, 0});
    Bytes file = MakeBmp(s);
    WriteSeed("BmpFuzz", "indexed8-two-colors.bmp", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.pixels[0], 1);
    ExpectPalette(image, s.palette, 2);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, LongInformationHeaderPutsThePaletteAfterIt) {
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.bitCount = 8;
    s.infoSize = 124;
    s.palette = GreyRamp(256);
    s.palette[1] = 0xABCDEF;
    PutBytes(s.pixels, {1, 0, 0, 0});
    image::BaseImage image = Decode(MakeBmp(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.palette[1].red, 0xAB);
    EXPECT_EQ(image.format.palette[1].blue, 0xEF);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, RunLength8EscapesAndSkippedPixels) {
    BmpSpec s;
    s.width = 6;
    s.height = 3;
    s.bitCount = 8;
    s.compression = 1;
    s.palette = GreyRamp(256);
    PutBytes(s.pixels, {3, 7});             // stored row 0: 7 7 7
    PutBytes(s.pixels, {0, 0});             // end of row (x 3..5 stay 0)
    PutBytes(s.pixels, {0, 2, 2, 1});       // delta: right 2, one row on -> row 2, x 2
    PutBytes(s.pixels, {0, 3, 4, 5, 6, 0}); // literal 4 5 6, padded to even
    PutBytes(s.pixels, {0, 1});             // end of picture
    PutBytes(s.pixels, {6, 9});             // never reached
    Bytes file = MakeBmp(s);
    WriteSeed("BmpFuzz", "rle8.bmp", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.pitch, 8);
    const uint8_t expected[3][6] = {{0, 0, 4, 5, 6, 0}, {0, 0, 0, 0, 0, 0}, {7, 7, 7, 0, 0, 0}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(image.pixels[y * 8 + x], expected[y][x]) << x << "," << y;
        }
    }
    ExpectPalette(image, s.palette, 256);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, RunLength8TopDownWhenHeightIsNegative) {
    BmpSpec s;
    s.width = 4;
    s.height = -2;
    s.bitCount = 8;
    s.compression = 1;
    s.palette = GreyRamp(256);
    PutBytes(s.pixels, {2, 1, 0, 0, 2, 2, 0, 1});
    image::BaseImage image = Decode(MakeBmp(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.pixels[0], 1);
    EXPECT_EQ(image.pixels[4], 2);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, RunPastTheRowIsClippedAndEndsThePicture) {
    BmpSpec s;
    s.width = 4;
    s.height = 2;
    s.bitCount = 8;
    s.compression = 1;
    s.palette = GreyRamp(256);
    PutBytes(s.pixels, {9, 5});       // 9 pixels into a row of pitch 4
    PutBytes(s.pixels, {0, 0, 4, 8}); // would fill the next row
    image::BaseImage image = Decode(MakeBmp(s));
    ASSERT_NE(image.pixels, nullptr);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(image.pixels[4 + x], 5); // bottom row (stored first), clipped at its end
        EXPECT_EQ(image.pixels[x], 0);     // nothing more was decoded
    }
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, RunLength4AlternatesNibbles) {
    BmpSpec s;
    s.width = 7;
    s.height = 1;
    s.bitCount = 4;
    s.compression = 2;
    s.palette = GreyRamp(16);
    PutBytes(s.pixels, {3, 0x12});          // 1 2 1
    PutBytes(s.pixels, {0, 3, 0xAB, 0xC0}); // literal nibbles A B C, already even
    PutBytes(s.pixels, {0, 1});
    Bytes file = MakeBmp(s);
    WriteSeed("BmpFuzz", "rle4.bmp", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.pitch, 8);
    const uint8_t expected[7] = {1, 2, 1, 10, 11, 12, 0};
    for (int x = 0; x < 7; ++x) {
        EXPECT_EQ(image.pixels[x], expected[x]);
    }
    ExpectPalette(image, s.palette, 16);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, OneBitThroughThePlatformConverter) {
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.bitCount = 1;
    s.palette = {0x000000, 0x102030};
    PutBytes(s.pixels, {0xA0, 0, 0, 0}); // bottom row: 1 0 1
    PutBytes(s.pixels, {0x40, 0, 0, 0}); // top row: 0 1 0
    Bytes file = MakeBmp(s);
    WriteSeed("BmpFuzz", "mono.bmp", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.colorBitDepth, 24);
    EXPECT_EQ(image.pitch, 12);
    EXPECT_EQ(PixelAt(image, 0, 0), 0u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x102030u);
    EXPECT_EQ(PixelAt(image, 0, 1), 0x102030u);
    EXPECT_EQ(PixelAt(image, 1, 1), 0u);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, SixteenBitPlainIsFiveFiveFive) {
    BmpSpec s;
    s.width = 2;
    s.height = -1;
    s.bitCount = 16;
    s.masks = {0, 0}; // read as part of the mask area, unused without bit fields
    PutBytes(s.pixels, {0x00, 0x7C, 0x10, 0x00}); // red 31; blue 16
    image::BaseImage image = Decode(MakeBmp(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.pitch, 8);
    EXPECT_EQ(PixelAt(image, 0, 0), 0xFF0000u);
    // 16 * 255 / 31 = 131.6, rounded.
    EXPECT_EQ(PixelAt(image, 1, 0), 132u);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, BitFieldMasks) {
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.bitCount = 16;
    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    PutBytes(s.pixels, {0xE0, 0x07, 0, 0}); // green 63
    Bytes file = MakeBmp(s);
    WriteSeed("BmpFuzz", "bitfields565.bmp", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x00FF00u);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, ThirtyTwoBitPlain) {
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.bitCount = 32;
    s.masks = {0, 0};
    PutBytes(s.pixels, {0x11, 0x22, 0x33, 0x44});
    image::BaseImage image = Decode(MakeBmp(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.bytesPerPixel, 3);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x332211u);
    image::ReleaseBaseImage(image);
}

TEST(BmpReader, Refusals) {
    ExpectRefused(image::ReadBmpImage, Bytes());
    ExpectRefused(image::ReadBmpImage, Bytes("BA") + Bytes(60, '\0'));
    Bytes file = MakeBmp(TwoRows24(2));
    ExpectRefused(image::ReadBmpImage, file.substr(0, 30));              // header cut short
    ExpectRefused(image::ReadBmpImage, file.substr(0, file.size() - 1)); // pixel rows cut short

    BmpSpec noPalette = TwoRows24(2);
    noPalette.bitCount = 0;
    ExpectRefused(image::ReadBmpImage, MakeBmp(noPalette));

    BmpSpec jpegInside = TwoRows24(2);
    jpegInside.compression = 4;
    ExpectRefused(image::ReadBmpImage, MakeBmp(jpegInside));
}

TEST(BmpReader, OversizeRefusedBeforeAllocating) {
    BmpSpec wide = TwoRows24(1);
    wide.width = 16385;
    ExpectRefused(image::ReadBmpImage, MakeBmp(wide));
    BmpSpec tall = TwoRows24(-16385);
    ExpectRefused(image::ReadBmpImage, MakeBmp(tall));
    BmpSpec minimum = TwoRows24(int32_t(0x80000000u));
    ExpectRefused(image::ReadBmpImage, MakeBmp(minimum));
    BmpSpec huge = TwoRows24(16384);
    huge.width = 16384;
    huge.bitCount = 0xFFFF; // a stride far beyond the tracked allocator's range
    ExpectRefused(image::ReadBmpImage, MakeBmp(huge));
}

} // namespace
} // namespace velox::test
