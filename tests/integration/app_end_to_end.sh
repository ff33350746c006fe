#!/usr/bin/env bash
# End to end: the real `sonavista` on a private display with a compositor, a private sound
# server and session bus, with isolated HOME and XDG folders. Usage: app_end_to_end.sh APP
# Every external command runs under `timeout`, so a step that goes wrong fails within seconds.
set -uo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/sandbox.sh"
source "$here/../support/checks.sh"

port=43828
# With another process on the fixed bridge port, nothing below would mean anything.
sandbox_port_free $port || { echo "FAIL - port $port (the browser bridge) is held by another process"; exit 1; }

work=$(mktemp -d /tmp/sonavista-e2e.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
settings_file=$work/config/Sonavista/Sonavista.conf
finish() { check_finish "$work/logs/app.log"; }

settings_shown() { [ -n "$(sandbox_settings_window)" ]; }
bridge_answers() { curl -s --max-time 2 -o /dev/null "http://127.0.0.1:$port/"; }
live_frames_differ() {  # two images of the overlay half a second apart
  local id; id=$(sandbox_overlay_window)
  sandbox_window_image "$id" "$work/a.png" && sleep 0.5 && sandbox_window_image "$id" "$work/b.png" &&
    [ "$(changed_pixels "$work/a.png" "$work/b.png")" -gt 0 ]
}
setting() { sed -n "s/^$1=//p" "$settings_file" 2>/dev/null; }
lacks_youtube() { setting enabledMusicPlayers | grep -q '"spotifyWeb"' && ! setting enabledMusicPlayers | grep -q '"youtube"'; }
mpv_switched_off() { setting otherMusicPlayers | grep -q '"mpv|0|'; }
launch() { timeout 10 "$app" >>"$work/logs/second.log" 2>&1; }  # a launch by the user
# mpv under its own name, outside the catalogue; on the bus as org.mpris.MediaPlayer2.mpv.instance<pid>
# (the sandbox's player holds org.mpris.MediaPlayer2.mpv).
start_plain_mpv() {
  /usr/bin/mpv --no-config --no-video --ao=pulse --audio-device=pulse/out --loop=inf \
    --script=/usr/lib/mpv-mpris/mpris.so "$SANDBOX/music.wav" >"$SANDBOX/logs/mpv.log" 2>&1 &
  plain_mpv=$!
  sandbox_pids+=($plain_mpv)
  sandbox_wait_for 10 sh -c "timeout 2 playerctl -p mpv.instance$plain_mpv status | grep -q Playing"
}
records_monitor() {  # a record stream of ours on out.monitor, as the sound server lists it
  local monitor; monitor=$(timeout 5 pactl -f json list sources | jq '.[] | select(.name == "out.monitor") | .index')
  [ -n "$monitor" ] && timeout 5 pactl -f json list source-outputs |
    jq -e --argjson m "$monitor" 'any(.[]; .source == $m and .properties."application.process.binary" == "sonavista")' >/dev/null
}
stop_plain_mpv() { kill "$plain_mpv" 2>/dev/null; wait "$plain_mpv" 2>/dev/null; }
start_app() {
  sandbox_start_app "$app" "$@"
  check "the bridge listens" sandbox_wait_for 10 bridge_answers || finish
}
stop_app() {
  sandbox_stop_app
  check "SIGTERM exits with status 0" test $? -eq 0
  check "the bridge port is released" sandbox_wait_for 2 not bridge_answers
}

sandbox_start "$work" || exit 1
check "an unknown argument is refused with status 2" sh -c '"$1" --no-such-option 2>/dev/null; [ $? -eq 2 ]' _ "$app"
# Without a display Qt would abort: the application says what is missing and exits with status 1.
no_display() { local out; out=$(env -u QT_QPA_PLATFORM "${@:2}" timeout 10 "$app" 2>&1 >/dev/null); [ $? -eq 1 ] && grep -qF "$1" <<<"$out"; }
check "with no display at all it exits with status 1 and says so" no_display "DISPLAY is not set" -u DISPLAY -u WAYLAND_DISPLAY
check "with an X display nobody serves it exits with status 1 and says so" \
  no_display "no X server answered at DISPLAY=:7391" -u WAYLAND_DISPLAY DISPLAY=:7391
start_app --autostart  # the very first launch, even at login, presents the settings window
check "nothing is shown before anything plays" not sandbox_overlay_visible

# A browser page reports playback, then stops: the page expires (3.5 s after its last report).
check "a bridge report is accepted" test "$(bridge_report youtube e2e-page true)" = 204
check "the overlay appears for a playing page" sandbox_wait_for 5 sandbox_overlay_visible &&
  check "the overlay hides once the reports stop" sandbox_wait_for 10 not sandbox_overlay_visible

# A real MPRIS player playing into the private sound server: live audio moves the bars.
if check "the player plays" sandbox_start_player &&
  check "the overlay appears for the playing player" sandbox_wait_for 10 sandbox_overlay_visible; then
  sleep 2  # live frames arrive
  check "successive frames differ (live audio)" live_frames_differ
  check "the application records the default output's monitor" records_monitor
  timeout 5 playerctl -p mpv pause
  check "pausing hides the overlay" sandbox_wait_for 5 not sandbox_overlay_visible
fi

# A player outside the catalogue raises the overlay too, and is listed under Other Players.
if check "mpv plays under its own name" start_plain_mpv; then
  check "the overlay appears for mpv" sandbox_wait_for 5 sandbox_overlay_visible
  check "mpv is remembered as another player" sandbox_wait_for 3 sh -c "grep -q 'mpv|1|' '$settings_file'"
  timeout 5 playerctl -p "mpv.instance$plain_mpv" pause
  check "pausing mpv hides the overlay" sandbox_wait_for 5 not sandbox_overlay_visible
fi

# A setting changed in the settings window persists across a restart. The window opens on the
# Players tab, its tab bar focused; Tab walks four desktop players, Spotify Web, YouTube.
window=$(sandbox_settings_window)
if check "the settings window opens at launch" test -n "$window"; then
  timeout 5 xdotool windowfocus --sync "$window"
  timeout 5 xdotool key --delay 50 Tab Tab Tab Tab Tab Tab Tab space
  check "switching YouTube off is saved" sandbox_wait_for 3 lacks_youtube
  # On past QQ Music Web and the extension's set-up button to the first other player: mpv.
  timeout 5 xdotool key --delay 50 Tab Tab Tab space
  check "switching mpv off is saved" sandbox_wait_for 3 mpv_switched_off
fi
stop_plain_mpv
stop_app
start_app --autostart
check "mpv is still switched off after the restart" mpv_switched_off
if check "mpv plays again" start_plain_mpv; then
  sleep 2  # longer than a player's play takes to show the overlay
  check "mpv, switched off, shows no overlay" not sandbox_overlay_visible
  stop_plain_mpv
fi
check "the setting is still saved after the restart" lacks_youtube
check "a later launch at login presents no window" not sandbox_wait_for 2 settings_shown
launch
check "a launch by the user presents it" sandbox_wait_for 3 settings_shown
check "a report from YouTube is accepted" test "$(bridge_report youtube e2e-youtube true)" = 204
sleep 3  # longer than a Spotify Web report below takes to show the overlay
check "YouTube, switched off, shows no overlay" not sandbox_overlay_visible
check "a report from Spotify Web is accepted" test "$(bridge_report spotifyWeb e2e-spotify true)" = 204
check "Spotify Web, still on, shows the overlay" sandbox_wait_for 5 sandbox_overlay_visible

# A second launch hands over to the running instance, exits at once and the first instance
# presents its settings window again: after the window was closed, and after it was minimised.
for hide in close minimise; do
  window=$(sandbox_settings_window)
  check "the settings window is shown before it is ${hide}d" test -n "$window" &&
    timeout 5 "$here/x11_window.py" "$hide" "$window" &&
    check "the settings window is gone once ${hide}d" sandbox_wait_for 3 not settings_shown || continue
  check "a second launch exits with status 0" launch
  check "the settings window is presented again" sandbox_wait_for 3 settings_shown
done

# SIGTERM ends the application through its termination order with status 0.
stop_app
finish
