#include "RunLoop.h"

#include "Scene.h"
#include "Screenshot.h"
#include "Script.h"
#include "Warp.h"

#include <velox/velox.h>

#include <cstring>

namespace velox::player {
namespace {

constexpr int kKeyEscape = 1;
constexpr int kKeySpace = 57;
constexpr int kKeyLeftCtrl = 29;
constexpr int kKeyRightCtrl = 157;
// Sleep until about this long before a frame is due, then poll.
constexpr uint64_t kPollWindowUs = 1000;
constexpr uint64_t kLastPumpUs = 400;

LoopState gLoop;

bool IsEndRecord(const ScriptLine& line) {
    return std::strcmp(line.text, "END") == 0;
}

// Waits until a full frame period has passed since the previous frame ended.
// Records without a command are never paced, and no record is while Ctrl is held.
void Pace(int32_t command) {
    if (gLoop.previousFrameTime == 0 || command == kNoCommand || gLoop.skipping) {
        return;
    }
    for (;;) {
        int64_t elapsed = int64_t(GetMicroCount(0) - gLoop.previousFrameTime);
        if (elapsed > int64_t(kFramePeriodUs) - 1) {
            return;
        }
        int64_t left = int64_t(kFramePeriodUs) - elapsed;
        if (left > int64_t(kPollWindowUs)) {
            SleepMicros(uint64_t(left) - kPollWindowUs);
        }
        // A message pass can take a good part of a millisecond; close to the
        // deadline only the clock is watched, so the frame does not run late.
        if (left > int64_t(kLastPumpUs)) {
            ProcessMessage();
        }
    }
}

void BeginPause() {
    SetDrawTarget(kDrawFrontScreen);
    CaptureScreenToGraphic(0, 0, kScreenWidth, kScreenHeight, gLoop.pauseGraphic, 1);
    SetDefaultFontSize(100);
    PrintText(295, 270, "STOP", GetColorValue(0, 255, 0), 0);
    SetDrawTarget(kDrawBackBuffer);
    gLoop.paused = 1;
    ++gLoop.pauseCount;
}

void EndPause() {
    gLoop.paused = 0;
    DrawGraphicStretched(0, 0, kScreenWidth, kScreenHeight, gLoop.pauseGraphic, 0);
    FlipScreen();
}

// Reads the keys twice per pass; stays here while paused. True when Escape ends the show.
bool KeysAndPause() {
    char keys[256];
    for (;;) {
        GetAllKeyState(keys);
        ScreenshotKeys(keys);
        gLoop.skipping = keys[kKeyLeftCtrl] || keys[kKeyRightCtrl] ? 1 : 0;
        if (keys[kKeyEscape]) {
            return true;
        }
        GetAllKeyState(keys);
        if (!keys[kKeyEscape] && keys[kKeySpace]) {
            if (!gLoop.spaceHeld) {
                if (!gLoop.paused) {
                    BeginPause();
                } else {
                    EndPause();
                }
            }
            gLoop.spaceHeld = 1;
        } else {
            gLoop.spaceHeld = 0;
        }
        if (!gLoop.paused) {
            return false;
        }
        // Keys are still read every millisecond; a paused show need not hold a core.
        SleepMicros(1000);
    }
}

} // namespace

LoopState& Loop() {
    return gLoop;
}
void ResetLoop() {
    std::memset(&gLoop, 0, sizeof gLoop);
}

int RunScript() {
    gLoop.pauseGraphic = CreateBlankGraphic(kScreenWidth, kScreenHeight, 0);
    gLoop.current = 1;
    gLoop.startTime = GetMicroCount(0);
    for (;;) {
        if (gLoop.current >= kScriptRecords) {
            return 0; // a table without its end record: never read past it
        }
        const ScriptLine& record = Script().lines[gLoop.current];
        if (Warping()) {
            if (IsEndRecord(record) && !FadeRunning()) {
                ShowVisiblePicture();
                return 0;
            }
            gLoop.lineResult = WarpRecord(record);
            gLoop.reportedLine = gLoop.current;
            gLoop.current += IsEndRecord(record) ? 0 : 1;
            if (gLoop.lineResult < 0 || !Warping()) {
                ShowVisiblePicture();
            }
            if (gLoop.lineResult < 0) {
                return gLoop.lineResult;
            }
            continue;
        }
        if (gLoop.lineObserver) {
            gLoop.lineObserver(gLoop.current);
        }
        if (IsEndRecord(record) && !FadeRunning()) {
            return 0;
        }
        TokenizeLine(record.text);
        gLoop.lineResult = 0;
        do {
            gLoop.lineResult = RunCommand(record.command, gLoop.lineResult);
            Pace(record.command);
            if (KeysAndPause()) {
                return 0;
            }
            gLoop.previousFrameTime = GetMicroCount(0);
            gLoop.frames += record.command != kNoCommand ? 1 : 0;
            if (gLoop.frameObserver) {
                gLoop.frameObserver(gLoop.previousFrameTime);
            }
            if (FadeRunning()) {
                FadeStep();
            }
        } while (gLoop.lineResult == 1);
        gLoop.reportedLine = gLoop.current;
        if (!IsEndRecord(record)) {
            ++gLoop.current;
        }
        if (gLoop.lineResult < 0) {
            return gLoop.lineResult;
        }
    }
}

} // namespace velox::player
