// Running without a window: the headless backend renders into memory on a virtual clock,
// so that a program gives the same pictures and sound on every run. Choose it once, before
// StartRuntime; every service of the runtime (window, presentation, keyboard, clock and
// sound output) follows that one choice. Without it the runtime opens a real window.
#pragma once

#include <velox/velox.h>

#include <cstdint>

namespace velox {

// A scripted key: key code keyCode (Escape 1, Space 57, as in GetAllKeyState) is down
// while downMs <= virtual milliseconds < upMs.
struct HeadlessKey {
    int keyCode;
    uint32_t downMs;
    uint32_t upMs;
};

struct HeadlessOptions {
    // Every presented picture becomes FOLDER/000001.png, 000002.png, ... and
    // FOLDER/frames.ffconcat lists how long each stayed on screen. Created when missing;
    // null or empty writes no pictures. An operating-system (UTF-8) path.
    const char* frameFolder = nullptr;
    // Everything the mixer plays, as a 44100 Hz 16-bit stereo WAV file (sample n at
    // virtual time n / 44100 s); null or empty writes none. Its folder must exist; the
    // file is made at StartRuntime.
    const char* soundCaptureFile = nullptr;
    // keyCount scripted keys; they may overlap. Copied: the array need not outlive the call.
    const HeadlessKey* keys = nullptr;
    int keyCount = 0;
};

// Chooses the headless backend for the next StartRuntime: no window and no sound device,
// a virtual clock started at 0 that moves only when the program sleeps or waits (by
// exactly that time) and by 1 microsecond at every clock read. Headless runs neither take
// nor test the single-instance lock. Choosing again starts a fresh run (clock, frame count
// and frame numbers from the start). -1, with the previous choice kept, while the runtime
// runs, for a null options, a negative keyCount, null keys with a positive keyCount, a
// frame folder that cannot be created, or a sound capture file in no existing folder.
VELOX_API int SelectHeadlessBackend(const HeadlessOptions* options);

// Pictures presented on the chosen backend since it was chosen (each FlipScreen, each
// direct draw on the visible screen); redrawing a picture already shown does not count.
VELOX_API uint64_t GetPresentedFrameCount();

// The headless virtual time in microseconds, read without advancing it (a plain clock
// read moves it by 1 microsecond); 0 when the headless backend is not chosen. Any thread;
// no entry gate.
VELOX_API uint64_t GetHeadlessTime();

// After ShutdownRuntime: waits until every picture of the frame folder is written and
// closes FOLDER/frames.ffconcat, the last picture lasting until the virtual time now.
// 0, also when no folder was given; -1 when the headless backend is not chosen, while the
// runtime runs, or when a picture or the list could not be written.
VELOX_API int FinishHeadlessFrames();

} // namespace velox
