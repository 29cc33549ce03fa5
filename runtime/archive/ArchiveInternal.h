// The archive layer's own state: the archive table, the lookup cache and the
// readers behind them. Callers hold the entry gate; nothing here locks.
#pragma once

#include "archive/ArchiveFormat.h"
#include "file/FileRecord.h"

#include <cstddef>
#include <cstdint>

namespace velox::archive {

constexpr int kMaxArchives = 512;
constexpr size_t kArchivePathSize = 256;
constexpr size_t kFullPathSize = 1024;

struct ArchiveReader {
    ArchiveHeader header;
    file::FileRecord* file; // threaded, asynchronous: every archive has its own thread
    uint64_t fileSize;
    uint8_t* directoryBlock; // descrambled
    ArchiveDirectory directory;
    uint32_t currentDirectory; // record offset; the root after opening
    ArchiveKey key;
};

struct ArchiveSlot {
    int32_t refCount;
    ArchiveReader* reader; // nullptr: empty slot
    char path[kArchivePathSize];
};

struct ArchiveLayerState {
    ArchiveSlot slots[kMaxArchives];
    int32_t openCount;
    // Lookup cache: the archive found last and the directory prefix it stands for.
    char cachePath[kArchivePathSize];
    int32_t cachePrefixLength; // 0: empty
    int32_t cacheSlot;
};

ArchiveLayerState& ArchiveState();

// The live reader of a slot, nullptr for an empty or invalid index.
ArchiveReader* ArchiveAt(int index);
// Slot of the archive with exactly this path, opened when needed; -1 on failure.
int TakeArchiveReference(const char* archivePath);
// Closes every archive that no member or lookup holds.
void ReleaseUnusedArchives();

// nullptr when the path is no archive (missing, unreadable, wrong signature or version).
ArchiveReader* OpenArchiveReader(const char* path, const char* keyString);
void CloseArchiveReader(ArchiveReader* reader);

// Waits until the archive file's thread has finished its command.
void WaitForArchiveFile(file::FileRecord* file);
// Reads and descrambles bytes at a file position, waiting for them; false on a short read.
bool ReadArchiveBytes(ArchiveReader& reader, uint64_t position, void* dst, size_t size);
// Starts reading bytes at a file position without waiting; they arrive scrambled.
bool StartArchiveRead(ArchiveReader& reader, uint64_t position, void* dst, size_t size);
// The same read, finished before returning and done on the calling thread when
// the file allows it (still scrambled); false unless every byte arrived.
bool ReadArchiveFileNow(ArchiveReader& reader, uint64_t position, void* dst, size_t size);

// Normalises a path to "\DIR\...\NAME": upper-case ASCII, "." and ".." resolved,
// drives and network roots mapped onto the one root. The length, or -1 when it
// does not fit or the current directory cannot be had.
int BuildFullPath(const char* path, char* out, size_t outSize);

} // namespace velox::archive
