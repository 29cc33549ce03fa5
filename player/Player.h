// The player's process entry: set-up, load "story.txt", run, closing screen,
// wait for Escape or Space, shutdown.
#pragma once

#include "CommandLine.h"

#include <string>

namespace velox::player {

// Exit statuses, the same for windowed and headless shows; a stop signal N gives 128 + N.
constexpr int kExitEnded = 0;       // end of script, Escape, window closed
constexpr int kExitFailed = 1;      // an error screen, or story.txt could not be read
constexpr int kExitUsage = 2;       // the command line or an option's file is unusable
constexpr int kExitCannotStart = 3; // no display, another windowed copy, no window
constexpr int kExitCut = 124;       // --max-ms ended a headless show before its end

struct PlayerOutcome {
    int exitCode = 0;     // what the process returns
    bool started = false; // the runtime ran: a headless show has a result line
    bool cut = false;     // headless: --max-ms ended the show
    int runResult = 0;    // the execution loop's result
    int reportedLine = 0;
    uint64_t frames = 0; // pictures presented (headless)
    uint64_t timeUs = 0; // virtual time at exit (headless)
};

// Runs the whole show with the given options (already parsed, paths prepared).
PlayerOutcome PlayStory(const PlayerOptions& options);
// The headless result line: "result=R line=L frames=F time_us=T", then " cut=1" when cut.
std::string ResultLine(const PlayerOutcome& outcome);

const char* Version();

} // namespace velox::player
