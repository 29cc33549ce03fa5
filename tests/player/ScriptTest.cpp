#include "Script.h"
#include "file/FileAccess.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velox::player {
namespace {

std::vector<int32_t> Args(int n) {
    return std::vector<int32_t>(Script().args, Script().args + n);
}

TEST(TokenizeLine, ShowImageWithTenNumbers) {
    ResetScript();
    EXPECT_EQ(ClassifyCommand("showimage 1,100,400,300,0,0,255,255,0,1"), kShowImage);
    EXPECT_EQ(Args(10), (std::vector<int32_t>{1, 100, 400, 300, 0, 0, 255, 255, 0, 1}));
    EXPECT_STREQ(Script().strings[0], "showimage");
}

TEST(TokenizeLine, QuotedCommaStaysInTheString) {
    ResetScript();
    EXPECT_EQ(ClassifyCommand("loadimage 1,\"a,b.png\""), kLoadImage);
    EXPECT_EQ(Script().args[0], 1);
    EXPECT_STREQ(Script().strings[1], "a,b.png");
}

TEST(TokenizeLine, SpaceBeforeQuoteMakesAnIntegerZero) {
    ResetScript();
    TokenizeLine("loadimage 1,\"old.png\"");
    TokenizeLine("loadimage 2, \"new.png\"");
    EXPECT_EQ(Args(2), (std::vector<int32_t>{2, 0}));
    EXPECT_STREQ(Script().strings[1], "old.png"); // never cleared
}

TEST(TokenizeLine, OneCharacterIsCutAtEachEndOfAQuotedToken) {
    ResetScript();
    TokenizeLine("loadsound 1,\"a.wav\" ");
    EXPECT_STREQ(Script().strings[1], "a.wav\""); // the space went, the quote stayed
    TokenizeLine("loadsound 1,\"\"");
    EXPECT_STREQ(Script().strings[1], "");
    TokenizeLine("loadsound 1,\"x");
    EXPECT_STREQ(Script().strings[1], "");
}

TEST(TokenizeLine, EmptyFieldsAddNothing) {
    ResetScript();
    TokenizeLine("moveimage 9,9,9");
    TokenizeLine("wait 5,,");
    EXPECT_EQ(Args(3), (std::vector<int32_t>{5, 9, 9}));
    TokenizeLine("wait ,,7");
    EXPECT_EQ(Script().args[0], 7);
}

TEST(TokenizeLine, CommaAfterCommandWordSeparatesLikeASpace) {
    ResetScript();
    EXPECT_EQ(ClassifyCommand("wait,5"), kWait);
    EXPECT_EQ(Script().args[0], 5);
    EXPECT_EQ(ClassifyCommand("   wait 6"), kWait);
    EXPECT_EQ(Script().args[0], 6);
}

TEST(TokenizeLine, SpaceEndsCommandWordEvenInsideQuotes) {
    ResetScript();
    TokenizeLine("\"ab cd\",3");
    EXPECT_STREQ(Script().strings[0], "\"ab");
    // The closing quote toggles the flag back, so the comma separates; "cd\""
    // does not start with a quote and becomes the integer 0.
    EXPECT_EQ(Args(2), (std::vector<int32_t>{0, 3}));
}

TEST(TokenizeLine, IntegersAreReadLikeAtoi) {
    ResetScript();
    TokenizeLine("wait  12abc,-7, +3,x,99999999999");
    EXPECT_EQ(Args(5), (std::vector<int32_t>{12, -7, 3, 0, 2147483647}));
}

TEST(TokenizeLine, LimitsNeverWriteOutsideTheTables) {
    ResetScript();
    std::string line = "wait ";
    for (int i = 0; i < 15; ++i) {
        line += std::to_string(i + 1) + ",";
    }
    for (int i = 0; i < 12; ++i) {
        line += "\"s" + std::to_string(i + 1) + "\",";
    }
    line += "\"" + std::string(400, 'z') + "\"";
    TokenizeLine(line.c_str());
    EXPECT_EQ(Script().args[9], 10);
    EXPECT_STREQ(Script().strings[9], "s9");
    std::string longLine = "w" + std::string(400, 'y');
    TokenizeLine(longLine.c_str());
    EXPECT_EQ(std::string(Script().strings[0]).size(), 254u);
}

TEST(ClassifyCommand, EveryWordAndCaseSensitivity) {
    const char* words[] = {"drawbackimage", "showimage", "playmusic", "playsound", "loadimage",
                           "loadsound",     "wait",      "moveimage", "deletebg",  "attachbg",
                           "stopmusic",     "stopsound", "fademusic"};
    for (int code = 1; code <= 13; ++code) {
        EXPECT_EQ(ClassifyCommand(words[code - 1]), code);
    }
    EXPECT_EQ(ClassifyCommand("Wait 5"), kNoCommand);
    EXPECT_EQ(ClassifyCommand(""), kNoCommand);
    EXPECT_EQ(ClassifyCommand("END"), kNoCommand);
    EXPECT_EQ(ClassifyCommand("waits 1"), kNoCommand);
}

class LoadScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetScript();
        file::InstallArchiveAwareFileAccess();
    }
    int Load(const std::string& bytes) {
        std::string path = dir.Write("story.txt", bytes);
        int32_t f = FileOpenRead(path.c_str(), 0);
        EXPECT_NE(f, 0);
        return LoadScript(f);
    }
    test::TempDir dir;
};

TEST_F(LoadScriptTest, FillsRecordsFromOneAndAppendsEnd) {
    EXPECT_EQ(Load("loadimage 0,\"bg.png\"\r\n\r\nwait 1\r\nEND\r\nwait 2"), 1);
    const ScriptState& s = Script();
    EXPECT_STREQ(s.lines[1].text, "loadimage 0,\"bg.png\"");
    EXPECT_EQ(s.lines[1].command, kLoadImage);
    EXPECT_STREQ(s.lines[2].text, "");
    EXPECT_EQ(s.lines[3].command, kWait);
    EXPECT_STREQ(s.lines[4].text, "END");
    EXPECT_EQ(s.lines[5].command, kWait);
    EXPECT_STREQ(s.lines[6].text, "END");
    EXPECT_EQ(s.lines[6].command, kNoCommand);
    EXPECT_EQ(file::OpenFileCount(), 0); // closed
}

TEST_F(LoadScriptTest, EmptyFileGivesEndRecordFirst) {
    EXPECT_EQ(Load(""), 1);
    EXPECT_STREQ(Script().lines[1].text, "END");
}

TEST_F(LoadScriptTest, LongLineBecomesTwoRecords) {
    std::string line(1500, 'a');
    EXPECT_EQ(Load("wait 1\r\n" + line + "\r\nwait 2"), 1);
    EXPECT_EQ(std::string(Script().lines[2].text), std::string(1023, 'a'));
    EXPECT_EQ(std::string(Script().lines[3].text), std::string(477, 'a'));
    EXPECT_EQ(Script().lines[4].command, kWait);
}

TEST_F(LoadScriptTest, LongLineNeverSplitsADoubleByteCharacter) {
    std::string line = std::string(1022, 'a') + "\x82\xA0" + "b";
    EXPECT_EQ(Load(line), 1);
    EXPECT_EQ(std::string(Script().lines[1].text).size(), 1022u);
    EXPECT_EQ(std::string(Script().lines[2].text), "\x82\xA0"
                                                   "b");
}

TEST_F(LoadScriptTest, NineHundredNinetyEightLinesFit) {
    std::string text;
    for (int i = 0; i < 998; ++i) {
        text += "wait 1\r\n";
    }
    EXPECT_EQ(Load(text), 1);
    EXPECT_STREQ(Script().lines[999].text, "END");
}

TEST_F(LoadScriptTest, MoreThanNineHundredNinetyEightLinesAreRefused) {
    test::LogCapture log;
    std::string text;
    for (int i = 0; i < 999; ++i) {
        text += "wait 1\r\n";
    }
    EXPECT_EQ(Load(text), -1);
    EXPECT_NE(log.FileText().find("script has more than 998 lines"), std::string::npos);
    EXPECT_EQ(file::OpenFileCount(), 0);
}

} // namespace
} // namespace velox::player
