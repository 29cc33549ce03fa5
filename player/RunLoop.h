// The execution loop: one script record at a time, one frame per 33333 us,
// Escape ends the show and Space pauses it.
#pragma once

#include "FrameTimeline.h"

#include <cstdint>

namespace velox::player {

constexpr uint64_t kFramePeriodUs = 33333;

// Why RunScript returned early; Script end and failures leave it at None.
// Reload: --watch found a new story.txt that must be played again from an earlier line.
enum class LoopEnd : int32_t { None, Escape, WindowClosed, Signal, Reload };

struct LoopState {
    int32_t current;
    int32_t lineResult;
    uint64_t previousFrameTime; // end of the last pass; 0: none yet
    FrameTimeline timeline;     // when the next frame is due
    int32_t pauseGraphic;
    int32_t paused;
    int32_t spaceHeld;
    int32_t reportedLine;
    int32_t pauseCount; // how often the show was paused (the closing screen's font follows it)
    LoopEnd endedBy;
    // Called with the time taken at the end of every frame; for measuring the pace.
    void (*frameObserver)(uint64_t frameEndUs);
    uint64_t startTime; // GetMicroCount when the run began
    uint64_t frames;    // paced frames ended since then (records without a command take none)
    // Called with the record's index as each record begins to run (--trace); an END
    // reached while a fade still runs is run, and reported, once per frame.
    void (*lineObserver)(int32_t index);
    int32_t startLine; // records before it run at once (--start-line); 0: none
    int32_t skipping;  // 1 while either Ctrl is seen down: frames are not paced
    // Called once per pass, paused or not, with the record running (--watch); true ends
    // the loop with LoopEnd::Reload.
    bool (*reloadCheck)(int32_t current);
};

LoopState& Loop();
void ResetLoop();

// Brightness 255, no blend, the player's bilinear filter: what the pause sign, the
// restored picture and the closing screens are drawn with, whatever a script left set.
void UseDefaultDrawState();

// Plays the loaded script; 0 after the end or Escape, or the failing command's result.
int RunScript();

} // namespace velox::player
