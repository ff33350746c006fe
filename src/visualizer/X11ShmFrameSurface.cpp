#include "visualizer/X11ShmFrameSurface.h"

#include <QWidget>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace sonavista {

namespace {

// Whether `visual` lays out 32-bit pixels as ARGB with 8 bits a channel.
bool isArgbVisual(xcb_connection_t* connection, xcb_visualid_t visual, std::uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || std::endian::native != std::endian::little) {
        return false;
    }
    bool whole32BitPixels = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats)) {
        if (formats.data->depth == depth) {
            whole32BitPixels = formats.data->bits_per_pixel == 32 && formats.data->scanline_pad == 32;
        }
    }
    if (!whole32BitPixels) return false;
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem; xcb_depth_next(&depths)) {
            if (depths.data->depth != depth) continue;
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals)) {
                const xcb_visualtype_t& v = *visuals.data;
                if (v.visual_id == visual) {
                    return v._class == XCB_VISUAL_CLASS_TRUE_COLOR && v.red_mask == 0xff0000u &&
                           v.green_mask == 0xff00u && v.blue_mask == 0xffu;
                }
            }
        }
    }
    return false;
}

}  // namespace

X11ShmFrameSurface::X11ShmFrameSurface(xcb_connection_t* connection, QWidget* window)
    : connection_(connection), window_(window) {
    if (!connection_ || !window_ || xcb_connection_has_error(connection_)) return;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection_, &xcb_shm_id);
    if (!shm || !shm->present) return;
    const auto drawable = static_cast<xcb_window_t>(window_->winId());
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, drawable), nullptr);
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, drawable), nullptr);
    // A translucent window has an alpha channel: depth 32.
    usable_ = geometry && attributes && geometry->depth == 32 &&
              isArgbVisual(connection_, attributes->visual, geometry->depth);
    std::free(geometry);
    std::free(attributes);
    if (!usable_) return;
    gc_ = xcb_generate_id(connection_);
    const std::uint32_t noExposures = 0;
    xcb_create_gc(connection_, gc_, drawable, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
}

X11ShmFrameSurface::~X11ShmFrameSurface() {
    detach();
    if (gc_ != 0) xcb_free_gc(connection_, gc_);
    if (usable_) xcb_flush(connection_);
}

std::uint32_t* X11ShmFrameSurface::pixels(int width, int height) {
    if (!usable_) return nullptr;
    waitForServer();
    if (memory_ && width == width_ && height == height_) return memory_;
    detach();
    if (!attach(width, height)) {
        usable_ = false;
        return nullptr;
    }
    return memory_;
}

bool X11ShmFrameSurface::attach(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* memory = shmat(id, nullptr, 0);
    bool attached = false;
    if (memory != reinterpret_cast<void*>(-1)) {
        segment_ = xcb_generate_id(connection_);
        xcb_generic_error_t* error =
            xcb_request_check(connection_, xcb_shm_attach_checked(connection_, segment_, static_cast<std::uint32_t>(id), 1));
        attached = error == nullptr;
        std::free(error);
    }
    // Marked for removal at once: it goes away with the last process that has it attached
    // (the server's attachment holds it until the detach, even if this process dies).
    shmctl(id, IPC_RMID, nullptr);
    if (!attached) {
        if (memory != reinterpret_cast<void*>(-1)) shmdt(memory);
        segment_ = 0;
        return false;
    }
    memory_ = static_cast<std::uint32_t*>(memory);
    width_ = width;
    height_ = height;
    return true;
}

void X11ShmFrameSurface::detach() {
    if (segment_ == 0) return;
    waitForServer();
    xcb_shm_detach(connection_, segment_);
    shmdt(memory_);
    segment_ = 0;
    memory_ = nullptr;
    width_ = height_ = 0;
}

void X11ShmFrameSurface::present(int first, int last) {
    if (!memory_) return;
    first = std::max(first, 0);
    last = std::min(last, height_ - 1);
    if (last < first) return;
    const auto rows = static_cast<std::uint16_t>(last - first + 1);
    xcb_shm_put_image(connection_, static_cast<xcb_window_t>(window_->winId()), gc_, static_cast<std::uint16_t>(width_),
                      static_cast<std::uint16_t>(height_), 0, static_cast<std::uint16_t>(first),
                      static_cast<std::uint16_t>(width_), rows, 0, static_cast<std::int16_t>(first), 32,
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 0, segment_, 0);
    // The server handles a client's requests in order, so once this one is answered the put
    // before it has been read from the segment. The answer is collected before the next frame
    // is drawn, by which time it has long arrived.
    putDoneCookie_ = xcb_get_input_focus(connection_).sequence;
    putPending_ = true;
    xcb_flush(connection_);
}

void X11ShmFrameSurface::waitForServer() {
    if (!putPending_) return;
    putPending_ = false;
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus_cookie_t{putDoneCookie_}, nullptr));
}

}  // namespace sonavista
