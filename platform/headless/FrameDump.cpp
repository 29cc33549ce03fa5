#include "platform/headless/FrameDump.h"

#include "platform/headless/PngWriter.h"

#include <algorithm>
#include <cstring>

namespace velox::platform::headless {
namespace {

// Pictures waiting for the writer before the show waits; about 8 MB at 800 x 600.
constexpr size_t kMaxQueued = 4;

std::string PictureName(uint64_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "%06llu.png", static_cast<unsigned long long>(number));
    return name;
}

} // namespace

FrameDump::~FrameDump() {
    Finish(previousMicros_ * 1000);
}

void FrameDump::Start(const std::string& dir, uint64_t startNanos) {
    Finish(startNanos);
    dir_ = dir;
    if (dir_.empty()) {
        return;
    }
    previousNumber_ = 0;
    previousMicros_ = 0;
    listFailed_ = false;
    writeFailed_ = false;
    stopping_ = false;
    list_ = std::fopen((dir_ + "/frames.ffconcat").c_str(), "w");
    listFailed_ = !list_ || std::fputs("ffconcat version 1.0\n", list_) < 0;
    worker_ = std::thread([this] { Work(); });
}

// Times are kept in whole microseconds and each duration is the difference of two of
// them, so the durations add up exactly to the end time.
bool FrameDump::ListPrevious(uint64_t untilNanos) {
    const uint64_t until = untilNanos / 1000;
    if (previousNumber_ == 0 || !list_) {
        return !listFailed_;
    }
    const uint64_t micros = until > previousMicros_ ? until - previousMicros_ : 0;
    if (std::fprintf(list_, "file %s\nduration %llu.%06llu\n", PictureName(previousNumber_).c_str(),
                     static_cast<unsigned long long>(micros / 1000000),
                     static_cast<unsigned long long>(micros % 1000000)) < 0) {
        listFailed_ = true;
    }
    previousMicros_ = std::max(until, previousMicros_);
    return !listFailed_;
}

bool FrameDump::Add(const uint32_t* pixels, int width, int height, int pitchBytes, uint64_t number,
                    uint64_t nanos) {
    if (dir_.empty()) {
        return true;
    }
    // The first picture stands from the show's start: a video of the list begins with it.
    ListPrevious(previousNumber_ == 0 ? 0 : nanos);
    previousNumber_ = number;

    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
    Picture picture{{}, width, height, number};
    if (!spare_.empty()) {
        picture.pixels = std::move(spare_.back());
        spare_.pop_back();
    }
    picture.pixels.resize(size_t(width) * size_t(height));
    const auto* base = reinterpret_cast<const uint8_t*>(pixels);
    for (int y = 0; y < height; ++y) {
        std::memcpy(picture.pixels.data() + size_t(y) * size_t(width),
                    base + size_t(y) * size_t(pitchBytes), size_t(width) * 4);
    }
    queue_.push_back(std::move(picture));
    changed_.notify_all();
    return !writeFailed_ && !listFailed_;
}

void FrameDump::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return;
        }
        Picture& picture = queue_.front();
        lock.unlock();
        const bool ok = WritePng(dir_ + "/" + PictureName(picture.number), picture.pixels.data(),
                                 picture.width, picture.height, picture.width * 4);
        lock.lock();
        writeFailed_ = writeFailed_ || !ok;
        spare_.push_back(std::move(picture.pixels));
        queue_.pop_front();
        changed_.notify_all();
    }
}

bool FrameDump::Finish(uint64_t endNanos) {
    if (dir_.empty()) {
        return true;
    }
    ListPrevious(endNanos);
    // The concat reader holds a picture for its duration only when another entry
    // follows; naming the last picture again, without a duration, keeps it to the end.
    if (previousNumber_ != 0 && list_ &&
        std::fprintf(list_, "file %s\n", PictureName(previousNumber_).c_str()) < 0) {
        listFailed_ = true;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    if (list_ && std::fclose(list_) != 0) {
        listFailed_ = true;
    }
    list_ = nullptr;
    dir_.clear();
    spare_.clear();
    return !writeFailed_ && !listFailed_;
}

} // namespace velox::platform::headless
