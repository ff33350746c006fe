#pragma once

#include <cstdint>

namespace sonavista {

// Port to a window's pixels that the overlay view can draw its frames into and show itself,
// instead of painting through Qt's backing store (which clears its own copy of the rows,
// copies the frame in and sends that copy).
//
// GUI thread only. Per frame: `pixels` (it may wait until the display has read the memory
// for the previous frame), draw into the memory, then `present` the rows that changed.
class FrameSurface {
public:
    virtual ~FrameSurface() = default;

    // Memory for a width × height frame of premultiplied ARGB pixels (the ImageBuffer
    // layout), drawn at the window's top-left corner. While the size stays the same it is
    // the same memory, holding what was drawn into it last. nullptr when it cannot be had:
    // then the window has to be painted some other way, now and later.
    virtual std::uint32_t* pixels(int width, int height) = 0;
    // Shows rows first...last of the memory's frame in the window.
    virtual void present(int first, int last) = 0;
};

}  // namespace sonavista
