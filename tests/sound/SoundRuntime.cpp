#include "sound/SoundRuntime.h"

#include "platform/Clock.h"

#include <fstream>
#include <sstream>

namespace velox::test {

Capture ReadCapture(const std::string& wav) {
    Capture c;
    if (wav.size() < 44 || wav.compare(0, 4, "RIFF") != 0) {
        return c;
    }
    for (size_t at = 44; at + 4 <= wav.size(); at += 4) {
        auto sample = [&](size_t p) {
            return int16_t(uint16_t(uint8_t(wav[p]) | uint8_t(wav[p + 1]) << 8));
        };
        c.left.push_back(sample(at));
        c.right.push_back(sample(at + 2));
    }
    return c;
}

void SoundRuntimeTest::SetUp() {
    HeadlessFixture::SetUp();
    capturePath_ = dir_.path() + "/mix.wav";
    platform::SoundDeviceOptions options;
    options.output = platform::SoundOutput::Headless;
    options.capturePath = capturePath_;
    platform::SetDefaultSoundDeviceOptions(options);
    ASSERT_EQ(StartRuntime(), 0);
    started_ = true;
}

void SoundRuntimeTest::TearDown() {
    if (started_) {
        ShutdownRuntime();
        started_ = false;
    }
    platform::SetDefaultSoundDeviceOptions(platform::SoundDeviceOptions{});
    HeadlessFixture::TearDown();
}

void SoundRuntimeTest::Run(uint32_t ms, uint32_t stepMs) {
    for (uint32_t done = 0; done < ms; done += stepMs) {
        SleepMicros(uint64_t(std::min(stepMs, ms - done)) * 1000);
        ProcessMessage();
    }
}

Capture SoundRuntimeTest::Finish() {
    if (started_) {
        ShutdownRuntime();
        started_ = false;
    }
    std::ifstream in(capturePath_, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return ReadCapture(bytes.str());
}

std::string MonoWave(const std::vector<int16_t>& samples) {
    return PcmWave(1, 44100, 16, Samples16(samples));
}

std::string ConstantWave(int frames, int16_t value) {
    return MonoWave(std::vector<int16_t>(size_t(frames), value));
}

int16_t Pattern(int64_t i) {
    return int16_t((i * 37) % 20011 - 10005);
}

std::string PatternWave(int frames) {
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) {
        samples.push_back(Pattern(i));
    }
    return MonoWave(samples);
}

} // namespace velox::test
