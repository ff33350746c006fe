#!/usr/bin/env python3
"""Play/pause to published snapshot latency of sonavista-detect against a real MPRIS player.

Usage: mpris-latency.py BUILD_DIR [TOGGLES]

Starts a private session bus, mpv with its MPRIS plugin (a player outside the catalogue,
`mpris:mpv`) and sonavista-detect, then toggles the player with PlayPause over D-Bus TOGGLES
times at random moments (so the toggles fall anywhere in the 0.5 s pass cycle) and measures,
for each, the time from just before the call to the detect line that reports the new state.
A dbus-monitor on the same bus timestamps the player's PropertiesChanged signal, which splits
each latency into the player's own delay (call to signal) and detection's (signal to line).
Prints every latency and the median, p95 and maximum in milliseconds."""

import os
import random
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import dbus


def main():
    build = os.path.abspath(sys.argv[1])
    toggles = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    detect = os.path.join(build, "tools", "detect", "sonavista-detect")
    work = tempfile.mkdtemp(prefix="sonavista-latency.")
    env = dict(os.environ, HOME=work, PULSE_SERVER="unix:" + os.path.join(work, "no-pulse"))
    children = []
    try:
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
        children.append(bus)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        tone = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "22050", "-c", "2", tone, "synth", "2", "sine", "440"], check=True)
        children.append(subprocess.Popen(
            ["mpv", "--no-config", "--no-terminal", "--ao=null", "--vo=null", "--loop=inf",
             "--script=/usr/lib/mpv-mpris/mpris.so", tone], env=env))
        time.sleep(1.5)
        detector = subprocess.Popen([detect, "--no-bridge", "--enabled", "mpris:mpv"], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, env=env, text=True, bufsize=1)
        children.append(detector)

        def next_line(timeout):
            ready, _, _ = select.select([detector.stdout], [], [], timeout)
            return detector.stdout.readline() if ready else None

        monitor = subprocess.Popen(["dbus-monitor", "type='signal',member='PropertiesChanged'"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True, bufsize=1)
        children.append(monitor)

        def signal_time_after(moment):
            # The wall-clock time dbus-monitor stamped on the first PropertiesChanged after `moment`.
            while True:
                ready, _, _ = select.select([monitor.stdout], [], [], 2)
                if not ready:
                    return None
                line = monitor.stdout.readline()
                if line.startswith("signal time=") and "member=PropertiesChanged" in line:
                    stamp = float(line.split()[1].split("=")[1])
                    if stamp >= moment:
                        return stamp

        first = next_line(10)
        if first is None or '"playing"' not in first:
            sys.exit("detect did not report mpv playing: %r" % first)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = env["DBUS_SESSION_BUS_ADDRESS"]
        player = dbus.SessionBus().get_object("org.mpris.MediaPlayer2.mpv", "/org/mpris/MediaPlayer2")
        control = dbus.Interface(player, "org.mpris.MediaPlayer2.Player")
        expected = "paused"
        time.sleep(0.5)
        latencies, player_delays, detection_delays = [], [], []
        for _ in range(toggles):
            time.sleep(random.uniform(0.2, 0.8))
            sent_wall, sent = time.time(), time.monotonic()
            control.PlayPause()
            line = next_line(5)
            latency = (time.monotonic() - sent) * 1000
            seen_wall = sent_wall + latency / 1000
            if line is None or ('"%s"' % expected) not in line:
                sys.exit("unexpected detect output %r" % line)
            signal = signal_time_after(sent_wall)
            latencies.append(latency)
            if signal is not None:
                player_delays.append((signal - sent_wall) * 1000)
                detection_delays.append((seen_wall - signal) * 1000)
            print("%s after %.1f ms" % (expected, latency))
            expected = "playing" if expected == "paused" else "paused"

        def summary(name, values):
            values = sorted(values)
            p95 = values[min(len(values) - 1, int(round(0.95 * (len(values) - 1))))]
            print("%-28s n %d  median %.1f ms  p95 %.1f ms  max %.1f ms" %
                  (name, len(values), statistics.median(values), p95, values[-1]))

        summary("call to snapshot line", latencies)
        summary("  call to player's signal", player_delays)
        summary("  signal to snapshot line", detection_delays)
    finally:
        for child in reversed(children):
            child.terminate()
            try:
                child.wait(5)
            except subprocess.TimeoutExpired:
                child.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
