#include "platform/Backend.h"
#include "platform/Clock.h"
#include "platform/Keyboard.h"
#include "platform/Presentation.h"
#include "platform/Window.h"
#include "platform/headless/Headless.h"
#include "support/PngFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace velox {
namespace {

namespace headless = platform::headless;
using platform::WindowEvent;
using platform::WindowEventKind;

// An 8-bit RGB PNG file, as the frame dump writes them; an empty picture otherwise.
test::Picture ReadRgbPng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(26, '\0');
    in.read(head.data(), std::streamsize(head.size()));
    test::Picture picture;
    if (!in || head[24] != 8 || head[25] != PNG_COLOR_TYPE_RGB || !test::ReadPng(path, picture)) {
        return test::Picture{};
    }
    return picture;
}

platform::BackendOptions Headless(const std::string& dumpDirectory = "") {
    platform::BackendOptions options;
    options.kind = platform::BackendKind::Headless;
    options.frameDumpDirectory = dumpDirectory;
    return options;
}

class HeadlessBackendTest : public ::testing::Test {
protected:
    void TearDown() override {
        platform::BackendOptions sdl;
        platform::SelectBackend(sdl);
    }
    test::TempDir dir_;
};

TEST_F(HeadlessBackendTest, SelectingItInstallsAFreshVirtualClockAndSdlRemovesIt) {
    ASSERT_TRUE(platform::SelectBackend(Headless()));
    EXPECT_EQ(platform::CurrentBackend(), platform::BackendKind::Headless);
    EXPECT_EQ(&platform::CurrentClock(), &headless::Clock());
    platform::SleepMillis(250);
    EXPECT_EQ(platform::MilliCount(), 250u);
    ASSERT_TRUE(platform::SelectBackend(Headless()));
    EXPECT_EQ(headless::Clock().PeekNanos(), 0u);
    ASSERT_TRUE(platform::SelectBackend(platform::BackendOptions{}));
    EXPECT_EQ(platform::CurrentBackend(), platform::BackendKind::Sdl);
    EXPECT_EQ(&platform::CurrentClock(), &platform::SystemClock());
}

TEST_F(HeadlessBackendTest, EveryPresentedPictureBecomesANumberedPngFile) {
    const std::string frames = dir_.path() + "/out/frames";
    ASSERT_TRUE(platform::SelectBackend(Headless(frames)));
    ASSERT_TRUE(platform::Window().Create({}));
    // A 3 x 2 picture in rows of 4 pixels: the padding must not show.
    const uint32_t picture[2][4] = {{0x00FF0000, 0x0000FF00, 0x000000FF, 0xDEADBEEF},
                                    {0xFF102030, 0x00FFFFFF, 0x00000000, 0xDEADBEEF}};
    platform::SleepMillis(40); // the first picture's list entry still starts at 0
    EXPECT_TRUE(platform::Presentation().Present(&picture[0][0], 3, 2, 16));
    platform::SleepMillis(100);
    const uint32_t single = 0x00808080;
    EXPECT_TRUE(platform::Presentation().Present(&single, 1, 1, 4));
    EXPECT_EQ(platform::Presentation().PresentedFrames(), 2u);
    platform::SleepMillis(50);
    // Pictures are written behind the show; finishing waits for all of them.
    ASSERT_TRUE(headless::FinishFrameDump(headless::Clock().PeekNanos()));
    EXPECT_EQ(dir_.Read("out/frames/frames.ffconcat"), "ffconcat version 1.0\n"
                                                       "file 000001.png\nduration 0.140000\n"
                                                       "file 000002.png\nduration 0.050000\n"
                                                       "file 000002.png\n");

    const test::Picture first = ReadRgbPng(frames + "/000001.png");
    ASSERT_EQ(first.width, 3);
    ASSERT_EQ(first.height, 2);
    const std::vector<uint32_t> expected = {0xFF0000, 0x00FF00, 0x0000FF,
                                            0x102030, 0xFFFFFF, 0x000000};
    EXPECT_EQ(first.pixels, expected);
    const test::Picture second = ReadRgbPng(frames + "/000002.png");
    ASSERT_EQ(second.width, 1);
    EXPECT_EQ(second.pixels, (std::vector<uint32_t>{0x808080}));
    EXPECT_FALSE(std::filesystem::exists(frames + "/000003.png"));

    int width = 0, height = 0;
    const auto& last = headless::LastPicture(width, height);
    EXPECT_EQ(width, 1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0], single);
}

TEST_F(HeadlessBackendTest, APictureThatCannotBeWrittenFailsTheDump) {
    const std::string frames = dir_.path() + "/gone";
    ASSERT_TRUE(platform::SelectBackend(Headless(frames)));
    ASSERT_TRUE(platform::Window().Create({}));
    std::filesystem::remove_all(frames);
    const uint32_t pixel = 0x00123456;
    platform::Presentation().Present(&pixel, 1, 1, 4);
    EXPECT_FALSE(headless::FinishFrameDump(headless::Clock().PeekNanos()));
    // The next run starts clean.
    ASSERT_TRUE(platform::SelectBackend(Headless(frames)));
    ASSERT_TRUE(platform::Window().Create({}));
    EXPECT_TRUE(platform::Presentation().Present(&pixel, 1, 1, 4));
    EXPECT_TRUE(headless::FinishFrameDump(headless::Clock().PeekNanos()));
    EXPECT_TRUE(std::filesystem::exists(frames + "/000001.png"));
}

TEST_F(HeadlessBackendTest, RepaintsAreNoFramesAndNothingIsShownWithoutAWindow) {
    ASSERT_TRUE(platform::SelectBackend(Headless(dir_.path())));
    const uint32_t pixel = 0x00123456;
    EXPECT_FALSE(platform::Presentation().Present(&pixel, 1, 1, 4));
    EXPECT_FALSE(platform::Presentation().Fill(0));
    ASSERT_TRUE(platform::Window().Create({}));
    EXPECT_FALSE(platform::Presentation().RedrawLast()); // nothing presented yet
    EXPECT_FALSE(platform::Presentation().Present(nullptr, 1, 1, 4));
    EXPECT_FALSE(platform::Presentation().Present(&pixel, 1, 1, 2)); // pitch below a row
    EXPECT_TRUE(platform::Presentation().Present(&pixel, 1, 1, 4));
    EXPECT_TRUE(platform::Presentation().RedrawLast());
    EXPECT_TRUE(platform::Presentation().Fill(0));
    EXPECT_EQ(headless::RedrawCount(), 2u);
    EXPECT_EQ(platform::Presentation().PresentedFrames(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/000002.png"));
    platform::Window().Destroy();
    EXPECT_FALSE(platform::Presentation().Present(&pixel, 1, 1, 4));
}

TEST_F(HeadlessBackendTest, AnUncreatableFrameDirectoryKeepsThePreviousBackend) {
    dir_.Write("file", "x");
    ASSERT_TRUE(platform::SelectBackend(platform::BackendOptions{}));
    EXPECT_FALSE(platform::SelectBackend(Headless(dir_.path() + "/file/frames")));
    EXPECT_EQ(platform::CurrentBackend(), platform::BackendKind::Sdl);
}

TEST_F(HeadlessBackendTest, EventsComeInOrderAndAStyleSwitchReportsADisplayChange) {
    ASSERT_TRUE(platform::SelectBackend(Headless()));
    WindowEvent event;
    EXPECT_FALSE(platform::Window().SetStyle(false, 800, 600)); // no window yet
    ASSERT_TRUE(platform::Window().Create({}));
    headless::PostEvent({WindowEventKind::FocusLost, 0, 0});
    headless::PostEvent({WindowEventKind::Resized, 640, 480});
    EXPECT_TRUE(platform::Window().SetStyle(false, 800, 600));
    ASSERT_TRUE(platform::Window().PollEvent(event));
    EXPECT_EQ(event.kind, WindowEventKind::FocusLost);
    ASSERT_TRUE(platform::Window().PollEvent(event));
    EXPECT_EQ(event.kind, WindowEventKind::Resized);
    EXPECT_EQ(event.width, 640);
    ASSERT_TRUE(platform::Window().PollEvent(event));
    EXPECT_EQ(event.kind, WindowEventKind::DisplayChanged);
    EXPECT_FALSE(platform::Window().PollEvent(event));
    int width = 0, height = 0;
    EXPECT_TRUE(platform::Window().ClientSize(width, height));
    EXPECT_EQ(width, 800);
}

TEST_F(HeadlessBackendTest, ScriptedKeysRepeatAndEndOnTheVirtualClock) {
    auto options = Headless();
    options.keys = {{57, 10, 20}, {57, 30, 31}, {300, 0, 100}};
    ASSERT_TRUE(platform::SelectBackend(options));
    uint8_t down[platform::kKeyCodeCount];
    auto spaceAt = [&](uint64_t us) {
        headless::Clock().SleepMicros(us - headless::Clock().PeekNanos() / 1000);
        platform::Keyboard().ReadKeyCodes(down);
        return down[57];
    };
    EXPECT_EQ(spaceAt(9999), 0);
    EXPECT_FALSE(headless::ScriptedKeysOver());
    EXPECT_EQ(spaceAt(10000), 1);
    EXPECT_EQ(spaceAt(19999), 1);
    EXPECT_EQ(spaceAt(20000), 0);
    EXPECT_EQ(spaceAt(30500), 1);
    EXPECT_EQ(spaceAt(31000), 0);
    // Reading the keys does not move the clock.
    EXPECT_EQ(headless::Clock().PeekNanos(), 31000000u);
    EXPECT_TRUE(headless::ScriptedKeysOver());
    headless::SetKeyDown(1, true);
    platform::Keyboard().ReadKeyCodes(down);
    EXPECT_EQ(down[1], 1);
    int count = 0;
    for (uint8_t d : down) {
        count += d;
    }
    EXPECT_EQ(count, 1);
}

TEST(BackendName, ParsesTheTwoBackends) {
    platform::BackendKind kind = platform::BackendKind::Sdl;
    EXPECT_TRUE(platform::ParseBackendName("headless", kind));
    EXPECT_EQ(kind, platform::BackendKind::Headless);
    EXPECT_TRUE(platform::ParseBackendName("sdl", kind));
    EXPECT_EQ(kind, platform::BackendKind::Sdl);
    EXPECT_FALSE(platform::ParseBackendName("SDL", kind));
    EXPECT_FALSE(platform::ParseBackendName("", kind));
    EXPECT_FALSE(platform::ParseBackendName(nullptr, kind));
    EXPECT_EQ(kind, platform::BackendKind::Sdl);
}

} // namespace
} // namespace velox
