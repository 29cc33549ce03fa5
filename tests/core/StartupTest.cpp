#include "core/CoreState.h"
#include "core/Log.h"
#include "core/Runtime.h"
#include "core/Subsystems.h"
#include "core/Timing.h"
#include "platform/Presentation.h"
#include "platform/Thread.h"
#include "platform/headless/Headless.h"
#include "support/HeadlessFixture.h"
#include "velox/velox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velox {
namespace {

using test::Sjis;

class StartupTest : public test::HeadlessFixture {};

// The system line as the running kernel names itself: "Linux 6.1 ( Build 0 6.1.0-x )".
std::string ExpectedSystemLine() {
    utsname u{};
    uname(&u);
    int major = 0, minor = 0, patch = 0;
    std::sscanf(u.release, "%d.%d.%d", &major, &minor, &patch);
    char text[512];
    std::snprintf(text, sizeof text, "%s %d.%d ( Build %d %s )", u.sysname, major, minor, patch,
                  u.release);
    return Sjis("ＯＳ  ") + text;
}

TEST_F(StartupTest, HeadlessStartAndShutdownLogTheirStepsInOrder) {
    ASSERT_EQ(StartRuntime(), 0);
    EXPECT_EQ(core::Core().started, 1);
    EXPECT_EQ(core::Core().windowExists, 1);
    EXPECT_EQ(ShutdownRuntime(), 0);
    EXPECT_EQ(core::Core().started, 0);
    EXPECT_EQ(core::Core().windowExists, 0);

    const auto log = Log();
    EXPECT_TRUE(test::ContainsInOrder(
        log, {Sjis("システムの情報を出力します"), Sjis("Ｖｅｌｏｘライブラリ Ver2.24c"), "",
              ExpectedSystemLine(), Sjis("ＣＯＭの初期化... 成功しました"),
              Sjis("タイマーの精度を検査します"),
              Sjis("精度結果 更新回数 マルチメディアタイマー：0  パフォーマンスカウンター：60"),
              Sjis(" パフォーマンスカウンターを使用します タイマー分解能 : 1000000.000000 KHz "),
              Sjis(" ソフトの二重起動検査... 二重起動はされていませんでした"),
              Sjis("ウインドウクラスを登録します... 登録に成功しました"),
              Sjis("フルスクリーンモード用のウインドウを作成します"),
              Sjis("カーソルを不可視にしました"), Sjis("ＩＭＥを無効にしました"),
              Sjis("\tパッドの数は 0 個です"), "", Sjis("入力関連の初期化をしました"),
              // shutdown
              Sjis("入力関連の終了処理... 完了"), Sjis("ウインドウを閉じようとしています"),
              Sjis("ウインドウが破棄されようとしています"),
              Sjis("ソフトを終了する準備が整いました"), Sjis("ＣＯＭを終了... 完了")}));
    // The processor and memory lines sit between the system line and the COM step, and
    // between the COM step and the timer test.
    const int system = test::FindLineStartingWith(log, Sjis("ＯＳ  "));
    const int com = test::FindLineStartingWith(log, Sjis("ＣＯＭの初期化"));
    const int memory = test::FindLineStartingWith(log, Sjis("メモリ総量:"));
    const int timer = test::FindLineStartingWith(log, Sjis("タイマーの精度"));
    const int vendor = test::FindLineStartingWith(log, Sjis("ＣＰＵベンダ："));
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_GT(vendor, system);
    EXPECT_LT(vendor, com);
    EXPECT_EQ(test::FindLineStartingWith(log, Sjis("ＣＰＵ動作速度")), -1); // virtual clock
#endif
    EXPECT_GT(memory, com);
    EXPECT_LT(memory, timer);
    EXPECT_EQ(test::FindLineStartingWith(log, Sjis("ウインドウモード起動用")), -1);
}

TEST_F(StartupTest, WindowedStartShowsTheCursorLineOnlyInFullScreen) {
    ASSERT_EQ(ChangeWindowMode(1), 0);
    ASSERT_EQ(StartRuntime(), 0);
    ShutdownRuntime();
    const auto log = Log();
    EXPECT_TRUE(test::ContainsInOrder(log, {Sjis("ウインドウモード起動用のウインドウを作成します"),
                                            Sjis("ＩＭＥを無効にしました")}));
    EXPECT_EQ(test::CountLines(log, Sjis("カーソルを不可視にしました")), 0);
}

TEST_F(StartupTest, ServiceThreadLeavesTheVirtualClockAlone) {
    ASSERT_EQ(StartRuntime(), 0);
    ASSERT_EQ(core::Core().serviceThreadRunning, 1);
    const uint64_t before = platform::headless::Clock().PeekNanos();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(platform::headless::Clock().PeekNanos(), before);
    ShutdownRuntime();
}

std::atomic<int> gServiceCallsOffMain{0};
std::atomic<int> gNestedResult{12345};
std::atomic<uint32_t> gMainThread{0};

void CountingService() {
    if (platform::CurrentThreadId() != gMainThread.load()) {
        ++gServiceCallsOffMain;
    }
    gNestedResult.store(core::ProcessMessage());
}

TEST_F(StartupTest, ServiceThreadRunsTheServicesWhileTheMainThreadSleeps) {
    gMainThread.store(platform::CurrentThreadId());
    core::Subsystems().soundStreamingService = &CountingService;
    ASSERT_EQ(StartRuntime(), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (gServiceCallsOffMain.load() < 3 && std::chrono::steady_clock::now() < deadline) {
        platform::SleepMillis(17); // virtual time passes only here
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(gServiceCallsOffMain.load(), 3);
    // A pump called from inside a service returns at once with 0.
    EXPECT_EQ(gNestedResult.load(), 0);
    ShutdownRuntime();
    core::Subsystems().soundStreamingService = nullptr;
}

TEST_F(StartupTest, ProcessMessageReportsMinusOneOnceTheWindowIsClosed) {
    ASSERT_EQ(StartRuntime(), 0);
    EXPECT_EQ(ProcessMessage(), 0);
    platform::headless::PostEvent({platform::WindowEventKind::CloseRequested, 0, 0});
    EXPECT_EQ(ProcessMessage(), -1);
    EXPECT_EQ(ProcessMessage(), -1);
    EXPECT_EQ(core::Core().endState, core::EndState::UserClose);
    EXPECT_EQ(ShutdownRuntime(), 0);
    const auto log = Log();
    EXPECT_EQ(test::CountLines(log, Sjis("ウインドウを閉じようとしています")), 1);
    EXPECT_EQ(test::CountLines(log, Sjis("ウインドウが破棄されようとしています")), 1);
    EXPECT_TRUE(test::ContainsInOrder(
        log, {Sjis("ウインドウを閉じようとしています"), Sjis("ソフトを終了する準備が整いました"),
              Sjis("入力関連の終了処理... 完了"), Sjis("ＣＯＭを終了... 完了")}));
}

TEST_F(StartupTest, SecondStartWithoutShutdownFailsAtTheComponentStep) {
    ASSERT_EQ(StartRuntime(), 0);
    EXPECT_EQ(StartRuntime(), -1);
    EXPECT_EQ(core::Core().started, 0);
    EXPECT_EQ(core::Core().windowExists, 0);
    // The second start reopened the log; its COM line is completed by the shutdown,
    // whose first message is the graphics layer's end.
    const auto log = Log();
    EXPECT_TRUE(test::ContainsInOrder(
        log, {Sjis("ＣＯＭの初期化... グラフィック管理系の終了処理は正常に終了しました"),
              Sjis("入力関連の終了処理... 完了"), Sjis("ウインドウを閉じようとしています"),
              Sjis("ＣＯＭを終了... 完了")}));
    EXPECT_EQ(ShutdownRuntime(), 0);
}

TEST_F(StartupTest, ChangeWindowModeWithTheCurrentValueOnlyLogsItsFirstLine) {
    ASSERT_EQ(StartRuntime(), 0);
    const size_t before = Log().size();
    EXPECT_EQ(ChangeWindowMode(0), 0);
    auto log = Log();
    ASSERT_EQ(log.size(), before + 1);
    EXPECT_EQ(log[before], Sjis("ChangeWindowMode実行 "));

    EXPECT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(core::Core().settings.windowMode, 1);
    EXPECT_EQ(core::Core().modeSwitching, 0);
    EXPECT_EQ(core::Core().displayChangeSeen, 1);
    log = Log();
    EXPECT_TRUE(test::ContainsInOrder(
        std::vector<std::string>(log.begin() + long(before), log.end()),
        {Sjis("ChangeWindowMode実行 "), Sjis("ウインドウモードフラグが立てられました"),
         Sjis("ウインドウスタイルをウインドウモード用に変更します... 完了")}));
    ShutdownRuntime();
}

TEST_F(StartupTest, ChangeWindowModeBeforeStartUpOnlyRecords) {
    EXPECT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(core::Core().settings.windowMode, 1);
    // Start-up keeps the setting through its clearing of the core state.
    ASSERT_EQ(StartRuntime(), 0);
    EXPECT_EQ(core::Core().settings.windowMode, 1);
    ShutdownRuntime();
}

std::atomic<int> gRestores{0};
void CountRestore() {
    ++gRestores;
}

TEST_F(StartupTest, InactiveApplicationPumpsUntilActivatedAgain) {
    core::Subsystems().restoreGraphics = &CountRestore;
    ASSERT_EQ(StartRuntime(), 0);
    platform::headless::PostEvent({platform::WindowEventKind::FocusLost, 0, 0});
    const uint64_t before = platform::headless::Clock().PeekNanos();
    std::thread activator([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform::headless::PostEvent({platform::WindowEventKind::FocusGained, 0, 0});
    });
    EXPECT_EQ(ProcessMessage(), 0); // returns only once active again
    activator.join();
    EXPECT_EQ(core::Core().active, 1);
    EXPECT_GE(gRestores.load(), 1);
    // The waiting slept in 1 ms steps of (virtual) time.
    EXPECT_GE(platform::headless::Clock().PeekNanos() - before, 1000000u);
    ShutdownRuntime();
    core::Subsystems().restoreGraphics = nullptr;
}

TEST_F(StartupTest, RunWhileInactiveInAWindowLetsThePumpAndTheWaitReturn) {
    SetRunWhileInactive(1);
    ChangeWindowMode(1);
    ASSERT_EQ(StartRuntime(), 0);
    platform::headless::PostEvent({platform::WindowEventKind::FocusLost, 0, 0});
    EXPECT_EQ(ProcessMessage(), 0);
    EXPECT_EQ(core::Core().active, 0);
    EXPECT_EQ(core::WaitWhileInactive(), 0);
    EXPECT_EQ(core::Core().active, 0);
    ShutdownRuntime();
}

bool gSourceGiven = false;
uint32_t gSourcePicture[4] = {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC};
bool RepaintSource(const uint32_t** pixels, int* width, int* height, int* pitch) {
    if (!gSourceGiven) {
        return false;
    }
    *pixels = gSourcePicture;
    *width = 2;
    *height = 2;
    *pitch = 8;
    return true;
}

TEST_F(StartupTest, ExposeRepaintsFromTheSourceOrTheLastPicture) {
    core::Subsystems().repaintSource = &RepaintSource;
    ASSERT_EQ(StartRuntime(), 0);
    const uint64_t frames = platform::Presentation().PresentedFrames();
    const uint64_t redraws = platform::headless::RedrawCount();
    platform::headless::PostEvent({platform::WindowEventKind::Exposed, 0, 0});
    ProcessMessage(); // no source, nothing presented: a black fill
    EXPECT_EQ(platform::headless::RedrawCount(), redraws + 1);
    gSourceGiven = true;
    platform::headless::PostEvent({platform::WindowEventKind::Exposed, 0, 0});
    ProcessMessage();
    EXPECT_EQ(platform::headless::RedrawCount(), redraws + 2);
    EXPECT_EQ(platform::Presentation().PresentedFrames(), frames); // repaints are no frames
    ShutdownRuntime();
    core::Subsystems().repaintSource = nullptr;
}

void ScreenMode24(int* width, int* height, int* bits) {
    *width = 800;
    *height = 600;
    *bits = 24;
}

TEST_F(StartupTest, TwentyFourBitScreenIsRefusedBeforeAnythingStarts) {
    core::Subsystems().screenMode = &ScreenMode24;
    EXPECT_EQ(StartRuntime(), -1);
    core::Subsystems().screenMode = nullptr;
    EXPECT_EQ(core::Core().initialising, 0);
    const auto log = Log();
    EXPECT_EQ(test::CountLines(
                  log, Sjis("Ｖｅｌｏｘライブラリは２４ビットカラーモードに対応していません")),
              1);
    EXPECT_EQ(test::FindLineStartingWith(log, Sjis("システムの情報")), -1);
}

std::atomic<int> gGraphicsEnded{0};
int FailingGraphics() {
    return -1;
}
void EndGraphics() {
    ++gGraphicsEnded;
}

TEST_F(StartupTest, FailingGraphicsLayerShutsTheRuntimeDown) {
    core::Subsystems().startGraphics = &FailingGraphics;
    core::Subsystems().endGraphics = &EndGraphics;
    EXPECT_EQ(StartRuntime(), -1);
    core::Subsystems().startGraphics = nullptr;
    core::Subsystems().endGraphics = nullptr;
    EXPECT_EQ(gGraphicsEnded.load(), 1);
    EXPECT_EQ(core::Core().started, 0);
    EXPECT_EQ(core::Core().initialising, 0);
    EXPECT_EQ(core::Core().serviceThreadRunning, 0);
    EXPECT_TRUE(test::ContainsInOrder(
        Log(), {Sjis("入力関連の初期化をしました"), Sjis("入力関連の終了処理... 完了"),
                Sjis("ソフトを終了する準備が整いました"), Sjis("ＣＯＭを終了... 完了")}));
}

// Holds the lock file of a class in a child process until the pipe closes.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
            char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 1 : 0;
            (void)!write(ready[1], &ok, 1);
            char c;
            (void)!read(release[0], &c, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char ok = 0;
        locked_ = read(ready[0], &ok, 1) == 1 && ok == 1;
        close(ready[0]);
    }
    ~LockHolder() {
        if (release_ >= 0) {
            close(release_);
        }
        if (pid_ > 0) {
            waitpid(pid_, nullptr, 0);
        }
    }
    bool locked() const { return locked_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool locked_ = false;
};

TEST_F(StartupTest, SecondRunningCopyIsRefused) {
    LockHolder other(runDirectory_ + "/D123987X.lock");
    ASSERT_TRUE(other.locked());
    EXPECT_EQ(StartRuntime(), -1);
    EXPECT_EQ(core::Core().windowExists, 0);
    const auto log = Log();
    EXPECT_TRUE(test::ContainsInOrder(
        log, {Sjis(" ソフトの二重起動検査... 二重起動されています、ソフトを終了します"),
              Sjis("ＣＯＭを終了... 完了")}));
    EXPECT_EQ(test::FindLineStartingWith(log, Sjis("ウインドウクラスを登録します")), -1);
    EXPECT_EQ(ShutdownRuntime(), 0);
}

TEST_F(StartupTest, SecondCopyMayBeAllowedAndTheClassNameNamesTheLock) {
    SetWindowClassName("StoryClass");
    LockHolder other(runDirectory_ + "/StoryClass.lock");
    ASSERT_TRUE(other.locked());
    SetAllowSecondInstance(1);
    EXPECT_EQ(StartRuntime(), 0);
    EXPECT_TRUE(test::ContainsInOrder(
        Log(), {Sjis(" ソフトの二重起動検査... 二重起動されていますが続行します")}));
    ShutdownRuntime();
}

TEST_F(StartupTest, TheLockIsFreeAgainAfterShutdown) {
    SetWindowTitle("Title/One");
    ASSERT_EQ(StartRuntime(), 0);
    // The class name was taken from the title; '/' cannot stand in a file name.
    const std::string path = runDirectory_ + "/Title_One.lock";
    {
        LockHolder during(path);
        EXPECT_FALSE(during.locked());
    }
    ShutdownRuntime();
    LockHolder after(path);
    EXPECT_TRUE(after.locked());
}

TEST_F(StartupTest, FatalErrorShutsTheRuntimeDownAndEndsTheProcess) {
    EXPECT_EXIT(
        {
            StartRuntime();
            FatalError("broken");
        },
        ::testing::ExitedWithCode(255), "");
    EXPECT_TRUE(test::ContainsInOrder(Log(), {"broken", Sjis("入力関連の終了処理... 完了"),
                                              Sjis("ソフトを終了する準備が整いました"),
                                              Sjis("ＣＯＭを終了... 完了")}));
}

TEST(GetMilliCount, ReadsTheMillisecondTimer) {
    const int before = int(platform::MilliCount());
    const int value = GetMilliCount();
    EXPECT_GE(value - before, 0);
    EXPECT_LE(value - before, 1000);
}

} // namespace
} // namespace velox
