// The headless frame dump: presented pictures become DIR/000001.png, 000002.png, ...
// written in order by a worker thread, and DIR/frames.ffconcat lists each with how
// long it stayed on screen on the show's timeline.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velox::platform::headless {

class FrameDump {
public:
    ~FrameDump();

    // Begins a dump into dir (which exists); an empty dir dumps nothing. Finishes an
    // earlier dump first, ending it at startNanos.
    void Start(const std::string& dir, uint64_t startNanos);
    bool Active() const { return !dir_.empty(); }

    // Queues picture `number` (1, 2, ...), shown from show time `nanos` on. Waits only
    // when the writer is several pictures behind. False once any write has failed.
    bool Add(const uint32_t* pixels, int width, int height, int pitchBytes, uint64_t number,
             uint64_t nanos);
    // Writes everything still queued and closes the list, the last picture lasting
    // until endNanos. False when a picture or the list could not be written.
    bool Finish(uint64_t endNanos);

private:
    struct Picture {
        std::vector<uint32_t> pixels;
        int width;
        int height;
        uint64_t number;
    };

    void Work();
    bool ListPrevious(uint64_t untilNanos);

    std::string dir_;
    std::FILE* list_ = nullptr;
    bool listFailed_ = false;
    uint64_t previousNumber_ = 0; // 0: no picture listed yet
    uint64_t previousMicros_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Picture> queue_;
    std::vector<std::vector<uint32_t>> spare_; // buffers handed back by the writer
    bool stopping_ = false;
    bool writeFailed_ = false;
    std::thread worker_;
};

} // namespace velox::platform::headless
