#include "Player.h"

#include "FailureText.h"
#include "OutputFolders.h"
#include "RunLoop.h"
#include "Scene.h"
#include "Screenshot.h"
#include "Script.h"
#include "StopSignals.h"
#include "TextConversion.h"
#include "Watch.h"

#include <velox/authoring.h>
#include <velox/headless.h>
#include <velox/velox.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velox::player {
namespace {

constexpr int kKeyEscape = 1;
constexpr int kKeySpace = 57;

// The player's own texts are Shift-JIS like everything it hands the runtime.
const std::string& Sjis(const char* utf8) {
    static thread_local std::string converted;
    converted = ToShiftJis(utf8);
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
    uint64_t nowMs = GetHeadlessTime() / 1000;
    for (const ScriptedKey& key : options.keys) {
        if (key.upMs > nowMs) {
            return false;
        }
    }
    return true;
}

// After the show the last picture stays until Escape or Space. Headless, the
// wait ends by itself once no scripted key is left to come; under --watch it lasts
// until Escape (headless: --max-ms) and true says an edited story is to be played again.
bool WaitForEscapeOrSpace(const PlayerOptions& options) {
    char keys[256];
    for (;;) {
        GetAllKeyState(keys);
        ScreenshotKeys(keys);
        if (keys[kKeyEscape] || keys[kKeySpace]) {
            if (options.watch && keys[kKeyEscape]) {
                Loop().endedBy = LoopEnd::Escape; // --max-ms may have cut the watching
            }
            return false;
        }
        if (options.headless && !options.watch && HeadlessUserKeysOver(options)) {
            return false;
        }
        if (StopSignal() != 0) {
            return false;
        }
        if (ProcessMessage() == -1 && !options.headless) {
            return false; // the window is gone: nobody is left to press a key
        }
        if (options.watch && LookAtStory(Loop().current, true) == StoryChange::Restart) {
            return true;
        }
        SleepMicros(1000);
    }
}

// The failure on standard error and as the closing screen.
void ShowRunFailure(int runResult) {
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

// Headless, every service follows one choice: the frame folder, the mix written to
// --audio-out and the scripted keys. The paths were checked before the start.
bool SelectBackendFor(const PlayerOptions& options) {
    if (!options.headless) {
        return true; // the window backend serves unless headless is chosen
    }
    // The backend counts 32-bit milliseconds; later times saturate rather than wrap.
    auto ms = [](uint64_t t) { return uint32_t(std::min<uint64_t>(t, UINT32_MAX)); };
    std::vector<HeadlessKey> keys;
    for (const ScriptedKey& key : options.keys) {
        keys.push_back({key.keyCode, ms(key.downMs), ms(key.upMs)});
    }
    // From --max-ms on Escape is held, so that every headless run ends.
    keys.push_back({kKeyEscape, ms(options.maxMs), UINT32_MAX});
    HeadlessOptions headless;
    headless.frameFolder = options.dumpFramesDir.c_str();
    headless.soundCaptureFile = options.audioOut.c_str();
    headless.keys = keys.data();
    headless.keyCount = int(keys.size());
    return SelectHeadlessBackend(&headless) == 0;
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
    const uint64_t nowMs = GetHeadlessTime() / 1000;
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

// A headless render watched from a terminal shows one line that updates in place.
struct ProgressLine {
    bool shown = false;
    std::chrono::steady_clock::time_point last;
};
ProgressLine gProgress;

void PrintProgress(int line) {
    const uint64_t us = GetHeadlessTime();
    std::fprintf(stderr, "\rframe %llu  time %llu.%02llu s  line %d   ",
                 static_cast<unsigned long long>(GetPresentedFrameCount()),
                 static_cast<unsigned long long>(us / 1000000),
                 static_cast<unsigned long long>(us % 1000000 / 10000), line);
    gProgress.shown = true;
}

void ProgressObserver(uint64_t) {
    const auto now = std::chrono::steady_clock::now();
    if (!gProgress.shown || now - gProgress.last >= std::chrono::milliseconds(100)) {
        gProgress.last = now;
        PrintProgress(Loop().current);
    }
}

// A recording still open when a run gives up early is closed, so the file stays playable;
// when the show never started it holds nothing, and is removed so that the next try is
// not refused for it.
struct RecordingCloser {
    const PlayerOutcome& outcome;
    const std::string& path;
    ~RecordingCloser() {
        if (IsRecording()) {
            FinishRecording(nullptr, 0);
            if (!outcome.started) {
                std::remove(path.c_str());
            }
        }
    }
};

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
                 ToUtf8(record.text).c_str(), static_cast<unsigned long long>(Loop().frames),
                 static_cast<unsigned long long>(us / 1000000),
                 static_cast<unsigned long long>(us / 1000 % 1000));
}

void InstallTrace() {
    gTraceLastIndex = 0;
    gTraceEndRecord = EndRecordOf(Script());
    Loop().lineObserver = TraceLine;
}

bool ReloadCheck(int32_t current) {
    const StoryChange change = LookAtStory(current, false);
    if (change == StoryChange::Continued) {
        gTraceEndRecord = EndRecordOf(Script()); // lines added at the end are traced too
    }
    return change == StoryChange::Restart;
}

} // namespace

PlayerOutcome PlayStory(const PlayerOptions& options) {
    PlayerOutcome outcome;
    SetMidiSoundFont(options.soundFont.c_str());
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) {
        std::fprintf(stderr, "velox-player: cannot enter %s: %s\n", options.directory.c_str(),
                     std::strerror(errno));
        outcome.exitCode = kExitFailed;
        return outcome;
    }
    const std::string& recordFile = options.recordFile;
    std::string outputError;
    if (!PrepareOutputs(options.headless ? options.dumpFramesDir : "", recordFile, options.force,
                        outputError)) {
        std::fprintf(stderr, "velox-player: %s\n", outputError.c_str());
        outcome.exitCode = kExitUsage;
        return outcome;
    }
    if (!SelectBackendFor(options)) {
        std::fprintf(stderr, "velox-player: --dump-frames %s: cannot write frames there\n",
                     options.dumpFramesDir.c_str());
        outcome.exitCode = kExitUsage;
        return outcome;
    }
    RecordingCloser recordingCloser{outcome, recordFile};
    if (!recordFile.empty()) {
        char reason[512];
        if (StartRecording(recordFile.c_str(), options.recordQuality, kScreenWidth, kScreenHeight,
                           reason, sizeof reason) != 0) {
            std::fprintf(stderr, "velox-player: cannot record to %s: %s\n", recordFile.c_str(),
                         reason);
            outcome.exitCode = kExitUsage;
            return outcome;
        }
    }
    ResetScript();
    ResetScene();
    ResetLoop();
    gProgress = {};
    if (options.headless && ::isatty(STDERR_FILENO)) {
        Loop().frameObserver = ProgressObserver;
    }

    ChangeWindowMode(options.windowed ? 1 : 0);
    // F11 and Alt+Enter switch between the window and full screen.
    SetAllowModeSwitchKey(1);
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
        if (options.trace) {
            InstallTrace();
        }
        if (options.watch) {
            BeginWatching();
            Loop().reloadCheck = ReloadCheck;
        }
        // Beyond the table every line is before the start: the whole story warps.
        Loop().startLine = int32_t(std::min<uint64_t>(options.startLine, kScriptRecords));
    }
    for (bool again = storyRead; again;) {
        runResult = RunScript();
        if (runResult < 0) {
            ShowRunFailure(runResult);
        }
        if (options.watch && Loop().endedBy == LoopEnd::None) {
            std::fprintf(stderr, "velox-player: the show is over; still watching story.txt\n");
        }
        again = Loop().endedBy == LoopEnd::Reload ||
                (options.watch && Loop().endedBy == LoopEnd::None && WaitForEscapeOrSpace(options));
        if (again) {
            ResetShowForRestart();
            if (options.trace) {
                InstallTrace(); // the new story's end record, and its lines traced anew
            }
        }
    }
    if (!storyRead) {
        UseDefaultDrawState();
        PrintText(10, 250, Sjis("プログラムファイルが読み込めません").c_str(),
                  GetColorValue(255, 255, 255), 0);
        FlipScreen();
    }
    outcome.cut = CutByMaxMs(options);
    // Under --watch the wait after the show has already been (its Escape ended it).
    if (Loop().endedBy != LoopEnd::WindowClosed && !(options.watch && storyRead)) {
        WaitForEscapeOrSpace(options);
    }

    outcome.runResult = runResult;
    outcome.reportedLine = Loop().reportedLine;
    outcome.frames = GetPresentedFrameCount();
    ShutdownRuntime();
    if (options.headless) {
        outcome.timeUs = GetHeadlessTime();
        if (gProgress.shown) {
            PrintProgress(Loop().reportedLine);
            std::fputc('\n', stderr);
        }
    }
    // Both outputs end now: headless, at the virtual time the result line reports.
    bool outputsWritten = true;
    if (options.headless && FinishHeadlessFrames() != 0) {
        std::fprintf(stderr, "velox-player: some frames could not be written to %s\n",
                     options.dumpFramesDir.c_str());
        outputsWritten = false;
    }
    char reason[512];
    if (IsRecording() && FinishRecording(reason, sizeof reason) != 0) {
        std::fprintf(stderr, "velox-player: %s\n", reason);
        outputsWritten = false;
    }
    if (StopSignal() != 0) {
        outcome.exitCode = 128 + StopSignal();
    } else if (!storyRead || runResult < 0 || !outputsWritten) {
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
