// The tracking allocator. Every runtime block carries a header (size, serial,
// requesting place) and its copy, and is linked into a list of live blocks so
// that a dump can show what holds memory and a check can find overwritten
// headers. No lock of its own: callers hold the entry gate.
#pragma once

#include <cstdint>

namespace velox {

// The public operations of velox.h the runtime calls itself, declared here for it.
void* MemAlloc(int32_t size, const char* sourceName, int line);
void* MemAllocZero(int32_t size, const char* sourceName, int line);
int MemFree(void* block);
int MemDump();
int MemCheck();

} // namespace velox

namespace velox::core {

namespace mem_detail {
struct Totals {
    int32_t totalSize;
    int32_t blockCount;
};
Totals CurrentTotals();
// The dump line of one live block (without the "mem alloc  " prefix).
void FormatDumpLine(const void* block, char* out, int outSize);
} // namespace mem_detail

// Typed helpers for runtime records: zero-filled, tracked, freed with MemFree.
template <typename T> T* MemNewZero() {
    return static_cast<T*>(MemAllocZero(int32_t(sizeof(T)), nullptr, 0));
}

} // namespace velox::core
