#include "file/FileAccess.h"

#include "archive/ArchiveHook.h"
#include "core/EntryGate.h"
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "file/FileFind.h"
#include "file/FileRecord.h"
#include "platform/FileSystem.h"

#include <cstdio>

namespace velox::file {

FileAccessTable gFileAccess{};

namespace {

struct OpenFileEntry {
    int32_t inArchive;
    FileRecord* record;
    int32_t archiveIndex;
    archive::ArchiveMember* member;
};

struct OpenFileTable {
    OpenFileEntry* slots[kMaxOpenFiles];
    int32_t count;
};

OpenFileTable gOpenFiles;

// The entry named by a file handle; the slot is the low 28 bits, and a slot of
// 512 or more names nothing, like an empty slot.
OpenFileEntry* EntryOf(intptr_t handle) {
    uint32_t value = uint32_t(handle);
    if ((value & kFileHandleTag) != kFileHandleTag) {
        return nullptr;
    }
    uint32_t slot = value & 0x0FFFFFFFu;
    if (slot >= uint32_t(kMaxOpenFiles)) {
        return nullptr;
    }
    return gOpenFiles.slots[slot];
}

intptr_t ArchiveAwareOpen(const char* path, int readAhead, int, int async) {
    if (gOpenFiles.count >= kMaxOpenFiles) {
        LogWrite(SJIS("同時に開けるファイルの数が限界を超えました\n"));
        return 0;
    }
    int slot = 0;
    while (slot < kMaxOpenFiles && gOpenFiles.slots[slot]) {
        ++slot;
    }
    auto* entry = core::MemNewZero<OpenFileEntry>();
    if (!entry) {
        LogWrite(SJIS("ファイルの情報を格納するメモリの確保に失敗しました\n"));
        return 0;
    }
    archive::ArchiveLookup lookup;
    if (archive::FindArchiveForPath(path, lookup)) {
        entry->member = archive::OpenArchiveMember(lookup.archiveIndex, lookup.memberPath, async);
        if (!entry->member) {
            LogWrite(SJIS("ＶＬＡファイルの中に指定のファイルは見つかりませんでした\n"));
            archive::ReleaseArchiveReference(lookup.archiveIndex);
            MemFree(entry);
            return 0;
        }
        entry->inArchive = 1;
        entry->archiveIndex = lookup.archiveIndex;
    } else {
        entry->record = OpenFileRecord(path, readAhead, async);
        if (!entry->record) {
            MemFree(entry);
            return 0;
        }
    }
    gOpenFiles.slots[slot] = entry;
    ++gOpenFiles.count;
    return intptr_t(int32_t(kFileHandleTag | uint32_t(slot)));
}

int ArchiveAwareClose(intptr_t handle) {
    OpenFileEntry* entry = EntryOf(handle);
    if (!entry) {
        return -1;
    }
    if (entry->inArchive) {
        archive::CloseArchiveMember(entry->member);
        archive::ReleaseArchiveReference(entry->archiveIndex);
    } else {
        CloseFileRecord(entry->record);
    }
    gOpenFiles.slots[uint32_t(handle) & 0x0FFFFFFFu] = nullptr;
    --gOpenFiles.count;
    MemFree(entry);
    return 0;
}

int64_t ArchiveAwareTell(intptr_t handle) {
    OpenFileEntry* e = EntryOf(handle);
    if (!e) {
        return -1;
    }
    return e->inArchive ? archive::ArchiveMemberTell(e->member) : FileRecordTell(e->record);
}

int ArchiveAwareSeek(intptr_t handle, int64_t offset, int origin) {
    OpenFileEntry* e = EntryOf(handle);
    if (!e) {
        return -1;
    }
    return e->inArchive ? archive::ArchiveMemberSeek(e->member, offset, origin)
                        : FileRecordSeek(e->record, offset, origin);
}

size_t ArchiveAwareRead(void* dst, size_t elementSize, size_t count, intptr_t handle) {
    OpenFileEntry* e = EntryOf(handle);
    if (!e) {
        return 0; // no elements from a handle that names nothing
    }
    return e->inArchive ? archive::ArchiveMemberRead(dst, elementSize, count, e->member)
                        : FileRecordRead(dst, elementSize, count, e->record);
}

int ArchiveAwareAtEnd(intptr_t handle) {
    OpenFileEntry* e = EntryOf(handle);
    if (!e) {
        return -1;
    }
    return e->inArchive ? archive::ArchiveMemberAtEnd(e->member) : FileRecordAtEnd(e->record);
}

int ArchiveAwareIdle(intptr_t handle) {
    OpenFileEntry* e = EntryOf(handle);
    if (!e) {
        return -1;
    }
    return e->inArchive ? archive::ArchiveMemberIdle(e->member) : FileRecordIdle(e->record);
}

// The plain set hands out file records directly.
FileRecord* RecordOf(intptr_t file) {
    return reinterpret_cast<FileRecord*>(file);
}

intptr_t PlainOpen(const char* path, int readAhead, int, int async) {
    return reinterpret_cast<intptr_t>(OpenFileRecord(path, readAhead, async));
}
int PlainClose(intptr_t file) {
    return file ? CloseFileRecord(RecordOf(file)) : -1;
}
int64_t PlainTell(intptr_t file) {
    return file ? FileRecordTell(RecordOf(file)) : -1;
}
int PlainSeek(intptr_t file, int64_t offset, int origin) {
    return file ? FileRecordSeek(RecordOf(file), offset, origin) : -1;
}
size_t PlainRead(void* dst, size_t elementSize, size_t count, intptr_t file) {
    return file ? FileRecordRead(dst, elementSize, count, RecordOf(file)) : 0;
}
int PlainAtEnd(intptr_t file) {
    return file ? FileRecordAtEnd(RecordOf(file)) : -1;
}
int PlainIdle(intptr_t file) {
    return file ? FileRecordIdle(RecordOf(file)) : -1;
}

int SetCurrentDirectoryOp(const char* path) {
    platform::Files().SetCurrentDirectory(path);
    return 0;
}

int GetCurrentDirectoryOp(char* buffer) {
    std::string cwd = platform::Files().CurrentDirectory();
    std::snprintf(buffer, 260, "%s", cwd.c_str());
    return 0;
}

} // namespace

void InstallArchiveAwareFileAccess() {
    gFileAccess = {ArchiveAwareOpen, ArchiveAwareClose,     ArchiveAwareTell,
                   ArchiveAwareSeek, ArchiveAwareRead,      ArchiveAwareAtEnd,
                   ArchiveAwareIdle, SetCurrentDirectoryOp, GetCurrentDirectoryOp,
                   FileFindFirst,    FileFindNext,          FileFindClose};
}

void InstallPlainFileAccess() {
    gFileAccess = {PlainOpen,
                   PlainClose,
                   PlainTell,
                   PlainSeek,
                   PlainRead,
                   PlainAtEnd,
                   PlainIdle,
                   SetCurrentDirectoryOp,
                   GetCurrentDirectoryOp,
                   FileFindFirst,
                   FileFindNext,
                   FileFindClose};
}

int OpenFileCount() {
    return gOpenFiles.count;
}

} // namespace velox::file
