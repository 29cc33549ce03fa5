#include "RunLoop.h"
#include "Scene.h"
#include "SceneFixture.h"
#include "Script.h"
#include "platform/headless/Headless.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <string>

namespace velox::player {
namespace {

constexpr int64_t kPeriod = 33333;

class RunLoopTest : public SceneFixture {
protected:
    // Loads the story and runs it; returns the result and the virtual time it took.
    int Run(const std::string& story, int64_t& elapsedUs) {
        dir_.Write("story.txt", story);
        int32_t file = FileOpenRead("story.txt", 0);
        EXPECT_NE(file, 0);
        EXPECT_EQ(LoadScript(file), 1);
        uint64_t start = platform::headless::Clock().PeekNanos() / 1000;
        int result = RunScript();
        elapsedUs = int64_t(platform::headless::Clock().PeekNanos() / 1000 - start);
        return result;
    }
    static std::string Repeat(const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            out += s;
        }
        return out;
    }
};

TEST_F(RunLoopTest, EndRecordFirstReturnsAtOnce) {
    int64_t us = 0;
    EXPECT_EQ(Run("", us), 0);
    EXPECT_LT(us, 1000);
    EXPECT_EQ(Loop().reportedLine, 0);
}

TEST_F(RunLoopTest, WaitTenTakesThirtyFrames) {
    int64_t us = 0;
    EXPECT_EQ(Run("wait 10\r\nEND", us), 0);
    // The first frame is not paced; the other 29 each wait one period.
    EXPECT_GE(us, 29 * kPeriod);
    EXPECT_LT(us, 29 * kPeriod + 2000);
    EXPECT_EQ(Loop().reportedLine, 1);
}

TEST_F(RunLoopTest, WaitZeroAndOneTakeOneAndThreeFrames) {
    int64_t zero = 0, one = 0;
    EXPECT_EQ(Run("wait 0\r\nwait 0\r\n", zero), 0);
    ResetLoop();
    ResetScene();
    EXPECT_EQ(Run("wait 0\r\nwait 1\r\n", one), 0);
    // wait 0 then wait 0: two frames, one paced; wait 0 then wait 1: four frames.
    EXPECT_GE(zero, kPeriod);
    EXPECT_LT(zero, 2 * kPeriod);
    EXPECT_GE(one, 3 * kPeriod);
    EXPECT_LT(one, 4 * kPeriod);
}

TEST_F(RunLoopTest, BlankLinesAndUnknownWordsCostNoTime) {
    int64_t plain = 0, padded = 0;
    EXPECT_EQ(Run("wait 1\r\nwait 1", plain), 0);
    ResetLoop();
    ResetScene();
    std::string story = "wait 1\r\n" + Repeat("\r\n", 20) + "Wait 7\r\nnothing\r\nwait 1";
    EXPECT_EQ(Run(story, padded), 0);
    EXPECT_LT(padded - plain, 1000);
    EXPECT_EQ(Loop().reportedLine, 24);
}

TEST_F(RunLoopTest, EndLineInTheMiddleStopsThere) {
    int64_t us = 0;
    EXPECT_EQ(Run("wait 0\r\nEND\r\nloadimage 99,\"x\"", us), 0);
    EXPECT_EQ(Loop().reportedLine, 1);
}

TEST_F(RunLoopTest, FailingCommandReportsItsLine) {
    int64_t us = 0;
    std::string story = Repeat("wait 0\r\n", 6) + "loadimage 10,\"a.png\"\r\nwait 5";
    EXPECT_EQ(Run(story, us), -1);
    EXPECT_EQ(Loop().reportedLine, 7);
}

class RunLoopKeysTest : public RunLoopTest {
protected:
    void SetUp() override {
        // Virtual milliseconds: start-up takes well under one second.
        keys_ = {{57, 2000, 2100}, {1, 2500, 2600}};
        RunLoopTest::SetUp();
    }
};

TEST_F(RunLoopKeysTest, EscapeWhilePausedEndsWithZero) {
    int64_t us = 0;
    EXPECT_EQ(Run("wait 300\r\nloadimage 99,\"x\"", us), 0);
    EXPECT_EQ(Loop().paused, 1);
    EXPECT_EQ(Loop().pauseCount, 1);
    EXPECT_EQ(Loop().reportedLine, 0); // Escape does not complete the record
}

class RunLoopHeldSpaceTest : public RunLoopTest {
protected:
    void SetUp() override {
        // Space held for a second pauses once; the second press resumes.
        keys_ = {{57, 1500, 2500}, {57, 3000, 3050}};
        RunLoopTest::SetUp();
    }
};

TEST_F(RunLoopHeldSpaceTest, HeldSpacePausesOnceAndASecondPressResumes) {
    int64_t us = 0;
    EXPECT_EQ(Run("wait 30\r\n", us), 0); // 90 frames, three seconds
    EXPECT_EQ(Loop().paused, 0);
    EXPECT_EQ(Loop().pauseCount, 1);
    // The pause (about 1.5 s) adds to the 89 paced periods.
    EXPECT_GT(us, 89 * kPeriod + 1400000);
    EXPECT_LT(us, 89 * kPeriod + 1600000);
}

} // namespace
} // namespace velox::player
