#include "archive/ArchiveHook.h"
#include "archive/ArchiveInternal.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "file/FileFind.h"

#include <cstring>

namespace velox::archive {

struct ArchiveFind {
    ArchiveReader* archive;
    uint32_t record;   // directory record offset
    int64_t next;      // -2: ".", -1: "..", then the directory's entries
    char pattern[260]; // upper case, * and ?
};

namespace {

size_t CharLength(const char* s) {
    return (core::IsLeadByte(uint8_t(s[0])) && s[1] != '\0') ? 2 : 1;
}

// Wildcard match by characters: '*' any run, '?' one character (double-byte
// characters count as one). Backtracks only to the last '*', so it stays linear.
bool WildcardMatch(const char* pattern, const char* name) {
    if (std::strcmp(pattern, "*.*") == 0) {
        pattern = "*";
    }
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name != '\0') {
        size_t n = CharLength(name);
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
            continue;
        }
        size_t p = CharLength(pattern);
        if (*pattern != '\0' &&
            ((*pattern == '?' && p == 1) || (p == n && std::memcmp(pattern, name, n) == 0))) {
            pattern += p;
            name += n;
            continue;
        }
        if (!starPattern) {
            return false;
        }
        starName += CharLength(starName);
        name = starName;
        pattern = starPattern;
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

void FillDotEntry(const ArchiveFind& find, const char* name, uint32_t ownEntry,
                  ArchiveFindEntry& out) {
    out = ArchiveFindEntry{};
    std::strcpy(out.name, name);
    out.isDirectory = 1;
    ArchiveFileEntry entry;
    if (ownEntry != kArchiveNoRecord && find.archive->directory.FileEntryAt(ownEntry, entry)) {
        out.creationTime = entry.creationTime;
        out.writeTime = entry.writeTime;
    }
}

// Moves to the next matching entry; false when none is left.
bool Advance(ArchiveFind& find, ArchiveFindEntry& out) {
    const ArchiveDirectory& dir = find.archive->directory;
    ArchiveDirRecord record;
    if (!dir.DirRecordAt(find.record, record)) {
        return false;
    }
    while (find.next < 0) {
        int64_t which = find.next++;
        if (which == -2 && WildcardMatch(find.pattern, ".")) {
            FillDotEntry(find, ".", record.ownEntry, out);
            return true;
        }
        ArchiveDirRecord parent;
        if (which == -1 && record.parent != kArchiveNoRecord &&
            dir.DirRecordAt(record.parent, parent) && WildcardMatch(find.pattern, "..")) {
            FillDotEntry(find, "..", parent.ownEntry, out);
            return true;
        }
    }
    while (find.next < int64_t(record.entryCount)) {
        uint32_t offset = 0;
        ArchiveFileEntry entry;
        ArchiveName name;
        if (!dir.EntryOffset(record, uint32_t(find.next++), offset) ||
            !dir.FileEntryAt(offset, entry)) {
            return false;
        }
        char upper[kArchiveMaxName + 5];
        if (!dir.NameAt(entry.nameOffset, name) || 4 * size_t(name.units) >= sizeof upper) {
            continue;
        }
        std::memcpy(upper, name.upper, 4 * size_t(name.units));
        upper[4 * size_t(name.units)] = '\0';
        if (!WildcardMatch(find.pattern, upper)) {
            continue;
        }
        out = ArchiveFindEntry{};
        if (!dir.StoredName(entry, out.name, sizeof out.name)) {
            continue;
        }
        out.isDirectory = entry.IsDirectory() ? 1 : 0;
        out.size = entry.IsDirectory() ? 0 : entry.size;
        out.creationTime = entry.creationTime;
        out.writeTime = entry.writeTime;
        return true;
    }
    return false;
}

} // namespace

ArchiveFind* ArchiveFindFirst(int archiveIndex, const char* memberPattern,
                              ArchiveFindEntry& entry) {
    ArchiveReader* archive = ArchiveAt(archiveIndex);
    if (!archive || !memberPattern) {
        return nullptr;
    }
    // Split at the last separator: the directory part is walked, the rest matched.
    size_t length = std::strlen(memberPattern);
    size_t split = length;
    for (size_t i = 0; i < length; i += CharLength(memberPattern + i)) {
        if (memberPattern[i] == '\\') {
            split = i;
        }
    }
    const char* pattern = split < length ? memberPattern + split + 1 : memberPattern;
    if (std::strlen(pattern) >= sizeof ArchiveFind::pattern || *pattern == '\0') {
        return nullptr;
    }
    uint32_t record = archive->currentDirectory;
    if (split < length) {
        char directory[260];
        if (split >= sizeof directory) {
            return nullptr;
        }
        std::memcpy(directory, memberPattern, split);
        directory[split] = '\0';
        if (split == 0) {
            record = 0;
        } else if (!archive->directory.LookUpDirectory(archive->currentDirectory, directory,
                                                       record)) {
            return nullptr;
        }
    }
    auto* find = core::MemNewZero<ArchiveFind>();
    if (!find) {
        return nullptr;
    }
    find->archive = archive;
    find->record = record;
    find->next = -2;
    std::strcpy(find->pattern, pattern);
    if (!Advance(*find, entry)) {
        MemFree(find);
        return nullptr;
    }
    return find;
}

int ArchiveFindNext(ArchiveFind* find, ArchiveFindEntry& entry) {
    return find && Advance(*find, entry) ? 0 : -1;
}

void ArchiveFindClose(ArchiveFind* find) {
    if (find) {
        MemFree(find);
    }
}

namespace {

// A find of the archive-aware table: inside an archive, or on the file system.
struct AwareFind {
    ArchiveFind* archiveFind; // nullptr: a file-system find
    int32_t archiveIndex;
    intptr_t fileFind;
};

void CopyInfo(const ArchiveFindEntry& entry, file::FileFindInfo* info) {
    std::memcpy(info->name, entry.name, sizeof info->name);
    info->isDirectory = entry.isDirectory;
    info->size = entry.size;
}

} // namespace

intptr_t ArchiveAwareFindFirst(const char* pattern, file::FileFindInfo* info) {
    ArchiveLookup lookup;
    if (!FindArchiveForPath(pattern, lookup)) {
        intptr_t fileFind = file::FileFindFirst(pattern, info);
        if (fileFind == -1) {
            return -1;
        }
        auto* find = core::MemNewZero<AwareFind>();
        if (!find) {
            file::FileFindClose(fileFind);
            return -1;
        }
        find->fileFind = fileFind;
        return reinterpret_cast<intptr_t>(find);
    }
    auto* find = core::MemNewZero<AwareFind>();
    ArchiveFindEntry entry;
    ArchiveFind* archiveFind =
        find ? ArchiveFindFirst(lookup.archiveIndex, lookup.memberPath, entry) : nullptr;
    if (!archiveFind) {
        if (find) {
            MemFree(find);
        }
        ReleaseArchiveReference(lookup.archiveIndex);
        return -1;
    }
    find->archiveFind = archiveFind;
    find->archiveIndex = lookup.archiveIndex;
    CopyInfo(entry, info);
    return reinterpret_cast<intptr_t>(find);
}

int ArchiveAwareFindNext(intptr_t handle, file::FileFindInfo* info) {
    auto* find = reinterpret_cast<AwareFind*>(handle);
    if (handle == -1 || !find) {
        return -1;
    }
    if (!find->archiveFind) {
        return file::FileFindNext(find->fileFind, info);
    }
    ArchiveFindEntry entry;
    if (ArchiveFindNext(find->archiveFind, entry) != 0) {
        return -1;
    }
    CopyInfo(entry, info);
    return 0;
}

int ArchiveAwareFindClose(intptr_t handle) {
    auto* find = reinterpret_cast<AwareFind*>(handle);
    if (handle == -1 || !find) {
        return 0;
    }
    if (find->archiveFind) {
        ArchiveFindClose(find->archiveFind);
        ReleaseArchiveReference(find->archiveIndex);
    } else {
        file::FileFindClose(find->fileFind);
    }
    MemFree(find);
    return 0;
}

} // namespace velox::archive
