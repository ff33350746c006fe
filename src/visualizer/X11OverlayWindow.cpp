#include "visualizer/X11OverlayWindow.h"

#include "visualizer/VisualizerView.h"

#include "visualizer/OverlayStacking.h"
#include "visualizer/X11ShmFrameSurface.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

// Xlib last: its macros (None, Bool, Status…) collide with Qt names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace sonavista {

namespace {

QNativeInterface::QX11Application* x11Application() {
    return qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
}

Display* x11Display() {
    auto* x11 = x11Application();
    return x11 ? x11->display() : nullptr;
}

Atom atom(Display* display, const char* name, bool onlyIfExists = false) {
    return XInternAtom(display, name, onlyIfExists ? True : False);
}

Atom levelState(Display* display, OverlayWindowLevel level) {
    return atom(display, level == OverlayWindowLevel::floating ? "_NET_WM_STATE_ABOVE" : "_NET_WM_STATE_BELOW");
}

// A property holding a list of window ids or atoms; empty when it is missing.
std::vector<unsigned long> windowListProperty(Display* display, Window window, Atom property, Atom type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        actualType == type && format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);  // format 32 arrives as long
        values.assign(items, items + count);
    }
    if (data) XFree(data);
    return values;
}

// Mutter (GNOME on X11) and KWin (KDE Plasma on X11) draw every override-redirect window above
// all managed windows, whatever the X stacking says, so an unmanaged overlay could not stay on
// the desktop layer.
bool drawsUnmanagedWindowsOnTop(Display* display) {
    if (!display) return false;
    const Window root = DefaultRootWindow(display);
    const auto check = windowListProperty(display, root, atom(display, "_NET_SUPPORTING_WM_CHECK"), XA_WINDOW);
    if (check.empty()) return false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, check.front(), atom(display, "_NET_WM_NAME"), 0, 64, False,
                           atom(display, "UTF8_STRING"), &type, &format, &count, &after, &data) == Success &&
        data && format == 8) {
        name.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data) XFree(data);
    return name == "Mutter" || name == "GNOME Shell" || name == "KWin";
}

}  // namespace

X11OverlayWindow::X11OverlayWindow(std::shared_ptr<OverlayPreferences> preferences,
                                   std::shared_ptr<VisualizerModel> model, QWidget* parent)
    : QWidget(parent) {
    // Override-redirect (bypassing the window manager) where the compositor draws such windows
    // in stacking order. Under Mutter a managed window instead: undecorated, so Mutter gives
    // it no frame and its empty input shape holds, and kept in its layer by the
    // _NET_WM_STATE_ABOVE or _BELOW state. A plain window type, not a tool window: Qt makes
    // that transient for its group leader, and managers raise and minimise it with the group.
    // The flags never change afterwards (that makes Qt replace the native window).
    managed_ = drawsUnmanagedWindowsOnTop(x11Display());
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint | Qt::WindowDoesNotAcceptFocus |
                   Qt::WindowTransparentForInput | (managed_ ? Qt::Widget : Qt::X11BypassWindowManagerHint));
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
    watchStacking();
    if (auto* x11 = x11Application()) {
        view_->setFrameSurface(std::make_unique<X11ShmFrameSurface>(x11->connection(), this));
    }
}

X11OverlayWindow::~X11OverlayWindow() {
    delete stackingEvents_;  // before its socket closes
    if (stackingDisplay_) XCloseDisplay(stackingDisplay_);
}

unsigned long X11OverlayWindow::nativeWindow() const {
    const QWindow* window = windowHandle();
    return window ? static_cast<unsigned long>(window->winId()) : 0;
}

void X11OverlayWindow::setLevel(OverlayWindowLevel level) {
    if (belowWindowsOnly_) level = OverlayWindowLevel::desktopLayer;
    const OverlayWindowLevel previous = level_;
    level_ = level;
    Display* display = x11Display();
    if (!managed_ || !display || !QWidget::isVisible() || level == previous) {
        restack();  // a managed window that is not shown gets its state before the next map
        return;
    }
    // Mapped and managed: ask the window manager to swap the state.
    const auto window = static_cast<Window>(nativeWindow());
    const auto request = [&](long action, OverlayWindowLevel l) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom(display, "_NET_WM_STATE");
        event.xclient.format = 32;
        event.xclient.data.l[0] = action;  // 0 remove, 1 add
        event.xclient.data.l[1] = static_cast<long>(levelState(display, l));
        event.xclient.data.l[3] = 1;  // from an application
        XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
    };
    request(0, previous);
    request(1, level);
    XFlush(display);
}

void X11OverlayWindow::setFrostedBackdrop(bool enabled) {
    frostedBackdrop_ = enabled;
    applyBlurHint();
}

void X11OverlayWindow::setFrame(const PixelRect& frame) {
    frame_ = frame;
    setGeometry(frame.x, frame.y, frame.width, frame.height);
}

void X11OverlayWindow::showPanel() {
    if (!QWidget::isVisible()) {
        applyWindowProperties();
        view_->setCompositorMissing(!hasCompositor());
        show();
    }
    restack();
}

// Any change of the screen's windows (mapped, restacked, the window manager's client list)
// may have moved a window past the overlay: check once the burst of events is read.
void X11OverlayWindow::watchStacking() {
    Display* qtDisplay = x11Display();
    stackingDisplay_ = qtDisplay ? XOpenDisplay(DisplayString(qtDisplay)) : nullptr;
    if (!stackingDisplay_) return;
    XSelectInput(stackingDisplay_, DefaultRootWindow(stackingDisplay_), SubstructureNotifyMask | PropertyChangeMask);
    XFlush(stackingDisplay_);
    stackingCheck_ = new QTimer(this);
    stackingCheck_->setSingleShot(true);
    connect(stackingCheck_, &QTimer::timeout, this, &X11OverlayWindow::restack);
    stackingEvents_ = new QSocketNotifier(ConnectionNumber(stackingDisplay_), QSocketNotifier::Read, this);
    connect(stackingEvents_, &QSocketNotifier::activated, this, &X11OverlayWindow::readStackingEvents);
}

// Also called after each check: events that arrived while it queried the server wait in
// Xlib's queue, where the socket notifier cannot see them.
void X11OverlayWindow::readStackingEvents() {
    bool changed = false;
    while (XPending(stackingDisplay_) > 0) {
        XEvent event;
        XNextEvent(stackingDisplay_, &event);
        changed = true;
    }
    if (changed && !stackingCheck_->isActive()) stackingCheck_->start(0);
}

void X11OverlayWindow::restack() {
    Display* display = stackingDisplay_;
    const auto overlay = static_cast<Window>(nativeWindow());
    if (managed_ || !display || !overlay || !QWidget::isVisible()) return;
    XFlush(x11Display());  // our own window's requests first
    const Window root = DefaultRootWindow(display);
    // A window that is gone meanwhile fails its queries quietly: Qt's Xlib error handler
    // ignores errors. The top-level window (frame) that holds `window`, or 0 once it is gone.
    const auto topLevel = [display](Window window) -> Window {
        for (;;) {
            Window rootReturn = 0, parent = 0, *children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count)) return 0;
            if (children) XFree(children);
            if (parent == rootReturn) return window;
            window = parent;
        }
    };
    std::vector<unsigned long> bottomToTop;
    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &rootReturn, &parent, &children, &count)) return;
    bottomToTop.assign(children, children + count);
    if (children) XFree(children);

    std::set<unsigned long> managed, desktop;
    const Atom desktopType = atom(display, "_NET_WM_WINDOW_TYPE_DESKTOP");
    for (const Window client : windowListProperty(display, root, atom(display, "_NET_CLIENT_LIST"), XA_WINDOW)) {
        const Window frame = topLevel(client);
        if (!frame) continue;
        managed.insert(frame);
        const auto types = windowListProperty(display, client, atom(display, "_NET_WM_WINDOW_TYPE"), XA_ATOM);
        if (std::find(types.begin(), types.end(), desktopType) != types.end()) desktop.insert(frame);
    }
    const auto stacking = OverlayStacking::plan(bottomToTop, overlay, managed, desktop, level_);
    switch (stacking.move) {
        case OverlayStacking::Move::none: break;
        case OverlayStacking::Move::top: XRaiseWindow(display, overlay); break;
        case OverlayStacking::Move::bottom: XLowerWindow(display, overlay); break;
        case OverlayStacking::Move::aboveSibling: {
            XWindowChanges changes{};
            changes.sibling = static_cast<Window>(stacking.sibling);
            changes.stack_mode = Above;
            XConfigureWindow(display, overlay, CWSibling | CWStackMode, &changes);
            break;
        }
    }
    if (stacking.move != OverlayStacking::Move::none && frame_.width > 0 && frame_.height > 0) {
        // xfwm4's compositor may keep drawing a restacked window at its old place until its
        // size changes: change it by one pixel and back (this helps in most cases, not all).
        // Sent on Qt's own connection, after any resize Qt has queued, with the size last
        // asked for: the server's current size may be one that Qt is about to replace.
        Display* qtDisplay = x11Display();
        const qreal ratio = devicePixelRatioF();
        const auto width = static_cast<unsigned>(qRound(frame_.width * ratio));
        const auto height = static_cast<unsigned>(qRound(frame_.height * ratio));
        XResizeWindow(qtDisplay, overlay, width, height + 1);
        XResizeWindow(qtDisplay, overlay, width, height);
        XFlush(qtDisplay);
    }
    XFlush(display);
    readStackingEvents();
}

void X11OverlayWindow::hidePanel() {
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

// Window class and, for a window manager that manages the overlay, its states and desktop
// (_NET_WM_STATE is written whole while unmapped; Qt merges its own states into it at the
// show). No tie to the application's other windows: without a group leader or a client
// leader no window manager treats the overlay as part of the application.
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

    if (XWMHints* hints = XGetWMHints(display, window)) {
        hints->flags &= ~WindowGroupHint;
        XSetWMHints(display, window, hints);
        XFree(hints);
    }
    XDeleteProperty(display, window, atom(display, "WM_CLIENT_LEADER"));
    XDeleteProperty(display, window, atom(display, "WM_TRANSIENT_FOR"));

    const std::vector<Atom> states = {atom(display, "_NET_WM_STATE_SKIP_TASKBAR"),
                                      atom(display, "_NET_WM_STATE_SKIP_PAGER"), atom(display, "_NET_WM_STATE_STICKY"),
                                      levelState(display, level_)};
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
