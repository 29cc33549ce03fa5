// Plays a looped tone in a window (run it under a display or Xvfb) while the player
// paces a long `wait`, and once a second compares how far the sound device has
// played with how far the show's timeline has gone (frame n at n x 33333 us). The
// sound runs on the device's clock, the pictures on the system clock: their offset,
// against where it stood at the first comparison, must stay within one frame.
//
//   bench_sound_sync [--seconds S]
// Exit status: 0 within one frame, 1 beyond it, 2 bad usage, 3 nothing measured (no
// window or no sound device).
#include "RunLoop.h"
#include "Scene.h"
#include "Script.h"
#include "sound/SoundState.h"

#include <velox/velox.h>

#include <SDL.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr int kFramesPerSecond = 30; // one comparison per 30 frames

struct Sample {
    uint64_t frame;
    uint64_t playedFrames; // sample frames the device has taken so far
    uint64_t lateUs;       // how long after its due time the frame ended
};

std::vector<Sample> gSamples;
uint64_t gFrames = 0;
uint64_t gOriginUs = 0;
bool gReanchorReported = false;

void Observe(uint64_t frameEndUs) {
    using namespace velox;
    const player::FrameTimeline& timeline = player::Loop().timeline;
    if (gFrames == 0) {
        gOriginUs = frameEndUs;
    }
    if (gFrames % kFramesPerSecond == 0) {
        uint64_t due = gOriginUs + gFrames * player::kFramePeriodUs;
        gSamples.push_back({gFrames, platform::RenderedSoundFrames(sound::Sound().device),
                            frameEndUs > due ? frameEndUs - due : 0});
    }
    // The comparison is against one unbroken timeline; a re-anchor would end it.
    if (timeline.reanchors != 0 && !gReanchorReported) {
        std::fprintf(stderr,
                     "sound_sync: the frame timeline was re-anchored after frame %llu "
                     "(the machine stalled for over 100 ms); offsets after it are "
                     "against the old origin\n",
                     static_cast<unsigned long long>(gFrames));
        gReanchorReported = true;
    }
    ++gFrames;
}

// A second of a 440 Hz tone at half level; played looped it lasts as long as the show.
void WriteTone(const char* path) {
    std::vector<int16_t> samples(kRate);
    for (uint32_t n = 0; n < kRate; ++n) {
        samples[n] = int16_t(16000 * std::sin(2 * std::numbers::pi * 440.0 * n / kRate));
    }
    auto le32 = [](std::ofstream& f, uint32_t v) {
        const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        f.write(b, 4);
    };
    auto le16 = [](std::ofstream& f, uint16_t v) {
        const char b[2] = {char(v), char(v >> 8)};
        f.write(b, 2);
    };
    std::ofstream f(path, std::ios::binary);
    const uint32_t bytes = uint32_t(samples.size() * 2);
    f.write("RIFF", 4);
    le32(f, 36 + bytes);
    f.write("WAVEfmt ", 8);
    le32(f, 16);
    le16(f, 1); // PCM
    le16(f, 1); // mono
    le32(f, kRate);
    le32(f, kRate * 2);
    le16(f, 2);
    le16(f, 16);
    f.write("data", 4);
    le32(f, bytes);
    f.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(bytes));
}

} // namespace

int main(int argc, char** argv) {
    using namespace velox;
    int seconds = 180;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds S]\n", argv[0]);
            return 2;
        }
    }
    if (seconds < 2) {
        std::fprintf(stderr, "sound_sync: --seconds needs at least 2\n");
        return 2;
    }
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("velox-sound-sync-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    WriteTone("tone.wav");
    // Frames 0 .. seconds x 30 inclusive.
    std::ofstream("story.txt", std::ios::binary) << "wait " << seconds * 10 + 1 << "\r\n";

    ChangeWindowMode(1);
    SetScreenMode(800, 600, 32, 60);
    SetLogOutput(0);
    int status = 0;
    if (StartRuntime() != 0) {
        std::fprintf(stderr, "sound_sync: the runtime could not start (no display, or another "
                             "copy running); nothing measured\n");
        status = 3;
    } else if (!sound::Sound().device) {
        std::printf("sound_sync: no sound device could be opened on this machine (SDL audio "
                    "driver: %s); nothing measured\n",
                    SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "none");
        status = 3;
    } else {
        int32_t tone = LoadSound("tone.wav", 1, -1);
        int32_t file = FileOpenRead("story.txt", 0);
        player::ResetScript();
        player::ResetScene();
        player::ResetLoop();
        player::Loop().frameObserver = Observe;
        if (tone == -1 || PlaySoundHandle(tone, 3, 1) == -1 || file == 0 ||
            player::LoadScript(file) != 1) {
            std::fprintf(stderr, "sound_sync: cannot load the tone or the story\n");
            status = 3;
        } else {
            std::printf("sound_sync: SDL audio driver %s, %d s\n", SDL_GetCurrentAudioDriver(),
                        seconds);
            player::RunScript();
            if (IsSoundPlaying(tone) != 1) {
                std::fprintf(stderr, "sound_sync: the tone stopped playing\n");
                status = 3;
            }
        }
    }
    ShutdownRuntime();
    if (status != 0) {
        fs::current_path(fs::temp_directory_path());
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        return status;
    }

    // Offsets are against the first comparison: the device's buffering and the
    // moment the tone started are constant and cancel out.
    double worst = 0, last = 0;
    const Sample& first = gSamples.front();
    for (const Sample& s : gSamples) {
        double soundUs = double(s.playedFrames - first.playedFrames) * 1e6 / kRate;
        double showUs = double(s.frame - first.frame) * double(player::kFramePeriodUs);
        last = soundUs - showUs;
        worst = std::max(worst, std::fabs(last));
        std::printf("t %4llu s  sound %10.0f us  timeline %10.0f us  offset %+7.0f us  "
                    "frame late %5llu us\n",
                    static_cast<unsigned long long>(s.frame / kFramesPerSecond), soundUs, showUs,
                    last, static_cast<unsigned long long>(s.lateUs));
    }
    const bool within = worst <= double(player::kFramePeriodUs);
    std::printf("sound_sync: %zu comparisons, worst offset %.0f us, last %+.0f us: %s one frame "
                "(33333 us)\n",
                gSamples.size(), worst, last, within ? "within" : "BEYOND");
    fs::current_path(fs::temp_directory_path());
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return within ? 0 : 1;
}
