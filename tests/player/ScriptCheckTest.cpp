#include "ScriptCheck.h"
#include "PlayerRun.h"
#include "StoryFiles.h"
#include "support/PngFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace velox::player {
namespace {

class ScriptCheck : public ::testing::Test {
protected:
    ProgramRun Check(const std::string& story) {
        dir.Write("story.txt", story);
        return RunPlayer(dir, "--check");
    }
    static bool Has(const ProgramRun& run, const std::string& line) {
        return run.output.find(line) != std::string::npos;
    }
    void Picture(const std::string& name, int width, int height) {
        dir.Write(name, ""); // makes its folders
        ASSERT_TRUE(test::WritePng(dir.path() + "/" + name, width, height,
                                   std::vector<uint32_t>(size_t(width * height), 0xFF336699u)));
    }
    test::TempDir dir;
};

TEST_F(ScriptCheck, CleanStoryPasses) {
    Picture("Pics/Bg.PNG", 8, 6);
    dir.Write("se.wav", test::MonoWaveOf(441, [](int n) { return int16_t(n * 50); }));
    dir.Write("tune.mid", test::OrganMidi(2));
    ProgramRun run =
        Check("loadimage 0,\"pics\\bg.png\"\r\n\r\n"
              "showimage 0,100,0,0,0,0,255,255,0,0\r\n"
              "moveimage 100,10,0,0,0,255,255,0,1\r\n"
              "loadsound 2,\"se.wav\"\r\nplaysound 2,200\r\nstopsound 2\r\n"
              "playmusic 200,1,\"tune.mid\"\r\n"
              "wait 1\r\ndeletebg\r\nattachbg\r\nstopmusic\r\nfademusic 0,1\r\nEND\r\n");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run, "story.txt: no problems found")) << run.output;
}

TEST_F(ScriptCheck, EveryPlantedFaultIsFoundOnItsLine) {
    Picture("a.png", 2, 2);
    ProgramRun run = Check("loadimage 1,\"a.png\"\r\n"
                           "moveimage 100,1,1,0,0,255,255,0,1\r\n"
                           "showimg 1,100,0,0,0,0,255,255,0,0\r\n"
                           "showimage 2,100,0,0,0,0,255,255,0,0\r\n"
                           "wait 1,2\r\n"
                           "loadsound 10,\"a.png\"\r\n"
                           "loadimage 3,\"missing.png\"\r\n"
                           "END\r\n"
                           "wait 1\r\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run, "story.txt:2: error: moveimage before any showimage\n")) << run.output;
    EXPECT_TRUE(Has(run, "story.txt:3: error: unknown command \"showimg\" (did you mean "
                         "\"showimage\"?)\n"));
    EXPECT_TRUE(Has(run, "story.txt:4: error: slot 2 is shown before any loadimage into it\n"));
    EXPECT_TRUE(Has(run, "story.txt:5: error: wait takes 1 number(s) and 0 file name(s), the "
                         "line has 2 and 0\n"));
    EXPECT_TRUE(Has(run, "story.txt:6: error: slot 10 is outside 0..9\n"));
    EXPECT_TRUE(Has(run, "story.txt:7: error: file \"missing.png\" not found\n"));
    EXPECT_TRUE(Has(run, "story.txt:8: warning: END before the last line"));
    EXPECT_FALSE(Has(run, "story.txt:1:")) << run.output;
    EXPECT_TRUE(Has(run, "\nstory.txt: 7 errors, 1 warning\n")) << run.output;
}

// Each file is decoded as the run would decode it, and a refusal names the variant.
TEST_F(ScriptCheck, MediaThatWouldNotLoadIsNamedWithItsVariant) {
    Picture("full.png", 8, 8);
    std::string png = dir.Read("full.png");
    dir.Write("cut.png", png.substr(0, png.size() / 2));
    Picture("pic.png", 4, 4);
    Picture("pic_a.png", 2, 2);
    std::string dds = "DDS " + std::string(124, '\0');
    dds[12] = 4; // height
    dds[16] = 4; // width
    dds[80] = 4; // four-character code follows
    dds.replace(84, 4, "DXT1");
    dir.Write("tex.dds", dds + std::string(64, '\0'));
    std::string wave = test::MonoWaveOf(100, [](int) { return int16_t(0); });
    wave[20] = 3; // IEEE float, which no converter takes
    dir.Write("float.wav", wave);
    dir.Write("se.wav", test::MonoWaveOf(100, [](int n) { return int16_t(n); }));
    std::string midi = test::OrganMidi(1);
    dir.Write("cut.mid", midi.substr(0, midi.size() - 6));
    dir.Write("notes.txt", "just some words");
    // A chunk size that a 32-bit sum would wrap back onto its own chunk.
    dir.Write("wrap.wav",
              std::string("RIFF\x24\0\0\0WAVEjunk\xF8\xFF\xFF\xFF", 20) + std::string(16, '\0'));
    ProgramRun run = Check("loadimage 1,\"cut.png\"\r\n"
                           "loadimage 2,\"pic.png\"\r\n"
                           "loadimage 3,\"tex.dds\"\r\n"
                           "loadsound 1,\"float.wav\"\r\n"
                           "playmusic 100,1,\"cut.mid\"\r\n"
                           "playmusic 100,1,\"notes.txt\"\r\n"
                           "loadsound 2,\"se.wav\"\r\n"
                           "stopsound 3\r\n"
                           "loadsound 4,\"wrap.wav\"\r\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run, "story.txt:1: error: cannot decode \"cut.png\": PNG, 8 x 8"))
        << run.output;
    EXPECT_TRUE(Has(run, "story.txt:2: error: alpha companion \"pic_a.png\" is 2 x 2 but "
                         "\"pic.png\" is 4 x 4"));
    EXPECT_TRUE(Has(run, "story.txt:3: error: cannot decode \"tex.dds\": DDS compressed as DXT1"));
    EXPECT_TRUE(Has(run, "story.txt:4: error: cannot decode \"float.wav\": WAVE with format tag "
                         "0x0003 (IEEE float)"));
    EXPECT_TRUE(Has(run, "story.txt:5: error: cannot play \"cut.mid\": a MIDI file whose"));
    EXPECT_TRUE(Has(run, "story.txt:6: error: cannot play \"notes.txt\": not a sound format"));
    EXPECT_TRUE(Has(run, "story.txt:7: warning: sound slot 2 is loaded but never played\n"));
    EXPECT_TRUE(Has(run, "story.txt:8: error: stopsound of sound slot 3, which no loadsound "
                         "has filled\n"));
    EXPECT_TRUE(Has(run, "story.txt:9: error: cannot decode \"wrap.wav\": WAVE without a "
                         "readable format chunk"));

    // Warnings alone leave the exit status at 0.
    ProgramRun warned = Check("loadsound 2,\"se.wav\"\r\nloadsound 2,\"se.wav\"\r\n"
                              "playsound 2,100\r\n");
    EXPECT_EQ(warned.exitCode, 0) << warned.output;
    EXPECT_TRUE(Has(warned, "story.txt:1: warning: sound slot 2 is loaded but never played "
                            "before it is loaded again\n"));
    EXPECT_TRUE(Has(warned, "story.txt: 0 errors, 1 warning\n")) << warned.output;
}

// What Linux editors and careless typing leave in the text itself.
TEST_F(ScriptCheck, TextProblemsOfTheFileItself) {
    ProgramRun lf = Check("wait 1\nwait 2\n");
    EXPECT_EQ(lf.exitCode, 1);
    EXPECT_TRUE(Has(lf, "story.txt:1: error: lines end in LF only, so the show would run only "
                        "the first line; save with CR LF line ends"))
        << lf.output;

    // "画像" in UTF-8 is not Shift-JIS; "画" alone happens to be both, a warning then.
    ProgramRun utf8 =
        Check("\xEF\xBB\xBFwait 1\r\nloadimage 1,\"\xE7\x94\xBB\xE5\x83\x8F.png\"\r\n");
    EXPECT_TRUE(Has(utf8, "story.txt:1: error: the file starts with a UTF-8 byte-order mark"));
    EXPECT_TRUE(Has(utf8, "story.txt:2: error: the story is saved as UTF-8, but the player "
                          "reads Shift-JIS; convert it with iconv -f UTF-8 -t SHIFT_JIS"));
    EXPECT_FALSE(Has(utf8, "unknown command")) << utf8.output;
    ProgramRun both = Check("loadimage 1,\"\xE7\x94\xBB.png\"\r\n");
    EXPECT_TRUE(Has(both, "story.txt:1: warning: the story looks like UTF-8")) << both.output;
    // The same name in Shift-JIS is no encoding problem.
    ProgramRun sjis = Check("loadimage 1,\"" + test::Sjis("画.png") + "\"\r\n");
    EXPECT_FALSE(Has(sjis, "UTF-8")) << sjis.output;

    Picture("x.png", 1, 1);
    ProgramRun typed = Check("wait 1\r\nloadimage 1, \"x.png\"\r\nwait 1\nwait 2\r\nwait " +
                             std::string(1200, '1') + "\r\n" + std::string("wait\0 1\r\n", 9));
    EXPECT_TRUE(Has(typed, "story.txt:2: error: a space before the quoted file name makes it "
                           "the number 0"))
        << typed.output;
    EXPECT_TRUE(Has(typed, "story.txt:3: error: a lone LF inside the line"));
    EXPECT_TRUE(Has(typed, "story.txt:4: error: line of 1205 bytes is longer than 1023"));
    EXPECT_TRUE(Has(typed, "story.txt:5: error: NUL byte at column 5"));

    std::string many;
    for (int i = 0; i < 999; ++i) {
        many += "wait 0\r\n";
    }
    ProgramRun tooMany = Check(many);
    EXPECT_TRUE(Has(tooMany, "story.txt:999: error: the story has 999 lines; the player reads "
                             "at most 998"))
        << tooMany.output;
    EXPECT_EQ(Check(many.substr(8)).exitCode, 0);

    std::filesystem::remove(dir.path() + "/story.txt");
    ProgramRun missing = RunPlayer(dir, "--check");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Has(missing, "story.txt: error: cannot be read\n")) << missing.output;
}

TEST_F(ScriptCheck, PackedFoldersAreReadAndAShadowedFolderIsNamed) {
    Picture("data/img/a.png", 2, 2);
    std::string pack = "cd '" + dir.path() + "' && '" VELOX_VLA_BINARY "' pack data >/dev/null";
    ASSERT_EQ(test::RunShell(pack), 0);
    std::filesystem::remove_all(dir.path() + "/data/img");
    ProgramRun run = Check("wait 1\r\nloadimage 1,\"DATA\\IMG\\A.PNG\"\r\n"
                           "loadimage 2,\"data\\b.png\"\r\nloadimage 3,\"data\\img\\a.png\"\r\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run, "story.txt:2: warning: the packed data.VLA beside the folder data hides "
                         "it"))
        << run.output;
    EXPECT_FALSE(Has(run, "story.txt:2: error")) << run.output;
    EXPECT_TRUE(Has(run, "story.txt:3: error: file \"data\\b.png\" not found")) << run.output;
    EXPECT_FALSE(Has(run, "story.txt:4:")) << run.output;
}

TEST(NearestCommandWord, PicksTheClosestWord) {
    EXPECT_EQ(NearestCommandWord("Wait"), "wait");
    EXPECT_EQ(NearestCommandWord("playsond"), "playsound");
    EXPECT_EQ(NearestCommandWord("fadmusic"), "fademusic");
    // Nothing is offered for a word that is not a near miss of any command.
    EXPECT_EQ(NearestCommandWord("xyzzy"), "");
    EXPECT_EQ(NearestCommandWord(std::string(300, 'q')), "");
}

} // namespace
} // namespace velox::player
