// Members packed by the vla tool read back through the file layer byte for byte.
#include "ArchiveFixture.h"

#include "support/TempDir.h"

#include <velox/velox.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace velox {
namespace {

using test::Sjis;

std::string Text(size_t size) {
    std::string s;
    for (size_t i = 0; s.size() < size; ++i) {
        s += "line " + std::to_string(i % 97) + " of the story\r\n";
    }
    s.resize(size);
    return s;
}

std::string Noise(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s) {
        c = char(rng() & 0xFF);
    }
    return s;
}

class ArchiveMemberTest : public test::ArchiveFixture {
protected:
    // Stored and compressed members, an empty one, a deep folder and Shift-JIS names.
    void MakeFolder() {
        dir.Write("DATA/story.txt", Text(50000));
        dir.Write("DATA/noise.bin", Noise(30000, 1));
        dir.Write("DATA/empty.dat", "");
        dir.Write("DATA/a/b/c/d/e/deep.txt", "deep inside");
        dir.Write("DATA/表/示.txt", "hyou-ji"); // 表 is 0x95 0x5C: a '\' as second byte
        dir.Write("DATA/ツ.txt", "tsu");        // ツ is 0x83 0x63: a 'c' as second byte
        dir.Write("DATA/ェ.txt", "small e");    // ェ is 0x83 0x46, what ツ would upper-case to
    }
    void CheckAll(int async) {
        EXPECT_EQ(ReadThrough("DATA/story.txt", async), Text(50000));
        EXPECT_EQ(ReadThrough("DATA/noise.bin", async), Noise(30000, 1));
        EXPECT_EQ(ReadThrough("DATA/empty.dat", async), "");
        EXPECT_EQ(ReadThrough("DATA/a/b/c/d/e/deep.txt", async), "deep inside");
        EXPECT_EQ(ReadThrough(Sjis("DATA\\表\\示.txt"), async), "hyou-ji");
        EXPECT_EQ(ReadThrough(Sjis("DATA/ツ.txt"), async), "tsu");
        EXPECT_EQ(ReadThrough(Sjis("DATA/ェ.txt"), async), "small e");
    }
    // Removes the folder so that nothing can come from the file system.
    void RemoveFolder() { std::filesystem::remove_all(dir.path() + "/DATA"); }
};

TEST_F(ArchiveMemberTest, CompressedAndStoredMembersRoundTrip) {
    MakeFolder();
    Pack("DATA");
    RemoveFolder();
    vla::ArchiveFile archive;
    std::vector<vla::ArchiveListing> items;
    std::string error;
    ASSERT_TRUE(archive.Open(dir.path() + "/DATA.VLA", "", error)) << error;
    ASSERT_TRUE(archive.List(items, error)) << error;
    for (const auto& item : items) {
        if (item.path == "story.txt") {
            EXPECT_TRUE(item.entry.IsCompressed());
        }
        if (item.path == "noise.bin" || item.path == "empty.dat") {
            EXPECT_FALSE(item.entry.IsCompressed()) << item.path;
        }
    }
    CheckAll(0);
    CheckAll(1);
    WriteOpenSeed("mixed", Plain("DATA.VLA"));
}

TEST_F(ArchiveMemberTest, StoredArchiveRoundTrips) {
    MakeFolder();
    vla::PackOptions options;
    options.store = true;
    Pack("DATA", options);
    RemoveFolder();
    CheckAll(0);
    CheckAll(1);
}

TEST_F(ArchiveMemberTest, KeyStringMustMatchTheArchive) {
    MakeFolder();
    vla::PackOptions options;
    options.keyString = "secret";
    Pack("DATA", options);
    RemoveFolder();
    // Read with another key, the file is no archive and DATA does not exist on disk.
    EXPECT_EQ(ReadThrough("DATA/story.txt"), std::nullopt);
    archive::EndArchiveLayer();
    archive::SetArchiveKeyString("secret");
    CheckAll(0);
    WriteOpenSeed("keyed", Plain("DATA.VLA", "secret"));
}

TEST_F(ArchiveMemberTest, EmptyKeyStringCountsAsNone) {
    dir.Write("DATA/a.txt", "plain key");
    Pack("DATA");
    RemoveFolder();
    archive::SetArchiveKeyString("");
    EXPECT_EQ(ReadThrough("DATA/a.txt"), "plain key");
}

TEST_F(ArchiveMemberTest, FallbackKeyOpensWhateverTheKeyString) {
    dir.Write("DATA/a.txt", "fallback");
    vla::PackOptions options;
    options.useFallbackKey = true;
    Pack("DATA", options);
    RemoveFolder();
    archive::SetArchiveKeyString("anything");
    EXPECT_EQ(ReadThrough("DATA/a.txt"), "fallback");
}

TEST_F(ArchiveMemberTest, EmptyMemberIsAtItsEndAtOnce) {
    dir.Write("DATA/empty.dat", "");
    Pack("DATA");
    int32_t f = FileOpenRead("DATA/empty.dat", 0);
    ASSERT_NE(f, 0);
    EXPECT_EQ(FileAtEnd(f), 1);
    EXPECT_EQ(file::gFileAccess.atEnd(f), 0); // no read has hit the end yet
    char c;
    EXPECT_EQ(file::gFileAccess.read(&c, 1, 1, f), 0u);
    EXPECT_EQ(file::gFileAccess.atEnd(f), -1);
    char line[16];
    EXPECT_EQ(FileReadLine(line, sizeof line, f), -1);
    EXPECT_EQ(FileClose(f), 0);
}

TEST_F(ArchiveMemberTest, SeekingClampsToTheMemberAndClearsTheEndFlag) {
    for (bool store : {false, true}) {
        SCOPED_TRACE(store ? "stored" : "compressed");
        std::string text = Text(4000);
        dir.Write("DATA/t.txt", text);
        vla::PackOptions options;
        options.store = store;
        Pack("DATA", options);
        intptr_t f = file::gFileAccess.open("DATA/t.txt", 0, 1, 0);
        ASSERT_NE(f, 0);
        EXPECT_EQ(file::gFileAccess.seek(f, 100000, 0), 0);
        EXPECT_EQ(file::gFileAccess.tell(f), 4000);
        EXPECT_EQ(file::gFileAccess.seek(f, -10, 0), 0);
        EXPECT_EQ(file::gFileAccess.tell(f), 0);
        EXPECT_EQ(file::gFileAccess.seek(f, -3, 2), 0);
        EXPECT_EQ(file::gFileAccess.tell(f), 3997);
        char buffer[8] = {};
        // Three whole 1-byte elements are left of the eight asked for.
        EXPECT_EQ(file::gFileAccess.read(buffer, 1, 8, f), 3u);
        EXPECT_EQ(std::string(buffer, 3), text.substr(3997));
        EXPECT_EQ(file::gFileAccess.read(buffer, 1, 8, f), 0u);
        EXPECT_EQ(file::gFileAccess.atEnd(f), -1);
        EXPECT_EQ(file::gFileAccess.seek(f, -2000, 1), 0);
        EXPECT_EQ(file::gFileAccess.atEnd(f), 0);
        EXPECT_EQ(file::gFileAccess.read(buffer, 4, 2, f), 2u);
        EXPECT_EQ(std::string(buffer, 8), text.substr(2000, 8));
        EXPECT_EQ(file::gFileAccess.seek(f, 0, 7), -1);
        EXPECT_EQ(file::gFileAccess.close(f), 0);
        archive::EndArchiveLayer(); // the next round packs the archive anew
    }
}

TEST_F(ArchiveMemberTest, LinesReadThroughThePublicOperations) {
    dir.Write("DATA/story.txt", "AB\r\nCD");
    dir.Write("DATA/long.txt", Text(3000) + "\r\nlast");
    Pack("DATA");
    RemoveFolder();
    int32_t f = FileOpenRead("data/story.txt", 0);
    ASSERT_NE(f, 0);
    char line[1024];
    EXPECT_EQ(FileReadLine(line, sizeof line, f), 2);
    EXPECT_STREQ(line, "AB");
    EXPECT_EQ(FileReadLine(line, sizeof line, f), 2);
    EXPECT_STREQ(line, "CD");
    EXPECT_EQ(FileAtEnd(f), 1);
    EXPECT_EQ(FileReadLine(line, sizeof line, f), -1);
    EXPECT_EQ(FileClose(f), 0);

    // A compressed member read asynchronously, line by line.
    f = FileOpenRead("DATA/long.txt", 1);
    ASSERT_NE(f, 0);
    int lines = 0;
    std::string last;
    while (FileReadLine(line, sizeof line, f) >= 0) {
        ++lines;
        last = line;
    }
    EXPECT_EQ(last, "last");
    std::string body = Text(3000);
    int lineEnds = 0;
    for (size_t at = body.find("\r\n"); at != std::string::npos; at = body.find("\r\n", at + 2)) {
        ++lineEnds;
    }
    EXPECT_EQ(lines, lineEnds + 2); // the cut-off line the added CR LF ends, then "last"
    EXPECT_EQ(FileClose(f), 0);
}

TEST_F(ArchiveMemberTest, AsynchronousReadsCompleteOnTheIdleTest) {
    std::string noise = Noise(200000, 3);
    dir.Write("DATA/noise.bin", noise);
    dir.Write("DATA/story.txt", Text(200000));
    Pack("DATA");
    // Closing at once must wait for the load that is still writing into the buffers.
    intptr_t early = file::gFileAccess.open("DATA/story.txt", 0, 1, 1);
    ASSERT_NE(early, 0);
    EXPECT_EQ(file::gFileAccess.close(early), 0);

    intptr_t f = file::gFileAccess.open("DATA/noise.bin", 0, 1, 1);
    ASSERT_NE(f, 0);
    std::string buffer(100000, '\0');
    EXPECT_EQ(file::gFileAccess.read(buffer.data(), 1000, 100, f), 100u);
    while (file::gFileAccess.idle(f) == 0) {
    }
    EXPECT_EQ(buffer, noise.substr(0, 100000));
    // Tell and seek wait for a pending read and complete it.
    EXPECT_EQ(file::gFileAccess.read(buffer.data(), 1, 100000, f), 100000u);
    EXPECT_EQ(file::gFileAccess.tell(f), 200000);
    EXPECT_EQ(buffer, noise.substr(100000));
    EXPECT_EQ(file::gFileAccess.close(f), 0);
}

TEST_F(ArchiveMemberTest, MembersOfOneArchiveInterleave) {
    dir.Write("DATA/a.bin", Noise(5000, 4));
    dir.Write("DATA/b.bin", Noise(5000, 5));
    Pack("DATA");
    intptr_t a = file::gFileAccess.open("DATA/a.bin", 0, 1, 0);
    intptr_t b = file::gFileAccess.open("DATA/b.bin", 0, 1, 1);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    std::string ra;
    std::string rb;
    char chunk[300];
    for (int i = 0; i < 20; ++i) {
        size_t n = file::gFileAccess.read(chunk, 1, sizeof chunk, a);
        ra.append(chunk, n);
        n = file::gFileAccess.read(chunk, 1, sizeof chunk, b);
        while (file::gFileAccess.idle(b) == 0) {
        }
        rb.append(chunk, n);
    }
    EXPECT_EQ(ra, Noise(5000, 4));
    EXPECT_EQ(rb, Noise(5000, 5));
    EXPECT_EQ(archive::ArchiveState().openCount, 1);
    file::gFileAccess.close(a);
    file::gFileAccess.close(b);
}

} // namespace
} // namespace velox
