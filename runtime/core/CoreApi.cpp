// Public start-up, shutdown, pump and window settings: each holds the entry gate around
// the inner operation.
#include "core/EntryGate.h"
#include "core/Runtime.h"

#include <velox/velox.h>

#include <cstdio>

namespace velox {
namespace {

void CopySetting(char (&dst)[256], const char* text) {
    std::snprintf(dst, sizeof dst, "%s", text ? text : "");
}

} // namespace

int StartRuntime() {
    core::GateScope gate;
    return core::StartRuntime();
}

int ShutdownRuntime() {
    {
        core::GateScope gate;
        core::ShutdownRuntime();
    }
    core::DestroyGate();
    return 0;
}

int ProcessMessage() {
    core::GateScope gate;
    return core::ProcessMessage();
}

int ChangeWindowMode(int windowed) {
    core::GateScope gate;
    return core::ChangeWindowMode(windowed);
}

int SetWindowTitle(const char* title) {
    core::GateScope gate;
    CopySetting(core::Core().settings.windowTitle, title);
    return 0;
}

int SetWindowClassName(const char* className) {
    core::GateScope gate;
    CopySetting(core::Core().settings.className, className);
    return 0;
}

int SetAllowSecondInstance(int allow) {
    core::GateScope gate;
    core::Core().settings.allowSecondInstance = allow != 0 ? 1 : 0;
    return 0;
}

int SetAllowModeSwitchKey(int allow) {
    core::GateScope gate;
    core::Core().settings.allowModeSwitchKey = allow != 0 ? 1 : 0;
    return 0;
}

int SetRunWhileInactive(int run) {
    core::GateScope gate;
    core::Core().settings.runWhileInactive = run != 0 ? 1 : 0;
    return 0;
}

} // namespace velox
