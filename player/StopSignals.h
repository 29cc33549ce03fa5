// SIGINT, SIGTERM and SIGHUP ask the show to end: the loop and the closing wait see the
// request and the player shuts down as after Escape, so no output is left half-written.
#pragma once

namespace velox::player {

// Installs the handlers; safe to call again (the window system may have installed its own).
void InstallStopSignals();
// The number of the first stop signal received, or 0.
int StopSignal();

} // namespace velox::player
