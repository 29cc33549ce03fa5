// Font handles: creation with the platform font and the glyph cache, deletion,
// the default font and the font start-up and end of the graphics layer.
#include "core/EntryGate.h"
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "graphics/GraphicsState.h"
#include "platform/GlyphRasterizer.h"
#include "text/Fonts.h"

#include <velox/velox.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace velox {
namespace {

text::FontState gFonts{
    {}, {{}, 16, 6, 0, text::kCharSetIndexShiftJis, 1, 0}, core::kNoHandle, 0, 0};

constexpr int kPlatformCharSets[3] = {platform::kCharSetDefault, platform::kCharSetShiftJis,
                                      platform::kCharSetHangeul};

int PlatformCharSet(int32_t index) {
    return index >= 0 && index < 3 ? kPlatformCharSets[index] : platform::kCharSetDefault;
}

void CopyFaceName(char (&out)[text::kFaceNameBytes], const char* name) {
    std::snprintf(out, sizeof out, "%s", name ? name : "");
}

platform::RasterFont* OpenWith(const char* face, int charSet, bool italic,
                               const text::FontRecord& f) {
    platform::FontRequest request{face, f.size, f.thickness * 100, italic, charSet};
    return platform::CurrentGlyphRasterizer().OpenFont(request);
}

// The face-name fallbacks: a named face in the chosen, the default and the
// Shift-JIS character set; without a name the gothic face, then any face.
bool OpenPlatformFont(text::FontRecord& f) {
    int chosen = PlatformCharSet(f.charSetIndex);
    bool italic = f.italic != 0;
    if (f.faceName[0]) {
        for (int charSet : {chosen, platform::kCharSetDefault, platform::kCharSetShiftJis}) {
            if ((f.rasterFont = OpenWith(f.faceName, charSet, italic, f))) {
                return true;
            }
        }
        LogWrite(SJIS("指定のフォントの作成に失敗しました\n"));
        return false;
    }
    const char* gothic = SJIS("ＭＳ ゴシック");
    if ((f.rasterFont = OpenWith(gothic, chosen, italic, f)) ||
        (f.rasterFont = OpenWith(gothic, platform::kCharSetDefault, false, f)) ||
        (f.rasterFont = OpenWith(nullptr, platform::kCharSetDefault, italic, f))) {
        return true;
    }
    LogWrite(SJIS("フォントの作成に失敗しました\n"));
    return false;
}

// Releases everything the record owns; the slot itself is left to the caller.
void ReleaseFontParts(text::FontRecord& f) {
    if (f.rasterFont) {
        platform::CurrentGlyphRasterizer().CloseFont(f.rasterFont);
        f.rasterFont = nullptr;
    }
    if (f.cache) {
        MemFree(f.cache);
        f.cache = nullptr;
    }
    image::ReleaseBaseImage(f.workScreen);
}

bool CreateMemoryCache(text::FontRecord& f) {
    bool eightBit = (f.fontType & (text::kFontEdge | text::kFontAntialiased)) != 0;
    f.bitsPerPixel = eightBit ? 8 : 1;
    f.capacity = text::MemoryCacheCapacity(f.cells.width, gFonts.glyphCountSetting);
    f.bytesPerRow = (f.bitsPerPixel * f.cells.width + 7) / 8;
    int64_t bytes = int64_t(f.bytesPerRow) * f.cells.width * f.capacity;
    if (bytes <= INT32_MAX) {
        f.cache = static_cast<uint8_t*>(MemAllocZero(int32_t(bytes), __FILE__, __LINE__));
    }
    if (!f.cache) {
        LogWrite(SJIS("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle"));
        return false;
    }
    if (!text::EnsureWorkScreen(f)) {
        LogWrite(SJIS("フォント用描画スクリーンの作成に失敗しました\n"));
        return false;
    }
    return true;
}

void ResetGlyphCache(text::FontRecord& f) {
    std::memset(f.characters, 0, sizeof f.characters);
    std::memset(f.slots, 0, sizeof f.slots);
    for (int32_t i = 0; i < text::kMaxGlyphSlots; ++i) {
        f.slots[i].cell = i < f.capacity ? i : -1;
    }
    f.nextSlot = 0;
}

// The slot a new font takes, or -1 after logging why there is none.
int32_t ChooseSlot(int slotIndex) {
    const core::HandleTable& table = gFonts.table;
    if (slotIndex >= 0) {
        return slotIndex < table.capacity && !table.slots[slotIndex] ? slotIndex : -1;
    }
    for (int32_t slot = 0; slot < table.capacity; ++slot) {
        if (!table.slots[slot]) {
            return slot;
        }
    }
    LogWriteFormat(SJIS("作成できるフォントハンドル数 %d の限界を超えました\n"),
                   text::kFontSlotCount);
    return -1;
}

} // namespace

text::FontState& text::Fonts() {
    return gFonts;
}

text::FontCells text::ComputeFontCells(int32_t maxCharWidth, int32_t textHeight, bool edged,
                                       int32_t edgeSize) {
    int32_t margin = edged ? 2 * edgeSize : 0;
    int32_t width = (maxCharWidth + 2 + margin + 7) / 8 * 8;
    int32_t height = (textHeight + margin + 1) / 2 * 2;
    return text::FontCells{std::max(width, height), height};
}

int32_t text::MemoryCacheCapacity(int32_t cellWidth, int32_t configuredCount) {
    int32_t count = configuredCount;
    if (count <= 0) {
        int64_t area = int64_t(cellWidth) * cellWidth;
        count = area > 0
                    ? int32_t(std::max<int64_t>(text::kGlyphCacheArea / area, text::kMinGlyphSlots))
                    : text::kMinGlyphSlots;
    }
    return std::min(count, text::kMaxGlyphSlots);
}

bool text::UseTextureGlyphCache() {
    // The glyph texture needs the 3D path; this system draws in software only.
    return false;
}

text::FontRecord* text::ResolveFont(int32_t font) {
    return core::ValidateHandleAs<text::FontRecord>(gFonts.table, font);
}

int text::CreateFontInner(const char* faceName, int size, int thickness, int fontType,
                          int charSetIndex, int edgeSize, int italic, int slotIndex, int serial) {
    graphic::GraphicsState& graphics = graphic::Graphics();
    if (!graphics.started || !gFonts.table.slots) {
        return -1;
    }
    size = size == -1 ? 16 : size;
    thickness = thickness == -1 ? 6 : thickness;
    // Only the edge and anti-aliasing bits mean anything to the cache.
    fontType = fontType < 0 ? 0 : fontType & (text::kFontEdge | text::kFontAntialiased);
    // The platform's OEM code page is 932 here, never 949.
    charSetIndex = charSetIndex == -1 ? text::kCharSetIndexShiftJis : charSetIndex;
    edgeSize = edgeSize < 0 ? 1 : edgeSize;
    if (edgeSize > 1) {
        fontType |= text::kFontEdge;
    }
    int32_t slot = ChooseSlot(slotIndex);
    if (slot < 0) {
        return -1;
    }
    core::HandleTable& table = gFonts.table;
    bool ownSerial = serial < 0;
    int32_t handle = core::AllocateHandleInto(
        table, core::MakeHandle(core::HandleType::Font,
                                ownSerial ? table.serialCounter : serial & 0x7FF, slot));
    if (handle == core::kNoHandle) {
        return LogWrite(SJIS("フォント管理用メモリ領域の確保に失敗しました\n"));
    }
    if (ownSerial) {
        table.serialCounter = (table.serialCounter + 1) % core::kSerialLimit;
    }
    text::FontRecord& f = *text::ResolveFont(handle);
    if (graphics.screen.colorBits == 8) {
        fontType &= ~kFontAntialiased;
    }
    CopyFaceName(f.faceName, faceName);
    f.size = size;
    f.thickness = thickness;
    f.fontType = fontType;
    f.charSetIndex = charSetIndex;
    f.edgeSize = edgeSize;
    f.italic = italic != 0 && italic != -1 ? 1 : 0;
    f.textureCache = text::UseTextureGlyphCache();

    bool made = OpenPlatformFont(f);
    platform::FontMetrics metrics{};
    if (made && !platform::CurrentGlyphRasterizer().GetFontMetrics(f.rasterFont, metrics)) {
        LogWrite(SJIS("ＤＣの取得に失敗しました\n"));
        made = false;
    }
    if (made) {
        f.ascent = metrics.ascent;
        f.cells = text::ComputeFontCells(metrics.maxCharWidth, metrics.height,
                                         (fontType & text::kFontEdge) != 0, edgeSize);
        made = CreateMemoryCache(f);
    }
    if (!made) {
        ReleaseFontParts(f);
        core::ReleaseHandle(table, handle);
        return -1;
    }
    ResetGlyphCache(f);
    return handle;
}

int text::DeleteFontInner(int font) {
    text::FontRecord* f = text::ResolveFont(font);
    if (!f) {
        return -1;
    }
    ReleaseFontParts(*f);
    if (f->lostFlag) {
        *f->lostFlag = 1;
    }
    return core::ReleaseHandle(gFonts.table, font);
}

void text::ResetDefaultFontSettings() {
    gFonts.defaults = text::DefaultFontSettings{{}, 16, 6, 0, text::kCharSetIndexShiftJis, 1, 0};
}

void text::RebuildDefaultFont() {
    const text::DefaultFontSettings& d = gFonts.defaults;
    if (const text::FontRecord* f = text::ResolveFont(gFonts.defaultFont)) {
        if (std::strcmp(f->faceName, d.faceName) == 0 && f->fontType == d.fontType &&
            f->size == d.size && f->thickness == d.thickness && f->charSetIndex == d.charSetIndex &&
            f->edgeSize == d.edgeSize && f->italic == d.italic) {
            return;
        }
        text::DeleteFontInner(gFonts.defaultFont);
    }
    gFonts.defaultFont =
        text::CreateFontInner(d.faceName, d.size, d.thickness, d.fontType, d.charSetIndex,
                              (d.fontType & text::kFontEdge) ? d.edgeSize : -1, d.italic, -1, -1);
    if (text::FontRecord* f = text::ResolveFont(gFonts.defaultFont)) {
        f->extraSpacing = gFonts.defaultExtraSpacing;
    }
}

int text::InitFonts() {
    LogWrite(SJIS("フォントの初期化を行います\n"));
    LogIndentAdd();
    if (!gFonts.table.slots &&
        !core::InitHandleTable(gFonts.table, core::HandleType::Font, text::kFontSlotCount,
                               sizeof(text::FontRecord))) {
        LogIndentSub();
        return -1;
    }
    // The default font keeps its settings across a restart of the graphics layer.
    text::DefaultFontSettings old{};
    const text::FontRecord* previous = text::ResolveFont(gFonts.defaultFont);
    if (previous) {
        old.size = previous->size;
        old.thickness = previous->thickness;
        old.fontType = previous->fontType;
        old.charSetIndex = previous->charSetIndex;
        old.edgeSize = previous->edgeSize;
        old.italic = previous->italic;
        CopyFaceName(old.faceName, previous->faceName);
    }
    core::WalkHandles(gFonts.table, [](int32_t handle) { text::DeleteFontInner(handle); });
    gFonts.defaultFont =
        previous ? text::CreateFontInner(old.faceName, old.size, old.thickness, old.fontType,
                                         old.charSetIndex, old.edgeSize, old.italic, -1, -1)
                 : text::CreateFontInner("", 16, 6, -1, -1, -1, -1, -1, -1);
    if (text::FontRecord* f = text::ResolveFont(gFonts.defaultFont)) {
        f->extraSpacing = gFonts.defaultExtraSpacing;
    }
    LogIndentSub();
    LogWrite(SJIS("フォントの初期化は正常に終了しました\n"));
    return 0;
}

void text::EndFonts() {
    if (!gFonts.table.slots) {
        return;
    }
    core::WalkHandles(gFonts.table, [](int32_t handle) { text::DeleteFontInner(handle); });
    core::FreeHandleTable(gFonts.table);
    gFonts.defaultFont = core::kNoHandle;
}

int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet,
                       int edgeSize, int italic) {
    core::GateScope gate;
    return text::CreateFontInner(faceName, size, thickness, fontType, charSet, edgeSize, italic, -1,
                                 -1);
}

int DeleteFont(int font) {
    core::GateScope gate;
    return text::DeleteFontInner(font);
}

int SetDefaultFontSize(int size) {
    core::GateScope gate;
    gFonts.defaults.size = size == -1 ? 16 : size;
    text::RebuildDefaultFont();
    return 0;
}

} // namespace velox
