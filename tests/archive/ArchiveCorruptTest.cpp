// Damaged archives fail cleanly: no read outside the file or a buffer, no
// allocation a forged size asks for, and a clean fall-back where the rules give one.
#include "ArchiveFixture.h"

#include "archive/ArchiveDecode.h"

#include <velox/velox.h>

#include <cstring>
#include <filesystem>

namespace velox {
namespace {

using Bytes = std::vector<uint8_t>;

class ArchiveCorruptTest : public test::ArchiveFixture {
protected:
    // Packs DATA with a compressible and a stored member, keeps a disk copy of a.txt.
    void MakeArchive() {
        dir.Write("DATA/a.txt", std::string(3000, 'a') + "tail");
        dir.Write("DATA/raw.bin", "0123456789");
        dir.Write("DATA/SUB/s.txt", "sub");
        Pack("DATA");
        dir.Write("DATA/a.txt", "disk");
        plain = Plain("DATA.VLA");
        ASSERT_TRUE(archive::ReadArchiveHeader(plain.data(), header));
    }
    // File position of a root entry's 44 bytes.
    size_t EntryPosition(const char* name) {
        archive::ArchiveDirectory directory(plain.data() + header.directoryPosition, header);
        archive::ArchiveDirRecord root;
        EXPECT_TRUE(directory.DirRecordAt(0, root));
        for (uint32_t i = 0; i < root.entryCount; ++i) {
            uint32_t offset = 0;
            archive::ArchiveFileEntry entry;
            char stored[260];
            if (directory.EntryOffset(root, i, offset) && directory.FileEntryAt(offset, entry) &&
                directory.StoredName(entry, stored, sizeof stored) &&
                std::strcmp(stored, name) == 0) {
                return header.directoryPosition + header.fileTableOffset + offset;
            }
        }
        ADD_FAILURE() << "no entry " << name;
        return 0;
    }
    void Put32(size_t position, uint32_t value) { archive::StoreLe32(&plain[position], value); }
    bool IsArchive() {
        archive::ArchiveLookup lookup;
        bool found = archive::FindArchiveForPath("DATA/a.txt", lookup);
        if (found) {
            archive::ReleaseArchiveReference(lookup.archiveIndex);
        }
        archive::EndArchiveLayer();
        return found;
    }

    Bytes plain;
    archive::ArchiveHeader header;
};

TEST_F(ArchiveCorruptTest, DamagedHeadersMakeTheFileNoArchive) {
    MakeArchive();
    ASSERT_TRUE(IsArchive());
    Bytes good = plain;
    // Truncated inside the header: the plain file on disk serves.
    WritePlain("DATA.VLA", Bytes(good.begin(), good.begin() + 10));
    EXPECT_FALSE(IsArchive());
    EXPECT_EQ(ReadThrough("DATA/a.txt"), "disk");
    archive::EndArchiveLayer();
    // Directory block past the end of the file, or larger than the file.
    Put32(12, uint32_t(good.size()));
    WritePlain("DATA.VLA", plain);
    EXPECT_FALSE(IsArchive());
    plain = good;
    Put32(4, 0xFFFFFFF0u);
    WritePlain("DATA.VLA", plain);
    EXPECT_FALSE(IsArchive());
    // Table offsets outside the directory block.
    plain = good;
    Put32(20, header.directorySize);
    WritePlain("DATA.VLA", plain);
    EXPECT_FALSE(IsArchive());
    // A version above 3, and a data area past the end.
    plain = good;
    archive::StoreLe16(&plain[2], 4);
    WritePlain("DATA.VLA", plain);
    EXPECT_FALSE(IsArchive());
    plain = good;
    Put32(8, uint32_t(good.size() + 1));
    WritePlain("DATA.VLA", plain);
    EXPECT_FALSE(IsArchive());
    // Truncated inside the directory block.
    WritePlain("DATA.VLA", Bytes(good.begin(), good.end() - 1));
    EXPECT_FALSE(IsArchive());
}

TEST_F(ArchiveCorruptTest, MemberOutsideTheFileFailsToOpen) {
    MakeArchive();
    size_t raw = EntryPosition("raw.bin");
    Put32(raw + 32, uint32_t(plain.size())); // data offset past the end
    size_t a = EntryPosition("a.txt");
    Put32(a + 40, uint32_t(plain.size())); // compressed size larger than the file
    WritePlain("DATA.VLA", plain);
    EXPECT_EQ(ReadThrough("DATA/raw.bin"), std::nullopt);
    EXPECT_EQ(ReadThrough("DATA/a.txt"), std::nullopt);
    EXPECT_EQ(ReadThrough("DATA/SUB/s.txt"), "sub");
}

TEST_F(ArchiveCorruptTest, CopyReachingBeforeTheOutputFailsTheMember) {
    MakeArchive();
    size_t a = EntryPosition("a.txt");
    size_t data = header.dataPosition + archive::LoadLe32(&plain[a + 32]);
    uint8_t marker = plain[data + 8];
    // The stream's first code becomes a copy from 256 bytes back at output position 0.
    plain[data + 9] = marker;
    plain[data + 10] = 0 >= marker ? 1 : 0; // code 0: length 4, one distance byte
    plain[data + 11] = 0xFF;
    WritePlain("DATA.VLA", plain);
    EXPECT_EQ(ReadThrough("DATA/a.txt"), std::nullopt);
    // Opened asynchronously the failure shows only after the open: the member reads as empty.
    EXPECT_EQ(ReadThrough("DATA/a.txt", 1), "");
    WriteOpenSeed("bad-copy", plain);
}

TEST_F(ArchiveCorruptTest, ForgedSizesFailTheMember) {
    MakeArchive();
    size_t a = EntryPosition("a.txt");
    Put32(a + 36, 0x7FFFFFF0u); // 2 GiB from a few dozen compressed bytes
    size_t raw = EntryPosition("raw.bin");
    size_t rawData = header.dataPosition + archive::LoadLe32(&plain[raw + 32]);
    Put32(raw + 36, uint32_t(plain.size() - rawData + 1)); // one byte past the end of the file
    WritePlain("DATA.VLA", plain);
    EXPECT_EQ(ReadThrough("DATA/a.txt"), std::nullopt);
    EXPECT_EQ(ReadThrough("DATA/a.txt", 1), std::nullopt);
    EXPECT_EQ(ReadThrough("DATA/raw.bin"), std::nullopt);
    EXPECT_EQ(ReadThrough("DATA/SUB/s.txt"), "sub");
}

TEST_F(ArchiveCorruptTest, DamagedDirectoryTablesFailLookupsCleanly) {
    MakeArchive();
    Bytes good = plain;
    // A name entry claiming more units than the block holds.
    size_t raw = EntryPosition("raw.bin");
    size_t name = header.directoryPosition + archive::LoadLe32(&plain[raw]);
    archive::StoreLe16(&plain[name], 0xFFFF);
    WritePlain("DATA.VLA", plain);
    EXPECT_EQ(ReadThrough("DATA/raw.bin"), std::nullopt);
    EXPECT_EQ(ReadThrough("DATA/SUB/s.txt"), "sub");
    archive::EndArchiveLayer();
    // A root that claims millions of entries: the walk stops at the block's end.
    plain = good;
    Put32(header.directoryPosition + header.directoryTableOffset + 8, 0x00FFFFFFu);
    WritePlain("DATA.VLA", plain);
    EXPECT_EQ(ReadThrough("DATA/missing.txt"), std::nullopt);
    EXPECT_EQ(ReadThrough("DATA/raw.bin"), "0123456789");
    file::FileFindInfo info{};
    intptr_t find = archive::ArchiveAwareFindFirst("DATA/*", &info);
    ASSERT_NE(find, -1);
    int found = 1;
    while (archive::ArchiveAwareFindNext(find, &info) == 0) {
        ++found;
    }
    // ".", SUB, a.txt, raw.bin, then SUB's s.txt read as a root entry; the directory
    // table behind it is shorter than an entry, so the walk ends there.
    EXPECT_EQ(found, 5);
    archive::ArchiveAwareFindClose(find);
    archive::EndArchiveLayer();
    // A folder entry pointing at a record outside the directory table.
    plain = good;
    size_t sub = EntryPosition("SUB");
    Put32(sub + 32, 0x10000000u);
    WritePlain("DATA.VLA", plain);
    EXPECT_EQ(ReadThrough("DATA/SUB/s.txt"), std::nullopt);
}

// An archive of version 1 built by hand: 40-byte file entries, no compressed size.
TEST_F(ArchiveCorruptTest, VersionOneArchiveReadsStoredMembers) {
    archive::NameKey key;
    ASSERT_TRUE(archive::MakeNameKey("Old.txt", 7, key));
    const char data[] = "old format";
    archive::ArchiveHeader h;
    h.version = 1;
    h.dataPosition = 24;
    h.fileTableOffset = uint32_t(archive::NameEntrySize(key));
    h.directoryTableOffset = h.fileTableOffset + 40;
    h.directorySize = h.directoryTableOffset + 16;
    h.directoryPosition = 24 + 10;
    Bytes file(h.directoryPosition + h.directorySize);
    archive::WriteArchiveHeader(h, file.data());
    std::memcpy(&file[24], data, 10);
    uint8_t* block = &file[h.directoryPosition];
    archive::WriteNameEntry(key, "Old.txt", 7, block);
    archive::ArchiveFileEntry entry;
    entry.attributes = archive::kArchiveFileAttribute;
    entry.size = 10;
    archive::WriteFileEntry(entry, 1, block + h.fileTableOffset);
    archive::ArchiveDirRecord root;
    root.entryCount = 1;
    archive::WriteDirRecord(root, block + h.directoryTableOffset);
    WritePlain("OLD.VLA", file);
    EXPECT_EQ(ReadThrough("old/OLD.TXT"), "old format");
    WriteOpenSeed("version1", file);
}

} // namespace
} // namespace velox
