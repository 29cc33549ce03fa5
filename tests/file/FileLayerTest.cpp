#include "file/FileAccess.h"
#include "file/Stream.h"
#include "platform/FileSystem.h"
#include "support/FakeClock.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace velox {
namespace {

class FileLayerTest : public ::testing::Test {
protected:
    void SetUp() override { file::InstallArchiveAwareFileAccess(); }
    test::TempDir dir;
};

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = char((i * 7 + i / 251) & 0xFF);
    }
    return s;
}

TEST_F(FileLayerTest, MissingFileFailsWithoutLogLine) {
    test::LogCapture log;
    EXPECT_EQ(FileOpenRead((dir.path() + "/nothing.txt").c_str(), 0), 0);
    EXPECT_EQ(FileOpenRead((dir.path() + "/nothing.txt").c_str(), 1), 0);
    EXPECT_EQ(log.FileText(), "");
}

TEST_F(FileLayerTest, HandlesNameSlotsAndSlotsAreReused) {
    std::string path = dir.Write("a.txt", "x");
    int32_t first = FileOpenRead(path.c_str(), 0);
    EXPECT_EQ(uint32_t(first), 0xF0000000u);
    int32_t second = FileOpenRead(path.c_str(), 0);
    EXPECT_EQ(uint32_t(second), 0xF0000001u);
    EXPECT_EQ(FileClose(first), 0);
    EXPECT_EQ(FileClose(first), -1);
    EXPECT_EQ(uint32_t(FileOpenRead(path.c_str(), 0)), 0xF0000000u);
    EXPECT_EQ(file::OpenFileCount(), 2);
}

TEST_F(FileLayerTest, FiveHundredThirteenthOpenIsRefusedAndLogged) {
    test::LogCapture log;
    std::string path = dir.Write("a.txt", "x");
    std::vector<int32_t> handles;
    for (int i = 0; i < file::kMaxOpenFiles; ++i) {
        int32_t h = FileOpenRead(path.c_str(), 0);
        ASSERT_NE(h, 0) << i;
        handles.push_back(h);
    }
    EXPECT_EQ(FileOpenRead(path.c_str(), 0), 0);
    EXPECT_NE(log.FileText().find(test::Sjis("同時に開けるファイルの数が限界を超えました")),
              std::string::npos);
    for (int32_t h : handles) {
        FileClose(h);
    }
    EXPECT_EQ(file::OpenFileCount(), 0);
}

TEST_F(FileLayerTest, AtEndLeavesPositionAndUnknownHandleIsAtEnd) {
    std::string path = dir.Write("a.txt", "L1\r\nL2");
    int32_t f = FileOpenRead(path.c_str(), 0);
    EXPECT_EQ(FileAtEnd(f), 0);
    char line[16];
    EXPECT_EQ(FileReadLine(line, 16, f), 2);
    EXPECT_EQ(FileAtEnd(f), 0);
    EXPECT_EQ(file::gFileAccess.tell(f), 4);
    EXPECT_EQ(FileReadLine(line, 16, f), 2);
    EXPECT_EQ(FileAtEnd(f), 1);
    EXPECT_EQ(FileAtEnd(int32_t(0xF0000077)), 1);
    FileClose(f);
}

TEST_F(FileLayerTest, SeekClearsEndFlagSoTheFirstLineReadsAgain) {
    std::string path = dir.Write("a.txt", "one\r\ntwo");
    int32_t f = FileOpenRead(path.c_str(), 0);
    char line[16];
    FileReadLine(line, 16, f);
    FileReadLine(line, 16, f);
    EXPECT_EQ(FileReadLine(line, 16, f), -1);
    EXPECT_NE(file::gFileAccess.atEnd(f), 0);
    EXPECT_EQ(file::gFileAccess.seek(f, 0, 0), 0);
    EXPECT_EQ(file::gFileAccess.atEnd(f), 0);
    EXPECT_EQ(FileReadLine(line, 16, f), 3);
    EXPECT_STREQ(line, "one");
    FileClose(f);
}

TEST_F(FileLayerTest, ReadCountsWholeElementsAndStopsAtTheEnd) {
    std::string path = dir.Write("a.bin", "0123456789");
    intptr_t f = file::gFileAccess.open(path.c_str(), 0, 1, 0);
    char buf[16] = {};
    EXPECT_EQ(file::gFileAccess.read(buf, 4, 3, f), 2u); // 8 of 10 bytes as whole elements
    EXPECT_EQ(file::gFileAccess.tell(f), 8);
    EXPECT_EQ(file::gFileAccess.read(buf, 4, 1, f), 0u); // 2 bytes left: no whole element
    EXPECT_NE(file::gFileAccess.atEnd(f), 0);
    EXPECT_EQ(file::gFileAccess.read(buf, 0, 5, f), 0u);
    EXPECT_EQ(file::gFileAccess.seek(f, -1, 0), -1); // before the start: refused
    EXPECT_EQ(file::gFileAccess.tell(f), 8);
    file::gFileAccess.close(f);
}

TEST_F(FileLayerTest, ShiftJisPathWithBackslashesAndOtherCaseOpens) {
    // "ソ" is 0x83 0x5C in Shift-JIS: its trail byte must not separate.
    dir.Write("データ/Img/ソース.TXT", "found\r\n");
    std::string sjis = test::Sjis(dir.path() + "\\データ\\IMG\\ソース.txt");
    int32_t f = FileOpenRead(sjis.c_str(), 0);
    ASSERT_NE(f, 0);
    char line[16];
    EXPECT_EQ(FileReadLine(line, 16, f), 5);
    EXPECT_STREQ(line, "found");
    FileClose(f);
}

TEST_F(FileLayerTest, RelativePathsResolveFromTheCurrentDirectory) {
    dir.Write("Story/Story.TXT", "x");
    std::string saved = platform::Files().CurrentDirectory();
    ASSERT_TRUE(platform::Files().SetCurrentDirectory(dir.path().c_str()));
    int32_t f = FileOpenRead("story\\story.txt", 0);
    platform::Files().SetCurrentDirectory(saved.c_str());
    EXPECT_NE(f, 0);
    FileClose(f);
}

TEST_F(FileLayerTest, ReadAheadThreadServesLongSequentialReads) {
    std::string data = Pattern(300000);
    std::string path = dir.Write("big.bin", data);
    intptr_t f = file::gFileAccess.open(path.c_str(), 1, 1, 0);
    ASSERT_NE(f, 0);
    std::string got(data.size(), '\0');
    size_t offset = 0;
    size_t chunk = 1;
    while (offset < data.size()) {
        size_t n = std::min(chunk, data.size() - offset);
        ASSERT_EQ(file::gFileAccess.read(got.data() + offset, 1, n, f), n);
        offset += n;
        chunk = chunk * 3 + 1;
    }
    EXPECT_EQ(got, data);
    // Seeking back drops the read-ahead and reads the right bytes again.
    EXPECT_EQ(file::gFileAccess.seek(f, 1000, 0), 0);
    char small[8];
    ASSERT_EQ(file::gFileAccess.read(small, 1, 8, f), 8u);
    EXPECT_EQ(std::string(small, 8), data.substr(1000, 8));
    EXPECT_EQ(file::gFileAccess.close(f), 0);
}

TEST_F(FileLayerTest, AsynchronousReadCompletesWhenIdle) {
    std::string data = Pattern(100000);
    std::string path = dir.Write("async.bin", data);
    intptr_t f = file::gFileAccess.open(path.c_str(), 0, 1, 1);
    ASSERT_NE(f, 0);
    std::string got(data.size(), '\0');
    EXPECT_EQ(file::gFileAccess.read(got.data(), 1000, 100, f), 100u);
    EXPECT_EQ(file::gFileAccess.tell(f), 100000); // the position moves at once
    while (file::gFileAccess.idle(f) == 0) {
    }
    EXPECT_EQ(got, data);
    file::gFileAccess.close(f);
}

// File-access threads outlive their records and serve the next ones: records
// opened together each need a thread of their own, records opened in turn
// reuse one, and no read may wait for a thread that never comes.
TEST_F(FileLayerTest, RecordsOpenedTogetherAndInTurnEachGetTheirThread) {
    auto waitIdle = [](intptr_t f) {
        for (int spins = 0; file::gFileAccess.idle(f) == 0; ++spins) {
            if (spins > 5000) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    };
    std::vector<std::string> datas, paths;
    for (int i = 0; i < 7; ++i) {
        datas.push_back(Pattern(3000 + 977 * size_t(i)));
        paths.push_back(dir.Write("t" + std::to_string(i) + ".bin", datas.back()));
    }
    for (int round = 0; round < 3; ++round) {
        std::vector<intptr_t> open;
        std::vector<std::string> got;
        for (size_t i = 0; i < datas.size(); ++i) {
            open.push_back(file::gFileAccess.open(paths[i].c_str(), 0, 1, 1));
            ASSERT_NE(open.back(), 0);
            got.emplace_back(datas[i].size(), '\0');
        }
        // Every record has a read outstanding at once.
        for (size_t i = 0; i < open.size(); ++i) {
            file::gFileAccess.read(got[i].data(), 1, got[i].size(), open[i]);
        }
        for (size_t i = 0; i < open.size(); ++i) {
            ASSERT_TRUE(waitIdle(open[i])) << "record " << i << " round " << round;
            EXPECT_EQ(got[i], datas[i]);
            EXPECT_EQ(file::gFileAccess.close(open[i]), 0);
        }
        for (size_t i = 0; i < datas.size(); ++i) {
            intptr_t f = file::gFileAccess.open(paths[i].c_str(), 1, 1, 0);
            ASSERT_NE(f, 0);
            std::string one(datas[i].size(), '\0');
            EXPECT_EQ(file::gFileAccess.read(one.data(), 1, one.size(), f), one.size());
            EXPECT_EQ(one, datas[i]);
            EXPECT_EQ(file::gFileAccess.close(f), 0);
        }
    }
    EXPECT_EQ(file::OpenFileCount(), 0);
}

// A child forked while threads are parked has none of them, and must not wait
// for one.
TEST_F(FileLayerTest, ForkedChildReadsThroughItsOwnThreads) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread checker refuses threads in a forked child";
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    GTEST_SKIP() << "the thread checker refuses threads in a forked child";
#endif
#endif
    std::string data = Pattern(5000);
    std::string path = dir.Write("fork.bin", data);
    auto readAll = [&] {
        intptr_t f = file::gFileAccess.open(path.c_str(), 1, 1, 1);
        if (f == 0) {
            return false;
        }
        std::string got(data.size(), '\0');
        file::gFileAccess.read(got.data(), 1, got.size(), f);
        for (int spins = 0; file::gFileAccess.idle(f) == 0 && spins < 3000; ++spins) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const bool same = file::gFileAccess.idle(f) != 0 && got == data;
        file::gFileAccess.close(f);
        return same;
    };
    ASSERT_TRUE(readAll()); // leaves a parked thread behind
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10); // a hang ends the child, and the test fails
        _exit(readAll() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
TEST_F(FileLayerTest, PlainSetHandsOutRecords) {
    file::InstallPlainFileAccess();
    std::string path = dir.Write("p.txt", "abc");
    intptr_t f = file::gFileAccess.open(path.c_str(), 0, 1, 0);
    ASSERT_NE(f, 0);
    char buf[3];
    EXPECT_EQ(file::gFileAccess.read(buf, 1, 3, f), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(file::gFileAccess.close(f), 0);
    EXPECT_EQ(file::OpenFileCount(), 0);
}

// A file system whose reads fail, to see the layer report 0 elements.
class FailingReads final : public platform::FileSystem {
public:
    int OpenRead(const char* p) override { return real.OpenRead(p); }
    int OpenWrite(const char* p, bool e, bool a) override { return real.OpenWrite(p, e, a); }
    int64_t Size(int fd) override { return real.Size(fd); }
    int64_t Read(int, void*, size_t) override { return -1; }
    int64_t Write(int fd, const void* s, size_t n) override { return real.Write(fd, s, n); }
    bool SeekTo(int fd, int64_t p) override { return real.SeekTo(fd, p); }
    void Close(int fd) override { real.Close(fd); }
    bool Remove(const char* p) override { return real.Remove(p); }
    bool Exists(const char* p) override { return real.Exists(p); }
    bool IsDirectory(const char* p) override { return real.IsDirectory(p); }
    std::string CurrentDirectory() override { return real.CurrentDirectory(); }
    bool SetCurrentDirectory(const char* p) override { return real.SetCurrentDirectory(p); }
    bool ListDirectory(const char* p, std::vector<platform::FindEntry>& o) override {
        return real.ListDirectory(p, o);
    }
    platform::FileSystem& real = platform::PosixFiles();
};

TEST_F(FileLayerTest, FailingPlatformReadGivesNoElements) {
    std::string path = dir.Write("a.txt", "hello\r\n");
    FailingReads failing;
    platform::SetFileSystem(&failing);
    int32_t f = FileOpenRead(path.c_str(), 0);
    char line[16];
    EXPECT_EQ(FileReadLine(line, 16, f), -1);
    FileClose(f);
    platform::SetFileSystem(nullptr);
}

TEST(MemoryStream, ReadsWholeElementsThenTheRemainder) {
    const char data[] = "0123456789ABCDEFGHIJ";
    file::Stream s;
    ASSERT_TRUE(file::OpenMemoryStream(data, 20, s));
    char buf[16];
    EXPECT_EQ(s.ops->seek(s.data, 10, 0), 0);
    EXPECT_EQ(s.ops->read(buf, 4, 3, s.data), 2u);
    EXPECT_EQ(std::string(buf, 8), "ABCDEFGH");
    EXPECT_EQ(s.ops->read(buf, 4, 3, s.data), 1u);
    EXPECT_EQ(std::string(buf, 2), "IJ");
    EXPECT_EQ(s.ops->atEnd(s.data), 0);
    EXPECT_EQ(s.ops->read(buf, 4, 3, s.data), 0u);
    EXPECT_NE(s.ops->atEnd(s.data), 0);
    EXPECT_EQ(s.ops->read(buf, 4, 0, s.data), 0u);
    file::CloseStream(s);
}

TEST(MemoryStream, SeekClampsAndClearsEnd) {
    const char data[] = "abc";
    file::Stream s;
    ASSERT_TRUE(file::OpenMemoryStream(data, 3, s));
    s.ops->seek(s.data, 10, 0);
    EXPECT_EQ(s.ops->tell(s.data), 3);
    char c;
    EXPECT_EQ(s.ops->read(&c, 1, 1, s.data), 0u);
    EXPECT_NE(s.ops->atEnd(s.data), 0);
    s.ops->seek(s.data, -10, 1);
    EXPECT_EQ(s.ops->tell(s.data), 0);
    EXPECT_EQ(s.ops->atEnd(s.data), 0);
    s.ops->seek(s.data, -1, 2);
    EXPECT_EQ(s.ops->read(&c, 1, 1, s.data), 1u);
    EXPECT_EQ(c, 'c');
    EXPECT_EQ(s.ops->idle(s.data), 1);
    file::CloseStream(s);
}

TEST(FileStream, ReadsThroughTheFileAccessTable) {
    file::InstallArchiveAwareFileAccess();
    test::TempDir dir;
    std::string path = dir.Write("s.bin", "streamdata");
    file::Stream s;
    ASSERT_TRUE(file::OpenFileStream(path.c_str(), s));
    char buf[6];
    EXPECT_EQ(s.ops->read(buf, 1, 6, s.data), 6u);
    EXPECT_EQ(std::string(buf, 6), "stream");
    EXPECT_EQ(s.ops->tell(s.data), 6);
    EXPECT_EQ(s.ops->idle(s.data), 1);
    file::CloseStream(s);
    EXPECT_EQ(file::OpenFileCount(), 0);
    EXPECT_FALSE(file::OpenFileStream((dir.path() + "/none").c_str(), s));
}

} // namespace
} // namespace velox
