#include "core/Subsystems.h"

#include "archive/ArchiveHook.h"
#include "graphics/GraphicRecord.h"
#include "graphics/Screen.h"
#include "sound/SoundState.h"

namespace velox::core {
namespace {

// The layers this library holds, wired in one place so that the order of
// start-up and shutdown is visible here and no static initialiser is needed.
SubsystemHooks MakeHooks() {
    SubsystemHooks hooks;
    hooks.clearArchives = archive::ResetArchiveLayer;
    hooks.endArchives = archive::EndArchiveLayer;
    hooks.registerDefaultRestore = graphic::RegisterDefaultRestore;
    hooks.startSound = sound::StartSoundSystem;
    hooks.stopMusic = sound::StopMusicForShutdown;
    hooks.endSound = sound::EndSoundSystem;
    hooks.soundStreamingService = sound::SoundStreamingService;
    hooks.musicService = sound::MusicService;
    hooks.screenMode = graphic::screen_hooks::ScreenMode;
    hooks.startGraphics = graphic::StartGraphicsLayer;
    hooks.endGraphics = graphic::EndGraphicsLayer;
    hooks.enableRetraceWait = graphic::screen_hooks::EnableRetraceWait;
    hooks.setDrawTarget = graphic::SetDrawTargetInner;
    hooks.applyScreenMode = graphic::screen_hooks::ApplyScreenMode;
    hooks.canDrawWhileInactive = graphic::screen_hooks::CanDrawWhileInactive;
    hooks.repaintSource = graphic::screen_hooks::RepaintSource;
    return hooks;
}

} // namespace

SubsystemHooks& Subsystems() {
    static SubsystemHooks hooks = MakeHooks();
    return hooks;
}

} // namespace velox::core
