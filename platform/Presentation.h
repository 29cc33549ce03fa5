// Presentation service: shows a finished picture in the window. Pictures are 32-bit
// pixels 0x00RRGGBB (bits 24-31 ignored), rows pitchBytes apart, any size; the backend
// scales them to the window. Main thread only.
#pragma once

#include <cstdint>

namespace velox::platform {

class PresentationService {
public:
    virtual ~PresentationService() = default;

    // Shows the picture and counts it as a presented frame; false without a window or
    // when the backend could not show (or, headless, store) it.
    virtual bool Present(const uint32_t* pixels, int width, int height, int pitchBytes) = 0;
    // Shows a picture again after the window lost it, without counting a frame.
    virtual bool Redraw(const uint32_t* pixels, int width, int height, int pitchBytes) = 0;
    // Shows the last presented picture again; false when nothing was presented yet.
    virtual bool RedrawLast() = 0;
    // Fills the window with one colour (0x00RRGGBB), without counting a frame.
    virtual bool Fill(uint32_t colour) = 0;
    // Presenting waits for the display's vertical retrace while this is on (the default).
    virtual void SetVsync(bool on) = 0;
    virtual uint64_t PresentedFrames() const = 0;
};

PresentationService& Presentation();

} // namespace velox::platform
