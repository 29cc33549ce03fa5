// Dumping an 800 x 600 photo-like picture: the earlier writer (libpng at its default
// settings, on the show's thread) beside the current one (Up filter, one fast deflate
// pass) alone and as the frame dump runs it, on its worker thread.
#include "platform/headless/FrameDump.h"
#include "platform/headless/PngWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <png.h>

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// Smooth gradients with a little pseudo-random texture: neither flat nor noise.
std::vector<uint32_t> MakePicture() {
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int(seed >> 28) - 8;
            const int r = std::clamp(x * 255 / kWidth + noise, 0, 255);
            const int g = std::clamp(y * 255 / kHeight + noise, 0, 255);
            const int b = std::clamp(((x + y) / 8) % 256 + noise, 0, 255);
            pixels[size_t(y) * kWidth + size_t(x)] = uint32_t(r << 16 | g << 8 | b);
        }
    }
    return pixels;
}

std::string Folder() {
    std::string dir = (std::filesystem::temp_directory_path() / "velox-bench-dump").string();
    std::filesystem::create_directories(dir);
    return dir;
}

// The writer the frame dump used before: libpng, default filters and compression.
bool WriteWithLibpng(const std::string& path, const std::vector<uint32_t>& pixels) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    std::vector<uint8_t> row(size_t(kWidth) * 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t p = pixels[size_t(y) * kWidth + size_t(x)];
            row[size_t(x) * 3 + 0] = uint8_t(p >> 16);
            row[size_t(x) * 3 + 1] = uint8_t(p >> 8);
            row[size_t(x) * 3 + 2] = uint8_t(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

void BM_EarlierLibpngWriter(benchmark::State& state) {
    const auto pixels = MakePicture();
    const std::string path = Folder() + "/libpng.png";
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteWithLibpng(path, pixels));
    }
    state.counters["bytes"] = double(std::filesystem::file_size(path));
}
BENCHMARK(BM_EarlierLibpngWriter)->Unit(benchmark::kMillisecond);

void BM_FastWriter(benchmark::State& state) {
    const auto pixels = MakePicture();
    const std::string path = Folder() + "/fast.png";
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            velox::platform::headless::WritePng(path, pixels.data(), kWidth, kHeight, kWidth * 4));
    }
    state.counters["bytes"] = double(std::filesystem::file_size(path));
}
BENCHMARK(BM_FastWriter)->Unit(benchmark::kMillisecond);

void BM_FastEncodeInMemory(benchmark::State& state) {
    const auto pixels = MakePicture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            velox::platform::headless::EncodePng(pixels.data(), kWidth, kHeight, kWidth * 4));
    }
}
BENCHMARK(BM_FastEncodeInMemory)->Unit(benchmark::kMillisecond);

// What the show's thread pays per presented picture over a run of 60, the wait for
// the writer at the end included: the dump's sustained cost per frame.
void BM_FrameDumpPerFrame(benchmark::State& state) {
    const auto pixels = MakePicture();
    const std::string dir = Folder();
    constexpr int kFrames = 60;
    for (auto _ : state) {
        velox::platform::headless::FrameDump dump;
        dump.Start(dir, 0);
        for (int n = 1; n <= kFrames; ++n) {
            dump.Add(pixels.data(), kWidth, kHeight, kWidth * 4, uint64_t(n),
                     uint64_t(n) * 33333000ull);
        }
        benchmark::DoNotOptimize(dump.Finish(uint64_t(kFrames + 1) * 33333000ull));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
    state.counters["ms_per_frame"] =
        benchmark::Counter(double(state.iterations()) * kFrames / 1000.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FrameDumpPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
