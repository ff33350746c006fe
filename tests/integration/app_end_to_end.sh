#!/usr/bin/env bash
# End to end: the real `sonavista` on a private display with a compositor, a private sound
# server and session bus, with isolated HOME and XDG folders. Usage: app_end_to_end.sh APP
#
# Every external command runs under `timeout` (curl with --max-time), so a step that goes
# wrong fails within seconds; steps that depend on one that failed are skipped.
set -uo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/sandbox.sh"
source "$here/../support/checks.sh"

port=43828
screen_width=1920 screen_height=1080  # the sandbox's display

# The bridge port is fixed: with another process on it, our reports would go there and the
# application could not listen. Nothing below would mean anything, so stop at once.
if ! sandbox_port_free $port; then
  echo "FAIL - port $port (the browser bridge) is held by another process; stop it and run again"
  exit 1
fi

work=$(mktemp -d /tmp/sonavista-e2e.XXXXXX)
trap 'sandbox_stop; rm -rf "$work"' EXIT
settings_file=$work/config/Sonavista/Sonavista.conf
finish() { check_finish "$work/logs/app.log"; }

settings_shown() { [ -n "$(sandbox_settings_window)" ]; }
bridge_answers() { curl -s --max-time 2 -o /dev/null "http://127.0.0.1:$port/"; }
# The bridge that answers must be this application's, not a process that took the port.
bridge_is_ours() { [ "$(sandbox_port_owner $port)" = "$sandbox_app_pid" ]; }
images_differ() { local pixels; pixels=$(changed_pixels "$1" "$2"); echo "#    $pixels pixels differ"; [ "${pixels:-0}" -gt 0 ]; }
enabled_players() { sed -n 's/^enabledMusicPlayers=//p' "$settings_file" 2>/dev/null; }
lacks_youtube() { enabled_players | grep -q '"spotifyWeb"' && ! enabled_players | grep -q '"youtube"'; }
other_players() { sed -n 's/^otherMusicPlayers=//p' "$settings_file" 2>/dev/null; }
mpv_switched_off() { other_players | grep -q '"mpv|0|'; }
# mpv under its own name: a player outside the catalogue. The sandbox's player already holds
# the bus name org.mpris.MediaPlayer2.mpv, so this one is org.mpris.MediaPlayer2.mpv.instance<pid>.
start_plain_mpv() {
  /usr/bin/mpv --no-config --no-video --ao=pulse --audio-device=pulse/out --loop=inf \
    --script=/usr/lib/mpv-mpris/mpris.so "$SANDBOX/music.wav" >"$SANDBOX/logs/mpv.log" 2>&1 &
  plain_mpv=$!
  sandbox_pids+=($plain_mpv)
  sandbox_wait_for 10 sh -c "timeout 2 playerctl -p mpv.instance$plain_mpv status | grep -q Playing"
}
records_monitor() {  # a record stream of ours on out.monitor, as the sound server lists it
  local monitor; monitor=$(timeout 5 pactl list short sources | awk '$2 == "out.monitor" {print $1}')
  [ -n "$monitor" ] || return 1
  timeout 5 pactl list source-outputs | awk -v monitor="$monitor" '/^Source Output/ {source = ""}
    /^\tSource: / {source = $2} /application.process.binary = "sonavista"/ && source == monitor {found = 1}
    END {exit !found}'
}
stop_plain_mpv() { kill "$plain_mpv" 2>/dev/null; wait "$plain_mpv" 2>/dev/null; }
start_app() {
  sandbox_start_app "$app" "$@"
  check "the bridge listens" sandbox_wait_for 10 bridge_answers &&
    check "the bridge is this application's" bridge_is_ours ||
    { echo "#    nothing else can be checked without the bridge"; finish; }
}
stop_app() {
  sandbox_stop_app
  check "SIGTERM exits with status 0" test $? -eq 0
  check "the bridge port is released" sandbox_wait_for 2 not bridge_answers
}

sandbox_start "$work" || exit 1
mkdir -p "$(dirname "$settings_file")"
printf '[General]\noverlayPosition="bottom"\n' >"$settings_file"
check "an unknown argument is refused with status 2" sh -c '"$1" --no-such-option 2>/dev/null; [ $? -eq 2 ]' _ "$app"
start_app --autostart  # the very first launch, even at login, presents the settings window
check "nothing is shown before anything plays" not sandbox_overlay_visible

# A browser page reports playback: the overlay appears as a band 150 px high, 28 px above the
# bottom edge of the screen (no panels here), across its full width.
check "a bridge report is accepted" test "$(bridge_report youtube e2e-page true)" = 204
if check "the overlay appears for a playing page" sandbox_wait_for 5 sandbox_overlay_visible; then
  read -r x y w h < <(sandbox_window_geometry "$(sandbox_overlay_window)")
  echo "#    overlay at x=${x:-?} y=${y:-?} ${w:-?}x${h:-?}"
  check "the band lies at the bottom of the screen" \
    test "$x $y $w $h" = "0 $((screen_height - 28 - 150)) $screen_width 150"
  # Reports stop: the page expires (3.5 s after its last report) and the overlay goes.
  check "the overlay hides once the reports stop" sandbox_wait_for 10 not sandbox_overlay_visible
else
  check_skip "the band's geometry and its hiding after the reports stop"
fi

# A real MPRIS player playing into the private sound server: live audio moves the bars.
if check "the player plays" sandbox_start_player &&
  check "the overlay appears for the playing player" sandbox_wait_for 10 sandbox_overlay_visible; then
  sleep 2  # live frames arrive
  id=$(sandbox_overlay_window)
  if check "the overlay can be captured" sandbox_window_image "$id" "$work/a.png" &&
    sleep 0.5 && check "the overlay can be captured again" sandbox_window_image "$id" "$work/b.png"; then
    check "successive frames differ (live audio)" images_differ "$work/a.png" "$work/b.png"
  fi
  check "the application records the default output's monitor" records_monitor
  timeout 5 playerctl -p mpv pause
  check "pausing hides the overlay" sandbox_wait_for 5 not sandbox_overlay_visible
else
  check_skip "live frames and pausing"
fi

# A player outside the catalogue raises the overlay too, and is listed under Other Players.
if check "mpv plays under its own name" start_plain_mpv; then
  check "the overlay appears for mpv" sandbox_wait_for 5 sandbox_overlay_visible
  check "mpv is remembered as another player" sandbox_wait_for 3 sh -c "grep -q 'mpv|1|' '$settings_file'"
  timeout 5 playerctl -p "mpv.instance$plain_mpv" pause
  check "pausing mpv hides the overlay" sandbox_wait_for 5 not sandbox_overlay_visible
else
  check_skip "a player outside the catalogue"
fi

# A setting changed in the settings window persists across a restart. The window opens at
# launch on the Players tab with its tab bar focused; the player switches follow in order
# (four desktop players, then Spotify Web and YouTube), and Space toggles the focused one.
window=$(sandbox_settings_window)
if check "the settings window opens at launch" test -n "$window"; then
  timeout 5 xdotool windowfocus --sync "$window"
  timeout 5 xdotool key --delay 50 Tab Tab Tab Tab Tab Tab Tab space
  check "switching YouTube off is saved" sandbox_wait_for 3 lacks_youtube
  echo "#    enabled players: $(enabled_players)"
  # On past QQ Music Web and the extension's set-up button to the first of the Other
  # Players: mpv.
  timeout 5 xdotool key --delay 50 Tab Tab Tab space
  check "switching mpv off is saved" sandbox_wait_for 3 mpv_switched_off
  echo "#    other players: $(other_players)"
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
timeout 10 "$app" >>"$work/logs/second.log" 2>&1
check "a launch by the user presents it" sandbox_wait_for 3 settings_shown
check "a report from YouTube is accepted" test "$(bridge_report youtube e2e-youtube true)" = 204
sleep 3  # longer than a Spotify Web report below takes to show the overlay
check "YouTube, switched off, shows no overlay" not sandbox_overlay_visible
start=$SECONDS
check "a report from Spotify Web is accepted" test "$(bridge_report spotifyWeb e2e-spotify true)" = 204
check "Spotify Web, still on, shows the overlay" sandbox_wait_for 5 sandbox_overlay_visible
echo "#    shown after $((SECONDS - start)) s"

# A second launch hands over to the running instance, exits at once and the first instance
# presents its settings window again: after the window was closed, and after it was minimised.
for hide in close minimise; do
  window=$(sandbox_settings_window)
  if ! check "the settings window is shown before it is ${hide}d" test -n "$window"; then
    check_skip "a second launch after the window was ${hide}d"; continue
  fi
  timeout 5 "$here/x11_window.py" "$hide" "$window"
  check "the settings window is gone once ${hide}d" sandbox_wait_for 3 not settings_shown ||
    { check_skip "a second launch after the window was ${hide}d"; continue; }
  start=$SECONDS
  timeout 10 "$app" >>"$work/logs/second.log" 2>&1
  status=$?
  check "a second launch exits with status 0" test $status -eq 0
  check "a second launch exits within 5 s" test $((SECONDS - start)) -le 5
  check "the first instance still runs" sandbox_running "$sandbox_app_pid"
  check "the settings window is presented again" sandbox_wait_for 3 settings_shown
done

# SIGTERM ends the application through its termination order with status 0.
stop_app
finish
