#include "platform/Backend.h"

#include "platform/BackendServices.h"
#include "platform/SoundMixer.h"

#include <cstring>
#include <filesystem>

namespace velox::platform {
namespace {

struct Selection {
    BackendKind kind = BackendKind::Sdl;
    detail::BackendServices services;
    bool withoutInstanceLock = false;
};

Selection& Current() {
    static Selection selection{BackendKind::Sdl, detail::SdlServices()};
    return selection;
}

} // namespace

bool SelectBackend(const BackendOptions& options) {
    if (options.kind == BackendKind::Headless && !options.frameDumpDirectory.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.frameDumpDirectory, ec);
        if (!std::filesystem::is_directory(options.frameDumpDirectory, ec)) {
            return false;
        }
    }
    Selection& selection = Current();
    if (selection.kind == BackendKind::Headless) {
        detail::StopHeadless();
    }
    selection.kind = options.kind;
    selection.withoutInstanceLock =
        options.kind == BackendKind::Headless && options.withoutInstanceLock;
    selection.services = options.kind == BackendKind::Headless ? detail::StartHeadless(options)
                                                               : detail::SdlServices();
    SoundDeviceOptions sound;
    if (options.kind == BackendKind::Headless) {
        sound.output = SoundOutput::Headless;
        sound.capturePath = options.soundCapturePath;
    }
    SetDefaultSoundDeviceOptions(sound);
    return true;
}

BackendKind CurrentBackend() {
    return Current().kind;
}

bool RunsWithoutInstanceLock() {
    return Current().withoutInstanceLock;
}

bool ParseBackendName(const char* name, BackendKind& out) {
    if (!name) {
        return false;
    }
    if (std::strcmp(name, "sdl") == 0) {
        out = BackendKind::Sdl;
        return true;
    }
    if (std::strcmp(name, "headless") == 0) {
        out = BackendKind::Headless;
        return true;
    }
    return false;
}

WindowService& Window() {
    return *Current().services.window;
}
PresentationService& Presentation() {
    return *Current().services.presentation;
}
KeyboardService& Keyboard() {
    return *Current().services.keyboard;
}

} // namespace velox::platform
