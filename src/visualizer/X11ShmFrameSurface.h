#pragma once

#include "visualizer/FrameSurface.h"

#include <cstdint>

class QWidget;
struct xcb_connection_t;

namespace sonavista {

// The overlay window's frames in a MIT-SHM shared-memory image on Qt's own X connection:
// the view draws into the segment and puts the changed rows straight to the window, so the
// server reads them from the memory the frame was drawn in. Requests go in order with Qt's
// own on that connection, so a repaint through Qt's backing store and a put never overtake
// each other.
//
// Unusable (pixels() answers nullptr) without the extension, when the server cannot attach
// the segment (a remote display), or when the window's pixels are not 32-bit ARGB in this
// machine's byte order. GUI thread only; see FrameSurface for the call order.
class X11ShmFrameSurface final : public FrameSurface {
public:
    // `window` is the top-level widget whose native window the frames are put to.
    X11ShmFrameSurface(xcb_connection_t* connection, QWidget* window);
    ~X11ShmFrameSurface() override;
    X11ShmFrameSurface(const X11ShmFrameSurface&) = delete;
    X11ShmFrameSurface& operator=(const X11ShmFrameSurface&) = delete;

    std::uint32_t* pixels(int width, int height) override;
    void present(int first, int last) override;

private:
    bool attach(int width, int height);
    void detach();
    // Returns once the server has read the segment for the last put.
    void waitForServer();

    xcb_connection_t* connection_;
    QWidget* window_;
    bool usable_ = false;
    std::uint32_t gc_ = 0;
    std::uint32_t segment_ = 0;  // the server's id of the attached segment, 0 when none
    std::uint32_t* memory_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    // A request sent after the last put: its reply means the server is done with that put.
    unsigned int putDoneCookie_ = 0;
    bool putPending_ = false;
};

}  // namespace sonavista
