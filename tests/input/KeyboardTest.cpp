#include "input/Keyboard.h"
#include "core/CoreState.h"
#include "platform/headless/Headless.h"
#include "support/HeadlessFixture.h"
#include "velox/velox.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velox {
namespace {

using test::Sjis;
namespace headless = platform::headless;

class KeyboardTest : public test::HeadlessFixture {
protected:
    // Puts the virtual clock at the start of millisecond ms.
    static void ClockAt(uint32_t ms) {
        const uint64_t now = headless::Clock().PeekNanos();
        const uint64_t target = uint64_t(ms) * 1000000ull;
        ASSERT_GE(target, now);
        headless::Clock().SleepMicros((target - now) / 1000);
        ASSERT_EQ(headless::Clock().PeekNanos(), target);
    }
    static int DownCount(const char* keys) {
        int n = 0;
        for (int k = 0; k < 256; ++k) {
            n += keys[k] != 0 ? 1 : 0;
        }
        return n;
    }
    char keys[256] = {};
};

TEST_F(KeyboardTest, FirstCallBeforeSetUpPerformsItAndLeavesTheArrayAlone) {
    headless::SetKeyDown(1, true);
    std::memset(keys, 0x55, sizeof keys);
    EXPECT_EQ(GetAllKeyState(keys), 0);
    for (char k : keys) {
        ASSERT_EQ(k, 0x55);
    }
    EXPECT_EQ(input::input_detail::State().object, input::input_detail::InputObject::NotUsed);
    EXPECT_EQ(GetAllKeyState(keys), 0);
    EXPECT_EQ(keys[1], 1);
    EXPECT_EQ(DownCount(keys), 1);
}

TEST_F(KeyboardTest, EscapeReadsAtIndexOneAndSpaceAtFiftySeven) {
    GetAllKeyState(keys); // set-up
    headless::SetKeyDown(1, true);
    ClockAt(10);
    GetAllKeyState(keys);
    EXPECT_EQ(keys[1], 1);
    EXPECT_EQ(DownCount(keys), 1);
    headless::SetKeyDown(1, false);
    headless::SetKeyDown(57, true);
    ClockAt(11);
    GetAllKeyState(keys);
    EXPECT_EQ(keys[57], 1);
    EXPECT_EQ(keys[1], 0);
    EXPECT_EQ(DownCount(keys), 1);
}

TEST_F(KeyboardTest, StateChangesAtMostOncePerMillisecondTick) {
    ClockAt(5);
    GetAllKeyState(keys); // set-up
    GetAllKeyState(keys); // refresh at 5 ms: nothing down
    EXPECT_EQ(keys[57], 0);
    headless::SetKeyDown(57, true);
    GetAllKeyState(keys); // still 5 ms: the buffer stays as it was
    EXPECT_EQ(keys[57], 0);
    ClockAt(6);
    GetAllKeyState(keys);
    EXPECT_EQ(keys[57], 1);
    headless::SetKeyDown(57, false);
    GetAllKeyState(keys);
    EXPECT_EQ(keys[57], 1);
    ClockAt(7);
    GetAllKeyState(keys);
    EXPECT_EQ(keys[57], 0);
}

TEST_F(KeyboardTest, ReacquiringMakesTheNextCallRefreshAtOnce) {
    ClockAt(5);
    GetAllKeyState(keys);
    GetAllKeyState(keys);
    headless::SetKeyDown(30, true);
    input::ReacquireInput();
    GetAllKeyState(keys); // same millisecond, but the focus changed meanwhile
    EXPECT_EQ(keys[30], 1);
}

TEST_F(KeyboardTest, EveryRefreshingCallPumpsOneMessagePass) {
    ASSERT_EQ(StartRuntime(), 0);
    const uint64_t redraws = headless::RedrawCount();
    headless::PostEvent({platform::WindowEventKind::Exposed, 0, 0});
    ClockAt(uint32_t(headless::Clock().PeekNanos() / 1000000) + 1);
    GetAllKeyState(keys);
    EXPECT_EQ(headless::RedrawCount(), redraws + 1);
    headless::PostEvent({platform::WindowEventKind::Exposed, 0, 0});
    GetAllKeyState(keys); // same millisecond: no refresh, no pump
    EXPECT_EQ(headless::RedrawCount(), redraws + 1);
    ClockAt(uint32_t(headless::Clock().PeekNanos() / 1000000) + 1);
    GetAllKeyState(keys);
    EXPECT_EQ(headless::RedrawCount(), redraws + 2);
    ShutdownRuntime();
}

TEST_F(KeyboardTest, AfterTheWindowClosedTheBufferKeepsItsLastState) {
    ASSERT_EQ(StartRuntime(), 0);
    headless::SetKeyDown(1, true);
    ClockAt(uint32_t(headless::Clock().PeekNanos() / 1000000) + 1);
    GetAllKeyState(keys);
    ASSERT_EQ(keys[1], 1);
    headless::PostEvent({platform::WindowEventKind::CloseRequested, 0, 0});
    headless::SetKeyDown(1, false);
    headless::SetKeyDown(57, true);
    ClockAt(uint32_t(headless::Clock().PeekNanos() / 1000000) + 1);
    EXPECT_EQ(GetAllKeyState(keys), 0); // the pump pass reports the close
    EXPECT_EQ(core::Core().quit, 1);
    EXPECT_EQ(keys[1], 1);
    EXPECT_EQ(keys[57], 0);
    ShutdownRuntime();
}

TEST_F(KeyboardTest, NoSetUpOnceAClosePendsAndEndInputLogsOnlyWhenSetUp) {
    ASSERT_EQ(StartRuntime(), 0);
    headless::PostEvent({platform::WindowEventKind::CloseRequested, 0, 0});
    EXPECT_EQ(ProcessMessage(), -1);
    EXPECT_EQ(input::EndInput(), 0);
    EXPECT_EQ(input::EndInput(), 0); // nothing set up: nothing logged
    std::memset(keys, 0x55, sizeof keys);
    EXPECT_EQ(GetAllKeyState(keys), 0);
    EXPECT_EQ(input::input_detail::State().object, input::input_detail::InputObject::None);
    EXPECT_EQ(keys[0], 0); // refreshed from the (cleared) buffer, not left alone
    ShutdownRuntime();
    const auto log = Log();
    EXPECT_EQ(test::CountLines(log, Sjis("入力関連の初期化をしました")), 1);
    EXPECT_EQ(test::CountLines(log, Sjis("入力関連の終了処理... 完了")), 1);
}

class ScriptedKeyboardTest : public KeyboardTest {
protected:
    ScriptedKeyboardTest() { keys_ = {{57, 10, 20}, {57, 30, 31}, {1, 40, 45}}; }
};

TEST_F(ScriptedKeyboardTest, ScriptedKeysAreDownFromTheirStartUntilTheirEnd) {
    GetAllKeyState(keys); // set-up at 0 ms
    const struct {
        uint32_t ms;
        int space;
        int escape;
    } expected[] = {{9, 0, 0},  {10, 1, 0}, {19, 1, 0}, {20, 0, 0}, {29, 0, 0},
                    {30, 1, 0}, {31, 0, 0}, {40, 0, 1}, {44, 0, 1}, {45, 0, 0}};
    for (const auto& e : expected) {
        ClockAt(e.ms);
        GetAllKeyState(keys);
        EXPECT_EQ(keys[57], e.space) << e.ms << " ms";
        EXPECT_EQ(keys[1], e.escape) << e.ms << " ms";
    }
}

} // namespace
} // namespace velox
