// The VLA archive format, shared by the runtime's reader and the vla packer:
// the scramble key, the 24-byte header, name keys and bounds-checked views of
// the directory block. Nothing here allocates; every offset read from an
// archive is checked against the block or file it points into before use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velox::archive {

constexpr int kArchiveKeySize = 12;
constexpr size_t kArchiveHeaderSize = 24;
constexpr uint16_t kArchiveNewestVersion = 3;
constexpr uint32_t kArchiveStored = 0xFFFFFFFFu; // compressed size of a stored member
constexpr uint32_t kArchiveNoRecord = 0xFFFFFFFFu;
constexpr uint32_t kArchiveDirectoryAttribute = 0x10;
constexpr uint32_t kArchiveFileAttribute = 0x20;
constexpr size_t kArchiveDirRecordSize = 16;
constexpr size_t kCompressedHeaderSize = 9;
// Longest name a name entry may hold (bytes, without the terminating zero).
constexpr size_t kArchiveMaxName = 255;

struct ArchiveKey {
    uint8_t bytes[kArchiveKeySize];
};

// Builds the key from a key string; nullptr or "" means no key string.
ArchiveKey MakeArchiveKey(const char* keyString);
// The second key tried when the header does not descramble with the first.
ArchiveKey FallbackArchiveKey();
// XORs each byte with key[file position mod 12]; scrambling and descrambling alike.
void ScrambleArchiveBytes(void* data, size_t size, uint64_t filePosition, const ArchiveKey& key);

struct ArchiveHeader {
    uint16_t version = kArchiveNewestVersion;
    uint32_t directorySize = 0;
    uint32_t dataPosition = 0;
    uint32_t directoryPosition = 0;
    uint32_t fileTableOffset = 0;
    uint32_t directoryTableOffset = 0;
};

void WriteArchiveHeader(const ArchiveHeader& header, uint8_t out[kArchiveHeaderSize]);
// False when the signature is not "VL" (the bytes are already descrambled).
bool ReadArchiveHeader(const uint8_t in[kArchiveHeaderSize], ArchiveHeader& header);
// False for a version above 3 or a directory block or data area outside the file.
bool CheckArchiveHeader(const ArchiveHeader& header, uint64_t fileSize);

constexpr size_t FileEntrySize(uint16_t version) {
    return version >= 2 ? 44 : 40;
}

// A name as the directory compares it: ASCII letters upper-cased, double-byte
// characters kept, zero-padded to 4-byte units with at least one zero byte.
struct NameKey {
    uint16_t units = 0;
    uint16_t checksum = 0;
    uint8_t bytes[kArchiveMaxName + 4] = {};
    size_t ByteCount() const { return size_t(units) * 4; }
};

// False for an empty name or one longer than kArchiveMaxName.
bool MakeNameKey(const char* name, size_t length, NameKey& key);

struct ArchiveFileEntry {
    uint32_t nameOffset = 0;
    uint32_t attributes = 0;
    uint64_t creationTime = 0;
    uint64_t accessTime = 0;
    uint64_t writeTime = 0;
    uint32_t dataOffset = 0; // a directory: offset of its record in the directory table
    uint32_t size = 0;
    uint32_t compressedSize = kArchiveStored;

    bool IsDirectory() const { return (attributes & kArchiveDirectoryAttribute) != 0; }
    bool IsCompressed() const { return compressedSize != kArchiveStored; }
    // Bytes the member occupies in the data area.
    uint32_t StoredSize() const { return IsCompressed() ? compressedSize : size; }
};

struct ArchiveDirRecord {
    uint32_t ownEntry = kArchiveNoRecord; // offset in the file table; none for the root
    uint32_t parent = kArchiveNoRecord;   // offset in the directory table
    uint32_t entryCount = 0;
    uint32_t firstEntry = 0; // offset in the file table
};

void WriteFileEntry(const ArchiveFileEntry& entry, uint16_t version, uint8_t* out);
void WriteDirRecord(const ArchiveDirRecord& record, uint8_t out[kArchiveDirRecordSize]);
// Writes a name entry (4 + 8 * key.units bytes) for the stored-case name.
void WriteNameEntry(const NameKey& key, const char* storedName, size_t length, uint8_t* out);
constexpr size_t NameEntrySize(const NameKey& key) {
    return 4 + 8 * size_t(key.units);
}

struct ArchiveName {
    const uint8_t* upper = nullptr;  // 4 * units bytes
    const uint8_t* stored = nullptr; // 4 * units bytes, zero-padded
    uint16_t units = 0;
    uint16_t checksum = 0;
};

// Read-only view of a descrambled directory block.
class ArchiveDirectory {
public:
    ArchiveDirectory() = default;
    ArchiveDirectory(const uint8_t* block, const ArchiveHeader& header)
        : block_(block), header_(header) {}

    uint16_t Version() const { return header_.version; }
    // The root's record offset is 0; false when the directory table cannot hold it.
    bool HasRoot() const;
    bool FileEntryAt(uint32_t offset, ArchiveFileEntry& entry) const;
    bool DirRecordAt(uint32_t offset, ArchiveDirRecord& record) const;
    bool NameAt(uint32_t offset, ArchiveName& name) const;
    // Stored-case name as a NUL-terminated string; false when it does not fit.
    bool StoredName(const ArchiveFileEntry& entry, char* out, size_t outSize) const;
    // Offset in the file table of the directory's i-th entry; false when outside.
    bool EntryOffset(const ArchiveDirRecord& record, uint32_t index, uint32_t& offset) const;
    // First entry of the directory whose name and directory bit match.
    bool FindEntry(const ArchiveDirRecord& record, const NameKey& key, bool wantDirectory,
                   ArchiveFileEntry& entry) const;
    // Walks a '\'-separated path from the directory record at startRecord; the
    // last component must name a file. An empty first component means the root.
    bool LookUpFile(uint32_t startRecord, const char* path, ArchiveFileEntry& entry) const;
    // Like LookUpFile, but the path names a directory ("" is the start itself).
    bool LookUpDirectory(uint32_t startRecord, const char* path, uint32_t& recordOffset) const;

private:
    bool Inside(uint64_t offset, uint64_t length) const {
        return offset <= header_.directorySize && length <= header_.directorySize - offset;
    }
    bool WalkDirectories(uint32_t startRecord, const char* path, size_t length,
                         uint32_t& recordOffset) const;

    const uint8_t* block_ = nullptr;
    ArchiveHeader header_{};
};

// True when the member's bytes lie inside the file.
bool MemberInsideFile(const ArchiveHeader& header, const ArchiveFileEntry& entry,
                      uint64_t fileSize);

inline uint16_t LoadLe16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t LoadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LoadLe64(const uint8_t* p) {
    return uint64_t(LoadLe32(p)) | (uint64_t(LoadLe32(p + 4)) << 32);
}
inline void StoreLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = uint8_t(v >> (8 * i));
    }
}
inline void StoreLe64(uint8_t* p, uint64_t v) {
    StoreLe32(p, uint32_t(v));
    StoreLe32(p + 4, uint32_t(v >> 32));
}

} // namespace velox::archive
