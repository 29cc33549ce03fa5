#include "CommandLine.h"

#include <gtest/gtest.h>

namespace velox::player {
namespace {

bool Parse(std::vector<std::string> args, PlayerOptions& o, std::string& e) {
    return ParseCommandLine(args, o, e);
}

TEST(CommandLine, NoArgumentsKeepsThePlainEntry) {
    PlayerOptions o;
    std::string e;
    ASSERT_TRUE(Parse({}, o, e));
    EXPECT_FALSE(o.windowed);
    EXPECT_FALSE(o.log);
    EXPECT_FALSE(o.headless);
    EXPECT_TRUE(o.directory.empty());
    EXPECT_EQ(o.maxMs, 600000u);
}

TEST(CommandLine, HeadlessRunWithKeysFramesAndAudio) {
    PlayerOptions o;
    std::string e;
    ASSERT_TRUE(Parse({"story", "--headless", "--key", "space@100-200", "--key", "escape@5000-5100",
                       "--key", "30@1-2", "--dump-frames", "out", "--audio-out", "a.wav",
                       "--max-ms", "9000"},
                      o, e))
        << e;
    EXPECT_EQ(o.directory, "story");
    ASSERT_EQ(o.keys.size(), 3u);
    EXPECT_EQ(o.keys[0].keyCode, 57);
    EXPECT_EQ(o.keys[0].downMs, 100u);
    EXPECT_EQ(o.keys[0].upMs, 200u);
    EXPECT_EQ(o.keys[1].keyCode, 1);
    EXPECT_EQ(o.keys[2].keyCode, 30);
    EXPECT_EQ(o.dumpFramesDir, "out");
    EXPECT_EQ(o.audioOut, "a.wav");
    EXPECT_EQ(o.maxMs, 9000u);
}

TEST(CommandLine, RefusesWhatItCannotUnderstand) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate"},
        {"--key"},
        {"--headless", "--key", "space@200-100"},
        {"--headless", "--key", "256@1-2"},
        {"--headless", "--key", "space"},
        {"--max-ms", "soon"},
        {"a", "b"},
        {"--dump-frames", "out"}, // needs --headless
        {"--watch", "--check"},   // the checker plays nothing to watch
        {"--watch=1"},
    };
    for (const auto& args : bad) {
        PlayerOptions o;
        std::string e;
        EXPECT_FALSE(Parse(args, o, e)) << args[0];
        EXPECT_FALSE(e.empty());
    }
}

} // namespace
} // namespace velox::player
