#include "FrameTimeline.h"

#include "RunLoop.h"

namespace velox::player {

uint64_t FrameTimeline::Period() const {
    return periodUs != 0 ? periodUs : kFramePeriodUs;
}

uint64_t FrameTimeline::NextDueUs() const {
    return originUs + (frameIndex + 1) * Period();
}

uint64_t FrameTimeline::WaitUs(uint64_t nowUs) const {
    if (!anchored) {
        return 0;
    }
    uint64_t due = NextDueUs();
    return nowUs >= due ? 0 : due - nowUs;
}

void FrameTimeline::FrameEnded(uint64_t nowUs) {
    if (!anchored) {
        originUs = nowUs;
        frameIndex = 0;
        anchored = 1;
        return;
    }
    uint64_t due = NextDueUs();
    ++frameIndex;
    if (nowUs > due && nowUs - due > kMaxFrameLagUs) {
        originUs = nowUs;
        frameIndex = 0;
        ++reanchors;
    }
}

void FrameTimeline::PassEnded(uint64_t nowUs) {
    if (!anchored) {
        FrameEnded(nowUs);
    } else if (nowUs > NextDueUs()) {
        originUs = nowUs;
        frameIndex = 0;
        ++reanchors;
    }
}

void FrameTimeline::Reanchor() {
    anchored = 0;
}

} // namespace velox::player
