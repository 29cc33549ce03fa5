// The stand-in behind DrawSeam.h, defining the seam functions of GraphicsState.h for the
// draw tests only.
#include "DrawSeam.h"

#include "core/MemoryTracker.h"
#include "graphics/DrawState.h"

#include <velox/velox.h>

#include <cstring>

namespace velox {
namespace {

constexpr int32_t kHandleBase = 0x10000;
constexpr int kMaxGraphics = 64;

struct SeamGraphic {
    bool used;
    GraphicView view;
};

GraphicsState gState;
SeamGraphic gGraphics[kMaxGraphics];
int gPresented = 0;

} // namespace

GraphicsState& Graphics() {
    return gState;
}

int ScreenWidth() {
    return gState.screen.width != 0 ? gState.screen.width : 640;
}

int ScreenHeight() {
    return gState.screen.height != 0 ? gState.screen.height : 480;
}

bool ResolveGraphic(int32_t handle, GraphicView& out) {
    const int32_t index = handle - kHandleBase;
    if (index < 0 || index >= kMaxGraphics || !gGraphics[index].used) {
        return false;
    }
    out = gGraphics[index].view;
    return true;
}

bool CurrentTargetView(GraphicView& out) {
    if (!gState.screenReady) {
        return false;
    }
    const int32_t target = gState.screen.drawTarget;
    if (target == kDrawBackBuffer || target == kDrawFrontScreen) {
        BaseImage& image = target == kDrawBackBuffer ? gState.screen.back : gState.screen.front;
        out = GraphicView{&image, 0, 0, image.width, image.height, false, true, 0};
        return true;
    }
    return ResolveGraphic(target, out) && out.drawTarget;
}

void PresentFrontScreen() {
    ++gPresented;
}

namespace test {

BaseImage MakeImage(int width, int height, int family, bool alpha) {
    BaseImage image{};
    image.format = *GetSoftwareFormat(family, alpha, false);
    image.width = width;
    image.height = height;
    image.pitch = (width * image.format.bytesPerPixel + 3) / 4 * 4;
    image.pixels = static_cast<uint8_t*>(MemAllocZero(image.pitch * height, __FILE__, __LINE__));
    return image;
}

void SeamStart(int width, int height, int colorBits) {
    SeamEnd();
    gState.started = true;
    gState.screenReady = true;
    gState.screen.width = width;
    gState.screen.height = height;
    gState.screen.colorBits = colorBits;
    gState.screen.drawTarget = kDrawBackBuffer;
    const int family = colorBits == 16 ? 0 : 1;
    gState.screen.back = MakeImage(width, height, family, false);
    gState.screen.front = MakeImage(width, height, family, false);
    draw::ResetDrawState();
}

void SeamEnd() {
    ReleaseBaseImage(gState.screen.back);
    ReleaseBaseImage(gState.screen.front);
    gState = GraphicsState{};
    std::memset(gGraphics, 0, sizeof gGraphics);
    gPresented = 0;
}

int32_t SeamAddGraphic(BaseImage* image, int x, int y, int width, int height,
                       uint32_t transparentValue, bool drawTarget) {
    for (int i = 0; i < kMaxGraphics; ++i) {
        if (!gGraphics[i].used) {
            gGraphics[i].used = true;
            gGraphics[i].view = GraphicView{
                image,           x, y, width, height, image->format.alphaWidth != 0, drawTarget,
                transparentValue};
            return kHandleBase + i;
        }
    }
    return -1;
}

void SeamRemoveGraphic(int32_t handle) {
    const int32_t index = handle - kHandleBase;
    if (index >= 0 && index < kMaxGraphics) {
        gGraphics[index].used = false;
    }
}

int SeamPresentCount() {
    return gPresented;
}

BaseImage& SeamBack() {
    return gState.screen.back;
}

BaseImage& SeamFront() {
    return gState.screen.front;
}

uint32_t Pixel32(const BaseImage& image, int x, int y) {
    uint32_t v;
    std::memcpy(&v, image.pixels + int64_t(y) * image.pitch + 4 * x, 4);
    return v;
}

void SetPixel32(BaseImage& image, int x, int y, uint32_t value) {
    std::memcpy(image.pixels + int64_t(y) * image.pitch + 4 * x, &value, 4);
}

void FillImage32(BaseImage& image, uint32_t value) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            SetPixel32(image, x, y, value);
        }
    }
}

} // namespace test
} // namespace velox
