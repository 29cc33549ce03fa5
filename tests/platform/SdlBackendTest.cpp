// The SDL backend in a virtual X display: a real window, a picture read back from the X
// server, and a key sent through the X server's test extension.
#include "core/Subsystems.h"
#include "platform/Backend.h"
#include "platform/Presentation.h"
#include "platform/Window.h"
#include "support/ChildProcess.h"
#include "support/LogLines.h"
#include "support/TempDir.h"
#include "support/VirtualDisplay.h"
#include "velox/velox.h"

#include <X11/Xlib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velox {
namespace {

using namespace std::chrono_literals;

// SDL loads and unloads the GL driver with each window; the driver's lasting blocks would
// then show as leaks of an unknown module. Kept loaded, they stay reachable.
void PinGraphicsDriver() {
    for (const char* library :
         {"libGL.so.1", "libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"}) {
        dlopen(library, RTLD_NOW | RTLD_NODELETE);
    }
}

// A window dump in X's own format (xwd): a big-endian header, a colour table, then rows.
class WindowDump {
public:
    bool Parse(const std::string& data) {
        data_ = data;
        if (data_.size() < 100) {
            return false;
        }
        const uint32_t headerSize = Field(0);
        const uint32_t format = Field(2);
        width_ = int(Field(4));
        height_ = int(Field(5));
        byteOrder_ = Field(7);
        bitsPerPixel_ = Field(11);
        bytesPerLine_ = Field(12);
        masks_[0] = Field(14);
        masks_[1] = Field(15);
        masks_[2] = Field(16);
        const uint32_t colours = Field(19);
        offset_ = size_t(headerSize) + size_t(colours) * 12;
        return format == 2 && bitsPerPixel_ == 32 &&
               data_.size() >= offset_ + size_t(bytesPerLine_) * size_t(height_);
    }
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixel as 0x00RRGGBB.
    uint32_t Pixel(int x, int y) const {
        const size_t at = offset_ + size_t(y) * bytesPerLine_ + size_t(x) * 4;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const uint32_t byte = uint8_t(data_[at + size_t(i)]);
            v |= byteOrder_ == 0 ? byte << (8 * i) : byte << (8 * (3 - i));
        }
        uint32_t rgb = 0;
        for (int c = 0; c < 3; ++c) {
            const uint32_t mask = masks_[c];
            const uint32_t value = mask ? (v & mask) >> __builtin_ctz(mask) : 0;
            rgb = (rgb << 8) | (value & 0xFF);
        }
        return rgb;
    }

private:
    uint32_t Field(int i) const {
        const auto* p = reinterpret_cast<const uint8_t*>(data_.data()) + i * 4;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }
    std::string data_;
    int width_ = 0;
    int height_ = 0;
    uint32_t byteOrder_ = 0;
    uint32_t bitsPerPixel_ = 0;
    uint32_t bytesPerLine_ = 0;
    uint32_t masks_[3] = {};
    size_t offset_ = 0;
};

// Asks the window to close as a window manager does: a WM_DELETE_WINDOW message.
bool SendCloseRequest(const std::string& display, uint64_t window) {
    Display* x = XOpenDisplay(display.c_str());
    if (!x) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(x, Window(window), False, NoEventMask, &event);
    XCloseDisplay(x);
    return sent != 0;
}

void Screen800x600(int* width, int* height, int* bits) {
    *width = 800;
    *height = 600;
    *bits = 32;
}

// The known picture: four quadrants and a white square at (100, 100)-(109, 109).
uint32_t Expected(int x, int y) {
    if (x >= 100 && x < 110 && y >= 100 && y < 110) {
        return 0xFFFFFF;
    }
    if (y < 300) {
        return x < 400 ? 0xFF0000 : 0x00FF00;
    }
    return x < 400 ? 0x0000FF : 0x804020;
}

class SdlBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedDirectory_ = std::filesystem::current_path().string();
        ASSERT_EQ(chdir(dir_.path().c_str()), 0);
        setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("SDL_VIDEODRIVER", "x11", 1);
        PinGraphicsDriver();
        ASSERT_TRUE(platform::SelectBackend(platform::BackendOptions{}));
        core::Subsystems().screenMode = &Screen800x600;
    }
    void TearDown() override {
        core::Subsystems().screenMode = nullptr;
        (void)chdir(savedDirectory_.c_str());
    }

    // Starts the virtual display and the runtime in an 800 x 600 window.
    void StartWindowed() {
        if (!display_.Start()) {
            GTEST_SKIP() << "Xvfb could not start";
        }
        setenv("DISPLAY", display_.name().c_str(), 1);
        ChangeWindowMode(1);
        SetWindowTitle("VeloxSdlTest");
        ASSERT_EQ(StartRuntime(), 0);
        window_ = platform::Window().NativeId();
        ASSERT_NE(window_, 0u);
    }

    void PresentKnownPicture() {
        picture_.assign(800 * 600, 0);
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 800; ++x) {
                picture_[size_t(y) * 800 + size_t(x)] = Expected(x, y);
            }
        }
        ASSERT_TRUE(platform::Presentation().Present(picture_.data(), 800, 600, 800 * 4));
    }

    ::testing::AssertionResult WindowShowsTheKnownPicture() {
        std::string xwd;
        if (test::RunProgram({"xwd", "-silent", "-id", std::to_string(window_)}, &xwd) != 0) {
            return ::testing::AssertionFailure() << "xwd failed";
        }
        WindowDump dump;
        if (!dump.Parse(xwd)) {
            return ::testing::AssertionFailure() << "unreadable window dump";
        }
        if (dump.width() != 800 || dump.height() != 600) {
            return ::testing::AssertionFailure()
                   << "window " << dump.width() << " x " << dump.height();
        }
        const int points[][2] = {{0, 0},     {399, 299}, {400, 0},   {799, 299},
                                 {0, 300},   {399, 599}, {400, 300}, {799, 599},
                                 {100, 100}, {109, 109}, {110, 110}, {99, 105}};
        for (const auto& p : points) {
            const uint32_t got = dump.Pixel(p[0], p[1]);
            if (got != Expected(p[0], p[1])) {
                char text[96];
                std::snprintf(text, sizeof text, "pixel (%d, %d) is 0x%06X, not 0x%06X", p[0], p[1],
                              got, Expected(p[0], p[1]));
                return ::testing::AssertionFailure() << text;
            }
        }
        return ::testing::AssertionSuccess();
    }

    // Calls GetAllKeyState until key code `code` reads `down`, for at most 5 s.
    bool KeyReads(int code, int down) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        char keys[256];
        while (std::chrono::steady_clock::now() < deadline) {
            GetAllKeyState(keys);
            if (keys[code] == down) {
                return true;
            }
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    void Pump(std::chrono::milliseconds duration) {
        const auto end = std::chrono::steady_clock::now() + duration;
        while (std::chrono::steady_clock::now() < end) {
            ProcessMessage();
            std::this_thread::sleep_for(2ms);
        }
    }

    test::TempDir dir_;
    std::string savedDirectory_;
    test::VirtualDisplay display_;
    uint64_t window_ = 0;
    std::vector<uint32_t> picture_;
};

TEST_F(SdlBackendTest, WindowShowsThePresentedPictureAndEscapeReadsAsKeyCodeOne) {
    StartWindowed();
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    PresentKnownPicture();
    Pump(100ms);
    EXPECT_TRUE(WindowShowsTheKnownPicture());

    const std::string id = std::to_string(window_);
    ASSERT_EQ(test::RunProgram({"xdotool", "windowfocus", "--sync", id}), 0);
    char keys[256];
    GetAllKeyState(keys);
    EXPECT_EQ(keys[1], 0);
    ASSERT_EQ(test::RunProgram({"xdotool", "keydown", "Escape"}), 0);
    EXPECT_TRUE(KeyReads(1, 1));
    GetAllKeyState(keys);
    int down = 0;
    for (char k : keys) {
        down += k;
    }
    EXPECT_EQ(down, 1);
    ASSERT_EQ(test::RunProgram({"xdotool", "keyup", "Escape"}), 0);
    EXPECT_TRUE(KeyReads(1, 0));
    // A press shorter than the time between two reads still reads as down, once.
    ASSERT_EQ(test::RunProgram({"xdotool", "key", "--delay", "0", "space"}), 0);
    std::this_thread::sleep_for(50ms);
    GetAllKeyState(keys);
    EXPECT_EQ(keys[57], 1);
    std::this_thread::sleep_for(2ms);
    GetAllKeyState(keys);
    EXPECT_EQ(keys[57], 0);
    EXPECT_EQ(ShutdownRuntime(), 0);
    EXPECT_FALSE(platform::Window().Exists());
}

TEST_F(SdlBackendTest, FullScreenScalesThePictureToFitBetweenBlackBars) {
    if (!display_.Start("1280x720x24")) {
        GTEST_SKIP() << "Xvfb could not start";
    }
    setenv("DISPLAY", display_.name().c_str(), 1);
    ChangeWindowMode(0);
    ASSERT_EQ(StartRuntime(), 0);
    window_ = platform::Window().NativeId();
    ASSERT_NE(window_, 0u);
    PresentKnownPicture();
    Pump(200ms);
    std::string xwd;
    ASSERT_EQ(test::RunProgram({"xwd", "-silent", "-id", std::to_string(window_)}, &xwd), 0);
    WindowDump dump;
    ASSERT_TRUE(dump.Parse(xwd));
    ASSERT_EQ(dump.width(), 1280);
    ASSERT_EQ(dump.height(), 720);
    // 800 x 600 scaled by 720 / 600 = 1.2 is 960 x 720, centred: bars 160 pixels wide.
    for (int y : {0, 360, 719}) {
        EXPECT_EQ(dump.Pixel(0, y), 0u);
        EXPECT_EQ(dump.Pixel(150, y), 0u);
        EXPECT_EQ(dump.Pixel(1130, y), 0u);
        EXPECT_EQ(dump.Pixel(1279, y), 0u);
    }
    // Quadrant centres (picture (200, 150) -> window (400, 180) and so on).
    EXPECT_EQ(dump.Pixel(400, 180), Expected(200, 150));
    EXPECT_EQ(dump.Pixel(880, 180), Expected(600, 150));
    EXPECT_EQ(dump.Pixel(400, 540), Expected(200, 450));
    EXPECT_EQ(dump.Pixel(880, 540), Expected(600, 450));
    // The white square (100..109) lands on 280..291 x 120..131.
    EXPECT_EQ(dump.Pixel(285, 125), 0xFFFFFFu);
    ShutdownRuntime();
}

TEST_F(SdlBackendTest, WindowModeSwitchesBothWaysAndWaitsForTheDisplayChange) {
    if (!display_.Start("1280x720x24")) {
        GTEST_SKIP() << "Xvfb could not start";
    }
    setenv("DISPLAY", display_.name().c_str(), 1);
    ChangeWindowMode(1);
    ASSERT_EQ(StartRuntime(), 0);
    int width = 0, height = 0;
    ASSERT_TRUE(platform::Window().ClientSize(width, height));
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);

    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(ChangeWindowMode(0), 0);
    // The switch ends on its display change, well before the 2 s limit of the wait.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1500ms);
    ASSERT_TRUE(platform::Window().ClientSize(width, height));
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 720);

    EXPECT_EQ(ChangeWindowMode(1), 0);
    Pump(100ms);
    ASSERT_TRUE(platform::Window().ClientSize(width, height));
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    ShutdownRuntime();
}

TEST_F(SdlBackendTest, ExposedWindowIsRepaintedFromTheLastPicture) {
    StartWindowed();
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    PresentKnownPicture();
    const uint64_t frames = platform::Presentation().PresentedFrames();
    Pump(100ms);
    ASSERT_TRUE(WindowShowsTheKnownPicture());
    const std::string id = std::to_string(window_);
    ASSERT_EQ(test::RunProgram({"xdotool", "windowunmap", "--sync", id}), 0);
    ASSERT_EQ(test::RunProgram({"xdotool", "windowmap", "--sync", id}), 0);
    // Unmapping took the focus away; without it the pump would wait for reactivation.
    ASSERT_EQ(test::RunProgram({"xdotool", "windowfocus", "--sync", id}), 0);
    Pump(200ms);
    EXPECT_TRUE(WindowShowsTheKnownPicture());
    EXPECT_EQ(platform::Presentation().PresentedFrames(), frames); // a repaint is no frame
    ShutdownRuntime();
}

TEST_F(SdlBackendTest, ClosingTheWindowMakesTheMessagePumpReportTheEnd) {
    StartWindowed();
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    ASSERT_TRUE(SendCloseRequest(display_.name(), window_));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    int result = 0;
    while (result == 0 && std::chrono::steady_clock::now() < deadline) {
        result = ProcessMessage();
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(ShutdownRuntime(), 0);
}

TEST_F(SdlBackendTest, WithoutADisplayStartUpFailsCleanly) {
    unsetenv("DISPLAY");
    ChangeWindowMode(0);
    EXPECT_EQ(StartRuntime(), -1);
    EXPECT_FALSE(platform::Window().Exists());
    const auto log = test::ReadLogLines(dir_.path() + "/Log.txt");
    EXPECT_TRUE(test::ContainsInOrder(
        log, {test::Sjis("フルスクリーンモード用のウインドウを作成します"),
              test::Sjis("ウインドウの作成に失敗しました"), test::Sjis("ＣＯＭを終了... 完了")}));
    EXPECT_EQ(ShutdownRuntime(), 0);
}

} // namespace
} // namespace velox
