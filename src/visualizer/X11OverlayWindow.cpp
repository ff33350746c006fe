#include "visualizer/X11OverlayWindow.h"

#include "visualizer/VisualizerView.h"

#include <QGuiApplication>
#include <QVBoxLayout>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

// Xlib last: its macros (None, Bool, Status…) collide with Qt names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <vector>

namespace sonavista {

namespace {

Display* x11Display() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

Atom atom(Display* display, const char* name, bool onlyIfExists = false) {
    return XInternAtom(display, name, onlyIfExists ? True : False);
}

}  // namespace

X11OverlayWindow::X11OverlayWindow(std::shared_ptr<OverlayPreferences> preferences,
                                   std::shared_ptr<VisualizerModel> model, QWidget* parent)
    : QWidget(parent) {
    // The stacking level is not expressed through Qt's stays-on-top/bottom flags: changing
    // those makes Qt replace the native window at the next show, losing its id and the
    // properties set here. The window's _NET_WM_STATE carries the level instead.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint | Qt::WindowDoesNotAcceptFocus |
                   Qt::WindowTransparentForInput);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QString::fromUtf8(windowTitle));
    resize(760, 220);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new VisualizerView(std::move(preferences), std::move(model), this);
    layout->addWidget(view_);

    winId();  // create the native window now so its properties are in place before mapping
    applyWindowProperties();
}

X11OverlayWindow::~X11OverlayWindow() = default;

unsigned long X11OverlayWindow::nativeWindow() const {
    const QWindow* window = windowHandle();
    return window ? static_cast<unsigned long>(window->winId()) : 0;
}

void X11OverlayWindow::setLevel(OverlayWindowLevel level) {
    if (level == level_) {
        return;
    }
    const OverlayWindowLevel previous = level_;
    level_ = level;
    Display* display = x11Display();
    if (!display || !QWidget::isVisible()) {
        return;  // written before the next map
    }
    // Mapped: ask the window manager to swap the state, keep the property itself current
    // for desktops without one, and restack.
    const auto window = static_cast<Window>(nativeWindow());
    const auto stateAtom = [display](OverlayWindowLevel l) {
        return atom(display, l == OverlayWindowLevel::floating ? "_NET_WM_STATE_ABOVE" : "_NET_WM_STATE_BELOW");
    };
    const auto request = [&](long action, Atom state) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom(display, "_NET_WM_STATE");
        event.xclient.format = 32;
        event.xclient.data.l[0] = action;  // 0 remove, 1 add
        event.xclient.data.l[1] = static_cast<long>(state);
        event.xclient.data.l[3] = 1;  // from an application
        XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
    };
    request(0, stateAtom(previous));
    request(1, stateAtom(level));
    applyWindowProperties();
    restack();
}

void X11OverlayWindow::setFrostedBackdrop(bool enabled) {
    frostedBackdrop_ = enabled;
    applyBlurHint();
}

void X11OverlayWindow::setFrame(const PixelRect& frame) {
    setGeometry(frame.x, frame.y, frame.width, frame.height);
}

void X11OverlayWindow::orderFront() {
    if (!QWidget::isVisible()) {
        applyWindowProperties();
        view_->setCompositorMissing(!hasCompositor());
        show();
    }
    restack();
}

// Without a window manager the stacking state is not acted upon; restack directly.
void X11OverlayWindow::restack() {
    if (level_ == OverlayWindowLevel::floating) {
        raise();
    } else {
        lower();
    }
}

void X11OverlayWindow::orderOut() {
    hide();
}

bool X11OverlayWindow::isVisible() const {
    return QWidget::isVisible();
}

bool X11OverlayWindow::hasCompositor() const {
    Display* display = x11Display();
    if (!display) {
        return false;
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    return XGetSelectionOwner(display, atom(display, name.c_str())) != 0;
}

bool X11OverlayWindow::compositorOffersBlur() const {
    Display* display = x11Display();
    if (!display) {
        return false;
    }
    const Atom blur = atom(display, "_KDE_NET_WM_BLUR_BEHIND_REGION", true);
    if (blur == 0) {
        return false;
    }
    // A compositor that blurs announces it by putting the atom on the root window.
    int count = 0;
    Atom* properties = XListProperties(display, DefaultRootWindow(display), &count);
    bool offered = false;
    for (int i = 0; i < count; ++i) {
        offered = offered || properties[i] == blur;
    }
    if (properties) {
        XFree(properties);
    }
    return offered;
}

// Window class, desktop and state hints. _NET_WM_STATE is written whole; a window manager
// reads it when the window is mapped (Qt merges its own states into it then).
void X11OverlayWindow::applyWindowProperties() {
    Display* display = x11Display();
    if (!display) {
        return;
    }
    const auto window = static_cast<Window>(nativeWindow());

    std::string name = windowClass;
    XClassHint classHint;
    classHint.res_name = name.data();
    classHint.res_class = name.data();
    XSetClassHint(display, window, &classHint);

    std::vector<Atom> states = {atom(display, "_NET_WM_STATE_SKIP_TASKBAR"),
                                atom(display, "_NET_WM_STATE_SKIP_PAGER"), atom(display, "_NET_WM_STATE_STICKY")};
    states.push_back(level_ == OverlayWindowLevel::floating ? atom(display, "_NET_WM_STATE_ABOVE")
                                                            : atom(display, "_NET_WM_STATE_BELOW"));
    XChangeProperty(display, window, atom(display, "_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states.data()), static_cast<int>(states.size()));

    const long allDesktops = 0xFFFFFFFFL;
    XChangeProperty(display, window, atom(display, "_NET_WM_DESKTOP"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&allDesktops), 1);
    applyBlurHint();
    XFlush(display);
}

// An empty region asks for the whole window to be blurred behind.
void X11OverlayWindow::applyBlurHint() {
    Display* display = x11Display();
    if (!display) {
        return;
    }
    const auto window = static_cast<Window>(nativeWindow());
    const Atom blur = atom(display, "_KDE_NET_WM_BLUR_BEHIND_REGION");
    if (frostedBackdrop_ && compositorOffersBlur()) {
        XChangeProperty(display, window, blur, XA_CARDINAL, 32, PropModeReplace, nullptr, 0);
    } else {
        XDeleteProperty(display, window, blur);
    }
    XFlush(display);
}

}  // namespace sonavista
