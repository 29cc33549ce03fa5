// A plain file opened from the file system: synchronous, or served by its own
// file-access thread (read-ahead and asynchronous reads). The archive layer
// reads archive files through this too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velox::file {

struct FileRecord;

// nullptr on failure (a missing file fails silently; thread and buffer failures log).
FileRecord* OpenFileRecord(const char* path, int readAhead, int async);
int CloseFileRecord(FileRecord* record);
int64_t FileRecordTell(FileRecord* record);
// origin 0 start, 1 current, 2 end; 0, or -1 when the platform refuses.
int FileRecordSeek(FileRecord* record, int64_t offset, int origin);
// Whole elements read; with the asynchronous flag the data may still be arriving.
size_t FileRecordRead(void* dst, size_t elementSize, size_t count, FileRecord* record);
// -1 once a read has hit the end, else 0.
int FileRecordAtEnd(FileRecord* record);
// 1 when no asynchronous command is outstanding.
int FileRecordIdle(FileRecord* record);
int64_t FileRecordSize(FileRecord* record);

} // namespace velox::file
