// Runs the real velox-player program for end-to-end tests.
#pragma once

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <string>

namespace velox::player {

struct ProgramRun {
    int exitCode;
    std::string output; // standard output and standard error together
};

// Runs velox-player in dir with its own runtime directory (for the instance lock).
inline ProgramRun RunPlayer(const test::TempDir& dir, const std::string& arguments,
                            const std::string& environment = "") {
    std::string command = "cd '" + dir.path() + "' && XDG_RUNTIME_DIR='" + dir.path() + "' " +
                          environment + " '" VELOX_PLAYER_BINARY "' " + arguments + " 2>&1";
    ProgramRun run{-1, ""};
    run.exitCode = test::RunShell(command, &run.output);
    return run;
}

// A number of the result line, e.g. Field(output, "frames").
inline unsigned long long Field(const std::string& output, const std::string& name) {
    size_t at = output.find(name + "=");
    return at == std::string::npos ? ~0ull : std::stoull(output.substr(at + name.size() + 1));
}

} // namespace velox::player
