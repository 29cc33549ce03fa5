// What the screen provides to the graphic table, for these tests only: the graphics
// state, the screen size and the current draw target as a view.
#include "graphics/GraphicsState.h"

namespace velox {

GraphicsState& Graphics() {
    static GraphicsState state{};
    return state;
}

int ScreenWidth() {
    return Graphics().screen.width == 0 ? 640 : Graphics().screen.width;
}

int ScreenHeight() {
    return Graphics().screen.height == 0 ? 480 : Graphics().screen.height;
}

bool CurrentTargetView(GraphicView& out) {
    GraphicsState& g = Graphics();
    if (g.screen.drawTarget == kBackBuffer || g.screen.drawTarget == kFrontScreen) {
        BaseImage& image = g.screen.drawTarget == kBackBuffer ? g.screen.back : g.screen.front;
        if (!image.pixels) {
            return false;
        }
        out = GraphicView{&image, 0, 0, image.width, image.height, false, true, 0};
        return true;
    }
    return ResolveGraphic(g.screen.drawTarget, out);
}

void PresentFrontScreen() {}

} // namespace velox
