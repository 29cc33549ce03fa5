// The player's process entry: set-up, load "story.txt", run, closing screen,
// wait for Escape or Space, shutdown.
#pragma once

#include "CommandLine.h"

#include <string>

namespace velox::player {

struct PlayerOutcome {
    int exitCode = 0;  // what the process returns
    int runResult = 0; // the execution loop's result
    int reportedLine = 0;
    uint64_t frames = 0; // pictures presented (headless)
    uint64_t timeUs = 0; // virtual time at exit (headless)
};

// Runs the whole show with the given options (already parsed).
PlayerOutcome PlayStory(const PlayerOptions& options);
// The headless result line: "result=R line=L frames=F time_us=T".
std::string ResultLine(const PlayerOutcome& outcome);

const char* Version();

} // namespace velox::player
