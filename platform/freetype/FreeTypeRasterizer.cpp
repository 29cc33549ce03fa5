// Glyphs through FreeType, faces chosen by fontconfig. The request's face name,
// language (from the character set), weight, slant, fixed pitch and pixel size
// form one pattern; fontconfig's sorted list for it gives the face that serves
// the font and, in order, the faces that supply characters it lacks.
#include "platform/TextCodec.h"
#include "platform/freetype/FreeTypeFonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace velox::platform {

struct LoadedFace {
    FT_Face face = nullptr;
    bool attempted = false;
    bool embolden = false;
    int ascent = 0;
};

class RasterFont {
public:
    ~RasterFont() {
        for (LoadedFace& f : faces) {
            if (f.face) {
                FT_Done_Face(f.face);
            }
        }
        if (candidates) {
            FcFontSetDestroy(candidates);
        }
        if (request) {
            FcPatternDestroy(request);
        }
    }

    FcPattern* request = nullptr;
    FcFontSet* candidates = nullptr; // best match first, then faces adding coverage
    std::vector<LoadedFace> faces;   // parallel to candidates, opened on first need
    int height = 0;
    int charSet = kCharSetDefault;
    FontMetrics metrics{};
    int blankAdvance = 0;
    // The glyph last produced, so that a size query and the fetch after it render once.
    bool lastValid = false;
    uint32_t lastCode = 0;
    GlyphBitmapFormat lastFormat = GlyphBitmapFormat::Mono;
    GlyphMetrics lastMetrics{};
    std::vector<uint8_t> lastBitmap;
};

namespace {

FT_Library Library() {
    static FT_Library library = [] {
        FT_Library created = nullptr;
        return FT_Init_FreeType(&created) == 0 ? created : nullptr;
    }();
    return library;
}

// Scales the face so that its cell (the Windows ascent plus descent, as the
// runtime's size means the cell height) is `height` pixels; gives the ascent.
bool SizeFace(FT_Face face, int height, int& ascent) {
    if (!FT_IS_SCALABLE(face)) {
        return false;
    }
    int64_t up = face->ascender;
    int64_t down = -int64_t(face->descender);
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFFu && os2->usWinAscent + os2->usWinDescent > 0) {
        up = os2->usWinAscent;
        down = os2->usWinDescent;
    }
    if (up + down <= 0) {
        up = face->units_per_EM;
        down = 0;
    }
    int64_t em = int64_t(height) * 64 * face->units_per_EM / (up + down);
    if (FT_Set_Char_Size(face, 0, FT_F26Dot6(std::max<int64_t>(em, 64)), 72, 72) != 0) {
        return false;
    }
    ascent = int((up * height + (up + down) / 2) / (up + down));
    return true;
}

LoadedFace* FaceAt(RasterFont& font, int index) {
    LoadedFace& entry = font.faces[size_t(index)];
    if (entry.attempted) {
        return entry.face ? &entry : nullptr;
    }
    entry.attempted = true;
    FcPattern* candidate = font.candidates->fonts[index];
    FcBool scalable = FcTrue;
    if (FcPatternGetBool(candidate, FC_SCALABLE, 0, &scalable) == FcResultMatch && !scalable) {
        return nullptr; // the cell-height scaling needs outlines
    }
    FcChar8* file = nullptr;
    int faceIndex = 0;
    if (FcPatternGetString(candidate, FC_FILE, 0, &file) != FcResultMatch) {
        return nullptr;
    }
    FcPatternGetInteger(candidate, FC_INDEX, 0, &faceIndex);
    FT_Face face = nullptr;
    if (FT_New_Face(Library(), reinterpret_cast<const char*>(file), faceIndex, &face) != 0) {
        return nullptr;
    }
    // fontconfig decides whether this face needs synthetic bold or slant for the request.
    if (FcPattern* prepared = FcFontRenderPrepare(nullptr, font.request, candidate)) {
        FcBool embolden = FcFalse;
        if (FcPatternGetBool(prepared, FC_EMBOLDEN, 0, &embolden) == FcResultMatch) {
            entry.embolden = embolden;
        }
        FcMatrix* m = nullptr;
        if (FcPatternGetMatrix(prepared, FC_MATRIX, 0, &m) == FcResultMatch && m) {
            FT_Matrix shear{FT_Fixed(m->xx * 65536), FT_Fixed(m->xy * 65536),
                            FT_Fixed(m->yx * 65536), FT_Fixed(m->yy * 65536)};
            FT_Set_Transform(face, &shear, nullptr);
        }
        FcPatternDestroy(prepared);
    }
    if (!SizeFace(face, font.height, entry.ascent)) {
        FT_Done_Face(face);
        return nullptr;
    }
    entry.face = face;
    return &entry;
}

// The first face of the sorted list that has the character, with its glyph index.
LoadedFace* FaceFor(RasterFont& font, uint32_t codePoint, FT_UInt& glyphIndex) {
    for (int i = 0; i < font.candidates->nfont; ++i) {
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(font.candidates->fonts[i], FC_CHARSET, 0, &charset) ==
                FcResultMatch &&
            !FcCharSetHasChar(charset, codePoint)) {
            continue;
        }
        LoadedFace* face = FaceAt(font, i);
        if (face && (glyphIndex = FT_Get_Char_Index(face->face, codePoint)) != 0) {
            return face;
        }
    }
    return nullptr;
}

FT_Int32 LoadFlags(GlyphBitmapFormat format) {
    return format == GlyphBitmapFormat::Mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
}

// Coverage of pixel x of a FreeType row as a level 0..16.
int SourceLevel(const FT_Bitmap& bitmap, const uint8_t* row, unsigned x) {
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        return (row[x >> 3] >> (7 - (x & 7))) & 1 ? 16 : 0;
    }
    return (row[x] * 16 + 127) / 255;
}

bool RenderWith(LoadedFace& face, FT_UInt index, GlyphBitmapFormat format, GlyphMetrics& metrics,
                std::vector<uint8_t>& out) {
    if (FT_Load_Glyph(face.face, index, LoadFlags(format)) != 0) {
        return false;
    }
    FT_GlyphSlot slot = face.face->glyph;
    if (face.embolden) {
        FT_GlyphSlot_Embolden(slot);
    }
    bool mono = format == GlyphBitmapFormat::Mono;
    if (slot->format != FT_GLYPH_FORMAT_BITMAP &&
        FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
        return false;
    }
    const FT_Bitmap& bitmap = slot->bitmap;
    metrics.cellIncX = int((slot->advance.x + 32) >> 6);
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
        return true; // colour bitmaps are not drawn; the pen still advances
    }
    metrics.originX = slot->bitmap_left;
    metrics.originY = slot->bitmap_top;
    metrics.boxWidth = int(bitmap.width);
    metrics.boxHeight = int(bitmap.rows);
    int pitch = GlyphBitmapPitch(format, metrics.boxWidth);
    out.assign(size_t(pitch) * bitmap.rows, 0);
    int stride = std::abs(bitmap.pitch);
    for (unsigned y = 0; y < bitmap.rows; ++y) {
        unsigned memoryRow = bitmap.pitch >= 0 ? y : bitmap.rows - 1 - y;
        const uint8_t* row = bitmap.buffer + size_t(memoryRow) * size_t(stride);
        uint8_t* target = out.data() + size_t(y) * size_t(pitch);
        for (unsigned x = 0; x < bitmap.width; ++x) {
            int level = SourceLevel(bitmap, row, x);
            if (mono) {
                if (level >= 8) {
                    target[x >> 3] |= uint8_t(0x80 >> (x & 7));
                }
            } else {
                target[x] = uint8_t(level);
            }
        }
    }
    return true;
}

bool IsControl(uint32_t cp) {
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0);
}

bool Render(RasterFont& font, uint32_t code, GlyphBitmapFormat format) {
    font.lastValid = false;
    font.lastBitmap.clear();
    font.lastMetrics = GlyphMetrics{0, 0, font.blankAdvance, 0, 0};
    uint32_t cp = CodePointOfCharacter(code, font.charSet);
    FT_UInt index = 0;
    // Control characters and characters no face has draw nothing and advance a blank.
    LoadedFace* face = cp == 0 || IsControl(cp) ? nullptr : FaceFor(font, cp, index);
    if (face && !RenderWith(*face, index, format, font.lastMetrics, font.lastBitmap)) {
        return false;
    }
    font.lastValid = true;
    font.lastCode = code;
    font.lastFormat = format;
    return true;
}

FcPattern* BuildRequest(const FontRequest& request) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) {
        return nullptr;
    }
    if (request.faceName && request.faceName[0]) {
        std::string family = ShiftJisToUtf8(request.faceName);
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    }
    if (request.charSet == kCharSetShiftJis) {
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    } else if (request.charSet == kCharSetHangeul) {
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ko"));
    }
    int weight = request.weight <= 0 ? 400 : std::min(request.weight, 1000);
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, double(request.height));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

class FreeTypeRasterizer final : public GlyphRasterizer {
public:
    RasterFont* OpenFont(const FontRequest& request) override {
        if (!Library() || request.height <= 0 || !FcInit()) {
            return nullptr;
        }
        auto font = std::make_unique<RasterFont>();
        font->height = request.height;
        font->charSet = request.charSet;
        font->request = BuildRequest(request);
        if (!font->request) {
            return nullptr;
        }
        FcResult result = FcResultNoMatch;
        font->candidates = FcFontSort(nullptr, font->request, FcTrue, nullptr, &result);
        if (!font->candidates || font->candidates->nfont == 0) {
            return nullptr;
        }
        font->faces.resize(size_t(font->candidates->nfont));
        LoadedFace* primary = nullptr;
        for (int i = 0; i < font->candidates->nfont && !primary; ++i) {
            primary = FaceAt(*font, i);
        }
        if (!primary) {
            return nullptr;
        }
        FT_Face face = primary->face;
        int maxAdvance = int((face->size->metrics.max_advance + 63) >> 6);
        font->metrics = FontMetrics{maxAdvance > 0 ? maxAdvance : request.height, request.height,
                                    primary->ascent};
        font->blankAdvance = font->metrics.maxCharWidth / 2;
        if (FT_Load_Char(face, ' ', LoadFlags(GlyphBitmapFormat::Mono)) == 0) {
            font->blankAdvance = int((face->glyph->advance.x + 32) >> 6);
        }
        return font.release();
    }

    void CloseFont(RasterFont* font) override { delete font; }

    bool GetFontMetrics(RasterFont* font, FontMetrics& out) override {
        if (!font) {
            return false;
        }
        out = font->metrics;
        return true;
    }

    int32_t GetGlyph(RasterFont* font, uint32_t code, GlyphBitmapFormat format,
                     GlyphMetrics& metrics, uint8_t* buffer, int32_t bufferSize) override {
        if (!font) {
            return -1;
        }
        bool reuse = font->lastValid && font->lastCode == code && font->lastFormat == format;
        if (!reuse && !Render(*font, code, format)) {
            return -1;
        }
        metrics = font->lastMetrics;
        auto size = int32_t(font->lastBitmap.size());
        if (buffer) {
            if (bufferSize < size) {
                return -1;
            }
            if (size > 0) {
                std::memcpy(buffer, font->lastBitmap.data(), size_t(size));
            }
        }
        return size;
    }
};

GlyphRasterizer* gCurrent = nullptr;

} // namespace

GlyphRasterizer& FreeTypeGlyphRasterizer() {
    static FreeTypeRasterizer rasterizer;
    return rasterizer;
}

GlyphRasterizer& CurrentGlyphRasterizer() {
    return gCurrent ? *gCurrent : FreeTypeGlyphRasterizer();
}

void SetGlyphRasterizer(GlyphRasterizer* rasterizer) {
    gCurrent = rasterizer;
}

} // namespace velox::platform
