// Public screen operations for authoring tools: skipping ahead without presenting, and
// saving what the screen shows.
#include "core/EntryGate.h"
#include "graphics/GraphicsState.h"
#include "graphics/Screen.h"
#include "platform/Presentation.h"
#include "platform/headless/PngWriter.h"

#include <velox/authoring.h>

#include <cstring>

namespace velox {

int CopyToFrontScreen() {
    core::GateScope gate;
    graphic::ScreenState& screen = graphic::Graphics().screen;
    const image::BaseImage& back = screen.back;
    image::BaseImage& front = screen.front;
    if (!graphic::Graphics().screenReady || !back.pixels || !front.pixels ||
        back.width != front.width || back.height != front.height || back.pitch != front.pitch) {
        return -1;
    }
    std::memcpy(front.pixels, back.pixels, size_t(back.pitch) * size_t(back.height));
    return 0;
}

int ClearVisibleScreen() {
    core::GateScope gate;
    image::BaseImage& front = graphic::Graphics().screen.front;
    if (!graphic::Graphics().screenReady || !front.pixels) {
        return -1;
    }
    std::memset(front.pixels, 0, size_t(front.pitch) * size_t(front.height));
    return 0;
}

int RedrawVisibleScreen() {
    core::GateScope gate;
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;
    if (!graphic::screen_hooks::RepaintSource(&pixels, &width, &height, &pitch)) {
        return -1;
    }
    return platform::Presentation().Redraw(pixels, width, height, pitch) ? 0 : -1;
}

int SaveScreenPng(const char* path) {
    core::GateScope gate;
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;
    if (!path || !graphic::screen_hooks::RepaintSource(&pixels, &width, &height, &pitch)) {
        return -1;
    }
    return platform::headless::WritePng(path, pixels, width, height, pitch) ? 0 : -1;
}

} // namespace velox
