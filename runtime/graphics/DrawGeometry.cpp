// Drawing a graphic onto the draw target: the common head of every draw, the geometry of
// the stretched and rotated draws and the variants they reduce to, and the public draws.
#include "blit/Blit.h"
#include "blit/DrawPlacement.h"
#include "core/EntryGate.h"
#include "core/MemoryTracker.h"
#include "core/Runtime.h"
#include "graphics/DrawState.h"
#include "graphics/GraphicsState.h"

#include <velox/velox.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace velox::draw {
namespace {

enum class Head { Draw, NothingToDo, Fail };

// Everything one draw needs; the destructor frees a source copy and presents a draw on
// the front screen.
struct DrawJob {
    graphic::GraphicView graphic{};
    blit::Source source{};
    blit::Target target{};
    blit::Paint paint{};
    uint32_t palette[256];
    uint8_t* sourceCopy = nullptr;
    bool frontScreen = false;
    bool drawn = false;

    DrawJob() = default;
    DrawJob(const DrawJob&) = delete;
    DrawJob& operator=(const DrawJob&) = delete;
    ~DrawJob() {
        if (sourceCopy != nullptr) {
            MemFree(sourceCopy);
        }
        if (drawn && frontScreen) {
            graphic::PresentFrontScreen();
        }
    }
};

uint8_t* PixelAt(const image::BaseImage& image, int32_t x, int32_t y) {
    return image.pixels + int64_t(y) * image.pitch + int64_t(x) * image.format.bytesPerPixel;
}

// A graphic drawn onto the image it lives in is read from a copy, so that no pixel is
// read after the draw has overwritten it.
bool DetachSource(DrawJob& job) {
    const int64_t rowBytes = int64_t(job.graphic.width) * job.graphic.image->format.bytesPerPixel;
    const int64_t size = rowBytes * job.graphic.height;
    if (size <= 0 || size > INT32_MAX) {
        return false;
    }
    job.sourceCopy = static_cast<uint8_t*>(MemAlloc(int32_t(size), __FILE__, __LINE__));
    if (job.sourceCopy == nullptr) {
        return false;
    }
    for (int32_t y = 0; y < job.graphic.height; ++y) {
        std::memcpy(job.sourceCopy + rowBytes * y,
                    job.source.pixels + int64_t(y) * job.source.pitch, size_t(rowBytes));
    }
    job.source.pixels = job.sourceCopy;
    job.source.pitch = int32_t(rowBytes);
    return true;
}

// What every draw checks first (empty area, handle, blend graphic size, inactive window),
// then the source, target and paint of the blitters.
Head Begin(int32_t graphic, int transparent, DrawJob& job) {
    graphic::GraphicsState& g = graphic::Graphics();
    const graphic::DrawState& d = g.draw;
    if (d.area.empty) {
        return Head::NothingToDo;
    }
    if (!graphic::ResolveGraphic(graphic, job.graphic) || job.graphic.image == nullptr ||
        job.graphic.image->pixels == nullptr || job.graphic.width <= 0 || job.graphic.height <= 0) {
        return Head::Fail;
    }
    if (d.blendGraphic != -1) {
        graphic::GraphicView blend{};
        if (graphic::ResolveGraphic(d.blendGraphic, blend) &&
            (blend.width < job.graphic.width || blend.height < job.graphic.height)) {
            return Head::Fail;
        }
    }
    core::WaitWhileInactive();
    graphic::GraphicView targetView{};
    if (!graphic::CurrentTargetView(targetView) || targetView.image == nullptr ||
        targetView.image->pixels == nullptr) {
        return Head::Fail;
    }
    const image::BaseImage& targetImage = *targetView.image;
    job.target.kind = blit::KindOfFormat(targetImage.format);
    if (!blit::IsTargetKind(job.target.kind)) {
        return Head::Fail;
    }
    job.target.pixels = PixelAt(targetImage, targetView.x, targetView.y);
    job.target.pitch = targetImage.pitch;
    job.target.width = targetView.width;
    job.target.height = targetView.height;
    job.target.clip = blit::Rect{d.area.left, d.area.top, d.area.right, d.area.bottom};

    const image::BaseImage& image = *job.graphic.image;
    blit::Source& s = job.source;
    s.pixels = PixelAt(image, job.graphic.x, job.graphic.y);
    s.pitch = image.pitch;
    s.width = job.graphic.width;
    s.height = job.graphic.height;
    s.kind = blit::KindOfFormat(image.format);
    s.format = &image.format;
    if (s.kind == blit::PixelKind::Indexed8) {
        blit::PaletteSamples(image.format, job.palette);
        s.palette = job.palette;
    }
    s.keyed = transparent != 0;
    if (s.keyed) {
        int r = 0, gr = 0, b = 0;
        image::DecomposeColor(image.format, job.graphic.transparentValue, &r, &gr, &b, nullptr);
        s.key = uint32_t(r) << 16 | uint32_t(gr) << 8 | uint32_t(b);
    }
    if (image.pixels == targetImage.pixels && !DetachSource(job)) {
        return Head::Fail;
    }
    job.paint = blit::Paint{d.blendMode, d.blendParameter, d.brightness, d.drawFilter != 0};
    job.frontScreen = g.screen.drawTarget == kDrawFrontScreen;
    return Head::Draw;
}

// Runs a placement after the common head; a draw on the front screen is presented.
template <typename Place> int Draw(int32_t graphic, int transparent, Place place) {
    DrawJob job;
    const Head head = Begin(graphic, transparent, job);
    if (head != Head::Draw) {
        return head == Head::Fail ? -1 : 0;
    }
    const int result = place(job);
    job.drawn = result == 0;
    return result;
}

} // namespace

int DrawGraphicStretched(int x1, int y1, int x2, int y2, int32_t graphic, int transparent) {
    return Draw(graphic, transparent, [&](DrawJob& job) {
        return blit::PlaceStretched(job.target, job.source, x1, y1, x2, y2, job.paint);
    });
}

int DrawGraphicRotated(int x, int y, int centerX, int centerY, double scale, double angle,
                       int32_t graphic, int transparent, int turn) {
    return Draw(graphic, transparent, [&](DrawJob& job) {
        return blit::PlaceRotated(job.target, job.source, x, y, centerX, centerY, scale, angle,
                                  turn != 0, job.paint);
    });
}

int FillRectangle(int left, int top, int right, int bottom, uint32_t color) {
    graphic::GraphicsState& g = graphic::Graphics();
    if (g.draw.area.empty) {
        return 0;
    }
    core::WaitWhileInactive();
    graphic::GraphicView view{};
    if (!graphic::CurrentTargetView(view) || view.image == nullptr ||
        view.image->pixels == nullptr) {
        return -1;
    }
    blit::Target target{PixelAt(*view.image, view.x, view.y),
                        view.image->pitch,
                        view.width,
                        view.height,
                        blit::KindOfFormat(view.image->format),
                        {g.draw.area.left, g.draw.area.top, g.draw.area.right, g.draw.area.bottom}};
    if (!blit::IsTargetKind(target.kind)) {
        return -1;
    }
    const blit::Paint paint{g.draw.blendMode, g.draw.blendParameter, g.draw.brightness,
                            g.draw.drawFilter != 0};
    blit::FillRect(target,
                   blit::Rect{std::min(left, right), std::min(top, bottom), std::max(left, right),
                              std::max(top, bottom)},
                   color & 0xFFFFFF, paint);
    if (g.screen.drawTarget == kDrawFrontScreen) {
        graphic::PresentFrontScreen();
    }
    return 0;
}

} // namespace velox::draw

namespace velox {

int DrawGraphicStretched(int x1, int y1, int x2, int y2, int graphic, int transparent) {
    core::GateScope gate;
    return draw::GraphicsSuspended()
               ? 0
               : draw::DrawGraphicStretched(x1, y1, x2, y2, graphic, transparent);
}

int DrawGraphicRotated(int x, int y, int centerX, int centerY, double scale, double angle,
                       int graphic, int transparent, int turn) {
    core::GateScope gate;
    return draw::GraphicsSuspended() ? 0
                                     : draw::DrawGraphicRotated(x, y, centerX, centerY, scale,
                                                                angle, graphic, transparent, turn);
}

} // namespace velox
