// Keyboard service: which keys are down, by the runtime's key codes (Escape 1, Space 57,
// see KeyCodeMap.h). The SDL backend reads the scancode state that the main thread's
// event pump keeps; the headless backend plays scripted keys on the virtual clock.
#pragma once

#include <cstdint>

namespace velox::platform {

constexpr int kKeyCodeCount = 256;

class KeyboardService {
public:
    virtual ~KeyboardService() = default;
    // down[k] becomes 1 while key code k is down, else 0.
    virtual void ReadKeyCodes(uint8_t down[kKeyCodeCount]) = 0;
};

KeyboardService& Keyboard();

} // namespace velox::platform
