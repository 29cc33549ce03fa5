// Internals of the FreeType + fontconfig glyph rasteriser.
#pragma once

#include "platform/GlyphRasterizer.h"

#include <cstdint>

namespace velox::platform {

// The Unicode code point of a character code (first byte low, second byte high)
// in the code page of charSet: CP949 for Hangeul, CP932 otherwise. 0 when the
// bytes are no character of that code page.
uint32_t CodePointOfCharacter(uint32_t code, int charSet);

} // namespace velox::platform
