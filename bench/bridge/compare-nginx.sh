#!/usr/bin/env bash
# Throughput of the bridge beside nginx (one worker, "return 204", keep-alive off) under the same
# wrk load of valid reports with "Connection: close", both on loopback, in one run. While wrk
# floods the bridge, the bridge_load driver takes a snapshot every 5 ms from another thread and
# prints the latency percentiles of that synchronous call.
# Usage: bench/bridge/compare-nginx.sh BUILD_DIR [seconds] [connections]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?build directory with bench/bridge/bridge_load}
seconds=${2:-5}
connections=${3:-32}
driver=$build/bench/bridge/bridge_load
tmp=$(mktemp -d)
nginx_pid=""
driver_pid=""
cleanup() {
  [ -n "$driver_pid" ] && kill "$driver_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

nginx_port=$(free_port)
mkdir -p "$tmp/nginx/logs"
cat > "$tmp/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $tmp/nginx/nginx.pid;
error_log $tmp/nginx/logs/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $tmp/nginx/body;
  server {
    listen 127.0.0.1:$nginx_port;
    keepalive_timeout 0;
    location / { return 204; }
  }
}
CONF
nginx -p "$tmp/nginx" -c "$tmp/nginx/nginx.conf" &
nginx_pid=$!

run() {  # name port
  local out
  out=$(wrk -t1 -c"$connections" -d"${seconds}s" -s "$here/post.lua" "http://127.0.0.1:$2/playback")
  printf '%-7s %10s req/s  latency avg %s\n' "$1" "$(awk '/Requests\/sec/{print $2}' <<<"$out")" \
    "$(awk '/Latency/{print $2; exit}' <<<"$out")"
  grep -E 'Non-2xx|Socket errors' <<<"$out" | sed 's/^/        /' || true
}

for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/$nginx_port) 2>/dev/null && break; sleep 0.1; done
echo "wrk -t1 -c$connections -d${seconds}s, POST /playback with Connection: close"
# nginx first, then the bridge while the driver probes it for exactly the flood's duration.
run nginx "$nginx_port"
"$driver" serve "$seconds" 0 > "$tmp/driver.out" &
driver_pid=$!
for _ in $(seq 50); do grep -q '^port ' "$tmp/driver.out" 2>/dev/null && break; sleep 0.1; done
bridge_port=$(awk '/^port /{print $2}' "$tmp/driver.out")
run bridge "$bridge_port"
wait "$driver_pid"
driver_pid=""
grep -v '^port ' "$tmp/driver.out" | sed 's/^/during the bridge flood: /'
