// Writes 0x00RRGGBB pictures as 8-bit RGB PNG files, built for speed: every row uses
// the Up filter and one fast deflate pass compresses them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velox::platform::headless {

// Larger pictures are refused: the PNG is built in memory.
constexpr int kPngMaxSide = 16384;

// The whole PNG file; empty when the picture is refused or memory runs out.
std::vector<uint8_t> EncodePng(const uint32_t* pixels, int width, int height, int pitchBytes);

// False (and no file left behind) when the file cannot be written.
bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitchBytes);

} // namespace velox::platform::headless
