// Portable kernels: loops specialised by template on source kind, keying, mirroring,
// blend mode, brightness, opacity and target kind. They run where no SIMD set applies
// (16-bit targets, 16-bit and indexed sources) and on processors without SSE2.
#include "blit/BlitKernels.h"
#include "blit/BlitTables.h"
#include "image/BaseImage.h"

#include <algorithm>
#include <cstring>

namespace velox::blit {
namespace {

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint32_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void Store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}
inline void Store16(uint8_t* p, uint32_t v) {
    const uint16_t h = uint16_t(v);
    std::memcpy(p, &h, 2);
}

inline uint32_t Widen565(uint32_t v, const BlendTables& t) {
    return uint32_t(t.widen5[v >> 11 & 31]) << 16 | uint32_t(t.widen6[v >> 5 & 63]) << 8 |
           t.widen5[v & 31];
}

inline uint32_t Narrow565(uint32_t r, uint32_t g, uint32_t b) {
    return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
}

uint32_t LoadOther(const Source& s, const uint8_t* row, int32_t x) {
    int r = 0, g = 0, b = 0, a = 0;
    image::DecomposeColor(*s.format, image::ReadPixelValue(row, x, s.format->bytesPerPixel), &r, &g,
                          &b, &a);
    if (s.format->alphaWidth == 0) {
        a = 255;
    }
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

template <PixelKind K>
inline uint32_t LoadSample(const Source& s, const uint8_t* row, int32_t x, const BlendTables& t) {
    if constexpr (K == PixelKind::Rgb32) {
        return Load32(row + 4 * x) | 0xFF000000u;
    } else if constexpr (K == PixelKind::Argb32) {
        return Load32(row + 4 * x);
    } else if constexpr (K == PixelKind::Rgb565) {
        return 0xFF000000u | Widen565(Load16(row + 2 * x), t);
    } else if constexpr (K == PixelKind::Argb565) {
        const uint32_t v = Load32(row + 4 * x);
        return (v & 0x00FF0000u) << 8 | Widen565(v & 0xFFFF, t);
    } else if constexpr (K == PixelKind::Indexed8) {
        return s.palette[row[x]];
    } else {
        return LoadOther(s, row, x);
    }
}

template <PixelKind K, bool Keyed>
inline uint32_t Fetch(const Source& s, const uint8_t* row, int32_t x, const BlendTables& t) {
    uint32_t v = LoadSample<K>(s, row, x, t);
    if constexpr (Keyed) {
        if ((v & 0xFFFFFF) == s.key) {
            v &= 0xFFFFFF;
        }
    }
    return v;
}

inline const uint8_t* Row(const Source& s, int32_t y) {
    return s.pixels + int64_t(y) * s.pitch;
}

// (a * (256 - f) + b * f + 128) >> 8 in each byte, two bytes per multiply.
inline uint32_t Mix(uint32_t a, uint32_t b, uint32_t f) {
    const uint32_t g = 256 - f;
    const uint32_t rb = (((a & 0xFF00FFu) * g + (b & 0xFF00FFu) * f + 0x800080u) >> 8) & 0xFF00FFu;
    const uint32_t ag =
        ((a >> 8 & 0xFF00FFu) * g + (b >> 8 & 0xFF00FFu) * f + 0x800080u) & 0xFF00FF00u;
    return rb | ag;
}

template <PixelKind K, bool Keyed, bool Mirror>
void FetchRowT(const Source& s, int32_t sx, int32_t sy, int32_t n, uint32_t* out) {
    const BlendTables& t = Tables();
    const uint8_t* row = Row(s, sy);
    for (int32_t i = 0; i < n; ++i) {
        out[i] = Fetch<K, Keyed>(s, row, Mirror ? sx - i : sx + i, t);
    }
}

template <PixelKind K, bool Keyed>
void FetchColumnsT(const Source& s, const int32_t* xs, int32_t sy, int32_t n, uint32_t* out) {
    const BlendTables& t = Tables();
    const uint8_t* row = Row(s, sy);
    for (int32_t i = 0; i < n; ++i) {
        out[i] = Fetch<K, Keyed>(s, row, xs[i], t);
    }
}

template <PixelKind K, bool Keyed>
void FetchBilinearRowT(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                       int32_t sy, int32_t n, uint32_t* out) {
    const BlendTables& t = Tables();
    const uint8_t* row = Row(s, sy);
    for (int32_t i = 0; i < n; ++i) {
        out[i] = Mix(Fetch<K, Keyed>(s, row, x0[i], t), Fetch<K, Keyed>(s, row, x1[i], t), fx[i]);
    }
}

void MixRows(const uint32_t* top, const uint32_t* bottom, uint32_t fy, int32_t n, uint32_t* out) {
    for (int32_t i = 0; i < n; ++i) {
        out[i] = Mix(top[i], bottom[i], fy);
    }
}

template <PixelKind K, bool Keyed, bool Mirror>
void FetchAffineNearestT(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    const BlendTables& t = Tables();
    int32_t u = run.u, v = run.v;
    for (int32_t i = 0; i < n; ++i, u += run.dudx, v += run.dvdx) {
        const int32_t x = u >> 16;
        out[i] = Fetch<K, Keyed>(s, Row(s, v >> 16), Mirror ? s.width - 1 - x : x, t);
    }
}

template <PixelKind K, bool Keyed, bool Mirror>
void FetchAffineBilinearT(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    const BlendTables& t = Tables();
    const int32_t maxU = (s.width - 1) << 16, maxV = (s.height - 1) << 16;
    int32_t u = run.u, v = run.v;
    for (int32_t i = 0; i < n; ++i, u += run.dudx, v += run.dvdx) {
        int32_t bu = std::clamp(u - 32768, 0, maxU);
        const int32_t bv = std::clamp(v - 32768, 0, maxV);
        if (Mirror) {
            bu = maxU - bu;
        }
        const int32_t x0 = bu >> 16, y0 = bv >> 16;
        const int32_t x1 = std::min(x0 + 1, s.width - 1), y1 = std::min(y0 + 1, s.height - 1);
        const uint32_t fx = uint32_t(bu) >> 8 & 255, fy = uint32_t(bv) >> 8 & 255;
        const uint8_t* row0 = Row(s, y0);
        const uint8_t* row1 = Row(s, y1);
        const uint32_t top =
            Mix(Fetch<K, Keyed>(s, row0, x0, t), Fetch<K, Keyed>(s, row0, x1, t), fx);
        const uint32_t bottom =
            Mix(Fetch<K, Keyed>(s, row1, x0, t), Fetch<K, Keyed>(s, row1, x1, t), fx);
        out[i] = Mix(top, bottom, fy);
    }
}

// Runs f with the source kind and keying as template arguments.
template <template <PixelKind, bool> class F, typename... Args>
void ByKind(const Source& s, Args&&... args) {
    auto go = [&](auto kind) {
        if (s.keyed) {
            F<decltype(kind)::value, true>::Run(s, args...);
        } else {
            F<decltype(kind)::value, false>::Run(s, args...);
        }
    };
    switch (s.kind) {
    case PixelKind::Rgb32:
        go(std::integral_constant<PixelKind, PixelKind::Rgb32>{});
        break;
    case PixelKind::Argb32:
        go(std::integral_constant<PixelKind, PixelKind::Argb32>{});
        break;
    case PixelKind::Rgb565:
        go(std::integral_constant<PixelKind, PixelKind::Rgb565>{});
        break;
    case PixelKind::Argb565:
        go(std::integral_constant<PixelKind, PixelKind::Argb565>{});
        break;
    case PixelKind::Indexed8:
        go(std::integral_constant<PixelKind, PixelKind::Indexed8>{});
        break;
    default:
        go(std::integral_constant<PixelKind, PixelKind::Other>{});
        break;
    }
}

template <PixelKind K, bool Keyed> struct FetchRowOp {
    static void Run(const Source& s, int32_t sx, int32_t sy, int32_t n, uint32_t* out,
                    bool mirror) {
        mirror ? FetchRowT<K, Keyed, true>(s, sx, sy, n, out)
               : FetchRowT<K, Keyed, false>(s, sx, sy, n, out);
    }
};
template <PixelKind K, bool Keyed> struct FetchColumnsOp {
    static void Run(const Source& s, const int32_t* xs, int32_t sy, int32_t n, uint32_t* out) {
        FetchColumnsT<K, Keyed>(s, xs, sy, n, out);
    }
};
template <PixelKind K, bool Keyed> struct FetchBilinearRowOp {
    static void Run(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                    int32_t sy, int32_t n, uint32_t* out) {
        FetchBilinearRowT<K, Keyed>(s, x0, x1, fx, sy, n, out);
    }
};
template <PixelKind K, bool Keyed> struct FetchAffineNearestOp {
    static void Run(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
        run.mirror ? FetchAffineNearestT<K, Keyed, true>(s, run, n, out)
                   : FetchAffineNearestT<K, Keyed, false>(s, run, n, out);
    }
};
template <PixelKind K, bool Keyed> struct FetchAffineBilinearOp {
    static void Run(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
        run.mirror ? FetchAffineBilinearT<K, Keyed, true>(s, run, n, out)
                   : FetchAffineBilinearT<K, Keyed, false>(s, run, n, out);
    }
};

void FetchRow(const Source& s, int32_t sx, int32_t sy, int32_t n, uint32_t* out, bool mirror) {
    ByKind<FetchRowOp>(s, sx, sy, n, out, mirror);
}
void FetchColumns(const Source& s, const int32_t* xs, int32_t sy, int32_t n, uint32_t* out) {
    ByKind<FetchColumnsOp>(s, xs, sy, n, out);
}
void FetchBilinearRow(const Source& s, const int32_t* x0, const int32_t* x1, const uint8_t* fx,
                      int32_t sy, int32_t n, uint32_t* out) {
    ByKind<FetchBilinearRowOp>(s, x0, x1, fx, sy, n, out);
}
void FetchAffineNearest(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    ByKind<FetchAffineNearestOp>(s, run, n, out);
}
void FetchAffineBilinear(const Source& s, const AffineRun& run, int32_t n, uint32_t* out) {
    ByKind<FetchAffineBilinearOp>(s, run, n, out);
}

// One channel; q is the effective parameter floor(p * a / 255) for modes 1 to 3.
template <int Mode>
inline uint32_t Channel(uint32_t s, uint32_t d, uint32_t a, uint32_t q, const BlendTables& t) {
    if constexpr (Mode == 1) {
        return q == 255 ? s : (q * s + (256 - q) * d) >> 8;
    } else if constexpr (Mode == 2) {
        return std::min<uint32_t>(255, d + t.scale[s][q]);
    } else if constexpr (Mode == 3) {
        return d > t.scale[s][q] ? d - t.scale[s][q] : 0;
    } else if constexpr (Mode == 4) {
        const uint32_t r = s * d >> 8;
        return a == 255 ? r : uint32_t(int32_t(d) + t.signedScale[a][r - d + 255]);
    } else {
        return a == 255 ? s : uint32_t(int32_t(d) + t.signedScale[a][s - d + 255]);
    }
}

template <int Mode, bool Bright, bool Opaque, PixelKind T>
void CombineT(uint8_t* dst, const uint32_t* src, int32_t n, const CombineArgs& args) {
    const BlendTables& t = Tables();
    const uint32_t br = args.brightness >> 16 & 255, bg = args.brightness >> 8 & 255,
                   bb = args.brightness & 255;
    constexpr int32_t kBytes = T == PixelKind::Rgb565 ? 2 : 4;
    for (int32_t i = 0; i < n; ++i, dst += kBytes) {
        const uint32_t s = src[i];
        const uint32_t a = Opaque ? 255 : s >> 24;
        if (!Opaque && a == 0) {
            continue;
        }
        uint32_t sr = s >> 16 & 255, sg = s >> 8 & 255, sb = s & 255;
        if constexpr (Bright) {
            sr = t.scale[sr][br];
            sg = t.scale[sg][bg];
            sb = t.scale[sb][bb];
        }
        uint32_t d;
        if constexpr (T == PixelKind::Rgb32 || T == PixelKind::Argb32) {
            d = Load32(dst);
        } else if constexpr (T == PixelKind::Rgb565) {
            d = Widen565(Load16(dst), t);
        } else {
            d = Widen565(Load32(dst) & 0xFFFF, t);
        }
        const uint32_t q = Mode >= 1 && Mode <= 3 ? t.scale[args.parameter][a] : 0;
        const uint32_t r = Channel<Mode>(sr, d >> 16 & 255, a, q, t);
        const uint32_t g = Channel<Mode>(sg, d >> 8 & 255, a, q, t);
        const uint32_t b = Channel<Mode>(sb, d & 255, a, q, t);
        if constexpr (T == PixelKind::Rgb32 || T == PixelKind::Argb32) {
            Store32(dst, 0xFF000000u | r << 16 | g << 8 | b);
        } else if constexpr (T == PixelKind::Rgb565) {
            Store16(dst, Narrow565(r, g, b));
        } else {
            Store32(dst, 0xFFFF0000u | Narrow565(r, g, b));
        }
    }
}

template <PixelKind T> CombineFn CombineFor(int mode, bool bright, bool opaque) {
    static constexpr CombineFn table[5][2][2] = {
#define VELOX_COMBINE_ROW(m)                                                                       \
    {                                                                                              \
        {CombineT<m, false, false, T>, CombineT<m, false, true, T>}, {                             \
            CombineT<m, true, false, T>, CombineT<m, true, true, T>                                \
        }                                                                                          \
    }
        VELOX_COMBINE_ROW(0), VELOX_COMBINE_ROW(1), VELOX_COMBINE_ROW(2),
        VELOX_COMBINE_ROW(3), VELOX_COMBINE_ROW(4),
#undef VELOX_COMBINE_ROW
    };
    return table[mode][bright][opaque];
}

void Copy32(uint8_t* dst, const uint8_t* src, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        Store32(dst + 4 * i, Load32(src + 4 * i) | 0xFF000000u);
    }
}

void Fill32(uint8_t* dst, uint32_t value, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        Store32(dst + 4 * i, value);
    }
}

Kernels MakePortable() {
    Kernels k{};
    k.fetchRow = FetchRow;
    k.fetchColumns = FetchColumns;
    k.fetchBilinearRow = FetchBilinearRow;
    k.mixRows = MixRows;
    k.fetchAffineNearest = FetchAffineNearest;
    k.fetchAffineBilinear = FetchAffineBilinear;
    for (int m = 0; m < 5; ++m) {
        for (int b = 0; b < 2; ++b) {
            for (int o = 0; o < 2; ++o) {
                k.combine32[m][b][o] = CombineFor<PixelKind::Rgb32>(m, b, o);
            }
        }
    }
    k.copy32 = Copy32;
    k.fill32 = Fill32;
    return k;
}

} // namespace

const Kernels& PortableKernels() {
    static const Kernels kernels = MakePortable();
    return kernels;
}

CombineFn PortableCombine(PixelKind target, int mode, bool bright, bool opaque) {
    switch (target) {
    case PixelKind::Rgb565:
        return CombineFor<PixelKind::Rgb565>(mode, bright, opaque);
    case PixelKind::Argb565:
        return CombineFor<PixelKind::Argb565>(mode, bright, opaque);
    default:
        return CombineFor<PixelKind::Rgb32>(mode, bright, opaque);
    }
}

} // namespace velox::blit
