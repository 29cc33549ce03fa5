// File service. Paths arrive as Shift-JIS bytes written for Windows: they are
// decoded to UTF-8, both '\' and '/' separate components, and a component that
// does not exist exactly is matched case-insensitively (ASCII letters only).
// Everything goes through a replaceable FileSystem so that tests can inject
// short reads or failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velox::platform {

struct FindEntry {
    std::string name; // Shift-JIS
    uint64_t size = 0;
    bool isDirectory = false;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens an existing file for reading; -1 on failure.
    virtual int OpenRead(const char* sjisPath) = 0;
    // Opens for writing. exclusiveCreate: fail if it exists. Otherwise the file
    // is created when missing and kept when present; append moves to its end.
    virtual int OpenWrite(const char* sjisPath, bool exclusiveCreate, bool append) = 0;
    virtual int64_t Size(int fd) = 0;
    // Bytes read (0 at end), -1 on error.
    virtual int64_t Read(int fd, void* dst, size_t bytes) = 0;
    virtual int64_t Write(int fd, const void* src, size_t bytes) = 0;
    // Absolute position; false on failure.
    virtual bool SeekTo(int fd, int64_t position) = 0;
    virtual void Close(int fd) = 0;
    virtual bool Remove(const char* sjisPath) = 0;
    virtual bool Exists(const char* sjisPath) = 0;
    virtual bool IsDirectory(const char* sjisPath) = 0;

    // Current directory as an absolute Shift-JIS path with '/' separators.
    virtual std::string CurrentDirectory() = 0;
    virtual bool SetCurrentDirectory(const char* sjisPath) = 0;
    // Entries of a directory (no "." or ".."), names in Shift-JIS.
    virtual bool ListDirectory(const char* sjisPath, std::vector<FindEntry>& out) = 0;
};

FileSystem& Files();
// nullptr restores the real file system.
void SetFileSystem(FileSystem* fs);

// The POSIX file system with the path rules above.
FileSystem& PosixFiles();

// Maps a Shift-JIS Windows-style path onto an existing UTF-8 path, applying the
// separator and case rules. When nothing matches, returns the decoded path with
// '/' separators (so a create or an error message still has a sensible name).
std::string ResolvePath(const char* sjisPath);
// Forgets cached directory listings (they are refreshed on a miss anyway).
void ForgetDirectoryCache();

} // namespace velox::platform
