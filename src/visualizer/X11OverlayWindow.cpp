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

#include <xcb/xcb.h>

// Xlib last: its macros (None, Bool, Status…) collide with Qt names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <cstdlib>
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

std::string compositorSelectionName(Display* display) {
    return "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
}

// The parent of each window, 0 for a window that is gone. Every request is sent before the
// first reply is read: one round trip for the lot.
std::vector<xcb_window_t> parentsOf(xcb_connection_t* connection, const std::vector<xcb_window_t>& windows) {
    std::vector<xcb_query_tree_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (const xcb_window_t window : windows) cookies.push_back(xcb_query_tree(connection, window));
    std::vector<xcb_window_t> parents;
    parents.reserve(windows.size());
    for (const auto cookie : cookies) {
        xcb_generic_error_t* error = nullptr;
        xcb_query_tree_reply_t* reply = xcb_query_tree_reply(connection, cookie, &error);
        parents.push_back(reply ? reply->parent : 0);
        std::free(reply);
        std::free(error);
    }
    return parents;
}

// A 32-bit list property (window ids, atoms) from its reply; empty when missing or of
// another type. Frees the reply and any error.
std::vector<std::uint32_t> listFromReply(xcb_connection_t* connection, xcb_get_property_cookie_t cookie,
                                         xcb_atom_t type) {
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, &error);
    std::vector<std::uint32_t> values;
    if (reply && reply->type == type && reply->format == 32) {
        const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        values.assign(items, items + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    std::free(error);
    return values;
}

xcb_get_property_cookie_t askListProperty(xcb_connection_t* connection, xcb_window_t window, Atom property,
                                          xcb_atom_t type) {
    return xcb_get_property(connection, 0, window, static_cast<xcb_atom_t>(property), type, 0, 4096);
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
    const Window root = DefaultRootWindow(stackingDisplay_);
    XSelectInput(stackingDisplay_, root, SubstructureNotifyMask | PropertyChangeMask);
    // A compositing manager that starts or stops while the band is shown: its selection
    // changes owner, or its owner goes away.
    int errorBase = 0, major = 5, minor = 0;
    if (XFixesQueryExtension(stackingDisplay_, &fixesEventBase_, &errorBase) &&
        XFixesQueryVersion(stackingDisplay_, &major, &minor)) {
        XFixesSelectSelectionInput(stackingDisplay_, root,
                                   atom(stackingDisplay_, compositorSelectionName(stackingDisplay_).c_str()),
                                   XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    } else {
        fixesEventBase_ = -1;
    }
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
    bool changed = false, compositorChanged = false;
    while (XPending(stackingDisplay_) > 0) {
        XEvent event;
        XNextEvent(stackingDisplay_, &event);
        if (fixesEventBase_ >= 0 && event.type == fixesEventBase_ + XFixesSelectionNotify) {
            compositorChanged = true;
        } else {
            changed = true;
        }
    }
    if (compositorChanged) compositorDidChange();
    if (changed && !stackingCheck_->isActive()) stackingCheck_->start(0);
}

// The notice and the opaque background come and go with the compositor; so does blur.
void X11OverlayWindow::compositorDidChange() {
    view_->setCompositorMissing(!hasCompositor());
    applyBlurHint();
}

void X11OverlayWindow::restack() {
    Display* display = stackingDisplay_;
    const auto overlay = static_cast<Window>(nativeWindow());
    if (managed_ || !display || !overlay || !QWidget::isVisible()) return;
    auto* x11 = x11Application();
    if (!x11) return;
    XFlush(x11Display());  // our own window's requests first
    // Asked on Qt's connection with xcb, each step's requests all sent before the first reply
    // is read, so one root change costs a few round trips whatever the number of windows:
    // the root's children with the client list, then every client's parent with its window
    // type, then one more per level of frames that a window manager nests its clients in.
    // A window that is gone meanwhile answers with an error and is left out.
    xcb_connection_t* connection = x11->connection();
    const auto root = static_cast<xcb_window_t>(DefaultRootWindow(display));
    const Atom clientList = atom(display, "_NET_CLIENT_LIST"), windowType = atom(display, "_NET_WM_WINDOW_TYPE");
    const auto desktopType = static_cast<std::uint32_t>(atom(display, "_NET_WM_WINDOW_TYPE_DESKTOP"));
    const auto treeCookie = xcb_query_tree(connection, root);
    const auto clientsCookie = askListProperty(connection, root, clientList, XCB_ATOM_WINDOW);
    std::vector<unsigned long> bottomToTop;
    xcb_generic_error_t* error = nullptr;
    if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, treeCookie, &error)) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        bottomToTop.assign(children, children + xcb_query_tree_children_length(tree));
        std::free(tree);
    }
    std::free(error);
    const auto listed = listFromReply(connection, clientsCookie, XCB_ATOM_WINDOW);
    if (bottomToTop.empty()) return;
    const std::vector<xcb_window_t> clients(listed.begin(), listed.end());

    std::vector<xcb_get_property_cookie_t> typeCookies;
    typeCookies.reserve(clients.size());
    for (const xcb_window_t client : clients) {
        typeCookies.push_back(askListProperty(connection, client, windowType, XCB_ATOM_ATOM));
    }
    // frames[i]: the window under the root that holds clients[i] (0 once it is gone),
    // walked up one level of the tree per round trip.
    std::vector<xcb_window_t> frames = clients, parents = parentsOf(connection, clients);
    std::vector<bool> isDesktop;
    isDesktop.reserve(clients.size());
    for (const auto cookie : typeCookies) {
        const auto types = listFromReply(connection, cookie, XCB_ATOM_ATOM);
        isDesktop.push_back(std::find(types.begin(), types.end(), desktopType) != types.end());
    }
    for (int level = 0; level < 8; ++level) {
        std::vector<std::size_t> deeper;
        std::vector<xcb_window_t> asked;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (frames[i] == 0) continue;
            if (parents[i] == 0) {
                frames[i] = 0;  // gone
            } else if (parents[i] != root) {
                frames[i] = parents[i];
                deeper.push_back(i);
                asked.push_back(parents[i]);
            }
        }
        if (deeper.empty()) break;
        const auto next = parentsOf(connection, asked);
        for (std::size_t k = 0; k < deeper.size(); ++k) parents[deeper[k]] = next[k];
    }

    std::set<unsigned long> managed, desktop;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        if (frames[i] == 0 || parents[i] != root) continue;
        managed.insert(frames[i]);
        if (isDesktop[i]) desktop.insert(frames[i]);
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
    return XGetSelectionOwner(display, atom(display, compositorSelectionName(display).c_str())) != 0;
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
