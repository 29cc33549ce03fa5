// Physical keys to the runtime's key codes. Physical keys are USB HID usages of the
// keyboard page (SDL scancodes use the same numbers). Key codes are set-1 scan codes with
// extended keys at 0x80 and up (Escape 0x01, Space 0x39, Up 0xC8); the punctuation keys of
// the Japanese 106/109-key layout report the codes named after their legends (the '@' key
// 0x91, ':' 0x92, '[' 0x1A, ']' 0x1B, the '\' (ro) key 0x2B, the yen key 0x7D).
#pragma once

namespace velox::platform {

constexpr int kUsageCount = 256;

// Key code of a HID usage, 0 for usages that are no key of the keyboard.
int KeyCodeForUsage(int usage);

} // namespace velox::platform
