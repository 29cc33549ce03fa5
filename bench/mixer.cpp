// The mixer's resampling: THD+N of a 1 kHz tone (20 Hz - 20 kHz band) from
// sources at the rates old story folders use, and the CPU of mixing ten voices
// at mixed rates, as a share of one core for the audio time produced.
#include "platform/SoundMixer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

using namespace velox::platform;

// CPU time of this thread: the machine may be shared, and the mix is ours alone.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

constexpr double kTone = 1000.0;
constexpr uint32_t kOut = kSoundDeviceRate;

SoundDevice* OpenStillDevice() {
    SoundDeviceOptions options;
    options.output = SoundOutput::Headless;
    options.clockNanos = [] { return uint64_t(0); };
    return CreateSoundDevice(options);
}

// One second of a tone (a whole number of cycles, so the loop has no seam).
SoundBuffer* MakeTone(SoundDevice* device, uint16_t channels, uint16_t bits, uint32_t rate,
                      double frequency, double amplitude) {
    WaveFormat format = MakePcmFormat(channels, rate, bits);
    SoundBuffer* b =
        CreateSoundBuffer(device, {kSoundBufferStatic, rate * format.blockAlign, format});
    if (!b) {
        return nullptr;
    }
    SoundLockRegion r{};
    LockSoundBuffer(b, 0, rate * format.blockAlign, r);
    uint8_t* p = r.part1;
    for (uint32_t n = 0; n < rate; ++n) {
        for (uint16_t c = 0; c < channels; ++c) {
            double v = amplitude * std::sin(2 * M_PI * frequency * n / rate + c);
            long s = std::lround(v);
            if (bits == 8) {
                *p++ = uint8_t(std::clamp(s / 256 + 128, 0L, 255L));
            } else {
                *p++ = uint8_t(s);
                *p++ = uint8_t(uint16_t(s) >> 8);
            }
        }
    }
    UnlockSoundBuffer(b, r);
    return b;
}

// Energy of DFT bin k of x (length N), as a share of the time-domain sum of squares.
double BinEnergy(const std::vector<double>& x, uint32_t k) {
    const double w = 2 * M_PI * k / double(x.size());
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (double v : x) {
        double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double re = s1 - s2 * std::cos(w);
    double im = s2 * std::sin(w);
    double power = (re * re + im * im) / double(x.size());
    return (k == 0 || 2 * k == x.size()) ? power : 2 * power;
}

// THD+N in dB of one second of the mix: the tone is fitted and removed, and
// what is left outside 20 Hz - 20 kHz is not counted.
double ThdPlusNoise(uint32_t rate) {
    SoundDevice* device = OpenStillDevice();
    SoundBuffer* b = MakeTone(device, 1, 16, rate, kTone, 16384.0);
    PlaySoundBuffer(b, true);
    std::vector<int16_t> out(2 * kOut);
    PullSoundFrames(device, out.data(), 2048); // past the onset
    PullSoundFrames(device, out.data(), kOut);
    ReleaseSoundDevice(device);

    std::vector<double> x(kOut);
    double si = 0, co = 0;
    for (uint32_t n = 0; n < kOut; ++n) {
        x[n] = out[2 * n];
        si += x[n] * std::sin(2 * M_PI * kTone * n / kOut);
        co += x[n] * std::cos(2 * M_PI * kTone * n / kOut);
    }
    si *= 2.0 / kOut;
    co *= 2.0 / kOut;
    double total = 0, signal = 0;
    for (uint32_t n = 0; n < kOut; ++n) {
        double fit =
            si * std::sin(2 * M_PI * kTone * n / kOut) + co * std::cos(2 * M_PI * kTone * n / kOut);
        signal += fit * fit;
        x[n] -= fit;
        total += x[n] * x[n];
    }
    // One-second window: bin k is k Hz.
    double outside = 0;
    for (uint32_t k = 0; k < 20; ++k) {
        outside += BinEnergy(x, k);
    }
    for (uint32_t k = 20001; k <= kOut / 2; ++k) {
        outside += BinEnergy(x, k);
    }
    double inBand = std::max(total - outside, 1e-12);
    return 10 * std::log10(inBand / signal);
}

// Seconds of CPU to mix `seconds` of ten voices at mixed rates and formats.
double MixTenVoices(double seconds) {
    struct Voice {
        uint16_t channels, bits;
        uint32_t rate;
    };
    const Voice voices[] = {{1, 16, 8000},  {1, 8, 11025},  {1, 16, 16000}, {2, 16, 22050},
                            {1, 16, 32000}, {2, 16, 48000}, {1, 8, 22050},  {2, 16, 11025},
                            {2, 8, 8000},   {2, 16, 44100}};
    SoundDevice* device = OpenStillDevice();
    int i = 0;
    for (const Voice& v : voices) {
        SoundBuffer* b = MakeTone(device, v.channels, v.bits, v.rate, 220.0 * (1 + i % 5), 3000.0);
        SetSoundBufferPosition(b, (uint32_t(i) * 977) % v.rate * v.channels * v.bits / 8);
        PlaySoundBuffer(b, true);
        ++i;
    }
    const uint32_t kBlock = 1024; // a typical device callback
    std::vector<int16_t> out(2 * kBlock);
    const uint32_t blocks = uint32_t(seconds * kOut / kBlock);
    const double t0 = ThreadSeconds();
    for (uint32_t n = 0; n < blocks; ++n) {
        PullSoundFrames(device, out.data(), kBlock);
    }
    const double elapsed = ThreadSeconds() - t0;
    ReleaseSoundDevice(device);
    return elapsed;
}

} // namespace

int main() {
    std::printf("%-8s %10s\n", "rate", "THD+N dB");
    for (uint32_t rate : {8000u, 11025u, 16000u, 22050u, 32000u, 44100u, 48000u}) {
        std::printf("%-8u %10.1f\n", rate, ThdPlusNoise(rate));
    }
    const double kSeconds = 20.0;
    std::vector<double> runs;
    for (int r = 0; r < 5; ++r) {
        runs.push_back(MixTenVoices(kSeconds));
    }
    std::sort(runs.begin(), runs.end());
    std::printf("\nten voices at mixed rates: %.2f %% of one core (median of 5; best %.2f %%)\n",
                100.0 * runs[2] / kSeconds, 100.0 * runs[0] / kSeconds);
    return 0;
}
