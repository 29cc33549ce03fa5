// The player's scene: image and sound slots, the background, the current image
// and the running move, wait and music fade. Handles are 0 when empty.
#pragma once

#include <cstdint>

namespace velox::player {

constexpr int kSlots = 10;
constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;
// The single-precision value of pi/180, widened: degrees arguments become radians.
constexpr double kRadiansPerDegree = 0.01745329238474369;

struct ImagePlacement {
    double scale;
    double angle;
    int32_t x, y;
    int32_t centerX, centerY;
    int32_t brightness;
    int32_t alpha;
};

struct SceneState {
    int32_t images[kSlots];
    int32_t sounds[kSlots];
    int32_t background;
    int32_t currentHandle;
    int32_t currentTransparent;
    ImagePlacement current;
    ImagePlacement moveStart;
    int32_t moveFrames;
    int32_t waitFrames;
    int32_t musicVolume; // start volume of the next fade
    bool fadeRunning;
    int32_t fadeFrames;
    int32_t fadeStart, fadeTarget, fadeDuration;
    double fadeStep;
};

SceneState& Scene();
void ResetScene();

// Runs command `code` for one frame; the continuation is 0 in a record's first
// frame and 1 after. Returns 1 (again), 0 or 10 (done) or a negative run result.
int RunCommand(int32_t code, int continuation);
bool FadeRunning();
void FadeStep();

// Three frames per unit of a wait or move duration, saturated to the 32-bit range so
// that a huge duration runs (almost) forever instead of overflowing.
int32_t FramesFor(int32_t duration);

// Commands, one per script word.
int ShowImage(int continuation);
int DrawBackImage(int continuation);
int MoveImage(int continuation);
int LoadImage(int continuation);
int AttachBg(int continuation);
int DeleteBg(int continuation);
int Wait(int continuation);
int LoadSoundCommand(int continuation);
int PlaySoundCommand(int continuation);
int StopSoundCommand(int continuation);
int PlayMusic(int continuation);
int StopMusic(int continuation);
int FadeMusic(int continuation);

} // namespace velox::player
