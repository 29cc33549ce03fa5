// AVX2 kernels, compiled for AVX2 by target attribute and chosen at run time when the
// processor has it: eight pixels per step, source taps fetched with gathers. Tails
// shorter than a vector run through the portable kernels.
#include "blit/BlitKernels.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))

#include "blit/BlitSimdCommon.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

// Everything below up to the matching pop is compiled for AVX2. It has internal linkage,
// so no inline function compiled here can stand in for a baseline one elsewhere.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace velox::blit {
namespace {

inline __m256i Div255(__m256i t) {
    const __m256i one = _mm256_set1_epi16(1);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(t, one), _mm256_srli_epi16(t, 8)),
                             8);
}

// A weight per pixel (0..256 in 32-bit lanes) spread over the 16-bit channel lanes of
// the low (pixels 0, 1 | 4, 5) and high (2, 3 | 6, 7) halves that unpacking bytes gives.
inline void SpreadWeights(__m256i w32, __m256i& lo, __m256i& hi) {
    lo = _mm256_shuffle_epi8(w32, _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5,
                                                   0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5));
    hi = _mm256_shuffle_epi8(w32, _mm256_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13,
                                                   12, 13, 8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13,
                                                   12, 13, 12, 13));
}

// The same for eight byte weights (0..255) at w.
inline void SpreadByteWeights(const uint8_t* w, __m256i& lo, __m256i& hi) {
    const __m256i v = _mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w)));
    const char z = -128; // a zero byte
    lo = _mm256_shuffle_epi8(v, _mm256_setr_epi8(0, z, 0, z, 0, z, 0, z, 1, z, 1, z, 1, z, 1, z, 4,
                                                 z, 4, z, 4, z, 4, z, 5, z, 5, z, 5, z, 5, z));
    hi = _mm256_shuffle_epi8(v, _mm256_setr_epi8(2, z, 2, z, 2, z, 2, z, 3, z, 3, z, 3, z, 3, z, 6,
                                                 z, 6, z, 6, z, 6, z, 7, z, 7, z, 7, z, 7, z));
}

// (a * (256 - f) + b * f + 128) >> 8 per 16-bit lane, a and b 0..255, f 0..256, as
// a + floor(((b - a) * f + 128) / 256): the rounding multiply-high of (b - a) * 128 by f
// is exactly that floor, so one product serves where the plain form needs two.
inline __m256i Lerp16(__m256i a, __m256i b, __m256i f) {
    return _mm256_add_epi16(a,
                            _mm256_mulhrs_epi16(_mm256_slli_epi16(_mm256_sub_epi16(b, a), 7), f));
}

inline __m256i AlphaMask() {
    return _mm256_set1_epi32(int32_t(0xFF000000u));
}

template <bool Opaque32, bool Keyed> inline __m256i FixSamples(__m256i v, __m256i key) {
    if constexpr (Opaque32) {
        v = _mm256_or_si256(v, AlphaMask());
    }
    if constexpr (Keyed) {
        const __m256i color = _mm256_and_si256(v, _mm256_set1_epi32(0x00FFFFFF));
        const __m256i hit = _mm256_cmpeq_epi32(color, key);
        v = _mm256_andnot_si256(_mm256_and_si256(hit, AlphaMask()), v);
    }
    return v;
}

// Eight 2 x 2 neighbourhoods mixed with weights already spread to 16-bit lanes; the
// horizontal mixes are rounded to 0..255 in their lanes before the vertical one.
inline __m256i Mix2x2(__m256i p00, __m256i p01, __m256i p10, __m256i p11, __m256i fxLo,
                      __m256i fxHi, __m256i fyLo, __m256i fyHi) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i topLo =
        Lerp16(_mm256_unpacklo_epi8(p00, zero), _mm256_unpacklo_epi8(p01, zero), fxLo);
    const __m256i topHi =
        Lerp16(_mm256_unpackhi_epi8(p00, zero), _mm256_unpackhi_epi8(p01, zero), fxHi);
    const __m256i botLo =
        Lerp16(_mm256_unpacklo_epi8(p10, zero), _mm256_unpacklo_epi8(p11, zero), fxLo);
    const __m256i botHi =
        Lerp16(_mm256_unpackhi_epi8(p10, zero), _mm256_unpackhi_epi8(p11, zero), fxHi);
    return _mm256_packus_epi16(Lerp16(topLo, botLo, fyLo), Lerp16(topHi, botHi, fyHi));
}

inline __m256i Bilinear8(__m256i p00, __m256i p01, __m256i p10, __m256i p11, __m256i fx,
                         __m256i fy) {
    __m256i fxLo, fxHi, fyLo, fyHi;
    SpreadWeights(fx, fxLo, fxHi);
    SpreadWeights(fy, fyLo, fyHi);
    return Mix2x2(p00, p01, p10, p11, fxLo, fxHi, fyLo, fyHi);
}

// (a * (256 - f) + b * f + 128) >> 8 in each byte of eight pixels; f per pixel (0..256),
// spread as SpreadWeights does.
inline __m256i Mix8(__m256i a, __m256i b, __m256i fLo, __m256i fHi) {
    const __m256i zero = _mm256_setzero_si256();
    return _mm256_packus_epi16(
        Lerp16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), fLo),
        Lerp16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), fHi));
}

inline __m256i Gather(const uint8_t* base, __m256i byteOffsets) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), byteOffsets, 1);
}

inline __m256i LaneSteps(int32_t step) {
    return _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(step));
}

template <bool Opaque32, bool Keyed, bool Mirror>
void FetchRowT(const Source& s, int32_t sx, int32_t sy, int32_t n, uint32_t* out) {
    const uint8_t* row = s.pixels + int64_t(sy) * s.pitch;
    const __m256i key = _mm256_set1_epi32(int32_t(s.key));
    const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i v;
        if constexpr (Mirror) {
            v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 4 * int64_t(sx - i - 7)));
            v = _mm256_permutevar8x32_epi32(v, reverse);
        } else {
            v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 4 * int64_t(sx + i)));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            FixSamples<Opaque32, Keyed>(v, key));
    }
    if (i < n) {
        PortableKernels().fetchRow(s, Mirror ? sx - i : sx + i, sy, n - i, out + i, Mirror);
    }
}

// Eight taps of a row taken from the 16 pixels from first on, idx = column - first, by two
// loads and two lane permutes: a gather costs more than that on many processors, and
// stretched copies (up to a halving) find their columns of eight pixels this close.
inline __m256i WindowTaps(const int* window, __m256i idx) {
    const __m256i low = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window)), idx);
    const __m256i high = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window + 8)), idx);
    return _mm256_blendv_epi8(low, high, _mm256_cmpgt_epi32(idx, _mm256_set1_epi32(7)));
}

// True when every lane of idx lies within 0..15.
inline bool InWindow(__m256i idx) {
    return _mm256_testz_si256(idx, _mm256_set1_epi32(~15)) != 0;
}

template <bool Opaque32, bool Keyed>
void FetchColumnsT(const Source& s, const int32_t* xs, int32_t sy, int32_t n, uint32_t* out) {
    const int* row = reinterpret_cast<const int*>(s.pixels + int64_t(sy) * s.pitch);
    const __m256i key = _mm256_set1_epi32(int32_t(s.key));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xs + i));
        const int32_t first = std::min(xs[i], xs[i + 7]);
        const __m256i idx = _mm256_sub_epi32(x, _mm256_set1_epi32(first));
        const __m256i v = first <= s.width - 16 && InWindow(idx)
                              ? WindowTaps(row + first, idx)
                              : _mm256_i32gather_epi32(row, x, 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            FixSamples<Opaque32, Keyed>(v, key));
    }
    if (i < n) {
        PortableKernels().fetchColumns(s, xs + i, sy, n - i, out + i);
    }
}

template <bool Opaque32, bool Keyed>
void FetchBilinearRowT(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                       int32_t sy, int32_t n, uint32_t* out) {
    const int* row = reinterpret_cast<const int*>(s.pixels + int64_t(sy) * s.pitch);
    const __m256i key = _mm256_set1_epi32(int32_t(s.key));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x0 + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x1 + i));
        __m256i fLo, fHi;
        SpreadByteWeights(fx + i, fLo, fHi);
        const int32_t first = std::min(x0[i], x0[i + 7]);
        const __m256i start = _mm256_set1_epi32(first);
        const __m256i ia = _mm256_sub_epi32(a, start), ib = _mm256_sub_epi32(b, start);
        __m256i left, right;
        if (first <= s.width - 16 && InWindow(_mm256_or_si256(ia, ib))) {
            left = WindowTaps(row + first, ia);
            right = WindowTaps(row + first, ib);
        } else {
            left = _mm256_i32gather_epi32(row, a, 4);
            right = _mm256_i32gather_epi32(row, b, 4);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            Mix8(FixSamples<Opaque32, Keyed>(left, key),
                                 FixSamples<Opaque32, Keyed>(right, key), fLo, fHi));
    }
    if (i < n) {
        PortableKernels().fetchBilinearRow(s, x0 + i, x1 + i, fx + i, sy, n - i, out + i);
    }
}

template <bool Opaque32, bool Keyed>
void FetchBilinearRowsT(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                        int32_t sy0, int32_t sy1, uint32_t fy, int32_t n, uint32_t* out) {
    const int* top = reinterpret_cast<const int*>(s.pixels + int64_t(sy0) * s.pitch);
    const int* bottom = reinterpret_cast<const int*>(s.pixels + int64_t(sy1) * s.pitch);
    const __m256i key = _mm256_set1_epi32(int32_t(s.key));
    const __m256i fyv = _mm256_set1_epi16(int16_t(fy));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x0 + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x1 + i));
        const int32_t first = std::min(x0[i], x0[i + 7]);
        const __m256i start = _mm256_set1_epi32(first);
        const __m256i ia = _mm256_sub_epi32(a, start), ib = _mm256_sub_epi32(b, start);
        __m256i p00, p01, p10, p11;
        if (first <= s.width - 16 && InWindow(_mm256_or_si256(ia, ib))) {
            p00 = WindowTaps(top + first, ia);
            p01 = WindowTaps(top + first, ib);
            p10 = WindowTaps(bottom + first, ia);
            p11 = WindowTaps(bottom + first, ib);
        } else {
            p00 = _mm256_i32gather_epi32(top, a, 4);
            p01 = _mm256_i32gather_epi32(top, b, 4);
            p10 = _mm256_i32gather_epi32(bottom, a, 4);
            p11 = _mm256_i32gather_epi32(bottom, b, 4);
        }
        p00 = FixSamples<Opaque32, Keyed>(p00, key);
        p01 = FixSamples<Opaque32, Keyed>(p01, key);
        p10 = FixSamples<Opaque32, Keyed>(p10, key);
        p11 = FixSamples<Opaque32, Keyed>(p11, key);
        __m256i fLo, fHi;
        SpreadByteWeights(fx + i, fLo, fHi);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            Mix2x2(p00, p01, p10, p11, fLo, fHi, fyv, fyv));
    }
    if (i < n) {
        alignas(32) uint32_t upper[8 + kFetchSlack], lower[8 + kFetchSlack];
        const Kernels& portable = PortableKernels();
        portable.fetchBilinearRow(s, x0 + i, x1 + i, fx + i, sy0, n - i, upper);
        portable.fetchBilinearRow(s, x0 + i, x1 + i, fx + i, sy1, n - i, lower);
        portable.mixRows(upper, lower, fy, n - i, out + i);
    }
}

void MixRows(const uint32_t* top, const uint32_t* bottom, uint32_t fy, int32_t n, uint32_t* out) {
    const __m256i f = _mm256_set1_epi16(int16_t(fy));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            Mix8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + i)),
                                 _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + i)),
                                 f, f));
    }
    if (i < n) {
        PortableKernels().mixRows(top + i, bottom + i, fy, n - i, out + i);
    }
}

// Whole vectors, the last one running up to 7 positions past n (kFetchSlack): those lanes
// may leave the source, so every tap is clamped into it; inside the run this changes nothing.
template <bool Opaque32, bool Keyed, bool Mirror>
void FetchAffineNearestT(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    const __m256i key = _mm256_set1_epi32(int32_t(s.key));
    const __m256i pitch = _mm256_set1_epi32(s.pitch);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lastX = _mm256_set1_epi32(s.width - 1), lastY = _mm256_set1_epi32(s.height - 1);
    __m256i u = _mm256_add_epi32(_mm256_set1_epi32(run.u), LaneSteps(run.dudx));
    __m256i v = _mm256_add_epi32(_mm256_set1_epi32(run.v), LaneSteps(run.dvdx));
    const __m256i du = _mm256_set1_epi32(run.dudx * 8), dv = _mm256_set1_epi32(run.dvdx * 8);
    for (int32_t i = 0; i < n; i += 8) {
        __m256i x = _mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(u, 16), zero), lastX);
        const __m256i y = _mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(v, 16), zero), lastY);
        if constexpr (Mirror) {
            x = _mm256_sub_epi32(lastX, x);
        }
        const __m256i offsets =
            _mm256_add_epi32(_mm256_mullo_epi32(y, pitch), _mm256_slli_epi32(x, 2));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            FixSamples<Opaque32, Keyed>(Gather(s.pixels, offsets), key));
        u = _mm256_add_epi32(u, du);
        v = _mm256_add_epi32(v, dv);
    }
}

// The taps at byte offsets and the pixel right of each, read as pairs by one 64-bit load
// per pixel (faster here than 64-bit gathers), then split into left and right taps.
inline void GatherPairs(const uint8_t* base, __m256i offsets, __m256i& left, __m256i& right) {
    // Offsets are never negative: as unsigned they widen to addresses at no cost.
    alignas(32) uint32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), offsets);
    auto pair = [base](uint32_t offset) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + offset));
    };
    // Pixels 0, 1 | 4, 5 in lo and 2, 3 | 6, 7 in hi, so that the in-lane shuffles leave
    // the taps in pixel order.
    const __m256 lo =
        _mm256_castsi256_ps(_mm256_setr_m128i(_mm_unpacklo_epi64(pair(at[0]), pair(at[1])),
                                              _mm_unpacklo_epi64(pair(at[4]), pair(at[5]))));
    const __m256 hi =
        _mm256_castsi256_ps(_mm256_setr_m128i(_mm_unpacklo_epi64(pair(at[2]), pair(at[3])),
                                              _mm_unpacklo_epi64(pair(at[6]), pair(at[7]))));
    left = _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, 0x88));
    right = _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, 0xDD));
}

template <bool Opaque32, bool Keyed, bool Mirror>
void FetchAffineBilinearT(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    if (s.width < 2 || s.height < 2) {
        PortableKernels().fetchAffineBilinear(s, run, n, out);
        return;
    }
    const __m256i key = _mm256_set1_epi32(int32_t(s.key));
    const __m256i pitch = _mm256_set1_epi32(s.pitch);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i maxU = _mm256_set1_epi32((s.width - 1) << 16);
    const __m256i maxV = _mm256_set1_epi32((s.height - 1) << 16);
    const __m256i lastX = _mm256_set1_epi32(s.width - 1), lastY = _mm256_set1_epi32(s.height - 1);
    const __m256i half = _mm256_set1_epi32(32768);
    const __m256i low8 = _mm256_set1_epi32(255), full = _mm256_set1_epi32(256);
    __m256i u = _mm256_add_epi32(_mm256_set1_epi32(run.u), LaneSteps(run.dudx));
    __m256i v = _mm256_add_epi32(_mm256_set1_epi32(run.v), LaneSteps(run.dvdx));
    const __m256i du = _mm256_set1_epi32(run.dudx * 8), dv = _mm256_set1_epi32(run.dvdx * 8);
    // Whole vectors, as the nearest fetch: the taps are clamped into the source anyway.
    for (int32_t i = 0; i < n; i += 8) {
        __m256i bu = _mm256_min_epi32(_mm256_max_epi32(_mm256_sub_epi32(u, half), zero), maxU);
        const __m256i bv =
            _mm256_min_epi32(_mm256_max_epi32(_mm256_sub_epi32(v, half), zero), maxV);
        if constexpr (Mirror) {
            bu = _mm256_sub_epi32(maxU, bu);
        }
        __m256i x0 = _mm256_srai_epi32(bu, 16);
        __m256i fx = _mm256_and_si256(_mm256_srli_epi32(bu, 8), low8);
        // On the last column (weight 0) take the pair to its left at full weight instead:
        // the same sample, without reading past the row.
        const __m256i last = _mm256_cmpeq_epi32(x0, lastX);
        x0 = _mm256_add_epi32(x0, last);
        fx = _mm256_or_si256(fx, _mm256_and_si256(last, full));
        // Likewise on the last row: the rows above at full weight, so that the bottom taps
        // always lie one pitch below the top ones.
        __m256i y0 = _mm256_srai_epi32(bv, 16);
        __m256i fy = _mm256_and_si256(_mm256_srli_epi32(bv, 8), low8);
        const __m256i bottom = _mm256_cmpeq_epi32(y0, lastY);
        y0 = _mm256_add_epi32(y0, bottom);
        fy = _mm256_or_si256(fy, _mm256_and_si256(bottom, full));
        __m256i p00, p01, p10, p11;
        const __m256i offsets =
            _mm256_add_epi32(_mm256_mullo_epi32(y0, pitch), _mm256_slli_epi32(x0, 2));
        GatherPairs(s.pixels, offsets, p00, p01);
        GatherPairs(s.pixels + s.pitch, offsets, p10, p11);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            Bilinear8(FixSamples<Opaque32, Keyed>(p00, key),
                                      FixSamples<Opaque32, Keyed>(p01, key),
                                      FixSamples<Opaque32, Keyed>(p10, key),
                                      FixSamples<Opaque32, Keyed>(p11, key), fx, fy));
        u = _mm256_add_epi32(u, du);
        v = _mm256_add_epi32(v, dv);
    }
}

// d + trunc(a * (x - d) / 255) per 16-bit lane; exact x where a = 255.
inline __m256i Toward(__m256i x, __m256i d, __m256i a) {
    const __m256i up = Div255(_mm256_mullo_epi16(a, _mm256_subs_epu16(x, d)));
    const __m256i down = Div255(_mm256_mullo_epi16(a, _mm256_subs_epu16(d, x)));
    return _mm256_sub_epi16(_mm256_add_epi16(d, up), down);
}

// The weight each sample brings to the blend, in 32-bit lanes: its alpha for modes 0 and
// 4, the parameter scaled by it for modes 2 and 3, and twice the blend weight for mode 1.
// Worked out once per pixel here rather than once per channel after unpacking.
template <int Mode> inline __m256i SampleWeights(__m256i s, __m256i parameter32) {
    const __m256i a = _mm256_srli_epi32(s, 24);
    if constexpr (Mode == 0 || Mode == 4) {
        return a;
    } else {
        // Products below 65536 in the low halves; the high halves stay 0 throughout.
        const __m256i q = Div255(_mm256_mullo_epi16(parameter32, a));
        if constexpr (Mode == 1) {
            const __m256i w = _mm256_sub_epi32(q, _mm256_cmpeq_epi32(q, _mm256_set1_epi32(255)));
            return _mm256_add_epi32(w, w);
        } else {
            return q;
        }
    }
}

// The weight of opaque samples (alpha 255), the same in every 16-bit lane.
template <int Mode> inline __m256i OpaqueWeight(int32_t parameter) {
    if constexpr (Mode == 1) {
        return _mm256_set1_epi16(int16_t(2 * (parameter == 255 ? 256 : parameter)));
    } else {
        return _mm256_set1_epi16(int16_t(Mode == 0 || Mode == 4 ? 255 : parameter));
    }
}

// One half (pixels 0, 1, 4, 5 or 2, 3, 6, 7) of eight samples in 16-bit lanes, with the
// weights of SampleWeights spread over the channels.
template <int Mode, bool Bright, bool Opaque>
inline __m256i CombineHalf(__m256i s, __m256i d, __m256i bright, __m256i weight) {
    if constexpr (Bright) {
        s = Div255(_mm256_mullo_epi16(s, bright));
    }
    if constexpr (Mode == 0) {
        return Opaque ? s : Toward(s, d, weight);
    } else if constexpr (Mode == 4) {
        const __m256i m = _mm256_srli_epi16(_mm256_mullo_epi16(s, d), 8);
        return Opaque ? m : Toward(m, d, weight);
    } else if constexpr (Mode == 1) {
        // (w * s + (256 - w) * d) >> 8 as d + floor((s - d) * w / 256), by one
        // multiply-high of (s - d) * 128 by 2w.
        return _mm256_add_epi16(
            d, _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(s, d), 7), weight));
    } else {
        const __m256i x = Div255(_mm256_mullo_epi16(s, weight));
        return Mode == 2 ? _mm256_add_epi16(d, x) : _mm256_subs_epu16(d, x);
    }
}

template <int Mode, bool Bright, bool Opaque>
inline __m256i Combine8(__m256i s, __m256i d, __m256i bright, __m256i parameter32,
                        __m256i opaqueWeight) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i result;
    if constexpr (Opaque && Mode == 0 && !Bright) {
        result = s;
    } else {
        __m256i weightLo = opaqueWeight, weightHi = opaqueWeight;
        if constexpr (!Opaque) {
            SpreadWeights(SampleWeights<Mode>(s, parameter32), weightLo, weightHi);
        }
        result = _mm256_packus_epi16(
            CombineHalf<Mode, Bright, Opaque>(_mm256_unpacklo_epi8(s, zero),
                                              _mm256_unpacklo_epi8(d, zero), bright, weightLo),
            CombineHalf<Mode, Bright, Opaque>(_mm256_unpackhi_epi8(s, zero),
                                              _mm256_unpackhi_epi8(d, zero), bright, weightHi));
    }
    result = _mm256_or_si256(result, AlphaMask());
    if constexpr (!Opaque) {
        // Uncovered samples leave the target as it was.
        const __m256i skip = _mm256_cmpeq_epi32(_mm256_and_si256(s, AlphaMask()), zero);
        result = _mm256_blendv_epi8(result, d, skip);
    }
    return result;
}

template <int Mode, bool Bright, bool Opaque>
void CombineT(uint8_t* dst, const uint32_t* src, int32_t n, const CombineArgs& args) {
    const int16_t br = int16_t(args.brightness >> 16 & 255);
    const int16_t bg = int16_t(args.brightness >> 8 & 255);
    const int16_t bb = int16_t(args.brightness & 255);
    const __m256i bright =
        _mm256_setr_epi16(bb, bg, br, 255, bb, bg, br, 255, bb, bg, br, 255, bb, bg, br, 255);
    const __m256i parameter32 = _mm256_set1_epi32(args.parameter);
    const __m256i opaqueWeight = OpaqueWeight<Mode>(args.parameter);
    const __m256i zero = _mm256_setzero_si256();
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        if constexpr (!Opaque) {
            const __m256i skip = _mm256_cmpeq_epi32(_mm256_and_si256(s, AlphaMask()), zero);
            if (_mm256_movemask_epi8(skip) == -1) {
                continue; // eight uncovered samples
            }
        }
        __m256i* p = reinterpret_cast<__m256i*>(dst + 4 * int64_t(i));
        _mm256_storeu_si256(p, Combine8<Mode, Bright, Opaque>(s, _mm256_loadu_si256(p), bright,
                                                              parameter32, opaqueWeight));
    }
    if (i < n) {
        // The last few pixels through masked loads and stores: nothing past n is touched.
        const __m256i mask =
            _mm256_cmpgt_epi32(_mm256_set1_epi32(n - i), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        int* p = reinterpret_cast<int*>(dst + 4 * int64_t(i));
        const __m256i s = _mm256_maskload_epi32(reinterpret_cast<const int*>(src + i), mask);
        _mm256_maskstore_epi32(p, mask,
                               Combine8<Mode, Bright, Opaque>(s, _mm256_maskload_epi32(p, mask),
                                                              bright, parameter32, opaqueWeight));
    }
}

void Copy32(uint8_t* dst, const uint8_t* src, int32_t n) {
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i),
                            _mm256_or_si256(a, AlphaMask()));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i + 32),
                            _mm256_or_si256(b, AlphaMask()));
    }
    PortableKernels().copy32(dst + 4 * i, src + 4 * i, n - i);
}

void Fill32(uint8_t* dst, uint32_t value, int32_t n) {
    const __m256i v = _mm256_set1_epi32(int32_t(value));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i), v);
    }
    PortableKernels().fill32(dst + 4 * i, value, n - i);
}

void FetchRow(const Source& s, int32_t sx, int32_t sy, int32_t n, uint32_t* out, bool mirror) {
    VELOX_BY_SOURCE(s, mirror, FetchRowT, (s, sx, sy, n, out));
}
void FetchColumns(const Source& s, const int32_t* xs, int32_t sy, int32_t n, uint32_t* out) {
    VELOX_BY_SOURCE_NO_MIRROR(s, FetchColumnsT, (s, xs, sy, n, out));
}
void FetchBilinearRow(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                      int32_t sy, int32_t n, uint32_t* out) {
    VELOX_BY_SOURCE_NO_MIRROR(s, FetchBilinearRowT, (s, x0, x1, fx, sy, n, out));
}
void FetchBilinearRows(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                       int32_t sy0, int32_t sy1, uint32_t fy, int32_t n, uint32_t* out) {
    VELOX_BY_SOURCE_NO_MIRROR(s, FetchBilinearRowsT, (s, x0, x1, fx, sy0, sy1, fy, n, out));
}
void FetchAffineNearest(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    VELOX_BY_SOURCE(s, run.mirror, FetchAffineNearestT, (s, run, n, out));
}
void FetchAffineBilinear(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    VELOX_BY_SOURCE(s, run.mirror, FetchAffineBilinearT, (s, run, n, out));
}

Kernels MakeAvx2() {
    Kernels k = PortableKernels();
    k.fetchRow = FetchRow;
    k.fetchColumns = FetchColumns;
    k.fetchBilinearRow = FetchBilinearRow;
    k.mixRows = MixRows;
    k.fetchBilinearRows = FetchBilinearRows;
    k.fetchAffineNearest = FetchAffineNearest;
    k.fetchAffineBilinear = FetchAffineBilinear;
    VELOX_FILL_COMBINE_TABLE(k.combine32, CombineT);
    k.copy32 = Copy32;
    k.fill32 = Fill32;
    return k;
}

} // namespace
} // namespace velox::blit

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace velox::blit {

const Kernels* Avx2Kernels() {
    static const Kernels* const kernels = []() -> const Kernels* {
        __builtin_cpu_init();
        if (!__builtin_cpu_supports("avx2")) {
            return nullptr;
        }
        static const Kernels set = MakeAvx2();
        return &set;
    }();
    return kernels;
}

} // namespace velox::blit

#else

namespace velox::blit {
const Kernels* Avx2Kernels() {
    return nullptr;
}
} // namespace velox::blit

#endif
