// Sound files for the player tests, written byte by byte (16-bit PCM WAVE and a
// standard MIDI file), and the mixed sound a headless run captured, read back.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velox::test {

// A 16-bit mono 44100 Hz WAVE file whose sample n is sample(n).
inline std::string MonoWaveOf(int frames, const std::function<int16_t(int)>& sample) {
    auto le = [](uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i) {
            s += char(uint8_t(v >> (8 * i)));
        }
        return s;
    };
    std::string data;
    for (int n = 0; n < frames; ++n) {
        data += le(uint16_t(sample(n)), 2);
    }
    return "RIFF" + le(uint32_t(36 + data.size()), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) +
           le(1, 2) + le(44100, 4) + le(88200, 4) + le(2, 2) + le(16, 2) + "data" +
           le(uint32_t(data.size()), 4) + data;
}

// A format 0 MIDI file at 120 beats a minute, 96 ticks a beat: a church organ holding
// A4 for `beats` beats (at most 170), then the end of the track.
inline std::string OrganMidi(int beats) {
    const int ticks = beats * 96;
    std::string track = {0, char(0xFF), 0x51, 3, 0x07,       char(0xA1), 0x20,
                         0, char(0xC0), 19,   0, char(0x90), 69,         100};
    track += char(0x80 | (ticks >> 7));
    track += char(ticks & 0x7F);
    track += {char(0x80), 69, 64, 0, char(0xFF), 0x2F, 0};
    std::string file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    return file + "MTrk" + std::string{0, 0, char(track.size() >> 8), char(track.size() & 0xFF)} +
           track;
}

// The left channel of a 44100 Hz 16-bit stereo capture (empty when it is none).
inline std::vector<int16_t> CaptureLeft(const std::string& wav) {
    std::vector<int16_t> left;
    if (wav.size() < 44 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(36, 4, "data") != 0) {
        return left;
    }
    for (size_t at = 44; at + 4 <= wav.size(); at += 4) {
        left.push_back(int16_t(uint16_t(uint8_t(wav[at]) | uint8_t(wav[at + 1]) << 8)));
    }
    return left;
}

// The level heard at volume v (0..255) for a sample of the given value: the volume
// becomes 1000 x log10(v / 255) hundredths of a decibel, truncated, and a level of
// a hundredths of a decibel scales by 10^(a / 2000).
inline double LevelAtVolume(double sample, int volume) {
    if (volume <= 0) {
        return 0.0;
    }
    const int hundredths = int(1000.0 * std::log10(std::min(volume, 255) / 255.0));
    return sample * std::pow(10.0, hundredths / 2000.0);
}

} // namespace velox::test
