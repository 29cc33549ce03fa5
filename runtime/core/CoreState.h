// The runtime core's state: the settings made before start-up and everything start-up,
// the window procedure and the message pump keep. One global record; start-up saves the
// settings, clears the record and writes the settings back, so every start begins clean.
// Log state and the memory tracker live elsewhere and survive the clearing by construction.
#pragma once

#include <cstdint>

namespace velox::core {

struct CoreSettings {
    int windowMode = 0;          // 1 windowed, 0 full screen
    char windowTitle[256] = {};  // "Velox" when empty at window creation
    char className[256] = {};    // the title if one was set, else "D123987X"
    int allowSecondInstance = 0; // 1: start-up goes on when another copy runs
    int runWhileInactive = 0;    // 1: the pump and drawing go on while inactive
    int ignoreCloseButton = 0;   // 1: a close request destroys the window only at shutdown
    int noQuitMessage = 0;       // 1: destroying the window posts no quit message
    int allowModeSwitchKey = 0;  // 1: Alt+Enter toggles the window mode
    int positioned = 0;          // windowed window at (windowX, windowY), else centred
    int windowX = 0;
    int windowY = 0;
};

enum class EndState : int {
    Running = 0,
    ShuttingDown = 1,
    UserClose = 4,
};

// Messages the runtime posts to itself; they are taken before the window system's events.
enum class PostedMessage : uint8_t { Close, Quit };

struct CoreState {
    CoreSettings settings;
    uint32_t mainThreadId = 0;
    int windowExists = 0;
    int active = 0;
    int quit = 0;
    EndState endState = EndState::Running;
    int closePosted = 0;
    int destroyed = 0;
    int initialising = 0;
    int started = 0;
    int inService = 0;
    int modeChangeRequested = 0;
    int modeSwitching = 0;
    int displayChangeSeen = 0;
    int closeForDisplayPosted = 0;
    int componentLibraryInitialised = 0;
    int desktopWidth = 0;
    int desktopHeight = 0;
    int desktopColourBits = 0;
    int osCode = -1; // no system version code here: the newest-system path is never taken
    double windowScale = 1.0;
    int inactiveWaitSince = 0;
    uint32_t inactiveSinceMs = 0;
    int serviceThreadRunning = 0;
    PostedMessage posted[16] = {};
    int postedCount = 0;
};

CoreState& Core();

} // namespace velox::core
