// Public sound and music operations: each holds the entry gate around the inner one.
#include "core/EntryGate.h"
#include "sound/SoundState.h"

#include <velox/velox.h>

namespace velox {

int LoadSound(const char* path, int bufferCount, int sharedStream) {
    core::GateScope gate;
    return sound::LoadSoundInner(path, bufferCount, sharedStream);
}

int DeleteSound(int sound) {
    core::GateScope gate;
    // A ring owner left in place for its sharers has already been deleted for its caller.
    if (!sound::FindSound(sound)) {
        return -1;
    }
    return sound::DeleteSoundInner(sound);
}

int SetSoundVolume(int volume, int sound) {
    core::GateScope gate;
    return sound::SetSoundVolumeInner(volume, sound);
}

int PlaySoundHandle(int sound, int playType, int fromStart) {
    core::GateScope gate;
    return sound::PlaySoundInner(sound, playType, fromStart);
}

int IsSoundPlaying(int sound) {
    core::GateScope gate;
    return sound::IsSoundPlayingInner(sound);
}

int StopSoundHandle(int sound) {
    core::GateScope gate;
    return sound::StopSoundInner(sound);
}

int SetSoundLoadMode(int mode) {
    core::GateScope gate;
    return sound::SetSoundLoadModeInner(mode);
}

int PlayMusicFile(const char* path, int playType) {
    core::GateScope gate;
    return sound::PlayMusicFileInner(path, playType);
}

int SetMusicVolume(int volume) {
    core::GateScope gate;
    return sound::SetMusicVolumeInner(volume);
}

int IsMusicPlaying() {
    core::GateScope gate;
    return sound::IsMusicPlayingInner();
}

int StopMusicPlayback() {
    core::GateScope gate;
    return sound::StopMusicPlaybackInner();
}

int SetMidiSoundFont(const char* path) {
    core::GateScope gate;
    return sound::SetMidiSoundFontPath(path);
}

} // namespace velox
