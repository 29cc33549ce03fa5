// Handle values and handle tables. A handle is slot | ((serial | type << 11) << 16):
// bit 31 clear, type code in bits 27-30, serial 0..2047 in bits 16-26, slot in
// bits 0-15. Every record begins with the int32 serial it was allocated with.
#pragma once

#include <cstdint>

namespace velox::core {

enum class HandleType : int32_t {
    Graphic = 1,
    Sound = 2,
    Movie = 3,
    Font = 4,
    Surface2D = 5,
    Surface3D = 6,
    SurfaceData = 7,
    FontSide = 8,
    Connection = 9,
    ConnectionBuffer = 10,
    Music = 11,
};

constexpr int32_t kNoHandle = -1;
constexpr int32_t kBackBuffer = -2;
constexpr int32_t kFrontScreen = -4;
constexpr int32_t kSerialLimit = 2048;

// Every record kept in a handle table starts with this.
struct HandleRecord {
    int32_t serial;
};

struct HandleTable {
    HandleType type;
    int32_t capacity;
    int32_t recordSize;
    HandleRecord** slots; // capacity entries, null when free
    int32_t count;
    int32_t highWater; // one past the highest slot in use
    int32_t serialCounter;
};

constexpr int32_t MakeHandle(HandleType type, int32_t serial, int32_t slot) {
    return slot | ((serial | (int32_t(type) << 11)) << 16);
}
constexpr int32_t HandleSlot(int32_t handle) {
    return handle & 0xFFFF;
}
constexpr int32_t HandleSerial(int32_t handle) {
    return (handle >> 16) & 0x7FF;
}

// Creates the table's slot array (tracked); records are recordSize bytes.
// False when the slot array cannot be allocated.
bool InitHandleTable(HandleTable& table, HandleType type, int32_t capacity, int32_t recordSize);
// Frees the slot array; live records must have been released first.
void FreeHandleTable(HandleTable& table);

// The record named by handle, or nullptr (never logs).
HandleRecord* ValidateHandle(const HandleTable& table, int32_t handle);
template <typename T> T* ValidateHandleAs(const HandleTable& table, int32_t handle) {
    return reinterpret_cast<T*>(ValidateHandle(table, handle));
}

// Allocates a slot and a zero-filled record. On a full table runs the kind's
// "full" action (fatal for graphics); returns kNoHandle on failure.
int32_t AllocateHandle(HandleTable& table);
// Sound tables only: reuse the just-emptied slot of knownHandle with its serial.
int32_t AllocateHandleInto(HandleTable& table, int32_t knownHandle);
// Frees the record (after the caller released what it owns). -1 if invalid.
int ReleaseHandle(HandleTable& table, int32_t handle);
// The handle of the live record in slot, or kNoHandle for an empty slot.
int32_t RebuildHandle(const HandleTable& table, int32_t slot);

// Calls visit(handle) for every live record, slot 0 upward below the high-water mark.
template <typename Visit> void WalkHandles(const HandleTable& table, Visit&& visit) {
    for (int32_t slot = 0; slot < table.highWater; ++slot) {
        int32_t handle = RebuildHandle(table, slot);
        if (handle != kNoHandle) {
            visit(handle);
        }
    }
}

} // namespace velox::core
