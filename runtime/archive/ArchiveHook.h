// The seam between the file layer and the archive layer. The file layer asks
// FindArchiveForPath on every open; when a directory on the path is packed into
// an archive, the file is opened as a member of that archive and only there.
#pragma once

#include "file/FileAccess.h"

#include <cstddef>
#include <cstdint>

namespace velox::archive {

struct ArchiveMember; // the archive layer's member reader

struct ArchiveLookup {
    int archiveIndex = -1;     // index in the archive table, -1: no archive on the way
    char memberPath[260] = {}; // path inside the archive (Shift-JIS)
};

// Fills lookup and takes a reference on the archive when one is found.
bool FindArchiveForPath(const char* path, ArchiveLookup& lookup);
// Drops the reference FindArchiveForPath took (or the one a member held).
void ReleaseArchiveReference(int archiveIndex);
// Opens a member; nullptr when the archive has no such member.
ArchiveMember* OpenArchiveMember(int archiveIndex, const char* memberPath, int async);
void CloseArchiveMember(ArchiveMember* member);
int64_t ArchiveMemberTell(ArchiveMember* member);
int ArchiveMemberSeek(ArchiveMember* member, int64_t offset, int origin);
size_t ArchiveMemberRead(void* dst, size_t elementSize, size_t count, ArchiveMember* member);
int ArchiveMemberAtEnd(ArchiveMember* member);
int ArchiveMemberIdle(ArchiveMember* member);
// Clears the archive layer's state at runtime start; releases unused archives at shutdown.
void ResetArchiveLayer();
void EndArchiveLayer();

// The key string archives are descrambled with (Shift-JIS bytes; only the first
// 12 count). nullptr or "" means none. A setting: it survives ResetArchiveLayer.
void SetArchiveKeyString(const char* keyString);

// Find operations inside an archive directory. "." and ".." come first (".." not
// in the root). The caller keeps the reference FindArchiveForPath took until after
// ArchiveFindClose and then drops it with ReleaseArchiveReference.
struct ArchiveFind;
struct ArchiveFindEntry {
    char name[260]; // stored case, Shift-JIS
    int32_t isDirectory;
    int64_t size;
    uint64_t creationTime; // platform file times, 100 ns units since 1601
    uint64_t writeTime;
};
// memberPattern: a path inside the archive whose last component may hold * and ?.
// nullptr when the directory does not exist or nothing matches.
ArchiveFind* ArchiveFindFirst(int archiveIndex, const char* memberPattern, ArchiveFindEntry& entry);
// 0, or -1 when no entry is left.
int ArchiveFindNext(ArchiveFind* find, ArchiveFindEntry& entry);
void ArchiveFindClose(ArchiveFind* find);

// Find first / next / close for the archive-aware file-access table: a pattern
// under an archive lists the archive's directory, any other the file system.
intptr_t ArchiveAwareFindFirst(const char* pattern, file::FileFindInfo* info);
int ArchiveAwareFindNext(intptr_t find, file::FileFindInfo* info);
int ArchiveAwareFindClose(intptr_t find);

} // namespace velox::archive
