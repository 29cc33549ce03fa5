// The draw state's inner operations and the drawing operations the public ones reduce to.
// Callers hold the entry gate. The draw state lives in Graphics().draw: blend mode and
// parameter, brightness, draw filter (0 nearest; any other value samples stretched and
// rotated draws bilinearly), blend graphic and the draw area.
#pragma once

#include <cstdint>

namespace velox::draw {

// True while the graphics layer is not running: public drawing operations then do nothing.
bool GraphicsSuspended();

// Graphics start: brightness white, mode 0 with parameter 0, filter 0, no blend graphic,
// the whole draw target as draw area.
void ResetDrawState();

// Each returns 0; parameters are clamped to 0..255 and a call that changes nothing does
// nothing.
int SetBlendMode(int mode, int parameter);
int SetBrightness(int red, int green, int blue);
int SetDrawFilter(int mode);
// handle -1 removes the blend graphic; -1 for a handle that names no graphic.
int SetBlendGraphic(int32_t handle, int parameter1, int parameter2);
// Corners in any order, clamped to the draw target; equal left and right (or top and
// bottom) make the area empty and every draw a no-op.
int SetDrawArea(int left, int top, int right, int bottom);
// The draw target's size: the screen's (640 x 480 when none is set) without a target.
void DrawTargetSize(int& width, int& height);

// The drawing operations; 0, or -1 for an invalid handle, a blend graphic smaller than
// the graphic, an unusable draw target or an empty stretched rectangle. Nothing is drawn
// and 0 returned while the draw area is empty.
int DrawGraphicStretched(int x1, int y1, int x2, int y2, int32_t graphic, int transparent);
int DrawGraphicRotated(int x, int y, int centerX, int centerY, double scale, double angle,
                       int32_t graphic, int transparent, int turn);
// Fills a rectangle of the draw target with 0x00RRGGBB under the draw state.
int FillRectangle(int left, int top, int right, int bottom, uint32_t color);

} // namespace velox::draw
