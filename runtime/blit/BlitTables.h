// The two tables of the drawing arithmetic, built once on first use. Products of the
// form x * a / 255 come from scale; signed differences scaled by a from signedScale.
#pragma once

#include <cstdint>

namespace velox::blit {

struct BlendTables {
    uint8_t scale[256][256];       // [x][a] = floor(x * a / 255)
    int16_t signedScale[256][511]; // [a][d] = trunc(a * (d - 255) / 255)
    uint8_t widen5[32];            // 5-bit channel to 8 bits: v * 255 / 31
    uint8_t widen6[64];            // 6-bit channel to 8 bits: v * 255 / 63
};

const BlendTables& Tables();

// Floor and ceiling of a / b for b > 0.
inline int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}

} // namespace velox::blit
