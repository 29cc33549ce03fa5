#include "support/PngFile.h"

#include <cstdio>
#include <fstream>

namespace velox::test {

bool ReadPng(const std::string& path, Picture& out) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    bool ok = png_image_begin_read_from_stdio(&image, file) != 0;
    std::vector<uint8_t> rgb;
    if (ok) {
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        ok = png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
    }
    std::fclose(file);
    if (!ok) {
        png_image_free(&image);
        return false;
    }
    out.width = int(image.width);
    out.height = int(image.height);
    out.pixels.resize(size_t(out.width) * size_t(out.height));
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        out.pixels[i] = uint32_t(rgb[i * 3]) << 16 | uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
    }
    return true;
}

std::string EncodePng(const PngSpec& layout) {
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
    png_set_IHDR(png, info, png_uint_32(layout.width), png_uint_32(layout.height), layout.bitDepth,
                 layout.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty()) {
        png_set_PLTE(png, info, layout.palette.data(), int(layout.palette.size()));
    }
    if (!layout.paletteAlpha.empty() && layout.colorType == PNG_COLOR_TYPE_GRAY) {
        png_color_16 key{}; // a grey picture's transparency chunk names one grey level
        key.gray = layout.paletteAlpha[0];
        png_set_tRNS(png, info, nullptr, 0, &key);
    } else if (!layout.paletteAlpha.empty()) {
        png_set_tRNS(png, info, layout.paletteAlpha.data(), int(layout.paletteAlpha.size()),
                     nullptr);
    }
    png_write_info(png, info);
    const size_t rowBytes = layout.rows.size() / size_t(layout.height);
    for (int y = 0; y < layout.height; ++y) {
        png_write_row(png, layout.rows.data() + size_t(y) * rowBytes);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string EncodePng(const Picture& picture, int colorType) {
    PngSpec layout{picture.width, picture.height, colorType, 8, {}, {}, {}};
    for (uint32_t p : picture.pixels) {
        layout.rows.push_back(uint8_t(p >> 16));
        if (colorType != PNG_COLOR_TYPE_GRAY) {
            layout.rows.push_back(uint8_t(p >> 8));
            layout.rows.push_back(uint8_t(p));
        }
        if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
            layout.rows.push_back(uint8_t(p >> 24));
        }
    }
    return EncodePng(layout);
}

bool WritePng(const std::string& path, int width, int height,
              const std::vector<uint32_t>& argbPixels) {
    const std::string bytes =
        EncodePng(Picture{width, height, argbPixels}, PNG_COLOR_TYPE_RGB_ALPHA);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return !bytes.empty() && bool(out.flush());
}

} // namespace velox::test
