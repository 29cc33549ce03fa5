#include "ImageTestFiles.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

// A smooth picture, so that a baseline JPEG of it has some substance.
std::vector<uint8_t> Gradient(int width, int height, int components) {
    std::vector<uint8_t> samples;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                samples.push_back(uint8_t((x * 7 + y * 3 + c * 60) & 0xFF));
            }
        }
    }
    return samples;
}

TEST(JpegReader, ColorMatchesTheLibraryInBlueGreenRedOrder) {
    Bytes file = EncodeJpeg(5, 9, 3, Gradient(5, 9, 3));
    WriteSeed("JpegFuzz", "color.jpg", file);
    int w, h, c;
    std::vector<uint8_t> reference = ReferenceJpegDecode(file, w, h, c);
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadJpegImage, file, image), 0);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 9);
    EXPECT_EQ(image.pitch, 15); // not rounded
    EXPECT_EQ(image.format.colorBitDepth, 24);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* ref = reference.data() + (y * w + x) * 3;
            uint32_t expected = uint32_t(ref[0]) << 16 | uint32_t(ref[1]) << 8 | ref[2];
            ASSERT_EQ(PixelAt(image, x, y), expected) << x << "," << y;
        }
    }
    image::ReleaseBaseImage(image);
}

TEST(JpegReader, GreyGivesEightBitGrey) {
    Bytes file = EncodeJpeg(7, 3, 1, Gradient(7, 3, 1));
    WriteSeed("JpegFuzz", "grey.jpg", file);
    int w, h, c;
    std::vector<uint8_t> reference = ReferenceJpegDecode(file, w, h, c);
    image::BaseImage image{};
    ASSERT_EQ(RunReader(image::ReadJpegImage, file, image), 0);
    EXPECT_EQ(image.format.bytesPerPixel, 1);
    EXPECT_EQ(image.format.palette[200].green, 200);
    EXPECT_EQ(image.pitch, 7);
    for (size_t i = 0; i < reference.size(); ++i) {
        ASSERT_EQ(image.pixels[i], reference[i]);
    }
    image::ReleaseBaseImage(image);
}

TEST(JpegReader, TruncatedFileDecodesWithTheTopIntact) {
    int width = 64;
    int height = 64;
    Bytes file = EncodeJpeg(width, height, 3, Gradient(width, height, 3));
    int w, h, c;
    std::vector<uint8_t> reference = ReferenceJpegDecode(file, w, h, c);
    Bytes cut = file.substr(0, file.size() / 2);
    image::BaseImage image{};
    LogCapture log;
    testing::internal::CaptureStderr();
    ASSERT_EQ(RunReader(image::ReadJpegImage, cut, image), 0);
    // The library's warning reaches the log, and nothing is printed beside the caller.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(log.DebugText().find("JPEG: Premature end of JPEG file"), std::string::npos);
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    // The first row of blocks lies wholly in the kept half.
    for (int x = 0; x < width; ++x) {
        const uint8_t* ref = reference.data() + x * 3;
        EXPECT_EQ(PixelAt(image, x, 0), uint32_t(ref[0]) << 16 | uint32_t(ref[1]) << 8 | ref[2]);
    }
    image::ReleaseBaseImage(image);
}

TEST(JpegReader, EmptyAndBrokenFilesAreRefused) {
    ExpectRefused(image::ReadJpegImage, Bytes());
    ExpectRefused(image::ReadJpegImage, Bytes("\xFF", 1));
    ExpectRefused(image::ReadJpegImage, Bytes("\xFF\xD8", 2));
    ExpectRefused(image::ReadJpegImage, Bytes("\x89PNG\r\n\x1A\n", 8));
    Bytes file = EncodeJpeg(16, 16, 3, Gradient(16, 16, 3));
    // Zero components in the frame header: the library gives up mid-header.
    size_t sof = file.find("\xFF\xC0", 0, 2);
    ASSERT_NE(sof, Bytes::npos);
    Bytes broken = file;
    broken[sof + 9] = 0;
    ExpectRefused(image::ReadJpegImage, broken);
    Bytes huffman = file;
    size_t dht = huffman.find("\xFF\xC4", 0, 2);
    ASSERT_NE(dht, Bytes::npos);
    for (size_t i = dht + 5; i < dht + 21; ++i) {
        huffman[i] = char(0xFF); // code counts beyond any valid table
    }
    ExpectRefused(image::ReadJpegImage, huffman);
}

TEST(JpegReader, ErrorAfterThePictureBufferExistsFreesIt) {
    Bytes file = EncodeJpeg(16, 16, 3, Gradient(16, 16, 3));
    size_t sof = file.find("\xFF\xC0", 0, 2);
    ASSERT_NE(sof, Bytes::npos);
    size_t length = size_t(uint8_t(file[sof + 2])) << 8 | uint8_t(file[sof + 3]);
    // A second frame header after the scan is fatal once the scan has been read.
    Bytes twice = file.substr(0, file.size() - 2) + file.substr(sof, length + 2) + "\xFF\xD9";
    ExpectRefused(image::ReadJpegImage, twice);
}

TEST(JpegReader, OversizeRefused) {
    Bytes file = EncodeJpeg(8, 8, 1, Gradient(8, 8, 1));
    size_t sof = file.find("\xFF\xC0", 0, 2);
    ASSERT_NE(sof, Bytes::npos);
    // Frame header: length(2) precision(1) height(2) width(2).
    file[sof + 7] = char(0x40);
    file[sof + 8] = char(0x01); // width 16385
    ExpectRefused(image::ReadJpegImage, file);
}

} // namespace
} // namespace velox::test
