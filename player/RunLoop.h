// The execution loop: one script record at a time, one frame per 33333 us,
// Escape ends the show and Space pauses it.
#pragma once

#include <cstdint>

namespace velox::player {

constexpr uint64_t kFramePeriodUs = 33333;

// Why RunScript returned early; Script end and failures leave it at None.
enum class LoopEnd : int32_t { None, Escape, WindowClosed, Signal };

struct LoopState {
    int32_t current;
    int32_t lineResult;
    uint64_t previousFrameTime; // 0: no frame has ended yet
    int32_t pauseGraphic;
    int32_t paused;
    int32_t spaceHeld;
    int32_t reportedLine;
    int32_t pauseCount; // how often the show was paused (the closing screen's font follows it)
    LoopEnd endedBy;
    // Called with the time taken at the end of every frame; for measuring the pace.
    void (*frameObserver)(uint64_t frameEndUs);
};

LoopState& Loop();
void ResetLoop();

// Brightness 255, no blend, the player's bilinear filter: what the pause sign, the
// restored picture and the closing screens are drawn with, whatever a script left set.
void UseDefaultDrawState();

// Plays the loaded script; 0 after the end or Escape, or the failing command's result.
int RunScript();

} // namespace velox::player
