// The windowed player under a virtual X display: the window manager's close request and
// the stop signals end the show wherever it is, promptly, with the documented status; the
// mode-switch keys change between window and full screen while it plays; --watch replays
// a saved story in the window it has.
#include "PlayerRun.h"
#include "support/ChildProcess.h"
#include "support/PngFile.h"
#include "support/VirtualDisplay.h"

// gtest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velox::player {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class WindowEnding : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // Mesa's software GL, which a window's renderer loads, runs under the race detector
        // too and makes a windowed start-up take longer than any wait here on a loaded
        // machine. The plain and ASan suites run these; every headless player test runs
        // under ThreadSanitizer.
        GTEST_SKIP() << "windowed runs are too slow under ThreadSanitizer";
#endif
        if (!display_.Start()) {
            GTEST_SKIP() << "Xvfb could not start";
        }
        x_ = XOpenDisplay(display_.name().c_str());
        ASSERT_NE(x_, nullptr);
        // A window may vanish between listing and asking about it; that is no failure.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    void TearDown() override {
        running_.clear();
        if (x_) {
            XCloseDisplay(x_);
        }
    }

    // Starts the player in the test folder on the virtual display; its output goes to
    // dir/output.txt.
    test::ChildProcess& Start(const std::string& arguments) {
        test::Environment environment = {{"DISPLAY", display_.name()},
                                         {"XDG_RUNTIME_DIR", dir_.path()},
                                         {"SDL_VIDEODRIVER", "x11"},
                                         {"WAYLAND_DISPLAY", std::nullopt}};
        // A windowed player loads the system's GL driver for its renderer, which keeps a
        // block from its set-up and unloads its own module before the leak report can
        // name it; the headless runs keep the leak check.
        if (const char* asan = getenv("ASAN_OPTIONS")) {
            environment.emplace_back("ASAN_OPTIONS", std::string(asan) + ":detect_leaks=0");
        }
        test::ChildProcess& player = running_.emplace_back();
        player.Start("cd '" + dir_.path() + "' && exec '" VELOX_PLAYER_BINARY "' " + arguments +
                         " >>output.txt 2>&1",
                     environment);
        return player;
    }

    // The mapped top-level window of process pid (by its _NET_WM_PID), waiting for it up
    // to 10 s; 0 when none came.
    ::Window PlayerWindow(pid_t pid) {
        const Atom pidAtom = XInternAtom(x_, "_NET_WM_PID", False);
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            ::Window root = 0, parent = 0, *children = nullptr;
            unsigned count = 0;
            ::Window found = 0;
            if (XQueryTree(x_, DefaultRootWindow(x_), &root, &parent, &children, &count)) {
                for (unsigned i = 0; i < count && found == 0; ++i) {
                    XWindowAttributes a;
                    if (XGetWindowAttributes(x_, children[i], &a) && a.map_state == IsViewable &&
                        WindowPid(children[i], pidAtom) == long(pid)) {
                        found = children[i];
                    }
                }
                XFree(children);
            }
            if (found != 0) {
                return found;
            }
            std::this_thread::sleep_for(20ms);
        }
        return 0;
    }

    // The window once start-up is over: making its renderer may replace the first window
    // SDL maps, so the window is asked for again until the same one answers twice.
    ::Window SettledWindow(pid_t pid) {
        ::Window window = PlayerWindow(pid);
        for (int tries = 0; window != 0 && tries < 50; ++tries) {
            std::this_thread::sleep_for(100ms);
            const ::Window again = PlayerWindow(pid);
            if (again == window) {
                return window;
            }
            window = again;
        }
        return window;
    }

    long WindowPid(::Window window, Atom pidAtom) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        long pid = -1;
        if (XGetWindowProperty(x_, window, pidAtom, 0, 1, False, AnyPropertyType, &type, &format,
                               &items, &after, &data) == Success &&
            data && items == 1 && format == 32) {
            pid = *reinterpret_cast<long*>(data);
        }
        if (data) {
            XFree(data);
        }
        return pid;
    }

    void SendCloseRequest(::Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(x_, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(x_, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x_, window, False, NoEventMask, &event);
        XFlush(x_);
    }

    int RunToEnd(const std::string& arguments) {
        return Start(arguments).ExitWithin(20s);
    }

    // Gives the window the keyboard focus (there is no window manager to do it) and
    // presses the key there.
    void Press(::Window window, const char* key) {
        ASSERT_TRUE(Run({"xdotool", "windowfocus", std::to_string(window)}));
        ASSERT_TRUE(Run({"xdotool", "key", "--delay", "0", key}));
    }

    // Waits up to 5 s for the window to take the given size.
    bool BecomesSize(::Window window, int width, int height) {
        const auto deadline = Clock::now() + 5s;
        while (Clock::now() < deadline) {
            XWindowAttributes a;
            if (XGetWindowAttributes(x_, window, &a) && a.width == width && a.height == height) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    bool Run(const std::vector<std::string>& args) {
        return test::RunProgram(args, nullptr, {{"DISPLAY", display_.name()}}) == 0;
    }

    test::VirtualDisplay display_;
    Display* x_ = nullptr;
    test::TempDir dir_;
    std::deque<test::ChildProcess> running_; // references to it stay valid as it grows
};

// The show reacts within a frame or two and shuts down in well under half a second on an
// idle machine; the margin is for a loaded one running other tests beside. Sanitizer
// builds run several times slower.
// kStartUp is how long a show takes to reach its first line; kSettle how long a switch
// between window and full screen takes to be over.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto kPromptly = 4000ms;
constexpr auto kStartUp = 6000ms;
constexpr auto kSettle = 3000ms;
#else
constexpr auto kPromptly = 1500ms;
constexpr auto kStartUp = 1500ms;
constexpr auto kSettle = 1000ms;
#endif

TEST_F(WindowEnding, CloseRequestEndsTheShowWhereverItIs) {
    ASSERT_TRUE(test::WritePng(dir_.path() + "/a.png", 8, 8, std::vector<uint32_t>(64, ~0u)));
    struct Case {
        const char* name;
        const char* story;
        bool pause;
        int status;
    };
    for (const Case& c : {
             Case{"playing", "wait 1000\r\n", false, 0},
             Case{"moving",
                  "loadimage 1,\"a.png\"\r\nshowimage 1,100,0,0,0,0,255,255,0,0\r\n"
                  "moveimage 100,700,500,0,0,255,255,0,1000\r\n",
                  false, 0},
             Case{"paused", "wait 1000\r\n", true, 0},
             Case{"closing screen", "wait 0\r\n", false, 0},
             Case{"error screen", "loadimage 12,\"a.png\"\r\n", false, 1},
         }) {
        dir_.Write("output.txt", "");
        SCOPED_TRACE(c.name);
        dir_.Write("story.txt", c.story);
        test::ChildProcess& player = Start("--windowed");
        ::Window window = PlayerWindow(player.pid());
        ASSERT_NE(window, 0u);
        // Past start-up: the show is where the case says.
        std::this_thread::sleep_for(kStartUp);
        window = SettledWindow(player.pid());
        ASSERT_NE(window, 0u);
        if (c.pause) {
            Press(window, "space");
            std::this_thread::sleep_for(200ms);
        }
        SendCloseRequest(window);
        EXPECT_EQ(player.ExitWithin(kPromptly), c.status) << dir_.Read("output.txt");
        if (player.ExitWithin(10s) != -1) {
            ADD_FAILURE() << "still running after the close request";
        }
    }
}

TEST_F(WindowEnding, StopSignalsEndTheShowCleanlyWithTheirOwnStatus) {
    dir_.Write("story.txt", "wait 1000\r\n");
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        test::ChildProcess& player = Start("--windowed");
        ASSERT_NE(PlayerWindow(player.pid()), 0u);
        std::this_thread::sleep_for(1500ms);
        player.Signal(signal);
        EXPECT_EQ(player.ExitWithin(kPromptly), 128 + signal) << dir_.Read("output.txt");
    }
    // A headless render stopped midway still leaves a whole sound file behind.
    // The signal goes once the first line runs (its trace line is out): by then the
    // player's handlers are in place, however slowly a loaded machine started it.
    dir_.Write("output.txt", "");
    test::ChildProcess& player = Start("--headless --trace --audio-out out.wav");
    for (int i = 0; i < 200 && dir_.Read("output.txt").find("story.txt:1:") == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(50ms);
    }
    player.Signal(SIGINT);
    EXPECT_EQ(player.ExitWithin(5s), 130) << dir_.Read("output.txt");
    const std::string wav = dir_.Read("out.wav");
    ASSERT_GE(wav.size(), 44u);
    const uint32_t riffSize = uint8_t(wav[4]) | uint8_t(wav[5]) << 8 | uint8_t(wav[6]) << 16 |
                              uint32_t(uint8_t(wav[7])) << 24;
    EXPECT_EQ(riffSize, wav.size() - 8);
}

TEST_F(WindowEnding, F11AndAltEnterSwitchBetweenWindowAndFullScreen) {
    dir_.Write("story.txt", "wait 1000\r\n");
    test::ChildProcess& player = Start("--windowed");
    ASSERT_NE(PlayerWindow(player.pid()), 0u);
    std::this_thread::sleep_for(kStartUp);
    ::Window window = SettledWindow(player.pid());
    ASSERT_TRUE(BecomesSize(window, 800, 600));
    // The window takes its new size before the switch is over; the next key waits for it.
    Press(window, "F11");
    EXPECT_TRUE(BecomesSize(window, 1024, 768)) << "F11 did not make it full screen";
    std::this_thread::sleep_for(kSettle);
    Press(window, "F11");
    EXPECT_TRUE(BecomesSize(window, 800, 600)) << "F11 did not bring the window back";
    std::this_thread::sleep_for(kSettle);
    Press(window, "alt+Return");
    EXPECT_TRUE(BecomesSize(window, 1024, 768)) << "Alt+Enter did not make it full screen";
    // The show went on through the switches, and still ends as it should. A key pressed
    // while a switch is still settling may be lost, so a loaded machine gets a few tries.
    std::this_thread::sleep_for(kSettle);
    int status = -1;
    for (int tries = 0; tries < 4 && status == -1; ++tries) {
        // Not asserted: the window may be gone by now, if the last try was taken after all.
        Run({"xdotool", "windowfocus", std::to_string(window)});
        Run({"xdotool", "key", "--delay", "0", "Escape"});
        status = player.ExitWithin(kSettle);
    }
    EXPECT_EQ(status, 0) << dir_.Read("output.txt");
}

TEST_F(WindowEnding, WatchReplaysASavedStoryInTheSameWindow) {
    dir_.Write("story.txt", "wait 1000\r\n");
    test::ChildProcess& player = Start("--windowed --watch --trace");
    ASSERT_NE(PlayerWindow(player.pid()), 0u);
    std::this_thread::sleep_for(kStartUp);
    const ::Window window = SettledWindow(player.pid());
    ASSERT_NE(window, 0u);
    dir_.Write("story.new", "wait 999\r\n");
    ASSERT_EQ(
        std::rename((dir_.path() + "/story.new").c_str(), (dir_.path() + "/story.txt").c_str()), 0);
    const auto deadline = Clock::now() + 2 * kPromptly;
    while (dir_.Read("output.txt").find("story.txt:1: wait 999") == std::string::npos &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    const std::string output = dir_.Read("output.txt");
    EXPECT_NE(output.find("story.txt changed from line 1 on; playing again from there\n"
                          "story.txt:1: wait 999  [frame 0, "),
              std::string::npos)
        << output;
    EXPECT_EQ(PlayerWindow(player.pid()), window) << "the window was not kept";
    int status = -1;
    for (int tries = 0; tries < 4 && status == -1; ++tries) {
        Run({"xdotool", "windowfocus", std::to_string(window)});
        Run({"xdotool", "key", "--delay", "0", "Escape"});
        status = player.ExitWithin(kSettle);
    }
    EXPECT_EQ(status, 0) << dir_.Read("output.txt");
}

TEST_F(WindowEnding, OnlyWindowedShowsHoldTheSingleInstanceLock) {
    dir_.Write("story.txt", "wait 1000\r\n");
    dir_.Write("short/story.txt", "wait 1\r\n");
    test::ChildProcess& first = Start("--windowed");
    ASSERT_NE(PlayerWindow(first.pid()), 0u);
    // Renders run beside the window, and beside each other.
    test::ChildProcess& render = Start("short --headless");
    EXPECT_EQ(RunToEnd("short --headless"), 0) << dir_.Read("output.txt");
    EXPECT_EQ(render.ExitWithin(20s), 0) << dir_.Read("output.txt");
    // A second window is refused: it cannot start.
    EXPECT_EQ(RunToEnd("short --windowed"), 3) << dir_.Read("output.txt");
    first.Signal(SIGTERM);
    EXPECT_EQ(first.ExitWithin(5s), 128 + SIGTERM);
}

} // namespace
} // namespace velox::player
