# A private sound server for the capture benchmarks, with the null sink "out" as its default
# sink: PulseAudio, or PipeWire as desktops run it (a session bus, the daemon, WirePlumber and
# pipewire-pulse). Source this file, then call
#   private_sound_server_start TMP pulseaudio|pipewire
# TMP gets run/ (XDG_RUNTIME_DIR) and server.log; HOME, XDG_CONFIG_HOME and PULSE_SERVER are
# exported for the clients. Every process started is appended to the array
# private_sound_server_pids, for the caller's clean-up to end.

private_sound_server_pids=()

private_sound_server_start() {
  local tmp=$1 server=$2
  mkdir -m 700 -p "$tmp/run"
  _private_service() {
    env HOME="$tmp" XDG_RUNTIME_DIR="$tmp/run" XDG_CONFIG_HOME="$tmp/config" "$@" >>"$tmp/server.log" 2>&1 &
    private_sound_server_pids+=($!)
  }
  case $server in
    pulseaudio)
      _private_service pulseaudio --daemonize=no --system=no --exit-idle-time=-1 -n --use-pid-file=no \
        --load="module-null-sink sink_name=out" \
        --load="module-native-protocol-unix socket=$tmp/native auth-anonymous=1"
      export PULSE_SERVER=unix:$tmp/native ;;
    pipewire)
      export DBUS_SESSION_BUS_ADDRESS=unix:path=$tmp/run/bus
      _private_service dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"; sleep 0.3
      _private_service pipewire; sleep 0.3
      _private_service wireplumber
      _private_service pipewire-pulse
      export PULSE_SERVER=unix:$tmp/run/pulse/native ;;
    *) echo "unknown server $server (pulseaudio or pipewire)" >&2; return 2 ;;
  esac
  export HOME=$tmp XDG_CONFIG_HOME=$tmp/config
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
  [ "$server" = pipewire ] && pactl load-module module-null-sink sink_name=out >/dev/null
  for _ in $(seq 100); do [ "$(pactl get-default-sink)" = out ] && break; sleep 0.05; done
  pactl info | grep "Server Name"
}
