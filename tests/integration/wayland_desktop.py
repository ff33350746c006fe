#!/usr/bin/python3
"""For the Wayland tests: `native`, a maximised white GTK window printing "ready", then "press X Y" per click;
`mutter CONNECTOR` and `kwin` drive a headless compositor's pointer and screenshots, printing "ready", then
answering "ok" (or "error WHY") to each of "move X Y", "click [right]", "shot FILE.png [KWIN OUTPUT]" on stdin."""
import os
import socket
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

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
    serve(lambda x, y: call(rd, session, rd + ".Session.NotifyPointerMotionAbsolute",
                            GLib.Variant("(sdd)", (stream, float(x), float(y)))),
          lambda code, down: call(rd, session, rd + ".Session.NotifyPointerButton", GLib.Variant("(ib)", (code, down))),
          lambda path: subprocess.run(["gst-launch-1.0", "-q", "pipewiresrc", "path=%d" % node[0], "num-buffers=1", "!",
                                       "videoconvert", "!", "pngenc", "!", "filesink", "location=" + path],
                                      check=True, timeout=20, stdout=subprocess.DEVNULL))


def kwin():
    """Pointer through KWin's fake-input protocol, spoken on a raw Wayland connection (the
    request numbers come from the protocol's XML); screens from KWin's ScreenShot2 service."""
    xml = ElementTree.parse("/usr/share/plasma-wayland-protocols/fake-input.xml")
    opcode = [r.get("name") for r in xml.find("interface").iter("request")].index
    wayland = socket.socket(socket.AF_UNIX)
    wayland.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"]))

    def send(obj, op, *words):  # words: ints, or strings (length, text, NUL, padding)
        body = b"".join(struct.pack("=I", w) if isinstance(w, int) else struct.pack("=I", len(w) + 1)
                        + w.encode().ljust((len(w) + 4) // 4 * 4, b"\0") for w in words)
        wayland.sendall(struct.pack("=II", obj, (8 + len(body)) << 16 | op) + body)

    send(1, 1, 2)  # wl_display.get_registry: object 2, which lists the globals at once
    data, interface = b"", "org_kde_kwin_fake_input"
    while interface.encode() not in data:
        data += wayland.recv(65536) or sys.exit("KWin offers no fake input")
    name = struct.unpack_from("=I", data, data.index(interface.encode()) - 8)[0]  # global(name, interface, version)
    send(2, 0, name, interface, 4, 3)  # wl_registry.bind, version 4, as object 3
    send(3, opcode("authenticate"), "sonavista tests", "drives the pointer")

    def shot(path, output="Virtual-0"):
        read, write = os.pipe()
        fds = Gio.UnixFDList.new()
        fds.append(write)  # a copy, closed with the list: the pipe ends when KWin closes its own
        os.close(write)
        info = call("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2.CaptureScreen",
                    GLib.Variant("(sa{sv}h)", (output, {}, 0)), "(a{sv})", fds)[0]
        del fds
        with os.fdopen(read, "rb") as pipe:  # rows of "stride" bytes
            subprocess.run(["convert", "-size", "%dx%d" % (info["stride"] // 4, info["height"]), "-depth", "8", "bgra:-",
                            "-crop", "%dx%d+0+0" % (info["width"], info["height"]), path],
                           input=pipe.read(), check=True, timeout=20)

    serve(lambda x, y: send(3, opcode("pointer_motion_absolute"), int(float(x) * 256), int(float(y) * 256)),
          lambda code, pressed: send(3, opcode("button"), code, int(pressed)), shot)


def serve(move, button, shot):
    """Answers "ok" (or "error WHY") to each command on standard input; "click right" presses BTN_RIGHT."""
    print("ready", flush=True)
    commands = {"move": move, "shot": shot, "click": lambda r="": [button(0x111 if r else 0x110, d) for d in (True, False)]}
    for line in sys.stdin:  # the D-Bus connection needs no main loop between commands
        try:
            commands[line.split()[0]](*line.split()[1:])
            print("ok", flush=True)
        except Exception as error:  # the test fails the step that sent the command
            print("error %s" % error, flush=True)


{"native": native, "mutter": mutter, "kwin": kwin}[sys.argv[1]](*sys.argv[2:])
