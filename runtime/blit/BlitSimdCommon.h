// Dispatch helpers shared by the SIMD kernel sets: pick the template instance of a fetch
// kernel for a source (Rgb32 or Argb32, keyed or not, mirrored or not), and fill a
// combine table with every mode, brightness and opacity instance.
#pragma once

#include "blit/BlitKernels.h"

#define VELOX_BY_SOURCE(s, mirror, F, ARGS)                                                        \
    do {                                                                                           \
        const bool rgb_ = (s).kind == PixelKind::Rgb32;                                            \
        if (rgb_ && (s).keyed) {                                                                   \
            (mirror) ? F<true, true, true> ARGS : F<true, true, false> ARGS;                       \
        } else if (rgb_) {                                                                         \
            (mirror) ? F<true, false, true> ARGS : F<true, false, false> ARGS;                     \
        } else if ((s).keyed) {                                                                    \
            (mirror) ? F<false, true, true> ARGS : F<false, true, false> ARGS;                     \
        } else {                                                                                   \
            (mirror) ? F<false, false, true> ARGS : F<false, false, false> ARGS;                   \
        }                                                                                          \
    } while (0)

#define VELOX_BY_SOURCE_NO_MIRROR(s, F, ARGS)                                                      \
    do {                                                                                           \
        const bool rgb_ = (s).kind == PixelKind::Rgb32;                                            \
        if (rgb_) {                                                                                \
            (s).keyed ? F<true, true> ARGS : F<true, false> ARGS;                                  \
        } else {                                                                                   \
            (s).keyed ? F<false, true> ARGS : F<false, false> ARGS;                                \
        }                                                                                          \
    } while (0)

#define VELOX_COMBINE_MODE_(F, m)                                                                  \
    table[m][0][0] = F<m, false, false>;                                                           \
    table[m][0][1] = F<m, false, true>;                                                            \
    table[m][1][0] = F<m, true, false>;                                                            \
    table[m][1][1] = F<m, true, true>

#define VELOX_FILL_COMBINE_TABLE(target, F)                                                        \
    do {                                                                                           \
        auto& table = (target);                                                                    \
        VELOX_COMBINE_MODE_(F, 0);                                                                 \
        VELOX_COMBINE_MODE_(F, 1);                                                                 \
        VELOX_COMBINE_MODE_(F, 2);                                                                 \
        VELOX_COMBINE_MODE_(F, 3);                                                                 \
        VELOX_COMBINE_MODE_(F, 4);                                                                 \
    } while (0)
