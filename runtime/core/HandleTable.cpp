#include "core/HandleTable.h"

#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"

namespace velox::core {
namespace {

bool IndexTestPasses(const HandleTable& table, int32_t handle) {
    switch (table.type) {
    case HandleType::Graphic:
    case HandleType::Surface2D:
        return (handle & 0x8000) == 0;
    case HandleType::Surface3D:
    case HandleType::SurfaceData:
        return true; // the whole low 16 bits index a 65536-slot table
    default:
        return (handle & 0xFFFF) < table.capacity;
    }
}

// The "full" action of each kind. Graphics cannot go on without a slot.
void ReportFull(const HandleTable& table) {
    switch (table.type) {
    case HandleType::Graphic:
        FatalError(SJIS("グラフィックの数が許容量を越えました終了します"));
    case HandleType::Sound:
        LogWrite(SJIS("サウンドの数が許容量を越えました\n"));
        break;
    case HandleType::Font:
        LogWriteFormat(SJIS("作成できるフォントハンドル数 %d の限界を超えました"), table.capacity);
        break;
    case HandleType::Surface2D:
        LogWrite(SJIS("２Ｄグラフィックの量が許容量を越えました\n"));
        break;
    case HandleType::Surface3D:
        LogWrite(SJIS("３Ｄグラフィックの数が許容量を越えました。\n"));
        break;
    case HandleType::SurfaceData:
        LogWrite(SJIS("サーフェスのデータ数が許容量を越えました。\n"));
        break;
    case HandleType::Music:
        LogWrite(SJIS("ミュージックデータの数が許容量を越えました終了します"));
        break;
    default:
        break;
    }
}

void ReportRecordAllocationFailure(const HandleTable& table) {
    switch (table.type) {
    case HandleType::Graphic:
        FatalError(SJIS("メモリの確保に失敗しました"));
    case HandleType::Surface2D:
        LogWrite(SJIS("メモリの確保に失敗しました in AddSurface2D \n"));
        break;
    case HandleType::Surface3D:
        LogWrite(SJIS("メモリの確保に失敗しました in AddSurface3DData \n"));
        break;
    case HandleType::SurfaceData:
        LogWrite(SJIS("サーフェス用データを保存するメモリ領域の確保に失敗しました\n"));
        break;
    case HandleType::Sound:
        LogWrite(SJIS("メモリ領域の確保に失敗しました in AddSoundData"));
        break;
    case HandleType::Music:
        LogWrite(SJIS("メモリ領域の確保に失敗しました in AddMusicData"));
        break;
    default:
        break;
    }
}

HandleRecord* NewRecord(HandleTable& table) {
    return static_cast<HandleRecord*>(MemAllocZero(table.recordSize, nullptr, 0));
}

} // namespace

bool InitHandleTable(HandleTable& table, HandleType type, int32_t capacity, int32_t recordSize) {
    table.type = type;
    table.capacity = capacity;
    table.recordSize =
        recordSize < int32_t(sizeof(HandleRecord)) ? int32_t(sizeof(HandleRecord)) : recordSize;
    table.count = 0;
    table.highWater = 0;
    table.serialCounter = 0;
    table.slots = static_cast<HandleRecord**>(
        MemAllocZero(int32_t(sizeof(HandleRecord*)) * capacity, nullptr, 0));
    return table.slots != nullptr;
}

void FreeHandleTable(HandleTable& table) {
    MemFree(table.slots);
    table.slots = nullptr;
    table.count = 0;
    table.highWater = 0;
}

HandleRecord* ValidateHandle(const HandleTable& table, int32_t handle) {
    if (handle < 0 || !table.slots) {
        return nullptr;
    }
    if (((handle >> 27) & 0xF) != int32_t(table.type)) {
        return nullptr;
    }
    if (!IndexTestPasses(table, handle)) {
        return nullptr;
    }
    int32_t slot = HandleSlot(handle);
    if (slot >= table.capacity) {
        return nullptr;
    }
    HandleRecord* record = table.slots[slot];
    if (!record) {
        return nullptr;
    }
    if ((record->serial << 16) != (handle & 0x07FF0000)) {
        return nullptr;
    }
    return record;
}

int32_t AllocateHandle(HandleTable& table) {
    if (!table.slots) {
        return kNoHandle;
    }
    if (table.count == table.capacity) {
        ReportFull(table);
        return kNoHandle;
    }
    int32_t slot = table.highWater;
    if (slot >= table.capacity) {
        slot = 0;
        while (slot < table.capacity && table.slots[slot]) {
            ++slot;
        }
    }
    HandleRecord* record = NewRecord(table);
    if (!record) {
        ReportRecordAllocationFailure(table);
        return kNoHandle;
    }
    record->serial = table.serialCounter;
    table.serialCounter = (table.serialCounter + 1) % kSerialLimit;
    table.slots[slot] = record;
    ++table.count;
    if (slot == table.highWater) {
        ++table.highWater;
    }
    return MakeHandle(table.type, record->serial, slot);
}

int32_t AllocateHandleInto(HandleTable& table, int32_t knownHandle) {
    if (knownHandle == kNoHandle) {
        return AllocateHandle(table);
    }
    int32_t slot = HandleSlot(knownHandle);
    if (!table.slots || slot >= table.capacity || table.slots[slot]) {
        return kNoHandle; // only a slot the caller has just emptied can be refilled
    }
    HandleRecord* record = NewRecord(table);
    if (!record) {
        ReportRecordAllocationFailure(table);
        return kNoHandle;
    }
    record->serial = HandleSerial(knownHandle);
    table.slots[slot] = record;
    ++table.count;
    if (table.highWater < table.count) {
        table.highWater = table.count;
    }
    if (table.highWater <= slot) {
        table.highWater = slot + 1; // keep every live slot below the mark
    }
    return knownHandle;
}

int ReleaseHandle(HandleTable& table, int32_t handle) {
    HandleRecord* record = ValidateHandle(table, handle);
    if (!record) {
        return -1;
    }
    int32_t slot = HandleSlot(handle);
    --table.count;
    if (slot == table.highWater - 1) {
        if (table.count == 0) {
            table.highWater = 0;
        } else {
            table.highWater = slot;
            while (table.highWater > 0 && !table.slots[table.highWater - 1]) {
                --table.highWater;
            }
        }
    }
    MemFree(record);
    table.slots[slot] = nullptr;
    return 0;
}

int32_t RebuildHandle(const HandleTable& table, int32_t slot) {
    if (!table.slots || slot < 0 || slot >= table.capacity || !table.slots[slot]) {
        return kNoHandle;
    }
    return MakeHandle(table.type, table.slots[slot]->serial, slot);
}

} // namespace velox::core
