#include "file/ParkedThreads.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>

namespace velox::file {

namespace {

// A few threads wait, each for a little while: enough for a story that opens
// its files one after another, without a crowd of idle threads.
constexpr int kMostParked = 4;
constexpr auto kParkTime = std::chrono::seconds(5);

struct Job {
    void (*body)(void*);
    void* arg;
};

// Every queued job has a thread promised to it: a job joins the queue only
// while at least as many threads are parked as jobs wait, or with a new thread
// started for it.
struct Pool {
    std::mutex mutex;
    std::condition_variable jobQueued;
    std::deque<Job> queue;
    int parked = 0;
};

// Never destroyed: parked threads may still wait on it while the process exits.
Pool* gPool = nullptr;
std::once_flag gPoolMade;

Pool& ThePool() {
    std::call_once(gPoolMade, [] {
        gPool = new Pool;
        // A forked child has none of the parked threads: it starts a pool of
        // its own rather than wait for threads that are not there.
        pthread_atfork([] { gPool->mutex.lock(); }, [] { gPool->mutex.unlock(); },
                       [] { gPool = new Pool; });
    });
    return *gPool;
}

void ParkedThreadMain() {
    Pool& pool = ThePool();
    std::unique_lock<std::mutex> lock(pool.mutex);
    for (;;) {
        if (pool.queue.empty()) {
            if (pool.parked >= kMostParked) {
                return;
            }
            ++pool.parked;
            bool queued =
                pool.jobQueued.wait_for(lock, kParkTime, [&] { return !pool.queue.empty(); });
            --pool.parked;
            if (!queued) {
                return;
            }
        }
        Job job = pool.queue.front();
        pool.queue.pop_front();
        lock.unlock();
        job.body(job.arg);
        lock.lock();
    }
}

} // namespace

bool RunOnParkedThread(void (*body)(void*), void* arg) {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.queue.push_back({body, arg});
    if (int(pool.queue.size()) <= pool.parked) {
        pool.jobQueued.notify_one();
        return true;
    }
    try {
        std::thread(ParkedThreadMain).detach();
    } catch (const std::system_error&) {
        pool.queue.pop_back();
        return false;
    }
    return true;
}

} // namespace velox::file
