#include "PlayerRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace velox::player {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// 1-based number of the first line starting with prefix, or 0.
int LineOf(const std::vector<std::string>& lines, const std::string& prefix) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0) {
            return int(i) + 1;
        }
    }
    return 0;
}

TEST(DemoCheck, TheDemoIsCleanAndEveryPlantedFaultInABrokenCopyIsFound) {
    test::TempDir dir;
    std::string make = "'" VELOX_MAKE_DEMO_BINARY "' '" + dir.path() + "/demo' >/dev/null 2>&1";
    ASSERT_EQ(test::RunShell(make), 0);
    ProgramRun clean = RunPlayer(dir, "--check demo");
    EXPECT_EQ(clean.exitCode, 0) << clean.output;

    std::ifstream in(dir.path() + "/demo/story.txt", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::vector<std::string> lines = Lines(bytes.str());
    const int star = LineOf(lines, "loadimage 2,\"star.bmp\"");
    const int back = LineOf(lines, "drawbackimage ");
    const int sound = LineOf(lines, "playsound ");
    ASSERT_GT(star, 0);
    ASSERT_GT(back, 0);
    ASSERT_GT(sound, 0);
    lines[star - 1] = "loadimage 2,\"stra.bmp\"";
    lines[back - 1].replace(0, 13, "drawbakimage");
    lines[sound - 1] = "playsound 12,255";
    const int middle = int(lines.size()) / 2;
    lines.insert(lines.begin() + middle, "END");
    std::string broken;
    for (const std::string& line : lines) {
        broken += line + "\r\n";
    }
    fs::create_directories(dir.path() + "/broken");
    fs::copy(dir.path() + "/demo", dir.path() + "/broken", fs::copy_options::recursive);
    dir.Write("broken/story.txt", broken);

    ProgramRun run = RunPlayer(dir, "--check broken");
    EXPECT_EQ(run.exitCode, 1);
    const int endLine = middle + 1;
    auto has = [&](int line, const std::string& what) {
        return run.output.find("story.txt:" + std::to_string(line) + ": " + what) !=
               std::string::npos;
    };
    EXPECT_TRUE(has(star, "error: file \"stra.bmp\" not found")) << run.output;
    EXPECT_TRUE(
        has(back, "error: unknown command \"drawbakimage\" (did you mean \"drawbackimage\"?)"))
        << run.output;
    EXPECT_TRUE(has(sound + (sound > middle ? 1 : 0), "error: slot 12 is outside 0..9"))
        << run.output;
    EXPECT_TRUE(has(endLine, "warning: END before the last line")) << run.output;
}

} // namespace
} // namespace velox::player
