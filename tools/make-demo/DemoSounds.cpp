// The demo's sounds, synthesised from tones: WAVE files (PCM and IMA ADPCM coded
// here), Ogg Vorbis through libvorbisenc, MP3 through LAME, and a MIDI tune.
#include "DemoAssets.h"

#include <lame/lame.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace velox::demo {
namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979;

using Samples = std::vector<float>; // mono, -1..1

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
void PutTag(std::vector<uint8_t>& v, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        v.push_back(uint8_t(tag[i]));
    }
}
int16_t ToPcm(float s) {
    return int16_t(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767));
}
double NoteHz(int midiNote) {
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}

// A struck tone: a few harmonics under an exponential decay, added into out at start.
void AddBell(Samples& out, double start, double hz, double seconds, double gain, double decay) {
    size_t first = size_t(start * kRate), count = size_t(seconds * kRate);
    if (out.size() < first + count) {
        out.resize(first + count);
    }
    for (size_t i = 0; i < count; ++i) {
        double t = double(i) / kRate;
        double attack = std::min(1.0, t / 0.004);
        double v = std::sin(2 * kPi * hz * t) + 0.4 * std::sin(2 * kPi * hz * 2.01 * t) +
                   0.15 * std::sin(2 * kPi * hz * 3.02 * t);
        out[first + i] += float(gain * attack * std::exp(-t * decay) * v);
    }
}

Samples Chime() {
    Samples s;
    const int notes[] = {72, 76, 79, 84};
    for (int i = 0; i < 4; ++i) {
        AddBell(s, i * 0.12, NoteHz(notes[i]), 1.2, 0.22, 4.0);
    }
    return s;
}

Samples Pop() {
    Samples s(size_t(0.25 * kRate));
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        double t = double(i) / kRate;
        phase += 2 * kPi * (900 * std::exp(-t * 18) + 180) / kRate; // a falling blip
        s[i] = float(0.6 * std::exp(-t * 14) * std::sin(phase));
    }
    return s;
}

Samples Bell() {
    Samples s;
    AddBell(s, 0, NoteHz(81), 2.0, 0.3, 2.2);
    AddBell(s, 0, NoteHz(88), 2.0, 0.12, 3.0);
    return s;
}

Samples Whoosh() {
    Samples s(size_t(0.9 * kRate));
    uint32_t seed = 12345;
    double low = 0, band = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        double t = double(i) / s.size();
        seed = seed * 1664525u + 1013904223u;
        double noise = (seed >> 8) / double(1 << 24) * 2 - 1;
        // A state-variable filter whose centre sweeps up: the rush of air passing by.
        double f = 2 * std::sin(kPi * (300 + 2500 * t) / kRate);
        low += f * band;
        double high = noise - low - 0.5 * band;
        band += f * high;
        s[i] = float(0.5 * std::sin(kPi * t) * band);
    }
    return s;
}

// Eight seconds, 96 beats a minute in 4/4: a soft pad chord per bar, an arpeggio over it
// and a bass note. Every note ends before the loop point, so the loop joins without a click.
Samples Loop() {
    const double beat = 60.0 / 96;
    const double bars = 8.0 / (4 * beat);
    Samples s(size_t(8.0 * kRate));
    const int chords[4][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
    for (int bar = 0; bar < int(bars + 0.5) && bar < 4; ++bar) {
        double barStart = bar * 4 * beat;
        for (int k = 0; k < 3; ++k) { // pad: slow attack, released before the bar ends
            double hz = NoteHz(chords[bar][k]);
            size_t first = size_t(barStart * kRate), count = size_t(4 * beat * kRate) - 400;
            for (size_t i = 0; i < count && first + i < s.size(); ++i) {
                double t = double(i) / kRate;
                double env = std::min(1.0, t / 0.4) * std::min(1.0, double(count - i) / 8000);
                s[first + i] += float(
                    0.05 * env * (std::sin(2 * kPi * hz * t) + 0.3 * std::sin(4 * kPi * hz * t)));
            }
        }
        for (int n = 0; n < 8; ++n) { // arpeggio in eighths, an octave up
            int note = chords[bar][n % 3] + 12 + (n >= 6 ? 12 : 0);
            AddBell(s, barStart + n * beat / 2, NoteHz(note), beat / 2 * 0.98, 0.10, 6.0);
        }
        AddBell(s, barStart, NoteHz(chords[bar][0] - 24), 4 * beat * 0.95, 0.2, 1.2);
    }
    s.resize(size_t(8.0 * kRate));
    // The tails cut at the loop point fade over the last few milliseconds.
    for (size_t i = 0; i < 400; ++i) {
        s[s.size() - 1 - i] *= float(i / 400.0);
    }
    return s;
}

std::vector<uint8_t> WaveHeader(uint16_t format, uint16_t blockAlign, uint16_t bits,
                                uint32_t dataBytes, const std::vector<uint8_t>& extra,
                                uint32_t factSamples) {
    std::vector<uint8_t> w;
    PutTag(w, "RIFF");
    Put32(w, 0); // patched once the size is known
    PutTag(w, "WAVE");
    PutTag(w, "fmt ");
    Put32(w, uint32_t(16 + (extra.empty() ? 0 : 2 + extra.size())));
    Put16(w, format);
    Put16(w, 1); // mono
    Put32(w, kRate);
    uint32_t byteRate =
        format == 1 ? kRate * blockAlign : uint32_t(uint64_t(kRate) * blockAlign / 2041);
    Put32(w, byteRate);
    Put16(w, blockAlign);
    Put16(w, bits);
    if (!extra.empty()) {
        Put16(w, uint16_t(extra.size()));
        w.insert(w.end(), extra.begin(), extra.end());
        PutTag(w, "fact");
        Put32(w, 4);
        Put32(w, factSamples);
    }
    PutTag(w, "data");
    Put32(w, dataBytes);
    return w;
}

void FinishRiff(std::vector<uint8_t>& w) {
    const uint32_t size = uint32_t(w.size() - 8);
    for (int i = 0; i < 4; ++i) {
        w[4 + i] = uint8_t(size >> (8 * i));
    }
}

const int kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kImaIndexStep[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

// One 4-bit IMA code for the sample, updating the predictor as the decoder will.
uint8_t ImaEncode(int sample, int& predictor, int& index) {
    int step = kImaSteps[index];
    int diff = sample - predictor;
    uint8_t code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    int delta = step >> 3;
    if (diff >= step) {
        code |= 4;
        diff -= step;
        delta += step;
    }
    if (diff >= step >> 1) {
        code |= 2;
        diff -= step >> 1;
        delta += step >> 1;
    }
    if (diff >= step >> 2) {
        code |= 1;
        delta += step >> 2;
    }
    predictor = std::clamp(code & 8 ? predictor - delta : predictor + delta, -32768, 32767);
    index = std::clamp(index + kImaIndexStep[code & 7], 0, 88);
    return code;
}

bool EncodeVorbis(const std::string& path, const Samples& samples, float quality) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, kRate, quality) != 0) {
        vorbis_info_clear(&info);
        return false;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "ENCODER", "make-demo");
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x56454C58);
    std::vector<uint8_t> out;
    ogg_page page;
    auto emit = [&](bool flush) {
        while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
            out.insert(out.end(), page.header, page.header + page.header_len);
            out.insert(out.end(), page.body, page.body + page.body_len);
        }
    };
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    emit(true);
    size_t done = 0;
    bool ended = false;
    while (!ended) {
        size_t n = std::min<size_t>(4096, samples.size() - done);
        if (n == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, int(n));
            std::copy(samples.begin() + long(done), samples.begin() + long(done + n), buffer[0]);
            vorbis_analysis_wrote(&dsp, int(n));
            done += n;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                emit(false);
                if (ogg_page_eos(&page) || packet.e_o_s) {
                    ended = true;
                }
            }
        }
        if (n == 0) {
            ended = true;
        }
    }
    emit(true);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return WriteFile(path, out);
}

} // namespace

bool WriteChimePcmWav(const std::string& path) {
    Samples s = Chime();
    std::vector<uint8_t> w = WaveHeader(1, 2, 16, uint32_t(s.size() * 2), {}, 0);
    for (float v : s) {
        Put16(w, uint16_t(ToPcm(v)));
    }
    FinishRiff(w);
    return WriteFile(path, w);
}

bool WritePopAdpcmWav(const std::string& path) {
    Samples s = Pop();
    // Mono blocks of 1024 bytes: a 4-byte header holding the first sample, then
    // 2040 codes, two to a byte, the low nibble first.
    constexpr size_t kBlockAlign = 1024, kPerBlock = 2041;
    std::vector<uint8_t> data;
    int index = 0;
    for (size_t first = 0; first < s.size(); first += kPerBlock) {
        auto at = [&](size_t i) { return first + i < s.size() ? ToPcm(s[first + i]) : 0; };
        int predictor = at(0);
        Put16(data, uint16_t(int16_t(predictor)));
        data.push_back(uint8_t(index));
        data.push_back(0);
        for (size_t i = 1; i < kPerBlock; i += 2) {
            uint8_t low = ImaEncode(at(i), predictor, index);
            uint8_t high = ImaEncode(at(i + 1), predictor, index);
            data.push_back(uint8_t(low | high << 4));
        }
    }
    std::vector<uint8_t> extra;
    Put16(extra, kPerBlock);
    std::vector<uint8_t> w =
        WaveHeader(0x11, kBlockAlign, 4, uint32_t(data.size()), extra, uint32_t(s.size()));
    w.insert(w.end(), data.begin(), data.end());
    FinishRiff(w);
    return WriteFile(path, w);
}

bool WriteBellOgg(const std::string& path) {
    return EncodeVorbis(path, Bell(), 0.4f);
}

bool WriteLoopOgg(const std::string& path) {
    return EncodeVorbis(path, Loop(), 0.4f);
}

bool WriteWhooshMp3(const std::string& path) {
    Samples s = Whoosh();
    std::vector<short> pcm(s.size());
    std::transform(s.begin(), s.end(), pcm.begin(), ToPcm);
    lame_global_flags* lame = lame_init();
    if (!lame) {
        return false;
    }
    lame_set_in_samplerate(lame, kRate);
    lame_set_num_channels(lame, 1);
    lame_set_mode(lame, MONO);
    lame_set_brate(lame, 96);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return false;
    }
    std::vector<uint8_t> out(pcm.size() * 5 / 4 + 7200 + 7200);
    int n = lame_encode_buffer(lame, pcm.data(), pcm.data(), int(pcm.size()), out.data(),
                               int(out.size()));
    int tail = n >= 0 ? lame_encode_flush(lame, out.data() + n, int(out.size()) - n) : -1;
    lame_close(lame);
    if (n < 0 || tail < 0) {
        return false;
    }
    out.resize(size_t(n + tail));
    return WriteFile(path, out);
}

// A format 0 file: one track, 480 ticks a beat, a music-box melody over a soft bass.
bool WriteTuneMidi(const std::string& path) {
    std::vector<uint8_t> track;
    auto varLen = [&](uint32_t v) {
        uint8_t bytes[4];
        int n = 0;
        do {
            bytes[n++] = uint8_t(v & 0x7F);
            v >>= 7;
        } while (v);
        while (n--) {
            track.push_back(uint8_t(bytes[n] | (n ? 0x80 : 0)));
        }
    };
    auto event = [&](uint32_t delta, std::initializer_list<uint8_t> bytes) {
        varLen(delta);
        track.insert(track.end(), bytes);
    };
    event(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}); // 500000 us a beat: 120 beats a minute
    event(0, {0xC0, 10});                           // channel 1: music box
    event(0, {0xC1, 32});                           // channel 2: acoustic bass
    event(0, {0xB0, 7, 127});                       // both at full channel volume
    event(0, {0xB1, 7, 127});
    // (note, beats) pairs; the bass plays the root of each bar.
    const int melody[][2] = {{72, 1}, {76, 1}, {79, 1}, {76, 1}, {77, 1}, {81, 1}, {79, 2},
                             {76, 1}, {74, 1}, {72, 1}, {74, 1}, {76, 2}, {72, 2}};
    const int bass[] = {48, 53, 48, 43, 48};
    uint32_t pending = 0;
    int beat = 0;
    for (const auto& m : melody) {
        if (beat % 4 == 0) {
            event(pending, {0x91, uint8_t(bass[(beat / 4) % 5]), 100});
            pending = 0;
        }
        event(pending, {0x90, uint8_t(m[0]), 127});
        event(uint32_t(m[1] * 480 - 20), {0x80, uint8_t(m[0]), 0});
        pending = 20;
        beat += m[1];
        if (beat % 4 == 0) {
            event(pending, {0x81, uint8_t(bass[(beat / 4 - 1) % 5]), 0});
            pending = 0;
        }
    }
    event(pending + 480, {0xFF, 0x2F, 0x00});

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0};
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    for (int shift = 24; shift >= 0; shift -= 8) {
        file.push_back(uint8_t(track.size() >> shift));
    }
    file.insert(file.end(), track.begin(), track.end());
    return WriteFile(path, file);
}

} // namespace velox::demo
