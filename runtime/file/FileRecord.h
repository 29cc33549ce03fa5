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
// Reads bytes at a position and returns how many arrived, for callers that
// would wait for the read anyway: once any outstanding command has finished,
// the calling thread reads the file itself, sparing the two thread hand-overs.
// A record with read-ahead hands the read to its thread, which owns its file
// between commands. The position afterwards is where the read ended.
size_t FileRecordReadAt(FileRecord* record, int64_t position, void* dst, size_t bytes);
// -1 once a read has hit the end, else 0.
int FileRecordAtEnd(FileRecord* record);
// 1 when no asynchronous command is outstanding.
int FileRecordIdle(FileRecord* record);
int64_t FileRecordSize(FileRecord* record);

} // namespace velox::file
