// The player's command line. With no arguments the player does exactly what
// its entry always did: full screen, "story.txt" in the current directory, no log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velox::player {

struct ScriptedKey {
    int keyCode;
    uint64_t downMs; // virtual milliseconds, down from downMs until upMs
    uint64_t upMs;
};

struct PlayerOptions {
    std::string directory; // change to it first; empty: stay
    bool windowed = false;
    bool log = false;
    bool headless = false;
    bool check = false;
    bool trace = false;     // each line run goes to standard error
    uint64_t startLine = 0; // lines before it run at once; 0: from the start
    bool watch = false;     // a saved story.txt is played again from its first changed line
    bool help = false;
    bool version = false;
    std::vector<ScriptedKey> keys;
    std::string dumpFramesDir;
    std::string audioOut;
    uint64_t maxMs = 600000;
    std::string soundFont;
    std::string recordFile; // --record: the show as a video file; empty records nothing
    int recordQuality = 18; // --record-quality: 0 (best) .. 51 (smallest)
    bool force = false;     // --force: a used dump folder or record file is overwritten
};

// False with a message in error when the arguments cannot be understood.
bool ParseCommandLine(const std::vector<std::string>& args, PlayerOptions& out, std::string& error);
std::string UsageText();

// Makes every relative path in the options absolute from the current (start) folder and
// checks, before anything starts, that each can be used: the SoundFont read, the frame
// folder made and written, the sound file written. False with one line saying which and why.
bool PrepareOptionPaths(PlayerOptions& options, std::string& problem);

} // namespace velox::player
