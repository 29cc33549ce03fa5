// Internals shared by the mixer and its outputs. The device mutex guards every
// buffer of the device, the buffer list and the output's bookkeeping.
#pragma once

#include "platform/SoundMixer.h"

#include <memory>
#include <mutex>
#include <vector>

namespace velox::platform {

// PCM shared by a buffer and its duplicates.
struct SoundData {
    std::vector<uint8_t> bytes;
    WaveFormat format;
    uint32_t frames; // whole sample frames in bytes
};

struct SoundBuffer {
    SoundDevice* device = nullptr;
    std::shared_ptr<SoundData> data;
    uint32_t flags = 0;
    uint64_t position = 0; // sample frames, 32.32 fixed point
    uint64_t step = 0;     // source frames per device frame, 32.32 fixed point
    bool playing = false;
    bool looping = false;
    int32_t attenuation = 0;
    int32_t gainQ16 = 1 << 16;
    bool locked = false;
    uint32_t lockOffset = 0;
    std::vector<uint8_t> lockStage;
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
    WaveFormat primary{};
    std::vector<int32_t> mix; // accumulator, two per frame
    std::unique_ptr<AudioOutput> output;
};

// Mixes with the device mutex already held.
void MixLocked(SoundDevice& device, int16_t* out, uint32_t frames);

// Gain in 16.16 fixed point for an attenuation in hundredths of a decibel.
int32_t AttenuationGainQ16(int32_t hundredthsDb);

std::unique_ptr<AudioOutput> OpenSdlAudioOutput(SoundDevice& device);
std::unique_ptr<AudioOutput> OpenHeadlessAudioOutput(const SoundDeviceOptions& options);

} // namespace velox::platform
