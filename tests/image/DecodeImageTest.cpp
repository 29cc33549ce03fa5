#include "ImageTestFiles.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

// A 2 x 1 true-color TGA without footer, stored top-left.
Bytes SmallTga() {
    Bytes b;
    PutBytes(b, {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0x20});
    PutBytes(b, {1, 2, 3, 4, 5, 6});
    return b;
}

TEST(DecodeImage, TgaIsReachedAfterFourRefusals) {
    Bytes file = SmallTga();
    WriteSeed("TgaFuzz", "small.tga", file);
    for (ReaderFunction earlier :
         {image::ReadBmpImage, image::ReadJpegImage, image::ReadPngImage, image::ReadBgraImage}) {
        ExpectRefused(earlier, file);
    }
    file::Stream stream;
    ASSERT_TRUE(file::OpenMemoryStream(file.data(), int32_t(file.size()), stream));
    ASSERT_EQ(stream.ops->seek(stream.data, 5, 0), 0); // the dispatcher rewinds
    image::BaseImage image{};
    ASSERT_EQ(image::DecodeImage(stream, image), 0);
    file::CloseStream(stream);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.format.colorBitDepth, 24);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x030201u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x060504u);
    image::ReleaseBaseImage(image);
}

TEST(DecodeImage, EveryFormatThroughTheDispatcher) {
    Bytes bgra = "BGRA";
    PutLe32(bgra, 0x08080808);
    PutLe32(bgra, 1);
    PutLe32(bgra, 1);
    PutBytes(bgra, {9, 8, 7, 6});
    PngSpec png{1, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3}, {}, {}};
    struct Case {
        Bytes file;
        int bytesPerPixel;
    } cases[] = {
        {bgra, 4},
        {EncodePng(png), 3},
        {EncodeJpeg(8, 8, 1, std::vector<uint8_t>(64, 100)), 1},
        {SmallTga(), 3},
    };
    for (const Case& c : cases) {
        image::BaseImage image{};
        ASSERT_EQ(RunReader(image::DecodeImage, c.file, image), 0);
        EXPECT_EQ(image.format.bytesPerPixel, c.bytesPerPixel);
        image::ReleaseBaseImage(image);
    }
}

// An 8-bit run-length BMP whose data ends the picture at once: a few hundred bytes
// declaring any size.
Bytes RunLengthBmp(int32_t width, int32_t height) {
    Bytes b = "BM";
    PutLe32(b, 14 + 40 + 1024 + 2);
    PutLe32(b, 0);
    PutLe32(b, 14 + 40 + 1024);
    PutLe32(b, 40);
    PutLe32(b, uint32_t(width));
    PutLe32(b, uint32_t(height));
    PutLe16(b, 1);
    PutLe16(b, 8);
    PutLe32(b, 1); // RLE8
    for (int i = 0; i < 5; ++i) {
        PutLe32(b, 0);
    }
    b.append(1024, '\x40');
    PutBytes(b, {0, 1}); // end of picture
    return b;
}

TEST(DecodeImage, PixelBudgetRefusesBeforeAllocating) {
    // At the default budget: the bomb of 16384 x 16384 and one row over 8192 x 8192.
    ExpectRefused(image::DecodeImage, RunLengthBmp(16384, 16384));
    ExpectRefused(image::DecodeImage, RunLengthBmp(8192, -8193));
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::DecodeImage, RunLengthBmp(4, 3), image), 0);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.format.palette[0].blue, 0x40);
    image::ReleaseBaseImage(image);

    // Every reader applies the same budget: 8 x 8 passes at 64 pixels, not at 63.
    Bytes bgra = "BGRA";
    PutLe32(bgra, 0x08080808);
    PutLe32(bgra, 8);
    PutLe32(bgra, 8);
    bgra.append(256, '\x11');
    Bytes tga;
    PutBytes(tga, {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 8, 0, 24, 0x20});
    tga.append(192, '\x22');
    PngSpec png{8, 8, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint8_t>(64, 5), {}, {}};
    const Bytes files[] = {RunLengthBmp(8, 8), bgra, tga, EncodePng(png),
                           EncodeJpeg(8, 8, 1, std::vector<uint8_t>(64, 100))};
    const int64_t previous = image::SetImagePixelBudget(64);
    for (const Bytes& file : files) {
        image::BaseImage accepted{};
        EXPECT_EQ(RunReader(image::DecodeImage, file, accepted), 0);
        image::ReleaseBaseImage(accepted);
    }
    image::SetImagePixelBudget(63);
    for (const Bytes& file : files) {
        ExpectRefused(image::DecodeImage, file);
    }
    EXPECT_EQ(image::SetImagePixelBudget(previous), 63);
}

TEST(DecodeImage, RunLengthTgaTooShortForItsPictureRefused) {
    // Type 10, 24-bit: 32 packets of 128 pixels make exactly 64 x 64.
    Bytes head;
    PutBytes(head, {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 64, 0, 24, 0x20});
    Bytes whole = head;
    for (int i = 0; i < 32; ++i) {
        PutBytes(whole, {0xFF, 1, 2, 3});
    }
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadTgaImage, whole, image), 0);
    EXPECT_EQ(PixelAt(image, 63, 63), 0x030201u);
    image::ReleaseBaseImage(image);
    ExpectRefused(image::ReadTgaImage, whole.substr(0, whole.size() - 1));
    // 4095 x 4095 declared over eight bytes of packets.
    Bytes bomb;
    PutBytes(bomb, {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x0F, 0xFF, 0x0F, 24, 0x20});
    PutBytes(bomb, {0xFF, 1, 2, 3, 0xFF, 1, 2, 3});
    ExpectRefused(image::ReadTgaImage, bomb);
}

TEST(DecodeImage, NothingAcceptsLeavesImageUntouched) {
    ExpectRefused(image::DecodeImage, Bytes());
    ExpectRefused(image::DecodeImage, Bytes("plain text, no picture at all\r\n"));
    Bytes tga = SmallTga();
    ExpectRefused(image::DecodeImage, tga.substr(0, tga.size() - 1));
}

} // namespace
} // namespace velox::test
