// Image files for the tests, written byte by byte or with the libraries'
// encoders, and a way to run a decoder over them from memory.
#pragma once

#include "core/MemoryTracker.h"
#include "file/Stream.h"
#include "image/ImageDecoder.h"
#include "support/PngFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace velox::test {

using Bytes = std::string;

inline void PutLe16(Bytes& b, uint32_t v) {
    b.push_back(char(v & 0xFF));
    b.push_back(char(v >> 8 & 0xFF));
}
inline void PutLe32(Bytes& b, uint32_t v) {
    PutLe16(b, v & 0xFFFF);
    PutLe16(b, v >> 16);
}
inline void PutBytes(Bytes& b, std::initializer_list<int> values) {
    for (int v : values) {
        b.push_back(char(v));
    }
}

// The test programs run in <build>/tests; the fuzz targets start from these files.
inline void WriteSeed(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::path dir = std::filesystem::path("..") / "fuzz-corpus" / target;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

using ReaderFunction = int (*)(file::Stream&, image::BaseImage&);

// A record full of a marker pattern, to see that a refusing reader leaves it alone.
inline image::BaseImage MarkedImage() {
    image::BaseImage image;
    std::memset(&image, 0x5A, sizeof image);
    return image;
}
inline bool StillMarked(const image::BaseImage& image) {
    image::BaseImage marked = MarkedImage();
    return std::memcmp(&image, &marked, sizeof image) == 0;
}

// Runs a reader (or the dispatcher) over bytes in memory.
inline int RunReader(ReaderFunction reader, const Bytes& bytes, image::BaseImage& image) {
    file::Stream stream;
    if (!file::OpenMemoryStream(bytes.data(), int32_t(bytes.size()), stream)) {
        return -2;
    }
    int result = reader(stream, image);
    file::CloseStream(stream);
    return result;
}

// Checks that a reader refuses the bytes, frees what it took and leaves the image alone.
inline void ExpectRefused(ReaderFunction reader, const Bytes& bytes) {
    auto before = core::mem_detail::CurrentTotals();
    image::BaseImage image = MarkedImage();
    EXPECT_NE(RunReader(reader, bytes, image), 0);
    EXPECT_TRUE(StillMarked(image));
    auto after = core::mem_detail::CurrentTotals();
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.totalSize, before.totalSize);
}

inline uint32_t PixelAt(const image::BaseImage& image, int x, int y) {
    const uint8_t* p = image.pixels + int64_t(y) * image.pitch + x * image.format.bytesPerPixel;
    uint32_t v = 0;
    for (int i = 0; i < image.format.bytesPerPixel; ++i) {
        v |= uint32_t(p[i]) << (8 * i);
    }
    return v;
}

// Encodes interleaved samples (1 or 3 components, red first) as a baseline JPEG.
inline Bytes EncodeJpeg(int width, int height, int components, const std::vector<uint8_t>& samples,
                        int quality = 90) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(samples.data()) +
                       size_t(cinfo.next_scanline) * size_t(width) * size_t(components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(reinterpret_cast<char*>(buffer), size);
    free(buffer);
    return out;
}

// The library's own decode of a JPEG held in memory: samples in its order.
inline std::vector<uint8_t> ReferenceJpegDecode(const Bytes& file, int& width, int& height,
                                                int& components) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(file.data()),
                 (unsigned long)file.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    width = int(cinfo.output_width);
    height = int(cinfo.output_height);
    components = cinfo.output_components;
    std::vector<uint8_t> out(size_t(width) * size_t(height) * size_t(components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + size_t(cinfo.output_scanline) * size_t(width) * components;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

} // namespace velox::test
