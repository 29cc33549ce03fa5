#include "Warp.h"

#include "RunLoop.h"
#include "Scene.h"
#include <velox/authoring.h>
#include <velox/velox.h>

#include <algorithm>

namespace velox::player {

bool Warping() {
    return Loop().current < Loop().startLine;
}

void PresentFrame() {
    if (!Warping()) {
        FlipScreen();
        return;
    }
    CopyToFrontScreen();
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
    ClearVisibleScreen();
}

void ShowVisiblePicture() {
    RedrawVisibleScreen();
}

} // namespace velox::player
