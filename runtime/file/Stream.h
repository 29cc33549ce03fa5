// The stream interface through which the image and sound decoders read: a table
// of six operations and a data pointer, over an open file or a memory block.
#pragma once

#include "file/FileAccess.h"

#include <cstddef>
#include <cstdint>

namespace velox::file {

struct StreamOps {
    int64_t (*tell)(void* data);
    int (*seek)(void* data, int64_t offset, int origin); // origin 0 start, 1 current, 2 end
    size_t (*read)(void* dst, size_t elementSize, size_t count, void* data);
    int (*atEnd)(void* data);
    int (*idle)(void* data);
    int (*close)(void* data);
};

struct Stream {
    const StreamOps* ops = nullptr;
    void* data = nullptr;
};

struct MemoryStreamRecord {
    const uint8_t* address;
    int32_t size;
    int32_t position;
    int32_t endFlag;
};

extern const StreamOps kFileStreamOps;   // data: a file handle (as intptr_t)
extern const StreamOps kMemoryStreamOps; // data: a MemoryStreamRecord*

// Opens a file through the file-access table; false when it cannot be opened.
bool OpenFileStream(const char* path, Stream& out, int readAhead = 0, int async = 0);
// Wraps a memory block (the block stays its owner's); false when out of memory.
bool OpenMemoryStream(const void* address, int32_t size, Stream& out);
inline void CloseStream(Stream& s) {
    if (s.ops) {
        s.ops->close(s.data);
        s.ops = nullptr;
        s.data = nullptr;
    }
}

} // namespace velox::file
