#include "archive/ArchiveDecode.h"
#include "archive/ArchiveHook.h"
#include "archive/ArchiveInternal.h"
#include "core/MemoryTracker.h"

#include <cstring>

namespace velox::archive {

enum : int32_t { kMemberIdle = 0, kMemberLoading = 1, kMemberReading = 2 };

struct ArchiveMember {
    ArchiveReader* archive;
    ArchiveFileEntry entry;
    uint32_t size;       // the entry's size; 0 once an asynchronous decompression failed
    uint8_t* data;       // the whole decompressed member (compressed members only)
    uint8_t* compressed; // compressed bytes while they load
    int32_t endFlag;
    int64_t position;
    int32_t async;
    int32_t state;
    uint64_t pendingPosition; // file position of the pending read
    uint8_t* pendingDestination;
    uint32_t pendingLength;
};

namespace {

uint64_t MemberFilePosition(const ArchiveMember& m) {
    return uint64_t(m.archive->header.dataPosition) + m.entry.dataOffset;
}

void FreeBuffers(ArchiveMember& m) {
    if (m.data) {
        MemFree(m.data);
        m.data = nullptr;
    }
    if (m.compressed) {
        MemFree(m.compressed);
        m.compressed = nullptr;
    }
}

// Descrambles and decodes the loaded compressed bytes, then drops them.
bool FinishDecompression(ArchiveMember& m) {
    ScrambleArchiveBytes(m.compressed, m.entry.compressedSize, MemberFilePosition(m),
                         m.archive->key);
    bool ok = DecompressArchiveMember(m.compressed, m.entry.compressedSize, m.data, m.size);
    MemFree(m.compressed);
    m.compressed = nullptr;
    return ok;
}

// Completes a pending read when the archive file has finished it.
void Poll(ArchiveMember& m) {
    if (m.state == kMemberIdle || file::FileRecordIdle(m.archive->file) == 0) {
        return;
    }
    if (m.state == kMemberLoading && !FinishDecompression(m)) {
        // Too late to fail the open: the member reads as empty instead.
        FreeBuffers(m);
        m.size = 0;
        m.position = 0;
    } else if (m.state == kMemberReading) {
        ScrambleArchiveBytes(m.pendingDestination, m.pendingLength, m.pendingPosition,
                             m.archive->key);
    }
    m.state = kMemberIdle;
}

void WaitForMember(ArchiveMember& m) {
    while (m.state != kMemberIdle) {
        WaitForArchiveFile(m.archive->file);
        Poll(m);
    }
}

bool LoadCompressed(ArchiveMember& m) {
    uint32_t size = m.entry.size;
    uint32_t compressedSize = m.entry.compressedSize;
    if (!CompressedSizesPlausible(size, compressedSize) || size > 0x7FFFFFF0u ||
        compressedSize > 0x7FFFFFF0u) {
        return false;
    }
    m.data = static_cast<uint8_t*>(MemAlloc(int32_t(size > 0 ? size : 1), __FILE__, __LINE__));
    m.compressed = static_cast<uint8_t*>(MemAlloc(int32_t(compressedSize), __FILE__, __LINE__));
    if (!m.data || !m.compressed) {
        return false;
    }
    if (!m.async) {
        return ReadArchiveFileNow(*m.archive, MemberFilePosition(m), m.compressed,
                                  compressedSize) &&
               FinishDecompression(m);
    }
    if (!StartArchiveRead(*m.archive, MemberFilePosition(m), m.compressed, compressedSize)) {
        return false;
    }
    m.state = kMemberLoading; // the idle test or the next operation decodes
    return true;
}

} // namespace

ArchiveMember* OpenArchiveMember(int archiveIndex, const char* memberPath, int async) {
    ArchiveReader* archive = ArchiveAt(archiveIndex);
    ArchiveFileEntry entry;
    if (!archive || !memberPath ||
        !archive->directory.LookUpFile(archive->currentDirectory, memberPath, entry) ||
        !MemberInsideFile(archive->header, entry, archive->fileSize)) {
        return nullptr;
    }
    auto* m = core::MemNewZero<ArchiveMember>();
    if (!m) {
        return nullptr;
    }
    m->archive = archive;
    m->entry = entry;
    m->size = entry.size;
    m->async = async ? 1 : 0;
    if (entry.IsCompressed() && !LoadCompressed(*m)) {
        if (m->state != kMemberIdle) {
            WaitForArchiveFile(archive->file);
        }
        FreeBuffers(*m);
        MemFree(m);
        return nullptr;
    }
    return m;
}

void CloseArchiveMember(ArchiveMember* member) {
    if (!member) {
        return;
    }
    // The file-access thread may still be writing into the buffers.
    if (member->state != kMemberIdle) {
        WaitForArchiveFile(member->archive->file);
    }
    FreeBuffers(*member);
    MemFree(member);
}

int64_t ArchiveMemberTell(ArchiveMember* member) {
    WaitForMember(*member);
    return member->position;
}

int ArchiveMemberSeek(ArchiveMember* member, int64_t offset, int origin) {
    WaitForMember(*member);
    int64_t base = 0;
    switch (origin) {
    case 0:
        base = 0;
        break;
    case 1:
        base = member->position;
        break;
    case 2:
        base = member->size;
        break;
    default:
        return -1;
    }
    constexpr int64_t kFar = int64_t(1) << 40; // beyond any member; keeps the sum in range
    offset = offset < -kFar ? -kFar : (offset > kFar ? kFar : offset);
    int64_t target = base + offset;
    member->position = target < 0 ? 0 : (target > member->size ? member->size : target);
    member->endFlag = 0;
    return 0;
}

size_t ArchiveMemberRead(void* dst, size_t elementSize, size_t count, ArchiveMember* member) {
    WaitForMember(*member);
    if (elementSize == 0 || member->endFlag) {
        return 0;
    }
    if (member->position >= member->size) {
        member->endFlag = 1;
        return 0;
    }
    uint64_t left = uint64_t(member->size - member->position);
    uint64_t wanted = count > left / elementSize ? left : uint64_t(elementSize * count);
    if (wanted == 0) {
        return 0;
    }
    if (member->data) {
        std::memcpy(dst, member->data + member->position, size_t(wanted));
    } else {
        uint64_t at = MemberFilePosition(*member) + uint64_t(member->position);
        if (!member->async) {
            if (!ReadArchiveBytes(*member->archive, at, dst, size_t(wanted))) {
                return 0;
            }
        } else {
            if (!StartArchiveRead(*member->archive, at, dst, size_t(wanted))) {
                return 0;
            }
            member->state = kMemberReading;
            member->pendingPosition = at;
            member->pendingDestination = static_cast<uint8_t*>(dst);
            member->pendingLength = uint32_t(wanted);
        }
    }
    member->position += int64_t(wanted);
    member->endFlag = 0;
    return size_t(wanted / elementSize);
}

int ArchiveMemberAtEnd(ArchiveMember* member) {
    WaitForMember(*member);
    return member->endFlag ? -1 : 0;
}

int ArchiveMemberIdle(ArchiveMember* member) {
    Poll(*member);
    return member->state == kMemberIdle ? 1 : 0;
}

} // namespace velox::archive
