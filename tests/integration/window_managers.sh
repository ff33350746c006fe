#!/usr/bin/env bash
# The overlay (the demo) on a private Xvfb and session bus, under a real X11 window manager
# (xfwm4 with its compositor, openbox + picom, mutter, KDE Plasma's kwin_x11), none (picom alone) or on a bare display
# (no compositor). Stand-in desktop and application windows record their clicks; what is drawn
# is read from screenshots. Usage: window_managers.sh DEMO xfwm4|openbox|mutter|kwin_x11|none|bare
set -uo pipefail
demo=$1 manager=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/sandbox.sh"
source "$here/../support/checks.sh"
shots=${SONAVISTA_BINARY_DIR:-.}/wm-screenshots && mkdir -p "$shots"
work=$(mktemp -d /tmp/sonavista-wm.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
changed_fuzz=1%  # screenshots of the same scene may differ by a level or two
# xfwm4 4.18's compositor sometimes goes on drawing the band above the window once it is restacked
# below it from floating, though X stacking and clicks are right: "todo" until that is understood.
[ "$manager" = xfwm4 ] && check_known_failure="compact on: drawn below the window"

start_logged() { "$@" >>"$work/logs/$1.log" 2>&1 & sandbox_pids+=($!); }
clicked() {  # x, y, log: a click there is recorded by the window that keeps that log
  local before; before=$(grep -c press "$3")
  timeout 5 xdotool mousemove "$1" "$2" click 1
  sandbox_wait_for 3 test "$(grep -c press "$3")" -gt "$before" && tail -1 "$3" | grep -qx "press $1 $2"
}
bars_at() {  # screenshot, x: pixels of neither the desktop's nor the window's colour there
  [ "$(convert "$1" -crop 300x30+"$2"+525 -fill black -opaque white -opaque '#1d4d4f' \
       -format '%[fx:maxima>0.1]' info:)" = 1 ]
}
shot() { sleep 0.4; sandbox_screenshot "$shots/$manager-$1.png"; }
drawn() {  # name, above|below: the band over the desktop, and above or below the white window
  shot "$1" && bars_at "$shots/$manager-$1.png" 100 || return 1
  if bars_at "$shots/$manager-$1.png" 810; then [ "$2" = above ]; else [ "$2" = below ]; fi
}
unfocused() { [ "$(timeout 5 xdotool getwindowfocus 2>/dev/null)" != "$overlay" ]; }
send() { echo "$1" >&5; sleep 0.6; }  # the demo restacks; the compositor paints
last_frame() { grep '^frame' "$work/demo.log" | tail -1 | cut -d' ' -f"$1"; }  # 2-5: x y w h, 6: window, 7: compositor
start_demo() {  # demo arguments...: the overlay's window once it reports its first frame
  "$demo" "$@" <&5 >"$work/demo.log" 2>&1 & sandbox_pids+=($!)
  sandbox_wait_for 10 grep -q '^frame' "$work/demo.log" && overlay=$(last_frame 6)
}
placed() { [ "$(sandbox_window_geometry "$overlay")" = "$(last_frame 2-5)" ]; }  # where the demo's frame says
viewable() { timeout 5 xwininfo -id "$overlay" | grep -q IsViewable; }
blur_asked() { timeout 5 xprop -id "$overlay" _KDE_NET_WM_BLUR_BEHIND_REGION | grep -q CARDINAL; }
channel_gain() {  # shot, before, channel: how much brighter pixel (5, 5) is in the shot
  echo $(( $(convert "$1" -format "%[fx:int(255*p{5,5}.$3+0.5)]" info:) -
           $(convert "$2" -format "%[fx:int(255*p{5,5}.$3+0.5)]" info:) ))
}
tinted() { local c g; for c in r g b; do g=$(channel_gain "$1" "$2" $c); [ "$g" -ge 3 ] && [ "$g" -le 20 ] || return 1; done; }

export QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1 GTK_A11Y=none  # no accessibility bus for the managers to start
SANDBOX_SOUND=none SANDBOX_COMPOSITOR=none sandbox_start "$work" >/dev/null 2>&1 || { check "the display starts" false; check_finish; }
case $manager in
  xfwm4) start_logged xfwm4 --compositor=on ;;
  mutter) start_logged mutter --x11 --replace --sm-disable ;;
  kwin_x11) start_logged kwin_x11 --replace ;;  # compositing with OpenGL through llvmpipe
  openbox) start_logged openbox ;&
  none) start_logged picom --backend xrender --no-fading-openclose ;;
esac
[[ $manager =~ none|bare ]] ||
  check "the window manager runs" sandbox_wait_for 15 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
sleep 1  # the compositor takes its selection
mkfifo "$work/in" && exec 5<>"$work/in"

if [ "$manager" = bare ]; then  # the band is shown where it belongs, and known to be uncomposited
  check "the overlay appears" start_demo --mode compact --position bottom || check_finish "$work/demo.log"
  check "the overlay knows there is no compositor" test "$(last_frame 7)" = 0
  check "the band is shown" sandbox_wait_for 3 viewable
  # 150 px high, 28 px above the bottom edge (no panels here), full width.
  check "the band lies at the bottom" sandbox_wait_for 3 test "$(sandbox_window_geometry "$overlay")" = "0 902 1920 150"
  # A compositor started, then stopped, while the band is shown: the notice goes and comes back,
  # and the band's empty top right corner shows the screen through, then opaque black again.
  corner() { shot "$1" && convert "$shots/$manager-$1.png" -crop 200x6+1700+904 -format '%[fx:mean>0.05]' info:; }
  says() { send "position bottom"; [ "$(last_frame 7)" = "$1" ]; }
  check "without a compositor the band is opaque" test "$(corner opaque)" = 0
  start_logged picom --backend xrender --no-fading-openclose; compositor=$!
  check "a compositor started while shown: the notice goes" sandbox_wait_for 5 says 1
  check "a compositor started while shown: the band is translucent" test "$(corner composited)" = 1
  kill "$compositor"
  check "the compositor stopped while shown: the notice comes back" sandbox_wait_for 5 says 0
  echo quit >&5
  check_finish "$work/demo.log"
fi

# The desktop first, as a session starts it, then an application and the overlay.
"$here/x11_window.py" desktop >"$work/desktop.log" 2>&1 & desktop=$!; sandbox_pids+=($!)
sandbox_wait_for 5 grep -q window "$work/desktop.log" && sleep 0.5
"$here/x11_window.py" window >"$work/window.log" 2>&1 & helper=$!; sandbox_pids+=($!)
start_demo --mode compact --position center --avoid off && sandbox_wait_for 5 grep -q window "$work/window.log" ||
  { check "the windows appear" false; check_finish "$work/demo.log" "$work/logs/"*.log; }
window=$(sed -n 's/^window //p' "$work/window.log")
sleep 1

# Floating (compact, covering allowed) and the desktop layer (covering avoided, or fog).
# Without a window manager only floating is checked: no window is a desktop there.
modes=("compact off above" "compact on below" "fullscreenFog off below")
[ "$manager" = none ] && modes=("${modes[0]}")
for mode in "${modes[@]}"; do
  set -- $mode
  send "mode $1"; send "avoid $2"
  check "$1 $2: drawn $3 the window" sandbox_wait_for 5 drawn "$1-$2" "$3"
  check "$1 $2: a click over the desktop reaches it" clicked 200 540 "$work/desktop.log"
  check "$1 $2: a click over the window reaches it" clicked 960 540 "$work/window.log"
  check "$1 $2: the overlay has no focus" unfocused
done

if [ "$manager" = none ]; then
  check "the overlay sees the compositor" test "$(last_frame 7)" = 1
  # What the window says about itself: it bypasses window managers and belongs to no other window.
  check "the overlay is an override-redirect window" sh -c "xwininfo -all -id $overlay | grep -q 'Override Redirect State: yes'"
  check "the overlay names its class and takes no input focus" sh -c "xprop -id $overlay WM_CLASS WM_HINTS WM_TRANSIENT_FOR |
    tr '\n' ' ' | grep -q 'WM_CLASS(STRING) = \"sonavista\", \"sonavista\".*input focus: False.*WM_TRANSIENT_FOR:  not found'"
  # On an empty screen: the band moves where the demo computed it and draws nothing outside it.
  kill "$desktop" "$helper"
  send hide; shot empty
  send "position top"; send show
  check "compact top: the window lies at its frame" sandbox_wait_for 3 placed
  read -r _ y _ h < <(last_frame 2-5)
  shot top
  inside=$(changed_pixels "$shots/$manager-empty.png" "$shots/$manager-top.png" 1920 "$h" 0 "$y")
  check "compact top: nothing is drawn outside the band" test "$(changed_pixels "$shots/$manager-empty.png" "$shots/$manager-top.png")" = "$inside"
  check "compact top: bars are drawn in the band" test "$inside" -gt 14400
  send "mode fullscreenFog"
  check "fog: the window covers the screen" sandbox_wait_for 3 placed
  shot fog && check "fog: the whole screen carries a faint tint" tinted "$shots/$manager-fog.png" "$shots/$manager-empty.png"
  # Blur behind the fog only where the compositor announces it (picom does not).
  check "fog: no blur asked of a compositor that does not offer it" not blur_asked
  timeout 5 xprop -root -f _KDE_NET_WM_BLUR_BEHIND_REGION 32c -set _KDE_NET_WM_BLUR_BEHIND_REGION 0
  send "mode fullscreenFog"; check "fog: blur asked where the compositor offers it" blur_asked
  send "mode compact"; check "compact: no blur asked" not blur_asked
  check "compact after fog: the window lies at its frame" sandbox_wait_for 3 placed
  echo quit >&5
  check_finish "$work/demo.log"
fi

# The desktop layer holds while another window of the application is active, and after
# it is minimised; the band stays shown.
send "avoid on"; send "mode compact"; send settings
settings=$(sed -n 's/^settings //p' "$work/demo.log")
timeout 5 xdotool windowactivate "$settings" 2>/dev/null; sleep 0.6
check "settings window active: drawn below the window" sandbox_wait_for 5 drawn settings-active below
timeout 5 xdotool windowminimize "$settings"; sleep 0.6
check "settings window minimised: drawn below the window" sandbox_wait_for 5 drawn settings-minimised below
timeout 5 xdotool windowactivate "$window" 2>/dev/null; sleep 0.6
check "window activated: drawn below the window" sandbox_wait_for 5 drawn window-activated below
send "avoid off"
check "floating again: drawn above the window" sandbox_wait_for 5 drawn floating-again above
echo quit >&5
check_finish "$work/demo.log"
