// The graphics layer's state and the seams between its parts: the screen (mode,
// back buffer, front screen, draw target), the draw state, and the graphic
// records. Everything drawn here is a memory image in the screen's software
// format; presenting hands the front screen to the platform.
#pragma once

#include "core/HandleTable.h"
#include "image/BaseImage.h"
#include "image/ColorFormat.h"

#include <cstdint>

namespace velox::graphic {

struct DrawArea {
    int32_t left, top, right, bottom; // right and bottom exclusive
    bool empty;
};

struct DrawState {
    int32_t blendMode;
    int32_t blendParameter;
    uint32_t brightness; // 0x00RRGGBB, 0xFFFFFF = unchanged colors
    int32_t drawFilter;  // 0 nearest; otherwise stretched and rotated draws are bilinear
    int32_t blendGraphic;
    int32_t blendGraphicParameter1, blendGraphicParameter2;
    DrawArea area;
    uint32_t vertexColor;
};

struct ScreenState {
    int32_t width, height; // 0 counts as the default 640 x 480
    int32_t colorBits;     // 8, 16 or 32
    int32_t refreshRate;
    int32_t requestedColorBits;
    image::ColorFormat format;
    image::ScreenPaletteEntry palette[256];
    int32_t drawTarget; // kBackBuffer, kFrontScreen or a graphic handle
    bool waitRetrace;
    uint64_t presentedFrames;
    uint8_t backgroundRed, backgroundGreen, backgroundBlue;
    uint32_t lastModeChangeMs;
    bool modeChangedOnce;
    image::BaseImage back;
    image::BaseImage front;
};

// A graphic's pixels as a drawing source or target: a rectangle of a memory image
// that derived graphics may share.
struct GraphicView {
    image::BaseImage* image;
    int32_t x, y;              // top-left of the graphic inside image
    int32_t width, height;     // the graphic's size
    bool alpha;                // the graphic has an alpha channel
    bool drawTarget;           // the graphic may be selected as draw target
    uint32_t transparentValue; // the transparent color in the image's format
};

struct GraphicsState {
    bool started;     // graphics start ran, graphics end not yet
    bool screenReady; // the back buffer and front screen exist
    DrawState draw;
    ScreenState screen;
};

GraphicsState& Graphics();

int ScreenWidth();  // 640 when no size is set
int ScreenHeight(); // 480 when no size is set

// The graphic named by handle, or false for a stale or foreign handle.
bool ResolveGraphic(int32_t handle, GraphicView& out);
// Tests of the drawing code register images of any format as graphics through
// this resolver, asked before the graphic table; nullptr (the default) removes it.
using GraphicResolver = bool (*)(int32_t handle, GraphicView& out);
void SetGraphicResolverForTesting(GraphicResolver resolver);
// The current draw target as a view (the screen images have x = y = 0).
bool CurrentTargetView(GraphicView& out);
// Call after drawing on the front screen: the picture is shown at once.
void PresentFrontScreen();

} // namespace velox::graphic
