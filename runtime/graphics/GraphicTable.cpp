#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "file/FileAccess.h"
#include "graphics/GraphicRecord.h"

#include <cstring>

namespace velox {
namespace {

graphic::GraphicTableState gTables;

// The screen's software format family: 32-bit screens use family 1, every other depth
// has been made 16-bit by the screen and uses family 0.
bool ScreenIs32Bit() {
    return graphic::Graphics().screen.colorBits == 32;
}

int32_t CreateSurfaceData(int width, int height, const graphic::GraphicFlags& flags) {
    graphic::GraphicTableState& t = gTables;
    const image::ColorFormat* format =
        image::GetSoftwareFormat(ScreenIs32Bit() ? 1 : 0, flags.alpha != 0, false);
    const int64_t pitch = (int64_t(width) * format->bytesPerPixel + 3) / 4 * 4;
    const int64_t size = pitch * height;
    if (width <= 0 || height <= 0 || size > INT32_MAX) {
        return LogWrite(SJIS("メモリイメージの作成に失敗しました\n"));
    }
    const int32_t handle = core::AllocateHandle(t.surfaces);
    graphic::SurfaceData* data = core::ValidateHandleAs<graphic::SurfaceData>(t.surfaces, handle);
    if (!data) {
        return -1;
    }
    data->image.pixels = static_cast<uint8_t*>(MemAllocZero(int32_t(size), __FILE__, __LINE__));
    if (!data->image.pixels) {
        core::ReleaseHandle(t.surfaces, handle);
        return LogWrite(SJIS("メモリイメージの作成に失敗しました\n"));
    }
    data->refCount = 1;
    data->flags = flags;
    data->image.format = *format;
    data->image.width = width;
    data->image.height = height;
    data->image.pitch = int32_t(pitch);
    const uint32_t key = t.settings.transparentColor;
    data->transparentValue = image::ComposeColor(*format, int(key >> 16 & 0xFF),
                                                 int(key >> 8 & 0xFF), int(key & 0xFF), 255);
    return handle;
}

void ReleaseSurfaceData(int32_t handle) {
    graphic::SurfaceData* data = graphic::FindSurfaceData(handle);
    if (!data || --data->refCount > 0) {
        return;
    }
    image::ReleaseBaseImage(data->image);
    core::ReleaseHandle(gTables.surfaces, handle);
}

// Copies text into a fixed field; false when it had to be cut.
bool CopyField(char* field, int fieldSize, const char* text) {
    const size_t length = std::strlen(text);
    const size_t kept = length < size_t(fieldSize) ? length : size_t(fieldSize) - 1;
    std::memcpy(field, text, kept);
    field[kept] = '\0';
    return kept == length;
}

} // namespace

graphic::GraphicTableState& graphic::GraphicTables() {
    return gTables;
}

namespace {
graphic::GraphicResolver gTestResolver = nullptr;
} // namespace

void graphic::SetGraphicResolverForTesting(graphic::GraphicResolver resolver) {
    gTestResolver = resolver;
}

bool graphic::ResolveGraphic(int32_t handle, graphic::GraphicView& out) {
    if (gTestResolver && gTestResolver(handle, out)) {
        return true;
    }
    const graphic::GraphicRecord* record = graphic::FindGraphic(handle);
    graphic::SurfaceData* data = record ? graphic::FindSurfaceData(record->surfaceData) : nullptr;
    if (!data) {
        return false;
    }
    out.image = &data->image;
    out.x = record->sourceX;
    out.y = record->sourceY;
    out.width = record->width;
    out.height = record->height;
    out.alpha = record->flags.alpha != 0;
    out.drawTarget = record->flags.drawTarget != 0;
    out.transparentValue = data->transparentValue;
    return true;
}

void graphic::StartGraphicTable() {
    if (graphic::GraphicTableStarted()) {
        graphic::EndGraphicTable();
    }
    gTables.settings = graphic::GraphicSettings{};
    if (!core::InitHandleTable(gTables.graphics, core::HandleType::Graphic,
                               graphic::kGraphicCapacity,
                               int32_t(sizeof(graphic::GraphicRecord))) ||
        !core::InitHandleTable(gTables.surfaces, core::HandleType::SurfaceData,
                               graphic::kSurfaceDataCapacity,
                               int32_t(sizeof(graphic::SurfaceData)))) {
        FatalError(SJIS("メモリの確保に失敗しました"));
    }
}

void graphic::DeleteAllGraphicsInner(int logFlag) {
    graphic::DeleteAllGraphics(logFlag);
}

void graphic::EndGraphicTable() {
    if (!graphic::GraphicTableStarted()) {
        return;
    }
    graphic::DeleteAllGraphics(0);
    // Every store belongs to some graphic, so none is left; free strays all the same.
    core::WalkHandles(gTables.surfaces, [](int32_t handle) {
        graphic::SurfaceData* data = graphic::FindSurfaceData(handle);
        image::ReleaseBaseImage(data->image);
        core::ReleaseHandle(gTables.surfaces, handle);
    });
    core::FreeHandleTable(gTables.graphics);
    core::FreeHandleTable(gTables.surfaces);
}

namespace graphic {

bool GraphicTableStarted() {
    return gTables.graphics.slots != nullptr;
}

GraphicRecord* FindGraphic(int32_t handle) {
    return core::ValidateHandleAs<GraphicRecord>(gTables.graphics, handle);
}

SurfaceData* FindSurfaceData(int32_t handle) {
    return core::ValidateHandleAs<SurfaceData>(gTables.surfaces, handle);
}

int32_t CreateGraphicRecord(int width, int height, bool alpha) {
    GraphicTableState& t = gTables;
    const int32_t handle = core::AllocateHandle(t.graphics); // a full table ends the process
    GraphicRecord* record = FindGraphic(handle);
    if (!record) {
        return -1;
    }
    record->handle = handle;
    record->width = width;
    record->height = height;
    record->movie = -1;
    record->surfaceData = -1;
    record->creationMode = t.settings.creationMode;
    GraphicFlags& flags = record->flags;
    if (t.settings.drawTargetMode) {
        flags.drawTarget = 1;
        flags.alpha = t.settings.drawTargetAlpha ? 1 : 0;
    } else {
        flags.alpha = alpha ? 1 : 0;
        flags.alphaTest = t.settings.alphaTest ? 1 : 0;
        flags.systemMemory = t.settings.systemMemory ? 1 : 0;
    }
    flags.colorBitDepth = ScreenIs32Bit() ? 32 : 16;
    record->surfaceData = CreateSurfaceData(width, height, flags);
    if (record->surfaceData == -1) {
        // The slot goes back: nobody will ever hold this handle.
        core::ReleaseHandle(t.graphics, handle);
        return LogWrite(SJIS("グラフィックの作成に失敗しました\n"));
    }
    return handle;
}

void StoreGraphicName(GraphicRecord& record, const char* name) {
    char directory[260] = {};
    if (file::gFileAccess.getCurrentDirectory) {
        file::gFileAccess.getCurrentDirectory(directory);
    }
    const bool nameFits = CopyField(record.name, kGraphicNameSize, name);
    const bool directoryFits = CopyField(record.directory, kGraphicDirectorySize, directory);
    record.nameWhole = nameFits && directoryFits;
}

int DeleteGraphic(int32_t handle, int logFlag) {
    GraphicRecord* record = FindGraphic(handle);
    if (!record) {
        return -1;
    }
    ReleaseSurfaceData(record->surfaceData);
    if (logFlag) {
        LogWriteFormat(SJIS("グラフィック %s の削除"), record->name);
    }
    int32_t* deletedFlag = record->deletedFlag;
    core::ReleaseHandle(gTables.graphics, handle);
    if (deletedFlag) {
        *deletedFlag = 1;
    }
    return 0;
}

int DeleteAllGraphics(int logFlag) {
    core::WalkHandles(gTables.graphics,
                      [logFlag](int32_t handle) { DeleteGraphic(handle, logFlag); });
    return 0;
}

int DeriveGraphic(int x, int y, int width, int height, int32_t source) {
    const GraphicRecord* from = FindGraphic(source);
    if (!from) {
        return -1;
    }
    // A rectangle starting outside the source, or empty, gives nothing to share.
    if (x < 0 || y < 0 || x >= from->width || y >= from->height || width <= 0 || height <= 0) {
        return -1;
    }
    SurfaceData* data = FindSurfaceData(from->surfaceData);
    if (!data) {
        return LogWrite(SJIS("グラフィックの派生に失敗しました終了します"));
    }
    const int32_t handle = core::AllocateHandle(gTables.graphics);
    GraphicRecord* record = FindGraphic(handle);
    if (!record) {
        return -1;
    }
    record->handle = handle;
    record->flags = from->flags;
    record->creationMode = from->creationMode;
    record->movie = from->movie;
    std::memcpy(record->name, from->name, sizeof record->name);
    std::memcpy(record->directory, from->directory, sizeof record->directory);
    record->nameWhole = from->nameWhole;
    record->sourceX = from->sourceX + x;
    record->sourceY = from->sourceY + y;
    record->width = width > from->width - x ? from->width - x : width;
    record->height = height > from->height - y ? from->height - y : height;
    record->surfaceData = from->surfaceData;
    ++data->refCount;
    return handle;
}

int GetGraphicSize(int32_t handle, int* width, int* height) {
    int w = 0, h = 0;
    if (handle == core::kBackBuffer || handle == core::kFrontScreen) {
        w = ScreenWidth();
        h = ScreenHeight();
    } else {
        const GraphicRecord* record = FindGraphic(handle);
        if (!record) {
            return -1;
        }
        w = record->width;
        h = record->height;
    }
    if (width) {
        *width = w;
    }
    if (height) {
        *height = h;
    }
    return 0;
}

int SetGraphicName(int32_t handle, const char* name) {
    GraphicRecord* record = FindGraphic(handle);
    if (!record || !name) {
        return -1;
    }
    StoreGraphicName(*record, name);
    return 0;
}

int SetDeletedFlagPointer(int32_t handle, int32_t* flag) {
    GraphicRecord* record = FindGraphic(handle);
    if (!record) {
        return -1;
    }
    record->deletedFlag = flag;
    if (flag) {
        *flag = 0;
    }
    return 0;
}

} // namespace graphic
} // namespace velox
