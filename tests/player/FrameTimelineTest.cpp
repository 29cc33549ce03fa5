// Frame pacing against the show's timeline, on the headless clock. Lateness is
// injected by sleeping virtual time at the end of chosen frames: from the loop's
// point of view the clock jumps, as it does when the machine stalls.
#include "FrameTimeline.h"
#include "RunLoop.h"
#include "Scene.h"
#include "SceneFixture.h"
#include "Script.h"
#include "platform/headless/Headless.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace velox::player {
namespace {

constexpr int64_t kPeriod = int64_t(kFramePeriodUs);
// A frame end comes a few virtual microseconds after its due time (every clock
// read moves the headless clock); far less than any rushed or skipped frame.
constexpr int64_t kSlack = 100;

std::vector<int64_t> gEnds;
std::map<size_t, uint64_t> gJumps; // frame index -> virtual microseconds lost after it

void RecordFrame(uint64_t frameEndUs) {
    gEnds.push_back(int64_t(frameEndUs));
    auto jump = gJumps.find(gEnds.size() - 1);
    if (jump != gJumps.end()) {
        platform::headless::Clock().SleepMicros(jump->second);
    }
}

TEST(FrameTimeline, DueTimesLagLimitAndUnpacedPasses) {
    FrameTimeline t{};
    EXPECT_EQ(t.WaitUs(123), 0u); // not anchored: the first frame never waits
    t.FrameEnded(1000);
    EXPECT_EQ(t.WaitUs(1000), uint64_t(kPeriod));
    EXPECT_EQ(t.WaitUs(1000 + kPeriod), 0u);
    // Frame 1 ends 100 ms late, exactly at the limit: frame 2 is still due on time.
    t.FrameEnded(1000 + kPeriod + kMaxFrameLagUs);
    EXPECT_EQ(t.NextDueUs(), uint64_t(1000 + 2 * kPeriod));
    EXPECT_EQ(t.reanchors, 0u);
    // One microsecond further behind: the timeline restarts at that frame's end.
    const uint64_t late = 1000 + 2 * kPeriod + kMaxFrameLagUs + 1;
    t.FrameEnded(late);
    EXPECT_EQ(t.reanchors, 1u);
    EXPECT_EQ(t.NextDueUs(), late + kPeriod);
    // Unpaced passes inside the frame leave it due where it was; past it they restart it.
    t.PassEnded(late + 10);
    EXPECT_EQ(t.NextDueUs(), late + kPeriod);
    t.PassEnded(late + kPeriod + 5);
    EXPECT_EQ(t.NextDueUs(), late + 2 * kPeriod + 5);
    // After a re-anchor request the next frame does not wait and its end is the origin.
    t.Reanchor();
    EXPECT_EQ(t.WaitUs(0), 0u);
    t.FrameEnded(9000000);
    EXPECT_EQ(t.WaitUs(9000000), uint64_t(kPeriod));
}

class FrameTimelineRun : public SceneFixture {
protected:
    void SetUp() override {
        gEnds.clear();
        gJumps.clear();
        SceneFixture::SetUp();
    }
    // Plays the story with the given jumps; gEnds then holds every frame's end.
    void Play(const std::string& story, std::map<size_t, uint64_t> jumps) {
        ResetLoop();
        ResetScene();
        gEnds.clear();
        gJumps = std::move(jumps);
        Loop().frameObserver = RecordFrame;
        dir_.Write("story.txt", story);
        int32_t file = FileOpenRead("story.txt", 0);
        ASSERT_NE(file, 0);
        ASSERT_EQ(LoadScript(file), 1);
        ASSERT_EQ(RunScript(), 0);
    }
    // Frame k's end against the first frame's end plus k periods.
    static int64_t Offset(size_t k) { return gEnds[k] - gEnds[0] - int64_t(k) * kPeriod; }
};

TEST_F(FrameTimelineRun, LateFramesCatchUpSoTheShowKeepsItsLength) {
    // Lost time under 100 ms each: 20 ms, one and a half frames, nearly three frames.
    Play("wait 10\r\n", {{5, 20000}, {12, 50000}, {20, 90000}});
    ASSERT_EQ(gEnds.size(), 30u);
    EXPECT_EQ(Loop().timeline.reanchors, 0u);
    for (size_t k = 1; k < gEnds.size(); ++k) {
        EXPECT_GE(Offset(k), 0) << "frame " << k << " ran before it was due";
    }
    // The frames right after a jump follow at once until the show is back on time...
    EXPECT_LT(gEnds[21] - gEnds[20], 90000 + kSlack);
    EXPECT_LT(gEnds[22] - gEnds[21], kSlack);
    EXPECT_LT(Offset(23), kSlack);
    // ...and by the last frame none of the 160 ms lost is left.
    EXPECT_LT(Offset(29), kSlack);
}

TEST_F(FrameTimelineRun, LongStallStartsTheTimelineAgainInsteadOfRushing) {
    Play("wait 10\r\n", {{5, 500000}});
    ASSERT_EQ(gEnds.size(), 30u);
    EXPECT_EQ(Loop().timeline.reanchors, 1u);
    EXPECT_GE(gEnds[6] - gEnds[5], 500000);
    for (size_t k = 7; k < gEnds.size(); ++k) {
        EXPECT_GE(gEnds[k] - gEnds[k - 1], kPeriod - kSlack) << "frame " << k << " rushed";
        EXPECT_LT(gEnds[k] - gEnds[k - 1], kPeriod + kSlack) << "frame " << k;
    }
}

class FrameTimelinePause : public FrameTimelineRun {
protected:
    void SetUp() override {
        // Virtual milliseconds. The first press lasts longer than a frame, so one
        // frame's key reading sees it; the paused loop sees the second at once. The
        // pause stays under the 100 ms after which lateness alone would re-anchor.
        keys_ = {{57, 1500, 1540}, {57, 1580, 1590}};
        FrameTimelineRun::SetUp();
    }
};

TEST_F(FrameTimelinePause, ShortPauseDoesNotMakeTheFramesAfterItRush) {
    Play("wait 30\r\n", {});
    EXPECT_EQ(Loop().pauseCount, 1);
    EXPECT_EQ(Loop().paused, 0);
    ASSERT_EQ(gEnds.size(), 90u);
    EXPECT_EQ(Loop().timeline.reanchors, 0u);
    size_t pausedFrame = 0;
    for (size_t k = 1; k < gEnds.size(); ++k) {
        int64_t period = gEnds[k] - gEnds[k - 1];
        if (period > kPeriod + 40000) {
            EXPECT_EQ(pausedFrame, 0u) << "a second long frame at " << k;
            EXPECT_LT(period, kPeriod + 100000);
            pausedFrame = k;
        } else {
            EXPECT_GE(period, kPeriod - kSlack) << "frame " << k << " rushed";
        }
    }
    EXPECT_NE(pausedFrame, 0u);
}

} // namespace
} // namespace velox::player
