#include "core/EntryGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velox {
namespace {

void WaitForWaiters(int n) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (core::gate_detail::WaiterCount() < n && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(core::gate_detail::WaiterCount(), n);
}

TEST(EntryGate, ReentryByHolderReturnsAtOnce) {
    core::EnterGate();
    EXPECT_EQ(core::gate_detail::RecursionCount(), 1);
    core::EnterGate();
    EXPECT_EQ(core::gate_detail::RecursionCount(), 2);
    core::LeaveGate();
    EXPECT_EQ(core::gate_detail::RecursionCount(), 1);
    EXPECT_TRUE(core::gate_detail::HeldByCaller());
    core::LeaveGate();
    EXPECT_FALSE(core::gate_detail::HeldByCaller());
    EXPECT_EQ(core::gate_detail::WaiterCount(), 0);
}

TEST(EntryGate, BlockedThreadsAreServedInArrivalOrder) {
    std::mutex orderMutex;
    std::vector<std::string> order;
    auto worker = [&](std::string name) {
        core::EnterGate();
        {
            std::lock_guard lock(orderMutex);
            order.push_back(name);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        core::LeaveGate();
    };

    core::EnterGate();
    std::thread a(worker, "A");
    WaitForWaiters(1);
    std::thread b(worker, "B");
    WaitForWaiters(2);
    std::thread c(worker, "C");
    WaitForWaiters(3);

    // D arrives just as the gate frees: the gate is momentarily free, but three
    // threads wait, so D must queue behind C.
    std::atomic<bool> go{false};
    std::thread d([&] {
        while (!go.load()) {
        }
        worker("D");
    });
    go.store(true);
    core::LeaveGate();

    a.join();
    b.join();
    c.join();
    d.join();
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(core::gate_detail::WaiterCount(), 0);
}

TEST(EntryGate, ReentryInsideAnotherThreadsWaitKeepsOwnership) {
    std::atomic<bool> acquired{false};
    core::EnterGate();
    std::thread other([&] {
        core::EnterGate();
        acquired = true;
        core::LeaveGate();
    });
    WaitForWaiters(1);
    core::EnterGate(); // re-entry while another thread waits: no queueing
    core::LeaveGate();
    EXPECT_FALSE(acquired.load());
    core::LeaveGate();
    other.join();
    EXPECT_TRUE(acquired.load());
}

TEST(EntryGate, WorksAgainAfterDestroy) {
    core::EnterGate();
    core::LeaveGate();
    core::DestroyGate();
    core::EnterGate();
    EXPECT_TRUE(core::gate_detail::HeldByCaller());
    std::atomic<int> counter{0};
    std::thread t([&] {
        core::GateScope scope;
        counter++;
    });
    WaitForWaiters(1);
    core::LeaveGate();
    t.join();
    EXPECT_EQ(counter.load(), 1);
}

TEST(EntryGate, ManyThreadsEachGetExclusiveAccess) {
    int shared = 0; // guarded by the gate alone
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                core::GateScope scope;
                core::GateScope nested;
                ++shared;
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(shared, 1600);
}

} // namespace
} // namespace velox
