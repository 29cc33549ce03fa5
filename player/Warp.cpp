#include "Warp.h"

#include "RunLoop.h"
#include "Scene.h"
#include "core/EntryGate.h"
#include "graphics/GraphicsState.h"
#include "graphics/Screen.h"
#include "platform/Presentation.h"

#include <velox/velox.h>

#include <algorithm>
#include <cstring>

namespace velox::player {

bool Warping() {
    return Loop().current < Loop().startLine;
}

void PresentFrame() {
    if (!Warping()) {
        FlipScreen();
        return;
    }
    GateScope gate;
    ScreenState& screen = Graphics().screen;
    const BaseImage& back = screen.back;
    BaseImage& front = screen.front;
    if (!Graphics().screenReady || !back.pixels || !front.pixels || back.width != front.width ||
        back.height != front.height || back.pitch != front.pitch) {
        return;
    }
    std::memcpy(front.pixels, back.pixels, size_t(back.pitch) * size_t(back.height));
}

int WarpRecord(const ScriptLine& record) {
    TokenizeLine(record.text);
    const int32_t code = record.command;
    const int32_t* args = Script().args;
    int frames = 1;
    int result = 0;
    if (code == kWait) {
        frames = std::max(1, FramesFor(args[0]));
    } else if (code == kPlaySound) {
        // Effects belong to the moment they were played in; only a failure is kept.
        if (args[0] < 0 || args[0] >= kSlots || Scene().sounds[args[0]] == 0) {
            result = -1;
        }
    } else if (code == kMoveImage) {
        frames = std::max(1, FramesFor(args[8]));
        result = RunCommand(code, 0);
        if (result == 1) {
            Scene().moveFrames = std::max(Scene().moveFrames, frames - 1);
            result = RunCommand(code, 1);
        }
    } else {
        result = RunCommand(code, 0);
    }
    for (int i = 0; i < frames && result >= 0 && FadeRunning(); ++i) {
        FadeStep();
    }
    return result;
}

void ClearVisiblePicture() {
    GateScope gate;
    BaseImage& front = Graphics().screen.front;
    if (Graphics().screenReady && front.pixels) {
        std::memset(front.pixels, 0, size_t(front.pitch) * size_t(front.height));
    }
}

void ShowVisiblePicture() {
    GateScope gate;
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;
    if (screen_hooks::RepaintSource(&pixels, &width, &height, &pitch)) {
        platform::Presentation().Redraw(pixels, width, height, pitch);
    }
}

} // namespace velox::player
