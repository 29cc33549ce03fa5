// The file-access table: every file the runtime reads goes through these twelve
// operations. The archive-aware set looks into packed archives before the file
// system; the plain set uses the file system alone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velox::file {

// A file handle is 0xF0000000 | slot of the open-file table; 0 means failure.
using FileHandle = int32_t;
constexpr uint32_t kFileHandleTag = 0xF0000000u;
constexpr int kMaxOpenFiles = 512;

struct FileFindInfo {
    char name[260]; // Shift-JIS
    int32_t isDirectory;
    int64_t size;
};

struct FileAccessTable {
    // path, read-ahead flag, ignored (callers pass 1), asynchronous flag
    intptr_t (*open)(const char* path, int readAhead, int unused, int async);
    int (*close)(intptr_t file);
    int64_t (*tell)(intptr_t file);
    int (*seek)(intptr_t file, int64_t offset, int origin);
    size_t (*read)(void* dst, size_t elementSize, size_t count, intptr_t file);
    int (*atEnd)(intptr_t file);
    int (*idle)(intptr_t file);
    int (*setCurrentDirectory)(const char* path);
    int (*getCurrentDirectory)(char* buffer); // buffer of 260 bytes
    intptr_t (*findFirst)(const char* pattern, FileFindInfo* info);
    int (*findNext)(intptr_t find, FileFindInfo* info);
    int (*findClose)(intptr_t find);
};

// The table in force; runtime start installs the archive-aware set.
extern FileAccessTable gFileAccess;
void InstallArchiveAwareFileAccess();
void InstallPlainFileAccess();

// Closes nothing, but forgets every open-file slot bookkeeping for a fresh start.
int OpenFileCount();

} // namespace velox::file
