#include "Watch.h"

#include "RunLoop.h"
#include "Scene.h"
#include "Script.h"
#include "ScriptCheck.h"
#include "Warp.h"

#include <velox/velox.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace velox::player {
namespace {

// An editor that truncates and then writes, or writes in several pieces, shows a half
// saved file for a moment: a new look at the file is taken only once it has kept the
// same size and times for this long.
constexpr auto kSettleTime = std::chrono::milliseconds(100);

// What stat says of story.txt. A save by renaming a new file over the old one changes
// the inode even when size and times happen to match.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;

    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOfStory() {
    FileStamp stamp;
    struct stat st {};
    if (::stat("story.txt", &st) != 0 || !S_ISREG(st.st_mode)) {
        return stamp;
    }
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changedNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

// FNV-1a: only tells a new text from the one last judged, no adversary involved.
uint64_t HashOfStory(bool& readable) {
    std::ifstream in("story.txt", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    readable = bool(in) || in.eof();
    uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : bytes) {
        hash = (hash ^ uint8_t(c)) * 0x100000001b3ull;
    }
    return hash;
}

struct WatchState {
    FileStamp judged; // the file as last read (accepted or refused)
    uint64_t judgedHash = 0;
    FileStamp settling; // a different stamp seen since settlingSince
    std::chrono::steady_clock::time_point settlingSince;
    int32_t restartLine = 0;
    std::unique_ptr<ScriptState> previous; // the story playing while a new one is checked
};
WatchState gWatch;

// The first record whose text differs, or 0 when both tables hold the same lines.
int32_t FirstChangedRecord(const ScriptState& before, const ScriptState& after) {
    for (int32_t i = 1; i < kScriptRecords; ++i) {
        if (std::strcmp(before.lines[i].text, after.lines[i].text) != 0) {
            return i;
        }
    }
    return 0;
}

} // namespace

void BeginWatching() {
    bool readable = false;
    gWatch.judged = StampOfStory();
    gWatch.judgedHash = HashOfStory(readable);
    gWatch.settling = gWatch.judged;
    gWatch.restartLine = 0;
    if (!gWatch.previous) {
        gWatch.previous = std::make_unique<ScriptState>();
    }
}

StoryChange LookAtStory(int32_t current, bool over) {
    const FileStamp stamp = StampOfStory();
    const auto now = std::chrono::steady_clock::now();
    if (stamp == gWatch.judged || !stamp.exists) {
        gWatch.settling = gWatch.judged;
        return StoryChange::None; // a file renamed away is looked at again when it is back
    }
    if (!(stamp == gWatch.settling)) {
        gWatch.settling = stamp;
        gWatch.settlingSince = now;
        return StoryChange::None;
    }
    if (now - gWatch.settlingSince < kSettleTime) {
        return StoryChange::None;
    }
    bool readable = false;
    const uint64_t hash = HashOfStory(readable);
    if (!readable) {
        return StoryChange::None; // not judged: looked at again at the next change
    }
    gWatch.judged = stamp;
    if (hash == gWatch.judgedHash) {
        return StoryChange::None; // saved again unchanged, or touched
    }
    gWatch.judgedHash = hash;

    // The checker loads the new text into the script table; the story playing is kept
    // aside until the new one has passed.
    ScriptState& script = Script();
    *gWatch.previous = script;
    const std::vector<Finding> findings = CheckStory();
    // Decoding every file the story loads takes its time: no lateness to make up.
    Loop().timeline.Reanchor();
    for (const Finding& finding : findings) {
        if (!finding.warning) {
            std::fprintf(stderr,
                         "%s\nvelox-player: story.txt not reloaded; still playing the "
                         "text loaded before\n",
                         FormatFinding(finding).c_str());
            script = *gWatch.previous;
            return StoryChange::None;
        }
    }
    const int32_t first = FirstChangedRecord(*gWatch.previous, script);
    if (first == 0) {
        script = *gWatch.previous;
        return StoryChange::None;
    }
    if (!over && first > current) {
        // The line running and those before it are unchanged; its arguments, which the
        // checker's tokenizing overwrote, are those it was started with.
        std::memcpy(gWatch.previous->lines, script.lines, sizeof script.lines);
        script = *gWatch.previous;
        std::fprintf(stderr,
                     "velox-player: story.txt changed from line %d on; the show goes on "
                     "with it\n",
                     first);
        return StoryChange::Continued;
    }
    // A fresh load leaves the arguments as tokenizing the last line set them.
    std::memcpy(gWatch.previous->lines, script.lines, sizeof script.lines);
    ResetScript();
    std::memcpy(script.lines, gWatch.previous->lines, sizeof script.lines);
    const int32_t end = EndRecordOf(script);
    if (end > 1 && end < kScriptRecords) {
        ClassifyCommand(script.lines[end - 1].text);
    }
    gWatch.restartLine = first;
    std::fprintf(stderr,
                 "velox-player: story.txt changed from line %d on; playing again from "
                 "there\n",
                 first);
    return StoryChange::Restart;
}

int32_t RestartLine() {
    return gWatch.restartLine;
}

void ResetShowForRestart() {
    SceneState& scene = Scene();
    for (int slot = 0; slot < kSlots; ++slot) {
        if (scene.images[slot] != 0) {
            DeleteGraphic(scene.images[slot], 0);
        }
        if (scene.sounds[slot] != 0) {
            DeleteSound(scene.sounds[slot]);
        }
    }
    // A captured background belongs to no slot (slot 0's picture may be it).
    if (scene.background != 0 && scene.background != scene.images[0]) {
        DeleteGraphic(scene.background, 0);
    }
    StopMusicPlayback();
    ResetScene();

    LoopState& loop = Loop();
    if (loop.pauseGraphic != 0) {
        DeleteGraphic(loop.pauseGraphic, 0);
    }
    auto frameObserver = loop.frameObserver;
    auto lineObserver = loop.lineObserver;
    auto reloadCheck = loop.reloadCheck;
    ResetLoop();
    loop.frameObserver = frameObserver;
    loop.lineObserver = lineObserver;
    loop.reloadCheck = reloadCheck;
    loop.startLine = gWatch.restartLine;

    // The pause sign leaves the large default font behind it.
    SetDefaultFontSize(-1);
    SetDrawTarget(kDrawBackBuffer);
    UseDefaultDrawState();
    ClearScreen();
    // An attachbg before the first frame captures the visible picture: the old show's
    // last one must not be found there.
    ClearVisiblePicture();
}

} // namespace velox::player
