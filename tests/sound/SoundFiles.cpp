#include "sound/SoundFiles.h"

#include "core/MemoryTracker.h"

#include <lame/lame.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>

namespace velox::test {

std::string Le16(uint16_t v) {
    return std::string{char(v & 0xFF), char(v >> 8)};
}

std::string Le32(uint32_t v) {
    return Le16(uint16_t(v)) + Le16(uint16_t(v >> 16));
}

std::string FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                       uint16_t blockAlign, uint16_t bits) {
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(avg) + Le16(blockAlign) + Le16(bits);
}

std::string FmtPayloadWithExtra(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                                uint16_t blockAlign, uint16_t bits, const std::string& extra) {
    return FmtPayload(tag, channels, rate, avg, blockAlign, bits) + Le16(uint16_t(extra.size())) +
           extra;
}

std::string Chunk(const std::string& id, const std::string& payload) {
    std::string c = id + Le32(uint32_t(payload.size())) + payload;
    if (payload.size() % 2) {
        c += '\0';
    }
    return c;
}

std::string Riff(const std::vector<std::string>& chunks) {
    std::string body = "WAVE";
    for (const std::string& c : chunks) {
        body += c;
    }
    return "RIFF" + Le32(uint32_t(body.size())) + body;
}

std::string PcmWave(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data) {
    uint16_t align = uint16_t(channels * bits / 8);
    return Riff({Chunk("fmt ", FmtPayload(1, channels, rate, rate * align, align, bits)),
                 Chunk("data", data)});
}

std::string Samples16(const std::vector<int16_t>& samples) {
    std::string s;
    for (int16_t v : samples) {
        s += Le16(uint16_t(v));
    }
    return s;
}

std::vector<int16_t> ToSamples16(const uint8_t* bytes, int32_t length) {
    std::vector<int16_t> out(size_t(length / 2));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    }
    return out;
}

std::vector<int16_t> Sine(int frames, int channels, int rate, double hz, int amplitude) {
    std::vector<int16_t> out;
    for (int n = 0; n < frames; ++n) {
        auto v = int16_t(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * n / rate)));
        for (int c = 0; c < channels; ++c) {
            out.push_back(v);
        }
    }
    return out;
}

std::string ChainOgg(const std::string& link, int copies) {
    std::string out;
    for (int copy = 0; copy < copies; ++copy) {
        std::string pages = link;
        for (size_t at = 0; at + 27 <= pages.size();) {
            auto* head = reinterpret_cast<unsigned char*>(&pages[at]);
            const size_t segments = head[26];
            size_t body = 0;
            for (size_t i = 0; i < segments; ++i) {
                body += head[27 + i];
            }
            const uint32_t serial = uint32_t(copy) + 1;
            for (int i = 0; i < 4; ++i) {
                head[14 + i] = uint8_t(serial >> (8 * i));
            }
            ogg_page page{head, long(27 + segments), head + 27 + segments, long(body)};
            ogg_page_checksum_set(&page);
            at += 27 + segments + body;
        }
        out += pages;
    }
    return out;
}

std::string EncodeOgg(const std::vector<int16_t>& interleaved, int channels, int rate, int serial) {
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.1f) != 0) {
        vorbis_info_clear(&vi);
        return {};
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, serial);

    std::string out;
    ogg_page page;
    auto writePage = [&] {
        out.append(reinterpret_cast<const char*>(page.header), size_t(page.header_len));
        out.append(reinterpret_cast<const char*>(page.body), size_t(page.body_len));
    };
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    while (ogg_stream_flush(&os, &page) != 0) {
        writePage();
    }

    const int frames = int(interleaved.size()) / channels;
    auto drain = [&] {
        ogg_packet packet;
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &packet) == 1) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page) != 0) {
                    writePage();
                }
            }
        }
    };
    for (int at = 0; at < frames; at += 1024) {
        int n = std::min(1024, frames - at);
        float** buffer = vorbis_analysis_buffer(&vd, n);
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < channels; ++c) {
                buffer[c][i] = float(interleaved[size_t(at + i) * channels + c]) / 32768.0f;
            }
        }
        vorbis_analysis_wrote(&vd, n);
        drain();
        // Short pages, so that tests have page boundaries to work with.
        while (ogg_stream_flush(&os, &page) != 0) {
            writePage();
        }
    }
    vorbis_analysis_wrote(&vd, 0);
    drain();
    while (ogg_stream_flush(&os, &page) != 0) {
        writePage();
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

Mp3 EncodeMp3(const std::vector<int16_t>& interleaved, int channels, int rate, int kbps,
              bool infoFrame) {
    lame_global_flags* gf = lame_init();
    lame_set_num_channels(gf, channels);
    lame_set_in_samplerate(gf, rate);
    lame_set_out_samplerate(gf, rate);
    lame_set_brate(gf, kbps);
    lame_set_mode(gf, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_bWriteVbrTag(gf, infoFrame ? 1 : 0);
    lame_set_write_id3tag_automatic(gf, 0);
    lame_set_quality(gf, 7);
    Mp3 result{{}, 0};
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return result;
    }
    std::vector<short> pcm(interleaved.begin(), interleaved.end());
    const int frames = int(pcm.size()) / channels;
    std::vector<unsigned char> out(size_t(frames) * 5 / 4 + 7200 * 4);
    int n = 0;
    if (channels == 2) {
        n = lame_encode_buffer_interleaved(gf, pcm.data(), frames, out.data(), int(out.size()));
    } else {
        n = lame_encode_buffer(gf, pcm.data(), pcm.data(), frames, out.data(), int(out.size()));
    }
    if (n >= 0) {
        int tail = lame_encode_flush(gf, out.data() + n, int(out.size()) - n);
        if (tail >= 0) {
            result.bytes.assign(reinterpret_cast<const char*>(out.data()), size_t(n + tail));
            result.frames = lame_get_frameNum(gf);
        }
        // The stream starts with a blank frame kept for the finished info frame.
        unsigned char info[2880];
        size_t infoBytes = infoFrame ? lame_get_lametag_frame(gf, info, sizeof info) : 0;
        if (infoBytes > 0 && infoBytes <= sizeof info && infoBytes <= result.bytes.size()) {
            result.bytes.replace(0, infoBytes, reinterpret_cast<const char*>(info), infoBytes);
        }
    }
    lame_close(gf);
    return result;
}

void WriteSeed(const std::string& name, const std::string& bytes) {
    std::filesystem::path dir = "../fuzz-corpus/SoundDecodeFuzz";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

namespace {

struct FileLike {
    std::string bytes;
    int64_t position = 0;
};

FileLike* F(void* data) {
    return static_cast<FileLike*>(data);
}

const file::StreamOps kFileLikeOps = {
    [](void* d) -> int64_t { return F(d)->position; },
    [](void* d, int64_t offset, int origin) -> int {
        int64_t base = origin == 0 ? 0 : origin == 1 ? F(d)->position : int64_t(F(d)->bytes.size());
        if (base + offset < 0) {
            return -1;
        }
        F(d)->position = base + offset;
        return 0;
    },
    [](void* dst, size_t size, size_t count, void* d) -> size_t {
        FileLike* f = F(d);
        int64_t left = int64_t(f->bytes.size()) - f->position;
        if (size == 0 || left <= 0) {
            return 0;
        }
        size_t n = std::min(count, size_t(left) / size);
        std::memcpy(dst, f->bytes.data() + f->position, n * size);
        f->position += int64_t(n * size);
        return n;
    },
    [](void* d) -> int { return F(d)->position == int64_t(F(d)->bytes.size()) ? 1 : 0; },
    [](void*) -> int { return 1; },
    [](void* d) -> int {
        delete F(d);
        return 0;
    }};

} // namespace

file::Stream OpenFileLikeStream(const std::string& bytes) {
    return file::Stream{&kFileLikeOps, new FileLike{bytes, 0}};
}

DecodedSound::DecodedSound(const std::string& bytes, StreamKind kind) : bytes_(bytes) {
    if (kind == StreamKind::FileLike) {
        stream_ = OpenFileLikeStream(bytes_);
    } else if (!file::OpenMemoryStream(bytes_.data(), int32_t(bytes_.size()), stream_)) {
        return;
    }
    setup_ = sound::SetupSoundConverter(stream_, converter_);
}

DecodedSound::~DecodedSound() {
    if (setup_ == 0) {
        sound::TerminateSoundConverter(converter_);
    }
    file::CloseStream(stream_);
}

std::string DecodedSound::DecodeAll() {
    sound::PcmResult result{};
    if (sound::DecodeAllSound(converter_, result) != 0) {
        return {};
    }
    std::string out(reinterpret_cast<const char*>(result.data), size_t(result.length));
    MemFree(result.data);
    return out;
}

std::string DecodedSound::Read(int32_t bytes) {
    std::string out(size_t(bytes), '\0');
    int32_t got = sound::ReadSoundPcm(converter_, out.data(), bytes);
    out.resize(got > 0 ? size_t(got) : 0);
    return out;
}

} // namespace velox::test
