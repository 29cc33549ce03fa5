#include "input/Keyboard.h"

#include "core/EntryGate.h"
#include "core/Log.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "platform/Clock.h"
#include "platform/Keyboard.h"

#include <velox/velox.h>

#include <cstring>

namespace velox::input {
namespace {

input_detail::InputState gInput;

bool CloseRequested() {
    const core::CoreState& core = core::Core();
    return core.endState == core::EndState::UserClose || core.closePosted != 0;
}

// The keyboard is read through the platform alone (there is no separate input device
// object here): at most once per millisecond tick, with one pump pass per refresh, and
// the whole buffer rebuilt from the platform's key state.
void Refresh() {
    const uint32_t now = platform::MilliCount();
    if (gInput.everRead && now == gInput.lastReadTime) {
        return;
    }
    gInput.lastReadTime = now;
    gInput.everRead = true;
    if (core::ProcessMessage() != 0) {
        return;
    }
    uint8_t down[platform::kKeyCodeCount] = {};
    platform::Keyboard().ReadKeyCodes(down);
    for (int k = 0; k < platform::kKeyCodeCount; ++k) {
        gInput.keyBuffer[k] = down[k] ? 0x80 : 0x00;
    }
}

} // namespace

namespace input_detail {
InputState& State() {
    return gInput;
}
} // namespace input_detail

int InitInput() {
    if (gInput.object != input_detail::InputObject::None) {
        return 0;
    }
    gInput = input_detail::InputState{};
    LogIndentAdd();
    // Joypads are not read on this platform.
    LogWriteFormat(SJIS("パッドの数は %d 個です\n"), 0);
    LogIndentSub();
    gInput.object = input_detail::InputObject::NotUsed;
    LogWrite(SJIS("入力関連の初期化をしました\n"));
    return 0;
}

int EndInput() {
    if (gInput.object == input_detail::InputObject::None) {
        return 0;
    }
    LogWrite(SJIS("入力関連の終了処理... 完了\n"));
    gInput.object = input_detail::InputObject::None;
    return 0;
}

int ReacquireInput() {
    // The next read refreshes at once: keys may have changed while the focus was away.
    gInput.everRead = false;
    return 0;
}

int GetAllKeyState(char* keys) {
    core::WaitWhileInactive();
    if (gInput.object == input_detail::InputObject::None && !CloseRequested()) {
        return InitInput();
    }
    Refresh();
    if (keys) {
        for (int k = 0; k < platform::kKeyCodeCount; ++k) {
            keys[k] = (gInput.keyBuffer[k] & 0x80) ? 1 : 0;
        }
    }
    return 0;
}

} // namespace velox::input

namespace velox {

int GetAllKeyState(char* keys) {
    core::GateScope gate;
    return input::GetAllKeyState(keys);
}

} // namespace velox
