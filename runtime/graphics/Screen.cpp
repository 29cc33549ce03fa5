#include "graphics/Screen.h"

#include "core/EntryGate.h"
#include "core/Log.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "graphics/DrawState.h"
#include "graphics/GraphicTable.h"
#include "graphics/GraphicsState.h"
#include "platform/Clock.h"
#include "platform/Presentation.h"
#include "platform/Window.h"
#include "text/Fonts.h"

#include <velox/velox.h>

#include <cstring>
#include <vector>

namespace velox {
namespace {

graphic::GraphicsState gGraphics = [] {
    graphic::GraphicsState g{};
    g.screen.colorBits = 16;
    g.screen.drawTarget = core::kBackBuffer;
    g.draw.brightness = 0xFFFFFF;
    g.draw.blendGraphic = -1;
    return g;
}();

constexpr uint32_t kModeChangeSpacingMs = 2000;

int EffectiveWidth(int w) {
    return w == 0 ? 640 : w;
}
int EffectiveHeight(int h) {
    return h == 0 ? 480 : h;
}

bool TargetSize(int target, int& width, int& height) {
    graphic::GraphicView view{};
    if (target == core::kBackBuffer || target == core::kFrontScreen) {
        width = graphic::ScreenWidth();
        height = graphic::ScreenHeight();
        return true;
    }
    if (!graphic::ResolveGraphic(target, view)) {
        return false;
    }
    width = view.width;
    height = view.height;
    return true;
}

void SetWholeDrawArea(int width, int height) {
    graphic::DrawArea& a = gGraphics.draw.area;
    a = {0, 0, width, height, width == 0 || height == 0};
}

// The screen images hold the screen's software format; the platform wants
// 0x00RRGGBB, which a 32-bit screen already is.
void PresentImage(const image::BaseImage& image) {
    if (!image.pixels) {
        return;
    }
    if (image.format.bytesPerPixel == 4) {
        platform::Presentation().Present(reinterpret_cast<const uint32_t*>(image.pixels),
                                         image.width, image.height, image.pitch);
        return;
    }
    std::vector<uint32_t> converted(size_t(image.width) * size_t(image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            converted[size_t(y) * size_t(image.width) + size_t(x)] =
                image::GetBaseImagePixelArgb(image, x, y) & 0x00FFFFFFu;
        }
    }
    platform::Presentation().Present(converted.data(), image.width, image.height, image.width * 4);
}

bool CreateScreenImage(image::BaseImage& image, const image::ColorFormat& format, int width,
                       int height) {
    image::ReleaseBaseImage(image);
    image.format = format;
    image.width = width;
    image.height = height;
    int64_t pitch = (int64_t(width) * format.bytesPerPixel + 3) & ~int64_t(3);
    int64_t bytes = pitch * height;
    if (bytes <= 0 || bytes > INT32_MAX) {
        return false;
    }
    image.pitch = int32_t(pitch);
    image.pixels = static_cast<uint8_t*>(MemAllocZero(int32_t(bytes), nullptr, 0));
    return image.pixels != nullptr;
}

// Rebuilds everything that depends on the screen: the format and both images.
int RebuildScreen() {
    graphic::ScreenState& s = gGraphics.screen;
    LogWrite(SJIS("画面モード変更処理を開始します\n"));
    LogIndentAdd();
    // Display modes that change in quick succession upset monitors; keep them apart.
    uint32_t now = platform::MilliCount();
    if (s.modeChangedOnce && now - s.lastModeChangeMs < kModeChangeSpacingMs) {
        platform::SleepMillis(s.lastModeChangeMs + kModeChangeSpacingMs + 60 - now);
    } else {
        platform::SleepMillis(60);
    }
    s.lastModeChangeMs = platform::MilliCount();
    s.modeChangedOnce = true;

    graphic::DeleteAllGraphicsInner(0);
    int depth = s.colorBits;
    image::SelectScreenFormat(s.format, depth, true, nullptr);
    s.colorBits = depth;
    const int width = graphic::ScreenWidth();
    const int height = graphic::ScreenHeight();
    LogWrite(SJIS("画面解像度を変更します... "));
    if (!CreateScreenImage(s.back, s.format, width, height) ||
        !CreateScreenImage(s.front, s.format, width, height)) {
        image::ReleaseBaseImage(s.back);
        image::ReleaseBaseImage(s.front);
        gGraphics.screenReady = false;
        LogWrite(SJIS("DirectDrawSurface の初期化に失敗しました\n"));
        LogIndentSub();
        return -1;
    }
    LogWrite(SJIS("成功しました\n"));
    gGraphics.screenReady = true;
    if (s.drawTarget != core::kBackBuffer && s.drawTarget != core::kFrontScreen) {
        s.drawTarget = core::kBackBuffer; // the graphic it named is gone
    }
    SetWholeDrawArea(width, height);
    LogWriteFormat(SJIS("スキャンラインの数:%d\n"), height);
    // Memory screens have no retrace to measure; the display runs at about 60 Hz.
    LogWriteFormat(SJIS("１フレーム当たりの時間は %d msecです"), 16);
    LogIndentSub();
    return 0;
}

// A windowed window follows the screen size; full screen scales the picture.
void ResizeWindowForScreen() {
    const core::CoreState& state = core::Core();
    if (state.windowExists && state.settings.windowMode == 1) {
        int width = 0, height = 0;
        core::WindowClientSize(width, height);
        platform::Window().SetClientSize(width, height);
    }
}

void FillView(const graphic::GraphicView& view, uint32_t value) {
    image::BaseImage& image = *view.image;
    const int bytes = image.format.bytesPerPixel;
    for (int y = view.y; y < view.y + view.height; ++y) {
        uint8_t* row = image.pixels + int64_t(y) * image.pitch;
        if (bytes == 4) {
            auto* p = reinterpret_cast<uint32_t*>(row) + view.x;
            std::fill(p, p + view.width, value);
        } else {
            for (int x = view.x; x < view.x + view.width; ++x) {
                image::WritePixelValue(row, x, bytes, value);
            }
        }
    }
}

} // namespace

graphic::GraphicsState& graphic::Graphics() {
    return gGraphics;
}
int graphic::ScreenWidth() {
    return EffectiveWidth(gGraphics.screen.width);
}
int graphic::ScreenHeight() {
    return EffectiveHeight(gGraphics.screen.height);
}

bool graphic::CurrentTargetView(graphic::GraphicView& out) {
    graphic::ScreenState& s = gGraphics.screen;
    if (s.drawTarget == core::kBackBuffer || s.drawTarget == core::kFrontScreen) {
        image::BaseImage& image = s.drawTarget == core::kBackBuffer ? s.back : s.front;
        if (!image.pixels) {
            return false;
        }
        out = {&image, 0, 0, image.width, image.height, false, true, 0};
        return true;
    }
    return graphic::ResolveGraphic(s.drawTarget, out) && out.drawTarget;
}

// A direct draw on the front screen is a presented picture of its own.
void graphic::PresentFrontScreen() {
    if (gGraphics.screen.front.pixels) {
        PresentImage(gGraphics.screen.front);
        ++gGraphics.screen.presentedFrames;
    }
}

int graphic::SetScreenModeInner(int width, int height, int colorBits, int refreshRate) {
    graphic::ScreenState& s = gGraphics.screen;
    if (gGraphics.started) {
        graphic::DeleteAllGraphicsInner(0);
    }
    width = width == -1 ? s.width : width;
    height = height == -1 ? s.height : height;
    colorBits = colorBits == -1 ? s.colorBits : colorBits;
    refreshRate = refreshRate == -1 ? s.refreshRate : refreshRate;
    if (width <= 0 || height <= 0 || (colorBits != 8 && colorBits != 16 && colorBits != 32)) {
        return -1;
    }
    s.requestedColorBits = colorBits;
    const bool changed = width != s.width || height != s.height || colorBits != s.colorBits ||
                         refreshRate != s.refreshRate;
    s.width = width;
    s.height = height;
    s.colorBits = colorBits;
    s.refreshRate = refreshRate;
    if (!gGraphics.started || (!changed && gGraphics.screenReady)) {
        return 0;
    }
    if (RebuildScreen() != 0) {
        return -1;
    }
    ResizeWindowForScreen();
    // Memory screens take any mode, but an 8-bit request runs as 16 bits.
    return s.colorBits == colorBits ? 0 : -1;
}

int graphic::SetDrawTargetInner(int target) {
    if (!gGraphics.started) {
        return -1;
    }
    core::WaitWhileInactive();
    graphic::ScreenState& s = gGraphics.screen;
    if (target != core::kBackBuffer && target != core::kFrontScreen) {
        graphic::GraphicView view{};
        if (!graphic::ResolveGraphic(target, view) || !view.drawTarget) {
            return -1;
        }
    }
    int oldWidth = 0, oldHeight = 0, newWidth = 0, newHeight = 0;
    bool hadOld = TargetSize(s.drawTarget, oldWidth, oldHeight);
    TargetSize(target, newWidth, newHeight);
    s.drawTarget = target;
    if (!hadOld || oldWidth != newWidth || oldHeight != newHeight) {
        SetWholeDrawArea(newWidth, newHeight);
    }
    return 0;
}

int graphic::ClearScreenInner() {
    if (!gGraphics.screenReady) {
        return 0;
    }
    core::WaitWhileInactive();
    graphic::GraphicView view{};
    if (!graphic::CurrentTargetView(view)) {
        return 0;
    }
    const graphic::ScreenState& s = gGraphics.screen;
    FillView(view,
             graphic::GetColorValueInner(s.backgroundRed, s.backgroundGreen, s.backgroundBlue));
    if (gGraphics.screen.drawTarget == core::kFrontScreen) {
        graphic::PresentFrontScreen();
    }
    return 0;
}

int graphic::FlipScreenInner() {
    if (!gGraphics.screenReady) {
        return -1;
    }
    core::WaitWhileInactive();
    graphic::ScreenState& s = gGraphics.screen;
    if (s.drawTarget == core::kFrontScreen && s.waitRetrace) {
        // Nothing to flip: wait for one display refresh instead.
        ++s.presentedFrames;
        uint64_t until = GetMicroCount(0) + 16667;
        while (GetMicroCount(0) < until) {
            core::ProcessMessage();
            platform::SleepMillis(1);
        }
        return 0;
    }
    std::memcpy(s.front.pixels, s.back.pixels, size_t(s.back.pitch) * size_t(s.back.height));
    PresentImage(s.front);
    ++s.presentedFrames;
    return 0;
}

uint32_t graphic::GetColorValueInner(int red, int green, int blue) {
    image::ScreenColorSource source;
    source.depth = gGraphics.screen.colorBits;
    source.softwareRendering = true;
    source.displayFormat = &gGraphics.screen.format;
    source.palette = gGraphics.screen.palette;
    if (gGraphics.screen.format.colorBitDepth == 0) {
        int depth = gGraphics.screen.colorBits;
        image::SelectScreenFormat(gGraphics.screen.format, depth, true, nullptr);
    }
    return image::ScreenColorValue(source, red, green, blue);
}

int graphic::StartGraphicsLayer() {
    if (gGraphics.started) {
        return 0;
    }
    LogWrite(SJIS("グラフィック管理系の初期化を行います\n"));
    LogIndentAdd();
    graphic::ScreenState keep = gGraphics.screen; // the recorded mode survives the clearing
    gGraphics = graphic::GraphicsState{};
    gGraphics.screen.width = keep.width;
    gGraphics.screen.height = keep.height;
    gGraphics.screen.colorBits = keep.colorBits;
    gGraphics.screen.refreshRate = keep.refreshRate;
    gGraphics.screen.requestedColorBits = keep.requestedColorBits;
    gGraphics.screen.lastModeChangeMs = keep.lastModeChangeMs;
    gGraphics.screen.modeChangedOnce = keep.modeChangedOnce;
    gGraphics.screen.drawTarget = core::kBackBuffer;
    graphic::StartGraphicTable();
    draw::ResetDrawState();
    LogWrite(SJIS("３Ｄグラフィック描画機能は使用しません\n"));
    gGraphics.started = true;
    if (RebuildScreen() != 0) {
        gGraphics.started = false;
        LogIndentSub();
        return -1;
    }
    gGraphics.screen.drawTarget = core::kFrontScreen;
    SetWholeDrawArea(graphic::ScreenWidth(), graphic::ScreenHeight());
    text::ResetDefaultFontSettings();
    text::InitFonts();
    LogIndentSub();
    LogWrite(SJIS("グラフィック管理系の初期化は正常に終了しました\n"));
    return 0;
}

void graphic::EndGraphicsLayer() {
    if (!gGraphics.started) {
        return;
    }
    text::EndFonts();
    graphic::EndGraphicTable();
    image::ReleaseBaseImage(gGraphics.screen.back);
    image::ReleaseBaseImage(gGraphics.screen.front);
    gGraphics.screenReady = false;
    gGraphics.started = false;
    LogWrite(SJIS("グラフィック管理系の終了処理は正常に終了しました\n"));
}

namespace graphic::screen_hooks {

void ScreenMode(int* width, int* height, int* colorBits) {
    *width = ScreenWidth();
    *height = ScreenHeight();
    *colorBits = gGraphics.screen.colorBits;
}

void EnableRetraceWait() {
    gGraphics.screen.waitRetrace = true;
    platform::Presentation().SetVsync(true);
}

int ApplyScreenMode() {
    ResizeWindowForScreen();
    return 0;
}

// Memory images are never lost, so drawing may always go on.
bool CanDrawWhileInactive() {
    return true;
}

bool RepaintSource(const uint32_t** pixels, int* width, int* height, int* pitchBytes) {
    const image::BaseImage& front = gGraphics.screen.front;
    if (!gGraphics.screenReady || front.format.bytesPerPixel != 4) {
        return false;
    }
    *pixels = reinterpret_cast<const uint32_t*>(front.pixels);
    *width = front.width;
    *height = front.height;
    *pitchBytes = front.pitch;
    return true;
}

} // namespace graphic::screen_hooks

// ---- public operations ---------------------------------------------------

int SetScreenMode(int width, int height, int colorBits, int refreshRate) {
    core::GateScope gate;
    return graphic::SetScreenModeInner(width, height, colorBits, refreshRate);
}

int SetDrawTarget(int target) {
    core::GateScope gate;
    return graphic::SetDrawTargetInner(target);
}

int ClearScreen() {
    core::GateScope gate;
    return graphic::ClearScreenInner();
}

int FlipScreen() {
    core::GateScope gate;
    return graphic::FlipScreenInner();
}

uint32_t GetColorValue(int red, int green, int blue) {
    core::GateScope gate;
    return graphic::GetColorValueInner(red, green, blue);
}

} // namespace velox
