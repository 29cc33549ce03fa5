// Packs a generated folder of typical game data (PNG-like deflated bytes,
// Ogg-like noise, WAV-like PCM, script text) with the vla packer, reads every
// member back through the file layer, and sets pack time, ratio and decoding
// speed beside zlib level 6 on the same bytes.
#include "VlaArchive.h"
#include "VlaEncoder.h"
#include "archive/ArchiveDecode.h"
#include "archive/ArchiveHook.h"
#include "file/FileAccess.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using namespace velox;

// Process CPU time rather than the wall clock: the machine may be shared, and
// every thread that does the work (the file layer's too) is ours.
struct Clock {
    static double now() {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }
};

double Seconds(double since) {
    return Clock::now() - since;
}

// The median time of `rounds` runs: steadier than the mean on a shared machine.
template <typename Work> double MedianSeconds(int rounds, Work work) {
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        const double t0 = Clock::now();
        work();
        times.push_back(Seconds(t0));
    }
    std::nth_element(times.begin(), times.begin() + rounds / 2, times.end());
    return times[size_t(rounds / 2)];
}

Bytes Deflate(const Bytes& in, int level) {
    uLongf size = compressBound(uLong(in.size()));
    Bytes out(size);
    compress2(out.data(), &size, in.data(), uLong(in.size()), level);
    out.resize(size);
    return out;
}

// Image rows with gradients and edges, deflated as a PNG encoder would.
Bytes PngLike(std::mt19937& rng, size_t size) {
    Bytes raw;
    while (raw.size() < size * 3) {
        uint32_t y = uint32_t(raw.size() / 3072);
        for (uint32_t x = 0; x < 1024; ++x) {
            uint8_t noise = uint8_t(rng() & 7);
            raw.push_back(uint8_t(x / 4 + noise));
            raw.push_back(uint8_t((x ^ y) & 0xF0));
            raw.push_back(uint8_t(y * 3 + noise));
        }
    }
    Bytes png = Deflate(raw, 9);
    png.resize(std::min(png.size(), size));
    return png;
}

// Ogg pages: a small header every 4 KiB, then entropy-coded (random) bytes.
Bytes OggLike(std::mt19937& rng, size_t size) {
    Bytes out;
    while (out.size() < size) {
        const char header[] = "OggS\0\0\0\0\0\0\0\0\0\0\x12\x34\x56\x78";
        out.insert(out.end(), header, header + 18);
        for (int i = 0; i < 4096 - 18; ++i) {
            out.push_back(uint8_t(rng()));
        }
    }
    out.resize(size);
    return out;
}

// 16-bit stereo PCM: two tones, an envelope and a little noise.
Bytes WavLike(std::mt19937& rng, size_t size) {
    Bytes out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    std::normal_distribution<double> noise(0.0, 40.0);
    for (size_t n = 0; out.size() < size; ++n) {
        double t = double(n) / 44100.0;
        double envelope = 0.5 + 0.5 * std::sin(t * 1.3);
        for (int channel = 0; channel < 2; ++channel) {
            double v = envelope * (6000 * std::sin(2 * M_PI * 440 * t + channel) +
                                   3000 * std::sin(2 * M_PI * 660 * t)) +
                       noise(rng);
            int16_t s = int16_t(std::lround(v));
            out.push_back(uint8_t(s));
            out.push_back(uint8_t(uint16_t(s) >> 8));
        }
    }
    out.resize(size);
    return out;
}

Bytes TextLike(std::mt19937& rng, size_t size) {
    const char* commands[] = {"loadimage", "drawimage", "moveimage", "playsound",
                              "wait",      "playmusic", "fademusic", "capture"};
    std::string text;
    while (text.size() < size) {
        text += commands[rng() % 8];
        int args = 1 + int(rng() % 9);
        for (int i = 0; i < args; ++i) {
            text += ' ';
            text += std::to_string(rng() % 800);
        }
        if (rng() % 4 == 0) {
            text += " data/img/scene";
            text += std::to_string(rng() % 40);
            text += ".png";
        }
        text += "\r\n";
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

struct Kind {
    const char* name;
    Bytes data;
};

void WriteFile(const std::filesystem::path& path, const Bytes& data) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

} // namespace

int main() {
    std::mt19937 rng(12345);
    std::vector<Kind> kinds = {{"png", PngLike(rng, 3 << 20)},
                               {"ogg", OggLike(rng, 3 << 20)},
                               {"wav", WavLike(rng, 4 << 20)},
                               {"txt", TextLike(rng, 2 << 20)}};
    const int kRounds = 15;

    std::printf("%-5s %8s | %9s %9s %9s | %9s %9s %9s\n", "", "", "vla", "vla", "vla", "zlib-6",
                "zlib-6", "zlib-6");
    std::printf("%-5s %8s | %9s %9s %9s | %9s %9s %9s\n", "kind", "MiB", "ratio", "pack MB/s",
                "dec MB/s", "ratio", "pack MB/s", "dec MB/s");
    std::vector<Bytes> members; // each kind's packed member; empty when stored
    for (const Kind& k : kinds) {
        double mb = double(k.data.size()) / 1e6;
        auto t0 = Clock::now();
        Bytes member = vla::CompressMember(k.data.data(), k.data.size());
        double vlaPack = Seconds(t0);
        double vlaRatio = 1.0;
        double vlaDecode = 0.0;
        if (!member.empty()) {
            vlaRatio = double(member.size()) / double(k.data.size());
            Bytes out(k.data.size());
            bool decoded = true;
            vlaDecode = MedianSeconds(kRounds, [&] {
                decoded = decoded && archive::DecompressArchiveMember(member.data(), member.size(),
                                                                      out.data(), out.size());
            });
            if (!decoded || out != k.data) {
                std::fprintf(stderr, "decode failed\n");
                return 1;
            }
        }
        members.push_back(member);
        t0 = Clock::now();
        Bytes z = Deflate(k.data, 6);
        double zPack = Seconds(t0);
        Bytes zOut(k.data.size());
        double zDecode = MedianSeconds(kRounds, [&] {
            uLongf n = uLongf(zOut.size());
            uncompress(zOut.data(), &n, z.data(), uLong(z.size()));
        });
        char vlaDec[32];
        std::snprintf(vlaDec, sizeof vlaDec, member.empty() ? "stored" : "%.0f",
                      member.empty() ? 0.0 : mb / vlaDecode);
        std::printf("%-5s %8.2f | %9.3f %9.1f %9s | %9.3f %9.1f %9.0f\n", k.name,
                    double(k.data.size()) / 1048576.0, vlaRatio, mb / vlaPack, vlaDec,
                    double(z.size()) / double(k.data.size()), mb / zPack, mb / zDecode);
    }

    // The whole folder: pack with the tool, then read every member through the file layer.
    std::filesystem::path root = std::filesystem::temp_directory_path() / "velox-bench-archive";
    std::filesystem::remove_all(root);
    uint64_t total = 0;
    for (const Kind& k : kinds) {
        for (int copy = 0; copy < 2; ++copy) {
            WriteFile(root / "DATA" / k.name / ("file" + std::to_string(copy) + "." + k.name),
                      k.data);
            total += k.data.size();
        }
    }
    vla::PackStats stats;
    std::string error;
    auto t0 = Clock::now();
    if (!vla::PackDirectory((root / "DATA").string(), (root / "DATA.VLA").string(), {}, error,
                            &stats)) {
        std::fprintf(stderr, "pack failed: %s\n", error.c_str());
        return 1;
    }
    double packTime = Seconds(t0);
    std::filesystem::remove_all(root / "DATA");

    file::InstallArchiveAwareFileAccess();
    archive::ResetArchiveLayer();
    Bytes buffer(1 << 20);
    uint64_t read = 0;
    const int readRounds = std::getenv("VELOX_BENCH_READ_ROUNDS")
                               ? std::max(1, std::atoi(std::getenv("VELOX_BENCH_READ_ROUNDS")))
                               : 15;
    // The floor: the same members decoded in memory (a stored one copied),
    // two copies of each kind as in the folder.
    std::vector<Bytes> outs;
    for (const Kind& k : kinds) {
        outs.emplace_back(k.data.size());
    }
    auto inMemory = [&] {
        for (int copy = 0; copy < 2; ++copy) {
            for (size_t i = 0; i < kinds.size(); ++i) {
                if (members[i].empty()) {
                    std::memcpy(outs[i].data(), kinds[i].data.data(), kinds[i].data.size());
                } else {
                    archive::DecompressArchiveMember(members[i].data(), members[i].size(),
                                                     outs[i].data(), outs[i].size());
                }
            }
        }
    };
    auto readBack = [&] {
        read = 0;
        for (const Kind& k : kinds) {
            for (int copy = 0; copy < 2; ++copy) {
                std::string path =
                    (root / "DATA" / k.name / ("file" + std::to_string(copy) + "." + k.name))
                        .string();
                intptr_t f = file::gFileAccess.open(path.c_str(), 0, 1, 0);
                if (f == 0) {
                    std::fprintf(stderr, "cannot open %s\n", path.c_str());
                    std::exit(1);
                }
                while (size_t n = file::gFileAccess.read(buffer.data(), 1, buffer.size(), f)) {
                    read += n;
                }
                file::gFileAccess.close(f);
            }
        }
    };
    // Interleaved, round by round: the machine's speed drifts more between
    // two separate timings than the file layer's cost is worth.
    std::vector<double> memoryTimes, readTimes, shares;
    for (int r = 0; r < readRounds; ++r) {
        double t0 = Clock::now();
        inMemory();
        memoryTimes.push_back(Seconds(t0));
        t0 = Clock::now();
        readBack();
        readTimes.push_back(Seconds(t0));
        shares.push_back(memoryTimes.back() / readTimes.back());
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const double readTime = median(readTimes);
    const double memoryTime = median(memoryTimes);
    archive::EndArchiveLayer();
    std::printf("\nfolder: %.1f MiB in 8 files, packed in %.2f s (%.1f MB/s) to %.3f of its size;\n"
                "read back through the file layer at %.0f MB/s (%s), %.0f %% of the %.0f MB/s\n"
                "of decoding (or copying) the same members in memory (median of %d rounds,\n"
                "each timing both)\n",
                double(total) / 1048576.0, packTime, double(total) / 1e6 / packTime,
                double(stats.bytesOut) / double(stats.bytesIn), double(read) / 1e6 / readTime,
                read == total ? "all bytes" : "SHORT", 100.0 * median(shares),
                double(total) / 1e6 / memoryTime, readRounds);
    std::filesystem::remove_all(root);
    return read == total ? 0 : 1;
}
