#include "PlayerRun.h"
#include "support/PngFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
    // The checker decodes every file: real pictures, and the demo's Ogg Vorbis tune.
    dir.Write("data/chara.png", "");
    ASSERT_TRUE(test::WritePng(dir.path() + "/bg.png", 8, 6, std::vector<uint32_t>(48, ~0u)));
    ASSERT_TRUE(
        test::WritePng(dir.path() + "/data/chara.png", 4, 4, std::vector<uint32_t>(16, ~0u)));
    std::string make = "'" VELOX_MAKE_DEMO_BINARY "' '" + dir.path() + "/demo' >/dev/null 2>&1";
    ASSERT_EQ(test::RunShell(make), 0);
    std::filesystem::copy_file(dir.path() + "/demo/music/loop.ogg", dir.path() + "/bgm.ogg");
    ProgramRun run = RunPlayer(dir, "--check");
    EXPECT_EQ(run.exitCode, 0) << story << run.output;
    EXPECT_NE(run.output.find("no problems found"), std::string::npos) << run.output;
}

} // namespace
} // namespace velox::player
