#include "ImageTestFiles.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

struct TgaSpec {
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint8_t type = 2;
    uint16_t firstIndex = 0;
    uint16_t mapLength = 0;
    uint8_t mapEntrySize = 0;
    uint16_t xOrigin = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t pixelDepth = 24;
    uint8_t descriptor = 0x20;
    Bytes body; // everything after the 18-byte header
    bool footer = false;
};

Bytes MakeTga(const TgaSpec& s) {
    Bytes b;
    PutBytes(b, {s.idLength, s.mapType, s.type});
    PutLe16(b, s.firstIndex);
    PutLe16(b, s.mapLength);
    b.push_back(char(s.mapEntrySize));
    PutLe16(b, s.xOrigin);
    PutLe16(b, 0);
    PutLe16(b, s.width);
    PutLe16(b, s.height);
    PutBytes(b, {s.pixelDepth, s.descriptor});
    b += s.body;
    if (s.footer) {
        PutLe32(b, 0);
        PutLe32(b, 0);
        b += "TRUEVISION-XFILE.";
        b.push_back('\0');
    }
    return b;
}

image::BaseImage Decode(const Bytes& file) {
    image::BaseImage image{};
    EXPECT_EQ(RunReader(image::ReadTgaImage, file, image), 0);
    return image;
}

// 2 x 2 pixels of 24 bits, stored A B / C D.
TgaSpec Square24(uint8_t descriptor) {
    TgaSpec s;
    s.width = 2;
    s.height = 2;
    s.descriptor = descriptor;
    PutBytes(s.body, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});
    return s;
}

TEST(TgaReader, BottomLeftOriginTurnsRowsOver) {
    Bytes file = MakeTga(Square24(0x00));
    WriteSeed("TgaFuzz", "rgb24-bottom-left.tga", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.pitch, 6);
    EXPECT_EQ(image.format.colorBitDepth, 24);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x030303u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x040404u);
    EXPECT_EQ(PixelAt(image, 0, 1), 0x010101u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, TopLeftOriginIsTakenAsStored) {
    image::BaseImage image = Decode(MakeTga(Square24(0x20)));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x010101u);
    EXPECT_EQ(PixelAt(image, 1, 1), 0x040404u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, RightToLeftRowsAreMirroredBack) {
    image::BaseImage image = Decode(MakeTga(Square24(0x30)));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x020202u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x010101u);
    EXPECT_EQ(PixelAt(image, 0, 1), 0x040404u);
    image::ReleaseBaseImage(image);

    image = Decode(MakeTga(Square24(0x10))); // bottom right
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x040404u);
    EXPECT_EQ(PixelAt(image, 1, 1), 0x010101u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, ThirtyTwoBitsGiveArgb) {
    TgaSpec s;
    s.pixelDepth = 32;
    PutBytes(s.body, {0x10, 0x20, 0x30, 0x40});
    image::BaseImage image = Decode(MakeTga(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x40302010u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, SixteenBitColorMapGivesOneFiveFiveFive) {
    TgaSpec s;
    s.mapType = 1;
    s.type = 1;
    s.mapLength = 2;
    s.mapEntrySize = 16;
    s.pixelDepth = 8;
    s.width = 3;
    PutBytes(s.body, {0x1F, 0x80, 0xE0, 0x03}); // entry 0: top bit + blue; entry 1: green
    PutBytes(s.body, {1, 0, 7});                // index 7 lies beyond the map: zero
    Bytes file = MakeTga(s);
    WriteSeed("TgaFuzz", "mapped16.tga", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.colorBitDepth, 16);
    EXPECT_EQ(image.format.bytesPerPixel, 2);
    EXPECT_EQ(image.format.redMask, 0x7C00u);
    EXPECT_EQ(image.format.greenMask, 0x03E0u);
    EXPECT_EQ(image.format.blueMask, 0x001Fu);
    EXPECT_EQ(image.format.alphaWidth, 0);
    EXPECT_EQ(image.format.spareMask, 0x8000u);
    EXPECT_EQ(image.pitch, 6);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x03E0u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x801Fu);
    EXPECT_EQ(PixelAt(image, 2, 0), 0u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, ColorMapBeyondIndex255IsNotStored) {
    TgaSpec s;
    s.mapType = 1;
    s.type = 1;
    s.firstIndex = 254;
    s.mapLength = 4; // indexes 254..257
    s.mapEntrySize = 24;
    s.pixelDepth = 8;
    s.width = 2;
    PutBytes(s.body, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});
    PutBytes(s.body, {254, 255});
    image::BaseImage image = Decode(MakeTga(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x010101u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x020202u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, ImageIdAndUnusedColorMapAreSkipped) {
    TgaSpec s;
    s.idLength = 3;
    s.mapType = 1;
    s.mapLength = 2;
    s.mapEntrySize = 15; // two bytes an entry
    PutBytes(s.body, {'i', 'd', '!', 9, 9, 9, 9, 0x30, 0x20, 0x10});
    image::BaseImage image = Decode(MakeTga(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x102030u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, RunLengthTrueColorWithFooter) {
    TgaSpec s;
    s.type = 10;
    s.width = 5;
    s.height = 1;
    s.footer = true;
    PutBytes(s.body, {0x82, 1, 2, 3});          // run of 3
    PutBytes(s.body, {0x01, 4, 5, 6, 7, 8, 9}); // 2 literal pixels
    Bytes file = MakeTga(s);
    WriteSeed("TgaFuzz", "rle24-footer.tga", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x030201u);
    EXPECT_EQ(PixelAt(image, 2, 0), 0x030201u);
    EXPECT_EQ(PixelAt(image, 3, 0), 0x060504u);
    EXPECT_EQ(PixelAt(image, 4, 0), 0x090807u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, RunLengthColorMapped) {
    TgaSpec s;
    s.mapType = 1;
    s.type = 9;
    s.mapLength = 2;
    s.mapEntrySize = 32;
    s.pixelDepth = 8;
    s.width = 4;
    PutBytes(s.body, {1, 2, 3, 4, 5, 6, 7, 8});
    PutBytes(s.body, {0x81, 1, 0x01, 0, 1});
    Bytes file = MakeTga(s);
    WriteSeed("TgaFuzz", "rle-mapped32.tga", file);
    image::BaseImage image = Decode(file);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x08070605u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x08070605u);
    EXPECT_EQ(PixelAt(image, 2, 0), 0x04030201u);
    EXPECT_EQ(PixelAt(image, 3, 0), 0x08070605u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, RunPastThePictureIsClipped) {
    TgaSpec s;
    s.type = 10;
    s.width = 2;
    s.height = 1;
    PutBytes(s.body, {0xFF, 7, 7, 7}); // 128 pixels for a picture of 2
    image::BaseImage image = Decode(MakeTga(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x070707u);
    image::ReleaseBaseImage(image);
}

TEST(TgaReader, WidthLimit) {
    TgaSpec s;
    s.width = 4095;
    s.body.assign(4095 * 3, '\x11');
    image::BaseImage image = Decode(MakeTga(s));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.width, 4095);
    image::ReleaseBaseImage(image);
    s.width = 4096;
    s.body.assign(4096 * 3, '\x11');
    ExpectRefused(image::ReadTgaImage, MakeTga(s));
    s.width = 1;
    s.height = 4096;
    ExpectRefused(image::ReadTgaImage, MakeTga(s));
}

TEST(TgaReader, Refusals) {
    ExpectRefused(image::ReadTgaImage, Bytes());
    TgaSpec good = Square24(0x20);
    for (uint8_t type : {0, 3, 4, 8, 11, 12}) {
        TgaSpec s = good;
        s.type = type;
        ExpectRefused(image::ReadTgaImage, MakeTga(s));
    }
    TgaSpec moved = good;
    moved.xOrigin = 1;
    ExpectRefused(image::ReadTgaImage, MakeTga(moved));
    TgaSpec depth = good;
    depth.pixelDepth = 8;
    ExpectRefused(image::ReadTgaImage, MakeTga(depth));
    TgaSpec empty = good;
    empty.width = 0;
    ExpectRefused(image::ReadTgaImage, MakeTga(empty));
    Bytes cut = MakeTga(good);
    ExpectRefused(image::ReadTgaImage, cut.substr(0, cut.size() - 1));

    TgaSpec wideIndex;
    wideIndex.mapType = 1;
    wideIndex.type = 1;
    wideIndex.mapLength = 1;
    wideIndex.mapEntrySize = 24;
    wideIndex.pixelDepth = 16;
    PutBytes(wideIndex.body, {1, 2, 3, 0, 0});
    ExpectRefused(image::ReadTgaImage, MakeTga(wideIndex));

    TgaSpec shortRun;
    shortRun.type = 10;
    shortRun.width = 4;
    PutBytes(shortRun.body, {0x81, 1, 2, 3}); // 2 of 4 pixels, then the data ends
    ExpectRefused(image::ReadTgaImage, MakeTga(shortRun));
}

} // namespace
} // namespace velox::test
