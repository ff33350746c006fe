#!/usr/bin/python3
"""For the GNOME on Wayland test: `native` shows a maximised, white Wayland-native GTK window that
prints "ready", then "press X Y" per click; `mutter CONNECTOR` drives a headless mutter over
D-Bus (remote-desktop pointer, screen cast of that monitor): prints "ready", then answers "ok"
(or "error WHY") to each command on standard input: "move X Y", "click", "shot FILE.png"."""
import subprocess
import sys

import gi
from gi.repository import Gio, GLib

BUS = Gio.bus_get_sync(Gio.BusType.SESSION) if sys.argv[1] != "native" else None


def call(dest, path, method, args=None, reply=None):
    iface, name = method.rsplit(".", 1)
    result = BUS.call_sync(dest, path, iface, name, args, GLib.VariantType(reply) if reply else None,
                           Gio.DBusCallFlags.NONE, 10000, None)
    return result.unpack() if result else None


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


{"native": native, "mutter": mutter}[sys.argv[1]](*sys.argv[2:])
