// Reads a PNG the player dumped, with libpng, as 0xRRGGBB pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velox::test {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB, rows top to bottom

    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
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

// False when the file is missing or not a PNG.
bool ReadPng(const std::string& path, Picture& out);
// Writes 0xAARRGGBB pixels as an RGBA PNG; false on failure.
bool WritePng(const std::string& path, int width, int height,
              const std::vector<uint32_t>& argbPixels);

} // namespace velox::test
