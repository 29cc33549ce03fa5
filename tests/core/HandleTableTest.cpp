#include "core/HandleTable.h"
#include "core/MemoryTracker.h"

#include <gtest/gtest.h>

namespace velox {
namespace {

struct Record {
    HandleRecord head;
    int payload;
};

class HandleTableTest : public ::testing::Test {
protected:
    void Init(HandleType type, int32_t capacity) {
        ASSERT_TRUE(InitHandleTable(table, type, capacity, int32_t(sizeof(Record))));
    }
    void TearDown() override {
        WalkHandles(table, [&](int32_t h) { ReleaseHandle(table, h); });
        FreeHandleTable(table);
    }
    HandleTable table{};
};

TEST_F(HandleTableTest, FirstGraphicHandleAndLayout) {
    Init(HandleType::Graphic, 32768);
    int32_t h = AllocateHandle(table);
    EXPECT_EQ(h, 0x08000000);
    int32_t h2 = AllocateHandle(table);
    EXPECT_EQ(h2, 0x08010001); // serial 1, slot 1
    EXPECT_NE(ValidateHandle(table, h2), nullptr);
}

TEST_F(HandleTableTest, StaleHandleOfReusedSlotIsRejected) {
    Init(HandleType::Sound, 4096);
    int32_t first = AllocateHandle(table);
    ASSERT_EQ(ReleaseHandle(table, first), 0);
    int32_t second = AllocateHandle(table);
    EXPECT_EQ(HandleSlot(second), HandleSlot(first));
    EXPECT_EQ(ValidateHandle(table, first), nullptr);
    EXPECT_NE(ValidateHandle(table, second), nullptr);
    EXPECT_EQ(ReleaseHandle(table, first), -1);
}

TEST_F(HandleTableTest, SerialWrapsAfter2048AndZeroIsValid) {
    Init(HandleType::Sound, 4096);
    for (int i = 0; i < 2048; ++i) {
        int32_t h = AllocateHandle(table);
        ASSERT_EQ(HandleSerial(h), i);
        ReleaseHandle(table, h);
    }
    int32_t wrapped = AllocateHandle(table);
    EXPECT_EQ(HandleSerial(wrapped), 0);
    EXPECT_NE(ValidateHandle(table, wrapped), nullptr);
}

TEST_F(HandleTableTest, FullTableTakesLowestFreeSlot) {
    Init(HandleType::Music, 256);
    int32_t handles[256];
    for (int32_t& h : handles) {
        h = AllocateHandle(table);
        ASSERT_NE(h, kNoHandle);
    }
    EXPECT_EQ(AllocateHandle(table), kNoHandle); // full: logged, -1
    ReleaseHandle(table, handles[7]);
    ReleaseHandle(table, handles[3]);
    EXPECT_EQ(table.highWater, 256);
    EXPECT_EQ(HandleSlot(AllocateHandle(table)), 3);
    EXPECT_EQ(HandleSlot(AllocateHandle(table)), 7);
}

TEST_F(HandleTableTest, HighWaterDropsPastEmptySlots) {
    Init(HandleType::Graphic, 32768);
    int32_t h[5];
    for (int32_t& x : h) {
        x = AllocateHandle(table);
    }
    ReleaseHandle(table, h[2]);
    ReleaseHandle(table, h[3]);
    EXPECT_EQ(table.highWater, 5);
    ReleaseHandle(table, h[4]);
    EXPECT_EQ(table.highWater, 2);
    ReleaseHandle(table, h[0]);
    ReleaseHandle(table, h[1]);
    EXPECT_EQ(table.highWater, 0);
    EXPECT_EQ(table.count, 0);
}

TEST_F(HandleTableTest, WrongTypeAndReservedValuesAreRejected) {
    Init(HandleType::Graphic, 32768);
    int32_t g = AllocateHandle(table);
    int32_t asSound = MakeHandle(HandleType::Sound, HandleSerial(g), HandleSlot(g));
    EXPECT_EQ(ValidateHandle(table, asSound), nullptr);
    EXPECT_EQ(ValidateHandle(table, kNoHandle), nullptr);
    EXPECT_EQ(ValidateHandle(table, kBackBuffer), nullptr);
    EXPECT_EQ(ValidateHandle(table, kFrontScreen), nullptr);
    EXPECT_EQ(ValidateHandle(table, g | 0x8000), nullptr); // graphic index test: bit 15
}

TEST_F(HandleTableTest, SlotBeyondCapacityIsRejected) {
    Init(HandleType::Font, 40);
    AllocateHandle(table);
    EXPECT_EQ(ValidateHandle(table, MakeHandle(HandleType::Font, 0, 40)), nullptr);
    EXPECT_EQ(RebuildHandle(table, 40), kNoHandle);
}

TEST_F(HandleTableTest, SoundReallocationKeepsHandle) {
    Init(HandleType::Sound, 4096);
    AllocateHandle(table);
    int32_t h = AllocateHandle(table);
    int counterBefore = table.serialCounter;
    ReleaseHandle(table, h);
    EXPECT_EQ(AllocateHandleInto(table, h), h);
    EXPECT_EQ(table.serialCounter, counterBefore);
    EXPECT_NE(ValidateHandle(table, h), nullptr);
    EXPECT_EQ(table.count, 2);
    // Walks must still see the refilled slot.
    int seen = 0;
    WalkHandles(table, [&](int32_t) { ++seen; });
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(AllocateHandleInto(table, h), kNoHandle); // occupied: refused
}

TEST_F(HandleTableTest, RecordsAreTrackedAndZeroFilled) {
    Init(HandleType::Graphic, 32768);
    auto before = mem_detail::CurrentTotals().blockCount;
    int32_t h = AllocateHandle(table);
    auto* r = ValidateHandleAs<Record>(table, h);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->payload, 0);
    EXPECT_EQ(mem_detail::CurrentTotals().blockCount, before + 1);
    ReleaseHandle(table, h);
    EXPECT_EQ(mem_detail::CurrentTotals().blockCount, before);
}

TEST(HandleTableDeathTest, FullGraphicTableIsFatal) {
    HandleTable table{};
    ASSERT_TRUE(InitHandleTable(table, HandleType::Graphic, 2, int32_t(sizeof(Record))));
    const int32_t first = AllocateHandle(table);
    const int32_t second = AllocateHandle(table);
    EXPECT_EXIT(AllocateHandle(table), ::testing::ExitedWithCode(255), "");
    // Only the child died: this process leaves its tracker as it found it.
    ReleaseHandle(table, first);
    ReleaseHandle(table, second);
    FreeHandleTable(table);
}

} // namespace
} // namespace velox
