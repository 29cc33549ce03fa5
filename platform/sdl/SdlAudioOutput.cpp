// The SDL output: an audio device at 44100 Hz, 16-bit stereo, with buffers of
// about 10 ms, whose callback thread pulls the mix.
#include "platform/Recording.h"
#include "platform/audio/MixerCore.h"

#include <SDL.h>

#include <dlfcn.h>

namespace velox::platform {
namespace {

constexpr Uint16 kDeviceSamples = 512; // 11.6 ms at 44100 Hz

// On a machine without a sound card the ALSA library prints its complaints to
// standard error while SDL probes it. They are kept quiet while the device is
// opened (the caller says in one line what matters) and let through again after.
class QuietAlsaProbe {
public:
    QuietAlsaProbe() {
        library_ = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (library_) {
            setHandler_ =
                reinterpret_cast<SetHandler>(::dlsym(library_, "snd_lib_error_set_handler"));
        }
        if (setHandler_) {
            setHandler_(&Ignore);
        }
    }
    ~QuietAlsaProbe() {
        if (setHandler_) {
            setHandler_(nullptr); // the library's own handler again
        }
        if (library_) {
            ::dlclose(library_);
        }
    }
    QuietAlsaProbe(const QuietAlsaProbe&) = delete;
    QuietAlsaProbe& operator=(const QuietAlsaProbe&) = delete;

private:
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    static void Ignore(const char*, int, const char*, int, const char*, ...) {}

    void* library_ = nullptr;
    SetHandler setHandler_ = nullptr;
};

class SdlAudioOutput final : public AudioOutput {
public:
    ~SdlAudioOutput() override { CloseDevice(); }

    bool Open(SoundDevice& device, std::string& reason) {
        QuietAlsaProbe quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            reason = SDL_GetError();
            return false;
        }
        subsystemUp_ = true;
        SDL_AudioSpec want{};
        want.freq = int(kSoundDeviceRate);
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = kDeviceSamples;
        want.callback = &SdlAudioOutput::Callback;
        want.userdata = this;
        device_ = &device;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts if the hardware wants another format.
        id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (id_ == 0) {
            reason = SDL_GetError();
            return false;
        }
        SDL_PauseAudioDevice(id_, 0);
        return true;
    }

    void Close(SoundDevice&) override { CloseDevice(); }

    // Read with the device mutex held, like the callback writes it.
    uint64_t RenderedFrames() const override { return rendered_; }

private:
    static void Callback(void* userdata, Uint8* stream, int len) {
        auto* self = static_cast<SdlAudioOutput*>(userdata);
        uint32_t frames = uint32_t(len) / 4;
        std::lock_guard<std::mutex> lock(self->device_->mutex);
        MixLocked(*self->device_, reinterpret_cast<int16_t*>(stream), frames);
        RecordMixedSound(reinterpret_cast<const int16_t*>(stream), frames);
        self->rendered_ += frames;
    }

    void CloseDevice() {
        if (id_ != 0) {
            SDL_CloseAudioDevice(id_); // waits for a running callback
            id_ = 0;
        }
        if (subsystemUp_) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            subsystemUp_ = false;
        }
    }

    SoundDevice* device_ = nullptr;
    SDL_AudioDeviceID id_ = 0;
    bool subsystemUp_ = false;
    uint64_t rendered_ = 0;
};

} // namespace

std::unique_ptr<AudioOutput> OpenSdlAudioOutput(SoundDevice& device, std::string& reason) {
    auto output = std::make_unique<SdlAudioOutput>();
    if (!output->Open(device, reason)) {
        return nullptr;
    }
    return output;
}

} // namespace velox::platform
