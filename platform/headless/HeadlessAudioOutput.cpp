// The headless output: no device and no thread. The mix advances with the
// virtual clock: whenever the mixer is touched it renders every frame up to the
// current virtual time, frame n belonging to time n / 44100 s, and appends them
// to the capture WAV when one was asked for.
#include "platform/Clock.h"
#include "platform/Recording.h"
#include "platform/audio/MixerCore.h"
#include "platform/headless/VirtualClock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace velox::platform {
namespace {

constexpr uint32_t kChunkFrames = 4096;
constexpr uint32_t kWavHeaderBytes = 44;
// The RIFF size field must hold the data plus 36 header bytes.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, uint16_t(v));
    Put16(p + 2, uint16_t(v >> 16));
}

void MakeWavHeader(uint8_t* h, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, dataBytes + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, kWaveFormatPcm);
    Put16(h + 22, 2);
    Put32(h + 24, kSoundDeviceRate);
    Put32(h + 28, kSoundDeviceRate * 4);
    Put16(h + 32, 4);
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

class HeadlessAudioOutput final : public AudioOutput {
public:
    ~HeadlessAudioOutput() override { FinishCapture(); }

    bool Open(const SoundDeviceOptions& options) {
        clock_ = options.clockNanos;
        if (!clock_) {
            // Peeking leaves the virtual time alone; a read would advance it.
            clock_ = [] {
                ClockSource& clock = CurrentClock();
                if (auto* virtualClock = dynamic_cast<VirtualClock*>(&clock)) {
                    return virtualClock->PeekNanos();
                }
                return clock.MonotonicNanos();
            };
        }
        if (!options.capturePath.empty()) {
            file_ = std::fopen(options.capturePath.c_str(), "wb");
            if (!file_) {
                return false;
            }
            uint8_t header[kWavHeaderBytes];
            MakeWavHeader(header, 0);
            if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) {
                FinishCapture();
                return false;
            }
        }
        return true;
    }

    void CatchUp(SoundDevice& device) override {
        uint64_t target = SoundFramesAt(clock_());
        while (rendered_ < target) {
            uint32_t n = uint32_t(std::min<uint64_t>(target - rendered_, kChunkFrames));
            MixLocked(device, chunk_, n);
            Capture(n);
            RecordMixedSound(chunk_, n);
            rendered_ += n;
        }
    }

    void Close(SoundDevice&) override { FinishCapture(); }

    uint64_t RenderedFrames() const override { return rendered_; }

private:
    void Capture(uint32_t frames) {
        if (!file_ || dataBytes_ + uint64_t(frames) * 4 > kMaxDataBytes) {
            return;
        }
        uint8_t bytes[kChunkFrames * 4];
        for (uint32_t k = 0; k < frames * 2; ++k) {
            Put16(bytes + 2 * k, uint16_t(chunk_[k]));
        }
        dataBytes_ += std::fwrite(bytes, 1, size_t(frames) * 4, file_);
    }

    void FinishCapture() {
        if (!file_) {
            return;
        }
        uint8_t header[kWavHeaderBytes];
        MakeWavHeader(header, uint32_t(dataBytes_));
        if (std::fseek(file_, 0, SEEK_SET) == 0) {
            std::fwrite(header, 1, sizeof header, file_);
        }
        std::fclose(file_);
        file_ = nullptr;
    }

    std::function<uint64_t()> clock_;
    std::FILE* file_ = nullptr;
    uint64_t rendered_ = 0;
    uint64_t dataBytes_ = 0;
    int16_t chunk_[kChunkFrames * 2];
};

} // namespace

std::unique_ptr<AudioOutput> OpenHeadlessAudioOutput(const SoundDeviceOptions& options) {
    auto output = std::make_unique<HeadlessAudioOutput>();
    if (!output->Open(options)) {
        return nullptr;
    }
    return output;
}

} // namespace velox::platform
