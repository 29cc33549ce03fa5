#include "Screenshot.h"

#include "core/EntryGate.h"
#include "graphics/Screen.h"
#include "platform/headless/PngWriter.h"

#include <cstdio>
#include <filesystem>

namespace velox::player {
namespace {

bool gF12Down = false;

} // namespace

void ScreenshotKeys(const char* keys) {
    const bool down = keys[kKeyF12] != 0;
    if (down && !gF12Down) {
        std::string name = SaveScreenshot();
        if (name.empty()) {
            std::fprintf(stderr, "velox-player: the screenshot could not be saved\n");
        } else {
            std::fprintf(stderr, "velox-player: saved %s\n", name.c_str());
        }
    }
    gF12Down = down;
}

std::string SaveScreenshot() {
    char name[32];
    for (int n = 1; n <= 9999; ++n) {
        std::snprintf(name, sizeof name, "screenshot-%04d.png", n);
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(name, error))) {
            continue;
        }
        GateScope gate;
        const uint32_t* pixels = nullptr;
        int width = 0;
        int height = 0;
        int pitch = 0;
        if (!graphic::screen_hooks::RepaintSource(&pixels, &width, &height, &pitch) ||
            !platform::headless::WritePng(name, pixels, width, height, pitch)) {
            return "";
        }
        return name;
    }
    return ""; // every number is taken
}

} // namespace velox::player
