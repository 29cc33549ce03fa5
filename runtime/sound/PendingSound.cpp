// Sound and music operations that are not built yet: each logs that it is not
// available and gives its failure value. Removed as the sound layer lands.
#include "core/EntryGate.h"
#include "core/Log.h"

#include <velox/velox.h>

namespace velox {
namespace {
int NotYet(const char* name) {
    GateScope gate;
    return LogWriteFormat("%s is not available yet", name);
}
} // namespace

int LoadSound(const char*, int, int) {
    return NotYet("LoadSound");
}
int DeleteSound(int) {
    return NotYet("DeleteSound");
}
int SetSoundVolume(int, int) {
    return NotYet("SetSoundVolume");
}
int PlaySoundHandle(int, int, int) {
    return NotYet("PlaySoundHandle");
}
int IsSoundPlaying(int) {
    return NotYet("IsSoundPlaying");
}
int StopSoundHandle(int) {
    return NotYet("StopSoundHandle");
}
int PlayMusicFile(const char*, int) {
    return NotYet("PlayMusicFile");
}
int SetMusicVolume(int) {
    return NotYet("SetMusicVolume");
}
int IsMusicPlaying() {
    NotYet("IsMusicPlaying");
    return 0;
}
int StopMusicPlayback() {
    NotYet("StopMusicPlayback");
    return 0;
}

} // namespace velox
