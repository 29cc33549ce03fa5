#include "core/MemoryTracker.h"
#include "core/Runtime.h"
#include "graphics/GraphicRecord.h"
#include "image/ConvertPixels.h"

#include <cstring>

namespace velox::graphic {
namespace {

bool Overlap(const image::PixelRect& a, const image::PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

} // namespace

int CaptureScreenToGraphic(int x1, int y1, int x2, int y2, int32_t handle) {
    if (!GraphicTableStarted()) {
        return -1;
    }
    core::WaitWhileInactive();
    GraphicView to{};
    GraphicView from{};
    if (!ResolveGraphic(handle, to) || !CurrentTargetView(from)) {
        return -1;
    }
    if (x1 < 0 || y1 < 0 || x2 > from.width || y2 > from.height || x1 >= x2 || y1 >= y2 ||
        x2 - x1 != to.width || y2 - y1 != to.height) {
        return -1;
    }
    // The copy is opaque: a graphic with alpha gets alpha 255 wherever it was captured.
    image::ColorFormat opaque = from.image->format;
    opaque.alphaMask = 0;
    opaque.alphaWidth = 0;
    opaque.alphaShift = 0;
    image::PixelBlock source{from.image->pixels, from.image->pitch, &opaque};
    image::PixelRect rect{from.x + x1, from.y + y1, from.x + x2, from.y + y2};
    const image::PixelRect target{to.x, to.y, to.x + to.width, to.y + to.height};

    // Capturing a graphic target into a graphic that shares its store: when the two
    // rectangles overlap at different places, copy the source out first.
    uint8_t* staged = nullptr;
    if (from.image->pixels == to.image->pixels && Overlap(rect, target) &&
        (rect.left != target.left || rect.top != target.top)) {
        const int32_t rowBytes = to.width * opaque.bytesPerPixel;
        staged = static_cast<uint8_t*>(MemAlloc(rowBytes * to.height, __FILE__, __LINE__));
        if (!staged) {
            return -1;
        }
        for (int y = 0; y < to.height; ++y) {
            std::memcpy(staged + int64_t(y) * rowBytes,
                        from.image->pixels + int64_t(rect.top + y) * from.image->pitch +
                            int64_t(rect.left) * opaque.bytesPerPixel,
                        size_t(rowBytes));
        }
        source = image::PixelBlock{staged, rowBytes, &opaque};
        rect = image::PixelRect{0, 0, to.width, to.height};
    }
    const image::PixelBlock noAlpha{nullptr, 0, nullptr};
    image::ConvertPixels(to.image->pixels, to.image->pitch, to.image->format, source, noAlpha, to.x,
                         to.y, rect, image::ConvertOptions{});
    MemFree(staged);
    return 0;
}

} // namespace velox::graphic
