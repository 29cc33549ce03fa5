#include "support/PngFile.h"

#include <png.h>

#include <cstdio>

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

} // namespace velox::test
