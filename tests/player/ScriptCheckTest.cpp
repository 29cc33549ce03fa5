#include "ScriptCheck.h"
#include "PlayerRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace velox::player {
namespace {

class ScriptCheck : public ::testing::Test {
protected:
    ProgramRun Check(const std::string& story) {
        dir.Write("story.txt", story);
        return RunPlayer(dir, "--check");
    }
    static bool Has(const ProgramRun& run, const std::string& line) {
        return run.output.find(line) != std::string::npos;
    }
    test::TempDir dir;
};

TEST_F(ScriptCheck, CleanStoryPasses) {
    dir.Write("Pics/Bg.PNG", "not really a picture, but it opens");
    dir.Write("se.wav", "x");
    ProgramRun run =
        Check("loadimage 0,\"pics\\bg.png\"\r\n\r\n"
              "showimage 0,100,0,0,0,0,255,255,0,0\r\n"
              "moveimage 100,10,0,0,0,255,255,0,1\r\n"
              "loadsound 2,\"se.wav\"\r\nplaysound 2,200\r\nstopsound 2\r\n"
              "wait 1\r\ndeletebg\r\nattachbg\r\nstopmusic\r\nfademusic 0,1\r\nEND\r\n");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run, "no problems found")) << run.output;
}

TEST_F(ScriptCheck, EveryPlantedFaultIsFoundOnItsLine) {
    dir.Write("a.png", "x");
    ProgramRun run = Check("loadimage 1,\"a.png\"\r\n"
                           "moveimage 100,1,1,0,0,255,255,0,1\r\n"
                           "showimg 1,100,0,0,0,0,255,255,0,0\r\n"
                           "showimage 2,100,0,0,0,0,255,255,0,0\r\n"
                           "wait 1,2\r\n"
                           "loadsound 10,\"a.png\"\r\n"
                           "loadimage 3,\"missing.png\"\r\n"
                           "END\r\n"
                           "wait 1\r\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run, "line 2: moveimage before any showimage")) << run.output;
    EXPECT_TRUE(Has(run, "line 3: unknown command \"showimg\" (did you mean \"showimage\"?)"));
    EXPECT_TRUE(Has(run, "line 4: slot 2 is shown before any loadimage into it"));
    EXPECT_TRUE(Has(run, "line 5: wait takes 1 number(s) and 0 file name(s), the line has 2"));
    EXPECT_TRUE(Has(run, "line 6: slot 10 is outside 0..9"));
    EXPECT_TRUE(Has(run, "line 7: file \"missing.png\" cannot be opened"));
    EXPECT_TRUE(Has(run, "line 8: END before the last line"));
}

TEST_F(ScriptCheck, LongLinesAndUnreadableStories) {
    ProgramRun run = Check("wait 1\r\nwait " + std::string(1200, '1') + "\r\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run, "line 2: line of 1205 bytes is longer than 1023")) << run.output;
    std::filesystem::remove(dir.path() + "/story.txt");
    ProgramRun missing = RunPlayer(dir, "--check");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Has(missing, "story.txt cannot be read"));
}

TEST_F(ScriptCheck, FilesInAPackedFolderAreFound) {
    dir.Write("data/img/a.png", "x");
    std::string pack = "cd '" + dir.path() + "' && '" VELOX_VLA_BINARY "' pack data >/dev/null";
    ASSERT_EQ(std::system(pack.c_str()), 0);
    std::filesystem::remove_all(dir.path() + "/data");
    ProgramRun run = Check("loadimage 1,\"DATA\\IMG\\A.PNG\"\r\nloadimage 2,\"data\\b.png\"\r\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(Has(run, "line 1:")) << run.output;
    EXPECT_TRUE(Has(run, "line 2: file \"data\\b.png\" cannot be opened")) << run.output;
}

TEST(NearestCommandWord, PicksTheClosestWord) {
    EXPECT_EQ(NearestCommandWord("Wait"), "wait");
    EXPECT_EQ(NearestCommandWord("playsond"), "playsound");
    EXPECT_EQ(NearestCommandWord("fadmusic"), "fademusic");
}

} // namespace
} // namespace velox::player
