#include "ImageTestFiles.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

struct DdsSpec {
    Bytes magic = "DDS ";
    uint32_t flags = 0x1007;
    uint32_t width = 2;
    uint32_t height = 1;
    uint32_t pitch = 0;
    uint32_t formatFlags = 0x40;
    uint32_t code = 0;
    uint32_t bitCount = 16;
    uint32_t masks[4] = {0xF800, 0x07E0, 0x001F, 0};
    Bytes pixels;
};

Bytes MakeDds(const DdsSpec& s) {
    Bytes b = s.magic;
    Bytes h(124, '\0');
    auto put = [&h](size_t offset, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h[offset + size_t(i)] = char(v >> (8 * i) & 0xFF);
        }
    };
    put(0, 124);
    put(4, s.flags);
    put(8, s.height);
    put(12, s.width);
    put(16, s.pitch);
    put(72, 32);
    put(76, s.formatFlags);
    put(80, s.code);
    put(84, s.bitCount);
    for (int i = 0; i < 4; ++i) {
        put(88 + size_t(i) * 4, s.masks[i]);
    }
    return b + h + s.pixels;
}

TEST(DdsReader, RgbMasksFiveSixFive) {
    DdsSpec s;
    PutBytes(s.pixels, {0x00, 0xF8, 0x1F, 0x00});
    Bytes file = MakeDds(s);
    WriteSeed("DdsFuzz", "rgb565.dds", file);
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadDdsImage, file, image), 0);
    EXPECT_EQ(image.format.colorBitDepth, 16);
    EXPECT_EQ(image.format.redWidth, 5);
    EXPECT_EQ(image.format.greenWidth, 6);
    EXPECT_EQ(image.format.blueWidth, 5);
    EXPECT_EQ(image.format.greenShift, 5);
    EXPECT_EQ(image.pitch, 4);
    EXPECT_EQ(PixelAt(image, 0, 0), 0xF800u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x001Fu);
    image::ReleaseBaseImage(image);
}

TEST(DdsReader, CodeTwentyOneIsArgb) {
    DdsSpec s;
    s.formatFlags = 4;
    s.code = 21;
    s.bitCount = 0; // not filled in by every writer for coded formats
    s.height = 2;
    s.width = 1;
    s.magic = "DDSx"; // the fourth byte is not examined
    PutBytes(s.pixels, {1, 2, 3, 4, 5, 6, 7, 8});
    Bytes file = MakeDds(s);
    WriteSeed("DdsFuzz", "argb-code21.dds", file);
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadDdsImage, file, image), 0);
    EXPECT_EQ(image.format.bytesPerPixel, 4);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(image.format.redMask, 0x00FF0000u);
    EXPECT_EQ(image.pitch, 4);
    EXPECT_EQ(PixelAt(image, 0, 1), 0x08070605u);
    image::ReleaseBaseImage(image);
}

TEST(DdsReader, TableEntriesGiveTheirMasks) {
    DdsSpec s;
    s.formatFlags = 4;
    s.code = 31; // A2B10G10R10
    s.width = 1;
    PutBytes(s.pixels, {0, 0, 0, 0});
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadDdsImage, MakeDds(s), image), 0);
    EXPECT_EQ(image.format.redMask, 0x3FFu);
    EXPECT_EQ(image.format.blueShift, 20);
    EXPECT_EQ(image.format.alphaWidth, 2);
    image::ReleaseBaseImage(image);
}

TEST(DdsReader, OneBytePixelsShowTheirColoursThroughAPalette) {
    DdsSpec coded;
    coded.formatFlags = 4;
    coded.code = 27; // R3G3B2
    coded.width = 3;
    PutBytes(coded.pixels, {0xE0, 0x1D, 0xFF});
    Bytes file = MakeDds(coded);
    WriteSeed("DdsFuzz", "r3g3b2-code27.dds", file);
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadDdsImage, file, image), 0);
    EXPECT_EQ(image.format.bytesPerPixel, 1);
    EXPECT_EQ(image.pitch, 3);
    EXPECT_EQ(image.pixels[1], 0x1D);
    const image::PaletteEntry& red = image.format.palette[0xE0];
    EXPECT_EQ(red.red, 255);
    EXPECT_EQ(red.green, 0);
    EXPECT_EQ(red.blue, 0);
    const image::PaletteEntry& mixed = image.format.palette[0x1D]; // green 7 of 7, blue 1 of 3
    EXPECT_EQ(mixed.red, 0);
    EXPECT_EQ(mixed.green, 255);
    EXPECT_EQ(mixed.blue, 85);
    const image::PaletteEntry& white = image.format.palette[0xFF];
    EXPECT_EQ(white.red & white.green & white.blue, 255);
    image::ReleaseBaseImage(image);

    // The same through RGB masks of 8 bits, here 2-3-3 the other way round.
    DdsSpec masked;
    masked.bitCount = 8;
    masked.width = 1;
    masked.masks[0] = 0x07;
    masked.masks[1] = 0x38;
    masked.masks[2] = 0xC0;
    masked.pixels = "\x47";
    file = MakeDds(masked);
    WriteSeed("DdsFuzz", "rgb233.dds", file);
    ASSERT_EQ(RunReader(image::ReadDdsImage, file, image), 0);
    EXPECT_EQ(image.format.palette[0x47].red, 255);
    EXPECT_EQ(image.format.palette[0x47].green, 0);
    EXPECT_EQ(image.format.palette[0x47].blue, 85);
    image::ReleaseBaseImage(image);

    // One byte with alpha, or with no colour at all, has no palette that shows it.
    masked.masks[3] = 0xC0;
    masked.masks[2] = 0;
    ExpectRefused(image::ReadDdsImage, MakeDds(masked));
    masked.masks[0] = masked.masks[1] = masked.masks[3] = 0;
    ExpectRefused(image::ReadDdsImage, MakeDds(masked));
}

TEST(DdsReader, PitchFlagTakesTheHeaderPitch) {
    DdsSpec s;
    s.flags |= 0x8;
    s.width = 1;
    s.height = 2;
    s.pitch = 4;
    PutBytes(s.pixels, {1, 0, 9, 9, 2, 0, 9, 9});
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadDdsImage, MakeDds(s), image), 0);
    EXPECT_EQ(image.pitch, 4);
    EXPECT_EQ(PixelAt(image, 0, 1), 2u);
    image::ReleaseBaseImage(image);
}

TEST(DdsReader, Refusals) {
    DdsSpec blocks;
    blocks.formatFlags = 4;
    blocks.code = 0x31545844; // "DXT1"
    blocks.pixels.assign(8, '\0');
    ExpectRefused(image::ReadDdsImage, MakeDds(blocks));

    DdsSpec mixed;
    mixed.formatFlags = 4 | 1; // not exactly the code flag
    mixed.code = 21;
    mixed.pixels.assign(8, '\0');
    ExpectRefused(image::ReadDdsImage, MakeDds(mixed));

    DdsSpec good;
    good.pixels.assign(4, '\0');
    Bytes file = MakeDds(good);
    ExpectRefused(image::ReadDdsImage, file.substr(0, file.size() - 1));
    ExpectRefused(image::ReadDdsImage, file.substr(0, 100));
    Bytes wrongMagic = file;
    wrongMagic[2] = 'T';
    ExpectRefused(image::ReadDdsImage, wrongMagic);

    DdsSpec narrowPitch = good;
    narrowPitch.flags |= 0x8;
    narrowPitch.pitch = 2; // less than a row of two 16-bit pixels
    ExpectRefused(image::ReadDdsImage, MakeDds(narrowPitch));

    DdsSpec oddBits = good;
    oddBits.bitCount = 12;
    ExpectRefused(image::ReadDdsImage, MakeDds(oddBits));
}

TEST(DdsReader, OverflowAndOversizeRefused) {
    DdsSpec s;
    s.flags |= 0x8;
    s.width = 16384;
    s.height = 16384;
    s.pitch = 0xFFFFFFF0u; // pitch x height far beyond any allocation
    ExpectRefused(image::ReadDdsImage, MakeDds(s));
    DdsSpec wide;
    wide.width = 16385;
    ExpectRefused(image::ReadDdsImage, MakeDds(wide));
    DdsSpec negative;
    negative.height = 0xFFFFFFFFu;
    ExpectRefused(image::ReadDdsImage, MakeDds(negative));
    // A tiny picture whose pitch claims about 2 GiB more than the file holds.
    DdsSpec claimed;
    claimed.flags |= 0x8;
    claimed.width = 1;
    claimed.height = 2;
    claimed.pitch = 0x40000000u;
    PutBytes(claimed.pixels, {1, 0, 2, 0});
    ExpectRefused(image::ReadDdsImage, MakeDds(claimed));
}

} // namespace
} // namespace velox::test
