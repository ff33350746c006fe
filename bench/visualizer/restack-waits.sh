#!/usr/bin/env bash
# What one root change costs the X11 overlay in waits for the X server. The overlay demo
# (floating band) runs under strace on a private Xvfb where a stand-in window manager keeps
# CLIENTS framed clients in _NET_CLIENT_LIST; the stand-in then changes a root property TICKS
# times, 0.5 s apart, and each change makes the overlay restack. A wait is a poll of the main
# thread on one X connection alone (a synchronous round trip costs two: send, then reply).
# The same run without changes (same length: repainting waits too) is subtracted, and the
# rest divided by TICKS.
# Usage: restack-round-trips.sh DEMO [CLIENTS] [TICKS]
set -euo pipefail
demo=$1 clients=${2:-100} ticks=${3:-20}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/sonavista-restack.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
n=90; while [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
export DISPLAY=":$n"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

waits() {  # changes: the main thread's single-connection polls over one run
  "$here/restack_clients.py" "$clients" 3 "$1" >"$work/wm.log" & local wm=$!
  for _ in $(seq 100); do grep -q ready "$work/wm.log" && break; sleep 0.1; done
  (sleep $((4 + ticks / 2)); echo quit) | QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" \
    timeout $((30 + ticks)) strace -f -e trace=poll -o "$work/trace" "$demo" --mode compact --avoid off \
    >/dev/null 2>&1 || true
  wait "$wm" || true
  local main; main=$(head -1 "$work/trace" | cut -d' ' -f1)
  grep -cE "^$main +poll\(\[\{fd=[0-9]+, events=[A-Z|]+\}\], 1," "$work/trace" || true
}
with=$(waits "$ticks") without=$(waits 0)
awk -v a="$with" -v b="$without" -v t="$ticks" -v c="$clients" 'BEGIN {
  printf "%d clients: %.1f waits for the server per root change (%d with %d changes, %d without)\n", c, (a - b) / t, a, t, b }'
