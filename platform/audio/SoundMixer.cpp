#include "platform/audio/MixerCore.h"
#include "platform/audio/Resampler.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace velox::platform {
namespace {

constexpr uint32_t kMinSecondaryRate = 100;
constexpr uint32_t kMaxSecondaryRate = 200000;

std::mutex gDefaultsMutex;
SoundDeviceOptions gDefaults;

bool AcceptedFormat(const WaveFormat& f) {
    if (f.formatTag != kWaveFormatPcm || f.channels < 1 || f.channels > 2) {
        return false;
    }
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) {
        return false;
    }
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) {
        return false;
    }
    return f.samplesPerSec >= kMinSecondaryRate && f.samplesPerSec <= kMaxSecondaryRate;
}

inline int16_t Clip(int32_t v) {
    return int16_t(std::clamp(v, -32768, 32767));
}

} // namespace

int32_t AttenuationGainQ16(int32_t hundredthsDb) {
    if (hundredthsDb <= kSoundAttenuationMin) {
        return 0;
    }
    if (hundredthsDb >= 0) {
        return 1 << 16;
    }
    return int32_t(std::lround(65536.0 * std::pow(10.0, double(hundredthsDb) / 2000.0)));
}

void MixLocked(SoundDevice& device, int16_t* out, uint32_t frames) {
    constexpr uint32_t kChunk = 1024;
    device.mix.resize(2 * kChunk);
    while (frames > 0) {
        uint32_t n = std::min(frames, kChunk);
        std::fill(device.mix.begin(), device.mix.begin() + 2 * n, 0);
        for (SoundBuffer* b : device.buffers) {
            if (b->playing) {
                ResampleVoice(*b, device.mix.data(), n);
            }
        }
        for (SoundGenerator* g : device.generators) {
            g->Generate(device.mix.data(), n);
        }
        for (uint32_t k = 0; k < 2 * n; ++k) {
            out[k] = Clip(device.mix[k]);
        }
        out += 2 * n;
        frames -= n;
    }
}

void AttachGeneratorLocked(SoundDevice& device, SoundGenerator* generator) {
    device.generators.push_back(generator);
}

void DetachGeneratorLocked(SoundDevice& device, SoundGenerator* generator) {
    auto& list = device.generators;
    list.erase(std::remove(list.begin(), list.end(), generator), list.end());
}

bool IsSoundFormatAccepted(const WaveFormat& format) {
    return AcceptedFormat(format);
}

void PullSoundFrames(SoundDevice* device, int16_t* out, uint32_t frames) {
    std::lock_guard<std::mutex> lock(device->mutex);
    MixLocked(*device, out, frames);
}

void SetDefaultSoundDeviceOptions(const SoundDeviceOptions& options) {
    std::lock_guard<std::mutex> lock(gDefaultsMutex);
    gDefaults = options;
}

SoundDeviceOptions DefaultSoundDeviceOptions() {
    std::lock_guard<std::mutex> lock(gDefaultsMutex);
    return gDefaults;
}

SoundDevice* CreateSoundDevice(const SoundDeviceOptions& options) {
    auto device = std::make_unique<SoundDevice>();
    device->primary = MakePcmFormat(2, kSoundDeviceRate, 16);
    if (options.output == SoundOutput::Headless) {
        device->output = OpenHeadlessAudioOutput(options);
    } else {
        std::string reason;
        device->output = OpenSdlAudioOutput(*device, reason);
        if (!device->output) {
            // A show must not stop for want of a sound card: it plays on silently,
            // with every sound keeping the time it would have had.
            device->output = OpenSilentAudioOutput(*device);
            std::fprintf(stderr, "%s: no sound device (%s); playing on without sound\n",
                         program_invocation_short_name, reason.c_str());
        }
    }
    if (!device->output) {
        return nullptr;
    }
    return device.release();
}

void ReleaseSoundDevice(SoundDevice* device) {
    if (!device) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(device->mutex);
        device->output->CatchUp(*device);
    }
    // Closing waits for an output thread, which takes the mutex to mix.
    device->output->Close(*device);
    for (SoundBuffer* b : device->buffers) {
        delete b;
    }
    delete device;
}

int GetSoundDeviceCaps(SoundDevice* device, SoundDeviceCaps& caps) {
    if (!device) {
        return -1;
    }
    caps = SoundDeviceCaps{true, true, kMinSecondaryRate, kMaxSecondaryRate, kSoundDeviceRate};
    return 0;
}

int SetPrimaryFormat(SoundDevice* device, const WaveFormat& format) {
    if (!device || !AcceptedFormat(format)) {
        return -1;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    device->primary = format;
    device->primary.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    device->primary.extraSize = 0;
    return 0;
}

int GetPrimaryFormat(SoundDevice* device, WaveFormat& format) {
    if (!device) {
        return -1;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    format = device->primary;
    return 0;
}

SoundBuffer* CreateSoundBuffer(SoundDevice* device, const SoundBufferDesc& desc) {
    if (!device || !AcceptedFormat(desc.format) || desc.bytes < kSoundBufferMinBytes ||
        desc.bytes > kSoundBufferMaxBytes) {
        return nullptr;
    }
    auto data = std::make_shared<SoundData>();
    data->format = desc.format;
    data->format.avgBytesPerSec = desc.format.samplesPerSec * desc.format.blockAlign;
    data->format.extraSize = 0;
    data->frames = desc.bytes / desc.format.blockAlign;
    // Silence: the midpoint for unsigned 8-bit samples, zero for 16-bit ones.
    data->bytes.assign(desc.bytes, desc.format.bitsPerSample == 8 ? 0x80 : 0x00);

    auto* b = new SoundBuffer;
    b->device = device;
    b->data = std::move(data);
    b->flags = desc.flags;
    b->step = (uint64_t(desc.format.samplesPerSec) << 32) / kSoundDeviceRate;
    b->kernel = ResampleKernelFor(b->step);
    DeviceLock lock(*device);
    device->buffers.push_back(b);
    return b;
}

SoundBuffer* DuplicateSoundBuffer(SoundDevice* device, SoundBuffer* original) {
    if (!device || !original || original->device != device) {
        return nullptr;
    }
    auto* b = new SoundBuffer;
    DeviceLock lock(*device);
    b->device = device;
    b->data = original->data;
    b->flags = original->flags;
    b->step = original->step;
    b->kernel = original->kernel;
    device->buffers.push_back(b);
    return b;
}

int ReleaseSoundBuffer(SoundBuffer* buffer) {
    if (!buffer) {
        return -1;
    }
    SoundDevice& device = *buffer->device;
    {
        DeviceLock lock(device);
        auto& list = device.buffers;
        list.erase(std::remove(list.begin(), list.end(), buffer), list.end());
    }
    delete buffer;
    return 0;
}

int LockSoundBuffer(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, SoundLockRegion& region) {
    if (!buffer) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    const std::vector<uint8_t>& data = buffer->data->bytes;
    const uint32_t size = uint32_t(data.size());
    if (buffer->locked || offset >= size || bytes == 0 || bytes > size) {
        return -1;
    }
    uint32_t first = std::min(bytes, size - offset);
    uint32_t second = bytes - first;
    buffer->lockStage.resize(bytes);
    std::memcpy(buffer->lockStage.data(), data.data() + offset, first);
    std::memcpy(buffer->lockStage.data() + first, data.data(), second);
    buffer->locked = true;
    buffer->lockOffset = offset;
    region.part1 = buffer->lockStage.data();
    region.bytes1 = first;
    region.part2 = second ? buffer->lockStage.data() + first : nullptr;
    region.bytes2 = second;
    return 0;
}

int UnlockSoundBuffer(SoundBuffer* buffer, const SoundLockRegion& region) {
    if (!buffer) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    if (!buffer->locked) {
        return -1;
    }
    std::vector<uint8_t>& stage = buffer->lockStage;
    const uint32_t size = uint32_t(buffer->data->bytes.size());
    const uint32_t first = std::min(uint32_t(stage.size()), size - buffer->lockOffset);
    const uint32_t second = uint32_t(stage.size()) - first;
    if (region.part1 != stage.data() || region.bytes1 > first || region.bytes2 > second ||
        (region.bytes2 != 0 && region.part2 != stage.data() + first)) {
        return -1;
    }
    uint8_t* data = buffer->data->bytes.data();
    std::memcpy(data + buffer->lockOffset, stage.data(), region.bytes1);
    std::memcpy(data, stage.data() + first, region.bytes2);
    buffer->locked = false;
    stage.clear();
    stage.shrink_to_fit();
    return 0;
}

int SetSoundBufferPosition(SoundBuffer* buffer, uint32_t byteOffset) {
    if (!buffer) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    const SoundData& d = *buffer->data;
    if (byteOffset >= d.bytes.size()) {
        return -1;
    }
    uint32_t frame = byteOffset / d.format.blockAlign;
    buffer->position = frame < d.frames ? uint64_t(frame) << 32 : 0;
    return 0;
}

int PlaySoundBuffer(SoundBuffer* buffer, bool looped) {
    if (!buffer) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    buffer->playing = true;
    buffer->looping = looped;
    return 0;
}

int StopSoundBuffer(SoundBuffer* buffer) {
    if (!buffer) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    buffer->playing = false;
    return 0;
}

int GetSoundBufferStatus(SoundBuffer* buffer, uint32_t& status) {
    if (!buffer) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    status = 0;
    if (buffer->playing) {
        status = kSoundStatusPlaying | (buffer->looping ? kSoundStatusLooping : 0);
    }
    return 0;
}

int GetSoundBufferPosition(SoundBuffer* buffer, uint32_t& playCursor) {
    if (!buffer) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    playCursor = uint32_t(buffer->position >> 32) * buffer->data->format.blockAlign;
    return 0;
}

int SetSoundBufferAttenuation(SoundBuffer* buffer, int32_t hundredthsDb) {
    if (!buffer || !(buffer->flags & kSoundBufferCtrlVolume) ||
        hundredthsDb < kSoundAttenuationMin || hundredthsDb > kSoundAttenuationMax) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    buffer->attenuation = hundredthsDb;
    buffer->gainQ16 = AttenuationGainQ16(hundredthsDb);
    return 0;
}

int GetSoundBufferAttenuation(SoundBuffer* buffer, int32_t& hundredthsDb) {
    if (!buffer) {
        return -1;
    }
    DeviceLock lock(*buffer->device);
    hundredthsDb = buffer->attenuation;
    return 0;
}

uint32_t GetSoundBufferFlags(SoundBuffer* buffer) {
    return buffer ? buffer->flags : 0;
}

uint32_t GetSoundBufferSize(SoundBuffer* buffer) {
    return buffer ? uint32_t(buffer->data->bytes.size()) : 0;
}

int RenderSoundToNow(SoundDevice* device) {
    if (!device) {
        return -1;
    }
    DeviceLock lock(*device);
    return 0;
}

uint64_t RenderedSoundFrames(SoundDevice* device) {
    if (!device) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    return device->output->RenderedFrames();
}

} // namespace velox::platform
