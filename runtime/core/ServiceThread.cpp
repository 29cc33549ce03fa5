// The service thread: every 17 ms it takes the entry gate and makes one pass of the
// message pump, so that streaming and the other services keep going while the main
// thread is busy. It never takes window-system events (ProcessMessage leaves those to
// the main thread) and never moves the clock: between passes it waits with
// WaitWithoutAdvancing, inside a pass in real time, so a headless run's virtual time
// belongs to the main thread alone.
#include "core/EntryGate.h"
#include "core/Runtime.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace velox::core {
namespace {

constexpr uint32_t kServicePeriodMs = 17;

std::thread gThread;
std::atomic<bool> gStop{false};
std::atomic<uint32_t> gThreadId{0};
platform::ManualResetEvent gWake;
platform::ManualResetEvent gEnded;

void ServiceLoop() {
    gThreadId.store(platform::CurrentThreadId());
    while (!gStop.load()) {
        if (!EnterGateUnless(gStop)) {
            break;
        }
        if (Core().quit) {
            LeaveGate();
            break;
        }
        const int result = ProcessMessage();
        LeaveGate();
        if (result < 0) {
            break;
        }
        platform::CurrentClock().WaitWithoutAdvancing(kServicePeriodMs, gWake);
    }
    gEnded.Set();
}

} // namespace

bool StartServiceThread() {
    if (gThread.joinable()) {
        return true;
    }
    gStop.store(false);
    gWake.Reset();
    gEnded.Reset();
    try {
        gThread = std::thread(ServiceLoop);
    } catch (const std::system_error&) {
        return false;
    }
    Core().serviceThreadRunning = 1;
    return true;
}

void SignalServiceStop() {
    gStop.store(true);
    gWake.Set();
}

void WaitForServiceThreadEnd() {
    if (!gThread.joinable()) {
        return;
    }
    SignalServiceStop();
    if (OnServiceThread()) {
        // A fatal error inside a service: the thread ends with the process.
        gThread.detach();
    } else {
        // A real wait, not clock sleeps: waiting must not move a virtual clock.
        gEnded.Wait();
        gThread.join();
    }
    gThreadId.store(0);
    Core().serviceThreadRunning = 0;
}

bool OnServiceThread() {
    return gThreadId.load() == platform::CurrentThreadId();
}

void PumpSleep(uint32_t ms) {
    if (OnMainThread()) {
        platform::SleepMillis(ms);
    } else {
        // A real wait: this thread holds the gate here, so waiting for a virtual clock that
        // only the (now blocked) main thread moves would never end.
        gWake.WaitFor(ms);
    }
}

} // namespace velox::core
