// The fast blitters' driver: clips, works out which source pixels each row shows, and
// runs the active kernel set over runs of up to kChunk pixels. Geometry the kernels
// cannot hold in 32 bits (huge sources, extreme scales) goes to the reference instead.
#include "blit/Blit.h"
#include "blit/BlitKernels.h"
#include "blit/BlitTables.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>

namespace velox::blit {
namespace {

const Kernels* BestKernels() {
    if (const Kernels* k = Avx2Kernels()) {
        return k;
    }
    if (const Kernels* k = Sse2Kernels()) {
        return k;
    }
    return &PortableKernels();
}

std::atomic<const Kernels*> gActive{nullptr};

const Kernels& Active() {
    const Kernels* k = gActive.load(std::memory_order_relaxed);
    if (k == nullptr) {
        k = BestKernels();
        gActive.store(k, std::memory_order_relaxed);
    }
    return *k;
}

bool Is32(PixelKind kind) {
    return kind == PixelKind::Rgb32 || kind == PixelKind::Argb32;
}

int32_t BytesOf(PixelKind kind) {
    return kind == PixelKind::Rgb565 ? 2 : 4;
}

struct Plan {
    CombineFn combine;
    CombineArgs args;
    const Kernels* fetch; // the set that fetches this source
    MixRowsFn mixRows;
    bool direct;   // plain rows of an Rgb32 source copied onto a 32-bit target
    int32_t bytes; // per target pixel
};

// False when the paint draws nothing (parameter 0 in modes 1 to 3).
bool MakePlan(const Target& t, const Source* s, const Paint& paint, Plan& plan) {
    int mode = paint.mode < 0 || paint.mode > 4 ? 0 : paint.mode;
    const int32_t parameter = std::clamp(paint.parameter, 0, 255);
    if (mode >= 1 && mode <= 3 && parameter == 0) {
        return false;
    }
    bool opaque = true;
    if (s != nullptr) {
        opaque = !s->keyed && (s->kind == PixelKind::Rgb32 || s->kind == PixelKind::Rgb565 ||
                               s->kind == PixelKind::Indexed8 ||
                               (s->kind == PixelKind::Other && s->format->alphaWidth == 0));
    }
    const bool bright = (paint.brightness & 0xFFFFFF) != 0xFFFFFF;
    if (opaque && mode == 1 && parameter == 255) {
        mode = 0; // the source is copied
    }
    const Kernels& k = Active();
    plan.combine = Is32(t.kind) ? k.combine32[mode][bright][opaque]
                                : PortableCombine(t.kind, mode, bright, opaque);
    plan.args = CombineArgs{parameter, paint.brightness & 0xFFFFFF};
    plan.fetch = s != nullptr && Is32(s->kind) ? &k : &PortableKernels();
    plan.mixRows = k.mixRows;
    plan.direct = s != nullptr && s->kind == PixelKind::Rgb32 && opaque && mode == 0 && !bright &&
                  Is32(t.kind);
    plan.bytes = BytesOf(t.kind);
    return true;
}

Rect Intersect(const Target& t, const Rect& r) {
    return Rect{std::max({t.clip.left, 0, r.left}), std::max({t.clip.top, 0, r.top}),
                std::min({t.clip.right, t.width, r.right}),
                std::min({t.clip.bottom, t.height, r.bottom})};
}

bool Empty(const Rect& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

uint8_t* TargetAt(const Target& t, int32_t x, int32_t y, int32_t bytes) {
    return t.pixels + int64_t(y) * t.pitch + int64_t(x) * bytes;
}

// Asks for the target's cache lines of row y from column from up to to ahead of their
// use: rows lie a pitch apart, and the hardware's stream detection does not carry a
// stream from one row to the next, so small or turned copies would wait on every row.
void PrefetchTargetRow(const Target& t, const Plan& plan, int32_t y, int32_t from, int32_t to) {
    const uint8_t* p = TargetAt(t, from, y, plan.bytes);
    for (int64_t k = 0; k < int64_t(to - from) * plan.bytes; k += 64) {
        __builtin_prefetch(p + k, 1);
    }
}

// A turned copy's rows cross the source's rows every few pixels, a pattern the hardware
// does not foresee: a source that is not in cache costs a memory round trip every few
// pixels. So the part of the source the target rectangle r shows is first read in order,
// one byte per cache line, which the hardware streams at full speed, when it is small
// enough to stay in cache meanwhile. (Prefetch hints instead of reads gained nothing.)
constexpr int64_t kSourceWarmBytes = int64_t(1) << 20;

void WarmSource(const Source& s, const AffineMap& m, const Rect& r) {
    if (!Is32(s.kind)) {
        return; // the sources of the fast fetches
    }
    int64_t minU = INT64_MAX, maxU = INT64_MIN, minV = INT64_MAX, maxV = INT64_MIN;
    for (int corner = 0; corner < 4; ++corner) {
        const int64_t i = int64_t(corner & 1 ? r.right - 1 : r.left) - m.bounds.left;
        const int64_t j = int64_t(corner & 2 ? r.bottom - 1 : r.top) - m.bounds.top;
        const int64_t u = m.u0 + i * m.dudx + j * m.dudy, v = m.v0 + i * m.dvdx + j * m.dvdy;
        minU = std::min(minU, u);
        maxU = std::max(maxU, u);
        minV = std::min(minV, v);
        maxV = std::max(maxV, v);
    }
    // One pixel of margin each way for the bilinear neighbours.
    const int64_t x0 = std::clamp<int64_t>((minU >> 16) - 1, 0, s.width - 1);
    const int64_t x1 = std::clamp<int64_t>((maxU >> 16) + 1, 0, s.width - 1);
    const int64_t y0 = std::clamp<int64_t>((minV >> 16) - 1, 0, s.height - 1);
    const int64_t y1 = std::clamp<int64_t>((maxV >> 16) + 1, 0, s.height - 1);
    const int64_t rowBytes = (x1 - x0 + 1) * 4;
    if (rowBytes * (y1 - y0 + 1) > kSourceWarmBytes) {
        return;
    }
    uint8_t seen = 0;
    for (int64_t y = y0; y <= y1; ++y) {
        const uint8_t* row = s.pixels + y * s.pitch + x0 * 4;
        for (int64_t k = 0; k < rowBytes + 63; k += 64) {
            seen |= row[std::min(k, rowBytes - 1)];
        }
    }
    asm volatile("" : : "r"(seen));
}

// Sources whose every 16.16 position and byte offset fits 32 bits.
bool SourceFits(const Source& s) {
    return s.width > 0 && s.height > 0 && s.width <= kMaxSourceSide && s.height <= kMaxSourceSide &&
           s.pitch > 0 && int64_t(s.height) * s.pitch < (int64_t(1) << 31);
}

// Columns of a stretched copy handled per pass over the rows.
constexpr int32_t kStretchBlock = 1024;

bool StretchFits(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return std::abs(int64_t(x2) - x1) <= kMaxStretchExtent &&
           std::abs(int64_t(y2) - y1) <= kMaxStretchExtent;
}

// Narrows [lo, hi) to the offsets i with minV <= a + i * b < maxV.
void Narrow(int64_t a, int64_t b, int64_t minV, int64_t maxV, int64_t& lo, int64_t& hi) {
    if (b == 0) {
        if (a < minV || a >= maxV) {
            hi = lo;
        }
    } else if (b > 0) {
        lo = std::max(lo, CeilDiv(minV - a, b));
        hi = std::min(hi, FloorDiv(maxV - 1 - a, b) + 1);
    } else {
        lo = std::max(lo, CeilDiv(a - (maxV - 1), -b));
        hi = std::min(hi, FloorDiv(a - minV, -b) + 1);
    }
}

// Steps a kernel can take without leaving 32 bits, whole vectors past the run included.
bool StepFits(int64_t step) {
    return step > -(int64_t(1) << 24) && step < (int64_t(1) << 24);
}

// One row of an affine copy: offsets [lo, hi) from the map's left edge, already narrowed
// to the source.
void AffineRow(const Target& t, const Source& s, const Plan& plan, const AffineMap& m, int64_t j,
               int64_t lo, int64_t hi, bool mirror, bool bilinear) {
    alignas(32) uint32_t buffer[kChunk + kFetchSlack];
    AffineRun run{int32_t(m.u0 + j * m.dudy + lo * m.dudx),
                  int32_t(m.v0 + j * m.dvdy + lo * m.dvdx), int32_t(m.dudx), int32_t(m.dvdx),
                  mirror};
    // A run whose every position is a pixel centre (quarter turns at whole scales) has
    // bilinear weights of 0 throughout: its samples are the nearest pixels, byte for byte.
    const bool onCentres = (run.u & 0xFFFF) == 0x8000 && (run.v & 0xFFFF) == 0x8000 &&
                           (run.dudx & 0xFFFF) == 0 && (run.dvdx & 0xFFFF) == 0;
    const FetchAffineFn fetch =
        bilinear && !onCentres ? plan.fetch->fetchAffineBilinear : plan.fetch->fetchAffineNearest;
    uint8_t* dst = TargetAt(t, int32_t(m.bounds.left + lo), int32_t(m.bounds.top + j), plan.bytes);
    for (int64_t i = lo; i < hi; i += kChunk) {
        const int32_t n = int32_t(std::min<int64_t>(kChunk, hi - i));
        fetch(s, run, n, buffer);
        plan.combine(dst, buffer, n, plan.args);
        dst += int64_t(n) * plan.bytes;
        run.u += n * run.dudx;
        run.v += n * run.dvdx;
    }
}

} // namespace

bool PathAvailable(Path path) {
    switch (path) {
    case Path::Portable:
        return true;
    case Path::Sse2:
        return Sse2Kernels() != nullptr;
    case Path::Avx2:
        return Avx2Kernels() != nullptr;
    }
    return false;
}

bool SelectPath(Path path) {
    const Kernels* k = path == Path::Avx2   ? Avx2Kernels()
                       : path == Path::Sse2 ? Sse2Kernels()
                                            : &PortableKernels();
    if (k == nullptr) {
        return false;
    }
    gActive.store(k, std::memory_order_relaxed);
    return true;
}

Path ActivePath() {
    const Kernels* k = &Active();
    return k == Avx2Kernels() ? Path::Avx2 : k == Sse2Kernels() ? Path::Sse2 : Path::Portable;
}

void CopyPlain(const Target& target, const Source& source, int32_t x, int32_t y, bool mirror,
               const Paint& paint) {
    Plan plan;
    if (!MakePlan(target, &source, paint, plan)) {
        return;
    }
    const Rect r = Intersect(
        target, Rect{x, y, int32_t(std::min<int64_t>(int64_t(x) + source.width, INT32_MAX)),
                     int32_t(std::min<int64_t>(int64_t(y) + source.height, INT32_MAX))});
    if (Empty(r)) {
        return;
    }
    alignas(32) uint32_t buffer[kChunk + kFetchSlack];
    for (int32_t dy = r.top; dy < r.bottom; ++dy) {
        const int32_t sy = dy - y;
        uint8_t* dst = TargetAt(target, r.left, dy, plan.bytes);
        int32_t sx = mirror ? source.width - 1 - (r.left - x) : r.left - x;
        if (plan.direct && !mirror) {
            plan.fetch->copy32(dst, source.pixels + int64_t(sy) * source.pitch + int64_t(sx) * 4,
                               r.right - r.left);
            continue;
        }
        for (int32_t dx = r.left; dx < r.right; dx += kChunk) {
            const int32_t n = std::min(kChunk, r.right - dx);
            plan.fetch->fetchRow(source, sx, sy, n, buffer, mirror);
            plan.combine(dst, buffer, n, plan.args);
            dst += n * plan.bytes;
            sx += mirror ? -n : n;
        }
    }
}

void CopyStretched(const Target& target, const Source& source, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const Paint& paint) {
    if (!SourceFits(source)) {
        reference::CopyStretched(target, source, x1, y1, x2, y2, paint);
        return;
    }
    Plan plan;
    if (x1 == x2 || y1 == y2 || !StretchFits(x1, y1, x2, y2) ||
        !MakePlan(target, &source, paint, plan)) {
        return;
    }
    const bool mirrorX = x2 < x1, mirrorY = y2 < y1;
    const Rect rect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    const int64_t stepX = (int64_t(rect.right) - rect.left) * 65536 / source.width;
    const int64_t stepY = (int64_t(rect.bottom) - rect.top) * 65536 / source.height;
    const Rect r = Intersect(target, rect);
    if (stepX == 0 || stepY == 0 || Empty(r)) {
        return;
    }
    const int32_t w = source.width, h = source.height;
    const int64_t maxU = int64_t(w - 1) << 16, maxV = int64_t(h - 1) << 16;
    alignas(32) uint32_t buffer[kStretchBlock + kFetchSlack];
    alignas(32) int32_t x0[kStretchBlock], x1s[kStretchBlock];
    alignas(32) uint8_t fx[kStretchBlock];
    // Source rows already fetched (bilinear: mixed horizontally) for this column block;
    // magnified rows share them, as horizontal mixing comes before vertical.
    alignas(32) uint32_t rows[2][kStretchBlock + kFetchSlack];
    int32_t rowOf[2];
    // Column blocks outside, rows inside, so the column tables stay on the stack; a screen
    // is one block wide, so the target is walked row after row.
    for (int32_t bx = r.left; bx < r.right; bx += kStretchBlock) {
        const int32_t n = std::min(kStretchBlock, r.right - bx);
        for (int32_t k = 0; k < n; ++k) {
            const int64_t i = int64_t(bx) + k - rect.left;
            if (paint.bilinear) {
                int64_t u = std::clamp<int64_t>(((2 * i + 1) << 31) / stepX - 32768, 0, maxU);
                u = mirrorX ? maxU - u : u;
                x0[k] = int32_t(u >> 16);
                x1s[k] = std::min(x0[k] + 1, w - 1);
                fx[k] = uint8_t(u >> 8);
            } else {
                const int32_t sx = int32_t(std::min<int64_t>((i << 16) / stepX, w - 1));
                x0[k] = mirrorX ? w - 1 - sx : sx;
            }
        }
        rowOf[0] = rowOf[1] = -1;
        // The fetched row sy, kept in a slot other than the one holding keep.
        auto fetched = [&](int32_t sy, int32_t keep) -> const uint32_t* {
            for (int slot = 0; slot < 2; ++slot) {
                if (rowOf[slot] == sy) {
                    return rows[slot];
                }
            }
            const int slot = rowOf[0] == keep ? 1 : 0;
            if (paint.bilinear) {
                plan.fetch->fetchBilinearRow(source, x0, x1s, fx, sy, n, rows[slot]);
            } else {
                plan.fetch->fetchColumns(source, x0, sy, n, rows[slot]);
            }
            rowOf[slot] = sy;
            return rows[slot];
        };
        // The source rows target row j shows, and the weight of the lower one (bilinear).
        auto sourceRows = [&](int64_t j, int32_t& y0, int32_t& y1, uint32_t& fy) {
            if (paint.bilinear) {
                int64_t v = std::clamp<int64_t>(((2 * j + 1) << 31) / stepY - 32768, 0, maxV);
                v = mirrorY ? maxV - v : v;
                y0 = int32_t(v >> 16);
                y1 = std::min(y0 + 1, h - 1);
                fy = uint32_t(v >> 8 & 255);
            } else {
                const int32_t sy = int32_t(std::min<int64_t>((j << 16) / stepY, h - 1));
                y0 = y1 = mirrorY ? h - 1 - sy : sy;
                fy = 0;
            }
        };
        // The columns this block reads, to ask for the next target row's source rows ahead:
        // a shrinking copy skips rows, which breaks the hardware's stream at every row.
        const int32_t* right = paint.bilinear ? x1s : x0; // columns rise or fall monotonically
        const int64_t spanFrom = int64_t(std::min(x0[0], x0[n - 1])) * 4;
        const int64_t spanTo = (int64_t(std::max(right[0], right[n - 1])) + 1) * 4;
        const bool prefetch = Is32(source.kind) && stepY < 65536;
        // Each row's source rows are worked out once: as the next row's, then used.
        int32_t next0, next1;
        uint32_t nextFy;
        sourceRows(int64_t(r.top) - rect.top, next0, next1, nextFy);
        for (int32_t dy = r.top; dy < r.bottom; ++dy) {
            const int64_t j = int64_t(dy) - rect.top;
            const uint32_t* samples;
            const int32_t y0 = next0, y1 = next1;
            const uint32_t fy = nextFy;
            if (dy + 1 < r.bottom) {
                sourceRows(j + 1, next0, next1, nextFy);
            }
            if (prefetch && dy + 1 < r.bottom) {
                for (const int32_t y : {next0, next1}) {
                    const uint8_t* row = source.pixels + int64_t(y) * source.pitch;
                    for (int64_t k = spanFrom; k < spanTo; k += 64) {
                        __builtin_prefetch(row + k);
                    }
                }
            }
            if (paint.bilinear) {
                if (fy != 0 && stepY <= 32768 && plan.fetch->fetchBilinearRows != nullptr) {
                    // Shrunk to half or less, no two target rows share a source row, so
                    // nothing is gained by keeping the mixed rows.
                    plan.fetch->fetchBilinearRows(source, x0, x1s, fx, y0, y1, fy, n, buffer);
                    samples = buffer;
                } else {
                    const uint32_t* top = fetched(y0, y1);
                    samples = top;
                    if (fy != 0) {
                        plan.mixRows(top, fetched(y1, y0), fy, n, buffer);
                        samples = buffer;
                    }
                }
            } else {
                samples = fetched(y0, -1);
            }
            plan.combine(TargetAt(target, bx, dy, plan.bytes), samples, n, plan.args);
        }
    }
}

void CopyAffine(const Target& target, const Source& source, const AffineMap& map, bool mirror,
                const Paint& paint) {
    if (!SourceFits(source) || !StepFits(map.dudx) || !StepFits(map.dvdx)) {
        reference::CopyAffine(target, source, map, mirror, paint);
        return;
    }
    Plan plan;
    const Rect r = Intersect(target, map.bounds);
    if (!MakePlan(target, &source, paint, plan) || Empty(r)) {
        return;
    }
    WarmSource(source, map, r);
    const int64_t maxU = int64_t(source.width) << 16, maxV = int64_t(source.height) << 16;
    for (int32_t dy = r.top; dy < r.bottom; ++dy) {
        const int64_t j = int64_t(dy) - map.bounds.top;
        int64_t lo = int64_t(r.left) - map.bounds.left, hi = int64_t(r.right) - map.bounds.left;
        Narrow(map.u0 + j * map.dudy, map.dudx, 0, maxU, lo, hi);
        Narrow(map.v0 + j * map.dvdy, map.dvdx, 0, maxV, lo, hi);
        if (lo < hi) {
            if (dy + 1 < r.bottom) {
                // The next row covers about the same columns.
                PrefetchTargetRow(target, plan, dy + 1,
                                  int32_t(std::max<int64_t>(map.bounds.left + lo - 8, r.left)),
                                  int32_t(std::min<int64_t>(map.bounds.left + hi + 8, r.right)));
            }
            AffineRow(target, source, plan, map, j, lo, hi, mirror, paint.bilinear);
        }
    }
}

void CopyQuad(const Target& target, const Source& source, const QuadMap& map, const Paint& paint) {
    for (int t = 0; t < 2; ++t) {
        const AffineMap& m = map.triangle[t];
        if (map.drawTriangle[t] && (!StepFits(m.dudx) || !StepFits(m.dvdx))) {
            reference::CopyQuad(target, source, map, paint);
            return;
        }
    }
    if (!SourceFits(source)) {
        reference::CopyQuad(target, source, map, paint);
        return;
    }
    Plan plan;
    const Rect r = Intersect(target, map.bounds);
    if (!MakePlan(target, &source, paint, plan) || Empty(r)) {
        return;
    }
    const int64_t maxU = int64_t(source.width) << 16, maxV = int64_t(source.height) << 16;
    const int64_t kFar = int64_t(1) << 62;
    for (int32_t dy = r.top; dy < r.bottom; ++dy) {
        const int64_t j = int64_t(dy) - map.bounds.top;
        const int64_t edge = map.edge0 + j * map.edgeDy;
        for (int t = 0; t < 2; ++t) {
            if (!map.drawTriangle[t]) {
                continue;
            }
            const AffineMap& m = map.triangle[t];
            int64_t lo = int64_t(r.left) - map.bounds.left;
            int64_t hi = int64_t(r.right) - map.bounds.left;
            Narrow(edge, map.edgeDx, t == 0 ? -kFar : 0, t == 0 ? 0 : kFar, lo, hi);
            Narrow(m.u0 + j * m.dudy, m.dudx, 0, maxU, lo, hi);
            Narrow(m.v0 + j * m.dvdy, m.dvdx, 0, maxV, lo, hi);
            if (lo < hi) {
                AffineRow(target, source, plan, m, j, lo, hi, false, paint.bilinear);
            }
        }
    }
}

void FillRect(const Target& target, const Rect& rect, uint32_t color, const Paint& paint) {
    Plan plan;
    const Rect r = Intersect(target, rect);
    if (!MakePlan(target, nullptr, paint, plan) || Empty(r)) {
        return;
    }
    const int mode = paint.mode < 0 || paint.mode > 4 ? 0 : paint.mode;
    const bool plainFill = (paint.brightness & 0xFFFFFF) == 0xFFFFFF &&
                           (mode == 0 || (mode == 1 && plan.args.parameter == 255));
    const int32_t n = r.right - r.left;
    if (plainFill && Is32(target.kind)) {
        for (int32_t dy = r.top; dy < r.bottom; ++dy) {
            Active().fill32(TargetAt(target, r.left, dy, 4), 0xFF000000u | color, n);
        }
        return;
    }
    alignas(32) uint32_t buffer[kChunk];
    std::fill_n(buffer, kChunk, 0xFF000000u | color);
    for (int32_t dy = r.top; dy < r.bottom; ++dy) {
        uint8_t* dst = TargetAt(target, r.left, dy, plan.bytes);
        for (int32_t dx = 0; dx < n; dx += kChunk) {
            const int32_t m = std::min(kChunk, n - dx);
            plan.combine(dst, buffer, m, plan.args);
            dst += m * plan.bytes;
        }
    }
}

} // namespace velox::blit
