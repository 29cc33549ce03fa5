#include "file/FileAccess.h"
#include "support/TempDir.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velox {
namespace {

struct Line {
    int length;
    std::string text;
    bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Line& l) {
    return os << l.length << ":\"" << l.text << "\"";
}

// Every line FileReadLine returns for these bytes, up to and including the -1.
std::vector<Line> ReadAll(const std::string& bytes, int bufferSize, int async = 0) {
    test::TempDir dir;
    std::string path = dir.Write("f.txt", bytes);
    file::InstallArchiveAwareFileAccess();
    int32_t f = FileOpenRead(path.c_str(), async);
    EXPECT_NE(f, 0);
    std::vector<Line> lines;
    std::vector<char> buffer(static_cast<size_t>(bufferSize));
    for (int guard = 0; guard < 100; ++guard) {
        int n = FileReadLine(buffer.data(), bufferSize, f);
        lines.push_back({n, n >= 0 ? std::string(buffer.data()) : ""});
        if (n < 0) {
            break;
        }
    }
    FileClose(f);
    return lines;
}

TEST(FileReadLine, SplitsOnCrLfAndEndsWithMinusOne) {
    EXPECT_EQ(ReadAll("AB\r\nCD", 1024), (std::vector<Line>{{2, "AB"}, {2, "CD"}, {-1, ""}}));
    EXPECT_EQ(ReadAll("AB\r\nCD\r\n", 1024), (std::vector<Line>{{2, "AB"}, {2, "CD"}, {-1, ""}}));
    EXPECT_EQ(ReadAll("", 1024), (std::vector<Line>{{-1, ""}}));
    EXPECT_EQ(ReadAll("\r\n\r\nx", 1024),
              (std::vector<Line>{{0, ""}, {0, ""}, {1, "x"}, {-1, ""}}));
}

TEST(FileReadLine, LoneLfAndLoneCrAreText) {
    EXPECT_EQ(ReadAll("A\nB\r\n", 1024), (std::vector<Line>{{3, "A\nB"}, {-1, ""}}));
    EXPECT_EQ(ReadAll("A\rB\r\nC\r", 1024), (std::vector<Line>{{3, "A\rB"}, {2, "C\r"}, {-1, ""}}));
}

TEST(FileReadLine, SmallBufferSplitsLongLines) {
    EXPECT_EQ(ReadAll("ABCDEF\r\n", 4),
              (std::vector<Line>{{3, "ABC"}, {3, "DEF"}, {0, ""}, {-1, ""}}));
}

TEST(FileReadLine, DoubleByteCharacterIsNeverSplit) {
    // With room for 3 bytes, the lead byte 0x82 would be the last that fits.
    EXPECT_EQ(ReadAll("AB\x82\xA0"
                      "C",
                      4),
              (std::vector<Line>{{2, "AB"},
                                 {3, "\x82\xA0"
                                     "C"},
                                 {-1, ""}}));
}

TEST(FileReadLine, TrailByteCrIsNotALineEnd) {
    EXPECT_EQ(ReadAll("\x82\x0D\nX\r\n", 1024), (std::vector<Line>{{4, "\x82\x0D\nX"}, {-1, ""}}));
}

TEST(FileReadLine, CrAtEndOfFullBufferWaitsForItsLf) {
    // "ABC\r" fills the buffer and the LF follows: the split pair still ends the line,
    // without an empty line after it, not "\nD".
    EXPECT_EQ(ReadAll("ABC\r\nD", 5), (std::vector<Line>{{3, "ABC"}, {1, "D"}, {-1, ""}}));
    // A lone CR at the buffer's end is text: it begins the next line.
    EXPECT_EQ(ReadAll("ABC\rD\r\n", 5), (std::vector<Line>{{3, "ABC"}, {2, "\rD"}, {-1, ""}}));
    // The file's own last byte is a CR: nothing follows, so it is text.
    EXPECT_EQ(ReadAll("ABC\r", 5), (std::vector<Line>{{4, "ABC\r"}, {-1, ""}}));
}

TEST(FileReadLine, NulEndsTheLineAndSkipsTheRestOfTheRead) {
    std::string bytes("AB\0CD\r\nEF", 9);
    EXPECT_EQ(ReadAll(bytes, 1024), (std::vector<Line>{{2, "AB"}, {-1, ""}}));
}

TEST(FileReadLine, SameResultsThroughTheFileAccessThread) {
    EXPECT_EQ(ReadAll("AB\r\nCD\r\nEF", 1024, 1),
              (std::vector<Line>{{2, "AB"}, {2, "CD"}, {2, "EF"}, {-1, ""}}));
}

TEST(FileReadLine, TinyBufferStillMakesProgress) {
    EXPECT_EQ(ReadAll("\x82\xA0", 2), (std::vector<Line>{{1, "\x82"}, {1, "\xA0"}, {-1, ""}}));
}

TEST(FileReadLine, UnknownHandleGivesMinusOne) {
    file::InstallArchiveAwareFileAccess();
    char buffer[16];
    EXPECT_EQ(FileReadLine(buffer, 16, int32_t(0xF0000005)), -1);
    EXPECT_EQ(FileReadLine(buffer, 16, int32_t(0xF0000200)), -1); // slot 512
    EXPECT_EQ(FileReadLine(buffer, 16, 0), -1);
}

} // namespace
} // namespace velox
