#include "PlayerRun.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace velox::player {
namespace {

// The first fenced block after the heading: the README's example story.
std::string ExampleStory() {
    std::ifstream in(VELOX_README);
    std::stringstream text;
    text << in.rdbuf();
    const std::string readme = text.str();
    size_t heading = readme.find("## The script");
    size_t open = readme.find("```\n", heading);
    size_t close = readme.find("```", open + 4);
    if (heading == std::string::npos || open == std::string::npos || close == std::string::npos) {
        return "";
    }
    std::string block = readme.substr(open + 4, close - open - 4);
    std::string story;
    for (char c : block) {
        story += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return story;
}

TEST(Readme, ExampleStoryPassesTheChecker) {
    std::string story = ExampleStory();
    ASSERT_FALSE(story.empty());
    test::TempDir dir;
    dir.Write("story.txt", story);
    dir.Write("bg.png", "x");
    dir.Write("data/chara.png", "x");
    dir.Write("bgm.ogg", "x");
    ProgramRun run = RunPlayer(dir, "--check");
    EXPECT_EQ(run.exitCode, 0) << story << run.output;
    EXPECT_NE(run.output.find("no problems found"), std::string::npos) << run.output;
}

} // namespace
} // namespace velox::player
