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
    for (ReaderFunction earlier : {ReadBmpImage, ReadJpegImage, ReadPngImage, ReadBgraImage}) {
        ExpectRefused(earlier, file);
    }
    Stream stream;
    ASSERT_TRUE(OpenMemoryStream(file.data(), int32_t(file.size()), stream));
    ASSERT_EQ(stream.ops->seek(stream.data, 5, 0), 0); // the dispatcher rewinds
    BaseImage image{};
    ASSERT_EQ(DecodeImage(stream, image), 0);
    CloseStream(stream);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.format.colorBitDepth, 24);
    EXPECT_EQ(PixelAt(image, 0, 0), 0x030201u);
    EXPECT_EQ(PixelAt(image, 1, 0), 0x060504u);
    ReleaseBaseImage(image);
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
        BaseImage image{};
        ASSERT_EQ(RunReader(DecodeImage, c.file, image), 0);
        EXPECT_EQ(image.format.bytesPerPixel, c.bytesPerPixel);
        ReleaseBaseImage(image);
    }
}

TEST(DecodeImage, NothingAcceptsLeavesImageUntouched) {
    ExpectRefused(DecodeImage, Bytes());
    ExpectRefused(DecodeImage, Bytes("plain text, no picture at all\r\n"));
    Bytes tga = SmallTga();
    ExpectRefused(DecodeImage, tga.substr(0, tga.size() - 1));
}

} // namespace
} // namespace velox::test
