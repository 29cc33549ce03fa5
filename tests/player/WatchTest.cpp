// --watch: story.txt rewritten under a running player, which must follow each save.
#include "support/PngFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velox::player {
namespace {

// velox-player running beside the test; what it writes (standard output and error
// together) is read as it comes.
class RunningPlayer {
public:
    bool Start(const test::TempDir& dir, const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return false;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(fds[0]);
            ::dup2(fds[1], 1);
            ::dup2(fds[1], 2);
            if (::chdir(dir.path().c_str()) != 0) {
                _exit(127);
            }
            ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(VELOX_PLAYER_BINARY)};
            for (const std::string& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(VELOX_PLAYER_BINARY, argv.data());
            _exit(127);
        }
        ::close(fds[1]);
        fd_ = fds[0];
        return pid_ > 0;
    }

    // Reads until the output holds text after position `from`; the position just past
    // it, or npos when the player ended or 30 s passed first.
    size_t WaitFor(const std::string& text, size_t from) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            size_t at = output_.find(text, from);
            if (at != std::string::npos) {
                return at + text.size();
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0 || !ReadSome()) {
                return std::string::npos;
            }
        }
    }

    // SIGTERM, then the rest of the output; the exit status (-1 when not an exit).
    int Stop() {
        ::kill(pid_, SIGTERM);
        while (ReadSome()) {
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ~RunningPlayer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    const std::string& output() const { return output_; }

private:
    bool ReadSome() {
        char buffer[4096];
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        output_.append(buffer, size_t(n));
        return true;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    std::string output_;
};

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// Saved the way many editors do: a new file renamed over the old one.
void SaveByRename(const test::TempDir& dir, const std::string& text) {
    dir.Write("story.new", text);
    std::filesystem::rename(dir.path() + "/story.new", dir.path() + "/story.txt");
}

TEST(Watch, EachSaveReplaysFromTheChangedLineAndABrokenOneIsRefused) {
    test::TempDir dir;
    ASSERT_TRUE(
        test::WritePng(dir.path() + "/red.png", 4, 3, std::vector<uint32_t>(12, 0xFFFF0000u)));
    const std::string load = "loadimage 1,\"red.png\"";
    const std::string forever = "wait 2000000000";
    auto show = [](int x) { return "showimage 1,100," + std::to_string(x) + ",0,0,0,255,255,0,0"; };
    dir.Write("story.txt", Lines({load, show(0), forever}));

    RunningPlayer player;
    ASSERT_TRUE(player.Start(dir, {"--headless", "--watch", "--trace", "--max-ms", "4000000000"}));
    size_t at = player.WaitFor("story.txt:3: " + forever, 0);
    ASSERT_NE(at, std::string::npos) << player.output();

    // Line 2 changes under line 3: the show goes back to line 2, with slot 1 loaded by
    // the lines warped through (else the showimage would fail), and line 1 is not run
    // as a played line again.
    SaveByRename(dir, Lines({load, show(10), forever}));
    at = player.WaitFor("story.txt changed from line 2 on; playing again from there\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    const size_t replayed = at;
    at = player.WaitFor("story.txt:2: " + show(10) + "  [frame 0, 0.000 s]\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("story.txt:3: " + forever, at);
    ASSERT_NE(at, std::string::npos) << player.output();
    EXPECT_EQ(player.output().find("story.txt:1: ", replayed), std::string::npos);

    // A line added after the one waiting: no replay, and nothing runs again.
    const size_t added = at;
    dir.Write("story.txt", Lines({load, show(10), forever, show(15)}));
    at = player.WaitFor("story.txt changed from line 4 on; the show goes on with it\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    EXPECT_EQ(player.output().find("story.txt:", added), std::string::npos) << player.output();

    // A typo in line 1, written in place: the checker's first error, and nothing else.
    dir.Write("story.txt", Lines({"loadimg 1,\"red.png\"", show(10), forever}));
    at = player.WaitFor(
        "story.txt:1: error: unknown command \"loadimg\" (did you mean \"loadimage\"?)\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("not reloaded", at);
    ASSERT_NE(at, std::string::npos) << player.output();

    // Measured against the story kept playing, this save changes line 3 first (against
    // the refused one it would be line 1). The show then ends, and the player stays.
    SaveByRename(dir, Lines({load, show(10), "wait 1", show(20)}));
    at = player.WaitFor("story.txt changed from line 3 on; playing again from there\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("story.txt:4: " + show(20), at);
    ASSERT_NE(at, std::string::npos) << player.output();

    // Lines added after the end play from the first new one once the show is over.
    const size_t ended = at;
    dir.Write("story.txt", Lines({load, show(10), "wait 1", show(20), show(30), forever}));
    at = player.WaitFor("story.txt changed from line 5 on; playing again from there\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("story.txt:6: " + forever, at);
    ASSERT_NE(at, std::string::npos) << player.output();
    EXPECT_EQ(player.output().find("story.txt:4: ", ended), std::string::npos);
    size_t errors = 0;
    for (size_t e = player.output().find("error", replayed); e != std::string::npos;
         e = player.output().find("error", e + 1)) {
        ++errors;
    }
    EXPECT_EQ(errors, 1u) << player.output(); // the refused save's, once

    EXPECT_EQ(player.Stop(), 128 + SIGTERM);
    EXPECT_NE(player.output().find("result=0 line="), std::string::npos) << player.output();
}

} // namespace
} // namespace velox::player
