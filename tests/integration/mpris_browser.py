#!/usr/bin/env python3
"""A stand-in web browser on the session bus: owns org.mpris.MediaPlayer2.firefox.instance_1_42,
answers the MPRIS properties a browser publishes (Identity, DesktopEntry, PlaybackStatus, Volume,
Metadata with the page address in xesam:url) and announces every change with PropertiesChanged.
Commands on stdin, one per line: "play URL", "pause". Prints "ready" once it owns its name."""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ROOT = "org.mpris.MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
PROPERTIES = "org.freedesktop.DBus.Properties"


class Browser(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/mpris/MediaPlayer2")
        self.status = "Stopped"
        self.url = ""

    def player_properties(self):
        metadata = dbus.Dictionary({"mpris:trackid": dbus.ObjectPath("/org/mpris/MediaPlayer2/firefox"),
                                    "xesam:title": "A tab"}, signature="sv")
        if self.url:
            metadata["xesam:url"] = self.url
        return {"PlaybackStatus": self.status, "Volume": dbus.Double(1.0), "Metadata": metadata}

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface == ROOT:
            return {"Identity": "Firefox", "DesktopEntry": "firefox-esr"}
        if interface == PLAYER:
            return self.player_properties()
        return {}

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    def apply(self, line):
        words = line.split()
        if words[:1] == ["play"] and len(words) == 2:
            self.status, self.url = "Playing", words[1]
        elif words == ["pause"]:
            self.status = "Paused"
        else:
            return
        self.PropertiesChanged(PLAYER, self.player_properties(), dbus.Array([], signature="s"))


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    browser = Browser(bus)
    name = dbus.service.BusName("org.mpris.MediaPlayer2.firefox.instance_1_42", bus)
    loop = GLib.MainLoop()

    def on_input(source, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        browser.apply(line.strip())
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
    print("ready", flush=True)
    loop.run()
    del name


if __name__ == "__main__":
    main()
