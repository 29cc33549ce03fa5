// The sound and music commands and the music fade.
#include "Scene.h"
#include "Script.h"

#include <velox/velox.h>

#include <algorithm>
#include <cmath>

namespace velox::player {
namespace {

int32_t Arg(int i) {
    return Script().args[i];
}
bool SlotInRange(int32_t slot) {
    return slot >= 0 && slot < kSlots;
}

} // namespace

int LoadSoundCommand(int) {
    SceneState& s = Scene();
    int32_t slot = Arg(0);
    if (uint32_t(slot) > 9) {
        return -1;
    }
    if (s.sounds[slot] != 0) {
        DeleteSound(s.sounds[slot]);
    }
    int32_t handle = LoadSound(Script().strings[1], 3, -1);
    if (handle == -1) {
        s.sounds[slot] = 0;
        return -2;
    }
    s.sounds[slot] = handle;
    return 0;
}

int PlaySoundCommand(int) {
    SceneState& s = Scene();
    if (!SlotInRange(Arg(0)) || s.sounds[Arg(0)] == 0) {
        return -1;
    }
    int32_t sound = s.sounds[Arg(0)];
    if (SetSoundVolume(Arg(1), sound) == -1) {
        return -10;
    }
    return PlaySoundHandle(sound, 1, 1) == -1 ? -10 : 0;
}

int StopSoundCommand(int) {
    SceneState& s = Scene();
    if (!SlotInRange(Arg(0))) {
        return -1;
    }
    int32_t sound = s.sounds[Arg(0)];
    if (IsSoundPlaying(sound) != 1) {
        return 0;
    }
    return StopSoundHandle(sound) == -1 ? -1 : 0;
}

int PlayMusic(int) {
    Scene().musicVolume = Arg(0);
    if (SetMusicVolume(Arg(0)) == -1) {
        return -10;
    }
    if (PlayMusicFile(Script().strings[1], Arg(1) == 1 ? 3 : 1) == -1) {
        return -10;
    }
    // New music starts at full volume: the volume set before reached only the music
    // it replaced, so it is set again for the music the script asked it for.
    SetMusicVolume(Arg(0));
    return 0;
}

int StopMusic(int) {
    if (IsMusicPlaying() != 1) {
        return 0;
    }
    return StopMusicPlayback() == -1 ? 10 : 0;
}

int FadeMusic(int) {
    FadeStep();
    return 0;
}

bool FadeRunning() {
    return Scene().fadeRunning;
}

// One step of the music fade. The remembered volume follows the fade, so a
// second fade starts where the first one ended.
void FadeStep() {
    SceneState& s = Scene();
    if (!s.fadeRunning) {
        s.fadeStart = s.musicVolume;
        s.fadeTarget = Arg(0);
        s.fadeDuration = Arg(1);
        s.fadeStep = (s.fadeTarget - s.fadeStart) / (s.fadeDuration * 3.0);
        s.fadeRunning = true;
    }
    const int k = ++s.fadeFrames;
    if (IsMusicPlaying() != 1) {
        s.fadeRunning = false;
        s.fadeFrames = 0;
        return;
    }
    double raw = std::trunc(k * s.fadeStep + s.fadeStart + 0.5);
    int32_t v = std::isfinite(raw) ? int32_t(std::clamp(raw, 0.0, 255.0)) : s.fadeTarget;
    if (k >= int64_t(s.fadeDuration * 3.0 + 0.5)) {
        v = s.fadeTarget;
        s.fadeRunning = false;
        s.fadeFrames = 0;
    }
    s.musicVolume = v;
    SetMusicVolume(v);
}

int RunCommand(int32_t code, int continuation) {
    switch (code) {
    case kDrawBackImage:
        return DrawBackImage(continuation);
    case kShowImage:
        return ShowImage(continuation);
    case kPlayMusic:
        return PlayMusic(continuation);
    case kPlaySound:
        return PlaySoundCommand(continuation);
    case kLoadImage:
        return LoadImage(continuation);
    case kLoadSound:
        return LoadSoundCommand(continuation);
    case kWait:
        return Wait(continuation);
    case kMoveImage:
        return MoveImage(continuation);
    case kDeleteBg:
        return DeleteBg(continuation);
    case kAttachBg:
        return AttachBg(continuation);
    case kStopMusic:
        return StopMusic(continuation);
    case kStopSound:
        return StopSoundCommand(continuation);
    case kFadeMusic:
        return FadeMusic(continuation);
    default:
        return 0;
    }
}

} // namespace velox::player
