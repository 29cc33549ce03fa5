// Where the draws put a graphic, on a target and source already resolved: the reduction of
// the rotated draw to plain, stretched and about-the-centre copies. Each returns 0, or -1
// for an empty stretched rectangle or numbers that name no place (not finite, or beyond
// the range of pixel coordinates).
#pragma once

#include "blit/Blit.h"

namespace velox::blit {

// A rectangle of the graphic's own size, not mirrored, is a plain copy.
int PlaceStretched(const Target& target, const Source& source, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const Paint& paint);
// (x, y) truncated toward zero; scale 0 draws nothing.
int PlaceAboutCentre(const Target& target, const Source& source, double x, double y, double scale,
                     double angle, bool turn, const Paint& paint);
// The graphic's point (centerX, centerY) on (x, y), scaled, then turned by angle radians
// (clockwise on screen); turn mirrors it left-right first.
int PlaceRotated(const Target& target, const Source& source, int32_t x, int32_t y, int32_t centerX,
                 int32_t centerY, double scale, double angle, bool turn, const Paint& paint);

} // namespace velox::blit
