// The reference blitters: one pixel at a time, straight from the rules, through the two
// tables. Slow on purpose; every fast path must give the same bytes.
//
// Per channel, with s the source after brightness, d the target, p the parameter and a
// the sample's coverage (source alpha, 0 when keyed, interpolated when bilinear):
//   mode 0  a = 255: d = s;   otherwise d += trunc(a * (s - d) / 255)
//   mode 1  q = floor(p * a / 255); q = 255: d = s;   otherwise d = (q * (s - d) + 256 * d) >> 8
//   mode 2  q as mode 1; d = min(255, d + floor(s * q / 255))
//   mode 3  q as mode 1; d = max(0, d - floor(s * q / 255))
//   mode 4  r = s * d / 256; a = 255: d = r;   otherwise d += trunc(a * (r - d) / 255)
// so coverage 0 leaves every mode without effect, and such pixels are not written at all.
#include "blit/Blit.h"
#include "blit/BlitTables.h"
#include "image/BaseImage.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace velox::blit::reference {
namespace {

struct Sample {
    int r, g, b, a;
};

struct Rgb {
    int r, g, b;
};

// Clip rectangle intersected with the target's own bounds.
Rect Clip(const Target& t) {
    return Rect{std::max(t.clip.left, 0), std::max(t.clip.top, 0), std::min(t.clip.right, t.width),
                std::min(t.clip.bottom, t.height)};
}

Sample ReadSample(const Source& s, int x, int y) {
    const uint8_t* row = s.pixels + int64_t(y) * s.pitch;
    Sample out{};
    if (s.kind == PixelKind::Indexed8) {
        const uint32_t v = s.palette[row[x]];
        out = Sample{int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255), int(v >> 24)};
    } else {
        const uint32_t value = image::ReadPixelValue(row, x, s.format->bytesPerPixel);
        int alpha = 0;
        image::DecomposeColor(*s.format, value, &out.r, &out.g, &out.b, &alpha);
        out.a = s.format->alphaWidth != 0 ? alpha : 255;
    }
    if (s.keyed && uint32_t(out.r << 16 | out.g << 8 | out.b) == s.key) {
        out.a = 0;
    }
    return out;
}

Sample Nearest(const Source& s, int64_t u, int64_t v, bool mirrorX, bool mirrorY) {
    int x = int(std::min<int64_t>(u >> 16, s.width - 1));
    int y = int(std::min<int64_t>(v >> 16, s.height - 1));
    return ReadSample(s, mirrorX ? s.width - 1 - x : x, mirrorY ? s.height - 1 - y : y);
}

// Taps around (u - 1/2, v - 1/2), clamped to the source; weights are the 8 bits below
// the integer part.
Sample Bilinear(const Source& s, int64_t u, int64_t v, bool mirrorX, bool mirrorY) {
    const int64_t maxU = int64_t(s.width - 1) << 16, maxV = int64_t(s.height - 1) << 16;
    int64_t bu = std::clamp<int64_t>(u - 32768, 0, maxU);
    int64_t bv = std::clamp<int64_t>(v - 32768, 0, maxV);
    if (mirrorX) {
        bu = maxU - bu;
    }
    if (mirrorY) {
        bv = maxV - bv;
    }
    const int x0 = int(bu >> 16), y0 = int(bv >> 16);
    const int x1 = std::min(x0 + 1, s.width - 1), y1 = std::min(y0 + 1, s.height - 1);
    const int fx = int(bu >> 8 & 255), fy = int(bv >> 8 & 255);
    const Sample p[4] = {ReadSample(s, x0, y0), ReadSample(s, x1, y0), ReadSample(s, x0, y1),
                         ReadSample(s, x1, y1)};
    auto mix = [](int a, int b, int f) { return (a * (256 - f) + b * f + 128) >> 8; };
    auto channel = [&](int Sample::*c) {
        return mix(mix(p[0].*c, p[1].*c, fx), mix(p[2].*c, p[3].*c, fx), fy);
    };
    return Sample{channel(&Sample::r), channel(&Sample::g), channel(&Sample::b),
                  channel(&Sample::a)};
}

Rgb ReadTarget(const Target& t, int x, int y) {
    const uint8_t* row = t.pixels + int64_t(y) * t.pitch;
    if (t.kind == PixelKind::Rgb32 || t.kind == PixelKind::Argb32) {
        const uint32_t v = image::ReadPixelValue(row, x, 4);
        return Rgb{int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)};
    }
    const uint32_t v = image::ReadPixelValue(row, x, t.kind == PixelKind::Rgb565 ? 2 : 4);
    return Rgb{int(v >> 11 & 31) * 255 / 31, int(v >> 5 & 63) * 255 / 63, int(v & 31) * 255 / 31};
}

void WriteTarget(const Target& t, int x, int y, Rgb c) {
    uint8_t* row = t.pixels + int64_t(y) * t.pitch;
    const uint32_t rgb565 = uint32_t(c.r >> 3) << 11 | uint32_t(c.g >> 2) << 5 | uint32_t(c.b >> 3);
    switch (t.kind) {
    case PixelKind::Rgb32:
    case PixelKind::Argb32:
        image::WritePixelValue(row, x, 4,
                               0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
        break;
    case PixelKind::Rgb565:
        image::WritePixelValue(row, x, 2, rgb565);
        break;
    default:
        image::WritePixelValue(row, x, 4, 0xFFFF0000u | rgb565);
        break;
    }
}

int Channel(int mode, int parameter, int s, int d, int a) {
    const BlendTables& t = Tables();
    switch (mode) {
    case 1: {
        const int q = t.scale[parameter][a];
        return q == 255 ? s : (q * (s - d) + 256 * d) >> 8;
    }
    case 2:
        return std::min(255, d + t.scale[s][t.scale[parameter][a]]);
    case 3:
        return std::max(0, d - t.scale[s][t.scale[parameter][a]]);
    case 4: {
        const int r = s * d / 256;
        return a == 255 ? r : d + t.signedScale[a][r - d + 255];
    }
    default:
        return a == 255 ? s : d + t.signedScale[a][s - d + 255];
    }
}

// The paint as the arithmetic uses it; false when nothing is drawn at all.
bool Normalise(const Paint& in, Paint& out) {
    out = in;
    out.parameter = std::clamp(in.parameter, 0, 255);
    if (in.mode < 0 || in.mode > 4) {
        out.mode = 0;
    }
    return !(out.mode >= 1 && out.mode <= 3 && out.parameter == 0);
}

void Draw(const Target& t, int x, int y, Sample s, const Paint& p) {
    if (s.a == 0) {
        return;
    }
    if ((p.brightness & 0xFFFFFF) != 0xFFFFFF) {
        const BlendTables& tables = Tables();
        s.r = tables.scale[s.r][p.brightness >> 16 & 255];
        s.g = tables.scale[s.g][p.brightness >> 8 & 255];
        s.b = tables.scale[s.b][p.brightness & 255];
    }
    const Rgb d = ReadTarget(t, x, y);
    WriteTarget(t, x, y,
                Rgb{Channel(p.mode, p.parameter, s.r, d.r, s.a),
                    Channel(p.mode, p.parameter, s.g, d.g, s.a),
                    Channel(p.mode, p.parameter, s.b, d.b, s.a)});
}

// The pixels of rect that lie inside the target's clip, with rect's top-left as origin.
template <typename Visit> void ForEachPixel(const Target& t, const Rect& rect, Visit visit) {
    const Rect c = Clip(t);
    const int left = std::max(c.left, rect.left), right = std::min(c.right, rect.right);
    const int top = std::max(c.top, rect.top), bottom = std::min(c.bottom, rect.bottom);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            visit(x, y, int64_t(x) - rect.left, int64_t(y) - rect.top);
        }
    }
}

bool Inside(const Source& s, int64_t u, int64_t v) {
    return u >= 0 && v >= 0 && u < (int64_t(s.width) << 16) && v < (int64_t(s.height) << 16);
}

Sample AffineSample(const Source& s, const AffineMap& m, int64_t i, int64_t j, bool mirror,
                    const Paint& p, bool& inside) {
    const int64_t u = m.u0 + i * m.dudx + j * m.dudy;
    const int64_t v = m.v0 + i * m.dvdx + j * m.dvdy;
    inside = Inside(s, u, v);
    if (!inside) {
        return Sample{};
    }
    return p.bilinear ? Bilinear(s, u, v, mirror, false) : Nearest(s, u, v, mirror, false);
}

} // namespace

void CopyPlain(const Target& target, const Source& source, int32_t x, int32_t y, bool mirror,
               const Paint& paint) {
    Paint p;
    if (!Normalise(paint, p)) {
        return;
    }
    const Rect rect{x, y, int32_t(std::min<int64_t>(int64_t(x) + source.width, INT32_MAX)),
                    int32_t(std::min<int64_t>(int64_t(y) + source.height, INT32_MAX))};
    ForEachPixel(target, rect, [&](int dx, int dy, int64_t i, int64_t j) {
        const int sx = mirror ? source.width - 1 - int(i) : int(i);
        Draw(target, dx, dy, ReadSample(source, sx, int(j)), p);
    });
}

// Along each axis the destination offset i shows source index floor(i * 65536 / step),
// step = extent * 65536 / size: the same as advancing the source start by
// ((clipped left - x1) * 65536) / step for a clipped rectangle. Bilinear sampling takes
// the point (i + 1/2) * 65536 / step. A mirrored axis takes the source from the far edge.
void CopyStretched(const Target& target, const Source& source, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const Paint& paint) {
    Paint p;
    if (x1 == x2 || y1 == y2 || std::abs(int64_t(x2) - x1) > kMaxStretchExtent ||
        std::abs(int64_t(y2) - y1) > kMaxStretchExtent || !Normalise(paint, p)) {
        return;
    }
    const bool mirrorX = x2 < x1, mirrorY = y2 < y1;
    const Rect rect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    const int64_t stepX = (int64_t(rect.right) - rect.left) * 65536 / source.width;
    const int64_t stepY = (int64_t(rect.bottom) - rect.top) * 65536 / source.height;
    if (stepX == 0 || stepY == 0) {
        return;
    }
    ForEachPixel(target, rect, [&](int dx, int dy, int64_t i, int64_t j) {
        Sample s;
        if (p.bilinear) {
            s = Bilinear(source, ((2 * i + 1) << 31) / stepX, ((2 * j + 1) << 31) / stepY, mirrorX,
                         mirrorY);
        } else {
            s = Nearest(source, (i << 32) / stepX, (j << 32) / stepY, mirrorX, mirrorY);
        }
        Draw(target, dx, dy, s, p);
    });
}

void CopyAffine(const Target& target, const Source& source, const AffineMap& map, bool mirror,
                const Paint& paint) {
    Paint p;
    if (!Normalise(paint, p)) {
        return;
    }
    ForEachPixel(target, map.bounds, [&](int dx, int dy, int64_t i, int64_t j) {
        bool inside = false;
        const Sample s = AffineSample(source, map, i, j, mirror, p, inside);
        if (inside) {
            Draw(target, dx, dy, s, p);
        }
    });
}

void CopyQuad(const Target& target, const Source& source, const QuadMap& map, const Paint& paint) {
    Paint p;
    if (!Normalise(paint, p)) {
        return;
    }
    ForEachPixel(target, map.bounds, [&](int dx, int dy, int64_t i, int64_t j) {
        const int tri = map.edge0 + i * map.edgeDx + j * map.edgeDy < 0 ? 0 : 1;
        if (!map.drawTriangle[tri]) {
            return;
        }
        bool inside = false;
        const Sample s = AffineSample(source, map.triangle[tri], i, j, false, p, inside);
        if (inside) {
            Draw(target, dx, dy, s, p);
        }
    });
}

void FillRect(const Target& target, const Rect& rect, uint32_t color, const Paint& paint) {
    Paint p;
    if (!Normalise(paint, p)) {
        return;
    }
    const Sample s{int(color >> 16 & 255), int(color >> 8 & 255), int(color & 255), 255};
    ForEachPixel(target, rect,
                 [&](int dx, int dy, int64_t, int64_t) { Draw(target, dx, dy, s, p); });
}

} // namespace velox::blit::reference
