// How start-up, the message pump and shutdown reach the subsystems built on the core
// (graphics, sound, music, archives). Each subsystem fills its entries when it is linked
// in; a null entry is skipped, so the order of start-up and shutdown stays the same
// whichever subsystems exist.
#pragma once

#include <cstdint>

namespace velox::core {

struct SubsystemHooks {
    // Start-up step 1 and shutdown's last step: the archive layer starts from nothing and
    // ends after the log directory is current again.
    void (*clearArchives)() = nullptr;
    void (*endArchives)() = nullptr;
    // Start-up step 6: the graphics layer's default restore callback.
    void (*registerDefaultRestore)() = nullptr;
    // The screen mode recorded for the window: client size and colour depth. Without it
    // the screen is 640 x 480 x 16.
    void (*screenMode)(int* width, int* height, int* colourBits) = nullptr;

    int (*startSound)() = nullptr;    // failure is the layer's to log; start-up goes on
    int (*startGraphics)() = nullptr; // negative: start-up fails
    void (*stopMusic)() = nullptr;
    void (*endGraphics)() = nullptr;
    void (*endSound)() = nullptr;

    // Services of the message pump, run on every pass (main and service thread).
    void (*soundStreamingService)() = nullptr;
    void (*musicService)() = nullptr;

    // Start-up step 14: presenting waits for the vertical retrace.
    void (*enableRetraceWait)() = nullptr;
    // Start-up step 15: select a draw target (-2 back buffer, -4 front screen).
    int (*setDrawTarget)(int target) = nullptr;
    // Re-applies the screen mode after a window-mode switch; its result is the switch's.
    int (*applyScreenMode)() = nullptr;
    // On reactivation and at the end of an inactive wait: rebuild what was lost.
    void (*restoreGraphics)() = nullptr;
    // True when drawing may go on while the application is inactive.
    bool (*canDrawWhileInactive)() = nullptr;
    // The picture a repaint shows (normally the front screen); false when there is none.
    // Without it the platform shows the last presented picture, or black.
    bool (*repaintSource)(const uint32_t** pixels, int* width, int* height,
                          int* pitchBytes) = nullptr;
};

SubsystemHooks& Subsystems();

} // namespace velox::core
