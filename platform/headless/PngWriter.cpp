#include "platform/headless/PngWriter.h"

#include <csetjmp>
#include <cstdio>
#include <png.h>
#include <vector>

namespace velox::platform::headless {
namespace {

// libpng reports errors by longjmp; nothing with a destructor may live across setjmp
// here, so the row buffer is owned by the caller.
bool WriteRows(FILE* file, const uint32_t* pixels, int width, int height, int pitchBytes,
               std::vector<uint8_t>& row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const auto* base = reinterpret_cast<const uint8_t*>(pixels);
    for (int y = 0; y < height; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(base + size_t(y) * size_t(pitchBytes));
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3 + 0] = uint8_t(src[x] >> 16);
            row[size_t(x) * 3 + 1] = uint8_t(src[x] >> 8);
            row[size_t(x) * 3 + 2] = uint8_t(src[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitchBytes) {
    if (!pixels || width <= 0 || height <= 0 || pitchBytes < width * 4) {
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    std::vector<uint8_t> row(size_t(width) * 3);
    bool ok = WriteRows(file, pixels, width, height, pitchBytes, row);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::remove(path.c_str());
    }
    return ok;
}

} // namespace velox::platform::headless
