#include "RunLoop.h"

#include "Scene.h"
#include "Screenshot.h"
#include "Script.h"
#include "StopSignals.h"
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

// Waits until the current frame is due on the show's timeline. Records without a
// command are never paced, and no record is while Ctrl is held.
void Pace(int32_t command) {
    if (command == kNoCommand || gLoop.skipping) {
        return;
    }
    for (;;) {
        uint64_t left = gLoop.timeline.WaitUs(GetMicroCount(0));
        if (left == 0) {
            return;
        }
        if (left > kPollWindowUs) {
            SleepMicros(left - kPollWindowUs);
        }
        // A message pass can take a good part of a millisecond; close to the
        // deadline only the clock is watched, so the frame does not run late.
        if (left > kLastPumpUs) {
            ProcessMessage();
        }
    }
}

void BeginPause() {
    SetDrawTarget(kDrawFrontScreen);
    UseDefaultDrawState();
    CaptureScreenToGraphic(0, 0, kScreenWidth, kScreenHeight, gLoop.pauseGraphic, 1);
    SetDefaultFontSize(100);
    PrintText(295, 270, "STOP", GetColorValue(0, 255, 0), 0);
    SetDrawTarget(kDrawBackBuffer);
    gLoop.paused = 1;
    ++gLoop.pauseCount;
}

void EndPause() {
    gLoop.paused = 0;
    UseDefaultDrawState();
    // The time spent paused is not lateness to make up.
    gLoop.timeline.Reanchor();
    DrawGraphicStretched(0, 0, kScreenWidth, kScreenHeight, gLoop.pauseGraphic, 0);
    FlipScreen();
}

// A closed window or a stop signal ends the show wherever it is, paused or not. Once the
// window is gone the key buffer is no longer refreshed, so the pump must be asked.
bool OutsideEnd() {
    if (StopSignal() != 0) {
        gLoop.endedBy = LoopEnd::Signal;
        return true;
    }
    if (ProcessMessage() == -1) {
        gLoop.endedBy = LoopEnd::WindowClosed;
        return true;
    }
    return false;
}

// Reads the keys twice per pass; stays here while paused. True when Escape, a closed
// window, a stop signal or a story to reload ends the show.
bool KeysAndPause() {
    char keys[256];
    for (;;) {
        if (OutsideEnd()) {
            return true;
        }
        GetAllKeyState(keys);
        ScreenshotKeys(keys);
        gLoop.skipping = keys[kKeyLeftCtrl] || keys[kKeyRightCtrl] ? 1 : 0;
        if (keys[kKeyEscape]) {
            gLoop.endedBy = LoopEnd::Escape;
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
        if (gLoop.reloadCheck && gLoop.reloadCheck(gLoop.current)) {
            gLoop.endedBy = LoopEnd::Reload;
            return true;
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

void UseDefaultDrawState() {
    SetBrightness(255, 255, 255);
    SetBlendMode(0, 0);
    SetDrawFilter(1);
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
                gLoop.timeline.Reanchor(); // the show's time starts at the line warped to
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
            if (gLoop.skipping) {
                // Frames rushed while Ctrl is held; the timeline starts again after it.
                gLoop.timeline.Reanchor();
            } else if (record.command == kNoCommand) {
                gLoop.timeline.PassEnded(gLoop.previousFrameTime);
            } else {
                gLoop.timeline.FrameEnded(gLoop.previousFrameTime);
            }
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
