// The runtime started on the headless backend with the mix captured to a WAV file, for
// the tests of sound handles, stream sounds and music: they play, let virtual time pass
// with the message pump running, and read back what the mixer produced.
#pragma once

#include "platform/SoundMixer.h"
#include "platform/headless/Headless.h"
#include "sound/SoundFiles.h"
#include "support/HeadlessFixture.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace velox::test {

// Sample frame n of the capture belongs to virtual time n / 44100 s.
inline uint64_t FrameAtNanos(uint64_t nanos) {
    return nanos / 1000000000ull * 44100 + nanos % 1000000000ull * 44100 / 1000000000ull;
}

inline uint64_t FramesOfMs(double ms) {
    return uint64_t(std::llround(ms * 44.1));
}

// One channel of a 16-bit capture: the samples that the file format puts first.
struct Capture {
    std::vector<int16_t> left;
    std::vector<int16_t> right;

    size_t size() const { return left.size(); }
    // Root mean square of the left channel over [from, to).
    double Rms(uint64_t from, uint64_t to) const {
        double sum = 0;
        to = std::min<uint64_t>(to, left.size());
        if (from >= to) {
            return 0;
        }
        for (uint64_t n = from; n < to; ++n) {
            sum += double(left[n]) * left[n];
        }
        return std::sqrt(sum / double(to - from));
    }
    int Peak(uint64_t from, uint64_t to) const {
        int peak = 0;
        to = std::min<uint64_t>(to, left.size());
        for (uint64_t n = from; n < to; ++n) {
            peak = std::max(peak, std::abs(int(left[n])));
        }
        return peak;
    }
};

Capture ReadCapture(const std::string& wavBytes);

class SoundRuntimeTest : public HeadlessFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Lets ms of virtual time pass with a pump pass every stepMs, as a frame loop does.
    void Run(uint32_t ms, uint32_t stepMs = 10);
    uint64_t Now() const { return platform::headless::Clock().PeekNanos(); }
    uint64_t FrameNow() const { return FrameAtNanos(Now()); }
    // Shuts the runtime down (which finishes the capture) and reads the capture back.
    Capture Finish();
    void Write(const std::string& name, const std::string& bytes) const { dir_.Write(name, bytes); }

    bool started_ = false;
    std::string capturePath_;
};

// 16-bit mono at 44100 Hz.
std::string MonoWave(const std::vector<int16_t>& samples);
// A 16-bit mono sound of frames samples, all equal to value.
std::string ConstantWave(int frames, int16_t value);
// Sample i is pattern(i): distinct enough that a skip or repeat shows.
int16_t Pattern(int64_t i);
std::string PatternWave(int frames);

} // namespace velox::test
