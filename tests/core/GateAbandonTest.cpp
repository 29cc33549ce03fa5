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
    ASSERT_TRUE(EnterGateUnless(abandon));
    EXPECT_TRUE(gate_detail::HeldByCaller());
    EXPECT_TRUE(EnterGateUnless(abandon)); // re-entrant
    EXPECT_EQ(gate_detail::RecursionCount(), 2);
    LeaveGate();
    LeaveGate();
    EXPECT_FALSE(gate_detail::HeldByCaller());
}

TEST(EnterGateUnless, WaiterGivesUpAndLeavesTheQueue) {
    EnterGate();
    std::atomic<bool> abandon{false};
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = EnterGateUnless(abandon) ? 1 : 0; });
    ASSERT_TRUE(WaitUntil([] { return gate_detail::WaiterCount() == 1; }));
    abandon = true;
    waiter.join(); // returns while the gate is still held here
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(gate_detail::WaiterCount(), 0);
    EXPECT_TRUE(gate_detail::HeldByCaller());
    LeaveGate();
}

TEST(EnterGateUnless, ThreadsBehindAGivenUpWaiterStillGetTheirTurnInOrder) {
    EnterGate();
    std::atomic<bool> abandon{false};
    std::atomic<int> order{0};
    std::atomic<int> secondAt{0}, thirdAt{0};
    // Whether it gets the gate or gives up depends on timing; either way it must not
    // disturb the order of the threads behind it.
    std::thread first([&] {
        if (EnterGateUnless(abandon)) {
            LeaveGate();
        }
    });
    ASSERT_TRUE(WaitUntil([] { return gate_detail::WaiterCount() == 1; }));
    std::thread second([&] {
        EnterGate();
        secondAt = ++order;
        LeaveGate();
    });
    ASSERT_TRUE(WaitUntil([] { return gate_detail::WaiterCount() == 2; }));
    std::thread third([&] {
        EnterGate();
        thirdAt = ++order;
        LeaveGate();
    });
    ASSERT_TRUE(WaitUntil([] { return gate_detail::WaiterCount() == 3; }));
    // Leave first, so that the turn may already be with the thread that then gives up.
    LeaveGate();
    abandon = true;
    first.join();
    second.join();
    third.join();
    EXPECT_EQ(secondAt.load(), 1);
    EXPECT_EQ(thirdAt.load(), 2);
    EXPECT_EQ(gate_detail::WaiterCount(), 0);
}

} // namespace
} // namespace velox
