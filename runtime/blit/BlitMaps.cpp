// Shared inputs of both blitter implementations: pixel kinds, the arithmetic tables and
// the fixed-point maps of rotated and four-corner copies.
#include "blit/Blit.h"
#include "blit/BlitTables.h"

#include <algorithm>
#include <cmath>

namespace velox::blit {
namespace {

BlendTables BuildTables() {
    BlendTables t{};
    for (int x = 0; x < 256; ++x) {
        for (int a = 0; a < 256; ++a) {
            t.scale[x][a] = uint8_t(x * a / 255);
        }
    }
    for (int a = 0; a < 256; ++a) {
        for (int d = 0; d < 511; ++d) {
            t.signedScale[a][d] = int16_t(a * (d - 255) / 255); // C++ division truncates
        }
    }
    for (int v = 0; v < 32; ++v) {
        t.widen5[v] = uint8_t(v * 255 / 31);
    }
    for (int v = 0; v < 64; ++v) {
        t.widen6[v] = uint8_t(v * 255 / 63);
    }
    return t;
}

// Keep far-off geometry and steep maps inside a range where every 16.16 position of a
// pixel within the bounds stays far from the limits of 64 bits.
constexpr double kCoordinateLimit = 1 << 24;
constexpr double kDerivativeLimit = 1 << 20;

double ClampCoordinate(double v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

int64_t Fixed(double v) {
    return std::llround(v * 65536.0);
}

bool Usable(double v) {
    return std::isfinite(v) && std::fabs(v) < kCoordinateLimit;
}

Rect BoundsOf(const double (*points)[2], int count) {
    double minX = points[0][0], maxX = points[0][0];
    double minY = points[0][1], maxY = points[0][1];
    for (int i = 1; i < count; ++i) {
        minX = std::min(minX, points[i][0]);
        maxX = std::max(maxX, points[i][0]);
        minY = std::min(minY, points[i][1]);
        maxY = std::max(maxY, points[i][1]);
    }
    return Rect{
        int32_t(std::floor(ClampCoordinate(minX))), int32_t(std::floor(ClampCoordinate(minY))),
        int32_t(std::ceil(ClampCoordinate(maxX))), int32_t(std::ceil(ClampCoordinate(maxY)))};
}

// The affine map of the triangle whose destination points p0, p1, p2 show the source
// points origin, origin + (du, 0) and origin + (0, dv).
bool TriangleMap(const double* p0, const double* p1, const double* p2, double originU,
                 double originV, double du, double dv, const Rect& bounds, AffineMap& map) {
    const double e1x = p1[0] - p0[0], e1y = p1[1] - p0[1];
    const double e2x = p2[0] - p0[0], e2y = p2[1] - p0[1];
    const double det = e1x * e2y - e1y * e2x;
    if (!(std::fabs(det) > 1e-9)) {
        return false;
    }
    const double dudx = du * e2y / det, dudy = -du * e2x / det;
    const double dvdx = -dv * e1y / det, dvdy = dv * e1x / det;
    if (!(std::fabs(dudx) < kDerivativeLimit && std::fabs(dudy) < kDerivativeLimit &&
          std::fabs(dvdx) < kDerivativeLimit && std::fabs(dvdy) < kDerivativeLimit)) {
        return false;
    }
    const double cx = bounds.left + 0.5 - p0[0], cy = bounds.top + 0.5 - p0[1];
    map.bounds = bounds;
    map.u0 = Fixed(originU + dudx * cx + dudy * cy);
    map.v0 = Fixed(originV + dvdx * cx + dvdy * cy);
    map.dudx = Fixed(dudx);
    map.dudy = Fixed(dudy);
    map.dvdx = Fixed(dvdx);
    map.dvdy = Fixed(dvdy);
    return true;
}

} // namespace

const BlendTables& Tables() {
    static const BlendTables tables = BuildTables();
    return tables;
}

PixelKind KindOfFormat(const image::ColorFormat& f) {
    const bool rgb888 =
        f.redMask == 0x00FF0000u && f.greenMask == 0x0000FF00u && f.blueMask == 0x000000FFu;
    const bool rgb565 = f.redMask == 0xF800u && f.greenMask == 0x07E0u && f.blueMask == 0x001Fu;
    if (f.bytesPerPixel == 1) {
        return PixelKind::Indexed8;
    }
    if (f.bytesPerPixel == 4 && rgb888 && (f.alphaMask == 0 || f.alphaMask == 0xFF000000u)) {
        return f.alphaMask != 0 ? PixelKind::Argb32 : PixelKind::Rgb32;
    }
    if (f.bytesPerPixel == 2 && rgb565 && f.alphaMask == 0) {
        return PixelKind::Rgb565;
    }
    if (f.bytesPerPixel == 4 && rgb565 && f.alphaMask == 0x00FF0000u) {
        return PixelKind::Argb565;
    }
    return PixelKind::Other;
}

bool IsTargetKind(PixelKind kind) {
    return kind == PixelKind::Rgb32 || kind == PixelKind::Argb32 || kind == PixelKind::Rgb565 ||
           kind == PixelKind::Argb565;
}

void PaletteSamples(const image::ColorFormat& format, uint32_t samples[256]) {
    for (int i = 0; i < 256; ++i) {
        const image::PaletteEntry& e = format.palette[i];
        samples[i] = 0xFF000000u | uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue;
    }
}

// The corners relative to the centre are (-floor(w/2) or w - floor(w/2), likewise for h);
// a destination point p shows the source point R(-angle) (p - centre) / scale + (floor(w/2),
// floor(h/2)).
bool MakeRotationMap(int32_t centreX, int32_t centreY, double scale, double angle, int32_t w,
                     int32_t h, AffineMap& map) {
    if (w <= 0 || h <= 0 || !std::isfinite(scale) || !std::isfinite(angle) ||
        !(std::fabs(scale) > 1.0 / kDerivativeLimit)) {
        return false;
    }
    const double c = std::cos(angle), s = std::sin(angle);
    const int32_t halfW = w / 2, halfH = h / 2;
    double corners[4][2];
    for (int i = 0; i < 4; ++i) {
        const double ox = (i & 1) ? w - halfW : -halfW;
        const double oy = (i & 2) ? h - halfH : -halfH;
        corners[i][0] = centreX + scale * (ox * c - oy * s);
        corners[i][1] = centreY + scale * (ox * s + oy * c);
    }
    for (int i = 0; i < 4; ++i) {
        if (!Usable(corners[i][0]) || !Usable(corners[i][1])) {
            return false;
        }
    }
    const Rect bounds = BoundsOf(corners, 4);
    const double inv = 1.0 / scale;
    const double cx = bounds.left + 0.5 - double(centreX);
    const double cy = bounds.top + 0.5 - double(centreY);
    map.bounds = bounds;
    map.u0 = Fixed((cx * c + cy * s) * inv + halfW);
    map.v0 = Fixed((cy * c - cx * s) * inv + halfH);
    map.dudx = Fixed(c * inv);
    map.dudy = Fixed(s * inv);
    map.dvdx = Fixed(-s * inv);
    map.dvdy = Fixed(c * inv);
    return true;
}

bool MakeQuadMap(const double corners[4][2], int32_t w, int32_t h, QuadMap& map) {
    if (w <= 0 || h <= 0) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (!Usable(corners[i][0]) || !Usable(corners[i][1])) {
            return false;
        }
    }
    const double* tl = corners[0];
    const double* tr = corners[1];
    const double* bl = corners[2];
    const double* br = corners[3];
    map.bounds = BoundsOf(corners, 4);
    map.drawTriangle[0] = TriangleMap(tl, tr, bl, 0, 0, w, h, map.bounds, map.triangle[0]);
    map.drawTriangle[1] = TriangleMap(br, bl, tr, w, h, -w, -h, map.bounds, map.triangle[1]);
    // Edge of the diagonal tr -> bl, signed so that the top-left corner lies below zero.
    double ex = bl[0] - tr[0], ey = bl[1] - tr[1];
    auto edgeAt = [&](double x, double y) { return ex * (y - tr[1]) - ey * (x - tr[0]); };
    const double atTopLeft = edgeAt(tl[0], tl[1]);
    if (atTopLeft > 0 || (atTopLeft == 0 && edgeAt(br[0], br[1]) < 0)) {
        ex = -ex;
        ey = -ey;
    }
    map.edge0 = Fixed(edgeAt(map.bounds.left + 0.5, map.bounds.top + 0.5));
    map.edgeDx = Fixed(-ey);
    map.edgeDy = Fixed(ex);
    return map.drawTriangle[0] || map.drawTriangle[1];
}

} // namespace velox::blit
