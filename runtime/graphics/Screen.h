// The screen: its mode, the back buffer and front screen, the draw target,
// clearing and presenting. Inner operations for the rest of the runtime; the
// caller holds the entry gate.
#pragma once

#include <cstdint>

namespace velox::graphic {

int SetScreenModeInner(int width, int height, int colorBits, int refreshRate);
int SetDrawTargetInner(int target);
int ClearScreenInner();
int FlipScreenInner();
uint32_t GetColorValueInner(int red, int green, int blue);

// Graphics start and end (runtime start-up and shutdown).
int StartGraphicsLayer();
void EndGraphicsLayer();

// The entries the runtime core reaches the screen through (core/Subsystems.h).
namespace screen_hooks {
void ScreenMode(int* width, int* height, int* colorBits);
void EnableRetraceWait();
int ApplyScreenMode();
bool CanDrawWhileInactive();
bool RepaintSource(const uint32_t** pixels, int* width, int* height, int* pitchBytes);
} // namespace screen_hooks

} // namespace velox::graphic
