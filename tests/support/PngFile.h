// The tests' one PNG reader and writer (libpng) and their picture type.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velox::test {

// Pixels as 0xAARRGGBB (as written) or 0x00RRGGBB (as read back), rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    uint32_t& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    // Pixels inside [x0, x1) x [y0, y1) for which keep(pixel) holds.
    template <typename Keep> int Count(int x0, int y0, int x1, int y1, Keep keep) const {
        int n = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                n += keep(At(x, y)) ? 1 : 0;
            }
        }
        return n;
    }
};

inline Picture Filled(int width, int height, uint32_t argb) {
    return Picture{width, height, std::vector<uint32_t>(size_t(width) * size_t(height), argb)};
}

// Any PNG layout the readers must meet: packed rows as libpng expects them, a palette,
// and transparency (palette alphas, or for grey pictures the one transparent level).
struct PngSpec {
    int width;
    int height;
    int colorType;
    int bitDepth;
    std::vector<uint8_t> rows;
    std::vector<png_color> palette;
    std::vector<uint8_t> paletteAlpha;
};

// The file's bytes; empty when libpng refuses the layout.
std::string EncodePng(const PngSpec& layout);
// colorType: PNG_COLOR_TYPE_RGB, _RGB_ALPHA or _GRAY (the grey level is the red byte).
std::string EncodePng(const Picture& picture, int colorType);

// False when the file is missing or not a PNG.
bool ReadPng(const std::string& path, Picture& out);
// Writes 0xAARRGGBB pixels as an RGBA PNG; false on failure.
bool WritePng(const std::string& path, int width, int height,
              const std::vector<uint32_t>& argbPixels);

} // namespace velox::test
