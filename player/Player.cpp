#include "Player.h"

#include "FailureText.h"
#include "RunLoop.h"
#include "Scene.h"
#include "Script.h"
#include "StopSignals.h"
#include "platform/Backend.h"
#include "platform/Presentation.h"
#include "platform/SoundMixer.h"
#include "platform/TextCodec.h"
#include "platform/headless/Headless.h"

#include <velox/velox.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace velox::player {
namespace {

constexpr int kKeyEscape = 1;
constexpr int kKeySpace = 57;

// The player's own texts are Shift-JIS like everything it hands the runtime.
const std::string& Sjis(const char* utf8) {
    static thread_local std::string converted;
    converted = platform::Utf8ToShiftJis(utf8);
    return converted;
}

// The message of the closing screen for a run result, or nullptr for none.
const char* ClosingMessageUtf8(int runResult) {
    switch (runResult) {
    case -1:
        return "IDが不正です。";
    case -2:
        return "ファイルは読み込めませんでした";
    case -10:
        return "何らかのえらーが発生しました";
    default:
        return nullptr;
    }
}

bool HeadlessUserKeysOver(const PlayerOptions& options) {
    uint64_t nowMs = platform::headless::Clock().PeekNanos() / 1000000;
    for (const ScriptedKey& key : options.keys) {
        if (key.upMs > nowMs) {
            return false;
        }
    }
    return true;
}

// After the show the last picture stays until Escape or Space. Headless, the
// wait ends by itself once no scripted key is left to come.
void WaitForEscapeOrSpace(const PlayerOptions& options) {
    char keys[256];
    for (;;) {
        GetAllKeyState(keys);
        if (keys[kKeyEscape] || keys[kKeySpace]) {
            return;
        }
        if (options.headless && HeadlessUserKeysOver(options)) {
            return;
        }
        if (StopSignal() != 0) {
            return;
        }
        if (ProcessMessage() == -1 && !options.headless) {
            return; // the window is gone: nobody is left to press a key
        }
        SleepMicros(1000);
    }
}

bool SelectBackendFor(const PlayerOptions& options) {
    platform::BackendOptions backend;
    backend.kind = options.headless ? platform::BackendKind::Headless : platform::BackendKind::Sdl;
    if (options.headless) {
        backend.frameDumpDirectory = options.dumpFramesDir;
        // Renders run side by side and beside a windowed show; only windows are guarded.
        backend.withoutInstanceLock = true;
        // The backend counts 32-bit milliseconds; later times saturate rather than wrap.
        auto ms = [](uint64_t t) { return uint32_t(std::min<uint64_t>(t, UINT32_MAX)); };
        for (const ScriptedKey& key : options.keys) {
            backend.keys.push_back({key.keyCode, ms(key.downMs), ms(key.upMs)});
        }
        // From --max-ms on Escape is held, so that every headless run ends.
        backend.keys.push_back({kKeyEscape, ms(options.maxMs), UINT32_MAX});
    }
    return platform::SelectBackend(backend);
}

// Headless, the mixer follows the virtual clock and may capture everything it plays;
// the SoundFont applies to both backends. The paths were checked before the start.
void SetUpSound(const PlayerOptions& options) {
    platform::SoundDeviceOptions sound;
    if (options.headless) {
        sound.output = platform::SoundOutput::Headless;
        sound.capturePath = options.audioOut;
    }
    platform::SetDefaultSoundDeviceOptions(sound);
    SetMidiSoundFont(options.soundFont.c_str());
}

// Why story.txt could not be opened.
std::string StoryOpenProblem() {
    struct stat st {};
    if (::stat("story.txt", &st) != 0) {
        return errno == ENOENT ? "no such file" : std::strerror(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return "is a folder";
    }
    return ::access("story.txt", R_OK) != 0 ? std::strerror(errno) : "cannot be opened";
}

// Headless, a show is cut when the Escape that ended it is the one --max-ms holds, not
// one the command line scripted.
bool CutByMaxMs(const PlayerOptions& options) {
    if (!options.headless || Loop().endedBy != LoopEnd::Escape) {
        return false;
    }
    const uint64_t nowMs = platform::headless::Clock().PeekNanos() / 1000000;
    if (nowMs < options.maxMs) {
        return false;
    }
    for (const ScriptedKey& key : options.keys) {
        if (key.keyCode == kKeyEscape && key.downMs <= nowMs && nowMs < key.upMs) {
            return false;
        }
    }
    return true;
}

} // namespace

PlayerOutcome PlayStory(const PlayerOptions& options) {
    PlayerOutcome outcome;
    SetUpSound(options);
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) {
        std::fprintf(stderr, "velox-player: cannot enter %s: %s\n", options.directory.c_str(),
                     std::strerror(errno));
        outcome.exitCode = kExitFailed;
        return outcome;
    }
    if (!SelectBackendFor(options)) {
        std::fprintf(stderr, "velox-player: --dump-frames %s: cannot write frames there\n",
                     options.dumpFramesDir.c_str());
        outcome.exitCode = kExitUsage;
        return outcome;
    }
    ResetScript();
    ResetScene();
    ResetLoop();

    ChangeWindowMode(options.windowed ? 1 : 0);
    if (SetScreenMode(kScreenWidth, kScreenHeight, 32, 60) == -1) {
        std::fprintf(stderr, "velox-player: the 800 x 600 screen cannot be set\n");
        outcome.exitCode = kExitCannotStart;
        return outcome;
    }
    SetLogOutput(options.log ? 1 : 0);
    if (StartRuntime() == -1) {
        if (!options.headless && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
            std::fprintf(stderr, "velox-player: no display found; --headless renders without "
                                 "one\n");
        } else {
            std::fprintf(stderr, "velox-player: the runtime could not start (is another copy "
                                 "running?); --log writes the reason to Log.txt\n");
        }
        outcome.exitCode = kExitCannotStart;
        return outcome;
    }
    // The window system may have put its own handlers in place while starting.
    InstallStopSignals();
    outcome.started = true;
    SetDrawTarget(kDrawBackBuffer);
    SetDrawFilter(1);
    ClearScreen();

    int runResult = 0;
    bool storyRead = false;
    int32_t file = FileOpenRead("story.txt", 0);
    if (file == 0) {
        std::fprintf(stderr, "velox-player: story.txt: %s\n", StoryOpenProblem().c_str());
    } else if (LoadScript(file) != 1) {
        std::fprintf(stderr,
                     "velox-player: story.txt: cannot be read whole (more than %d lines, "
                     "or a read failed)\n",
                     kMaxLines);
    } else {
        storyRead = true;
        runResult = RunScript();
    }
    if (!storyRead) {
        UseDefaultDrawState();
        PrintText(10, 250, Sjis("プログラムファイルが読み込めません").c_str(),
                  GetColorValue(255, 255, 255), 0);
        FlipScreen();
    }
    outcome.cut = CutByMaxMs(options);
    if (runResult < 0) {
        std::fprintf(stderr, "velox-player: %s\n",
                     DescribeRunFailure(runResult, Loop().reportedLine).c_str());
        UseDefaultDrawState();
        ClearScreen();
        uint32_t white = GetColorValue(255, 255, 255);
        if (const char* message = ClosingMessageUtf8(runResult)) {
            PrintText(10, 250, Sjis(message).c_str(), white, 0);
        }
        PrintTextFormat(10, 300, white, "Line To %d \n", Loop().reportedLine);
        FlipScreen();
    }
    if (Loop().endedBy != LoopEnd::WindowClosed) {
        WaitForEscapeOrSpace(options);
    }

    outcome.runResult = runResult;
    outcome.reportedLine = Loop().reportedLine;
    outcome.frames = platform::Presentation().PresentedFrames();
    ShutdownRuntime();
    if (options.headless) {
        outcome.timeUs = platform::headless::Clock().PeekNanos() / 1000;
    }
    if (StopSignal() != 0) {
        outcome.exitCode = 128 + StopSignal();
    } else if (!storyRead || runResult < 0) {
        outcome.exitCode = kExitFailed;
    } else if (outcome.cut) {
        outcome.exitCode = kExitCut;
    } else {
        outcome.exitCode = kExitEnded;
    }
    return outcome;
}

std::string ResultLine(const PlayerOutcome& o) {
    char line[128];
    std::snprintf(line, sizeof line, "result=%d line=%d frames=%llu time_us=%llu%s", o.runResult,
                  o.reportedLine, static_cast<unsigned long long>(o.frames),
                  static_cast<unsigned long long>(o.timeUs), o.cut ? " cut=1" : "");
    return line;
}

} // namespace velox::player
