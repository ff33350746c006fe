#!/usr/bin/env bash
# End to end: the real `sonavista` on a private display with a compositor, a private sound
# server and session bus, with isolated HOME and XDG folders. Usage: app_end_to_end.sh APP
set -uo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/sandbox.sh"
work=$(mktemp -d /tmp/sonavista-e2e.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
failures=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}
overlay_hidden() { ! sandbox_overlay_visible; }
report() {  # playing flag
  curl -s -o /dev/null -w '%{http_code}' -X POST http://127.0.0.1:43828/playback \
    -H 'X-Sonavista-Connector: 1' -H 'Content-Type: application/json' \
    -d "{\"source\":\"youtube\",\"pageId\":\"e2e-page\",\"playing\":$1,\"volume\":0.8}"
}
overlay_geometry() {
  local id; id=$(xdotool search --onlyvisible --name '^Sonavista Overlay$' | head -1)
  xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x, y, w, h}'
}

sandbox_start "$work" || exit 1
mkdir -p "$XDG_CONFIG_HOME/Sonavista"
printf '[General]\noverlayPosition="bottom"\n' >"$XDG_CONFIG_HOME/Sonavista/Sonavista.conf"
sandbox_start_app "$app"
check "the bridge listens" sandbox_wait_for 10 sh -c 'curl -s -o /dev/null http://127.0.0.1:43828/'
check "nothing is shown before anything plays" overlay_hidden

# A browser page reports playback: the overlay appears, as a band at the bottom of the screen.
check "a bridge report is accepted" test "$(report true)" = 204
check "the overlay appears for a playing page" sandbox_wait_for 5 sandbox_overlay_visible
read -r x y w h < <(overlay_geometry)
echo "#    overlay at x=$x y=$y ${w}x$h"
check "the band lies inside the screen" test "$x" -ge 0 -a "$w" -gt 0 -a "$h" -gt 0 -a $((x + w)) -le 1920 -a $((y + h)) -le 1080
check "the band lies in the lower half (position bottom)" test $((y + h / 2)) -gt 540
# Reports stop: the page expires and the overlay goes.
check "the overlay hides once the reports stop" sandbox_wait_for 10 overlay_hidden

# A real MPRIS player playing into the private sound server: live audio moves the bars.
sandbox_start_player
check "the overlay appears for the playing player" sandbox_wait_for 10 sandbox_overlay_visible
sleep 2
id=$(xdotool search --onlyvisible --name '^Sonavista Overlay$' | head -1)
import -window "$id" "$work/a.png"; sleep 0.5; import -window "$id" "$work/b.png"
check "successive frames differ (live audio)" bash -c "! cmp -s '$work/a.png' '$work/b.png'"
playerctl -p mpv pause
check "pausing hides the overlay" sandbox_wait_for 5 overlay_hidden

# A second launch hands over to the running instance and exits at once.
start=$SECONDS
timeout 10 "$app" >>"$work/logs/second.log" 2>&1
status=$?
check "a second launch exits with status 0" test $status -eq 0
check "a second launch exits within 5 s" test $((SECONDS - start)) -le 5
check "the first instance still runs" kill -0 "$sandbox_app_pid"
check "the settings window is shown" test -n "$(sandbox_settings_window)"

# SIGTERM ends the application through its termination order with status 0.
sandbox_stop_app
check "SIGTERM exits with status 0" test $? -eq 0
check "the bridge port is released" bash -c "! curl -s -o /dev/null http://127.0.0.1:43828/"

[ $failures -eq 0 ] || { echo "--- app log"; cat "$work/logs/app.log"; }
exit $failures
