// The MIDI sequencer on FluidSynth. The synthesiser has no audio driver: it is
// a generator of the mixer and renders exactly the frames the mix asks for, and
// its file player runs on the synthesiser's sample clock, so playback follows the
// mixer's pace (the virtual clock on the headless output) and never real time.
// Every synthesiser call is made with the device mutex held.
#include "platform/MidiSequencer.h"
#include "platform/audio/MixerCore.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace velox::platform {
namespace {

constexpr const char* kSoundFontFolder = "/usr/share/sounds/sf2/";
constexpr const char* kSystemSoundFonts[] = {"default-GM.sf2", "FluidR3_GM.sf2", "TimGM6mb.sf2"};
constexpr uint32_t kRenderChunk = 512;

std::mutex gSoundFontMutex;
std::string gSoundFont;

void Quiet(int, const char*, void*) {}

// The library reports to standard error by default; the runtime logs for itself.
void SilenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
            fluid_set_log_function(level, Quiet, nullptr);
        }
    });
}

// The library loads SoundFont samples with OpenMP tasks when it was built with OpenMP.
// One thread does: the loading is short, and a pool of worker threads that outlives it
// would only compete with the runtime's own threads (and hide its synchronisation from
// the thread checker). The setting belongs to the calling thread, so it is made before
// every load; the OpenMP runtime is the library's, found among the loaded objects.
void LoadSamplesOnThisThread() {
    using SetThreads = void (*)(int);
    static const auto setThreads =
        reinterpret_cast<SetThreads>(::dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    if (setThreads) {
        setThreads(1);
    }
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint16_t Be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

int32_t ToSample(float v) {
    return int32_t(std::lrint(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
}

} // namespace

struct MidiSequencer final : SoundGenerator {
    SoundDevice* device = nullptr;
    std::vector<uint8_t> data;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* player = nullptr;
    bool playing = false;
    std::atomic<int> completions{0};
    float left[kRenderChunk];
    float right[kRenderChunk];

    ~MidiSequencer() override {
        if (player) {
            delete_fluid_player(player);
        }
        if (synth) {
            delete_fluid_synth(synth);
        }
        if (settings) {
            delete_fluid_settings(settings);
        }
    }

    void Generate(int32_t* acc, uint32_t frames) override {
        while (frames > 0) {
            const uint32_t n = std::min(frames, kRenderChunk);
            fluid_synth_write_float(synth, int(n), left, 0, 1, right, 0, 1);
            for (uint32_t i = 0; i < n; ++i) {
                acc[2 * i] += ToSample(left[i]);
                acc[2 * i + 1] += ToSample(right[i]);
            }
            acc += 2 * n;
            frames -= n;
            // The player advances inside the synthesiser's rendering: its end is
            // seen at the block in which it happens. The sequence ends with its last
            // event; the player itself reports done only once every voice has died away.
            if (playing &&
                (fluid_player_get_status(player) == FLUID_PLAYER_DONE || SequenceOver())) {
                playing = false;
                completions.fetch_add(1);
            }
        }
    }

    bool SequenceOver() {
        const int total = fluid_player_get_total_ticks(player);
        return total > 0 && fluid_player_get_current_tick(player) >= total;
    }

    // A fresh file player at tick 0 over the kept data.
    bool Rewind() {
        if (player) {
            fluid_player_stop(player);
            delete_fluid_player(player);
            player = nullptr;
        }
        fluid_synth_system_reset(synth);
        player = new_fluid_player(synth);
        return player && fluid_player_add_mem(player, data.data(), data.size()) == FLUID_OK;
    }
};

void SetMidiSoundFont(const std::string& path) {
    std::lock_guard<std::mutex> lock(gSoundFontMutex);
    gSoundFont = path;
}

std::vector<std::string> MidiSoundFontCandidates() {
    {
        std::lock_guard<std::mutex> lock(gSoundFontMutex);
        if (!gSoundFont.empty()) {
            return {gSoundFont};
        }
    }
    std::vector<std::string> places;
    for (const char* name : kSystemSoundFonts) {
        places.push_back(std::string(kSoundFontFolder) + name);
    }
    return places;
}

namespace {

// A variable-length quantity of at most four bytes, within [at, end).
bool ReadVarLength(const uint8_t* data, size_t& at, size_t end, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= end) {
            return false;
        }
        const uint8_t byte = data[at++];
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

// Walks every event of one track chunk's payload [at, end); `events` counts
// across the file. False for anything the synthesiser's parser would misread.
bool CheckTrackEvents(const uint8_t* data, size_t at, size_t end, size_t& events) {
    uint8_t running = 0;
    while (at < end) {
        if (++events > kMaxMidiEvents) {
            return false;
        }
        uint32_t delta = 0;
        if (!ReadVarLength(data, at, end, delta) || at >= end) {
            return false;
        }
        uint8_t status = data[at];
        if (status & 0x80) {
            ++at;
        } else if (running == 0) {
            return false; // a data byte with no status to run on
        } else {
            status = running;
        }
        if (status == 0xFF || status == 0xF0 || status == 0xF7) {
            uint8_t type = 0;
            if (status == 0xFF) {
                if (at >= end) {
                    return false;
                }
                type = data[at++];
            }
            uint32_t length = 0;
            if (!ReadVarLength(data, at, end, length) || length > end - at) {
                return false;
            }
            if (status == 0xFF) {
                // Tempo: three bytes of microseconds per quarter note, never zero.
                if (type == 0x51 &&
                    (length != 3 || (data[at] | data[at + 1] | data[at + 2]) == 0)) {
                    return false;
                }
                if (type == 0x2F) {
                    return length == 0; // end of track; whatever follows is ignored
                }
            }
            at += length;
            continue;
        }
        if (status >= 0xF0) {
            return false; // no other system message belongs in a file
        }
        running = status;
        const uint8_t kind = status & 0xF0;
        const size_t dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
        if (dataBytes > end - at) {
            return false;
        }
        for (size_t i = 0; i < dataBytes; ++i) {
            if (data[at + i] & 0x80) {
                return false;
            }
        }
        at += dataBytes;
    }
    return true;
}

} // namespace

bool IsStandardMidiFile(const uint8_t* data, size_t bytes) {
    if (!data || bytes < 14 || std::memcmp(data, "MThd", 4) != 0 || Be32(data + 4) < 6) {
        return false;
    }
    const uint16_t format = Be16(data + 8);
    const uint16_t tracks = Be16(data + 10);
    const uint16_t division = Be16(data + 12);
    if (format > 2 || tracks == 0 || tracks > kMaxMidiTracks || division == 0) {
        return false;
    }
    size_t at = 8 + size_t(Be32(data + 4));
    int found = 0;
    size_t events = 0;
    while (found < tracks) {
        if (at > bytes || bytes - at < 8) {
            return false;
        }
        const size_t length = Be32(data + at + 4);
        if (length > bytes - at - 8) {
            return false;
        }
        // Chunks of other kinds are skipped whole.
        if (std::memcmp(data + at, "MTrk", 4) == 0) {
            if (!CheckTrackEvents(data, at + 8, at + 8 + length, events)) {
                return false;
            }
            ++found;
        }
        at += 8 + length;
    }
    return true;
}

MidiSequencer* OpenMidiSequencer(SoundDevice* device, const uint8_t* data, size_t bytes,
                                 MidiOpenResult& result) {
    result = MidiOpenResult::SynthFailure;
    if (!device) {
        return nullptr;
    }
    if (!IsStandardMidiFile(data, bytes)) {
        result = MidiOpenResult::NotMidi;
        return nullptr;
    }
    SilenceLibraryLog();
    auto sequencer = std::make_unique<MidiSequencer>();
    sequencer->device = device;
    sequencer->data.assign(data, data + bytes);
    sequencer->settings = new_fluid_settings();
    if (!sequencer->settings) {
        return nullptr;
    }
    fluid_settings_setnum(sequencer->settings, "synth.sample-rate", double(kSoundDeviceRate));
    // Locking the samples into memory can fail under a small memlock limit; nothing here
    // needs it, since rendering is not bound to a real-time thread's deadline.
    fluid_settings_setint(sequencer->settings, "synth.lock-memory", 0);
    fluid_settings_setstr(sequencer->settings, "player.timing-source", "sample");
    sequencer->synth = new_fluid_synth(sequencer->settings);
    if (!sequencer->synth) {
        return nullptr;
    }
    bool loaded = false;
    for (const std::string& path : MidiSoundFontCandidates()) {
        LoadSamplesOnThisThread();
        if (::access(path.c_str(), R_OK) == 0 &&
            fluid_synth_sfload(sequencer->synth, path.c_str(), 1) != FLUID_FAILED) {
            loaded = true;
            break;
        }
    }
    if (!loaded) {
        result = MidiOpenResult::NoSoundFont;
        return nullptr;
    }
    if (!sequencer->Rewind()) {
        return nullptr;
    }
    DeviceLock lock(*device);
    AttachGeneratorLocked(*device, sequencer.get());
    result = MidiOpenResult::Opened;
    return sequencer.release();
}

int PlayMidiSequencer(MidiSequencer* sequencer, bool fromStart) {
    if (!sequencer) {
        return -1;
    }
    DeviceLock lock(*sequencer->device);
    if (fromStart && !sequencer->Rewind()) {
        return -1;
    }
    if (fluid_player_play(sequencer->player) != FLUID_OK) {
        return -1;
    }
    sequencer->playing = true;
    return 0;
}

bool TakeMidiCompletion(MidiSequencer* sequencer) {
    if (!sequencer) {
        return false;
    }
    int pending = sequencer->completions.load();
    while (pending > 0) {
        if (sequencer->completions.compare_exchange_weak(pending, pending - 1)) {
            return true;
        }
    }
    return false;
}

void CloseMidiSequencer(MidiSequencer* sequencer) {
    if (!sequencer) {
        return;
    }
    {
        DeviceLock lock(*sequencer->device);
        DetachGeneratorLocked(*sequencer->device, sequencer);
    }
    delete sequencer;
}

} // namespace velox::platform
