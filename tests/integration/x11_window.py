#!/usr/bin/python3
"""Does to an X11 window what a window manager would, for a display that has none, or maps a
window that records its clicks.
    x11_window.py close|minimise WINDOW   asks the client to close it (WM_DELETE_WINDOW), or
                                          iconifies it (WM_STATE Iconic, unmapped)
    x11_window.py desktop|window          a full-screen desktop (type DESKTOP) or an 800 x 500
                                          window at (560, 290): prints "window ID", then
                                          "press X Y" for each click, until it is ended
"""
import sys

from Xlib import X, Xatom, Xutil, display, protocol


def close(d, window):
    data = [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]
    window.send_event(protocol.event.ClientMessage(window=window, client_type=d.intern_atom("WM_PROTOCOLS"),
                                                   data=(32, data)))


def minimise(d, window):
    # ICCCM: the window manager records the Iconic state (no icon window) and unmaps the frame.
    wm_state = d.intern_atom("WM_STATE")
    window.change_property(wm_state, wm_state, 32, [Xutil.IconicState, 0])
    window.unmap()


def record(d, kind):
    desktop = kind == "desktop"
    x, y, width, height = (0, 0, 1920, 1080) if desktop else (560, 290, 800, 500)
    # A dark teal desktop and a white window, told apart on screenshots.
    window = d.screen().root.create_window(x, y, width, height, 0, X.CopyFromParent, event_mask=X.ButtonPressMask,
                                           background_pixel=0x1d4d4f if desktop else 0xffffff)
    # A position and size the window manager keeps (with the obsolete fields some still read).
    window.change_property(Xatom.WM_NORMAL_HINTS, Xatom.WM_SIZE_HINTS, 32,
                           [Xutil.USPosition | Xutil.USSize, x, y, width, height] + [0] * 13)
    if desktop:
        window.change_property(d.intern_atom("_NET_WM_WINDOW_TYPE"), Xatom.ATOM, 32,
                               [d.intern_atom("_NET_WM_WINDOW_TYPE_DESKTOP")])
    window.map()
    d.sync()
    print(f"window {window.id}", flush=True)
    while True:
        event = d.next_event()
        if event.type == X.ButtonPress:
            print(f"press {event.root_x} {event.root_y}", flush=True)


def main():
    if sys.argv[1:] in (["desktop"], ["window"]):
        record(display.Display(), sys.argv[1])
    if len(sys.argv) != 3 or sys.argv[1] not in ("close", "minimise"):
        sys.exit(__doc__)
    d = display.Display()
    globals()[sys.argv[1]](d, d.create_resource_object("window", int(sys.argv[2], 0)))
    d.sync()


if __name__ == "__main__":
    main()
