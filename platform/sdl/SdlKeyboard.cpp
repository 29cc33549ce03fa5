// Keyboard state from SDL's scancode array, which the main thread's event pump keeps
// current (and clears when the window loses the focus).
#include "platform/BackendServices.h"
#include "platform/KeyCodeMap.h"

#include <SDL.h>

#include <array>
#include <atomic>

namespace velox::platform::sdl {

// Key codes are looked up by HID usage; SDL's scancodes are those usages.
static_assert(SDL_SCANCODE_A == 0x04 && SDL_SCANCODE_ESCAPE == 0x29 && SDL_SCANCODE_SPACE == 0x2C);
static_assert(SDL_SCANCODE_KP_ENTER == 0x58 && SDL_SCANCODE_INTERNATIONAL3 == 0x89);
static_assert(SDL_SCANCODE_LCTRL == 0xE0 && SDL_SCANCODE_RGUI == 0xE7);

WindowService& WindowServiceInstance();
PresentationService& PresentationServiceInstance();

namespace {

// Scancodes seen going down since the last read. SDL's state array only tells what is
// down now, so a press and release between two reads would otherwise never be seen.
std::array<std::atomic<uint8_t>, kUsageCount> gPressedSinceRead{};

} // namespace

void NoteKeyPressed(int scancode) {
    if (scancode >= 0 && scancode < kUsageCount) {
        gPressedSinceRead[size_t(scancode)].store(1, std::memory_order_relaxed);
    }
}

namespace {

class SdlKeyboardService final : public KeyboardService {
public:
    void ReadKeyCodes(uint8_t down[kKeyCodeCount]) override {
        for (int k = 0; k < kKeyCodeCount; ++k) {
            down[k] = 0;
        }
        if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
            return;
        }
        int count = 0;
        const Uint8* state = SDL_GetKeyboardState(&count);
        if (!state) {
            return;
        }
        const int usable = count < kUsageCount ? count : kUsageCount;
        for (int usage = 0; usage < kUsageCount; ++usage) {
            const bool pressed = gPressedSinceRead[size_t(usage)].exchange(0) != 0;
            if (pressed || (usage < usable && state[usage])) {
                const int code = KeyCodeForUsage(usage);
                if (code != 0) {
                    down[code] = 1;
                }
            }
        }
    }
};

} // namespace
} // namespace velox::platform::sdl

namespace velox::platform::detail {

BackendServices SdlServices() {
    static sdl::SdlKeyboardService keyboard;
    return {&sdl::WindowServiceInstance(), &sdl::PresentationServiceInstance(), &keyboard};
}

} // namespace velox::platform::detail
