// Sound output service: a software mixer behind sound-buffer operations. Every
// buffer holds PCM in its own format (8 or 16 bits, 1 or 2 channels, any rate);
// the mixer resamples each playing buffer to the device rate, applies its
// attenuation and sums them in 32 bits with clipping. The mixer has its own
// lock, so these calls may come from any thread; the output (an SDL audio
// device, or the headless renderer driven by virtual time) never calls back
// into the runtime.
#pragma once

#include "platform/WaveFormat.h"

#include <cstdint>
#include <functional>
#include <string>

namespace velox::platform {

// Capability flags of a buffer, recorded as given. Volume control is honoured:
// a buffer made without it refuses attenuation changes.
constexpr uint32_t kSoundBufferStatic = 0x00000002;
constexpr uint32_t kSoundBufferCtrlFrequency = 0x00000020;
constexpr uint32_t kSoundBufferCtrlPan = 0x00000040;
constexpr uint32_t kSoundBufferCtrlVolume = 0x00000080;
constexpr uint32_t kSoundBufferGlobalFocus = 0x00008000;
constexpr uint32_t kSoundBufferAccurateCursor = 0x00010000;

// Status bits.
constexpr uint32_t kSoundStatusPlaying = 0x1;
constexpr uint32_t kSoundStatusLooping = 0x4;

// Attenuation in hundredths of a decibel: 0 is full level, -10000 is silence.
constexpr int32_t kSoundAttenuationMax = 0;
constexpr int32_t kSoundAttenuationMin = -10000;

// Buffer sizes a device accepts, in bytes.
constexpr uint32_t kSoundBufferMinBytes = 4;
constexpr uint32_t kSoundBufferMaxBytes = 0x0FFFFFFF;

// The mix runs at this rate, 16-bit stereo, for every output.
constexpr uint32_t kSoundDeviceRate = 44100;

enum class SoundOutput {
    Sdl,      // an SDL audio device pulls from the mixer on its own thread (or, without
              // one, a silent stand-in at the same pace)
    Headless, // the mixer renders up to the virtual time whenever it is touched
};

struct SoundDeviceOptions {
    SoundOutput output = SoundOutput::Sdl;
    // Headless: the virtual time in nanoseconds; empty reads the process clock
    // (peeking at it when it is the virtual clock).
    std::function<uint64_t()> clockNanos;
    // Headless: everything played is written here as a 44100 Hz 16-bit stereo
    // WAV (sample n at virtual time n / 44100 s); empty writes nothing.
    std::string capturePath;
};

struct SoundDeviceCaps {
    bool stereo;
    bool bits16;
    uint32_t minSecondaryRate;
    uint32_t maxSecondaryRate;
    uint32_t outputRate;
};

struct SoundLockRegion {
    uint8_t* part1;
    uint32_t bytes1;
    uint8_t* part2; // the ring's start when the region wraps, else nullptr
    uint32_t bytes2;
};

struct SoundBufferDesc {
    uint32_t flags;
    uint32_t bytes;
    WaveFormat format;
};

struct SoundDevice;
struct SoundBuffer;

// The options a device gets when the runtime does not say otherwise; the
// program sets them once before the runtime starts (headless runs, capture).
void SetDefaultSoundDeviceOptions(const SoundDeviceOptions& options);
SoundDeviceOptions DefaultSoundDeviceOptions();

// nullptr when a headless capture file cannot be created. Without an audio
// device the SDL output falls back to a silent one that keeps the device's time,
// and one line on standard error says so.
SoundDevice* CreateSoundDevice(const SoundDeviceOptions& options);
// Renders up to now, finishes the capture file and releases every buffer left.
void ReleaseSoundDevice(SoundDevice* device);
int GetSoundDeviceCaps(SoundDevice* device, SoundDeviceCaps& caps);
// The primary format is checked and kept; the mix itself stays at the device rate.
int SetPrimaryFormat(SoundDevice* device, const WaveFormat& format);
int GetPrimaryFormat(SoundDevice* device, WaveFormat& format);

// True when buffers of this format can be made: PCM, 1 or 2 channels, 8 or 16
// bits, a consistent block alignment and a rate the mixer resamples.
bool IsSoundFormatAccepted(const WaveFormat& format);

// A silent, stopped buffer at full level and position 0; nullptr when the
// format or size is not accepted.
SoundBuffer* CreateSoundBuffer(SoundDevice* device, const SoundBufferDesc& desc);
// A new voice over the same data (writes through either are seen by both),
// with its own position, state and attenuation.
SoundBuffer* DuplicateSoundBuffer(SoundDevice* device, SoundBuffer* original);
int ReleaseSoundBuffer(SoundBuffer* buffer);

// Hands out a region of the ring, in two parts when it runs past the end.
// The parts hold the current contents; what is written to them reaches the
// buffer at unlock. One lock at a time per buffer.
int LockSoundBuffer(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, SoundLockRegion& region);
// Stores the first bytes1 bytes of part 1 and bytes2 of part 2 (at most what
// was locked) and ends the lock.
int UnlockSoundBuffer(SoundBuffer* buffer, const SoundLockRegion& region);

int SetSoundBufferPosition(SoundBuffer* buffer, uint32_t byteOffset);
int PlaySoundBuffer(SoundBuffer* buffer, bool looped);
int StopSoundBuffer(SoundBuffer* buffer);
int GetSoundBufferStatus(SoundBuffer* buffer, uint32_t& status);
// The byte offset of the next sample frame the mixer will play.
int GetSoundBufferPosition(SoundBuffer* buffer, uint32_t& playCursor);
// -10000..0; values outside are refused. The gain is 10^(a / 2000), and
// exactly 0 at -10000.
int SetSoundBufferAttenuation(SoundBuffer* buffer, int32_t hundredthsDb);
int GetSoundBufferAttenuation(SoundBuffer* buffer, int32_t& hundredthsDb);
uint32_t GetSoundBufferFlags(SoundBuffer* buffer);
uint32_t GetSoundBufferSize(SoundBuffer* buffer);

// Headless: renders (and captures) up to the current virtual time. Every other
// call on a headless device does this first, so changes take effect at the
// sample that matches the time they were made. Nothing to do for SDL.
int RenderSoundToNow(SoundDevice* device);
// Sample frames produced so far by the device's output.
uint64_t RenderedSoundFrames(SoundDevice* device);

// Mixes the next frames (interleaved 16-bit stereo) and advances every playing
// buffer. The outputs call this; tests call it on a headless device whose
// clock stands still.
void PullSoundFrames(SoundDevice* device, int16_t* out, uint32_t frames);

} // namespace velox::platform
