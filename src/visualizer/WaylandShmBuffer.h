#pragma once

#include <cstddef>
#include <cstdint>

struct wl_buffer;
struct wl_shm;

namespace sonavista {

// One ARGB8888 shared-memory buffer of a Wayland surface: premultiplied, rows without
// padding, the layout of ImageBuffer and of QImage::Format_ARGB32_Premultiplied. It is busy
// from `attach`ing until the compositor releases it, and must not be written meanwhile.
class WaylandShmBuffer {
public:
    // An invalid buffer (valid() false) when the memory cannot be had.
    WaylandShmBuffer(wl_shm* shm, int width, int height);
    ~WaylandShmBuffer();
    WaylandShmBuffer(const WaylandShmBuffer&) = delete;
    WaylandShmBuffer& operator=(const WaylandShmBuffer&) = delete;

    bool valid() const { return buffer_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint32_t* row(int y) { return pixels_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_); }

    bool busy() const { return busy_; }
    // Marks the buffer busy and answers it for wl_surface.attach.
    wl_buffer* attach() {
        busy_ = true;
        return buffer_;
    }

    // What the buffer holds: the frame layout it was written for (0: nothing written yet)
    // and the rows of that frame that may hold anything but the background.
    std::uint64_t layout = 0;
    int contentFirst = 0;
    int contentLast = -1;

private:
    int width_;
    int height_;
    std::size_t bytes_ = 0;
    std::uint32_t* pixels_ = nullptr;
    wl_buffer* buffer_ = nullptr;
    bool busy_ = false;
};

}  // namespace sonavista
