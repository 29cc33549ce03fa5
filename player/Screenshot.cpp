#include "Screenshot.h"

#include <velox/authoring.h>

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
        return SaveScreenPng(name) == 0 ? name : "";
    }
    return ""; // every number is taken
}

} // namespace velox::player
