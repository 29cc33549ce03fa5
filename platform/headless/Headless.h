// The headless backend's own controls, for the player's headless runs and for tests.
// Valid while the headless backend is selected.
#pragma once

#include "platform/Window.h"
#include "platform/headless/VirtualClock.h"

#include <cstdint>
#include <vector>

namespace velox::platform::headless {

// The virtual clock the backend installed.
VirtualClock& Clock();

// Queues an event as if the window system had sent it (close, focus, expose...).
void PostEvent(const WindowEvent& event);

// Holds a key down (or lets it go) independently of the scripted keys.
void SetKeyDown(int keyCode, bool down);
// True when no scripted key is down now or will go down later.
bool ScriptedKeysOver();

// The last presented picture as 0x00RRGGBB rows without padding; empty before the first.
const std::vector<uint32_t>& LastPicture(int& width, int& height);
// Redraw and Fill calls so far (they are not presented frames).
uint64_t RedrawCount();

// Waits until every dumped picture is written and closes DIR/frames.ffconcat, the last
// picture lasting until endNanos. False when any picture or the list could not be
// written. Nothing to do without a dump.
bool FinishFrameDump(uint64_t endNanos);

} // namespace velox::platform::headless
