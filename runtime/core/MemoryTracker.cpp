#include "core/MemoryTracker.h"

#include "core/Log.h"
#include "core/ShiftJis.h"

#include <velox/velox.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace velox {
namespace {

struct HeaderFields {
    char sourceName[16];
    uint16_t id;
    uint16_t line;
    int32_t size;
    struct BlockHeader* next;     // toward the end marker (older)
    struct BlockHeader* previous; // toward the head (newer)
};

// The copy guards the fields: MemCheck compares the two byte for byte. The
// caller's block follows the header, which is padded to 16-byte alignment.
struct alignas(16) BlockHeader {
    HeaderFields fields;
    HeaderFields copy;
};

struct TrackerState {
    BlockHeader* head = nullptr;
    BlockHeader endMarker{};
    uint16_t nextId = 0;
    int32_t totalSize = 0;
    int32_t blockCount = 0;
    bool logEach = false;
    bool logTotals = false;
    bool checkAll = false;
    int32_t watchedSize = 0;
};

TrackerState gTracker;

constexpr double kKiloPerByte = 0.0009765625;

void RefreshCopy(BlockHeader* h) {
    if (h) {
        std::memcpy(&h->copy, &h->fields, sizeof(HeaderFields));
    }
}

BlockHeader* HeaderOf(const void* block) {
    return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                          sizeof(BlockHeader));
}

void FormatLine(const BlockHeader* h, char* out, int outSize) {
    const HeaderFields& f = h->fields;
    int n =
        std::snprintf(out, size_t(outSize), "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  data:<",
                      f.size, double(uint32_t(f.size)) * kKiloPerByte, f.sourceName, f.line, f.id);
    if (n < 0 || n >= outSize) {
        return;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(h + 1);
    int shown = f.size < 16 ? (f.size < 0 ? 0 : f.size) : 16;
    std::string_view hex = "0123456789abcdef";
    auto put = [&](char c) {
        if (n < outSize - 1) {
            out[n++] = c;
            out[n] = '\0';
        }
    };
    for (int i = 0; i < shown; ++i) {
        put(data[i] >= 0x20 && data[i] <= 0x7F ? char(data[i]) : '.');
    }
    put('>');
    put(' ');
    put('[');
    for (int i = 0; i < shown; ++i) {
        if (i > 0) {
            put(' ');
        }
        put(hex[data[i] >> 4]);
        put(hex[data[i] & 15]);
    }
    put(']');
    put('\n');
}

void LogBlock(const char* prefix, const BlockHeader* h) {
    char line[256];
    FormatLine(h, line, sizeof line);
    LogWrite(prefix);
    LogWrite(line);
}

void LogTotals() {
    LogWriteFormat("\tTotal size:%d(%.3fkb)  Alloc num:%d", gTracker.totalSize,
                   double(gTracker.totalSize) * kKiloPerByte, gTracker.blockCount);
}

bool Watched(int32_t size) {
    return gTracker.watchedSize < 0 || gTracker.watchedSize == size || gTracker.logEach;
}

} // namespace

void* MemAlloc(int32_t size, const char* sourceName, int line) {
    if (size < 0) {
        return nullptr; // a negative size is a caller's overflow, never a valid request
    }
    auto* h = static_cast<BlockHeader*>(std::malloc(size_t(size) + sizeof(BlockHeader)));
    if (!h) {
        MemDump();
        return nullptr;
    }
    std::memset(&h->fields, 0, sizeof(HeaderFields));
    if (sourceName) {
        size_t len = std::strlen(sourceName);
        const char* tail = len >= 15 ? sourceName + (len - 15) : sourceName;
        std::strncpy(h->fields.sourceName, tail, 15);
    }
    h->fields.size = size;
    h->fields.line = uint16_t(line);
    h->fields.id = gTracker.nextId++;

    if (!gTracker.head) {
        gTracker.head = &gTracker.endMarker;
    }
    BlockHeader* oldHead = gTracker.head;
    oldHead->fields.previous = h;
    h->fields.next = oldHead;
    h->fields.previous = nullptr;
    gTracker.head = h;
    RefreshCopy(h);
    RefreshCopy(oldHead);

    gTracker.totalSize += size;
    gTracker.blockCount += 1;
    if (Watched(size)) {
        LogBlock("mem alloc  ", h);
    }
    if (gTracker.logTotals) {
        LogTotals();
    }
    if (gTracker.checkAll) {
        MemCheck();
    }
    return h + 1;
}

void* MemAllocZero(int32_t size, const char* sourceName, int line) {
    void* block = MemAlloc(size, sourceName, line);
    if (block) {
        std::memset(block, 0, size_t(size));
    }
    return block;
}

int MemFree(void* block) {
    if (!block) {
        return 0;
    }
    BlockHeader* h = HeaderOf(block);
    gTracker.totalSize -= h->fields.size;
    gTracker.blockCount -= 1;
    if (gTracker.checkAll) {
        MemCheck();
    }
    BlockHeader* next = h->fields.next;
    BlockHeader* previous = h->fields.previous;
    if (next) {
        next->fields.previous = previous;
    }
    if (previous) {
        previous->fields.next = next;
    }
    if (gTracker.head == h) {
        gTracker.head = next;
    }
    RefreshCopy(previous);
    RefreshCopy(next);
    if (Watched(h->fields.size)) {
        LogBlock("mem free  ", h);
    }
    if (gTracker.logTotals) {
        LogTotals();
    }
    std::free(h);
    return 1;
}

int MemDump() {
    LogWrite("\n");
    LogWrite("Alloc memory dump");
    for (BlockHeader* h = gTracker.head; h && h != &gTracker.endMarker; h = h->fields.next) {
        char line[256];
        FormatLine(h, line, sizeof line);
        LogWrite(line);
    }
    LogTotals();
    return LogWrite("\n");
}

int MemCheck() {
    for (BlockHeader* h = gTracker.head; h && h != &gTracker.endMarker; h = h->fields.next) {
        if (std::memcmp(&h->fields, &h->copy, sizeof(HeaderFields)) != 0) {
            LogBlock(SJIS("以下のメモリ確保情報が破損しました"), h);
            return -1;
        }
    }
    return 0;
}

namespace core::mem_detail {
Totals CurrentTotals() {
    return {gTracker.totalSize, gTracker.blockCount};
}
void FormatDumpLine(const void* block, char* out, int outSize) {
    FormatLine(HeaderOf(block), out, outSize);
}
} // namespace core::mem_detail

} // namespace velox
