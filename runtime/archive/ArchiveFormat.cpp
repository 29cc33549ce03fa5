#include "archive/ArchiveFormat.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velox::archive {
namespace {

// Fill byte of a key built without a key string, and the fallback key's byte.
constexpr uint8_t kKeyFillByte = 0x5A;
constexpr uint8_t kFallbackKeyByte = 0x00;

constexpr uint8_t RotateLeft(uint8_t b, int n) {
    return uint8_t((b << n) | (b >> (8 - n)));
}
constexpr uint8_t SwapNibbles(uint8_t b) {
    return uint8_t((b << 4) | (b >> 4));
}

// Each key position has its own fixed transformation of the filled byte.
uint8_t TransformKeyByte(uint8_t b, int position) {
    switch (position) {
    case 0:
        return uint8_t(~b);
    case 1:
        return SwapNibbles(b);
    case 2:
        return RotateLeft(b, 1);
    case 3:
        return uint8_t(b ^ 0x6D);
    case 4:
        return RotateLeft(b, 3);
    case 5:
        return uint8_t(~SwapNibbles(b));
    case 6:
        return RotateLeft(b, 6);
    case 7:
        return uint8_t(b ^ 0xB4);
    case 8:
        return uint8_t(~RotateLeft(b, 5));
    case 9:
        return uint8_t(SwapNibbles(b) ^ 0x39);
    case 10:
        return uint8_t(RotateLeft(b, 7) ^ 0xE2);
    default:
        return uint8_t(RotateLeft(b, 2) ^ 0x8C);
    }
}

constexpr bool IsLead(uint8_t c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length of the first component of path[0..length): up to a '\' that is not
// the second byte of a double-byte character.
size_t ComponentLength(const char* path, size_t length) {
    size_t i = 0;
    while (i < length && path[i] != '\\') {
        i += (IsLead(uint8_t(path[i])) && i + 1 < length) ? 2 : 1;
    }
    return i < length ? i : length;
}

} // namespace

ArchiveKey MakeArchiveKey(const char* keyString) {
    ArchiveKey key{};
    size_t length = keyString ? std::strlen(keyString) : 0;
    for (int i = 0; i < kArchiveKeySize; ++i) {
        uint8_t filled = length > 0 ? uint8_t(keyString[size_t(i) % length]) : kKeyFillByte;
        key.bytes[i] = TransformKeyByte(filled, i);
    }
    return key;
}

ArchiveKey FallbackArchiveKey() {
    ArchiveKey key{};
    std::memset(key.bytes, kFallbackKeyByte, sizeof key.bytes);
    return key;
}

void ScrambleArchiveBytes(void* data, size_t size, uint64_t filePosition, const ArchiveKey& key) {
    auto* p = static_cast<uint8_t*>(data);
    // The key repeats every 12 bytes, so a 48-byte run of it (four turns) lines
    // up with the data again after each block and the blocks XOR word-wise.
    constexpr size_t kBlock = 4 * kArchiveKeySize;
    const size_t k = size_t(filePosition % kArchiveKeySize);
    uint8_t pattern[kBlock];
    for (size_t i = 0; i < kBlock; ++i) {
        pattern[i] = key.bytes[(k + i) % kArchiveKeySize];
    }
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i* lanes = reinterpret_cast<const __m128i*>(pattern);
    const __m128i a = _mm_loadu_si128(lanes);
    const __m128i b = _mm_loadu_si128(lanes + 1);
    const __m128i c = _mm_loadu_si128(lanes + 2);
    for (; i + kBlock <= size; i += kBlock) {
        __m128i* at = reinterpret_cast<__m128i*>(p + i);
        _mm_storeu_si128(at, _mm_xor_si128(_mm_loadu_si128(at), a));
        _mm_storeu_si128(at + 1, _mm_xor_si128(_mm_loadu_si128(at + 1), b));
        _mm_storeu_si128(at + 2, _mm_xor_si128(_mm_loadu_si128(at + 2), c));
    }
#else
    uint64_t words[kBlock / 8];
    std::memcpy(words, pattern, kBlock);
    for (; i + kBlock <= size; i += kBlock) {
        for (size_t w = 0; w < kBlock / 8; ++w) {
            uint64_t v;
            std::memcpy(&v, p + i + 8 * w, 8);
            v ^= words[w];
            std::memcpy(p + i + 8 * w, &v, 8);
        }
    }
#endif
    for (size_t j = 0; i < size; ++i, ++j) {
        p[i] ^= pattern[j];
    }
}

void WriteArchiveHeader(const ArchiveHeader& header, uint8_t out[kArchiveHeaderSize]) {
    out[0] = 'V';
    out[1] = 'L';
    StoreLe16(out + 2, header.version);
    StoreLe32(out + 4, header.directorySize);
    StoreLe32(out + 8, header.dataPosition);
    StoreLe32(out + 12, header.directoryPosition);
    StoreLe32(out + 16, header.fileTableOffset);
    StoreLe32(out + 20, header.directoryTableOffset);
}

bool ReadArchiveHeader(const uint8_t in[kArchiveHeaderSize], ArchiveHeader& header) {
    if (in[0] != 'V' || in[1] != 'L') {
        return false;
    }
    header.version = LoadLe16(in + 2);
    header.directorySize = LoadLe32(in + 4);
    header.dataPosition = LoadLe32(in + 8);
    header.directoryPosition = LoadLe32(in + 12);
    header.fileTableOffset = LoadLe32(in + 16);
    header.directoryTableOffset = LoadLe32(in + 20);
    return true;
}

bool CheckArchiveHeader(const ArchiveHeader& header, uint64_t fileSize) {
    if (header.version > kArchiveNewestVersion) {
        return false;
    }
    if (uint64_t(header.directoryPosition) + header.directorySize > fileSize ||
        header.dataPosition > fileSize) {
        return false;
    }
    // The root's record must fit in the directory table.
    return header.fileTableOffset <= header.directorySize &&
           header.directoryTableOffset <= header.directorySize &&
           header.directorySize - header.directoryTableOffset >= kArchiveDirRecordSize;
}

bool MakeNameKey(const char* name, size_t length, NameKey& key) {
    if (length == 0 || length > kArchiveMaxName) {
        return false;
    }
    key = NameKey{};
    key.units = uint16_t(length / 4 + 1);
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = uint8_t(name[i]);
        if (IsLead(c) && i + 1 < length) {
            key.bytes[i] = c;
            key.bytes[i + 1] = uint8_t(name[i + 1]);
            sum += c + uint8_t(name[i + 1]);
            ++i;
            continue;
        }
        if (c >= 'a' && c <= 'z') {
            c = uint8_t(c - 'a' + 'A');
        }
        key.bytes[i] = c;
        sum += c;
    }
    key.checksum = uint16_t(sum);
    return true;
}

void WriteFileEntry(const ArchiveFileEntry& entry, uint16_t version, uint8_t* out) {
    StoreLe32(out, entry.nameOffset);
    StoreLe32(out + 4, entry.attributes);
    StoreLe64(out + 8, entry.creationTime);
    StoreLe64(out + 16, entry.accessTime);
    StoreLe64(out + 24, entry.writeTime);
    StoreLe32(out + 32, entry.dataOffset);
    StoreLe32(out + 36, entry.size);
    if (version >= 2) {
        StoreLe32(out + 40, entry.compressedSize);
    }
}

void WriteDirRecord(const ArchiveDirRecord& record, uint8_t out[kArchiveDirRecordSize]) {
    StoreLe32(out, record.ownEntry);
    StoreLe32(out + 4, record.parent);
    StoreLe32(out + 8, record.entryCount);
    StoreLe32(out + 12, record.firstEntry);
}

void WriteNameEntry(const NameKey& key, const char* storedName, size_t length, uint8_t* out) {
    size_t bytes = key.ByteCount();
    std::memset(out, 0, NameEntrySize(key));
    StoreLe16(out, key.units);
    StoreLe16(out + 2, key.checksum);
    std::memcpy(out + 4, key.bytes, bytes);
    std::memcpy(out + 4 + bytes, storedName, length < bytes ? length : bytes - 1);
}

bool ArchiveDirectory::HasRoot() const {
    return Inside(header_.directoryTableOffset, kArchiveDirRecordSize);
}

bool ArchiveDirectory::FileEntryAt(uint32_t offset, ArchiveFileEntry& entry) const {
    size_t entrySize = FileEntrySize(header_.version);
    uint64_t at = uint64_t(header_.fileTableOffset) + offset;
    if (!Inside(at, entrySize)) {
        return false;
    }
    const uint8_t* p = block_ + at;
    entry.nameOffset = LoadLe32(p);
    entry.attributes = LoadLe32(p + 4);
    entry.creationTime = LoadLe64(p + 8);
    entry.accessTime = LoadLe64(p + 16);
    entry.writeTime = LoadLe64(p + 24);
    entry.dataOffset = LoadLe32(p + 32);
    entry.size = LoadLe32(p + 36);
    entry.compressedSize = header_.version >= 2 ? LoadLe32(p + 40) : kArchiveStored;
    return true;
}

bool ArchiveDirectory::DirRecordAt(uint32_t offset, ArchiveDirRecord& record) const {
    uint64_t at = uint64_t(header_.directoryTableOffset) + offset;
    if (!Inside(at, kArchiveDirRecordSize)) {
        return false;
    }
    const uint8_t* p = block_ + at;
    record.ownEntry = LoadLe32(p);
    record.parent = LoadLe32(p + 4);
    record.entryCount = LoadLe32(p + 8);
    record.firstEntry = LoadLe32(p + 12);
    return true;
}

bool ArchiveDirectory::NameAt(uint32_t offset, ArchiveName& name) const {
    if (!Inside(offset, 4)) {
        return false;
    }
    const uint8_t* p = block_ + offset;
    name.units = LoadLe16(p);
    name.checksum = LoadLe16(p + 2);
    if (name.units == 0 || !Inside(uint64_t(offset) + 4, 8 * uint64_t(name.units))) {
        return false;
    }
    name.upper = p + 4;
    name.stored = p + 4 + 4 * size_t(name.units);
    return true;
}

bool ArchiveDirectory::StoredName(const ArchiveFileEntry& entry, char* out, size_t outSize) const {
    ArchiveName name;
    if (outSize == 0 || !NameAt(entry.nameOffset, name)) {
        return false;
    }
    size_t bytes = 4 * size_t(name.units);
    size_t length = 0;
    while (length < bytes && name.stored[length] != 0) {
        ++length;
    }
    if (length >= outSize) {
        return false;
    }
    std::memcpy(out, name.stored, length);
    out[length] = '\0';
    return true;
}

bool ArchiveDirectory::EntryOffset(const ArchiveDirRecord& record, uint32_t index,
                                   uint32_t& offset) const {
    if (index >= record.entryCount) {
        return false;
    }
    uint64_t at = uint64_t(record.firstEntry) + uint64_t(index) * FileEntrySize(header_.version);
    if (at > 0xFFFFFFFFu) {
        return false;
    }
    offset = uint32_t(at);
    return true;
}

bool ArchiveDirectory::FindEntry(const ArchiveDirRecord& record, const NameKey& key,
                                 bool wantDirectory, ArchiveFileEntry& entry) const {
    size_t bytes = key.ByteCount();
    for (uint32_t i = 0; i < record.entryCount; ++i) {
        uint32_t offset = 0;
        ArchiveFileEntry candidate;
        if (!EntryOffset(record, i, offset) || !FileEntryAt(offset, candidate)) {
            return false; // the rest of the table lies outside the block as well
        }
        if (candidate.IsDirectory() != wantDirectory) {
            continue;
        }
        // Length and checksum first; most entries differ there.
        if (!Inside(candidate.nameOffset, 4) ||
            LoadLe16(block_ + candidate.nameOffset) != key.units ||
            LoadLe16(block_ + candidate.nameOffset + 2) != key.checksum) {
            continue;
        }
        ArchiveName name;
        if (NameAt(candidate.nameOffset, name) && std::memcmp(name.upper, key.bytes, bytes) == 0) {
            entry = candidate;
            return true;
        }
    }
    return false;
}

bool ArchiveDirectory::WalkDirectories(uint32_t startRecord, const char* path, size_t length,
                                       uint32_t& recordOffset) const {
    uint32_t current = startRecord;
    size_t pos = 0;
    bool first = true;
    while (pos < length) {
        size_t component = ComponentLength(path + pos, length - pos);
        if (component == 0 && first) {
            current = 0; // a leading separator starts from the root
        } else {
            ArchiveDirRecord record;
            NameKey key;
            ArchiveFileEntry entry;
            if (!DirRecordAt(current, record) || !MakeNameKey(path + pos, component, key) ||
                !FindEntry(record, key, true, entry)) {
                return false;
            }
            current = entry.dataOffset;
        }
        first = false;
        pos += component + 1;
    }
    ArchiveDirRecord check;
    if (!DirRecordAt(current, check)) {
        return false;
    }
    recordOffset = current;
    return true;
}

bool ArchiveDirectory::LookUpFile(uint32_t startRecord, const char* path,
                                  ArchiveFileEntry& entry) const {
    size_t length = std::strlen(path);
    // The directory part ends at the last separator.
    size_t lastSeparator = length;
    for (size_t i = 0; i < length;) {
        if (path[i] == '\\') {
            lastSeparator = i;
            ++i;
        } else {
            i += (IsLead(uint8_t(path[i])) && i + 1 < length) ? 2 : 1;
        }
    }
    uint32_t directory = startRecord;
    const char* fileName = path;
    if (lastSeparator < length) {
        if (lastSeparator == 0) {
            directory = 0;
        } else if (!WalkDirectories(startRecord, path, lastSeparator, directory)) {
            return false;
        }
        fileName = path + lastSeparator + 1;
    }
    ArchiveDirRecord record;
    NameKey key;
    return DirRecordAt(directory, record) && MakeNameKey(fileName, std::strlen(fileName), key) &&
           FindEntry(record, key, false, entry);
}

bool ArchiveDirectory::LookUpDirectory(uint32_t startRecord, const char* path,
                                       uint32_t& recordOffset) const {
    return WalkDirectories(startRecord, path, std::strlen(path), recordOffset);
}

bool MemberInsideFile(const ArchiveHeader& header, const ArchiveFileEntry& entry,
                      uint64_t fileSize) {
    uint64_t start = uint64_t(header.dataPosition) + entry.dataOffset;
    return start <= fileSize && entry.StoredSize() <= fileSize - start;
}

} // namespace velox::archive
