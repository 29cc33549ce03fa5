// The demo's pictures, drawn from shapes and gradients: a JPEG background, a PNG
// character with alpha, a BMP star and a TGA cloud written byte by byte.
#include "DemoAssets.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace velox::demo {
namespace {

struct Rgba {
    double r, g, b, a;
};

// Straight (not premultiplied) RGBA, 8 bits a channel, rows top to bottom.
struct Canvas {
    int width, height;
    std::vector<Rgba> pixels;
    Canvas(int w, int h) : width(w), height(h), pixels(size_t(w) * h, Rgba{0, 0, 0, 0}) {}
    Rgba& At(int x, int y) { return pixels[size_t(y) * width + x]; }
    // Source-over blend of color with the given coverage (0..1).
    void Blend(int x, int y, Rgba c, double coverage) {
        double a = std::clamp(c.a * coverage, 0.0, 1.0);
        if (a <= 0) {
            return;
        }
        Rgba& d = At(x, y);
        double outA = a + d.a * (1 - a);
        auto mix = [&](double s, double t) { return (s * a + t * d.a * (1 - a)) / outA; };
        d = Rgba{mix(c.r, d.r), mix(c.g, d.g), mix(c.b, d.b), outA};
    }
    std::vector<uint8_t> Bytes(int channels) const {
        std::vector<uint8_t> out;
        out.reserve(pixels.size() * channels);
        for (const Rgba& p : pixels) {
            const double v[4] = {p.r, p.g, p.b, p.a};
            for (int c = 0; c < channels; ++c) {
                out.push_back(uint8_t(std::lround(std::clamp(v[c], 0.0, 1.0) * 255)));
            }
        }
        return out;
    }
};

// Coverage of a shape from its signed distance (negative inside): one pixel of smoothing.
double Coverage(double distance) {
    return std::clamp(0.5 - distance, 0.0, 1.0);
}

double EllipseDistance(double x, double y, double cx, double cy, double rx, double ry) {
    double dx = (x - cx) / rx, dy = (y - cy) / ry;
    return (std::sqrt(dx * dx + dy * dy) - 1) * std::min(rx, ry);
}

template <typename Distance> void Fill(Canvas& c, Rgba color, Distance distance) {
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            c.Blend(x, y, color, Coverage(distance(x + 0.5, y + 0.5)));
        }
    }
}

void FillEllipse(Canvas& c, Rgba color, double cx, double cy, double rx, double ry) {
    Fill(c, color, [&](double x, double y) { return EllipseDistance(x, y, cx, cy, rx, ry); });
}

Rgba Lerp(Rgba a, Rgba b, double t) {
    return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
                a.a + (b.a - a.a) * t};
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// A five-pointed star's signed distance, approximated by the polygon's edges.
double StarDistance(double x, double y, double cx, double cy, double outer, double inner) {
    const double kPi = 3.14159265358979;
    double px[10], py[10];
    for (int i = 0; i < 10; ++i) {
        double r = i % 2 ? inner : outer;
        double a = -kPi / 2 + i * kPi / 5;
        px[i] = cx + r * std::cos(a);
        py[i] = cy + r * std::sin(a);
    }
    bool inside = false;
    double best = 1e9;
    for (int i = 0, j = 9; i < 10; j = i++) {
        if ((py[i] > y) != (py[j] > y) &&
            x < (px[j] - px[i]) * (y - py[i]) / (py[j] - py[i]) + px[i]) {
            inside = !inside;
        }
        double ex = px[j] - px[i], ey = py[j] - py[i];
        double t = std::clamp(((x - px[i]) * ex + (y - py[i]) * ey) / (ex * ex + ey * ey), 0., 1.);
        best = std::min(best, std::hypot(x - px[i] - t * ex, y - py[i] - t * ey));
    }
    return inside ? -best : best;
}

} // namespace

bool WriteBackgroundJpeg(const std::string& path) {
    Canvas c(800, 600);
    const Rgba top{0.16, 0.20, 0.52, 1}, mid{0.93, 0.55, 0.45, 1}, low{1.0, 0.85, 0.55, 1};
    for (int y = 0; y < 600; ++y) {
        double t = y / 420.0;
        Rgba sky =
            t < 0.6 ? Lerp(top, mid, t / 0.6) : Lerp(mid, low, std::min(1.0, (t - 0.6) / 0.4));
        for (int x = 0; x < 800; ++x) {
            c.At(x, y) = sky;
        }
    }
    // A low sun with a soft glow, then two ranges of rolling hills in front of it.
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            double d = std::hypot(x - 560.0, y - 360.0);
            c.Blend(x, y, Rgba{1, 0.95, 0.75, 1}, 0.55 * std::exp(-d / 70));
        }
    }
    FillEllipse(c, Rgba{1, 0.93, 0.7, 1}, 560, 360, 46, 46);
    Fill(c, Rgba{0.35, 0.45, 0.55, 1},
         [](double x, double y) { return 395 + 30 * std::sin(x / 95.0 + 1) - y; });
    Fill(c, Rgba{0.22, 0.42, 0.30, 1}, [](double x, double y) {
        return 450 + 22 * std::sin(x / 70.0) + 12 * std::sin(x / 23.0 + 2) - y;
    });
    for (int y = 450; y < 600; ++y) { // the near ground darkens towards the bottom
        for (int x = 0; x < 800; ++x) {
            c.Blend(x, y, Rgba{0.08, 0.2, 0.14, 1}, (y - 450) / 200.0);
        }
    }
    std::vector<uint8_t> rgb = c.Bytes(3);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = 800;
    info.image_height = 600;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = rgb.data() + size_t(info.next_scanline) * 800 * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

bool WriteCharacterPng(const std::string& path) {
    Canvas c(256, 256);
    // Body: a rounded drop shape with a vertical gradient, drawn row by row.
    for (int y = 0; y < 256; ++y) {
        Rgba shade = Lerp(Rgba{0.45, 0.75, 1.0, 1}, Rgba{0.20, 0.40, 0.85, 1}, y / 256.0);
        for (int x = 0; x < 256; ++x) {
            double d = EllipseDistance(x + 0.5, y + 0.5, 128, 150, 92, 96);
            c.Blend(x, y, shade, Coverage(d));
        }
    }
    FillEllipse(c, Rgba{1, 1, 1, 0.35}, 100, 95, 28, 16); // shine
    FillEllipse(c, Rgba{1, 1, 1, 1}, 100, 140, 20, 24);   // eyes
    FillEllipse(c, Rgba{1, 1, 1, 1}, 156, 140, 20, 24);
    FillEllipse(c, Rgba{0.1, 0.12, 0.25, 1}, 104, 145, 10, 13);
    FillEllipse(c, Rgba{0.1, 0.12, 0.25, 1}, 160, 145, 10, 13);
    FillEllipse(c, Rgba{1, 1, 1, 1}, 107, 140, 3.5, 3.5);
    FillEllipse(c, Rgba{1, 1, 1, 1}, 163, 140, 3.5, 3.5);
    FillEllipse(c, Rgba{1, 0.5, 0.6, 0.6}, 80, 178, 14, 8); // cheeks
    FillEllipse(c, Rgba{1, 0.5, 0.6, 0.6}, 176, 178, 14, 8);
    Fill(c, Rgba{0.1, 0.12, 0.25, 1}, [](double x, double y) { // smile: a thick arc
        double d = std::hypot(x - 128, y - 170);
        double ring = std::abs(d - 20) - 3;
        return y < 176 ? std::max(ring, 176 - y) : ring;
    });
    FillEllipse(c, Rgba{1, 0.85, 0.3, 1}, 128, 44, 12, 12); // antenna tip
    Fill(c, Rgba{0.2, 0.4, 0.85, 1}, [](double x, double y) {
        return std::max(std::abs(x - 128) - 3, std::max(50 - y, y - 62));
    });
    std::vector<uint8_t> rgba = c.Bytes(4);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 256;
    image.height = 256;
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 256 * 4, nullptr) != 0;
}

bool WriteStarBmp(const std::string& path) {
    constexpr int kSide = 128;
    Canvas c(kSide, kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            c.At(x, y) = Rgba{0, 0, 0, 1};
        }
    }
    // A dark gold outline: scaling blends the edge with the black key, which then
    // reads as part of the outline.
    Fill(c, Rgba{0.55, 0.32, 0.05, 1},
         [](double x, double y) { return StarDistance(x, y, 64, 68, 62, 25); });
    Fill(c, Rgba{1, 0.86, 0.25, 1},
         [](double x, double y) { return StarDistance(x, y, 64, 68, 55, 21.5); });
    Fill(c, Rgba{1, 0.97, 0.7, 1},
         [](double x, double y) { return StarDistance(x, y, 64, 68, 32, 13); });
    // Edge pixels blended towards black would show as a dark fringe around the
    // transparent key; a pixel is either star or pure black.
    for (Rgba& p : c.pixels) {
        if (p.r + p.g + p.b < 0.35) {
            p = Rgba{0, 0, 0, 1};
        }
    }
    std::vector<uint8_t> rgb = c.Bytes(3);
    const uint32_t rowBytes = kSide * 3, imageBytes = rowBytes * kSide;
    std::vector<uint8_t> bmp = {'B', 'M'};
    Put32(bmp, 54 + imageBytes);
    Put32(bmp, 0);
    Put32(bmp, 54);
    Put32(bmp, 40); // BITMAPINFOHEADER
    Put32(bmp, kSide);
    Put32(bmp, kSide); // positive height: rows bottom to top
    Put16(bmp, 1);
    Put16(bmp, 24);
    Put32(bmp, 0); // uncompressed
    Put32(bmp, imageBytes);
    Put32(bmp, 2835);
    Put32(bmp, 2835);
    Put32(bmp, 0);
    Put32(bmp, 0);
    for (int y = kSide - 1; y >= 0; --y) {
        for (int x = 0; x < kSide; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * kSide + x) * 3];
            bmp.insert(bmp.end(), {p[2], p[1], p[0]});
        }
    }
    return WriteFile(path, bmp);
}

bool WriteCloudTga(const std::string& path) {
    Canvas c(192, 96);
    const double puffs[][3] = {
        {50, 60, 30}, {90, 45, 38}, {135, 55, 32}, {160, 66, 22}, {96, 68, 30}};
    for (const auto& p : puffs) {
        FillEllipse(c, Rgba{1, 1, 1, 1}, p[0], p[1], p[2], p[2]);
    }
    for (int y = 0; y < 96; ++y) { // a faint warm shade underneath
        for (int x = 0; x < 192; ++x) {
            Rgba& p = c.At(x, y);
            double t = y / 96.0;
            p.r -= 0.05 * t;
            p.g -= 0.12 * t;
            p.b -= 0.18 * t;
            p.a *= 0.9; // after the union of the puffs, so that overlaps leave no seams
        }
    }
    std::vector<uint8_t> rgba = c.Bytes(4);
    std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // uncompressed true color
    Put16(tga, 192);
    Put16(tga, 96);
    tga.push_back(32);
    tga.push_back(0x28); // 8 alpha bits, rows top to bottom
    for (size_t i = 0; i < rgba.size(); i += 4) {
        tga.insert(tga.end(), {rgba[i + 2], rgba[i + 1], rgba[i], rgba[i + 3]});
    }
    return WriteFile(path, tga);
}

} // namespace velox::demo
