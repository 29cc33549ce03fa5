#include "archive/ArchiveHook.h"
#include "archive/ArchiveInternal.h"
#include "core/MemoryTracker.h"
#include "platform/Clock.h"

#include <cstring>

namespace velox::archive {
namespace {

ArchiveLayerState gArchives;
char gKeyString[kArchiveKeySize + 1]; // the key uses the first 12 bytes only

void CloseSlot(ArchiveSlot& slot) {
    CloseArchiveReader(slot.reader);
    slot = ArchiveSlot{};
    --gArchives.openCount;
}

} // namespace

ArchiveLayerState& ArchiveState() {
    return gArchives;
}

void SetArchiveKeyString(const char* keyString) {
    std::memset(gKeyString, 0, sizeof gKeyString);
    if (keyString) {
        std::strncpy(gKeyString, keyString, kArchiveKeySize);
    }
}

ArchiveReader* ArchiveAt(int index) {
    if (index < 0 || index >= kMaxArchives) {
        return nullptr;
    }
    return gArchives.slots[index].reader;
}

void WaitForArchiveFile(file::FileRecord* file) {
    while (file::FileRecordIdle(file) == 0) {
        platform::YieldProcessor();
    }
}

bool StartArchiveRead(ArchiveReader& reader, uint64_t position, void* dst, size_t size) {
    if (position > reader.fileSize || size > reader.fileSize - position) {
        return false;
    }
    WaitForArchiveFile(reader.file);
    if (file::FileRecordTell(reader.file) != int64_t(position) &&
        file::FileRecordSeek(reader.file, int64_t(position), 0) != 0) {
        return false;
    }
    return size == 0 || file::FileRecordRead(dst, 1, size, reader.file) == size;
}

bool ReadArchiveFileNow(ArchiveReader& reader, uint64_t position, void* dst, size_t size) {
    if (position > reader.fileSize || size > reader.fileSize - position) {
        return false;
    }
    return size == 0 || file::FileRecordReadAt(reader.file, int64_t(position), dst, size) == size;
}

bool ReadArchiveBytes(ArchiveReader& reader, uint64_t position, void* dst, size_t size) {
    if (!ReadArchiveFileNow(reader, position, dst, size)) {
        return false;
    }
    ScrambleArchiveBytes(dst, size, position, reader.key);
    return true;
}

ArchiveReader* OpenArchiveReader(const char* path, const char* keyString) {
    file::FileRecord* file = file::OpenFileRecord(path, 0, 1);
    if (!file) {
        return nullptr;
    }
    auto* reader = core::MemNewZero<ArchiveReader>();
    if (!reader) {
        file::CloseFileRecord(file);
        return nullptr;
    }
    reader->file = file;
    int64_t size = file::FileRecordSize(file);
    reader->fileSize = size > 0 ? uint64_t(size) : 0;
    reader->key = MakeArchiveKey(keyString);

    uint8_t bytes[kArchiveHeaderSize];
    bool headerRead = ReadArchiveBytes(*reader, 0, bytes, sizeof bytes);
    bool headerFound = headerRead && ReadArchiveHeader(bytes, reader->header);
    if (headerRead && !headerFound) {
        reader->key = FallbackArchiveKey();
        headerFound = ReadArchiveBytes(*reader, 0, bytes, sizeof bytes) &&
                      ReadArchiveHeader(bytes, reader->header);
    }
    if (!headerFound || !CheckArchiveHeader(reader->header, reader->fileSize) ||
        reader->header.directorySize > 0x7FFFFFF0u) {
        CloseArchiveReader(reader);
        return nullptr;
    }
    reader->directoryBlock =
        static_cast<uint8_t*>(MemAlloc(int32_t(reader->header.directorySize), __FILE__, __LINE__));
    if (!reader->directoryBlock ||
        !ReadArchiveBytes(*reader, reader->header.directoryPosition, reader->directoryBlock,
                          reader->header.directorySize)) {
        CloseArchiveReader(reader);
        return nullptr;
    }
    reader->directory = ArchiveDirectory(reader->directoryBlock, reader->header);
    reader->currentDirectory = 0;
    return reader;
}

void CloseArchiveReader(ArchiveReader* reader) {
    if (!reader) {
        return;
    }
    if (reader->file) {
        WaitForArchiveFile(reader->file);
        file::CloseFileRecord(reader->file);
    }
    if (reader->directoryBlock) {
        MemFree(reader->directoryBlock);
    }
    MemFree(reader);
}

int TakeArchiveReference(const char* archivePath) {
    size_t length = std::strlen(archivePath);
    if (length >= kArchivePathSize) {
        return -1;
    }
    for (int i = 0; i < kMaxArchives; ++i) {
        ArchiveSlot& slot = gArchives.slots[i];
        if (slot.reader && std::strcmp(slot.path, archivePath) == 0) {
            ++slot.refCount;
            return i;
        }
    }
    if (gArchives.openCount >= kMaxArchives) {
        ReleaseUnusedArchives();
        if (gArchives.openCount >= kMaxArchives) {
            return -1;
        }
    }
    ArchiveReader* reader = OpenArchiveReader(archivePath, gKeyString);
    if (!reader) {
        return -1;
    }
    for (int i = 0; i < kMaxArchives; ++i) {
        ArchiveSlot& slot = gArchives.slots[i];
        if (!slot.reader) {
            slot.reader = reader;
            slot.refCount = 1;
            std::memcpy(slot.path, archivePath, length + 1);
            ++gArchives.openCount;
            return i;
        }
    }
    CloseArchiveReader(reader); // unreachable while openCount is kept right
    return -1;
}

void ReleaseArchiveReference(int archiveIndex) {
    if (ArchiveAt(archiveIndex) && gArchives.slots[archiveIndex].refCount > 0) {
        --gArchives.slots[archiveIndex].refCount;
    }
}

void ReleaseUnusedArchives() {
    // The table is mostly empty: the walk ends at the last open archive.
    int open = gArchives.openCount;
    for (int i = 0; i < kMaxArchives && open > 0; ++i) {
        ArchiveSlot& slot = gArchives.slots[i];
        if (slot.reader) {
            --open;
            if (slot.refCount <= 0) {
                CloseSlot(slot);
            }
        }
    }
}

void ResetArchiveLayer() {
    // Members of an earlier run went with its open-file table; nothing can reach these.
    for (ArchiveSlot& slot : gArchives.slots) {
        if (slot.reader) {
            CloseSlot(slot);
        }
    }
    std::memset(&gArchives, 0, sizeof gArchives);
    gArchives.cacheSlot = -1;
}

void EndArchiveLayer() {
    ReleaseUnusedArchives();
    gArchives.cachePrefixLength = 0;
    gArchives.cacheSlot = -1;
}

} // namespace velox::archive
