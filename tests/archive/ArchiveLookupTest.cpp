// Finding the archive for a path: normalisation, precedence over the file
// system, the lookup cache, reference counts and the archive table.
#include "ArchiveFixture.h"

#include "platform/FileSystem.h"

#include <velox/velox.h>

#include <filesystem>

namespace velox {
namespace {

using test::Sjis;

class ArchiveLookupTest : public test::ArchiveFixture {
protected:
    std::string Full(const char* path) {
        char out[archive::kFullPathSize];
        int n = archive::BuildFullPath(path, out, sizeof out);
        return n < 0 ? "<fail>" : std::string(out, size_t(n));
    }
    std::string UpperDir() {
        std::string d = Full(".");
        return d;
    }
    int RefCount(int slot) { return archive::ArchiveState().slots[slot].refCount; }
};

TEST_F(ArchiveLookupTest, FullPathIsUpperCasedAndNormalised) {
    std::string cwd = UpperDir();
    ASSERT_EQ(cwd.find('/'), std::string::npos);
    EXPECT_EQ(cwd[0], '\\');
    EXPECT_EQ(Full("data/img/a.png"), cwd + "\\DATA\\IMG\\A.PNG");
    EXPECT_EQ(Full("data\\.\\x\\..\\img//a.png"), cwd + "\\DATA\\IMG\\A.PNG");
    EXPECT_EQ(Full("/usr/../../tmp/x"), "\\TMP\\X"); // ".." never removes the root
    EXPECT_EQ(Full("c:\\Data\\a"), "\\DATA\\A");     // drives map onto the one root
    EXPECT_EQ(Full("\\\\server\\share\\a"), "\\SERVER\\SHARE\\A");
    // Double-byte characters are copied as they are, second bytes included.
    EXPECT_EQ(Full(Sjis("/表/ツ.txt").c_str()), Sjis("\\表\\ツ.TXT"));
    EXPECT_EQ(Full(Sjis("/表/..").c_str()), "");
    std::string tooLong(2000, 'a');
    EXPECT_EQ(Full(("/" + tooLong).c_str()), "<fail>");
}

TEST_F(ArchiveLookupTest, ArchiveBesideFolderTakesPrecedenceOverPlainFiles) {
    dir.Write("DATA/IMG/A.PNG", "archived");
    Pack("DATA");
    dir.Write("DATA/IMG/A.PNG", "on disk");
    EXPECT_EQ(ReadThrough("DATA/IMG/A.PNG"), "archived");
    EXPECT_EQ(ReadThrough("DATA\\IMG\\A.PNG"), "archived");
    // Case and separators are normalised; so are "." and "..".
    EXPECT_EQ(ReadThrough("data/img/a.png"), "archived");
    EXPECT_EQ(ReadThrough(dir.path() + "/Data/./x/../Img/a.PNG"), "archived");
}

TEST_F(ArchiveLookupTest, ArchiveNamedInLowerCaseOnDiskIsFound) {
    dir.Write("DATA/a.txt", "lower");
    Pack("DATA");
    std::filesystem::rename(dir.path() + "/DATA.VLA", dir.path() + "/data.vla");
    std::filesystem::remove_all(dir.path() + "/DATA");
    platform::ForgetDirectoryCache();
    EXPECT_EQ(ReadThrough("Data/A.txt"), "lower");
}

TEST_F(ArchiveLookupTest, ShortestPrefixWins) {
    dir.Write("OUTER/INNER/x.txt", "inner member");
    Pack("OUTER/INNER");
    Pack("OUTER"); // OUTER.VLA holds INNER.VLA and INNER/x.txt
    dir.Write("OUTER/INNER/x.txt", "disk");
    std::filesystem::remove(dir.path() + "/OUTER/INNER.VLA");
    EXPECT_EQ(ReadThrough("OUTER/INNER/x.txt"), "inner member");
    archive::ArchiveLookup lookup;
    ASSERT_TRUE(archive::FindArchiveForPath("OUTER/INNER/x.txt", lookup));
    EXPECT_STREQ(lookup.memberPath, "INNER\\X.TXT");
    archive::ReleaseArchiveReference(lookup.archiveIndex);
}

TEST_F(ArchiveLookupTest, MissingMemberFailsEvenWhenTheFileIsOnDisk) {
    dir.Write("DATA/in.txt", "in");
    Pack("DATA");
    dir.Write("DATA/only-on-disk.txt", "disk");
    dir.Write("DATA/IMG/x.txt", "disk");
    EXPECT_EQ(FileOpenRead("DATA/only-on-disk.txt", 0), 0);
    EXPECT_NE(log.FileText().find(Sjis("ＶＬＡファイルの中に指定のファイルは見つかりませんでした")),
              std::string::npos);
    EXPECT_EQ(FileOpenRead("DATA/IMG/x.txt", 0), 0); // no IMG folder in the archive
    EXPECT_EQ(FileOpenRead("DATA/", 0), 0);
    // The failed opens gave their references back.
    ASSERT_EQ(archive::ArchiveState().openCount, 1);
    EXPECT_EQ(RefCount(0), 0);
}

TEST_F(ArchiveLookupTest, FolderInsideTheArchiveIsNoFile) {
    dir.Write("DATA/IMG/a.png", "a");
    dir.Write("DATA/b", "file b");
    dir.Write("DATA/SUB/b/c", "c");
    Pack("DATA");
    std::filesystem::remove_all(dir.path() + "/DATA");
    EXPECT_EQ(ReadThrough("DATA/IMG"), std::nullopt);
    EXPECT_EQ(ReadThrough("DATA/b/c"), std::nullopt); // b is a file, not a folder
    EXPECT_EQ(ReadThrough("DATA/SUB/b/c"), "c");
    EXPECT_EQ(ReadThrough("DATA/b"), "file b");
}

TEST_F(ArchiveLookupTest, PlainFilesBesideTheArchiveStayPlain) {
    dir.Write("DATA/a.txt", "archived");
    Pack("DATA");
    dir.Write("DATA2/a.txt", "disk two");
    dir.Write("DATA.txt", "disk file");
    EXPECT_EQ(ReadThrough("DATA/a.txt"), "archived");
    // The cached prefix DATA must not swallow DATA2 or DATA.txt.
    EXPECT_EQ(ReadThrough("DATA2/a.txt"), "disk two");
    EXPECT_EQ(ReadThrough("DATA.txt"), "disk file");
}

TEST_F(ArchiveLookupTest, ReferencesFollowOpenMembersAndUnusedArchivesAreReleased) {
    dir.Write("DATA/a.txt", "a");
    dir.Write("DATA/b.txt", "b");
    Pack("DATA");
    intptr_t a = file::gFileAccess.open("DATA/a.txt", 0, 1, 0);
    intptr_t b = file::gFileAccess.open("DATA/b.txt", 0, 1, 0);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_EQ(RefCount(0), 2);
    file::gFileAccess.close(a);
    EXPECT_EQ(RefCount(0), 1);
    archive::ReleaseUnusedArchives(); // still in use
    EXPECT_EQ(archive::ArchiveState().openCount, 1);
    file::gFileAccess.close(b);
    EXPECT_EQ(RefCount(0), 0);
    EXPECT_EQ(archive::ArchiveState().openCount, 1); // unused archives stay open until needed
    archive::EndArchiveLayer();
    EXPECT_EQ(archive::ArchiveState().openCount, 0);
    // A released archive is reopened by the next lookup.
    EXPECT_EQ(ReadThrough("DATA/b.txt"), "b");
    EXPECT_EQ(archive::ArchiveState().openCount, 1);
    // An archive gone from disk is searched for again, then the file system serves.
    archive::ReleaseUnusedArchives();
    std::filesystem::remove(dir.path() + "/DATA.VLA");
    platform::ForgetDirectoryCache();
    dir.Write("DATA/b.txt", "disk b");
    EXPECT_EQ(ReadThrough("DATA/b.txt"), "disk b");
}

TEST_F(ArchiveLookupTest, FullTableReleasesUnusedArchives) {
    dir.Write("A/x.txt", "x");
    Pack("A");
    for (int i = 0; i < archive::kMaxArchives + 1; ++i) {
        std::filesystem::copy_file(dir.path() + "/A.VLA",
                                   dir.path() + "/A" + std::to_string(i) + ".VLA");
    }
    // 512 archives held open at once: the 513th cannot come in.
    std::vector<intptr_t> held;
    for (int i = 0; i < archive::kMaxArchives; ++i) {
        intptr_t f = file::gFileAccess.open(("A" + std::to_string(i) + "/x.txt").c_str(), 0, 1, 0);
        ASSERT_NE(f, 0) << i;
        held.push_back(f);
    }
    EXPECT_EQ(archive::ArchiveState().openCount, archive::kMaxArchives);
    archive::ArchiveLookup lookup;
    EXPECT_FALSE(archive::FindArchiveForPath("A512/x.txt", lookup));
    // Once they are unused, the next archive takes the place of all of them.
    for (intptr_t f : held) {
        file::gFileAccess.close(f);
    }
    EXPECT_EQ(ReadThrough("A512/x.txt"), "x");
    EXPECT_EQ(archive::ArchiveState().openCount, 1);
}

TEST_F(ArchiveLookupTest, FindListsArchiveFolders) {
    dir.Write("DATA/IMG/A.png", "12345");
    dir.Write("DATA/IMG/b.txt", "1");
    dir.Write("DATA/Readme.txt", "abc");
    Pack("DATA");
    std::filesystem::remove_all(dir.path() + "/DATA");
    auto list = [](const char* pattern) {
        std::vector<std::string> names;
        file::FileFindInfo info{};
        intptr_t find = archive::ArchiveAwareFindFirst(pattern, &info);
        if (find == -1) {
            return names;
        }
        do {
            names.push_back(std::string(info.name) + (info.isDirectory ? "/" : "") + ":" +
                            std::to_string(info.size));
        } while (archive::ArchiveAwareFindNext(find, &info) == 0);
        EXPECT_EQ(archive::ArchiveAwareFindClose(find), 0);
        return names;
    };
    // The root has no "..".
    EXPECT_EQ(list("DATA/*"), (std::vector<std::string>{"./:0", "IMG/:0", "Readme.txt:3"}));
    EXPECT_EQ(list("data/img/*"),
              (std::vector<std::string>{"./:0", "../:0", "A.png:5", "b.txt:1"}));
    EXPECT_EQ(list("DATA/IMG/*.PNG"), (std::vector<std::string>{"A.png:5"}));
    // "?.*" matches ".." as well: '?' is its first '.', '*' stands for nothing.
    EXPECT_EQ(list("DATA/IMG/?.*"), (std::vector<std::string>{"../:0", "A.png:5", "b.txt:1"}));
    EXPECT_TRUE(list("DATA/IMG/*.bmp").empty());
    EXPECT_TRUE(list("DATA/NONE/*").empty());
    // Outside an archive the file system answers.
    dir.Write("PLAIN/z.txt", "zz");
    EXPECT_EQ(list("PLAIN/*"), (std::vector<std::string>{"z.txt:2"}));
    EXPECT_EQ(RefCount(0), 0);
}

} // namespace
} // namespace velox
