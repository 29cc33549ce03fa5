// The software blitters: every drawing onto a memory image goes through this family
// (plain, stretched, rotated and four-corner copies, rectangle fill). One reference
// implementation states the arithmetic (blit::reference); the fast paths (specialised
// loops, SSE2, AVX2) must give the same bytes, which the draw tests check.
//
// Inside the family a source pixel is a sample 0xAARRGGBB whose alpha is its coverage:
// the source's alpha, 255 for sources without alpha, 0 for a keyed (transparent) pixel;
// bilinear sampling interpolates all four bytes. A pixel of coverage 0 is not drawn.
// A drawn pixel of a 4-byte target gets its non-color bits set (alpha 255, spare bits).
#pragma once

#include "image/ColorFormat.h"

#include <cstdint>

namespace velox::blit {

enum class PixelKind : uint8_t {
    Rgb32,    // 0x??RRGGBB, the top byte holds no color
    Argb32,   // 0xAARRGGBB
    Rgb565,   // 2 bytes, red 0xF800, green 0x07E0, blue 0x001F
    Argb565,  // 4 bytes: 5-6-5 in the low half, alpha in bits 16..23
    Indexed8, // 1 byte through a palette; sources only
    Other,    // any other format, read through its masks; sources only
};

// The kind of a format; targets must be Rgb32, Argb32, Rgb565 or Argb565.
PixelKind KindOfFormat(const image::ColorFormat& format);
bool IsTargetKind(PixelKind kind);
// The samples of an indexed format's palette: red, green and blue of each entry, opaque.
void PaletteSamples(const image::ColorFormat& format, uint32_t samples[256]);

struct Rect {
    int32_t left, top, right, bottom; // right and bottom exclusive
};

struct Target {
    uint8_t* pixels; // top-left pixel of the target
    int32_t pitch;
    int32_t width, height;
    PixelKind kind;
    Rect clip; // nothing outside it (or outside the target) is written
};

struct Source {
    const uint8_t* pixels; // top-left pixel of the graphic
    int32_t pitch;
    int32_t width, height; // larger than kMaxSourceSide: drawn by the reference only
    PixelKind kind;
    const image::ColorFormat* format; // read for Other
    const uint32_t* palette;          // Indexed8: 256 samples
    bool keyed;                       // pixels whose color equals key are transparent
    uint32_t key;                     // 0x00RRGGBB
};

constexpr int32_t kMaxSourceSide = 16384;
// Stretched rectangles wider or taller than this are not drawn.
constexpr int64_t kMaxStretchExtent = int64_t(1) << 24;

// The draw state as the blitters see it.
struct Paint {
    int32_t mode;        // 0 none, 1 alpha, 2 add, 3 subtract, 4 multiply; others act as 0
    int32_t parameter;   // 0..255
    uint32_t brightness; // 0x00RRGGBB; 0xFFFFFF leaves colors unchanged
    bool bilinear;       // stretched, rotated and four-corner copies sample bilinearly
};

// Source positions are 16.16 fixed point; a pixel's sample point is its centre. The
// rotated and four-corner copies draw a pixel only when its sample point lies inside
// the source, so nothing bleeds past the graphic's edge.
struct AffineMap {
    Rect bounds;                    // the pixels that may be drawn, before clipping
    int64_t u0, v0;                 // source position of the centre of bounds' top-left pixel
    int64_t dudx, dvdx, dudy, dvdy; // change per destination pixel right and down
};

// A four-corner copy is two affine triangles split along the diagonal from the top-right
// to the bottom-left corner; the edge function decides which triangle a pixel belongs to.
struct QuadMap {
    Rect bounds;
    AffineMap triangle[2];         // [0] holds the top-left corner, [1] the bottom-right one
    int64_t edge0, edgeDx, edgeDy; // at bounds' top-left pixel centre; < 0 is triangle 0
    bool drawTriangle[2];          // false for a triangle of no area
};

// The map of a graphic of w x h drawn about its centre (X, Y) at scale s turned by angle
// radians (clockwise on screen); false when nothing can be drawn (zero or unusable scale).
bool MakeRotationMap(int32_t centreX, int32_t centreY, double scale, double angle, int32_t w,
                     int32_t h, AffineMap& map);
// corners: top-left, top-right, bottom-left, bottom-right destination points of the
// graphic's corners (0,0), (w,0), (0,h), (w,h).
bool MakeQuadMap(const double corners[4][2], int32_t w, int32_t h, QuadMap& map);

// The fast family.
void CopyPlain(const Target& target, const Source& source, int32_t x, int32_t y, bool mirror,
               const Paint& paint);
// Maps the whole source onto (x1, y1)-(x2, y2); x2 < x1 (y2 < y1) mirrors.
void CopyStretched(const Target& target, const Source& source, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const Paint& paint);
// mirror: the graphic is mirrored left-right before it is mapped.
void CopyAffine(const Target& target, const Source& source, const AffineMap& map, bool mirror,
                const Paint& paint);
void CopyQuad(const Target& target, const Source& source, const QuadMap& map, const Paint& paint);
// Fills rect with the color 0x00RRGGBB under the paint's mode and brightness.
void FillRect(const Target& target, const Rect& rect, uint32_t color, const Paint& paint);

// Which implementation the fast family runs; the draw tests compare each with the reference.
enum class Path { Portable, Sse2, Avx2 };
bool PathAvailable(Path path);
// Selects a path; false (and no change) when this processor cannot run it.
bool SelectPath(Path path);
Path ActivePath();

namespace reference {
void CopyPlain(const Target& target, const Source& source, int32_t x, int32_t y, bool mirror,
               const Paint& paint);
void CopyStretched(const Target& target, const Source& source, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const Paint& paint);
void CopyAffine(const Target& target, const Source& source, const AffineMap& map, bool mirror,
                const Paint& paint);
void CopyQuad(const Target& target, const Source& source, const QuadMap& map, const Paint& paint);
void FillRect(const Target& target, const Rect& rect, uint32_t color, const Paint& paint);
} // namespace reference

} // namespace velox::blit
