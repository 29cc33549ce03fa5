// Every fast path must give the same bytes as the reference blitters, over random source
// and target kinds, sizes, clips, modes, parameters, brightness, keying, filters, angles
// and scales. The seed is printed; VELOX_DRAW_SEED=n repeats a run.
#include "blit/Blit.h"
#include "image/BaseImage.h"
#include "image/ColorFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace velox::blit {
namespace {

struct Image {
    image::ColorFormat format{};
    int width = 0, height = 0, pitch = 0;
    std::vector<uint8_t> bytes;
    uint32_t palette[256] = {};
};

image::ColorFormat FormatOf(PixelKind kind) {
    image::ColorFormat f{};
    switch (kind) {
    case PixelKind::Rgb32:
        return *image::GetSoftwareFormat(1, false, false);
    case PixelKind::Argb32:
        return *image::GetSoftwareFormat(1, true, false);
    case PixelKind::Rgb565:
        return *image::GetSoftwareFormat(0, false, false);
    case PixelKind::Argb565:
        return *image::GetSoftwareFormat(0, true, false);
    case PixelKind::Indexed8:
        return *image::GetSoftwareFormat(1, false, true);
    case PixelKind::Other:
        image::SetRgb24Format(f);
        return f;
    }
    return f;
}

class Case {
public:
    explicit Case(uint32_t seed) : rng_(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(int percent) { return Int(0, 99) < percent; }

    Image MakeImage(PixelKind kind, int w, int h, bool target) {
        Image im;
        im.format = FormatOf(kind);
        im.width = w;
        im.height = h;
        im.pitch = w * im.format.bytesPerPixel + (Chance(50) ? Int(0, 9) : 0);
        im.bytes.resize(size_t(im.pitch) * h + 1);
        if (target) {
            for (auto& b : im.bytes) {
                b = uint8_t(Int(0, 255));
            }
            return im;
        }
        // A few colors, so that keyed pixels occur; alpha 0, 255 or anything.
        uint32_t colors[5];
        for (auto& c : colors) {
            c = uint32_t(Int(0, 0xFFFFFF));
        }
        for (int i = 0; i < 256; ++i) {
            im.format.palette[i] = image::PaletteEntry{uint8_t(Int(0, 255)), uint8_t(Int(0, 255)),
                                                       uint8_t(Int(0, 255)), 0};
        }
        im.format.palette[7] = im.format.palette[3];
        for (int y = 0; y < h; ++y) {
            uint8_t* row = im.bytes.data() + size_t(y) * im.pitch;
            for (int x = 0; x < w; ++x) {
                const uint32_t c = colors[Int(0, 4)];
                const int alpha = Chance(30) ? 0 : Chance(40) ? 255 : Int(0, 255);
                uint32_t value;
                if (kind == PixelKind::Indexed8) {
                    value = uint32_t(Chance(40) ? 3 : Int(0, 255));
                } else {
                    value = image::ComposeColor(im.format, int(c >> 16), int(c >> 8 & 255),
                                                int(c & 255), alpha);
                    if (Chance(20)) {
                        value ^= im.format.spareMask & uint32_t(Int(0, 0x7FFFFFFF));
                    }
                }
                image::WritePixelValue(row, x, im.format.bytesPerPixel, value);
            }
        }
        PaletteSamples(im.format, im.palette);
        return im;
    }

    std::mt19937& rng() { return rng_; }

private:
    std::mt19937 rng_;
};

const char* KindName(PixelKind k) {
    static const char* const names[] = {"Rgb32",   "Argb32",   "Rgb565",
                                        "Argb565", "Indexed8", "Rgb24"};
    return names[int(k)];
}

// Runs one random case on the reference and on the active fast path; "" when they agree.
std::string RunCase(uint32_t seed) {
    Case c(seed);
    const PixelKind sourceKinds[] = {PixelKind::Rgb32,   PixelKind::Argb32,   PixelKind::Rgb565,
                                     PixelKind::Argb565, PixelKind::Indexed8, PixelKind::Other};
    const PixelKind targetKinds[] = {PixelKind::Rgb32, PixelKind::Argb32, PixelKind::Rgb565,
                                     PixelKind::Argb565};
    // Weighted toward 32-bit, where the SIMD kernels apply.
    const PixelKind sk = c.Chance(60) ? sourceKinds[c.Int(0, 1)] : sourceKinds[c.Int(0, 5)];
    const PixelKind tk = c.Chance(70) ? targetKinds[c.Int(0, 1)] : targetKinds[c.Int(0, 3)];
    const bool wide = c.Chance(15);
    Image src = c.MakeImage(sk, c.Int(1, wide ? 300 : 40), c.Int(1, 40), false);
    // Now and then a target wider than a stretch handles in one pass.
    const bool veryWide = c.Chance(4);
    const int tw = veryWide ? c.Int(1025, 1300) : c.Int(1, wide ? 400 : 100);
    const int th = veryWide ? c.Int(1, 4) : c.Int(1, 60);
    Image dstRef = c.MakeImage(tk, tw, th, true);
    Image dstFast = dstRef;

    Source source{src.bytes.data(), src.pitch,   src.width, src.height, sk,
                  &src.format,      src.palette, false,     0};
    if (c.Chance(40)) {
        source.keyed = true;
        // The key is a color that occurs, read back through the source's own format.
        const int x = c.Int(0, src.width - 1), y = c.Int(0, src.height - 1);
        int r, g, b;
        if (sk == PixelKind::Indexed8) {
            const uint32_t v = src.palette[src.bytes[size_t(y) * src.pitch + x]];
            r = int(v >> 16 & 255), g = int(v >> 8 & 255), b = int(v & 255);
        } else {
            image::DecomposeColor(src.format,
                                  image::ReadPixelValue(src.bytes.data() + size_t(y) * src.pitch, x,
                                                        src.format.bytesPerPixel),
                                  &r, &g, &b, nullptr);
        }
        source.key = uint32_t(r << 16 | g << 8 | b);
    }
    Target ref{dstRef.bytes.data(), dstRef.pitch, tw, th, tk, {}};
    ref.clip = c.Chance(50)
                   ? Rect{0, 0, tw, th}
                   : Rect{c.Int(-5, tw), c.Int(-5, th), c.Int(0, tw + 5), c.Int(0, th + 5)};
    Target fast = ref;
    fast.pixels = dstFast.bytes.data();

    const int modes[] = {0, 1, 1, 1, 2, 3, 4, 5, -1};
    const int parameters[] = {0, 255, 128, 1, 254};
    Paint paint{};
    paint.mode = modes[c.Int(0, 8)];
    paint.parameter = c.Chance(50) ? parameters[c.Int(0, 4)] : c.Int(-20, 300);
    paint.brightness = c.Chance(50) ? 0xFFFFFF : uint32_t(c.Int(0, 0xFFFFFF));
    paint.bilinear = c.Chance(50);

    char what[256];
    const int op = c.Int(0, 4);
    if (op == 0) {
        const int x = c.Int(-src.width, tw), y = c.Int(-src.height, th);
        const bool mirror = c.Chance(30);
        std::snprintf(what, sizeof what, "plain at %d,%d mirror %d", x, y, mirror);
        reference::CopyPlain(ref, source, x, y, mirror, paint);
        CopyPlain(fast, source, x, y, mirror, paint);
    } else if (op == 1) {
        const int x1 = c.Int(-30, tw + 30), y1 = c.Int(-30, th + 30);
        const int x2 = c.Int(-30, tw + 30), y2 = c.Int(-30, th + 30);
        std::snprintf(what, sizeof what, "stretched %d,%d - %d,%d", x1, y1, x2, y2);
        reference::CopyStretched(ref, source, x1, y1, x2, y2, paint);
        CopyStretched(fast, source, x1, y1, x2, y2, paint);
    } else if (op == 2) {
        const double quarter = std::acos(-1.0) / 2;
        const double angle = c.Chance(30) ? quarter * c.Int(-4, 4)
                                          : std::uniform_real_distribution<double>(-7, 7)(c.rng());
        const double scale =
            c.Chance(20)
                ? 1.0
                : std::uniform_real_distribution<double>(0.1, 4)(c.rng()) * (c.Chance(10) ? -1 : 1);
        const int cx = c.Int(-20, tw + 20), cy = c.Int(-20, th + 20);
        const bool mirror = c.Chance(30);
        std::snprintf(what, sizeof what, "affine about %d,%d scale %.4f angle %.4f mirror %d", cx,
                      cy, scale, angle, mirror);
        AffineMap map{};
        if (MakeRotationMap(cx, cy, scale, angle, src.width, src.height, map)) {
            reference::CopyAffine(ref, source, map, mirror, paint);
            CopyAffine(fast, source, map, mirror, paint);
        }
    } else if (op == 3) {
        double corners[4][2];
        for (auto& p : corners) {
            p[0] = std::uniform_real_distribution<double>(-20, tw + 20)(c.rng());
            p[1] = std::uniform_real_distribution<double>(-20, th + 20)(c.rng());
        }
        std::snprintf(what, sizeof what, "quad (%.1f,%.1f) (%.1f,%.1f) (%.1f,%.1f) (%.1f,%.1f)",
                      corners[0][0], corners[0][1], corners[1][0], corners[1][1], corners[2][0],
                      corners[2][1], corners[3][0], corners[3][1]);
        QuadMap map{};
        if (MakeQuadMap(corners, src.width, src.height, map)) {
            reference::CopyQuad(ref, source, map, paint);
            CopyQuad(fast, source, map, paint);
        }
    } else {
        const Rect r{c.Int(-10, tw + 10), c.Int(-10, th + 10), c.Int(-10, tw + 10),
                     c.Int(-10, th + 10)};
        const uint32_t color = uint32_t(c.Int(0, 0xFFFFFF));
        std::snprintf(what, sizeof what, "fill %d,%d - %d,%d with %06x", r.left, r.top, r.right,
                      r.bottom, color);
        reference::FillRect(ref, r, color, paint);
        FillRect(fast, r, color, paint);
    }
    if (dstRef.bytes == dstFast.bytes) {
        return "";
    }
    size_t at = 0;
    while (dstRef.bytes[at] == dstFast.bytes[at]) {
        ++at;
    }
    char report[768];
    std::snprintf(report, sizeof report,
                  "%s, source %s %dx%d keyed %d (key %06x), target %s %dx%d clip %d,%d-%d,%d, "
                  "mode %d parameter %d brightness %06x bilinear %d: first difference at byte "
                  "%zu (row %zu): reference %02x, fast %02x",
                  what, KindName(sk), src.width, src.height, source.keyed, source.key, KindName(tk),
                  tw, th, ref.clip.left, ref.clip.top, ref.clip.right, ref.clip.bottom, paint.mode,
                  paint.parameter, paint.brightness, paint.bilinear, at, at / size_t(dstRef.pitch),
                  dstRef.bytes[at], dstFast.bytes[at]);
    return report;
}

uint32_t Seed() {
    if (const char* s = std::getenv("VELOX_DRAW_SEED")) {
        return uint32_t(std::strtoul(s, nullptr, 0));
    }
    return std::random_device{}();
}

void CompareWithReference(Path path, int cases) {
    if (!SelectPath(path)) {
        GTEST_SKIP() << "this processor cannot run the path";
    }
    const uint32_t seed = Seed();
    std::printf("VELOX_DRAW_SEED=%u\n", seed);
    std::mt19937 seeds(seed);
    int failures = 0;
    for (int i = 0; i < cases && failures < 5; ++i) {
        const uint32_t caseSeed = seeds();
        const std::string difference = RunCase(caseSeed);
        if (!difference.empty()) {
            ++failures;
            ADD_FAILURE() << "seed " << seed << ", case " << i << " (case seed " << caseSeed
                          << "): " << difference;
        }
    }
}

TEST(BlitEquivalence, PortableGivesReferenceBytes) {
    CompareWithReference(Path::Portable, 3000);
}

TEST(BlitEquivalence, Sse2GivesReferenceBytes) {
    CompareWithReference(Path::Sse2, 3000);
}

TEST(BlitEquivalence, Avx2GivesReferenceBytes) {
    CompareWithReference(Path::Avx2, 3000);
}

} // namespace
} // namespace velox::blit

namespace velox::blit {
namespace {

// The shapes the fast paths single out, on every path, each against the reference:
// quarter turns at scale 1 (sampled at pixel centres), halving and enlarging stretches
// (neighbouring columns read together), mirrored or not, and turned rows of every length
// modulo the vector width, on keyed and unkeyed sources with and without alpha.
TEST(BlitEquivalence, SingledOutShapesGiveReferenceBytes) {
    const double quarter = std::acos(-1.0) / 2;
    int compared = 0;
    for (Path path : {Path::Portable, Path::Sse2, Path::Avx2}) {
        if (!SelectPath(path)) {
            continue;
        }
        Case c(1208 + uint32_t(path));
        for (PixelKind kind : {PixelKind::Rgb32, PixelKind::Argb32}) {
            for (bool keyed : {false, true}) {
                Image src = c.MakeImage(kind, 37 + c.Int(0, 30), 22 + c.Int(0, 9), false);
                Source source{src.bytes.data(), src.pitch,   src.width, src.height, kind,
                              &src.format,      src.palette, keyed,     0};
                source.key = image::ReadPixelValue(src.bytes.data(), 0, 4) & 0xFFFFFF;
                const Image blank = c.MakeImage(PixelKind::Rgb32, 150, 110, true);
                auto check = [&](const std::string& what, auto draw) {
                    Image ref = blank, fast = blank;
                    Target t{ref.bytes.data(), ref.pitch,           150, 110,
                             PixelKind::Rgb32, Rect{3, 2, 141, 104}};
                    draw(t, true);
                    t.pixels = fast.bytes.data();
                    draw(t, false);
                    EXPECT_TRUE(ref.bytes == fast.bytes)
                        << what << " on path " << int(path) << ", source " << KindName(kind) << " "
                        << src.width << "x" << src.height << " keyed " << keyed;
                    ++compared;
                };
                for (bool bilinear : {true, false}) {
                    const Paint paint{1, 200, 0xFFFFFF, bilinear};
                    // Whole steps from centres, then from a quarter pixel off in u or v.
                    for (int turn = 0; turn < 12; ++turn) {
                        for (bool mirror : {false, true}) {
                            AffineMap map{};
                            ASSERT_TRUE(MakeRotationMap(70 + turn, 50 - turn, 1.0,
                                                        (turn % 4) * quarter, src.width, src.height,
                                                        map));
                            map.u0 += turn / 4 == 1 ? 16384 : 0;
                            map.v0 += turn / 4 == 2 ? 16384 : 0;
                            check("quarter turn " + std::to_string(turn), [&](const Target& t,
                                                                              bool reference) {
                                reference ? reference::CopyAffine(t, source, map, mirror, paint)
                                          : CopyAffine(t, source, map, mirror, paint);
                            });
                        }
                    }
                    for (int k = 0; k < 8; ++k) {
                        AffineMap map{};
                        ASSERT_TRUE(MakeRotationMap(60 + k, 55, 0.8 + 0.1 * k, 0.3 + 0.7 * k,
                                                    src.width, src.height, map));
                        check("turn " + std::to_string(k), [&](const Target& t, bool reference) {
                            reference ? reference::CopyAffine(t, source, map, k % 2 == 1, paint)
                                      : CopyAffine(t, source, map, k % 2 == 1, paint);
                        });
                    }
                    const int w = src.width, h = src.height;
                    const int boxes[][4] = {{5, 4, 5 + w / 2, 4 + h / 2},
                                            {140, 4, 140 - w / 2, 4 + h / 2},
                                            {1, 100, 1 + (w * 3 + 1) / 2, 100 - (h * 3) / 2},
                                            {-7, 3, -7 + w * 2 - 1, 3 + h - 1}};
                    for (const auto& b : boxes) {
                        check("stretch to " + std::to_string(b[2] - b[0]) + "x" +
                                  std::to_string(b[3] - b[1]),
                              [&](const Target& t, bool reference) {
                                  reference
                                      ? reference::CopyStretched(t, source, b[0], b[1], b[2], b[3],
                                                                 paint)
                                      : CopyStretched(t, source, b[0], b[1], b[2], b[3], paint);
                              });
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 100);
}

} // namespace
} // namespace velox::blit
