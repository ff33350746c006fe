#!/usr/bin/python3
"""What the Wayland desktop tests need of a compositor beyond its socket:
    wayland_desktop.py native            a maximised, white Wayland-native GTK window: prints
                                         "ready", then "press X Y" for each click
    wayland_desktop.py mutter CONNECTOR  drives a headless mutter over D-Bus (a remote-desktop
        session with a screen-cast stream of that monitor): prints "ready", then reads commands
        and answers "ok" (or "error WHY") to each: "move X Y", "click", "shot FILE.png"
    wayland_desktop.py kwin-shot OUTPUT FILE.png   one frame of a KWin output (ScreenShot2)"""
import os
import subprocess
import sys

import gi
from gi.repository import Gio, GLib

BUS = Gio.bus_get_sync(Gio.BusType.SESSION) if sys.argv[1] != "native" else None


def call(dest, path, method, args=None, reply=None, fds=None):
    iface, name = method.rsplit(".", 1)
    result = BUS.call_with_unix_fd_list_sync(dest, path, iface, name, args, GLib.VariantType(reply) if reply else None,
                                             Gio.DBusCallFlags.NONE, 10000, fds, None)
    return result[0].unpack() if result[0] else None


def native():
    gi.require_version("Gtk", "3.0")
    from gi.repository import Gdk, Gtk
    window = Gtk.Window(title="native window")
    window.override_background_color(Gtk.StateFlags.NORMAL, Gdk.RGBA(1, 1, 1, 1))
    window.add_events(Gdk.EventMask.BUTTON_PRESS_MASK)
    window.connect("button-press-event", lambda _, e: print("press %d %d" % (e.x_root, e.y_root), flush=True))
    window.connect("map-event", lambda *_: print("ready", flush=True))
    window.maximize()
    window.show_all()
    Gtk.main()


def mutter(connector):
    rd = "org.gnome.Mutter.RemoteDesktop"
    session = call(rd, "/org/gnome/Mutter/RemoteDesktop", rd + ".CreateSession", None, "(o)")[0]
    session_id = call(rd, session, "org.freedesktop.DBus.Properties.Get",
                      GLib.Variant("(ss)", (rd + ".Session", "SessionId")), "(v)")[0]
    sc = "org.gnome.Mutter.ScreenCast"
    cast = call(sc, "/org/gnome/Mutter/ScreenCast", sc + ".CreateSession",
                GLib.Variant("(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", session_id)},)), "(o)")[0]
    stream = call(sc, cast, sc + ".Session.RecordMonitor", GLib.Variant("(sa{sv})", (connector, {})), "(o)")[0]
    node = []
    BUS.signal_subscribe(sc, sc + ".Stream", "PipeWireStreamAdded", stream, None, Gio.DBusSignalFlags.NONE,
                         lambda *a: node.append(a[5].unpack()[0]))
    call(rd, session, rd + ".Session.Start")
    while not node:
        GLib.MainContext.default().iteration(True)
    print("ready", flush=True)
    for line in sys.stdin:  # the D-Bus connection needs no main loop between commands
        words = line.split()
        try:
            if words[0] == "move":
                call(rd, session, rd + ".Session.NotifyPointerMotionAbsolute",
                     GLib.Variant("(sdd)", (stream, float(words[1]), float(words[2]))))
            elif words[0] == "click":
                for pressed in (True, False):  # BTN_LEFT
                    call(rd, session, rd + ".Session.NotifyPointerButton", GLib.Variant("(ib)", (0x110, pressed)))
            elif words[0] == "shot":
                subprocess.run(["gst-launch-1.0", "-q", "pipewiresrc", "path=%d" % node[0], "num-buffers=1", "!",
                                "videoconvert", "!", "pngenc", "!", "filesink", "location=" + words[1]],
                               check=True, timeout=20, stdout=subprocess.DEVNULL)
            print("ok", flush=True)
        except Exception as error:  # the test fails the step that sent the command
            print("error %s" % error, flush=True)


def kwin_shot(output, path):
    read, write = os.pipe()
    fds = Gio.UnixFDList.new_from_array([write])
    info = call("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2.CaptureScreen",
                GLib.Variant("(sa{sv}h)", (output, {}, 0)), "(a{sv})", fds)[0]
    os.close(write)
    with os.fdopen(read, "rb") as pipe:
        data = pipe.read()
    width, height, stride = info["width"], info["height"], info["stride"]
    rows = b"".join(data[y * stride:y * stride + width * 4] for y in range(height))
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-depth", "8", "bgra:-", path], input=rows,
                   check=True, timeout=20)


{"native": native, "mutter": mutter, "kwin-shot": kwin_shot}[sys.argv[1]](*sys.argv[2:])
