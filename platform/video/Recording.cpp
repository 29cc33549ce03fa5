// The recording's timeline and its worker. The show's threads only copy pictures and
// sound into a queue; one worker owns the encoder, so the file is written in order.
#include "platform/Recording.h"

#include "platform/Clock.h"
#include "platform/audio/MixerCore.h"
#include "platform/headless/VirtualClock.h"
#include "platform/video/MediaEncoder.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velox::platform {
namespace {

constexpr uint64_t kNanosPerSecond = 1000000000ull;
constexpr uint64_t kTicksPerSecond = 30;
// Video frames waiting for the encoder before the show waits for it; bounds memory
// (repeated frames share one copy of their picture). In real time the show should
// not wait for a slow encoder, so the queue may hold several seconds.
constexpr size_t kMaxQueuedFrames = 16;
constexpr size_t kMaxQueuedFramesRealTime = 300;
// How far real-time sound may stray from the clock before silence or a skipped chunk
// puts it back: 20 ms, under a frame.
constexpr uint64_t kSoundSlackFrames = 882;

using PictureCopy = std::shared_ptr<const std::vector<uint32_t>>;

struct Job {
    PictureCopy picture; // video: nullptr is the black screen before the first picture
    int width = 0;
    int height = 0;
    bool same = false;
    bool isSound = false;
    std::vector<int16_t> sound;
};

// Ticks are exact thirtieths of a second, so the video never drifts from the sound.
uint64_t TickEndNanos(uint64_t tick) {
    const uint64_t k = tick + 1;
    return k / kTicksPerSecond * kNanosPerSecond + k % kTicksPerSecond * kNanosPerSecond / 30;
}

class Recorder {
public:
    // A process that exits without finishing (exit() from a fatal display error)
    // still closes the file, so what was recorded stays playable.
    ~Recorder() {
        std::string ignored;
        if (Active()) {
            Finish(Now(), ignored);
        }
    }

    bool Start(const RecordingOptions& options, std::string& error) {
        std::unique_lock lock(mutex_);
        if (active_) {
            error = "a recording is already running";
            return false;
        }
        video::EncoderSettings settings{options.path, options.width, options.height,
                                        options.quality};
        encoder_ = video::MediaEncoder::Open(settings, error);
        if (!encoder_) {
            std::remove(options.path.c_str());
            return false;
        }
        path_ = options.path;
        width_ = options.width;
        height_ = options.height;
        virtual_ = dynamic_cast<VirtualClock*>(&CurrentClock()) != nullptr;
        startNanos_ = virtual_ ? 0 : CurrentClock().MonotonicNanos();
        ticks_ = 0;
        current_.reset();
        lastQueued_.reset();
        queuedFrames_ = 0;
        soundFrames_ = 0;
        stopping_ = false;
        failure_.clear();
        failed_ = false;
        worker_ = std::thread([this] { Work(); });
        active_ = true;
        return true;
    }

    bool Active() {
        std::lock_guard lock(mutex_);
        return active_;
    }

    uint64_t Now() {
        ClockSource& clock = CurrentClock();
        if (auto* virtualClock = dynamic_cast<VirtualClock*>(&clock)) {
            return virtualClock->PeekNanos();
        }
        const uint64_t now = clock.MonotonicNanos();
        return now > startNanos_ ? now - startNanos_ : 0;
    }

    void Picture(const uint32_t* pixels, int width, int height, int pitchBytes) {
        std::unique_lock lock(mutex_);
        if (!active_ || closing_ || !pixels || width <= 0 || height <= 0 ||
            pitchBytes < width * 4) {
            return;
        }
        // Ticks before the first picture carry it too: the video opens on it, as the
        // show's first screen, rather than on black.
        const bool first = !current_;
        if (!first) {
            QueueTicksBefore(Now(), lock);
        }
        auto copy = std::make_shared<std::vector<uint32_t>>(size_t(width) * size_t(height));
        const auto* base = reinterpret_cast<const uint8_t*>(pixels);
        for (int y = 0; y < height; ++y) {
            std::memcpy(copy->data() + size_t(y) * size_t(width),
                        base + size_t(y) * size_t(pitchBytes), size_t(width) * 4);
        }
        current_ = std::move(copy);
        currentWidth_ = width;
        currentHeight_ = height;
        if (first) {
            QueueTicksBefore(Now(), lock);
        }
    }

    void Sound(const int16_t* frames, uint32_t count) {
        std::lock_guard lock(mutex_);
        // Once finishing has begun nothing more joins: a device still running while
        // the queue drains must not stretch the sound past the video's end.
        if (!active_ || closing_ || count == 0) {
            return;
        }
        // In real time each chunk is placed at the time it was mixed: a device that
        // starts late, stalls or runs at its own pace cannot pull the sound away from
        // the pictures by more than the slack. The headless mix is exact by construction.
        if (!virtual_) {
            const uint64_t due = SoundFramesAt(Now());
            if (due > soundFrames_ + kSoundSlackFrames) {
                Job silence;
                silence.isSound = true;
                silence.sound.assign(size_t(due - soundFrames_) * 2, 0);
                soundFrames_ = due;
                jobs_.push_back(std::move(silence));
            } else if (soundFrames_ > due + kSoundSlackFrames) {
                return;
            }
        }
        soundFrames_ += count;
        Job job;
        job.isSound = true;
        job.sound.assign(frames, frames + size_t(count) * 2);
        jobs_.push_back(std::move(job));
        wake_.notify_all();
    }

    bool Finish(uint64_t endNanos, std::string& error) {
        std::unique_lock lock(mutex_);
        if (!active_) {
            error = "no recording is running";
            return false;
        }
        closing_ = true;
        // Ticks up to the one holding the end; a run that presented nothing still
        // leaves one frame, so the file is a video.
        QueueTicksBefore(endNanos, lock);
        if (ticks_ == 0 || TickEndNanos(ticks_ - 1) < endNanos) {
            QueueTick(lock);
        }
        stopping_ = true;
        wake_.notify_all();
        lock.unlock();
        worker_.join();
        lock.lock();
        std::string finishError;
        if (!encoder_->Finish(finishError) && failure_.empty()) {
            failure_ = finishError;
        }
        encoder_.reset();
        active_ = false;
        closing_ = false;
        current_.reset();
        lastQueued_.reset();
        error = failure_.empty() ? "" : "cannot record to " + path_ + ": " + failure_;
        return failure_.empty();
    }

    uint64_t Ticks() {
        std::lock_guard lock(mutex_);
        return ticks_;
    }

private:
    // Every tick that ended by `now` carries the picture shown until now.
    void QueueTicksBefore(uint64_t now, std::unique_lock<std::mutex>& lock) {
        while (TickEndNanos(ticks_) <= now) {
            QueueTick(lock);
        }
    }

    void QueueTick(std::unique_lock<std::mutex>& lock) {
        const size_t limit = virtual_ ? kMaxQueuedFrames : kMaxQueuedFramesRealTime;
        roomLeft_.wait(lock, [this, limit] { return queuedFrames_ < limit; });
        Job job;
        job.picture = current_;
        job.width = currentWidth_;
        job.height = currentHeight_;
        job.same = ticks_ > 0 && current_ == lastQueued_;
        lastQueued_ = current_;
        jobs_.push_back(std::move(job));
        ++queuedFrames_;
        ++ticks_;
        wake_.notify_all();
    }

    void Work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                return; // stopping, and everything is encoded
            }
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            // After a failure the rest is drained unencoded, so the show never waits on it.
            if (!failed_) {
                failed_ =
                    !(job.isSound
                          ? encoder_->AddSound(job.sound.data(), uint32_t(job.sound.size() / 2))
                          : encoder_->AddVideoFrame(job.picture ? job.picture->data() : nullptr,
                                                    job.picture ? job.width : width_,
                                                    job.picture ? job.height : height_,
                                                    (job.picture ? job.width : width_) * 4,
                                                    job.same));
            }
            lock.lock();
            if (!job.isSound) {
                --queuedFrames_;
                roomLeft_.notify_all();
            }
            if (failed_ && failure_.empty()) {
                std::string message;
                encoder_->Finish(message);
                failure_ = message.empty() ? "encoding failed" : message;
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable roomLeft_;
    std::deque<Job> jobs_;
    std::unique_ptr<video::MediaEncoder> encoder_;
    std::thread worker_;
    std::string path_;
    std::string failure_;
    std::atomic<bool> failed_{false};
    bool active_ = false;
    bool virtual_ = false;
    bool closing_ = false;     // Finish has begun: no more pictures or sound
    bool stopping_ = false;    // every tick is queued: the worker ends when the queue is empty
    uint64_t soundFrames_ = 0; // sound frames queued so far
    uint64_t startNanos_ = 0;
    uint64_t ticks_ = 0;
    size_t queuedFrames_ = 0;
    int width_ = 0;
    int height_ = 0;
    PictureCopy current_;
    PictureCopy lastQueued_;
    int currentWidth_ = 0;
    int currentHeight_ = 0;
};

Recorder& TheRecorder() {
    static Recorder recorder;
    return recorder;
}

} // namespace

bool IsRecordingPathSupported(const std::string& path) {
    return video::IsRecordingContainer(path);
}

bool StartRecording(const RecordingOptions& options, std::string& error) {
    return TheRecorder().Start(options, error);
}

bool RecordingActive() {
    return TheRecorder().Active();
}

void RecordPresentedPicture(const uint32_t* pixels, int width, int height, int pitchBytes) {
    TheRecorder().Picture(pixels, width, height, pitchBytes);
}

void RecordMixedSound(const int16_t* frames, uint32_t count) {
    TheRecorder().Sound(frames, count);
}

bool FinishRecording(uint64_t endNanos, std::string& error) {
    return TheRecorder().Finish(endNanos, error);
}

uint64_t RecordingClockNanos() {
    return TheRecorder().Now();
}

uint64_t RecordedVideoFrames() {
    return TheRecorder().Ticks();
}

} // namespace velox::platform
