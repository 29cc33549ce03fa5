// What a long story keeps alive: graphics it replaces are freed, so memory stays
// where one round of the story left it.
#include "RunLoop.h"
#include "Scene.h"
#include "SceneFixture.h"
#include "Script.h"
#include "core/MemoryTracker.h"
#include "support/PngFile.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velox::player {
namespace {

class SceneMemory : public SceneFixture {
protected:
    int Run(const std::string& story) {
        ResetLoop();
        dir_.Write("story.txt", story);
        int32_t file = FileOpenRead("story.txt", 0);
        EXPECT_NE(file, 0);
        EXPECT_EQ(LoadScript(file), 1);
        const int result = RunScript();
        // Every run makes its own pause picture (the program runs once); only what
        // the commands keep is measured here.
        DeleteGraphic(Loop().pauseGraphic, 0);
        return result;
    }
};

TEST_F(SceneMemory, ReplacedBackgroundsAreFreedAndImagesShrunkToNothingGoOn) {
    ASSERT_TRUE(test::WritePng(dir_.path() + "/bg.png", 32, 24,
                               std::vector<uint32_t>(32 * 24, 0xFF336699u)));
    // Both captures are replaced by a load into slot 0; the draws at 1 % and 0 %
    // show nothing and must not end the show.
    const std::string round = "attachbg\r\nloadimage 0,\"bg.png\"\r\n"
                              "showimage 0,1,400,300,16,12,255,255,0,0\r\n"
                              "moveimage 0,400,300,16,12,255,255,0,0\r\n"
                              "drawbackimage 0,0,400,300,16,12,255,255,0,0\r\n"
                              "loadimage 0,\"bg.png\"\r\n";
    ASSERT_EQ(Run(round), 0);
    const int32_t afterOne = core::mem_detail::CurrentTotals().totalSize;
    std::string story;
    for (int i = 0; i < 20; ++i) {
        story += round;
    }
    ASSERT_EQ(Run(story), 0);
    EXPECT_EQ(Loop().reportedLine, 120);
    // One 800 x 600 screen is 1.9 MB; twenty rounds must not keep any more of them.
    EXPECT_LT(core::mem_detail::CurrentTotals().totalSize - afterOne, 1 << 20);
}

} // namespace
} // namespace velox::player
