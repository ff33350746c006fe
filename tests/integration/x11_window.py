#!/usr/bin/env python3
"""Does to a top-level X11 window what a window manager would, for a display that has none,
or maps a window that records its clicks.

    x11_window.py close WINDOW     asks the client to close it (WM_DELETE_WINDOW), as the
                                   title bar's close button does
    x11_window.py minimise WINDOW  iconifies it: WM_STATE becomes Iconic and it is unmapped

    x11_window.py desktop|window   stands in for a full-screen desktop (type DESKTOP) or an
                                   ordinary 800 x 500 window at (560, 290): prints "window ID",
                                   then "press X Y" for each click it gets, until it is ended

Talks to libX11 directly so the tests need no extra Python package. Exits 0 once the
request reached the server, 1 when the display cannot be opened.
"""
import ctypes
import sys

xlib = ctypes.cdll.LoadLibrary("libX11.so.6")
Display = ctypes.c_void_p
Window = Atom = ctypes.c_ulong


def declare(name, restype, *argtypes):
    function = getattr(xlib, name)
    function.restype = restype
    function.argtypes = list(argtypes)


declare("XOpenDisplay", Display, ctypes.c_char_p)
declare("XCloseDisplay", ctypes.c_int, Display)
declare("XInternAtom", Atom, Display, ctypes.c_char_p, ctypes.c_int)
declare("XSync", ctypes.c_int, Display, ctypes.c_int)
declare("XUnmapWindow", ctypes.c_int, Display, Window)
declare("XDefaultRootWindow", Window, Display)
declare("XCreateSimpleWindow", Window, Display, Window, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
        ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong)
declare("XSelectInput", ctypes.c_int, Display, Window, ctypes.c_long)
declare("XMapWindow", ctypes.c_int, Display, Window)
declare("XNextEvent", ctypes.c_int, Display, ctypes.c_void_p)
declare("XChangeProperty", ctypes.c_int, Display, Window, Atom, Atom, ctypes.c_int, ctypes.c_int,
        ctypes.c_void_p, ctypes.c_int)


class ClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", Display), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class ButtonEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", Display), ("window", Window), ("root", Window), ("subwindow", Window),
                ("time", ctypes.c_ulong), ("x", ctypes.c_int), ("y", ctypes.c_int), ("x_root", ctypes.c_int),
                ("y_root", ctypes.c_int)]  # (the fields after these are not read)


class XEvent(ctypes.Union):
    _fields_ = [("client_message", ClientMessageEvent), ("button", ButtonEvent), ("pad", ctypes.c_long * 24)]


declare("XSendEvent", ctypes.c_int, Display, Window, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent))

CLIENT_MESSAGE = 33
PROP_MODE_REPLACE = 0
ICONIC_STATE = 3
BUTTON_PRESS = 4
BUTTON_PRESS_MASK = 1 << 2
XA_ATOM = 4
WM_NORMAL_HINTS, WM_SIZE_HINTS = 40, 41


def close(display, window):
    event = XEvent()
    message = event.client_message
    message.type = CLIENT_MESSAGE
    message.window = window
    message.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", 0)
    message.format = 32
    message.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    message.data[1] = 0  # CurrentTime
    xlib.XSendEvent(display, window, 0, 0, ctypes.byref(event))


def minimise(display, window):
    # ICCCM: the window manager records the Iconic state (no icon window) and unmaps the frame.
    wm_state = xlib.XInternAtom(display, b"WM_STATE", 0)
    data = (ctypes.c_long * 2)(ICONIC_STATE, 0)
    xlib.XChangeProperty(display, window, wm_state, wm_state, 32, PROP_MODE_REPLACE, data, 2)
    xlib.XUnmapWindow(display, window)


def record(display, kind):
    desktop = kind == "desktop"
    geometry = (0, 0, 1920, 1080) if desktop else (560, 290, 800, 500)
    # A dark teal desktop and a white window, told apart on screenshots.
    window = xlib.XCreateSimpleWindow(display, xlib.XDefaultRootWindow(display), *geometry, 0, 0,
                                      0x1d4d4f if desktop else 0xffffff)
    # A position and size the window manager keeps (WM_NORMAL_HINTS: USPosition | USSize).
    hints = (ctypes.c_long * 18)(1 | 2, *geometry)
    xlib.XChangeProperty(display, window, WM_NORMAL_HINTS, WM_SIZE_HINTS, 32, PROP_MODE_REPLACE, hints, 18)
    if desktop:
        kind_atom = Atom(xlib.XInternAtom(display, b"_NET_WM_WINDOW_TYPE_DESKTOP", 0))
        xlib.XChangeProperty(display, window, xlib.XInternAtom(display, b"_NET_WM_WINDOW_TYPE", 0), XA_ATOM, 32,
                             PROP_MODE_REPLACE, ctypes.byref(kind_atom), 1)
    xlib.XSelectInput(display, window, BUTTON_PRESS_MASK)
    xlib.XMapWindow(display, window)
    xlib.XSync(display, 0)
    print(f"window {window}", flush=True)
    event = XEvent()
    while True:
        xlib.XNextEvent(display, ctypes.byref(event))
        if event.button.type == BUTTON_PRESS:
            print(f"press {event.button.x_root} {event.button.y_root}", flush=True)


def main():
    actions = {"close": close, "minimise": minimise}
    recorder = len(sys.argv) == 2 and sys.argv[1] in ("desktop", "window")
    if not recorder and (len(sys.argv) != 3 or sys.argv[1] not in actions):
        sys.exit(__doc__)
    display = xlib.XOpenDisplay(None)
    if not display:
        print("x11_window: cannot open the display", file=sys.stderr)
        return 1
    if recorder:
        record(display, sys.argv[1])
    actions[sys.argv[1]](display, int(sys.argv[2], 0))
    xlib.XSync(display, 0)
    xlib.XCloseDisplay(display)
    return 0


if __name__ == "__main__":
    sys.exit(main())
