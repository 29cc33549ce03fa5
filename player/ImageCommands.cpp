// The picture commands. Every picture is composed on the back buffer: clear,
// the background stretched full screen, then the current image over it.
#include "Scene.h"
#include "Script.h"
#include "Warp.h"

#include <velox/velox.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace velox::player {
namespace {

SceneState gScene;

int32_t Arg(int i) {
    return Script().args[i];
}
bool SlotInRange(int32_t slot) {
    return slot >= 0 && slot < kSlots;
}

void DrawBackground() {
    if (gScene.background == 0) {
        return;
    }
    SetBrightness(255, 255, 255);
    SetBlendMode(1, 255);
    DrawGraphicStretched(0, 0, kScreenWidth, kScreenHeight, gScene.background, 0);
}

int DrawImage(int32_t handle, const ImagePlacement& p, int32_t transparent) {
    SetBrightness(p.brightness, p.brightness, p.brightness);
    SetBlendMode(1, p.alpha);
    int r = DrawGraphicRotated(p.x, p.y, p.centerX, p.centerY, p.scale, p.angle, handle,
                               transparent, 0);
    return r == -1 ? -10 : 0;
}

// The ten showimage arguments; false when the slot is empty or out of range.
bool PlacementFromArgs(int32_t& handle, ImagePlacement& p, int32_t& transparent) {
    handle = SlotInRange(Arg(0)) ? gScene.images[Arg(0)] : 0;
    p.scale = Arg(1) / 100.0;
    p.x = Arg(2);
    p.y = Arg(3);
    p.centerX = Arg(4);
    p.centerY = Arg(5);
    p.brightness = Arg(6);
    p.alpha = Arg(7);
    p.angle = Arg(8) * kRadiansPerDegree;
    transparent = Arg(9);
    return handle != 0;
}

int ReplaceBackgroundWithCapture() {
    if (gScene.background != 0) {
        DeleteGraphic(gScene.background, 0);
    }
    gScene.background = CreateBlankGraphic(kScreenWidth, kScreenHeight, 0);
    CaptureScreenToGraphic(0, 0, kScreenWidth, kScreenHeight, gScene.background, 1);
    return 0;
}

// start + trunc(m * ((target - start) / n) + 0.5), as the move interpolates
// integers; saturated, so that absurd script values cannot overflow.
int32_t Step(int32_t start, int32_t target, int m, double n) {
    double v = double(start) + std::trunc(m * ((double(target) - start) / n) + 0.5);
    return int32_t(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
}

} // namespace

int32_t FramesFor(int32_t duration) {
    return int32_t(std::clamp<int64_t>(int64_t(duration) * 3, INT32_MIN, INT32_MAX));
}

SceneState& Scene() {
    return gScene;
}
void ResetScene() {
    std::memset(&gScene, 0, sizeof gScene);
}

int ShowImage(int) {
    ClearScreen();
    ImagePlacement p{};
    int32_t handle = 0;
    int32_t transparent = 0;
    bool filled = PlacementFromArgs(handle, p, transparent);
    gScene.currentHandle = handle;
    gScene.current = p;
    gScene.currentTransparent = transparent;
    int result = -1;
    if (filled) {
        DrawBackground();
        result = DrawImage(handle, p, transparent);
    }
    PresentFrame();
    return result;
}

int DrawBackImage(int) {
    ClearScreen();
    ImagePlacement p{};
    int32_t handle = 0;
    int32_t transparent = 0;
    if (!PlacementFromArgs(handle, p, transparent)) {
        return -1;
    }
    DrawBackground();
    int result = DrawImage(handle, p, transparent);
    if (result != 0) {
        return result;
    }
    return ReplaceBackgroundWithCapture();
}

int MoveImage(int continuation) {
    if (continuation == 0) {
        gScene.moveStart = gScene.current;
        gScene.moveFrames = 0;
    }
    ClearScreen();
    const int m = ++gScene.moveFrames;
    const int32_t frames = FramesFor(Arg(8));
    ImagePlacement target{
        Arg(0) / 100.0, Arg(7) * kRadiansPerDegree, Arg(1), Arg(2), Arg(3), Arg(4), Arg(5), Arg(6)};
    const ImagePlacement& s = gScene.moveStart;
    ImagePlacement& c = gScene.current;
    if (frames > 0) {
        const double n = Arg(8) * 3.0;
        c.scale = s.scale + m * ((target.scale - s.scale) / n);
        c.angle = s.angle + m * ((target.angle - s.angle) / n);
        c.x = Step(s.x, target.x, m, n);
        c.y = Step(s.y, target.y, m, n);
        c.centerX = Step(s.centerX, target.centerX, m, n);
        c.centerY = Step(s.centerY, target.centerY, m, n);
        c.brightness = Step(s.brightness, target.brightness, m, n);
        c.alpha = Step(s.alpha, target.alpha, m, n);
    } else {
        c = target; // a move of no duration is its last frame
    }
    int result;
    if (gScene.currentHandle == 0) {
        result = -1;
    } else {
        DrawBackground();
        if (m < frames) {
            result = DrawImage(gScene.currentHandle, c, gScene.currentTransparent) == 0 ? 1 : -10;
        } else {
            c = target;
            gScene.moveStart = target;
            result = DrawImage(gScene.currentHandle, c, gScene.currentTransparent);
            if (result == 0) {
                gScene.moveFrames = 0;
            }
        }
    }
    PresentFrame();
    return result;
}

int LoadImage(int) {
    int32_t slot = Arg(0);
    if (!SlotInRange(slot)) {
        return -1;
    }
    const int32_t previous = gScene.images[slot];
    if (previous != 0) {
        DeleteGraphic(previous, 0);
    }
    // A background captured by attachbg or drawbackimage is named by no slot:
    // the new slot 0 graphic replaces it, so it goes too (else every such pair
    // would keep a whole screen alive).
    if (slot == 0 && gScene.background != 0 && gScene.background != previous) {
        DeleteGraphic(gScene.background, 0);
        gScene.background = 0;
    }
    int32_t handle = LoadGraphic(Script().strings[1], 0);
    if (handle == -1) {
        gScene.images[slot] = 0;
        return -2;
    }
    gScene.images[slot] = handle;
    if (slot == 0) {
        gScene.background = handle;
        DrawBackground();
        PresentFrame();
    }
    return 0;
}

int AttachBg(int) {
    if (gScene.background != 0) {
        DeleteGraphic(gScene.background, 0);
    }
    gScene.background = CreateBlankGraphic(kScreenWidth, kScreenHeight, 0);
    SetDrawTarget(kDrawFrontScreen);
    CaptureScreenToGraphic(0, 0, kScreenWidth, kScreenHeight, gScene.background, 1);
    SetDrawTarget(kDrawBackBuffer);
    return 0;
}

int DeleteBg(int) {
    if (gScene.background != 0) {
        DeleteGraphic(gScene.background, 0);
    }
    gScene.background = 0;
    gScene.images[0] = 0;
    return 0;
}

int Wait(int) {
    if (++gScene.waitFrames < FramesFor(Arg(0))) {
        return 1;
    }
    gScene.waitFrames = 0;
    return 0;
}

} // namespace velox::player
