#include "ImageTestFiles.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace velox::test {
namespace {

image::BaseImage Decode(const Bytes& file) {
    image::BaseImage image{};
    EXPECT_EQ(RunReader(image::ReadPngImage, file, image), 0);
    return image;
}

TEST(PngReader, RgbComesOutBlueGreenRedWithUnroundedPitch) {
    PngSpec s{3, 2, PNG_COLOR_TYPE_RGB, 8, {}, {}, {}};
    for (int i = 0; i < 18; ++i) {
        s.rows.push_back(uint8_t(i * 10));
    }
    Bytes file = EncodePng(s);
    WriteSeed("PngFuzz", "rgb.png", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.pitch, 9);
    EXPECT_EQ(image.format.colorBitDepth, 24);
    // Pixel (2, 1) was written as red 150, green 160, blue 170.
    EXPECT_EQ(PixelAt(image, 2, 1), uint32_t(150 << 16 | 160 << 8 | 170));
    EXPECT_EQ(PixelAt(image, 0, 0), uint32_t(0 << 16 | 10 << 8 | 20));
    image::ReleaseBaseImage(image);
}

TEST(PngReader, RgbaGivesArgb) {
    PngSpec s{1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {0x11, 0x22, 0x33, 0x44}, {}, {}};
    image::BaseImage image = Decode(EncodePng(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x44112233u);
    image::ReleaseBaseImage(image);
}

TEST(PngReader, SixteenBitSamplesAreStripped) {
    PngSpec s{1, 1, PNG_COLOR_TYPE_RGB, 16, {0xAB, 0x01, 0xCD, 0x02, 0xEF, 0x03}, {}, {}};
    image::BaseImage image = Decode(EncodePng(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.pitch, 3);
    EXPECT_EQ(PixelAt(image, 0, 0), 0xABCDEFu);
    image::ReleaseBaseImage(image);
}

TEST(PngReader, PaletteWithoutTransparencyStaysIndexed) {
    PngSpec s{4, 1, PNG_COLOR_TYPE_PALETTE, 2, {0x1B}, {}, {}}; // indexes 0 1 2 3
    s.palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    Bytes file = EncodePng(s);
    WriteSeed("PngFuzz", "palette2.png", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.bytesPerPixel, 1);
    EXPECT_EQ(image.pitch, 4);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(image.pixels[x], x);
    }
    EXPECT_EQ(image.format.palette[1].red, 40);
    EXPECT_EQ(image.format.palette[1].green, 50);
    EXPECT_EQ(image.format.palette[1].blue, 60);
    EXPECT_EQ(image.format.palette[1].reserved, 0);
    for (int i = 3; i < 256; ++i) {
        EXPECT_EQ(image.format.palette[i].red | image.format.palette[i].green |
                      image.format.palette[i].blue,
                  0);
    }
    image::ReleaseBaseImage(image);
}

TEST(PngReader, PaletteWithTransparencyExpandsToArgb) {
    PngSpec s{2, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1}, {{1, 2, 3}, {4, 5, 6}}, {0x80}};
    Bytes file = EncodePng(s);
    WriteSeed("PngFuzz", "palette-trns.png", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.bytesPerPixel, 4);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x80010203u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0xFF040506u);
    image::ReleaseBaseImage(image);
}

TEST(PngReader, GreyIsEightBitGrey) {
    PngSpec s{2, 1, PNG_COLOR_TYPE_GRAY, 4, {0xF1}, {}, {}}; // 15 and 1
    Bytes file = EncodePng(s);
    WriteSeed("PngFuzz", "grey4.png", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.bytesPerPixel, 1);
    EXPECT_EQ(image.pitch, 2);
    // Expansion scales 4-bit grey to 8 bits (x 17).
    EXPECT_EQ(image.pixels[0], 255);
    EXPECT_EQ(image.pixels[1], 17);
    EXPECT_EQ(image.format.palette[17].red, 17);
    image::ReleaseBaseImage(image);
}

TEST(PngReader, GreyWithAlphaOrATransparencyKeyKeepsItsTransparency) {
    PngSpec alpha{2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0x40, 0xFF, 0x90, 0x00}, {}, {}};
    Bytes file = EncodePng(alpha);
    WriteSeed("PngFuzz", "grey-alpha.png", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.bytesPerPixel, 4);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(image.pitch, 8);
    EXPECT_EQ(PixelAt(image, 0, 0), 0xFF404040u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x00909090u);
    image::ReleaseBaseImage(image);

    // 4-bit grey whose level 1 is the key: that pixel alone is transparent.
    PngSpec keyed{3, 1, PNG_COLOR_TYPE_GRAY, 4, {0xF1, 0x20}, {}, {1}};
    file = EncodePng(keyed);
    WriteSeed("PngFuzz", "grey-key.png", file);
    image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.bytesPerPixel, 4);
    EXPECT_EQ(PixelAt(image, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x00111111u);
    EXPECT_EQ(PixelAt(image, 2, 0), 0xFF222222u);
    image::ReleaseBaseImage(image);
}

TEST(PngReader, Refusals) {
    PngSpec s{3, 2, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(18, 7), {}, {}};
    Bytes file = EncodePng(s);
    ExpectRefused(image::ReadPngImage, Bytes());
    ExpectRefused(image::ReadPngImage, file.substr(0, 7));
    ExpectRefused(image::ReadPngImage, file.substr(0, 40));               // inside the header chunk
    ExpectRefused(image::ReadPngImage, file.substr(0, file.size() - 20)); // inside the picture data
    Bytes broken = file;
    broken[20] ^= 0x55; // header chunk checksum no longer matches
    ExpectRefused(image::ReadPngImage, broken);
}

// A chunk with a correct checksum, placed right after the header chunk.
Bytes WithChunkAfterHeader(const Bytes& file, const char* type, const Bytes& data,
                           uint32_t claimedLength) {
    Bytes chunk;
    PutLe32(chunk, 0);
    for (int i = 0; i < 4; ++i) {
        chunk[size_t(i)] = char(claimedLength >> (24 - 8 * i) & 0xFF);
    }
    Bytes body = Bytes(type, 4) + data;
    chunk += body;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    for (int i = 0; i < 4; ++i) {
        chunk.push_back(char(crc >> (24 - 8 * i) & 0xFF));
    }
    size_t afterHeader = 8 + 8 + 13 + 4;
    return file.substr(0, afterHeader) + chunk + file.substr(afterHeader);
}

TEST(PngReader, AncillaryChunksDoNotMatter) {
    PngSpec s{2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}, {}, {}};
    Bytes file = EncodePng(s);
    Bytes text = WithChunkAfterHeader(file, "tEXt", Bytes("Title\0picture", 13), 13);
    Bytes unknown = WithChunkAfterHeader(text, "vpAg", Bytes(9, '\1'), 9);
    for (const Bytes& f : {text, unknown}) {
        image::BaseImage image = Decode(f);
        ASSERT_NE(image.pixels, nullptr);
        EXPECT_EQ(PixelAt(image, 1, 0), 0x040506u);
        image::ReleaseBaseImage(image);
    }
    // A chunk that claims nearly 2 GiB in a file of a hundred bytes: refused by
    // reading, never allocated.
    Bytes liar = WithChunkAfterHeader(file, "sPLT", Bytes("x\0\x08", 3), 0x7B0000F3u);
    WriteSeed("PngFuzz", "lying-chunk.png", liar);
    ExpectRefused(image::ReadPngImage, liar);
}

TEST(PngReader, OversizeRefused) {
    PngSpec s{16385, 1, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint8_t>(16385, 3), {}, {}};
    ExpectRefused(image::ReadPngImage, EncodePng(s));
}

} // namespace
} // namespace velox::test
