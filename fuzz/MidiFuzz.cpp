// MIDI music as the music player takes it: the file check, then (for a file it
// passes) the synthesiser's file player over the data, played and rendered for a
// while on the sample clock. One synthesiser without a SoundFont serves every
// input: notes make no voices, but every event is parsed and dispatched.
#include "platform/MidiSequencer.h"
#include "platform/SoundMixer.h"

#include <fluidsynth.h>

#include <cstddef>
#include <cstdint>

namespace {

void Quiet(int, const char*, void*) {}

fluid_synth_t* Synth() {
    static fluid_synth_t* synth = [] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
            fluid_set_log_function(level, Quiet, nullptr);
        }
        fluid_settings_t* settings = new_fluid_settings();
        fluid_settings_setnum(settings, "synth.sample-rate",
                              double(velox::platform::kSoundDeviceRate));
        fluid_settings_setint(settings, "synth.lock-memory", 0);
        fluid_settings_setstr(settings, "player.timing-source", "sample");
        return new_fluid_synth(settings); // both live as long as the process
    }();
    return synth;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!velox::platform::IsStandardMidiFile(data, size)) {
        return 0;
    }
    fluid_synth_t* synth = Synth();
    fluid_synth_system_reset(synth);
    fluid_player_t* player = new_fluid_player(synth);
    if (fluid_player_add_mem(player, data, size) == FLUID_OK &&
        fluid_player_play(player) == FLUID_OK) {
        // A few seconds of sound, or until the player is done.
        static float left[1024];
        static float right[1024];
        for (int block = 0; block < 256 && fluid_player_get_status(player) == FLUID_PLAYER_PLAYING;
             ++block) {
            fluid_synth_write_float(synth, 1024, left, 0, 1, right, 0, 1);
        }
        fluid_player_stop(player);
    }
    delete_fluid_player(player);
    return 0;
}
