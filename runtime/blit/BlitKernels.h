// The row kernels of the fast blitters. The driver (BlitFast.cpp) walks the rows and
// spans of a copy and runs two stages per run of up to kChunk pixels: a fetch stage turns
// source pixels into samples (0xAARRGGBB, alpha = coverage; see Blit.h), a combine stage
// applies brightness and the blend mode to the target row. Each instruction set provides
// the kernels it speeds up; the portable set provides all of them.
#pragma once

#include "blit/Blit.h"

#include <cstdint>

namespace velox::blit {

constexpr int32_t kChunk = 256;
// Fetch kernels may write this many samples past n (whole vectors); buffers leave room.
constexpr int32_t kFetchSlack = 8;

struct CombineArgs {
    int32_t parameter;   // 0..255
    uint32_t brightness; // 0x00RRGGBB
};

// A run of an affine copy: 16.16 source position of the first pixel's centre and the
// step per pixel. Every position of the run lies inside the source.
struct AffineRun {
    int32_t u, v;
    int32_t dudx, dvdx;
    bool mirror;
};

// n samples of row sy from column sx on (mirror: columns sx, sx - 1, ...).
using FetchRowFn = void (*)(const Source& s, int32_t sx, int32_t sy, int32_t n, uint32_t* out,
                            bool mirror);
// n samples of row sy at the given columns.
using FetchColumnsFn = void (*)(const Source& s, const int32_t* xs, int32_t sy, int32_t n,
                                uint32_t* out);
// The horizontal half of bilinear sampling on row sy: n samples mixed from columns x0[i]
// and x1[i] with weights fx[i] (0..255).
using FetchBilinearRowFn = void (*)(const Source& s, const int32_t* x0, const int32_t* x1,
                                    const uint8_t* fx, int32_t sy, int32_t n, uint32_t* out);
// The vertical half: (top * (256 - fy) + bottom * fy + 128) >> 8 in each byte.
using MixRowsFn = void (*)(const uint32_t* top, const uint32_t* bottom, uint32_t fy, int32_t n,
                           uint32_t* out);
// Both halves at once for rows sy0 (top) and sy1 (bottom), without rounding the horizontal
// mixes through a buffer: the same bytes as two fetchBilinearRow and a mixRows.
using FetchBilinearRowsFn = void (*)(const Source& s, const int32_t* x0, const int32_t* x1,
                                     const uint8_t* fx, int32_t sy0, int32_t sy1, uint32_t fy,
                                     int32_t n, uint32_t* out);
using FetchAffineFn = void (*)(const Source& s, const AffineRun& run, int32_t n, uint32_t* out);
// Draws n samples onto a target row starting at dst.
using CombineFn = void (*)(uint8_t* dst, const uint32_t* src, int32_t n, const CombineArgs& args);
// 4-byte source pixels onto a 32-bit target row, opaque, mode 0, brightness white.
using CopyFn = void (*)(uint8_t* dst, const uint8_t* src, int32_t n);
using FillFn = void (*)(uint8_t* dst, uint32_t value, int32_t n);

struct Kernels {
    // Fetches of Rgb32 and Argb32 sources (the portable set takes every kind).
    FetchRowFn fetchRow;
    FetchColumnsFn fetchColumns;
    FetchBilinearRowFn fetchBilinearRow;
    FetchAffineFn fetchAffineNearest;
    FetchAffineFn fetchAffineBilinear;
    // Combines onto Rgb32 and Argb32 targets: [mode][brightness not white][opaque samples].
    CombineFn combine32[5][2][2];
    MixRowsFn mixRows;
    FetchBilinearRowsFn fetchBilinearRows; // nullptr: fetchBilinearRow twice and mixRows
    CopyFn copy32;
    FillFn fill32;
};

const Kernels& PortableKernels();
// Combines onto 16-bit and Argb565 targets (portable only).
CombineFn PortableCombine(PixelKind target, int mode, bool bright, bool opaque);
// nullptr when this build has no such set.
const Kernels* Sse2Kernels();
const Kernels* Avx2Kernels();

} // namespace velox::blit
