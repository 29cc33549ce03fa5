#include "PlayerRun.h"
#include "support/PngFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace velox::player {
namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

class ImageStory : public ::testing::Test {
protected:
    // A width x height image of one color with a different top-left pixel.
    void Image(const std::string& name, int width, int height, uint32_t color, uint32_t corner) {
        std::vector<uint32_t> pixels(size_t(width) * size_t(height), color);
        pixels[0] = corner;
        std::filesystem::create_directories(
            std::filesystem::path(dir.path() + "/" + name).parent_path());
        ASSERT_TRUE(test::WritePng(dir.path() + "/" + name, width, height, pixels));
    }
    ProgramRun Play(const std::string& story, const std::string& extra = "") {
        dir.Write("story.txt", story);
        return RunPlayer(dir, "--headless --dump-frames frames " + extra);
    }
    test::Picture Frame(unsigned long long n) {
        char name[32];
        std::snprintf(name, sizeof name, "/frames/%06llu.png", n);
        test::Picture picture;
        EXPECT_TRUE(test::ReadPng(dir.path() + name, picture)) << name;
        return picture;
    }
    // The leftmost column of row y holding the color, or -1.
    static int LeftmostIn(const test::Picture& p, int y, uint32_t rgb) {
        for (int x = 0; x < p.width; ++x) {
            if (p.At(x, y) == rgb) {
                return x;
            }
        }
        return -1;
    }
    test::TempDir dir;
};

TEST_F(ImageStory, ShowImageAtOriginPutsTheTopLeftPixelThere) {
    Image("pic.png", 16, 8, kBlue, kRed);
    ProgramRun run = Play("loadimage 1,\"pic.png\"\r\nshowimage 1,100,0,0,0,0,255,255,0,0\r\n");
    ASSERT_NE(run.output.find("result=0 line=2 frames=1 "), std::string::npos) << run.output;
    test::Picture f = Frame(1);
    EXPECT_EQ(f.At(0, 0), 0xFF0000u);
    EXPECT_EQ(f.At(1, 0), 0x0000FFu);
    EXPECT_EQ(f.At(15, 7), 0x0000FFu);
    EXPECT_EQ(f.At(16, 7), 0u);
    EXPECT_EQ(f.At(15, 8), 0u);
}

TEST_F(ImageStory, MoveImageInterpolatesWithItsTruncationsAndEndsOnTheTarget) {
    Image("dot.png", 4, 4, kWhite, kWhite);
    ProgramRun run = Play("loadimage 2,\"dot.png\"\r\n"
                          "showimage 2,100,0,100,0,0,255,255,0,0\r\n"
                          "moveimage 100,10,100,0,0,255,255,0,1\r\n");
    ASSERT_NE(run.output.find("result=0 line=3 frames=4 "), std::string::npos) << run.output;
    EXPECT_EQ(LeftmostIn(Frame(1), 101, 0xFFFFFF), 0);
    EXPECT_EQ(LeftmostIn(Frame(2), 101, 0xFFFFFF), 3); // trunc(3.33 + 0.5)
    EXPECT_EQ(LeftmostIn(Frame(3), 101, 0xFFFFFF), 7); // trunc(6.67 + 0.5)
    EXPECT_EQ(LeftmostIn(Frame(4), 101, 0xFFFFFF), 10);
}

TEST_F(ImageStory, MoveImageBeforeShowImageFails) {
    Image("dot.png", 4, 4, kWhite, kWhite);
    ProgramRun run =
        Play("loadimage 2,\"dot.png\"\r\nwait 0\r\nmoveimage 100,10,100,0,0,255,255,0,1\r\n");
    EXPECT_NE(run.output.find("result=-1 line=3 "), std::string::npos) << run.output;
}

TEST_F(ImageStory, SlotZeroIsTheBackgroundAndShowsAtOnce) {
    Image("bg.png", 800, 600, kBlue, kRed);
    ProgramRun run = Play("loadimage 0,\"bg.png\"\r\n");
    ASSERT_NE(run.output.find("result=0 line=1 frames=1 "), std::string::npos) << run.output;
    test::Picture f = Frame(1);
    EXPECT_EQ(f.At(0, 0), 0xFF0000u);
    EXPECT_EQ(f.At(400, 300), 0x0000FFu);
}

TEST_F(ImageStory, DeleteBgEmptiesSlotZero) {
    Image("bg.png", 800, 600, kBlue, kBlue);
    ProgramRun run = Play("loadimage 0,\"bg.png\"\r\ndeletebg\r\n"
                          "showimage 0,100,0,0,0,0,255,255,0,0\r\n");
    EXPECT_NE(run.output.find("result=-1 line=3 "), std::string::npos) << run.output;
}

TEST_F(ImageStory, BackgroundStaysUnderAShownImage) {
    Image("bg.png", 800, 600, kBlue, kBlue);
    Image("sub/Dot.png", 4, 4, kWhite, kWhite);
    // The name is written with a backslash and in another case than on disk.
    ProgramRun run = Play("loadimage 0,\"bg.png\"\r\nloadimage 1,\"SUB\\dot.PNG\"\r\n"
                          "showimage 1,100,10,10,0,0,255,255,0,0\r\n");
    ASSERT_NE(run.output.find("result=0 line=3 frames=2 "), std::string::npos) << run.output;
    test::Picture f = Frame(2);
    EXPECT_EQ(f.At(10, 10), 0xFFFFFFu);
    EXPECT_EQ(f.At(9, 10), 0x0000FFu);
}

TEST_F(ImageStory, SpaceDuringAMoveFreezesItAndTheSecondPressResumes) {
    Image("dot.png", 4, 4, kWhite, kWhite);
    // Thirty frames of movement from x = 0 to 290; the show is paused in between.
    ProgramRun run = Play("loadimage 2,\"dot.png\"\r\n"
                          "showimage 2,100,0,100,0,0,255,255,0,0\r\n"
                          "moveimage 100,290,100,0,0,255,255,0,10\r\n",
                          "--key space@700-750 --key space@1500-1550");
    ASSERT_NE(run.output.find("result=0 line=3 "), std::string::npos) << run.output;
    const unsigned long long frames = Field(run.output, "frames");
    // 31 composed frames, the sign on the visible screen, the restored picture.
    ASSERT_EQ(frames, 33ull);
    int last = -1;
    bool sawStop = false;
    for (unsigned long long n = 2; n <= frames; ++n) {
        test::Picture f = Frame(n);
        int x = LeftmostIn(f, 101, 0xFFFFFF);
        if (f.Count(295, 270, 500, 370, [](uint32_t p) { return p == 0x00FF00; }) > 100) {
            sawStop = true;
            EXPECT_EQ(x, last); // frozen under the sign
            continue;
        }
        EXPECT_GE(x, last) << "frame " << n; // the move goes on where it stopped
        last = x;
    }
    EXPECT_TRUE(sawStop);
    EXPECT_EQ(last, 290);
}

TEST_F(ImageStory, PackedFolderPlaysTheSameFrames) {
    Image("data/bg.png", 800, 600, kBlue, kRed);
    Image("data/img/dot.png", 4, 4, kWhite, kWhite);
    const std::string story =
        "loadimage 0,\"data\\bg.png\"\r\nloadimage 1,\"data\\IMG\\dot.png\"\r\n"
        "showimage 1,150,30,40,0,0,200,128,30,0\r\n";
    ProgramRun plain = Play(story);
    ASSERT_NE(plain.output.find("result=0 line=3 frames=2 "), std::string::npos) << plain.output;
    test::Picture before = Frame(2);

    std::string pack = "cd '" + dir.path() + "' && '" VELOX_VLA_BINARY "' pack data 2>&1";
    ASSERT_EQ(test::RunShell(pack), 0);
    std::filesystem::remove_all(dir.path() + "/data");
    std::filesystem::remove_all(dir.path() + "/frames");
    ASSERT_TRUE(std::filesystem::exists(dir.path() + "/data.VLA"));
    ProgramRun packed = Play(story);
    ASSERT_NE(packed.output.find("result=0 line=3 frames=2 "), std::string::npos) << packed.output;
    test::Picture after = Frame(2);
    EXPECT_EQ(after.pixels, before.pixels);
}

TEST_F(ImageStory, PackedFolderIsFoundUnderFoldersWithoutAShiftJisName) {
    // Names with no Shift-JIS form, and a path past the old 256-byte limits.
    const std::string story =
        "caf\xC3\xA9/\xE9\x9F\xB3\xE6\xA5\xBD\xF0\x9F\x8E\xB5/" + std::string(220, 'x') + "/story";
    ASSERT_GT(dir.path().size() + story.size(), 256u);
    Image(story + "/data/bg.png", 800, 600, kBlue, kRed);
    dir.Write(story + "/story.txt", "loadimage 0,\"DATA\\BG.png\"\r\nwait 0\r\n");
    std::string pack =
        "cd '" + dir.path() + "/" + story + "' && '" VELOX_VLA_BINARY "' pack data >/dev/null 2>&1";
    ASSERT_EQ(test::RunShell(pack), 0);
    std::filesystem::remove_all(dir.path() + "/" + story + "/data");
    ProgramRun run = RunPlayer(dir, "'" + story + "' --headless --dump-frames frames --log");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_NE(run.output.find("result=0 line=2 frames=1 "), std::string::npos) << run.output;
    test::Picture f = Frame(1);
    EXPECT_EQ(f.At(0, 0), 0xFF0000u);
    EXPECT_EQ(f.At(400, 300), 0x0000FFu);
    // The log went beside the story, into the real folder.
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/" + story + "/Log.txt"));
}

} // namespace
} // namespace velox::player
