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
int SetDrawFilter(int) {
    return NotYet("SetDrawFilter");
}
int SetBrightness(int, int, int) {
    return NotYet("SetBrightness");
}
int SetBlendMode(int, int) {
    return NotYet("SetBlendMode");
}
int DrawGraphicStretched(int, int, int, int, int, int) {
    return NotYet("DrawGraphicStretched");
}
int DrawGraphicRotated(int, int, int, int, double, double, int, int, int) {
    return NotYet("DrawGraphicRotated");
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
