// Soak: a headless show of about an hour of virtual time that runs every scene
// command over and over (loads, shows, moves, background captures, sounds, music
// and its fades), printing the peak resident memory at every virtual minute and
// the tracker's live block count after shutdown. Yardstick: the peak stops
// growing after the first minutes (under 8 MB between a 70-line and a 980-line
// story) and 0 blocks are left.
//
//   bench_soak [--cycles N] [--wait UNITS]
//
// Each cycle is 14 lines; the default 70 cycles fill 980 lines, and a wait of 420
// units (42 s) makes each cycle about 52 s. Not part of the test suite.
#include "CommandLine.h"
#include "Player.h"
#include "core/MemoryTracker.h"
#include "platform/headless/Headless.h"

#include <velox/velox.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

void Put16(std::string& out, uint32_t v) {
    out += char(v & 0xFF);
    out += char(v >> 8 & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A 24-bit bottom-up BMP of a colour gradient.
std::string Bmp(int width, int height, int seed) {
    const uint32_t pitch = uint32_t(width * 3 + 3) / 4 * 4;
    std::string out = "BM";
    Put32(out, 54 + pitch * uint32_t(height));
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(height));
    Put16(out, 1);
    Put16(out, 24);
    for (int i = 0; i < 6; ++i) {
        Put32(out, 0);
    }
    for (int y = 0; y < height; ++y) {
        std::string row(pitch, '\0');
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3] = char((x + seed) & 0xFF);
            row[size_t(x) * 3 + 1] = char((y * 2 + seed) & 0xFF);
            row[size_t(x) * 3 + 2] = char((x + y) & 0xFF);
        }
        out += row;
    }
    return out;
}

// 16-bit mono at 44100 Hz: a tone of the given length.
std::string Wave(double seconds, double hz) {
    const uint32_t frames = uint32_t(seconds * 44100);
    std::string out = "RIFF";
    Put32(out, 36 + frames * 2);
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, 1);
    Put32(out, 44100);
    Put32(out, 88200);
    Put16(out, 2);
    Put16(out, 16);
    out += "data";
    Put32(out, frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        Put16(out, uint16_t(int16_t(6000 * std::sin(i * hz * 2 * 3.14159265 / 44100))));
    }
    return out;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// One cycle of every command; the wait makes up most of its length.
std::string Cycle(int wait) {
    return "loadimage 0,\"bg.bmp\"\r\n"
           "loadimage 1,\"sprite.bmp\"\r\n"
           "loadsound 1,\"tone.wav\"\r\n"
           "playmusic 200,1,\"music.wav\"\r\n"
           "showimage 1,100,400,300,32,32,255,255,0,0\r\n"
           "playsound 1,255\r\n"
           "moveimage 150,500,300,32,32,200,200,45,100\r\n"
           "drawbackimage 1,50,100,100,32,32,255,128,0,0\r\n"
           "attachbg\r\n"
           "fademusic 0,10\r\n"
           "wait " +
           std::to_string(wait) +
           "\r\n"
           "stopsound 1\r\n"
           "stopmusic\r\n"
           "deletebg\r\n";
}

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    int cycles = 70;
    int wait = 420;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--cycles") == 0) {
            cycles = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--wait") == 0) {
            wait = std::atoi(argv[i + 1]);
        }
    }
    if (cycles < 1 || cycles > 71 || wait < 0) {
        std::fprintf(stderr, "usage: bench_soak [--cycles 1..71] [--wait UNITS]\n");
        return 2;
    }
    char pattern[] = "/tmp/velox-soak-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = pattern;
    WriteFile(dir + "/bg.bmp", Bmp(800, 600, 0));
    WriteFile(dir + "/sprite.bmp", Bmp(64, 64, 90));
    WriteFile(dir + "/tone.wav", Wave(0.5, 660));
    WriteFile(dir + "/music.wav", Wave(3.0, 220));
    std::string story;
    for (int c = 0; c < cycles; ++c) {
        story += Cycle(wait);
    }
    WriteFile(dir + "/story.txt", story);
    // Frames per cycle: ten one-frame commands, the move and the wait.
    const uint64_t cycleMs = uint64_t(11 + 300 + std::max(1, wait * 3)) * 1000 / 30;
    // Its own runtime folder: the instance lock of another show must not stop it.
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    velox::player::PlayerOptions options;
    options.directory = dir;
    options.headless = true;
    // Escape is held from here: just after the story's end, to leave the closing wait.
    options.maxMs = uint64_t(cycles) * cycleMs + 5000;

    std::atomic<bool> done{false};
    std::thread monitor([&] {
        uint64_t minute = 0;
        while (!done.load()) {
            const uint64_t now = velox::platform::headless::Clock().PeekNanos() / 60000000000ull;
            if (now > minute) {
                minute = now;
                std::printf("minute %3llu  peak RSS %7ld kB\n",
                            static_cast<unsigned long long>(minute), PeakRssKb());
                std::fflush(stdout);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    const velox::player::PlayerOutcome outcome = velox::player::PlayStory(options);
    done = true;
    monitor.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto left = velox::core::mem_detail::CurrentTotals();
    std::printf("%s\n", velox::player::ResultLine(outcome).c_str());
    std::printf("lines %d  virtual %.1f min  real %.1f s  peak RSS %ld kB  live blocks %d "
                "(%d bytes)   yardstick: peak flat, 0 blocks\n",
                cycles * 14, double(outcome.timeUs) / 60e6, seconds, PeakRssKb(), left.blockCount,
                left.totalSize);
    std::filesystem::remove_all(dir);
    return outcome.exitCode == 0 && outcome.runResult == 0 && left.blockCount == 0 ? 0 : 1;
}
