// The stand-in behind DrawSeam.h: screen images set up directly in the graphics
// state, and test images registered as graphics through the test resolver.
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
    graphic::GraphicView view;
};

SeamGraphic gGraphics[kMaxGraphics];

bool SeamResolve(int32_t handle, graphic::GraphicView& out) {
    const int32_t index = handle - kHandleBase;
    if (index < 0 || index >= kMaxGraphics || !gGraphics[index].used) {
        return false;
    }
    out = gGraphics[index].view;
    return true;
}

} // namespace

namespace test {

image::BaseImage MakeImage(int width, int height, int family, bool alpha) {
    image::BaseImage image{};
    image.format = *image::GetSoftwareFormat(family, alpha, false);
    image.width = width;
    image.height = height;
    image.pitch = (width * image.format.bytesPerPixel + 3) / 4 * 4;
    image.pixels = static_cast<uint8_t*>(MemAllocZero(image.pitch * height, __FILE__, __LINE__));
    return image;
}

void SeamStart(int width, int height, int colorBits) {
    SeamEnd();
    graphic::GraphicsState& gState = graphic::Graphics();
    graphic::SetGraphicResolverForTesting(SeamResolve);
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
    graphic::GraphicsState& gState = graphic::Graphics();
    image::ReleaseBaseImage(gState.screen.back);
    image::ReleaseBaseImage(gState.screen.front);
    gState = graphic::GraphicsState{};
    std::memset(gGraphics, 0, sizeof gGraphics);
    graphic::SetGraphicResolverForTesting(nullptr);
}

int32_t SeamAddGraphic(image::BaseImage* image, int x, int y, int width, int height,
                       uint32_t transparentValue, bool drawTarget) {
    for (int i = 0; i < kMaxGraphics; ++i) {
        if (!gGraphics[i].used) {
            gGraphics[i].used = true;
            gGraphics[i].view = graphic::GraphicView{
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
    return int(graphic::Graphics().screen.presentedFrames);
}

image::BaseImage& SeamBack() {
    return graphic::Graphics().screen.back;
}

image::BaseImage& SeamFront() {
    return graphic::Graphics().screen.front;
}

uint32_t Pixel32(const image::BaseImage& image, int x, int y) {
    uint32_t v;
    std::memcpy(&v, image.pixels + int64_t(y) * image.pitch + 4 * x, 4);
    return v;
}

void SetPixel32(image::BaseImage& image, int x, int y, uint32_t value) {
    std::memcpy(image.pixels + int64_t(y) * image.pitch + 4 * x, &value, 4);
}

void FillImage32(image::BaseImage& image, uint32_t value) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            SetPixel32(image, x, y, value);
        }
    }
}

} // namespace test
} // namespace velox
