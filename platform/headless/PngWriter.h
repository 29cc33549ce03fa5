// Writes 0x00RRGGBB pictures as 8-bit RGB PNG files.
#pragma once

#include <cstdint>
#include <string>

namespace velox::platform::headless {

// False (and no file left behind) when the file cannot be written.
bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitchBytes);

} // namespace velox::platform::headless
