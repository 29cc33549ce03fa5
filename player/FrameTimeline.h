// The show's timeline: frame n after the origin is due at origin + n x period, so a
// late wake-up shortens the wait for the next frame instead of delaying every frame
// after it. Pure arithmetic on times handed in, so any clock can drive it.
#pragma once

#include <cstdint>

namespace velox::player {

// Further behind than this, the timeline starts again from now rather than rushing
// the missed frames out (a stalled machine, a dragged window, a debugger).
constexpr uint64_t kMaxFrameLagUs = 100000;

// All zero is the start state: not anchored. Kept trivial so the loop state that
// holds it can be cleared as a whole.
struct FrameTimeline {
    uint64_t periodUs;   // 0 is taken as kFramePeriodUs
    uint64_t originUs;   // end of the frame the timeline is anchored to (frame 0)
    uint64_t frameIndex; // the last frame that ended, counted from the origin
    int32_t anchored;    // 0: the next frame is not waited for; its end becomes the origin
    uint32_t reanchors;  // how often lateness or an unpaced stretch moved the origin

    uint64_t Period() const;
    // When the next frame is due; meaningful only while anchored.
    uint64_t NextDueUs() const;
    // How long a frame about to start at nowUs still has to wait: 0 once it is due,
    // and always 0 while not anchored.
    uint64_t WaitUs(uint64_t nowUs) const;
    // A paced frame ended at nowUs.
    void FrameEnded(uint64_t nowUs);
    // A pass that shows no frame (a record without a command) ended at nowUs. It only
    // moves the timeline when it anchors it, or when such passes have outlasted the
    // frame that was due: the next frame then waits a full period from here.
    void PassEnded(uint64_t nowUs);
    // The next frame end becomes the new origin (after a pause, a jump in the show).
    void Reanchor();
};

} // namespace velox::player
