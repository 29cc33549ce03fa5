// The output that stands in for an audio device that could not be opened (a
// container, a virtual machine, a desktop without a sound server). The mix runs
// and is thrown away at the pace a device would pull it, so playing state,
// stream ends, fades and loop points keep the times they would have with sound.
#include "platform/Clock.h"
#include "platform/Recording.h"
#include "platform/Thread.h"
#include "platform/audio/MixerCore.h"

#include <algorithm>
#include <thread>

namespace velox::platform {
namespace {

constexpr uint32_t kChunkFrames = 4096;
// A real device pulls about this often; between pulls, every buffer operation
// catches up to the clock, so positions are exact whenever they are read.
constexpr uint32_t kPaceMillis = 10;

class SilentAudioOutput final : public AudioOutput {
public:
    explicit SilentAudioOutput(SoundDevice& device)
        : device_(device), start_(SystemClock().MonotonicNanos()) {
        pacer_ = std::thread([this] { Pace(); });
    }
    ~SilentAudioOutput() override { Stop(); }

    void CatchUp(SoundDevice& device) override {
        const uint64_t now = SystemClock().MonotonicNanos();
        const uint64_t target = SoundFramesAt(now > start_ ? now - start_ : 0);
        while (rendered_ < target) {
            uint32_t n = uint32_t(std::min<uint64_t>(target - rendered_, kChunkFrames));
            MixLocked(device, chunk_, n);
            // Unheard, but a recording of the show still gets its sound.
            RecordMixedSound(chunk_, n);
            rendered_ += n;
        }
    }

    void Close(SoundDevice&) override { Stop(); }

    uint64_t RenderedFrames() const override { return rendered_; }

private:
    // Keeps the mix moving while nothing touches the device, as a device thread
    // would, so that a long quiet stretch is not rendered in one burst later.
    void Pace() {
        while (!stop_.IsSet()) {
            SystemClock().WaitWithoutAdvancing(kPaceMillis, stop_);
            std::lock_guard<std::mutex> lock(device_.mutex);
            CatchUp(device_);
        }
    }

    void Stop() {
        stop_.Set();
        if (pacer_.joinable()) {
            pacer_.join();
        }
    }

    SoundDevice& device_;
    const uint64_t start_;
    uint64_t rendered_ = 0; // guarded by the device mutex
    int16_t chunk_[kChunkFrames * 2];
    ManualResetEvent stop_;
    std::thread pacer_;
};

} // namespace

std::unique_ptr<AudioOutput> OpenSilentAudioOutput(SoundDevice& device) {
    return std::make_unique<SilentAudioOutput>(device);
}

} // namespace velox::platform
