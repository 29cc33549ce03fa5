// The runtime core's inner operations: what the public start-up, shutdown and pump
// operations run once they hold the entry gate, and what other subsystems call while they
// already hold it (WaitWhileInactive from drawing, presenting and the keyboard).
#pragma once

#include "core/CoreState.h"

#include <cstdint>

namespace velox::core {

int StartRuntime();
int ShutdownRuntime();
int ProcessMessage();
int ChangeWindowMode(int windowed);
int WaitWhileInactive();

// Messages of the runtime's window procedure.
enum class WindowMessage {
    Close,
    Destroy,
    Activate, // a: 1 activated, 0 deactivated
    Paint,
    Size, // a, b: the new client size
    DisplayChange,
    SystemCharacterAltEnter,
};
int WindowProcedure(WindowMessage message, int a, int b);

bool OnMainThread();
// Sets quit and tells the service thread to end.
void SetQuit();
void PostToSelf(PostedMessage message);
// The screen mode the graphics layer recorded (640 x 480 x 16 without one).
void RecordedScreenMode(int& width, int& height, int& colourBits);
// The window's client size for the recorded screen mode and window scale.
void WindowClientSize(int& width, int& height);
// Sleeps as the calling thread may: the main thread's sleeps pass time, other threads
// wait in real time without moving the (possibly virtual) clock.
void PumpSleep(uint32_t ms);

// The second-instance lock is held from the double-start test until the window goes.
void ReleaseInstanceLock();

// Service thread (ServiceThread.cpp).
bool StartServiceThread();
void SignalServiceStop();
void WaitForServiceThreadEnd();
bool OnServiceThread();

// System information (SystemInformation.cpp).
void LogSystemInformation();
void LogMemoryStatus();

} // namespace velox::core
