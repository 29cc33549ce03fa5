// End to end: velox-player --headless --record on a short story, the file checked with
// ffprobe and decoded with ffmpeg (pictures and sound against the show's timeline), the
// frame dump's list of durations, and the refusal to overwrite earlier output.
#include "PlayerRun.h"
#include "player/StoryFiles.h"
#include "support/ChildProcess.h"
#include "support/PngFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace velox::player {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

std::string Capture(const std::string& command) {
    std::string out;
    test::RunShell(command, &out);
    return out;
}

// "key=value" lines of ffprobe's flat output for one stream kind ("v:0", "a:0").
std::string Probe(const std::string& file, const std::string& stream, const std::string& key) {
    std::string out =
        Capture("ffprobe -v error -select_streams " + stream + " -show_entries stream=" + key +
                " -of default=nw=1:nk=1 '" + file + "'");
    return out.substr(0, out.find('\n'));
}

// A photo-like picture: smooth gradients under a little pseudo-random texture.
std::vector<uint32_t> PhotoPixels() {
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
    uint32_t seed = 99;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int(seed >> 29) - 4;
            const int r = std::clamp(x * 255 / kWidth + noise, 0, 255);
            const int g = std::clamp(y * 255 / kHeight + noise, 0, 255);
            const int b =
                std::clamp(128 + int(100 * std::sin(x / 40.0 + y / 60.0)) + noise, 0, 255);
            pixels[size_t(y) * kWidth + size_t(x)] = 0xFF000000u | uint32_t(r << 16 | g << 8 | b);
        }
    }
    return pixels;
}

double Psnr(const std::vector<uint8_t>& rgb, size_t offset, const test::Picture& expected) {
    double squares = 0;
    for (size_t i = 0; i < expected.pixels.size(); ++i) {
        const uint32_t p = expected.pixels[i];
        for (int c = 0; c < 3; ++c) {
            const double d =
                double(rgb[offset + i * 3 + size_t(c)]) - double((p >> (16 - 8 * c)) & 0xFF);
            squares += d * d;
        }
    }
    const double mse = squares / double(expected.pixels.size() * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct ListEntry {
    std::string file;
    long long micros = -1; // -1: the closing entry without a duration
};

std::vector<ListEntry> ReadList(const std::string& text) {
    std::vector<ListEntry> entries;
    std::istringstream in(text);
    std::string word;
    in >> word >> word >> word; // ffconcat version 1.0
    while (in >> word) {
        if (word == "file") {
            entries.push_back({});
            in >> entries.back().file;
        } else if (word == "duration" && !entries.empty()) {
            std::string seconds;
            in >> seconds;
            const size_t dot = seconds.find('.');
            entries.back().micros =
                std::stoll(seconds.substr(0, dot)) * 1000000 + std::stoll(seconds.substr(dot + 1));
        }
    }
    return entries;
}

class RecordStory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::WritePng(dir.path() + "/photo.png", kWidth, kHeight, PhotoPixels()));
        ASSERT_TRUE(test::WritePng(dir.path() + "/blue.png", kWidth, kHeight,
                                   std::vector<uint32_t>(size_t(kWidth) * kHeight, 0xFF0000FFu)));
        // Ten milliseconds of a constant level: its onset is one sample.
        dir.Write("click.wav", test::MonoWaveOf(441, [](int) { return int16_t(12000); }));
        dir.Write("story.txt", "loadimage 0,\"photo.png\"\r\n"
                               "loadimage 1,\"blue.png\"\r\n"
                               "loadsound 0,\"click.wav\"\r\n"
                               "wait 3\r\n"
                               "showimage 1,100,0,0,0,0,255,255,0,0\r\n"
                               "playsound 0,255\r\n"
                               "wait 3\r\n");
    }
    test::TempDir dir;
};

TEST_F(RecordStory, VideoKeepsTheShowsTimelinePicturesAndSoundInSync) {
    const ProgramRun run = RunPlayer(dir, "--headless --record out.mp4 --dump-frames frames");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const unsigned long long timeUs = Field(run.output, "time_us");
    ASSERT_EQ(Field(run.output, "frames"), 2u) << run.output;
    const std::string video = dir.path() + "/out.mp4";

    EXPECT_EQ(Probe(video, "v:0", "codec_name"), "h264");
    EXPECT_EQ(Probe(video, "a:0", "codec_name"), "aac");
    EXPECT_EQ(Probe(video, "v:0", "width"), "800");
    EXPECT_EQ(Probe(video, "v:0", "height"), "600");
    EXPECT_EQ(Probe(video, "v:0", "r_frame_rate"), "30/1");
    const unsigned long long ticks = (timeUs * 30 + 999999) / 1000000;
    EXPECT_EQ(std::stoull(Probe(video, "v:0", "nb_frames")), ticks);
    EXPECT_NEAR(std::stod(Probe(video, "v:0", "duration")), timeUs / 1e6, 1 / 30.0);

    // The list: both pictures, the first from time 0, durations adding up to the run.
    const std::vector<ListEntry> list = ReadList(dir.Read("frames/frames.ffconcat"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].file, "000001.png");
    EXPECT_EQ(list[1].file, "000002.png");
    EXPECT_EQ(list[2].file, "000002.png");
    EXPECT_EQ(list[2].micros, -1);
    EXPECT_EQ(list[0].micros + list[1].micros, (long long)timeUs);
    const double blueAt = list[0].micros / 1e6;
    ASSERT_GT(blueAt, 0.3); // at least the 9-frame wait before it
    ASSERT_LT(blueAt + 0.3, timeUs / 1e6);

    // Every frame shows the picture visible at its end, nearly as dumped.
    const std::string rgb =
        Capture("ffmpeg -v error -i '" + video + "' -f rawvideo -pix_fmt rgb24 -");
    const size_t frameBytes = size_t(kWidth) * kHeight * 3;
    ASSERT_EQ(rgb.size(), frameBytes * ticks);
    const std::vector<uint8_t> bytes(rgb.begin(), rgb.end());
    test::Picture photo, blue;
    ASSERT_TRUE(test::ReadPng(dir.path() + "/frames/000001.png", photo));
    ASSERT_TRUE(test::ReadPng(dir.path() + "/frames/000002.png", blue));
    const size_t firstBlue = size_t(blueAt * 30);
    for (size_t k = 0; k < ticks; ++k) {
        const test::Picture& expected = k < firstBlue ? photo : blue;
        EXPECT_GE(Psnr(bytes, k * frameBytes, expected), 38.0) << "frame " << k;
    }

    // The click sounds one show frame after the picture changed, not a frame more.
    const std::string pcm =
        Capture("ffmpeg -v error -i '" + video + "' -ac 1 -ar 44100 -f s16le -acodec pcm_s16le -");
    long long onset = -1;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const int16_t s = int16_t(uint8_t(pcm[i]) | uint8_t(pcm[i + 1]) << 8);
        if (std::abs(int(s)) > 6000) {
            onset = (long long)(i / 2);
            break;
        }
    }
    ASSERT_GE(onset, 0);
    EXPECT_NEAR(onset / 44100.0 - blueAt, 33333e-6, 1 / 30.0);
    EXPECT_EQ(size_t(onset * 30 / 44100), firstBlue + 1);
}

// `script` gives the player a terminal for its standard error.
TEST_F(RecordStory, ProgressLineOnlyOnATerminal) {
    const ProgramRun piped = RunPlayer(dir, "--headless");
    ASSERT_EQ(piped.exitCode, 0) << piped.output;
    EXPECT_EQ(piped.output.find("\rframe "), std::string::npos) << piped.output;

    const std::string onTerminal =
        Capture("cd '" + dir.path() + "' && XDG_RUNTIME_DIR='" + dir.path() +
                "' script -qec '" VELOX_PLAYER_BINARY " --headless' /dev/null");
    const size_t last = onTerminal.rfind("\rframe ");
    ASSERT_NE(last, std::string::npos) << onTerminal;
    // The closing state: both pictures, the show's time, the last line.
    const std::string line = onTerminal.substr(last + 1, onTerminal.find('\n', last) - last - 1);
    EXPECT_EQ(line.rfind("frame 2  time ", 0), 0u) << line;
    EXPECT_NE(line.find(" s  line 7"), std::string::npos) << line;
    EXPECT_NE(onTerminal.find("result=0 line=7 frames=2"), std::string::npos);
}

TEST_F(RecordStory, WebmCarriesVp9AndOpus) {
    const ProgramRun run = RunPlayer(dir, "--headless --record out.webm");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string video = dir.path() + "/out.webm";
    EXPECT_EQ(Probe(video, "v:0", "codec_name"), "vp9");
    EXPECT_EQ(Probe(video, "a:0", "codec_name"), "opus");
    EXPECT_EQ(Probe(video, "v:0", "width"), "800");
}

TEST_F(RecordStory, EarlierOutputIsKeptUnlessForced) {
    ASSERT_EQ(RunPlayer(dir, "--headless --record out.mkv --dump-frames frames").exitCode, 0);
    const auto firstSize = std::filesystem::file_size(dir.path() + "/out.mkv");
    dir.Write("frames/000009.png", "old");

    ProgramRun run = RunPlayer(dir, "--headless --dump-frames frames");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("already holds numbered pictures"), std::string::npos) << run.output;
    EXPECT_EQ(dir.Read("frames/000009.png"), "old");

    run = RunPlayer(dir, "--headless --record out.mkv");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("already exists"), std::string::npos) << run.output;
    EXPECT_EQ(std::filesystem::file_size(dir.path() + "/out.mkv"), firstSize);

    run = RunPlayer(dir, "--headless --record out.avi");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/out.avi"));

    // A file that cannot be made stops the run before the show, not after it.
    run = RunPlayer(dir, "--headless --record missing/out.mp4");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("cannot record to"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("result="), std::string::npos) << run.output;

    // Forced, the old pictures go: none of them outlives the run.
    run = RunPlayer(dir, "--headless --dump-frames frames --record out.mkv --force");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/frames/000009.png"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/frames/000002.png"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/frames/000003.png"));
}

} // namespace
} // namespace velox::player
