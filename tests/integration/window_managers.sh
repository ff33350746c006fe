#!/usr/bin/env bash
# The overlay under real X11 window managers, each on a private Xvfb in a private session bus:
# xfwm4 with its compositor, openbox + picom, mutter. A full-screen window of type DESKTOP and
# an ordinary white window stand in for the desktop and an application, and record the clicks
# they get. Usage: window_managers.sh DEMO [MANAGER...] (default: all three)
set -uo pipefail
demo=$1; shift
helper=$(cd "$(dirname "$0")" && pwd)/x11_window.py
shots=${SONAVISTA_BINARY_DIR:-.}/wm-screenshots
mkdir -p "$shots"
failures=0 work="" pids=()
check() {  # description, command...
  local what=$1; shift
  if "$@"; then echo "ok   - $manager: $what"; else echo "FAIL - $manager: $what"; failures=$((failures + 1)); fi
}
not() { ! "$@"; }
wait_for() {  # seconds, command...
  local end=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do [ $SECONDS -ge $end ] && return 1; sleep 0.1; done
}
stop_all() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; wait 2>/dev/null; pids=(); }
trap 'stop_all; rm -rf "$work"' EXIT

id_of() { sed -n "s/^$2 \([0-9]*\).*/\1/p" "$1" | head -1; }
order() { timeout 5 "$helper" order desktop="$desktop" window="$window" overlay="$overlay" ${settings:+settings=$settings}; }
stacked() { local re=" ${1// / (.* )?} "; [[ " $(order) " =~ $re ]]; }  # in this order, bottom to top
clicked() {  # x, y, log: a click there is recorded by the window that keeps that log
  local before; before=$(grep -c press "$3")
  timeout 5 xdotool mousemove "$1" "$2" click 1
  wait_for 3 test "$(grep -c press "$3")" -gt "$before" && tail -1 "$3" | grep -qx "press $1 $2"
}
# Whether the band is drawn over the white window, from a screenshot of the compositor's output.
drawn_over_window() {
  timeout 10 import -window root "$shots/$manager-$1.png" &&
    [ "$(convert "$shots/$manager-$1.png" -crop 300x30+810+525 -format '%[fx:mean<0.99]' info:)" = 1 ]
}
unfocused() { [ "$(timeout 5 xdotool getwindowfocus 2>/dev/null)" != "$overlay" ]; }
send() { echo "$1" >&5; sleep 0.6; }  # the demo restacks; the compositor paints

run() {  # manager
  manager=$1 settings=""
  work=$(mktemp -d /tmp/sonavista-wm.XXXXXX)
  export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
  export NO_AT_BRIDGE=1 GTK_A11Y=none  # no accessibility bus for the managers to start
  mkdir -m 700 "$work/run"
  local n=90
  while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 & pids+=($!)
  export DISPLAY=:$n
  wait_for 10 timeout 2 xdpyinfo || { check "Xvfb starts" false; return; }
  local bus; bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --address="unix:path=$work/run/bus")
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}; pids+=(${bus##*$'\n'})
  case $manager in
    xfwm4) xfwm4 --compositor=on >"$work/wm.log" 2>&1 & pids+=($!) ;;
    openbox) openbox >"$work/wm.log" 2>&1 & pids+=($!) ;;
    mutter) mutter --x11 --replace --sm-disable >"$work/wm.log" 2>&1 & pids+=($!) ;;
  esac
  if [ "$manager" = none ] || [ "$manager" = openbox ]; then
    picom --backend xrender --no-fading-openclose >"$work/picom.log" 2>&1 & pids+=($!)
  fi
  [ "$manager" = none ] || check "the window manager runs" \
    wait_for 15 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  sleep 1  # the compositor takes its selection
  # The desktop first, as a session starts it, then an application and the overlay.
  "$helper" desktop >"$work/desktop.log" 2>&1 & pids+=($!)
  wait_for 5 grep -q window "$work/desktop.log" && sleep 0.5
  "$helper" window >"$work/window.log" 2>&1 & pids+=($!)
  mkfifo "$work/in" && exec 5<>"$work/in"
  "$demo" --mode compact --position center --avoid off <&5 >"$work/demo.log" 2>&1 & pids+=($!)
  wait_for 10 grep -q '^frame' "$work/demo.log" && wait_for 5 grep -q window "$work/window.log" ||
    { check "the windows appear" false; stop_all; return; }
  desktop=$(id_of "$work/desktop.log" window) window=$(id_of "$work/window.log" window)
  overlay=$(sed -n 's/^frame [0-9-]* [0-9-]* [0-9]* [0-9]* \([0-9]*\).*/\1/p' "$work/demo.log" | head -1)
  sleep 1

  # Floating (compact, covering allowed) and the desktop layer (covering avoided, or fog).
  local mode layer
  for mode in "compact off" "compact on" "fullscreenFog off"; do
    set -- $mode
    send "mode $1"; send "avoid $2"
    layer="desktop overlay window"
    [ "$mode" = "compact off" ] && layer="desktop window overlay"
    check "$mode: stacked $layer" stacked "$layer"
    if [ "$mode" = "compact off" ]; then check "$mode: drawn over the window" drawn_over_window "$1-$2"
    else check "$mode: hidden by the window" not drawn_over_window "$1-$2"; fi
    check "$mode: a click over the desktop reaches it" clicked 200 540 "$work/desktop.log"
    check "$mode: a click over the window reaches it" clicked 960 540 "$work/window.log"
    check "$mode: the overlay has no focus" unfocused
  done

  # The desktop layer holds while another window of the application is active, and after
  # it is minimised; the band stays shown.
  send "avoid on"; send "mode compact"; send settings
  settings=$(id_of "$work/demo.log" settings)
  timeout 5 xdotool windowactivate "$settings" 2>/dev/null; sleep 0.6
  check "settings window active: desktop overlay window" stacked "desktop overlay window"
  check "settings window active: overlay settings" stacked "overlay settings"
  check "settings window active: hidden by the window" not drawn_over_window settings-active
  check "settings window active: a click reaches the window" clicked 960 540 "$work/window.log"
  timeout 5 xdotool windowminimize "$settings"; sleep 0.6
  check "settings window minimised: the band is shown" sh -c "xwininfo -id $overlay | grep -q IsViewable"
  check "settings window minimised: desktop overlay window" stacked "desktop overlay window"
  timeout 5 xdotool windowactivate "$window" 2>/dev/null; sleep 0.6
  check "window activated: desktop overlay window" stacked "desktop overlay window"
  check "window activated: hidden by the window" not drawn_over_window window-activated
  check "window activated: the overlay has no focus" unfocused
  send "avoid off"
  check "floating again: desktop window overlay" stacked "desktop window overlay"
  check "floating again: drawn over the window" drawn_over_window floating-again
  echo quit >&5; exec 5>&-
  stop_all; rm -rf "$work"
}

for manager in ${@:-xfwm4 openbox mutter}; do run "$manager"; done
exit $failures
