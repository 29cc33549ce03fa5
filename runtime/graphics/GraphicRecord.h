// Graphic records and the tables behind graphic handles. Every graphic is a rectangle of
// a memory image in the screen's software format; a derived graphic shares its source's
// image through a reference-counted surface data record.
#pragma once

#include "core/HandleTable.h"
#include "graphics/GraphicTable.h"
#include "graphics/GraphicsState.h"
#include "image/BaseImage.h"

#include <cstdint>

namespace velox::graphic {

constexpr int32_t kGraphicCapacity = 32768;
constexpr int32_t kSurfaceDataCapacity = 65536;
constexpr int kGraphicNameSize = 64;
constexpr int kGraphicDirectorySize = 256;

// Creation flags of a graphic; its surface data keeps a copy.
struct GraphicFlags {
    uint8_t texture; // always 0: no graphic lives in texture tiles here
    uint8_t alpha;
    uint8_t drawTarget;
    uint8_t systemMemory;
    uint8_t alphaTest;
    uint8_t colorBitDepth;
    uint8_t option1;
    uint8_t option2;
};

// A pixel store shared by a graphic and the graphics derived from it; freed when the
// last of them lets go.
struct SurfaceData {
    int32_t serial;
    int32_t refCount;
    GraphicFlags flags;
    image::BaseImage image;    // in the software format the graphic was made in
    uint32_t transparentValue; // the transparent color at creation, alpha 255
};

struct GraphicRecord {
    int32_t serial;
    int32_t* deletedFlag; // set to 1 when the graphic is deleted
    int32_t handle;
    GraphicFlags flags;
    int32_t creationMode;
    int32_t surfaceData; // the one tile: a surface data handle
    char name[kGraphicNameSize];
    char directory[kGraphicDirectorySize];
    bool nameWhole;           // name and directory fitted, so a reload can find the file
    int32_t sourceX, sourceY; // offset inside the loaded image (and inside the store)
    int32_t width, height;
    int32_t movie; // -1: no movie plays into the graphic
    int32_t lost;  // 1 from a device loss until the graphic is refilled
};

// Settings for graphics made from now on, reset when the table starts.
struct GraphicSettings {
    bool blankAlpha;           // blank graphics get an alpha channel
    uint32_t transparentColor; // 0xRRGGBB
    bool systemMemory;
    bool alphaTest;
    bool useTopLeftTransparent;
    bool transparentToAlpha;
    bool drawTargetMode;
    bool drawTargetAlpha;
    int32_t creationMode;
};

// Called with the number of graphics after every live graphic was marked lost.
using GraphicRestoreFunction = void (*)(int graphicCount);

struct GraphicTableState {
    core::HandleTable graphics;
    core::HandleTable surfaces;
    GraphicSettings settings;
    GraphicRestoreFunction restore; // kept across table starts
};

GraphicTableState& GraphicTables();

// True between StartGraphicTable and EndGraphicTable (graphics/GraphicTable.h).
bool GraphicTableStarted();

GraphicRecord* FindGraphic(int32_t handle);
SurfaceData* FindSurfaceData(int32_t handle);

// A graphic record of the given size with a fresh store in the screen's software format,
// filled with zeros; logs and gives -1 when the store cannot be made.
int32_t CreateGraphicRecord(int width, int height, bool alpha);
// A graphic from a decoded image and an optional alpha image, with the transparent-color
// options applied. The images stay the caller's.
int32_t CreateGraphicFromImages(image::BaseImage& image, image::BaseImage* alphaImage);
// Stores name and the file layer's current directory in the graphic.
void StoreGraphicName(GraphicRecord& record, const char* name);

// Decodes path and, when it exists, its alpha companion (name_a.ext). 0 on success,
// 1 when the file cannot be opened, 2 when it cannot be decoded.
int DecodeGraphicFile(const char* path, image::BaseImage& image, image::BaseImage& alpha,
                      bool& haveAlpha);
// Builds name_a.ext (or name_a) for path; false when out does not hold it.
bool AlphaCompanionName(const char* path, char* out, int outSize);
// With the transparent-color-to-alpha option: an ARGB copy of image whose transparent
// pixels have alpha 0 and the color of an opaque neighbour. -1 when out of memory.
int KeyTransparentToAlpha(const image::BaseImage& image, uint32_t transparentColor,
                          image::BaseImage& out);
// Converts the graphic's rectangle of image (at its source position) into its store,
// alpha from the alpha image when one is given. The caller keeps the rectangle inside.
void TransferIntoGraphic(const GraphicRecord& record, SurfaceData& data,
                         const image::BaseImage& image, const image::BaseImage* alpha);

int LoadGraphic(const char* path);
int CreateBlankGraphic(int width, int height);
int DeleteGraphic(int32_t handle, int logFlag);
int DeleteAllGraphics(int logFlag);
int DeriveGraphic(int x, int y, int width, int height, int32_t source);
int GetGraphicSize(int32_t handle, int* width, int* height);
int SetGraphicName(int32_t handle, const char* name);
int SetDeletedFlagPointer(int32_t handle, int32_t* flag);
int CaptureScreenToGraphic(int x1, int y1, int x2, int y2, int32_t handle);

// Restore after a lost display: marks every graphic lost and runs the restore callback.
// Memory images are never lost here, so only tests and a future device path call it.
int RestoreGraphics();
void SetRestoreCallback(GraphicRestoreFunction function); // null: the default
void RegisterDefaultRestore();
// The default callback: decodes each lost graphic's file again and refills it.
void ReloadGraphicsFromFiles(int graphicCount);

} // namespace velox::graphic
