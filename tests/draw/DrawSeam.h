// The draw tests' screen and graphics: a back buffer and a front screen of the screen's
// software format put straight into the graphics state, and graphics that are images the
// test made, in any format, named through the graphic table's test resolver.
#pragma once

#include "graphics/GraphicsState.h"
#include "image/BaseImage.h"

#include <cstdint>

namespace velox::test {

// Starts the stand-in: screen images of width x height (32-bit, or 16-bit 5-6-5 when
// colorBits is 16), the back buffer as draw target, the draw state reset.
void SeamStart(int width, int height, int colorBits = 32);
// Releases the screen images and forgets every graphic.
void SeamEnd();

// An image of the software format of the given family (0: 16-bit, 1: 32-bit), with or
// without alpha, pixels zeroed; pitch is width x bytes rounded up to 4.
image::BaseImage MakeImage(int width, int height, int family, bool alpha);

// Registers the rectangle (x, y, width, height) of image as a graphic; image stays the
// caller's. transparentValue is the transparent color in the image's format.
int32_t SeamAddGraphic(image::BaseImage* image, int x, int y, int width, int height,
                       uint32_t transparentValue = 0, bool drawTarget = false);
inline int32_t SeamAddGraphic(image::BaseImage* image, uint32_t transparentValue = 0) {
    return SeamAddGraphic(image, 0, 0, image->width, image->height, transparentValue);
}
void SeamRemoveGraphic(int32_t handle);

int SeamPresentCount();
image::BaseImage& SeamBack();
image::BaseImage& SeamFront();

// 0xAARRGGBB of a 32-bit image's pixel as stored.
uint32_t Pixel32(const image::BaseImage& image, int x, int y);
void SetPixel32(image::BaseImage& image, int x, int y, uint32_t value);
void FillImage32(image::BaseImage& image, uint32_t value);

} // namespace velox::test
