#include "ImageTestFiles.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

Bytes MakeBgra(uint32_t channels, uint32_t width, uint32_t height, const Bytes& pixels) {
    Bytes b = "BGRA";
    PutLe32(b, channels);
    PutLe32(b, width);
    PutLe32(b, height);
    return b + pixels;
}

TEST(BgraReader, EightBitChannels) {
    Bytes pixels;
    PutBytes(pixels, {1, 2, 3, 4, 5, 6, 7, 8});
    Bytes file = MakeBgra(0x08080808, 2, 1, pixels);
    WriteSeed("BgraFuzz", "eight.bgra", file);
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadBgraImage, file, image), 0);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 1);
    EXPECT_EQ(image.pitch, 8);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x04030201u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x08070605u);
    image::ReleaseBaseImage(image);
}

TEST(BgraReader, SixteenBitChannelsKeepTheHighBytes) {
    Bytes pixels;
    PutBytes(pixels, {0xFF, 0x11, 0xFF, 0x22, 0xFF, 0x33, 0xFF, 0x44}); // row 0
    PutBytes(pixels, {0x00, 0x55, 0x00, 0x66, 0x00, 0x77, 0x00, 0x88}); // row 1
    Bytes file = MakeBgra(0x10101010, 1, 2, pixels);
    WriteSeed("BgraFuzz", "sixteen.bgra", file);
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadBgraImage, file, image), 0);
    EXPECT_EQ(image.pitch, 4);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x44332211u);
    EXPECT_EQ(PixelAt(image, 0, 1), 0x88776655u);
    image::ReleaseBaseImage(image);
}

TEST(BgraReader, Refusals) {
    Bytes pixels(8, '\x01');
    ExpectRefused(image::ReadBgraImage, Bytes());
    ExpectRefused(image::ReadBgraImage, MakeBgra(0x08080808, 2, 1, pixels).substr(0, 15));
    ExpectRefused(image::ReadBgraImage, MakeBgra(0x08080800, 2, 1, pixels));
    ExpectRefused(image::ReadBgraImage, MakeBgra(0x08080808, 2, 1, pixels.substr(0, 7)));
    ExpectRefused(image::ReadBgraImage, MakeBgra(0x10101010, 1, 1, pixels.substr(0, 7)));
    Bytes wrong = MakeBgra(0x08080808, 2, 1, pixels);
    wrong[3] = 'B';
    ExpectRefused(image::ReadBgraImage, wrong);
}

TEST(BgraReader, SizeLimits) {
    ExpectRefused(image::ReadBgraImage, MakeBgra(0x08080808, 16385, 1, Bytes(16385 * 4, '\0')));
    ExpectRefused(image::ReadBgraImage, MakeBgra(0x08080808, 0, 1, Bytes()));
    ExpectRefused(image::ReadBgraImage, MakeBgra(0x08080808, 0xFFFFFFFFu, 1, Bytes(8, '\0')));
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadBgraImage,
                        MakeBgra(0x08080808, 16384, 1, Bytes(16384 * 4, '\0')), image),
              0);
    EXPECT_EQ(image.width, 16384);
    image::ReleaseBaseImage(image);
}

} // namespace
} // namespace velox::test
