#include "core/Subsystems.h"

#include "archive/ArchiveHook.h"
#include "graphics/GraphicRecord.h"
#include "graphics/Screen.h"
#include "sound/SoundState.h"

namespace velox {
namespace {

// The layers this library holds, wired in one place so that the order of
// start-up and shutdown is visible here and no static initialiser is needed.
SubsystemHooks MakeHooks() {
    SubsystemHooks hooks;
    hooks.clearArchives = ResetArchiveLayer;
    hooks.endArchives = EndArchiveLayer;
    hooks.registerDefaultRestore = graphic::RegisterDefaultRestore;
    hooks.startSound = StartSoundSystem;
    hooks.stopMusic = StopMusicForShutdown;
    hooks.endSound = EndSoundSystem;
    hooks.soundStreamingService = SoundStreamingService;
    hooks.musicService = MusicService;
    hooks.screenMode = screen_hooks::ScreenMode;
    hooks.startGraphics = StartGraphicsLayer;
    hooks.endGraphics = EndGraphicsLayer;
    hooks.enableRetraceWait = screen_hooks::EnableRetraceWait;
    hooks.setDrawTarget = SetDrawTargetInner;
    hooks.applyScreenMode = screen_hooks::ApplyScreenMode;
    hooks.canDrawWhileInactive = screen_hooks::CanDrawWhileInactive;
    hooks.repaintSource = screen_hooks::RepaintSource;
    return hooks;
}

} // namespace

SubsystemHooks& Subsystems() {
    static SubsystemHooks hooks = MakeHooks();
    return hooks;
}

} // namespace velox
