// Internals shared by the mixer and its outputs. The device mutex guards every
// buffer of the device, the buffer list and the output's bookkeeping.
#pragma once

#include "platform/SoundMixer.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velox::platform {

// PCM shared by a buffer and its duplicates.
struct SoundData {
    std::vector<uint8_t> bytes;
    WaveFormat format;
    uint32_t frames; // whole sample frames in bytes
};

struct ResampleKernel;

struct SoundBuffer {
    SoundDevice* device = nullptr;
    std::shared_ptr<SoundData> data;
    uint32_t flags = 0;
    uint64_t position = 0; // sample frames, 32.32 fixed point
    uint64_t step = 0;     // source frames per device frame, 32.32 fixed point
    std::shared_ptr<const ResampleKernel> kernel; // for step, shared by duplicates
    bool playing = false;
    bool looping = false;
    int32_t attenuation = 0;
    int32_t gainQ16 = 1 << 16;
    bool locked = false;
    uint32_t lockOffset = 0;
    std::vector<uint8_t> lockStage;
};

// A voice that a platform service synthesises as the mix needs it (the MIDI
// sequencer). Generate adds frames of interleaved stereo, at the 16-bit scale,
// to the accumulator; it runs with the device mutex held, on whatever thread
// mixes, and must not call into the runtime.
class SoundGenerator {
public:
    virtual ~SoundGenerator() = default;
    virtual void Generate(int32_t* accumulator, uint32_t frames) = 0;
};

// What drives the mix: a device thread that pulls, or the headless renderer.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Called with the device mutex held before every buffer operation.
    virtual void CatchUp(SoundDevice&) {}
    // Called without the mutex before the device goes away.
    virtual void Close(SoundDevice&) {}
    virtual uint64_t RenderedFrames() const = 0;
};

struct SoundDevice {
    std::mutex mutex;
    std::vector<SoundBuffer*> buffers;
    std::vector<SoundGenerator*> generators;
    WaveFormat primary{};
    std::vector<int32_t> mix; // accumulator, two per frame
    std::unique_ptr<AudioOutput> output;
};

// Holds the device mutex after letting the output catch up, so that a change made
// under it takes effect at the sample that matches the time it was made.
class DeviceLock {
public:
    explicit DeviceLock(SoundDevice& d) : device_(d), lock_(d.mutex) {
        if (device_.output) {
            device_.output->CatchUp(device_);
        }
    }

private:
    SoundDevice& device_;
    std::lock_guard<std::mutex> lock_;
};

// Generators join and leave the mix under a DeviceLock; the device does not own them.
void AttachGeneratorLocked(SoundDevice& device, SoundGenerator* generator);
void DetachGeneratorLocked(SoundDevice& device, SoundGenerator* generator);

// Mixes with the device mutex already held.
void MixLocked(SoundDevice& device, int16_t* out, uint32_t frames);

// The device frames that belong to the first `nanos` of a clock: frame n sounds at
// n / kSoundDeviceRate s. Exact for any time (no overflow of nanos * rate).
inline uint64_t SoundFramesAt(uint64_t nanos) {
    constexpr uint64_t kNanosPerSecond = 1000000000ull;
    return nanos / kNanosPerSecond * kSoundDeviceRate +
           nanos % kNanosPerSecond * kSoundDeviceRate / kNanosPerSecond;
}

// Gain in 16.16 fixed point for an attenuation in hundredths of a decibel.
int32_t AttenuationGainQ16(int32_t hundredthsDb);

// nullptr with the reason when no audio device can be opened.
std::unique_ptr<AudioOutput> OpenSdlAudioOutput(SoundDevice& device, std::string& reason);
// Mixes at the device pace and discards the result: for when there is no device.
std::unique_ptr<AudioOutput> OpenSilentAudioOutput(SoundDevice& device);
std::unique_ptr<AudioOutput> OpenHeadlessAudioOutput(const SoundDeviceOptions& options);

} // namespace velox::platform
