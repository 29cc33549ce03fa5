// Test-only stand-in for the screen side of the graphics seam: two memory
// images for the back buffer and the front screen. The real implementation
// belongs to the screen and graphic handles of the graphics layer.
#include "graphics/GraphicsState.h"

namespace velox {
namespace {
GraphicsState gState{};
} // namespace

GraphicsState& Graphics() {
    return gState;
}

int ScreenWidth() {
    return gState.screen.width ? gState.screen.width : 640;
}

int ScreenHeight() {
    return gState.screen.height ? gState.screen.height : 480;
}

bool ResolveGraphic(int32_t, GraphicView&) {
    return false; // the text tests draw on the screen images only
}

bool CurrentTargetView(GraphicView& out) {
    BaseImage* image = gState.screen.drawTarget == kFrontScreen  ? &gState.screen.front
                       : gState.screen.drawTarget == kBackBuffer ? &gState.screen.back
                                                                 : nullptr;
    if (!image || !image->pixels) {
        return false;
    }
    out = GraphicView{image, 0, 0, image->width, image->height, false, true, 0};
    return true;
}

void PresentFrontScreen() {
    ++gState.screen.presentedFrames;
}

} // namespace velox
