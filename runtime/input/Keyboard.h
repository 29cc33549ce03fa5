// Keyboard state by key code (Escape 1, Space 57): a 256-byte key buffer refreshed from
// the platform keyboard at most once per millisecond tick, each refresh pumping one pass
// of the message loop. Callers of the inner operations hold the entry gate.
#pragma once

#include <cstdint>

namespace velox::input {

// 0 when set up (or already set up).
int InitInput();
int EndInput();
// Called by the window procedure on every activation change.
int ReacquireInput();
// The public GetAllKeyState without the gate: keys[k] becomes 1 while key code k is down.
// Before set-up (and without a close request) it performs the set-up instead and returns
// its result, leaving keys untouched.
int GetAllKeyState(char* keys);

namespace input_detail {
enum class InputObject { None, NotUsed };
struct InputState {
    InputObject object = InputObject::None;
    uint32_t lastReadTime = 0;
    bool everRead = false;
    uint8_t keyBuffer[256] = {}; // bit 7 set while the key is down
};
InputState& State();
} // namespace input_detail

} // namespace velox::input
