# Private desktop services for the demonstration and the end-to-end tests. Source this file,
# then call sandbox_start DIR; sandbox_stop ends everything sandbox_* started, newest first.
#
# DIR gets: home/ (HOME), config/ (XDG_CONFIG_HOME), run/ (XDG_RUNTIME_DIR), data/, cache/,
# bin/ (a copy of mpv named "spotify"), logs/ and music.wav.
# Started: Xvfb on a free display with picom (unless SANDBOX_COMPOSITOR=none), a D-Bus session
# bus, PulseAudio with a null sink "out" as the default sink. Nothing of the user's session is
# touched. Every X, D-Bus and sound-server client called here runs under `timeout`, so a wedged
# service fails a step instead of hanging the caller.

sandbox_pids=()

sandbox_log() { printf '[sandbox] %s\n' "$*" >&2; }

# Waits up to $1 seconds for the command after it to succeed.
sandbox_wait_for() {
  local seconds=$1; shift
  local end=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.1
  done
}

sandbox_start() {
  SANDBOX=$1
  mkdir -p "$SANDBOX"/{home,config,run,data,cache,bin,logs}
  chmod 700 "$SANDBOX/run"
  export HOME=$SANDBOX/home XDG_CONFIG_HOME=$SANDBOX/config XDG_RUNTIME_DIR=$SANDBOX/run
  export XDG_DATA_HOME=$SANDBOX/data XDG_CACHE_HOME=$SANDBOX/cache
  unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS PULSE_SERVER XDG_SESSION_TYPE XDG_CURRENT_DESKTOP

  # A display with a compositor, on the first free display number from 90.
  local n=90
  while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >"$SANDBOX/logs/xvfb.log" 2>&1 &
  sandbox_pids+=($!)
  export DISPLAY=":$n"
  sandbox_wait_for 10 timeout 2 xdpyinfo || { sandbox_log "Xvfb did not start"; return 1; }
  # SANDBOX_COMPOSITOR=none leaves compositing to the caller (a window manager of its own).
  if [ "${SANDBOX_COMPOSITOR:-picom}" != none ]; then
    picom --backend xrender --no-fading-openclose >"$SANDBOX/logs/picom.log" 2>&1 &
    sandbox_pids+=($!)
    sleep 1  # picom takes the compositing selection shortly after it starts
  fi

  # A private session bus.
  local address
  address=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 \
            --address="unix:path=$SANDBOX/run/bus" 2>"$SANDBOX/logs/dbus.log" | head -2 | tr '\n' ' ')
  export DBUS_SESSION_BUS_ADDRESS=$(echo "$address" | cut -d' ' -f1)
  sandbox_pids+=($(echo "$address" | cut -d' ' -f2))

  # A private sound server whose default sink is a null sink: PulseAudio, or PipeWire with
  # SANDBOX_SOUND=pipewire. With SANDBOX_SOUND=none, or with
  # SANDBOX_SOUND=optional and no PulseAudio installed (the demonstration on a machine set up by
  # scripts/run), there is none: the player plays into a null output and the application hears
  # nothing.
  sandbox_sound=1
  if [ "${SANDBOX_SOUND:-required}" = none ] ||
     { [ "${SANDBOX_SOUND:-required}" = optional ] && ! command -v pulseaudio >/dev/null; }; then
    sandbox_sound=0
    sandbox_log "running without a sound server (PulseAudio is not installed or not wanted)"
  elif [ "${SANDBOX_SOUND:-required}" = pipewire ]; then
    # PipeWire as desktops run it: the daemon, the WirePlumber session manager and the
    # PulseAudio protocol server, all on the private bus and runtime directory.
    local daemon
    for daemon in pipewire wireplumber pipewire-pulse; do
      "$daemon" >>"$SANDBOX/logs/$daemon.log" 2>&1 &
      sandbox_pids+=($!)
      [ "$daemon" = pipewire ] && sandbox_wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0"
    done
    sandbox_wait_for 10 timeout 2 pactl info || { sandbox_log "pipewire-pulse does not answer"; return 1; }
    timeout 5 pactl load-module module-null-sink sink_name=out >/dev/null
    sandbox_wait_for 10 sh -c 'timeout 2 pactl list short sinks | grep -q "^[0-9]*[[:space:]]out[[:space:]]"'
    timeout 5 pactl set-default-sink out
  else
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes \
      --load="module-null-sink sink_name=out" --load="module-native-protocol-unix" \
      --log-target=file:"$SANDBOX/logs/pulse.log" 2>>"$SANDBOX/logs/pulse.log" || { sandbox_log "pulseaudio failed"; return 1; }
    sandbox_wait_for 10 timeout 2 pactl info || { sandbox_log "pulseaudio does not answer"; return 1; }
    timeout 5 pactl set-default-sink out
    sandbox_pids+=($(cat "$XDG_RUNTIME_DIR/pulse/pid"))
  fi

  # Generated music: a chord pattern over a kick drum, 16 s, looped by the player.
  sox -n -r 48000 -c 2 -b 16 "$SANDBOX/chords.wav" synth 2 pluck C3 pluck E3 pluck G3 pluck C4 \
      : synth 2 pluck A2 pluck C3 pluck E3 pluck A3 : synth 2 pluck F2 pluck A2 pluck C3 pluck F3 \
      : synth 2 pluck G2 pluck B2 pluck D3 pluck G3 repeat 1 gain -3 2>/dev/null
  sox -n -r 48000 -c 2 -b 16 "$SANDBOX/kick.wav" synth 0.12 sine 120-40 fade 0 0.12 0.1 pad 0 0.38 \
      repeat 31 gain -2 2>/dev/null
  sox -m "$SANDBOX/chords.wav" "$SANDBOX/kick.wav" "$SANDBOX/music.wav" 2>/dev/null
  # The player is a copy of mpv named "spotify" so its process resolves to that player.
  cp /usr/bin/mpv "$SANDBOX/bin/spotify"
}

# Starts the MPRIS player on music.wav, playing into the null sink, or the sink named by
# SANDBOX_PLAYER_SINK (or a null output).
sandbox_start_player() {
  local output=(--ao=pulse "--audio-device=pulse/${SANDBOX_PLAYER_SINK:-out}")
  [ "$sandbox_sound" = 1 ] || output=(--ao=null)
  "$SANDBOX/bin/spotify" --no-config --no-video "${output[@]}" --loop=inf \
    --script=/usr/lib/mpv-mpris/mpris.so "$SANDBOX/music.wav" >"$SANDBOX/logs/player.log" 2>&1 &
  sandbox_player_pid=$!
  sandbox_pids+=($sandbox_player_pid)
  sandbox_wait_for 10 sh -c 'timeout 2 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.mpv \
    /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
    string:org.mpris.MediaPlayer2.Player string:PlaybackStatus | grep -q Playing'
}

# Answers 0 when nothing listens on TCP port $1 of 127.0.0.1; otherwise names the port and,
# when `ss` can tell, the process holding it.
sandbox_port_free() {
  local port=$1 holder=""
  if command -v ss >/dev/null 2>&1; then
    holder=$(timeout 5 ss -Hltnp "sport = :$port" 2>/dev/null | head -1 | tr -s ' ')
    [ -z "$holder" ] && return 0
  elif ! timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null; then
    return 0
  fi
  sandbox_log "TCP port 127.0.0.1:$port is already in use${holder:+ ($holder)}"
  return 1
}

# The process id listening on TCP port $1, when `ss` can tell; empty otherwise.
sandbox_port_owner() {
  timeout 5 ss -Hltnp "sport = :$1" 2>/dev/null | grep -o 'pid=[0-9]*' | head -1 | cut -d= -f2
}

# Starts the application ($1 = executable, then its arguments) with the sandbox's environment.
sandbox_start_app() {
  "$@" >>"$SANDBOX/logs/app.log" 2>&1 &
  sandbox_app_pid=$!
  sandbox_pids+=($sandbox_app_pid)
}

# Whether process $1 still runs (an exited child that was not yet waited for does not).
sandbox_running() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -n "$state" ] && [ "$state" != Z ]
}
sandbox_exited() { ! sandbox_running "$1"; }

# Drops process $1 from the processes sandbox_stop ends (it has ended already; its id may be
# reused by an unrelated process).
sandbox_forget() {
  local kept=() pid
  for pid in "${sandbox_pids[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
  sandbox_pids=("${kept[@]}")
}

# Ends the application with SIGTERM and answers its exit status. An application still running
# after $1 seconds (default 10) is killed, and the answer is then 124.
sandbox_stop_app() {
  local grace=${1:-10} status=0
  kill -TERM "$sandbox_app_pid" 2>/dev/null
  if ! sandbox_wait_for "$grace" sandbox_exited "$sandbox_app_pid"; then
    sandbox_log "the application ignored SIGTERM for ${grace} s; killing it"
    kill -KILL "$sandbox_app_pid" 2>/dev/null
    wait "$sandbox_app_pid" 2>/dev/null
    sandbox_forget "$sandbox_app_pid"
    return 124
  fi
  wait "$sandbox_app_pid" || status=$?
  sandbox_forget "$sandbox_app_pid"
  return $status
}

sandbox_overlay_visible() { timeout 5 xdotool search --onlyvisible --name '^Sonavista Overlay$' >/dev/null 2>&1; }
sandbox_overlay_window() { timeout 5 xdotool search --onlyvisible --name '^Sonavista Overlay$' 2>/dev/null | head -1; }
sandbox_settings_window() { timeout 5 xdotool search --onlyvisible --name '^Sonavista Settings$' 2>/dev/null | head -1; }

# Writes an image of window $1 (an X window id, or "root") to $2. Refuses an empty id: `import`
# would otherwise wait for a mouse click to choose the window.
sandbox_window_image() {
  [ -n "$1" ] || { sandbox_log "no window to take an image of"; return 1; }
  timeout 10 import -window "$1" "$2"
}

sandbox_screenshot() { sandbox_window_image root "$1"; }

# Prints "x y width height" of X window $1 as the server has it.
sandbox_window_geometry() {
  [ -n "$1" ] || return 1
  timeout 5 xwininfo -id "$1" |
    awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x, y, w, h}'
}

sandbox_stop() {
  local i
  for ((i = ${#sandbox_pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${sandbox_pids[i]}" 2>/dev/null || true
  done
  for ((i = ${#sandbox_pids[@]} - 1; i >= 0; i--)); do
    local pid=${sandbox_pids[i]} tries=0
    while sandbox_running "$pid" && [ $tries -lt 30 ]; do sleep 0.1; tries=$((tries + 1)); done
    kill -KILL "$pid" 2>/dev/null || true
  done
  sandbox_pids=()
}
