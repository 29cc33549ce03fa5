#include "core/EntryGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace velox {
namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(EnterGateUnless, AcquiresAFreeGateLikeEnterGate) {
    std::atomic<bool> abandon{false};
    ASSERT_TRUE(core::EnterGateUnless(abandon));
    EXPECT_TRUE(core::gate_detail::HeldByCaller());
    EXPECT_TRUE(core::EnterGateUnless(abandon)); // re-entrant
    EXPECT_EQ(core::gate_detail::RecursionCount(), 2);
    core::LeaveGate();
    core::LeaveGate();
    EXPECT_FALSE(core::gate_detail::HeldByCaller());
}

TEST(EnterGateUnless, WaiterGivesUpAndLeavesTheQueue) {
    core::EnterGate();
    std::atomic<bool> abandon{false};
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = core::EnterGateUnless(abandon) ? 1 : 0; });
    ASSERT_TRUE(WaitUntil([] { return core::gate_detail::WaiterCount() == 1; }));
    abandon = true;
    waiter.join(); // returns while the gate is still held here
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(core::gate_detail::WaiterCount(), 0);
    EXPECT_TRUE(core::gate_detail::HeldByCaller());
    core::LeaveGate();
}

TEST(EnterGateUnless, ThreadsBehindAGivenUpWaiterStillGetTheirTurnInOrder) {
    core::EnterGate();
    std::atomic<bool> abandon{false};
    std::atomic<int> order{0};
    std::atomic<int> secondAt{0}, thirdAt{0};
    // Whether it gets the gate or gives up depends on timing; either way it must not
    // disturb the order of the threads behind it.
    std::thread first([&] {
        if (core::EnterGateUnless(abandon)) {
            core::LeaveGate();
        }
    });
    ASSERT_TRUE(WaitUntil([] { return core::gate_detail::WaiterCount() == 1; }));
    std::thread second([&] {
        core::EnterGate();
        secondAt = ++order;
        core::LeaveGate();
    });
    ASSERT_TRUE(WaitUntil([] { return core::gate_detail::WaiterCount() == 2; }));
    std::thread third([&] {
        core::EnterGate();
        thirdAt = ++order;
        core::LeaveGate();
    });
    ASSERT_TRUE(WaitUntil([] { return core::gate_detail::WaiterCount() == 3; }));
    // Leave first, so that the turn may already be with the thread that then gives up.
    core::LeaveGate();
    abandon = true;
    first.join();
    second.join();
    third.join();
    EXPECT_EQ(secondAt.load(), 1);
    EXPECT_EQ(thirdAt.load(), 2);
    EXPECT_EQ(core::gate_detail::WaiterCount(), 0);
}

} // namespace
} // namespace velox
