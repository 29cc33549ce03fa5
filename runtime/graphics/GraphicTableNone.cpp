// Until graphic records exist, no handle names a graphic.
#include "graphics/GraphicTable.h"
#include "graphics/GraphicsState.h"

namespace velox {

void StartGraphicTable() {}
void DeleteAllGraphicsInner(int) {}
void EndGraphicTable() {}
bool ResolveGraphic(int32_t, GraphicView&) {
    return false;
}

} // namespace velox
