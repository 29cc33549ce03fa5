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
    while (gate_detail::WaiterCount() < n && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(gate_detail::WaiterCount(), n);
}

TEST(EntryGate, ReentryByHolderReturnsAtOnce) {
    EnterGate();
    EXPECT_EQ(gate_detail::RecursionCount(), 1);
    EnterGate();
    EXPECT_EQ(gate_detail::RecursionCount(), 2);
    LeaveGate();
    EXPECT_EQ(gate_detail::RecursionCount(), 1);
    EXPECT_TRUE(gate_detail::HeldByCaller());
    LeaveGate();
    EXPECT_FALSE(gate_detail::HeldByCaller());
    EXPECT_EQ(gate_detail::WaiterCount(), 0);
}

TEST(EntryGate, BlockedThreadsAreServedInArrivalOrder) {
    std::mutex orderMutex;
    std::vector<std::string> order;
    auto worker = [&](std::string name) {
        EnterGate();
        {
            std::lock_guard lock(orderMutex);
            order.push_back(name);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        LeaveGate();
    };

    EnterGate();
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
    LeaveGate();

    a.join();
    b.join();
    c.join();
    d.join();
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(gate_detail::WaiterCount(), 0);
}

TEST(EntryGate, ReentryInsideAnotherThreadsWaitKeepsOwnership) {
    std::atomic<bool> acquired{false};
    EnterGate();
    std::thread other([&] {
        EnterGate();
        acquired = true;
        LeaveGate();
    });
    WaitForWaiters(1);
    EnterGate(); // re-entry while another thread waits: no queueing
    LeaveGate();
    EXPECT_FALSE(acquired.load());
    LeaveGate();
    other.join();
    EXPECT_TRUE(acquired.load());
}

TEST(EntryGate, WorksAgainAfterDestroy) {
    EnterGate();
    LeaveGate();
    DestroyGate();
    EnterGate();
    EXPECT_TRUE(gate_detail::HeldByCaller());
    std::atomic<int> counter{0};
    std::thread t([&] {
        GateScope scope;
        counter++;
    });
    WaitForWaiters(1);
    LeaveGate();
    t.join();
    EXPECT_EQ(counter.load(), 1);
}

TEST(EntryGate, ManyThreadsEachGetExclusiveAccess) {
    int shared = 0; // guarded by the gate alone
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                GateScope scope;
                GateScope nested;
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
