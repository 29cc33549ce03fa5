// Public graphic operations: each holds the entry gate around its inner operation.
// Without a started graphic table nothing exists to act on, so they fail with -1.
#include "core/EntryGate.h"
#include "graphics/GraphicRecord.h"

#include <velox/velox.h>

namespace velox {
namespace {

int Clamp255(int value) {
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

} // namespace

int LoadGraphic(const char* path, int) {
    core::GateScope gate;
    return graphic::LoadGraphic(path);
}

int CreateBlankGraphic(int width, int height, int) {
    core::GateScope gate;
    return graphic::CreateBlankGraphic(width, height);
}

int DeleteGraphic(int graphic, int logFlag) {
    core::GateScope gate;
    return graphic::DeleteGraphic(graphic, logFlag);
}

int DeleteAllGraphics(int logFlag) {
    core::GateScope gate;
    return graphic::DeleteAllGraphics(logFlag);
}

int DeriveGraphic(int x, int y, int width, int height, int sourceGraphic) {
    core::GateScope gate;
    return graphic::DeriveGraphic(x, y, width, height, sourceGraphic);
}

int GetGraphicSize(int graphic, int* width, int* height) {
    core::GateScope gate;
    return graphic::GetGraphicSize(graphic, width, height);
}

int SetGraphicName(int graphic, const char* name) {
    core::GateScope gate;
    return graphic::SetGraphicName(graphic, name);
}

int SetDeletedFlagPointer(int graphic, int* flag) {
    core::GateScope gate;
    return graphic::SetDeletedFlagPointer(graphic, flag);
}

int CaptureScreenToGraphic(int x1, int y1, int x2, int y2, int graphic, int) {
    core::GateScope gate;
    return graphic::CaptureScreenToGraphic(x1, y1, x2, y2, graphic);
}

int SetGraphicRestoreCallback(GraphicRestoreCallback callback) {
    core::GateScope gate;
    graphic::SetRestoreCallback(callback);
    return 0;
}

int SetTransparentColor(int red, int green, int blue) {
    core::GateScope gate;
    graphic::GraphicTables().settings.transparentColor =
        uint32_t(Clamp255(red)) << 16 | uint32_t(Clamp255(green)) << 8 | uint32_t(Clamp255(blue));
    return 0;
}

int SetUseTransparentColorToAlpha(int enabled) {
    core::GateScope gate;
    graphic::GraphicTables().settings.transparentToAlpha = enabled != 0;
    return 0;
}

int SetUseTopLeftPixelAsTransparentColor(int enabled) {
    core::GateScope gate;
    graphic::GraphicTables().settings.useTopLeftTransparent = enabled != 0;
    return 0;
}

int SetBlankGraphicAlpha(int alpha) {
    core::GateScope gate;
    graphic::GraphicTables().settings.blankAlpha = alpha != 0;
    return 0;
}

int SetDrawTargetGraphicMode(int enabled, int alpha) {
    core::GateScope gate;
    graphic::GraphicSettings& settings = graphic::GraphicTables().settings;
    settings.drawTargetMode = enabled != 0;
    settings.drawTargetAlpha = alpha != 0;
    return 0;
}

} // namespace velox
