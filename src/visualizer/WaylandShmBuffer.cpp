#include "visualizer/WaylandShmBuffer.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

namespace sonavista {

namespace {

const wl_buffer_listener releaseListener = {
    [](void* data, wl_buffer*) { *static_cast<bool*>(data) = false; },
};

}  // namespace

WaylandShmBuffer::WaylandShmBuffer(wl_shm* shm, int width, int height)
    : width_(width), height_(height) {
    if (width <= 0 || height <= 0) {
        return;
    }
    bytes_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    const int fd = memfd_create("sonavista-overlay", MFD_CLOEXEC);
    if (fd < 0) {
        return;
    }
    void* memory = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(bytes_)) == 0) {
        memory = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    if (memory == MAP_FAILED) {
        close(fd);
        return;
    }
    pixels_ = static_cast<std::uint32_t*>(memory);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes_));
    buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);  // the buffer keeps the memory
    close(fd);
    wl_buffer_add_listener(buffer_, &releaseListener, &busy_);
}

WaylandShmBuffer::~WaylandShmBuffer() {
    if (buffer_) {
        wl_buffer_destroy(buffer_);
    }
    if (pixels_) {
        munmap(pixels_, bytes_);
    }
}

}  // namespace sonavista
