// velox-player: plays story.txt. See UsageText() for the options.
#include "CommandLine.h"
#include "Player.h"
#include "ScriptCheck.h"
#include "StopSignals.h"

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Prints one line per finding and a summary; 1 when there is an error.
int CheckCommand(const velox::player::PlayerOptions& options) {
    using namespace velox::player;
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) {
        std::fprintf(stderr, "velox-player: cannot enter %s\n", options.directory.c_str());
        return 1;
    }
    return ReportStoryCheck();
}

} // namespace

int main(int argc, char** argv) {
    using namespace velox::player;
    std::vector<std::string> args(argv + 1, argv + argc);
    PlayerOptions options;
    std::string error;
    if (!ParseCommandLine(args, options, error)) {
        std::fprintf(stderr, "velox-player: %s\nTry 'velox-player --help'\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("velox-player %s\n", Version());
        return 0;
    }
    if (options.check) {
        return CheckCommand(options);
    }
    std::string problem;
    if (!PrepareOptionPaths(options, problem)) {
        std::fprintf(stderr, "velox-player: %s\n", problem.c_str());
        return kExitUsage;
    }
    InstallStopSignals();
    PlayerOutcome outcome = PlayStory(options);
    if (options.headless && outcome.started) {
        std::printf("%s\n", ResultLine(outcome).c_str());
    }
    return outcome.exitCode;
}
