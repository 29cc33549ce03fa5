// Decoding a 1920 x 1080 PNG and JPEG through the image decoder over a memory
// stream, side by side with plain libpng / libjpeg calls on the same bytes.
#include "file/Stream.h"
#include "image/ImageDecoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Smooth gradients with a little pseudo-random texture, so that neither codec
// meets a trivially compressible picture.
std::vector<uint8_t> MakePicture() {
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            int noise = int(seed >> 28) - 8;
            uint8_t* p = rgb.data() + (size_t(y) * kWidth + x) * 3;
            p[0] = uint8_t(std::clamp(x * 255 / kWidth + noise, 0, 255));
            p[1] = uint8_t(std::clamp(y * 255 / kHeight + noise, 0, 255));
            p[2] = uint8_t(std::clamp(((x + y) / 8) % 256 + noise, 0, 255));
        }
    }
    return rgb;
}

std::string EncodePng(const std::vector<uint8_t>& rgb) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return std::string();
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            static_cast<std::string*>(png_get_io_ptr(p))
                ->append(reinterpret_cast<char*>(data), length);
        },
        nullptr);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y) {
        png_write_row(png, rgb.data() + size_t(y) * kWidth * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string EncodeJpeg(const std::vector<uint8_t>& rgb) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(rgb.data()) + size_t(cinfo.next_scanline) * kWidth * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

const std::string& PngFile() {
    static const std::string file = EncodePng(MakePicture());
    return file;
}

const std::string& JpegFile() {
    static const std::string file = EncodeJpeg(MakePicture());
    return file;
}

void DecodeWith(benchmark::State& state, const std::string& file,
                int (*decode)(velox::file::Stream&, velox::image::BaseImage&)) {
    for (auto _ : state) {
        velox::file::Stream stream;
        velox::file::OpenMemoryStream(file.data(), int32_t(file.size()), stream);
        velox::image::BaseImage image{};
        if (decode(stream, image) != 0) {
            state.SkipWithError("decode refused");
        }
        benchmark::DoNotOptimize(image.pixels);
        velox::image::ReleaseBaseImage(image);
        velox::file::CloseStream(stream);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void VeloxPngDecodeImage(benchmark::State& state) {
    DecodeWith(state, PngFile(), velox::image::DecodeImage);
}
void VeloxPngReader(benchmark::State& state) {
    DecodeWith(state, PngFile(), velox::image::ReadPngImage);
}
void VeloxJpegDecodeImage(benchmark::State& state) {
    DecodeWith(state, JpegFile(), velox::image::DecodeImage);
}
void VeloxJpegReader(benchmark::State& state) {
    DecodeWith(state, JpegFile(), velox::image::ReadJpegImage);
}

struct MemoryInput {
    const std::string* file;
    size_t position;
};

void PlainPng(benchmark::State& state) {
    const std::string& file = PngFile();
    for (auto _ : state) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        MemoryInput input{&file, 0};
        png_set_read_fn(png, &input, [](png_structp p, png_bytep data, png_size_t length) {
            auto* in = static_cast<MemoryInput*>(png_get_io_ptr(p));
            std::memcpy(data, in->file->data() + in->position, length);
            in->position += length;
        });
        png_read_info(png, info);
        png_read_update_info(png, info);
        size_t rowBytes = png_get_rowbytes(png, info);
        auto* pixels = static_cast<uint8_t*>(std::malloc(rowBytes * kHeight));
        std::vector<png_bytep> rows(kHeight);
        for (int y = 0; y < kHeight; ++y) {
            rows[size_t(y)] = pixels + size_t(y) * rowBytes;
        }
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void PlainJpeg(benchmark::State& state) {
    const std::string& file = JpegFile();
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr error;
        cinfo.err = jpeg_std_error(&error);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(file.data()),
                     (unsigned long)file.size());
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        size_t rowBytes = size_t(cinfo.output_width) * size_t(cinfo.output_components);
        auto* pixels = static_cast<uint8_t*>(std::malloc(rowBytes * cinfo.output_height));
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels + size_t(cinfo.output_scanline) * rowBytes;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

} // namespace

BENCHMARK(PlainPng)->Unit(benchmark::kMillisecond);
BENCHMARK(VeloxPngReader)->Unit(benchmark::kMillisecond);
BENCHMARK(VeloxPngDecodeImage)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(VeloxJpegReader)->Unit(benchmark::kMillisecond);
BENCHMARK(VeloxJpegDecodeImage)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
