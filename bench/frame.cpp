// The player's typical frame on an 800 x 600 32-bit screen, drawn by Velox's blitters, by
// pixman and by SDL2's software renderer, alternating frame by frame (each round starting
// with the next renderer) on one core:
//   clear; an 800 x 600 background stretched to the screen without transparency; a
//   400 x 300 image with alpha turned 30 degrees at scale 1.5 about its centre, bilinear,
//   at alpha 128 (Velox: brightness 255, blend mode 1, parameter 128).
// Then a sweep of angles and scales, nearest and bilinear, and 200 small turned sprites.
// Options: --path=portable|sse2|avx2 (Velox kernels), --rounds=N.
#include "blit/Blit.h"
#include "blit/DrawPlacement.h"

#include <SDL.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <time.h>
#include <vector>

namespace {

using namespace velox;

constexpr int kWidth = 800;
constexpr int kHeight = 600;
const double kPi = std::acos(-1.0);

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;        // 0xAARRGGBB, straight alpha
    std::vector<uint32_t> premultiplied; // the same for pixman
};

uint32_t Premultiply(uint32_t p) {
    const uint32_t a = p >> 24;
    auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
    return a << 24 | scale(p >> 16 & 255) << 16 | scale(p >> 8 & 255) << 8 | scale(p & 255);
}

// Smooth color ramps with some noise; alpha falls off toward the edges when asked.
Picture MakePicture(int width, int height, bool alpha, uint32_t seed) {
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.resize(size_t(width) * height);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int noise = int(rng() % 24);
            const uint32_t r = uint32_t(std::min(255, x * 255 / width + noise));
            const uint32_t g = uint32_t(std::min(255, y * 255 / height + noise));
            const uint32_t b = uint32_t(((x ^ y) & 0x7F) + noise);
            uint32_t a = 255;
            if (alpha) {
                const double dx = (x + 0.5) / width - 0.5, dy = (y + 0.5) / height - 0.5;
                const double d = std::sqrt(dx * dx + dy * dy) * 2;
                a = d < 0.6 ? 255 : d > 1.0 ? 0 : uint32_t((1.0 - d) / 0.4 * 255);
            }
            p.pixels[size_t(y) * width + x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
    p.premultiplied.resize(p.pixels.size());
    std::transform(p.pixels.begin(), p.pixels.end(), p.premultiplied.begin(), Premultiply);
    return p;
}

struct Placement {
    int x, y;            // where the graphic's centre lands
    double scale, angle; // angle in radians, clockwise on screen
};

class Timer {
public:
    void Add(double micros) { samples_.push_back(micros); }
    double Median() {
        if (samples_.empty()) {
            return 0;
        }
        std::sort(samples_.begin(), samples_.end());
        return samples_[samples_.size() / 2];
    }

private:
    std::vector<double> samples_;
};

// Microseconds of this thread's processor time: the machine may be shared, and time spent
// waiting for a core is no part of the work.
double Time(const std::function<void()>& work) {
    timespec start, end;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    work();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    return double(end.tv_sec - start.tv_sec) * 1e6 + double(end.tv_nsec - start.tv_nsec) / 1e3;
}

// ---- Velox -------------------------------------------------------------------

class VeloxFrame {
public:
    explicit VeloxFrame(std::vector<uint32_t>& screen)
        : target_{reinterpret_cast<uint8_t*>(screen.data()),
                  kWidth * 4,
                  kWidth,
                  kHeight,
                  blit::PixelKind::Rgb32,
                  {0, 0, kWidth, kHeight}} {}

    static blit::Source SourceOf(const Picture& p, bool alpha) {
        return blit::Source{reinterpret_cast<const uint8_t*>(p.pixels.data()),
                            p.width * 4,
                            p.width,
                            p.height,
                            alpha ? blit::PixelKind::Argb32 : blit::PixelKind::Rgb32,
                            nullptr,
                            nullptr,
                            false,
                            0};
    }

    void Clear() {
        blit::FillRect(target_, blit::Rect{0, 0, kWidth, kHeight}, 0,
                       blit::Paint{0, 0, 0xFFFFFF, false});
    }
    // As the player: brightness 255, blend mode 1 with parameter 255, filter 1.
    void Background(const Picture& p) {
        blit::PlaceStretched(target_, SourceOf(p, false), 0, 0, kWidth, kHeight,
                             blit::Paint{1, 255, 0xFFFFFF, true});
    }
    void Draw(const Picture& p, const Placement& at, int parameter, bool bilinear) {
        blit::PlaceRotated(target_, SourceOf(p, true), at.x, at.y, p.width / 2, p.height / 2,
                           at.scale, at.angle, false,
                           blit::Paint{1, parameter, 0xFFFFFF, bilinear});
    }

private:
    blit::Target target_;
};

// ---- pixman ------------------------------------------------------------------

class PixmanFrame {
public:
    explicit PixmanFrame(std::vector<uint32_t>& screen) : screen_(screen) {
        target_ =
            pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, screen.data(), kWidth * 4);
    }
    ~PixmanFrame() {
        pixman_image_unref(target_);
        for (auto& [picture, image] : images_) {
            pixman_image_unref(image);
        }
        for (auto& [alpha, mask] : masks_) {
            pixman_image_unref(mask);
        }
    }

    void Clear() { pixman_fill(screen_.data(), kWidth, 32, 0, 0, kWidth, kHeight, 0xFF000000u); }
    void Background(const Picture& p) {
        pixman_image_composite32(PIXMAN_OP_SRC, ImageOf(p, false), nullptr, target_, 0, 0, 0, 0, 0,
                                 0, kWidth, kHeight);
    }
    void Draw(const Picture& p, const Placement& at, int parameter, bool bilinear) {
        pixman_image_t* source = ImageOf(p, true);
        pixman_f_transform f;
        pixman_f_transform_init_translate(&f, -at.x, -at.y);
        pixman_f_transform_rotate(&f, nullptr, std::cos(at.angle), -std::sin(at.angle));
        pixman_f_transform_scale(&f, nullptr, 1 / at.scale, 1 / at.scale);
        pixman_f_transform_translate(&f, nullptr, p.width / 2.0, p.height / 2.0);
        pixman_transform t;
        pixman_transform_from_pixman_f_transform(&t, &f);
        pixman_image_set_transform(source, &t);
        pixman_image_set_filter(source, bilinear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST,
                                nullptr, 0);
        int left, top, right, bottom;
        Bounds(p, at, left, top, right, bottom);
        if (left < right && top < bottom) {
            pixman_image_composite32(PIXMAN_OP_OVER, source, MaskOf(parameter), target_, left, top,
                                     0, 0, left, top, right - left, bottom - top);
        }
    }

    // The screen rectangle the placed picture can touch.
    static void Bounds(const Picture& p, const Placement& at, int& left, int& top, int& right,
                       int& bottom) {
        const double c = std::cos(at.angle), s = std::sin(at.angle);
        const double hw = p.width * at.scale / 2, hh = p.height * at.scale / 2;
        const double ex = std::fabs(c) * hw + std::fabs(s) * hh;
        const double ey = std::fabs(s) * hw + std::fabs(c) * hh;
        left = std::max(0, int(std::floor(at.x - ex)));
        top = std::max(0, int(std::floor(at.y - ey)));
        right = std::min(kWidth, int(std::ceil(at.x + ex)));
        bottom = std::min(kHeight, int(std::ceil(at.y + ey)));
    }

private:
    pixman_image_t* ImageOf(const Picture& p, bool alpha) {
        for (auto& [picture, image] : images_) {
            if (picture == &p) {
                return image;
            }
        }
        auto* bits = const_cast<uint32_t*>(alpha ? p.premultiplied.data() : p.pixels.data());
        pixman_image_t* image = pixman_image_create_bits(alpha ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8,
                                                         p.width, p.height, bits, p.width * 4);
        images_.push_back({&p, image});
        return image;
    }
    pixman_image_t* MaskOf(int alpha) {
        for (auto& [a, mask] : masks_) {
            if (a == alpha) {
                return mask;
            }
        }
        const pixman_color_t color{0, 0, 0, uint16_t(alpha * 257)};
        pixman_image_t* mask = pixman_image_create_solid_fill(&color);
        masks_.push_back({alpha, mask});
        return mask;
    }

    std::vector<uint32_t>& screen_;
    pixman_image_t* target_;
    std::vector<std::pair<const Picture*, pixman_image_t*>> images_;
    std::vector<std::pair<int, pixman_image_t*>> masks_;
};

// ---- SDL2 software renderer ---------------------------------------------------

class SdlFrame {
public:
    explicit SdlFrame(std::vector<uint32_t>& screen) {
        surface_ = SDL_CreateRGBSurfaceWithFormatFrom(screen.data(), kWidth, kHeight, 32,
                                                      kWidth * 4, SDL_PIXELFORMAT_ARGB8888);
        renderer_ = SDL_CreateSoftwareRenderer(surface_);
    }
    ~SdlFrame() {
        for (auto& [picture, texture] : textures_) {
            SDL_DestroyTexture(texture);
        }
        SDL_DestroyRenderer(renderer_);
        SDL_FreeSurface(surface_);
    }
    bool Ready() const { return renderer_ != nullptr; }

    void Clear() {
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
    }
    void Background(const Picture& p) {
        SDL_Texture* t = TextureOf(p, false);
        SDL_RenderCopy(renderer_, t, nullptr, nullptr);
    }
    void Draw(const Picture& p, const Placement& at, int parameter, bool bilinear) {
        SDL_Texture* t = TextureOf(p, true);
        SDL_SetTextureAlphaMod(t, uint8_t(parameter));
        SDL_SetTextureScaleMode(t, bilinear ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
        const float w = float(p.width * at.scale), h = float(p.height * at.scale);
        const SDL_FRect rect{float(at.x) - w / 2, float(at.y) - h / 2, w, h};
        SDL_RenderCopyExF(renderer_, t, nullptr, &rect, at.angle * 180 / kPi, nullptr,
                          SDL_FLIP_NONE);
    }
    // Runs the batched drawing.
    void Finish() { SDL_RenderFlush(renderer_); }

private:
    SDL_Texture* TextureOf(const Picture& p, bool alpha) {
        for (auto& [picture, texture] : textures_) {
            if (picture == &p) {
                return texture;
            }
        }
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(
            const_cast<uint32_t*>(p.pixels.data()), p.width, p.height, 32, p.width * 4,
            alpha ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB888);
        SDL_Texture* t = SDL_CreateTextureFromSurface(renderer_, s);
        SDL_FreeSurface(s);
        SDL_SetTextureBlendMode(t, alpha ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
        textures_.push_back({&p, t});
        return t;
    }

    SDL_Surface* surface_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    std::vector<std::pair<const Picture*, SDL_Texture*>> textures_;
};

// Mean absolute difference per channel between two screens.
double MeanDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    uint64_t sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            sum += uint64_t(std::abs(int(a[i] >> shift & 255) - int(b[i] >> shift & 255)));
        }
    }
    return double(sum) / (double(a.size()) * 3);
}

const char* PathName(blit::Path path) {
    return path == blit::Path::Avx2 ? "avx2" : path == blit::Path::Sse2 ? "sse2" : "portable";
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--rounds=", 0) == 0) {
            rounds = std::max(1, std::atoi(arg.c_str() + 9));
        } else if (arg.rfind("--path=", 0) == 0) {
            const std::string name = arg.substr(7);
            const blit::Path path = name == "portable" ? blit::Path::Portable
                                    : name == "sse2"   ? blit::Path::Sse2
                                                       : blit::Path::Avx2;
            if (!blit::SelectPath(path)) {
                std::fprintf(stderr, "this processor cannot run %s\n", name.c_str());
                return 1;
            }
        } else {
            std::fprintf(stderr, "usage: %s [--path=portable|sse2|avx2] [--rounds=N]\n", argv[0]);
            return 2;
        }
    }
    if (SDL_Init(0) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    const Picture background = MakePicture(kWidth, kHeight, false, 1);
    const Picture image = MakePicture(400, 300, true, 2);
    const Picture sprite = MakePicture(64, 64, true, 3);
    std::vector<uint32_t> veloxScreen(size_t(kWidth) * kHeight);
    std::vector<uint32_t> pixmanScreen(veloxScreen.size()), sdlScreen(veloxScreen.size());
    std::vector<uint32_t> scratch(veloxScreen.size());
    VeloxFrame velox(veloxScreen);
    PixmanFrame pixman(pixmanScreen);
    SdlFrame sdl(sdlScreen);
    if (!sdl.Ready()) {
        std::fprintf(stderr, "SDL software renderer: %s\n", SDL_GetError());
        return 1;
    }
    const Placement frameImage{400, 300, 1.5, kPi / 6};

    std::printf("Velox kernels: %s; %d rounds, frames alternate Velox / pixman %s / SDL %d.%d.%d\n",
                PathName(blit::ActivePath()), rounds, pixman_version_string(), SDL_MAJOR_VERSION,
                SDL_MINOR_VERSION, SDL_PATCHLEVEL);

    // The whole frame, and its three parts for Velox.
    Timer fill, copy, clearPart, backgroundPart, imagePart;
    const std::function<void()> frames[3] = {[&] {
                                                 velox.Clear();
                                                 velox.Background(background);
                                                 velox.Draw(image, frameImage, 128, true);
                                             },
                                             [&] {
                                                 pixman.Clear();
                                                 pixman.Background(background);
                                                 pixman.Draw(image, frameImage, 128, true);
                                             },
                                             [&] {
                                                 sdl.Clear();
                                                 sdl.Background(background);
                                                 sdl.Draw(image, frameImage, 128, true);
                                                 sdl.Finish();
                                             }};
    // Alternating: each round starts with the next renderer, so that none always follows
    // the same one. Every frame then finds the caches filled by the other two.
    Timer alternating[3];
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < 3; ++k) {
            const int which = (round + k) % 3;
            alternating[which].Add(Time(frames[which]));
        }
        fill.Add(Time([&] { std::memset(scratch.data(), 0, scratch.size() * 4); }));
        copy.Add(Time(
            [&] { std::memcpy(scratch.data(), background.pixels.data(), scratch.size() * 4); }));
    }
    // Back to back, as a player draws its frames.
    Timer alone[3];
    for (int which = 0; which < 3; ++which) {
        for (int round = 0; round < rounds; ++round) {
            alone[which].Add(Time(frames[which]));
        }
    }
    // The three parts of Velox's frame, measured on their own.
    for (int round = 0; round < rounds; ++round) {
        clearPart.Add(Time([&] { velox.Clear(); }));
        backgroundPart.Add(Time([&] { velox.Background(background); }));
        imagePart.Add(Time([&] { velox.Draw(image, frameImage, 128, true); }));
    }
    // Leave each screen holding one clean frame for the comparison below.
    velox.Clear();
    velox.Background(background);
    velox.Draw(image, frameImage, 128, true);
    const double v = alternating[0].Median(), p = alternating[1].Median();
    const double s = alternating[2].Median();
    const double va = alone[0].Median(), pa = alone[1].Median(), sa = alone[2].Median();
    std::printf("\nframe (median microseconds of thread processor time)\n");
    std::printf("               alternating   back to back\n");
    std::printf("  velox        %11.1f   %12.1f\n", v, va);
    std::printf("  pixman       %11.1f   %12.1f\n", p, pa);
    std::printf("  sdl          %11.1f   %12.1f\n", s, sa);
    std::printf("  velox / pixman = %.3f alternating, %.3f back to back\n", v / p, va / pa);
    std::printf("  velox / sdl    = %.3f alternating, %.3f back to back\n", v / s, va / sa);
    std::printf("  velox parts: clear %.1f, background %.1f, turned image %.1f\n",
                clearPart.Median(), backgroundPart.Median(), imagePart.Median());
    std::printf("  floor (alternating): memset %.1f + memcpy %.1f of the screen = %.1f\n",
                fill.Median(), copy.Median(), fill.Median() + copy.Median());
    std::printf("  mean |velox - pixman| = %.2f, |velox - sdl| = %.2f levels per channel\n",
                MeanDifference(veloxScreen, pixmanScreen), MeanDifference(veloxScreen, sdlScreen));

    // Sweep: the 400 x 300 image alone about the screen centre.
    const int sweepRounds = std::max(5, rounds / 5);
    std::printf("\nsweep: 400 x 300 image with alpha at alpha 128 (median microseconds)\n");
    std::printf("  angle scale filter      velox     pixman        sdl  v/pixman  v/sdl\n");
    for (int bilinear = 0; bilinear < 2; ++bilinear) {
        for (double degrees : {0.0, 30.0, 45.0, 90.0}) {
            for (double scale : {0.5, 1.0, 1.5, 3.0}) {
                const Placement at{400, 300, scale, degrees * kPi / 180};
                Timer tv, tp, ts;
                const std::function<void()> draws[3] = {
                    [&] { tv.Add(Time([&] { velox.Draw(image, at, 128, bilinear); })); },
                    [&] { tp.Add(Time([&] { pixman.Draw(image, at, 128, bilinear); })); },
                    [&] {
                        ts.Add(Time([&] {
                            sdl.Draw(image, at, 128, bilinear);
                            sdl.Finish();
                        }));
                    }};
                for (int round = 0; round < sweepRounds; ++round) {
                    for (int k = 0; k < 3; ++k) {
                        draws[(round + k) % 3]();
                    }
                }
                const double a = tv.Median(), b = tp.Median(), c = ts.Median();
                std::printf("  %5.0f %5.1f %-8s %9.1f %10.1f %10.1f %9.3f %6.3f\n", degrees, scale,
                            bilinear ? "bilinear" : "nearest", a, b, c, a / b, a / c);
            }
        }
    }

    // 200 small turned sprites.
    std::vector<Placement> sprites;
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        sprites.push_back(Placement{int(rng() % kWidth), int(rng() % kHeight),
                                    0.75 + (rng() % 1000) / 1000.0 * 0.75,
                                    (rng() % 3600) / 3600.0 * 2 * kPi});
    }
    Timer sv, sp, ss;
    const std::function<void()> spriteFrames[3] = {[&] {
                                                       sv.Add(Time([&] {
                                                           for (const Placement& at : sprites) {
                                                               velox.Draw(sprite, at, 200, true);
                                                           }
                                                       }));
                                                   },
                                                   [&] {
                                                       sp.Add(Time([&] {
                                                           for (const Placement& at : sprites) {
                                                               pixman.Draw(sprite, at, 200, true);
                                                           }
                                                       }));
                                                   },
                                                   [&] {
                                                       ss.Add(Time([&] {
                                                           for (const Placement& at : sprites) {
                                                               sdl.Draw(sprite, at, 200, true);
                                                           }
                                                           sdl.Finish();
                                                       }));
                                                   }};
    for (int round = 0; round < sweepRounds; ++round) {
        for (int k = 0; k < 3; ++k) {
            spriteFrames[(round + k) % 3]();
        }
    }
    std::printf("\n200 sprites of 64 x 64, turned, scale 0.75..1.5, bilinear, alpha 200\n");
    std::printf("  velox %.1f, pixman %.1f, sdl %.1f microseconds; velox / pixman = %.3f, "
                "velox / sdl = %.3f\n",
                sv.Median(), sp.Median(), ss.Median(), sv.Median() / sp.Median(),
                sv.Median() / ss.Median());
    SDL_Quit();
    return 0;
}
