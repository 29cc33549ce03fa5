// SSE2 kernels (the x86-64 baseline): four pixels per step with channels in 16-bit lanes.
// Tails shorter than a vector run through the portable kernels, so both give equal bytes.
#include "blit/BlitKernels.h"

#if defined(__SSE2__)

#include "blit/BlitSimdCommon.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace velox::blit {
namespace {

// floor(t / 255) for 0 <= t <= 65025 in each 16-bit lane.
inline __m128i Div255(__m128i t) {
    const __m128i one = _mm_set1_epi16(1);
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, one), _mm_srli_epi16(t, 8)), 8);
}

// Each pixel's alpha in all four of its 16-bit lanes.
inline __m128i SpreadAlpha(__m128i x16) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x16, 0xFF), 0xFF);
}

// 32-bit lanes holding 0..256 spread to the 16-bit lanes of pixels (0, 1) and (2, 3).
inline void SpreadWeights(__m128i w32, __m128i& lo, __m128i& hi) {
    const __m128i twice = _mm_or_si128(w32, _mm_slli_epi32(w32, 16));
    lo = _mm_unpacklo_epi32(twice, twice);
    hi = _mm_unpackhi_epi32(twice, twice);
}

// (a * (256 - f) + b * f + 128) >> 8 per 16-bit lane.
inline __m128i Lerp16(__m128i a, __m128i b, __m128i f, __m128i g) {
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(a, g), _mm_mullo_epi16(b, f));
    return _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(128)), 8);
}

// Alpha forced to 255 for Rgb32 sources, cleared for keyed colors.
template <bool Opaque32, bool Keyed> inline __m128i FixSamples(__m128i v, __m128i key) {
    if constexpr (Opaque32) {
        v = _mm_or_si128(v, _mm_set1_epi32(int32_t(0xFF000000u)));
    }
    if constexpr (Keyed) {
        const __m128i color = _mm_and_si128(v, _mm_set1_epi32(0x00FFFFFF));
        const __m128i hit = _mm_cmpeq_epi32(color, key);
        v = _mm_andnot_si128(_mm_and_si128(hit, _mm_set1_epi32(int32_t(0xFF000000u))), v);
    }
    return v;
}

// Bilinear mix of four pixels' taps with horizontal weights fx and vertical fy (0..255).
inline __m128i Bilinear4(__m128i p00, __m128i p01, __m128i p10, __m128i p11, __m128i fx,
                         __m128i fy) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi32(256);
    __m128i fxLo, fxHi, gxLo, gxHi, fyLo, fyHi, gyLo, gyHi;
    SpreadWeights(fx, fxLo, fxHi);
    SpreadWeights(_mm_sub_epi32(full, fx), gxLo, gxHi);
    SpreadWeights(fy, fyLo, fyHi);
    SpreadWeights(_mm_sub_epi32(full, fy), gyLo, gyHi);
    const __m128i topLo =
        Lerp16(_mm_unpacklo_epi8(p00, zero), _mm_unpacklo_epi8(p01, zero), fxLo, gxLo);
    const __m128i topHi =
        Lerp16(_mm_unpackhi_epi8(p00, zero), _mm_unpackhi_epi8(p01, zero), fxHi, gxHi);
    const __m128i botLo =
        Lerp16(_mm_unpacklo_epi8(p10, zero), _mm_unpacklo_epi8(p11, zero), fxLo, gxLo);
    const __m128i botHi =
        Lerp16(_mm_unpackhi_epi8(p10, zero), _mm_unpackhi_epi8(p11, zero), fxHi, gxHi);
    return _mm_packus_epi16(Lerp16(topLo, botLo, fyLo, gyLo), Lerp16(topHi, botHi, fyHi, gyHi));
}

// (a * (256 - f) + b * f + 128) >> 8 in each byte of four pixels; f per pixel (0..255).
inline __m128i Mix4(__m128i a, __m128i b, __m128i f) {
    const __m128i zero = _mm_setzero_si128();
    __m128i fLo, fHi, gLo, gHi;
    SpreadWeights(f, fLo, fHi);
    SpreadWeights(_mm_sub_epi32(_mm_set1_epi32(256), f), gLo, gHi);
    return _mm_packus_epi16(
        Lerp16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), fLo, gLo),
        Lerp16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), fHi, gHi));
}

inline __m128i Load4(const uint8_t* row, int32_t x) {
    uint32_t v;
    std::memcpy(&v, row + 4 * int64_t(x), 4);
    return _mm_cvtsi32_si128(int32_t(v));
}

inline __m128i Gather4(const uint8_t* row, const int32_t* xs) {
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(Load4(row, xs[0]), Load4(row, xs[1])),
                              _mm_unpacklo_epi32(Load4(row, xs[2]), Load4(row, xs[3])));
}

template <bool Opaque32, bool Keyed, bool Mirror>
void FetchRowT(const Source& s, int32_t sx, int32_t sy, int32_t n, uint32_t* out) {
    const uint8_t* row = s.pixels + int64_t(sy) * s.pitch;
    const __m128i key = _mm_set1_epi32(int32_t(s.key));
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i v;
        if constexpr (Mirror) {
            v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * int64_t(sx - i - 3)));
            v = _mm_shuffle_epi32(v, 0x1B);
        } else {
            v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * int64_t(sx + i)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), FixSamples<Opaque32, Keyed>(v, key));
    }
    if (i < n) {
        PortableKernels().fetchRow(s, Mirror ? sx - i : sx + i, sy, n - i, out + i, Mirror);
    }
}

template <bool Opaque32, bool Keyed>
void FetchBilinearRowT(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                       int32_t sy, int32_t n, uint32_t* out) {
    const uint8_t* row = s.pixels + int64_t(sy) * s.pitch;
    const __m128i key = _mm_set1_epi32(int32_t(s.key));
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i left = FixSamples<Opaque32, Keyed>(Gather4(row, x0 + i), key);
        const __m128i right = FixSamples<Opaque32, Keyed>(Gather4(row, x1 + i), key);
        const __m128i f = _mm_setr_epi32(fx[i], fx[i + 1], fx[i + 2], fx[i + 3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), Mix4(left, right, f));
    }
    if (i < n) {
        PortableKernels().fetchBilinearRow(s, x0 + i, x1 + i, fx + i, sy, n - i, out + i);
    }
}

void MixRows(const uint32_t* top, const uint32_t* bottom, uint32_t fy, int32_t n, uint32_t* out) {
    const __m128i f = _mm_set1_epi32(int32_t(fy));
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         Mix4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i)), f));
    }
    if (i < n) {
        PortableKernels().mixRows(top + i, bottom + i, fy, n - i, out + i);
    }
}

// Taps x0 and x0 + 1 of four pixels read as 64-bit pairs, split into left and right.
inline void LoadPairs(const uint8_t* const* at, __m128i& left, __m128i& right) {
    auto pair = [](const uint8_t* p) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    };
    const __m128 lo = _mm_castsi128_ps(_mm_unpacklo_epi64(pair(at[0]), pair(at[1])));
    const __m128 hi = _mm_castsi128_ps(_mm_unpacklo_epi64(pair(at[2]), pair(at[3])));
    left = _mm_castps_si128(_mm_shuffle_ps(lo, hi, 0x88));
    right = _mm_castps_si128(_mm_shuffle_ps(lo, hi, 0xDD));
}

inline __m128i Min32(__m128i a, __m128i b) {
    const __m128i greater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(greater, b), _mm_andnot_si128(greater, a));
}

inline __m128i Max32(__m128i a, __m128i b) {
    const __m128i greater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(greater, a), _mm_andnot_si128(greater, b));
}

template <bool Opaque32, bool Keyed, bool Mirror>
void FetchAffineBilinearT(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    if (s.width < 2) {
        PortableKernels().fetchAffineBilinear(s, run, n, out);
        return;
    }
    const __m128i key = _mm_set1_epi32(int32_t(s.key));
    const __m128i zero = _mm_setzero_si128();
    const __m128i maxU = _mm_set1_epi32((s.width - 1) << 16);
    const __m128i maxV = _mm_set1_epi32((s.height - 1) << 16);
    const __m128i lastX = _mm_set1_epi32(s.width - 1), lastY = _mm_set1_epi32(s.height - 1);
    const __m128i half = _mm_set1_epi32(32768), one = _mm_set1_epi32(1);
    const __m128i low8 = _mm_set1_epi32(255), full = _mm_set1_epi32(256);
    __m128i u = _mm_setr_epi32(run.u, run.u + run.dudx, run.u + 2 * run.dudx, run.u + 3 * run.dudx);
    __m128i v = _mm_setr_epi32(run.v, run.v + run.dvdx, run.v + 2 * run.dvdx, run.v + 3 * run.dvdx);
    const __m128i du = _mm_set1_epi32(run.dudx * 4), dv = _mm_set1_epi32(run.dvdx * 4);
    alignas(16) int32_t x0[4], y0[4], y1[4];
    const uint8_t* top[4];
    const uint8_t* bottom[4];
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i bu = Min32(Max32(_mm_sub_epi32(u, half), zero), maxU);
        const __m128i bv = Min32(Max32(_mm_sub_epi32(v, half), zero), maxV);
        if constexpr (Mirror) {
            bu = _mm_sub_epi32(maxU, bu);
        }
        __m128i x = _mm_srai_epi32(bu, 16);
        __m128i fx = _mm_and_si128(_mm_srli_epi32(bu, 8), low8);
        // On the last column (weight 0) take the pair to its left at full weight instead.
        const __m128i last = _mm_cmpeq_epi32(x, lastX);
        x = _mm_add_epi32(x, last);
        fx = _mm_or_si128(fx, _mm_and_si128(last, full));
        const __m128i y = _mm_srai_epi32(bv, 16);
        _mm_store_si128(reinterpret_cast<__m128i*>(x0), x);
        _mm_store_si128(reinterpret_cast<__m128i*>(y0), y);
        _mm_store_si128(reinterpret_cast<__m128i*>(y1), Min32(_mm_add_epi32(y, one), lastY));
        for (int k = 0; k < 4; ++k) {
            top[k] = s.pixels + int64_t(y0[k]) * s.pitch + 4 * int64_t(x0[k]);
            bottom[k] = s.pixels + int64_t(y1[k]) * s.pitch + 4 * int64_t(x0[k]);
        }
        __m128i p00, p01, p10, p11;
        LoadPairs(top, p00, p01);
        LoadPairs(bottom, p10, p11);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + i),
            Bilinear4(FixSamples<Opaque32, Keyed>(p00, key), FixSamples<Opaque32, Keyed>(p01, key),
                      FixSamples<Opaque32, Keyed>(p10, key), FixSamples<Opaque32, Keyed>(p11, key),
                      fx, _mm_and_si128(_mm_srli_epi32(bv, 8), low8)));
        u = _mm_add_epi32(u, du);
        v = _mm_add_epi32(v, dv);
    }
    if (i < n) {
        AffineRun rest = run;
        rest.u = run.u + i * run.dudx;
        rest.v = run.v + i * run.dvdx;
        PortableKernels().fetchAffineBilinear(s, rest, n - i, out + i);
    }
}

// Blend of four samples onto four 32-bit target pixels; see BlitReference.cpp.
template <int Mode, bool Bright, bool Opaque>
inline __m128i Combine4(__m128i s, __m128i d, __m128i bright, __m128i parameter) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sl = _mm_unpacklo_epi8(s, zero), sh = _mm_unpackhi_epi8(s, zero);
    const __m128i dl = _mm_unpacklo_epi8(d, zero), dh = _mm_unpackhi_epi8(d, zero);
    __m128i al = Opaque ? _mm_set1_epi16(255) : SpreadAlpha(sl);
    __m128i ah = Opaque ? _mm_set1_epi16(255) : SpreadAlpha(sh);
    if constexpr (Bright) {
        sl = Div255(_mm_mullo_epi16(sl, bright));
        sh = Div255(_mm_mullo_epi16(sh, bright));
    }
    // d + trunc(a * (x - d) / 255), exact x where a = 255.
    auto toward = [](__m128i x, __m128i dv, __m128i a) {
        const __m128i up = Div255(_mm_mullo_epi16(a, _mm_subs_epu16(x, dv)));
        const __m128i down = Div255(_mm_mullo_epi16(a, _mm_subs_epu16(dv, x)));
        return _mm_sub_epi16(_mm_add_epi16(dv, up), down);
    };
    __m128i rl, rh;
    if constexpr (Mode == 0) {
        rl = Opaque ? sl : toward(sl, dl, al);
        rh = Opaque ? sh : toward(sh, dh, ah);
    } else if constexpr (Mode == 4) {
        const __m128i ml = _mm_srli_epi16(_mm_mullo_epi16(sl, dl), 8);
        const __m128i mh = _mm_srli_epi16(_mm_mullo_epi16(sh, dh), 8);
        rl = Opaque ? ml : toward(ml, dl, al);
        rh = Opaque ? mh : toward(mh, dh, ah);
    } else {
        const __m128i ql = Opaque ? parameter : Div255(_mm_mullo_epi16(parameter, al));
        const __m128i qh = Opaque ? parameter : Div255(_mm_mullo_epi16(parameter, ah));
        if constexpr (Mode == 1) {
            // q = 255 copies: weigh the source by 256 instead.
            const __m128i full = _mm_set1_epi16(255), w256 = _mm_set1_epi16(256);
            const __m128i wl = _mm_sub_epi16(ql, _mm_cmpeq_epi16(ql, full));
            const __m128i wh = _mm_sub_epi16(qh, _mm_cmpeq_epi16(qh, full));
            rl = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(wl, sl),
                                              _mm_mullo_epi16(_mm_sub_epi16(w256, wl), dl)),
                                8);
            rh = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(wh, sh),
                                              _mm_mullo_epi16(_mm_sub_epi16(w256, wh), dh)),
                                8);
        } else {
            const __m128i xl = Div255(_mm_mullo_epi16(sl, ql));
            const __m128i xh = Div255(_mm_mullo_epi16(sh, qh));
            if constexpr (Mode == 2) {
                rl = _mm_add_epi16(dl, xl); // packing saturates at 255
                rh = _mm_add_epi16(dh, xh);
            } else {
                rl = _mm_subs_epu16(dl, xl);
                rh = _mm_subs_epu16(dh, xh);
            }
        }
    }
    __m128i result = _mm_or_si128(_mm_packus_epi16(rl, rh), _mm_set1_epi32(int32_t(0xFF000000u)));
    if constexpr (!Opaque) {
        const __m128i skip =
            _mm_cmpeq_epi32(_mm_and_si128(s, _mm_set1_epi32(int32_t(0xFF000000u))), zero);
        result = _mm_or_si128(_mm_and_si128(skip, d), _mm_andnot_si128(skip, result));
    }
    return result;
}

template <int Mode, bool Bright, bool Opaque>
void CombineT(uint8_t* dst, const uint32_t* src, int32_t n, const CombineArgs& args) {
    const __m128i bright = _mm_setr_epi16(
        int16_t(args.brightness & 255), int16_t(args.brightness >> 8 & 255),
        int16_t(args.brightness >> 16 & 255), 255, int16_t(args.brightness & 255),
        int16_t(args.brightness >> 8 & 255), int16_t(args.brightness >> 16 & 255), 255);
    const __m128i parameter = _mm_set1_epi16(int16_t(args.parameter));
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        if (!Opaque && _mm_movemask_epi8(
                           _mm_cmpeq_epi32(_mm_and_si128(s, _mm_set1_epi32(int32_t(0xFF000000u))),
                                           _mm_setzero_si128())) == 0xFFFF) {
            continue; // four uncovered samples
        }
        __m128i* p = reinterpret_cast<__m128i*>(dst + 4 * int64_t(i));
        _mm_storeu_si128(p,
                         Combine4<Mode, Bright, Opaque>(s, _mm_loadu_si128(p), bright, parameter));
    }
    if (i < n) {
        PortableKernels().combine32[Mode][Bright][Opaque](dst + 4 * int64_t(i), src + i, n - i,
                                                          args);
    }
}

void Copy32(uint8_t* dst, const uint8_t* src, int32_t n) {
    const __m128i alpha = _mm_set1_epi32(int32_t(0xFF000000u));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), _mm_or_si128(a, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i + 16), _mm_or_si128(b, alpha));
    }
    PortableKernels().copy32(dst + 4 * i, src + 4 * i, n - i);
}

void Fill32(uint8_t* dst, uint32_t value, int32_t n) {
    const __m128i v = _mm_set1_epi32(int32_t(value));
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), v);
    }
    PortableKernels().fill32(dst + 4 * i, value, n - i);
}

// Rgb32 and Argb32 sources only; the driver sends other kinds to the portable set.
void FetchRow(const Source& s, int32_t sx, int32_t sy, int32_t n, uint32_t* out, bool mirror) {
    VELOX_BY_SOURCE(s, mirror, FetchRowT, (s, sx, sy, n, out));
}
void FetchBilinearRow(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                      int32_t sy, int32_t n, uint32_t* out) {
    VELOX_BY_SOURCE_NO_MIRROR(s, FetchBilinearRowT, (s, x0, x1, fx, sy, n, out));
}
void FetchAffineBilinear(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    VELOX_BY_SOURCE(s, run.mirror, FetchAffineBilinearT, (s, run, n, out));
}

Kernels MakeSse2() {
    Kernels k = PortableKernels();
    k.fetchRow = FetchRow;
    k.fetchBilinearRow = FetchBilinearRow;
    k.mixRows = MixRows;
    k.fetchAffineBilinear = FetchAffineBilinear;
    VELOX_FILL_COMBINE_TABLE(k.combine32, CombineT);
    k.copy32 = Copy32;
    k.fill32 = Fill32;
    return k;
}

} // namespace

const Kernels* Sse2Kernels() {
    static const Kernels kernels = MakeSse2();
    return &kernels;
}

} // namespace velox::blit

#else

namespace velox::blit {
const Kernels* Sse2Kernels() {
    return nullptr;
}
} // namespace velox::blit

#endif
