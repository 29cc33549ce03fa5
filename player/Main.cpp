// velox-player: plays story.txt. See UsageText() for the options.
#include "CommandLine.h"
#include "Player.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace velox::player;
    std::vector<std::string> args(argv + 1, argv + argc);
    PlayerOptions options;
    std::string error;
    if (!ParseCommandLine(args, options, error)) {
        std::fprintf(stderr, "velox-player: %s\n\n%s", error.c_str(), UsageText().c_str());
        return 2;
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
        std::fputs("velox-player: --check is not available in this build yet\n", stderr);
        return 2;
    }
    PlayerOutcome outcome = PlayStory(options);
    if (options.headless && outcome.exitCode == 0) {
        std::printf("%s\n", ResultLine(outcome).c_str());
    }
    return outcome.exitCode;
}
