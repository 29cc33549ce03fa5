// The geometry of the stretched and rotated draws.
#include "blit/DrawPlacement.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace velox::blit {
namespace {

bool ToInt(double v, int32_t& out) {
    if (!std::isfinite(v) || v < double(INT_MIN) || v > double(INT_MAX)) {
        return false;
    }
    out = int32_t(v);
    return true;
}

// The scaled draw at angle 0, corners rounded to whole pixels. Like a turned
// draw, a picture scaled down to nothing or placed wholly beyond the 32-bit
// plane has nothing to show; only unusable numbers are a failure.
int PlaceScaled(const Target& target, const Source& source, double x1, double y1, double x2,
                double y2, const Paint& paint) {
    int32_t c[4];
    const double values[4] = {x1, y1, x2, y2};
    for (int i = 0; i < 4; ++i) {
        const double v = std::floor(values[i] + 0.5);
        if (!std::isfinite(v)) {
            return -1;
        }
        if (v < double(INT_MIN) || v > double(INT_MAX)) {
            return 0;
        }
        c[i] = int32_t(v);
    }
    if (c[0] == c[2] || c[1] == c[3]) {
        return 0;
    }
    return PlaceStretched(target, source, c[0], c[1], c[2], c[3], paint);
}

} // namespace

int PlaceStretched(const Target& target, const Source& source, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const Paint& paint) {
    if (x1 == x2 || y1 == y2) {
        return -1;
    }
    if (int64_t(x2) - x1 == source.width && int64_t(y2) - y1 == source.height) {
        CopyPlain(target, source, x1, y1, false, paint);
    } else {
        CopyStretched(target, source, x1, y1, x2, y2, paint);
    }
    return 0;
}

int PlaceAboutCentre(const Target& target, const Source& source, double x, double y, double scale,
                     double angle, bool turn, const Paint& paint) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(scale) || !std::isfinite(angle)) {
        return -1;
    }
    int32_t centreX = 0, centreY = 0;
    if (!ToInt(std::trunc(x), centreX) || !ToInt(std::trunc(y), centreY)) {
        return 0; // a centre beyond the 32-bit plane: nothing of the picture can show
    }
    AffineMap map{};
    if (MakeRotationMap(centreX, centreY, scale, angle, source.width, source.height, map)) {
        CopyAffine(target, source, map, turn, paint);
    }
    return 0;
}

int PlaceRotated(const Target& target, const Source& source, int32_t x, int32_t y, int32_t centerX,
                 int32_t centerY, double scale, double angle, bool turn, const Paint& paint) {
    if (angle == 0 && scale == 1) {
        const int64_t left = std::clamp<int64_t>(int64_t(x) - centerX, INT_MIN, INT_MAX);
        const int64_t top = std::clamp<int64_t>(int64_t(y) - centerY, INT_MIN, INT_MAX);
        CopyPlain(target, source, int32_t(left), int32_t(top), turn, paint);
        return 0;
    }
    const double w = source.width, h = source.height;
    if (angle == 0) {
        const double left = x - scale * centerX, top = y - scale * centerY;
        const double right = left + scale * w, bottom = top + scale * h;
        return turn ? PlaceScaled(target, source, right, top, left, bottom, paint)
                    : PlaceScaled(target, source, left, top, right, bottom, paint);
    }
    // The graphic's centre on screen: (w / 2, h / 2) as real halves, scaled and turned.
    const double u = scale * (w / 2 - centerX), v = scale * (h / 2 - centerY);
    const double c = std::cos(angle), s = std::sin(angle);
    return PlaceAboutCentre(target, source, x + c * u - s * v, y + c * v + s * u, scale, angle,
                            turn, paint);
}

} // namespace velox::blit
