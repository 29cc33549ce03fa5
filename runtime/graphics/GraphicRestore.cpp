#include "core/Log.h"
#include "core/ShiftJis.h"
#include "file/FileAccess.h"
#include "graphics/GraphicRecord.h"

#include <cstring>

namespace velox::graphic {
namespace {

// The file decoded last during a reload, kept for the next graphic of the same file.
struct DecodedFile {
    bool valid = false;
    char name[kGraphicNameSize] = {};
    char directory[kGraphicDirectorySize] = {};
    image::BaseImage image{};
    image::BaseImage keyed{}; // the image after the transparent-color-to-alpha option, if on
    image::BaseImage alpha{};
    bool haveAlpha = false;

    const image::BaseImage& Pixels() const { return keyed.pixels ? keyed : image; }
    void Release() {
        image::ReleaseBaseImage(image);
        image::ReleaseBaseImage(keyed);
        image::ReleaseBaseImage(alpha);
        valid = false;
    }
    bool Holds(const GraphicRecord& record) const {
        return valid && std::strcmp(name, record.name) == 0 &&
               std::strcmp(directory, record.directory) == 0;
    }
    bool Decode(const GraphicRecord& record) {
        Release();
        if (file::gFileAccess.setCurrentDirectory) {
            file::gFileAccess.setCurrentDirectory(record.directory);
        }
        if (DecodeGraphicFile(record.name, image, alpha, haveAlpha) != 0) {
            return false;
        }
        const GraphicSettings& settings = GraphicTables().settings;
        if (settings.transparentToAlpha &&
            KeyTransparentToAlpha(image, settings.transparentColor, keyed) != 0) {
            Release();
            return false;
        }
        std::memcpy(name, record.name, sizeof name);
        std::memcpy(directory, record.directory, sizeof directory);
        valid = true;
        return true;
    }
};

// Names longer than these were never reloaded; a cut name would find the wrong file.
constexpr size_t kReloadNameLimit = 64;
constexpr size_t kReloadDirectoryLimit = 128;

void Reload(GraphicRecord& record, DecodedFile& file) {
    if (!record.lost || record.name[0] == '\0' || !record.nameWhole ||
        std::strlen(record.name) > kReloadNameLimit ||
        std::strlen(record.directory) > kReloadDirectoryLimit) {
        return;
    }
    if (!file.Holds(record) && !file.Decode(record)) {
        return;
    }
    const image::BaseImage& pixels = file.Pixels();
    const image::BaseImage* alpha = file.haveAlpha ? &file.alpha : nullptr;
    SurfaceData* data = FindSurfaceData(record.surfaceData);
    // The file may have changed since the graphic was made from it.
    if (!data || record.sourceX + record.width > pixels.width ||
        record.sourceY + record.height > pixels.height ||
        (alpha && (alpha->width != pixels.width || alpha->height != pixels.height))) {
        return;
    }
    TransferIntoGraphic(record, *data, pixels, alpha);
    record.lost = 0;
}

} // namespace

void SetRestoreCallback(GraphicRestoreFunction function) {
    GraphicTables().restore = function ? function : &ReloadGraphicsFromFiles;
}

void RegisterDefaultRestore() {
    SetRestoreCallback(nullptr);
}

int RestoreGraphics() {
    GraphicTableState& t = GraphicTables();
    if (!GraphicTableStarted()) {
        return -1;
    }
    core::WalkHandles(t.graphics, [](int32_t handle) { FindGraphic(handle)->lost = 1; });
    if (t.restore) {
        t.restore(t.graphics.count);
    }
    return 0;
}

void ReloadGraphicsFromFiles(int) {
    LogWrite(SJIS("グラフィックを復帰します\n"));
    char saved[260] = {};
    const bool haveSaved =
        file::gFileAccess.getCurrentDirectory && file::gFileAccess.getCurrentDirectory(saved) == 0;
    DecodedFile file;
    core::WalkHandles(GraphicTables().graphics,
                      [&file](int32_t handle) { Reload(*FindGraphic(handle), file); });
    file.Release();
    if (haveSaved && file::gFileAccess.setCurrentDirectory) {
        file::gFileAccess.setCurrentDirectory(saved);
    }
}

} // namespace velox::graphic
