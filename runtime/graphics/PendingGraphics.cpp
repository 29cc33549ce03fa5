// Graphics, drawing and text operations that are not built yet: each logs that
// it is not available and gives its failure value. Removed piece by piece as
// the graphics layer lands.
#include "core/EntryGate.h"
#include "core/Log.h"

#include <velox/velox.h>

namespace velox {
namespace {
int NotYet(const char* name) {
    GateScope gate;
    return LogWriteFormat("%s is not available yet", name);
}
} // namespace

int SetScreenMode(int, int, int, int) {
    return NotYet("SetScreenMode");
}
int SetDrawTarget(int) {
    return NotYet("SetDrawTarget");
}
int ClearScreen() {
    return NotYet("ClearScreen");
}
int FlipScreen() {
    return NotYet("FlipScreen");
}
uint32_t GetColorValue(int, int, int) {
    NotYet("GetColorValue");
    return 0;
}
int LoadGraphic(const char*, int) {
    return NotYet("LoadGraphic");
}
int CreateBlankGraphic(int, int, int) {
    return NotYet("CreateBlankGraphic");
}
int DeleteGraphic(int, int) {
    return NotYet("DeleteGraphic");
}
int CaptureScreenToGraphic(int, int, int, int, int, int) {
    return NotYet("CaptureScreenToGraphic");
}
int SetDefaultFontSize(int) {
    return NotYet("SetDefaultFontSize");
}
int PrintText(int, int, const char*, uint32_t, uint32_t) {
    return NotYet("PrintText");
}
int PrintTextFormat(int, int, uint32_t, const char*, ...) {
    return NotYet("PrintTextFormat");
}

} // namespace velox
