// The vla tool: what it refuses to pack or unpack, and its command line end to end.
#include "VlaArchive.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace velox {
namespace {

using test::Sjis;

// Runs the tool; its exit status, and standard output in out (with standard error
// when `withErrors`).
int RunVla(const std::string& arguments, std::string* out = nullptr, bool withErrors = false) {
    std::string command =
        std::string(VLA_PROGRAM) + " " + arguments + (withErrors ? " 2>&1" : " 2>/dev/null");
    return test::RunShell(command, out);
}

TEST(VlaPack, RefusesNamesTheReaderCouldNotTellApart) {
    test::TempDir dir;
    dir.Write("DATA/Readme.txt", "1");
    dir.Write("DATA/README.TXT", "2");
    std::string error;
    EXPECT_FALSE(vla::PackDirectory(dir.path() + "/DATA", dir.path() + "/DATA.VLA", {}, error));
    EXPECT_NE(error.find("case"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/DATA.VLA"));

    test::TempDir other;
    other.Write("DATA/a\\b.txt", "backslash");
    EXPECT_FALSE(vla::PackDirectory(other.path() + "/DATA", other.path() + "/DATA.VLA", {}, error));
    EXPECT_FALSE(vla::PackDirectory(dir.path() + "/NONE", dir.path() + "/NONE.VLA", {}, error));
}

TEST(VlaUnpack, MemberPathsStayInsideTheOutputFolder) {
    std::string out;
    EXPECT_TRUE(vla::MemberDiskPath(Sjis("IMG\\表\\a.png"), out));
    EXPECT_EQ(out, "IMG/表/a.png");
    EXPECT_FALSE(vla::MemberDiskPath("..\\evil", out));
    EXPECT_FALSE(vla::MemberDiskPath("IMG\\..", out));
    EXPECT_FALSE(vla::MemberDiskPath("a/..\\..\\b", out));
    EXPECT_FALSE(vla::MemberDiskPath("IMG\\\\a", out));
    EXPECT_FALSE(vla::MemberDiskPath("", out));
}

TEST(VlaTool, PackListUnpackRoundTrip) {
    test::TempDir dir;
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += "a line of text that repeats\r\n";
    }
    dir.Write("DATA/story.txt", text);
    dir.Write("DATA/empty.dat", "");
    dir.Write("DATA/表/ツ.txt", "sjis");
    dir.Write("DATA/deep/er/x.bin", std::string("\x01\x02\x03", 3));
    ASSERT_EQ(RunVla("pack " + dir.path() + "/DATA/ -k key"), 0);
    ASSERT_TRUE(std::filesystem::exists(dir.path() + "/DATA.VLA"));

    std::string listing;
    EXPECT_EQ(RunVla("list " + dir.path() + "/DATA.VLA", &listing), 1); // wrong key
    ASSERT_EQ(RunVla("list " + dir.path() + "/DATA.VLA -k key", &listing), 0);
    EXPECT_NE(listing.find("  story.txt\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find(std::to_string(text.size()) + " "), std::string::npos) << listing;
    EXPECT_NE(listing.find(std::string(11, ' ') + "0" + std::string(12, ' ') + "-  empty.dat\n"),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find("表/ツ.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("deep/er/\n"), std::string::npos) << listing;

    ASSERT_EQ(RunVla("unpack " + dir.path() + "/DATA.VLA " + dir.path() + "/OUT -k key"), 0);
    EXPECT_EQ(dir.Read("OUT/story.txt"), text);
    EXPECT_EQ(dir.Read("OUT/empty.dat"), "");
    EXPECT_EQ(dir.Read("OUT/表/ツ.txt"), "sjis");
    EXPECT_EQ(dir.Read("OUT/deep/er/x.bin"), std::string("\x01\x02\x03", 3));
    // Without OUTDIR the archive unpacks beside itself, named after it.
    std::filesystem::remove_all(dir.path() + "/DATA");
    ASSERT_EQ(RunVla("unpack " + dir.path() + "/DATA.VLA -k key"), 0);
    EXPECT_EQ(dir.Read("DATA/story.txt"), text);

    EXPECT_EQ(RunVla("frobnicate"), 2);
    EXPECT_EQ(RunVla("pack"), 2);
    EXPECT_EQ(RunVla("list " + dir.path() + "/missing.VLA"), 1);
}

// Unpacking never destroys work: an edited file stays unless -f is given, and a refusal
// comes before anything is written.
TEST(VlaTool, UnpackKeepsExistingFilesUnlessForced) {
    test::TempDir dir;
    dir.Write("story/a.txt", "packed a");
    dir.Write("story/sub/b.txt", "packed b");
    std::string out;
    ASSERT_EQ(test::RunShell("cd '" + dir.path() + "/story' && " VLA_PROGRAM " pack . >/dev/null"),
              0);
    ASSERT_TRUE(std::filesystem::exists(dir.path() + "/story.VLA")); // named after the folder
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/story/..VLA"));

    dir.Write("story/a.txt", "edited after packing");
    std::filesystem::remove_all(dir.path() + "/story/sub");
    EXPECT_EQ(RunVla("unpack " + dir.path() + "/story.VLA", &out, true), 1);
    EXPECT_NE(out.find("story/a.txt already exists; nothing was unpacked (-f overwrites)"),
              std::string::npos)
        << out;
    EXPECT_EQ(dir.Read("story/a.txt"), "edited after packing");
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/story/sub")); // nothing written

    // A link in a member's place is replaced, not written through to its target.
    dir.Write("outside.txt", "not part of the story");
    std::filesystem::remove(dir.path() + "/story/a.txt");
    std::filesystem::create_symlink(dir.path() + "/outside.txt", dir.path() + "/story/a.txt");
    EXPECT_EQ(RunVla("unpack " + dir.path() + "/story.VLA -f"), 0);
    EXPECT_EQ(dir.Read("story/a.txt"), "packed a");
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path() + "/story/a.txt"));
    EXPECT_EQ(dir.Read("outside.txt"), "not part of the story");
    EXPECT_EQ(dir.Read("story/sub/b.txt"), "packed b");

    EXPECT_EQ(RunVla("--help", &out), 0);
    EXPECT_EQ(out.rfind("usage: vla pack DIR", 0), 0u) << out;
    EXPECT_EQ(RunVla("--version", &out), 0);
    EXPECT_EQ(out.rfind("vla ", 0), 0u) << out;
    EXPECT_EQ(RunVla("unpack x.VLA --bogus", &out, true), 2);
    EXPECT_EQ(out, "vla: unknown option --bogus; try 'vla --help'\n");
}

TEST(VlaTool, LoopingDirectoryTableIsRefused) {
    test::TempDir dir;
    dir.Write("DATA/SUB/x.txt", "x");
    std::string error;
    ASSERT_TRUE(vla::PackDirectory(dir.path() + "/DATA", dir.path() + "/DATA.VLA", {}, error));
    std::string bytes = dir.Read("DATA.VLA");
    std::vector<uint8_t> plain(bytes.begin(), bytes.end());
    archive::ArchiveKey key = archive::MakeArchiveKey(nullptr);
    archive::ScrambleArchiveBytes(plain.data(), plain.size(), 0, key);
    archive::ArchiveHeader header;
    ASSERT_TRUE(archive::ReadArchiveHeader(plain.data(), header));
    // SUB is the root's only entry; point it back at the root's record.
    archive::StoreLe32(&plain[header.directoryPosition + header.fileTableOffset + 32], 0);
    archive::ScrambleArchiveBytes(plain.data(), plain.size(), 0, key);
    dir.Write("DATA.VLA", std::string(plain.begin(), plain.end()));
    vla::ArchiveFile archive;
    std::vector<vla::ArchiveListing> items;
    ASSERT_TRUE(archive.Open(dir.path() + "/DATA.VLA", "", error)) << error;
    EXPECT_FALSE(archive.List(items, error));
    EXPECT_NE(error.find("loop"), std::string::npos) << error;
}

} // namespace
} // namespace velox
