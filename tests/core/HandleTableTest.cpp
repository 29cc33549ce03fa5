#include "core/HandleTable.h"
#include "core/MemoryTracker.h"

#include <gtest/gtest.h>

namespace velox {
namespace {

struct Record {
    core::HandleRecord head;
    int payload;
};

class HandleTableTest : public ::testing::Test {
protected:
    void Init(core::HandleType type, int32_t capacity) {
        ASSERT_TRUE(core::InitHandleTable(table, type, capacity, int32_t(sizeof(Record))));
    }
    void TearDown() override {
        core::WalkHandles(table, [&](int32_t h) { core::ReleaseHandle(table, h); });
        core::FreeHandleTable(table);
    }
    core::HandleTable table{};
};

TEST_F(HandleTableTest, FirstGraphicHandleAndLayout) {
    Init(core::HandleType::Graphic, 32768);
    int32_t h = core::AllocateHandle(table);
    EXPECT_EQ(h, 0x08000000);
    int32_t h2 = core::AllocateHandle(table);
    EXPECT_EQ(h2, 0x08010001); // serial 1, slot 1
    EXPECT_NE(core::ValidateHandle(table, h2), nullptr);
}

TEST_F(HandleTableTest, StaleHandleOfReusedSlotIsRejected) {
    Init(core::HandleType::Sound, 4096);
    int32_t first = core::AllocateHandle(table);
    ASSERT_EQ(core::ReleaseHandle(table, first), 0);
    int32_t second = core::AllocateHandle(table);
    EXPECT_EQ(core::HandleSlot(second), core::HandleSlot(first));
    EXPECT_EQ(core::ValidateHandle(table, first), nullptr);
    EXPECT_NE(core::ValidateHandle(table, second), nullptr);
    EXPECT_EQ(core::ReleaseHandle(table, first), -1);
}

TEST_F(HandleTableTest, SerialWrapsAfter2048AndZeroIsValid) {
    Init(core::HandleType::Sound, 4096);
    for (int i = 0; i < 2048; ++i) {
        int32_t h = core::AllocateHandle(table);
        ASSERT_EQ(core::HandleSerial(h), i);
        core::ReleaseHandle(table, h);
    }
    int32_t wrapped = core::AllocateHandle(table);
    EXPECT_EQ(core::HandleSerial(wrapped), 0);
    EXPECT_NE(core::ValidateHandle(table, wrapped), nullptr);
}

TEST_F(HandleTableTest, FullTableTakesLowestFreeSlot) {
    Init(core::HandleType::Music, 256);
    int32_t handles[256];
    for (int32_t& h : handles) {
        h = core::AllocateHandle(table);
        ASSERT_NE(h, core::kNoHandle);
    }
    EXPECT_EQ(core::AllocateHandle(table), core::kNoHandle); // full: logged, -1
    core::ReleaseHandle(table, handles[7]);
    core::ReleaseHandle(table, handles[3]);
    EXPECT_EQ(table.highWater, 256);
    EXPECT_EQ(core::HandleSlot(core::AllocateHandle(table)), 3);
    EXPECT_EQ(core::HandleSlot(core::AllocateHandle(table)), 7);
}

TEST_F(HandleTableTest, HighWaterDropsPastEmptySlots) {
    Init(core::HandleType::Graphic, 32768);
    int32_t h[5];
    for (int32_t& x : h) {
        x = core::AllocateHandle(table);
    }
    core::ReleaseHandle(table, h[2]);
    core::ReleaseHandle(table, h[3]);
    EXPECT_EQ(table.highWater, 5);
    core::ReleaseHandle(table, h[4]);
    EXPECT_EQ(table.highWater, 2);
    core::ReleaseHandle(table, h[0]);
    core::ReleaseHandle(table, h[1]);
    EXPECT_EQ(table.highWater, 0);
    EXPECT_EQ(table.count, 0);
}

TEST_F(HandleTableTest, WrongTypeAndReservedValuesAreRejected) {
    Init(core::HandleType::Graphic, 32768);
    int32_t g = core::AllocateHandle(table);
    int32_t asSound =
        core::MakeHandle(core::HandleType::Sound, core::HandleSerial(g), core::HandleSlot(g));
    EXPECT_EQ(core::ValidateHandle(table, asSound), nullptr);
    EXPECT_EQ(core::ValidateHandle(table, core::kNoHandle), nullptr);
    EXPECT_EQ(core::ValidateHandle(table, core::kBackBuffer), nullptr);
    EXPECT_EQ(core::ValidateHandle(table, core::kFrontScreen), nullptr);
    EXPECT_EQ(core::ValidateHandle(table, g | 0x8000), nullptr); // graphic index test: bit 15
}

TEST_F(HandleTableTest, SlotBeyondCapacityIsRejected) {
    Init(core::HandleType::Font, 40);
    core::AllocateHandle(table);
    EXPECT_EQ(core::ValidateHandle(table, core::MakeHandle(core::HandleType::Font, 0, 40)),
              nullptr);
    EXPECT_EQ(core::RebuildHandle(table, 40), core::kNoHandle);
}

TEST_F(HandleTableTest, SoundReallocationKeepsHandle) {
    Init(core::HandleType::Sound, 4096);
    core::AllocateHandle(table);
    int32_t h = core::AllocateHandle(table);
    int counterBefore = table.serialCounter;
    core::ReleaseHandle(table, h);
    EXPECT_EQ(core::AllocateHandleInto(table, h), h);
    EXPECT_EQ(table.serialCounter, counterBefore);
    EXPECT_NE(core::ValidateHandle(table, h), nullptr);
    EXPECT_EQ(table.count, 2);
    // Walks must still see the refilled slot.
    int seen = 0;
    core::WalkHandles(table, [&](int32_t) { ++seen; });
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(core::AllocateHandleInto(table, h), core::kNoHandle); // occupied: refused
}

TEST_F(HandleTableTest, RecordsAreTrackedAndZeroFilled) {
    Init(core::HandleType::Graphic, 32768);
    auto before = core::mem_detail::CurrentTotals().blockCount;
    int32_t h = core::AllocateHandle(table);
    auto* r = core::ValidateHandleAs<Record>(table, h);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->payload, 0);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, before + 1);
    core::ReleaseHandle(table, h);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, before);
}

TEST(HandleTableDeathTest, FullGraphicTableIsFatal) {
    core::HandleTable table{};
    ASSERT_TRUE(
        core::InitHandleTable(table, core::HandleType::Graphic, 2, int32_t(sizeof(Record))));
    const int32_t first = core::AllocateHandle(table);
    const int32_t second = core::AllocateHandle(table);
    EXPECT_EXIT(core::AllocateHandle(table), ::testing::ExitedWithCode(255), "");
    // Only the child died: this process leaves its tracker as it found it.
    core::ReleaseHandle(table, first);
    core::ReleaseHandle(table, second);
    core::FreeHandleTable(table);
}

} // namespace
} // namespace velox
