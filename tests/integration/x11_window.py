#!/usr/bin/env python3
"""Does to a top-level X11 window what a window manager would, for a display that has none.

    x11_window.py close WINDOW     asks the client to close it (WM_DELETE_WINDOW), as the
                                   title bar's close button does
    x11_window.py minimise WINDOW  iconifies it: WM_STATE becomes Iconic and it is unmapped

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
declare("XChangeProperty", ctypes.c_int, Display, Window, Atom, Atom, ctypes.c_int, ctypes.c_int,
        ctypes.c_void_p, ctypes.c_int)


class ClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", Display), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("client_message", ClientMessageEvent), ("pad", ctypes.c_long * 24)]


declare("XSendEvent", ctypes.c_int, Display, Window, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent))

CLIENT_MESSAGE = 33
PROP_MODE_REPLACE = 0
ICONIC_STATE = 3


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


def main():
    actions = {"close": close, "minimise": minimise}
    if len(sys.argv) != 3 or sys.argv[1] not in actions:
        sys.exit(__doc__)
    display = xlib.XOpenDisplay(None)
    if not display:
        print("x11_window: cannot open the display", file=sys.stderr)
        return 1
    actions[sys.argv[1]](display, int(sys.argv[2], 0))
    xlib.XSync(display, 0)
    xlib.XCloseDisplay(display)
    return 0


if __name__ == "__main__":
    sys.exit(main())
