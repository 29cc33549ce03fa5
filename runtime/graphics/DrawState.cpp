// The global draw state: blend mode and parameter, brightness, filter, blend graphic and
// draw area, with the public setters.
#include "graphics/DrawState.h"

#include "core/EntryGate.h"
#include "core/Runtime.h"
#include "graphics/GraphicsState.h"

#include <velox/velox.h>

#include <algorithm>

namespace velox::draw {
namespace {

int Clamp255(int v) {
    return std::clamp(v, 0, 255);
}

// Alpha byte = the parameter while a blend mode is set, else 255; color = the brightness.
void RebuildVertexColor(graphic::DrawState& d) {
    const uint32_t alpha = d.blendMode != 0 ? uint32_t(d.blendParameter) : 255u;
    d.vertexColor = alpha << 24 | (d.brightness & 0xFFFFFF);
}

} // namespace

bool GraphicsSuspended() {
    return !graphic::Graphics().started;
}

void DrawTargetSize(int& width, int& height) {
    graphic::GraphicView target{};
    if (graphic::CurrentTargetView(target)) {
        width = target.width;
        height = target.height;
    } else {
        width = graphic::ScreenWidth();
        height = graphic::ScreenHeight();
    }
}

void ResetDrawState() {
    graphic::DrawState& d = graphic::Graphics().draw;
    d = graphic::DrawState{};
    d.blendMode = 0;
    d.blendParameter = 0;
    d.brightness = 0xFFFFFF;
    d.drawFilter = 0;
    d.blendGraphic = -1;
    d.blendGraphicParameter1 = 0;
    d.blendGraphicParameter2 = 0;
    int width = 0, height = 0;
    DrawTargetSize(width, height);
    d.area = graphic::DrawArea{0, 0, width, height, width == 0 || height == 0};
    RebuildVertexColor(d);
}

int SetBlendMode(int mode, int parameter) {
    graphic::DrawState& d = graphic::Graphics().draw;
    parameter = Clamp255(parameter);
    if (mode == d.blendMode && parameter == d.blendParameter) {
        return 0;
    }
    core::WaitWhileInactive();
    d.blendMode = mode;
    d.blendParameter = parameter;
    RebuildVertexColor(d);
    return 0;
}

int SetBrightness(int red, int green, int blue) {
    graphic::DrawState& d = graphic::Graphics().draw;
    const uint32_t value =
        uint32_t(Clamp255(red)) << 16 | uint32_t(Clamp255(green)) << 8 | uint32_t(Clamp255(blue));
    if (value == d.brightness) {
        return 0;
    }
    d.brightness = value;
    RebuildVertexColor(d);
    return 0;
}

int SetDrawFilter(int mode) {
    graphic::Graphics().draw.drawFilter = mode;
    return 0;
}

int SetBlendGraphic(int32_t handle, int parameter1, int parameter2) {
    graphic::DrawState& d = graphic::Graphics().draw;
    if (handle != -1) {
        graphic::GraphicView view{};
        if (!graphic::ResolveGraphic(handle, view)) {
            return -1;
        }
    }
    core::WaitWhileInactive();
    d.blendGraphic = handle;
    d.blendGraphicParameter1 = Clamp255(parameter1);
    d.blendGraphicParameter2 = Clamp255(parameter2);
    return 0;
}

int SetDrawArea(int left, int top, int right, int bottom) {
    graphic::DrawArea& area = graphic::Graphics().draw.area;
    int width = 0, height = 0;
    DrawTargetSize(width, height);
    const graphic::DrawArea next{std::clamp(std::min(left, right), 0, width),
                                 std::clamp(std::min(top, bottom), 0, height),
                                 std::clamp(std::max(left, right), 0, width),
                                 std::clamp(std::max(top, bottom), 0, height), false};
    if (next.left == area.left && next.top == area.top && next.right == area.right &&
        next.bottom == area.bottom) {
        return 0;
    }
    area = next;
    area.empty = area.left == area.right || area.top == area.bottom;
    return 0;
}

} // namespace velox::draw

namespace velox {

int SetBlendMode(int mode, int parameter) {
    core::GateScope gate;
    return draw::GraphicsSuspended() ? 0 : draw::SetBlendMode(mode, parameter);
}

int SetBrightness(int red, int green, int blue) {
    core::GateScope gate;
    return draw::GraphicsSuspended() ? 0 : draw::SetBrightness(red, green, blue);
}

int SetDrawFilter(int mode) {
    core::GateScope gate;
    return draw::GraphicsSuspended() ? 0 : draw::SetDrawFilter(mode);
}

} // namespace velox
