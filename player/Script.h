// The loaded story: the script table, and the argument array and string table
// that tokenising a line fills.
#pragma once

#include <cstdint>

namespace velox::player {

constexpr int kScriptRecords = 1000;
constexpr int kLineBytes = 1024;
constexpr int kMaxLines = 998; // records 1..998; the end record follows the last line
constexpr int kIntArgs = 10;
constexpr int kStringEntries = 10; // entry 0: the command word; 1..9: string arguments
constexpr int kStringBytes = 255;
constexpr int kTokenBytes = 254;

enum CommandCode : int32_t {
    kNoCommand = 0,
    kDrawBackImage = 1,
    kShowImage = 2,
    kPlayMusic = 3,
    kPlaySound = 4,
    kLoadImage = 5,
    kLoadSound = 6,
    kWait = 7,
    kMoveImage = 8,
    kDeleteBg = 9,
    kAttachBg = 10,
    kStopMusic = 11,
    kStopSound = 12,
    kFadeMusic = 13,
};

struct ScriptLine {
    char text[kLineBytes];
    int32_t command;
};

struct ScriptState {
    ScriptLine lines[kScriptRecords];
    // Never cleared between lines: a line that fills fewer elements leaves the
    // rest as an earlier line set them.
    int32_t args[kIntArgs];
    char strings[kStringEntries][kStringBytes];
    // Arguments the last tokenised line carried, those beyond the limits included.
    int32_t lastIntCount;
    int32_t lastStringCount;
};

ScriptState& Script();
// Back to the state at process start (all zero); for tests and a second run.
void ResetScript();

void TokenizeLine(const char* text);
int32_t ClassifyCommand(const char* text);
// Reads the whole file into the table and closes it: 1, or -1 when a read fails
// or the file has more lines than the table holds.
int LoadScript(int32_t file);

// The record after the story's last line: the last "END" in the table, which the loader
// appends (a story may hold END lines of its own before it); kScriptRecords when none.
int32_t EndRecordOf(const ScriptState& script);

// The command word of a code, or nullptr outside 1..13.
const char* CommandWord(int32_t code);

} // namespace velox::player
