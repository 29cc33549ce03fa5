// The public face of backend selection: the headless choice, its frame count and clock.
#include "core/CoreState.h"
#include "core/EntryGate.h"
#include "platform/Backend.h"
#include "platform/Presentation.h"
#include "platform/headless/Headless.h"

#include <velox/headless.h>

#include <filesystem>

namespace velox {
namespace {

// The capture file is opened only at StartRuntime, where a failure would merely leave the
// run without sound; a folder that is not there is refused now, while the caller can say so.
bool CaptureFolderExists(const char* path) {
    if (!path || !*path) {
        return true;
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return std::filesystem::is_directory(folder.empty() ? "." : folder, ec);
}

} // namespace

int SelectHeadlessBackend(const HeadlessOptions* options) {
    core::GateScope gate;
    if (core::Core().started || !options || options->keyCount < 0 ||
        (options->keyCount > 0 && !options->keys) ||
        !CaptureFolderExists(options->soundCaptureFile)) {
        return -1;
    }
    platform::BackendOptions backend;
    backend.kind = platform::BackendKind::Headless;
    backend.frameDumpDirectory = options->frameFolder ? options->frameFolder : "";
    backend.soundCapturePath = options->soundCaptureFile ? options->soundCaptureFile : "";
    for (int i = 0; i < options->keyCount; ++i) {
        const HeadlessKey& key = options->keys[i];
        backend.keys.push_back({key.keyCode, key.downMs, key.upMs});
    }
    // A render has no window to guard, and renders run side by side.
    backend.withoutInstanceLock = true;
    return platform::SelectBackend(backend) ? 0 : -1;
}

uint64_t GetPresentedFrameCount() {
    core::GateScope gate;
    return platform::Presentation().PresentedFrames();
}

uint64_t GetHeadlessTime() {
    if (platform::CurrentBackend() != platform::BackendKind::Headless) {
        return 0;
    }
    return platform::headless::Clock().PeekNanos() / 1000;
}

// No gate: ShutdownRuntime has torn it down, and this runs after it.
int FinishHeadlessFrames() {
    if (core::Core().started || platform::CurrentBackend() != platform::BackendKind::Headless) {
        return -1;
    }
    return platform::headless::FinishFrameDump(platform::headless::Clock().PeekNanos()) ? 0 : -1;
}

} // namespace velox
