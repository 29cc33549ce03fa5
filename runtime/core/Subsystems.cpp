#include "core/Subsystems.h"

#include "file/ArchiveHook.h"
#include "sound/SoundState.h"

namespace velox {
namespace {

// The layers this library holds, wired in one place so that the order of
// start-up and shutdown is visible here and no static initialiser is needed.
SubsystemHooks MakeHooks() {
    SubsystemHooks hooks;
    hooks.clearArchives = ResetArchiveLayer;
    hooks.endArchives = EndArchiveLayer;
    hooks.startSound = StartSoundSystem;
    hooks.stopMusic = StopMusicForShutdown;
    hooks.endSound = EndSoundSystem;
    hooks.soundStreamingService = SoundStreamingService;
    hooks.musicService = MusicService;
    return hooks;
}

} // namespace

SubsystemHooks& Subsystems() {
    static SubsystemHooks hooks = MakeHooks();
    return hooks;
}

} // namespace velox
