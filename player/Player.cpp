#include "Player.h"

#include "RunLoop.h"
#include "Scene.h"
#include "Screenshot.h"
#include "Script.h"
#include "platform/Backend.h"
#include "platform/Presentation.h"
#include "platform/SoundMixer.h"
#include "platform/TextCodec.h"
#include "platform/headless/Headless.h"

#include <velox/velox.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
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
        ScreenshotKeys(keys);
        if (keys[kKeyEscape] || keys[kKeySpace]) {
            return;
        }
        if (options.headless && HeadlessUserKeysOver(options)) {
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

// Paths given on the command line name files from where the player was started,
// not from the story's folder it changes to.
std::string FromStartFolder(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

// Headless, the mixer follows the virtual clock and may capture everything it plays;
// the SoundFont applies to both backends. False when the capture file cannot be made.
bool SetUpSound(const PlayerOptions& options, const std::string& audioOut) {
    platform::SoundDeviceOptions sound;
    if (options.headless) {
        sound.output = platform::SoundOutput::Headless;
        sound.capturePath = audioOut;
        if (!audioOut.empty()) {
            std::FILE* probe = std::fopen(audioOut.c_str(), "wb");
            if (!probe) {
                return false;
            }
            std::fclose(probe);
        }
    }
    platform::SetDefaultSoundDeviceOptions(sound);
    SetMidiSoundFont(options.soundFont.c_str());
    return true;
}

// The record after the last line of the file (the end record the loader appends).
int32_t gTraceEndRecord = 0;
int32_t gTraceLastIndex = 0;

// "story.txt:12: wait 10  [frame 42, 1.400 s]" for each line the loop begins.
void TraceLine(int32_t index) {
    const ScriptLine& record = Script().lines[index];
    if (index == gTraceLastIndex || index >= gTraceEndRecord || record.text[0] == '\0') {
        return; // an END that waits for a fade is run again every frame: said once
    }
    gTraceLastIndex = index;
    const uint64_t us = GetMicroCount(0) - Loop().startTime;
    std::fprintf(stderr, "story.txt:%d: %s  [frame %llu, %llu.%03llu s]\n", index,
                 platform::ShiftJisToUtf8(record.text).c_str(),
                 static_cast<unsigned long long>(Loop().frames),
                 static_cast<unsigned long long>(us / 1000000),
                 static_cast<unsigned long long>(us / 1000 % 1000));
}

void InstallTrace() {
    gTraceLastIndex = 0;
    gTraceEndRecord = kScriptRecords;
    for (int32_t i = 1; i < kScriptRecords; ++i) {
        if (std::strcmp(Script().lines[i].text, "END") == 0) {
            gTraceEndRecord = i;
        }
    }
    Loop().lineObserver = TraceLine;
}

} // namespace

PlayerOutcome PlayStory(const PlayerOptions& options) {
    PlayerOutcome outcome;
    const std::string audioOut = FromStartFolder(options.audioOut);
    PlayerOptions resolved = options;
    resolved.soundFont = FromStartFolder(options.soundFont);
    if (!SetUpSound(resolved, audioOut)) {
        std::fprintf(stderr, "velox-player: cannot write sound to %s\n", audioOut.c_str());
        outcome.exitCode = -1;
        return outcome;
    }
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) {
        std::fprintf(stderr, "velox-player: cannot enter %s\n", options.directory.c_str());
        outcome.exitCode = -1;
        return outcome;
    }
    if (!SelectBackendFor(options)) {
        std::fprintf(stderr, "velox-player: cannot write frames to %s\n",
                     options.dumpFramesDir.c_str());
        outcome.exitCode = -1;
        return outcome;
    }
    ResetScript();
    ResetScene();
    ResetLoop();

    ChangeWindowMode(options.windowed ? 1 : 0);
    if (SetScreenMode(kScreenWidth, kScreenHeight, 32, 60) == -1) {
        outcome.exitCode = -1;
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
        outcome.exitCode = -1;
        return outcome;
    }
    SetDrawTarget(kDrawBackBuffer);
    SetDrawFilter(1);
    ClearScreen();

    int runResult = 0;
    int32_t file = FileOpenRead("story.txt", 0);
    if (file != 0 && LoadScript(file) == 1) {
        if (options.trace) {
            InstallTrace();
        }
        // Beyond the table every line is before the start: the whole story warps.
        Loop().startLine = int32_t(std::min<uint64_t>(options.startLine, kScriptRecords));
        runResult = RunScript();
    } else {
        PrintText(10, 250, Sjis("プログラムファイルが読み込めません").c_str(),
                  GetColorValue(255, 255, 255), 0);
        FlipScreen();
    }
    if (runResult < 0) {
        ClearScreen();
        uint32_t white = GetColorValue(255, 255, 255);
        if (const char* message = ClosingMessageUtf8(runResult)) {
            PrintText(10, 250, Sjis(message).c_str(), white, 0);
        }
        PrintTextFormat(10, 300, white, "Line To %d \n", Loop().reportedLine);
        FlipScreen();
    }
    WaitForEscapeOrSpace(options);

    outcome.runResult = runResult;
    outcome.reportedLine = Loop().reportedLine;
    outcome.frames = platform::Presentation().PresentedFrames();
    ShutdownRuntime();
    if (options.headless) {
        outcome.timeUs = platform::headless::Clock().PeekNanos() / 1000;
    }
    return outcome;
}

std::string ResultLine(const PlayerOutcome& o) {
    char line[128];
    std::snprintf(line, sizeof line, "result=%d line=%d frames=%llu time_us=%llu", o.runResult,
                  o.reportedLine, static_cast<unsigned long long>(o.frames),
                  static_cast<unsigned long long>(o.timeUs));
    return line;
}

} // namespace velox::player
