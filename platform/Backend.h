// Backend selection. A process runs on one backend, chosen before the runtime starts:
// "sdl" (a real window, SDL events, keyboard and audio device) or "headless" (no window,
// the virtual clock, scripted keys, presented pictures optionally written as PNG files,
// the mix rendered in virtual time and optionally written as a WAV file). Every service,
// the sound output included, follows the one choice. Without a choice the SDL backend
// serves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velox::platform {

enum class BackendKind { Sdl, Headless };

// A scripted key: key code keyCode is down while fromMs <= virtual ms < toMs.
struct ScriptedKey {
    int keyCode = 0;
    uint32_t fromMs = 0;
    uint32_t toMs = 0;
};

struct BackendOptions {
    BackendKind kind = BackendKind::Sdl;
    // Headless: every presented picture becomes DIR/000001.png, 000002.png, ...; empty
    // writes nothing. The directory is created when missing.
    std::string frameDumpDirectory;
    // Headless: everything the mixer plays is written here as a WAV file; empty writes
    // nothing.
    std::string soundCapturePath;
    std::vector<ScriptedKey> keys; // headless only
    // Headless only: start without taking or testing the single-instance lock, so that
    // renders run side by side and beside a windowed copy.
    bool withoutInstanceLock = false;
};

// Installs the backend's services (and, headless, a virtual clock started at 0) and makes
// the backend's sound output the default of the next sound device. Not while the runtime
// runs. False, with the previous backend kept, when the frame directory cannot be created.
bool SelectBackend(const BackendOptions& options);
BackendKind CurrentBackend();
// True when the selected backend was chosen to run without the single-instance lock.
bool RunsWithoutInstanceLock();

// Parses "sdl" or "headless"; false for anything else.
bool ParseBackendName(const char* name, BackendKind& out);

} // namespace velox::platform
