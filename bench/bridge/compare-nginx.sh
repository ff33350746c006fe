#!/usr/bin/env bash
# Throughput of the bridge beside nginx (one worker, "return 204", keep-alive off) under the same
# wrk load of valid reports with "Connection: close", both on loopback, in one run. While wrk
# floods the bridge, the bridge_load driver takes a snapshot every 5 ms from another thread and
# prints the latency percentiles of that synchronous call.
# The two servers take turns for several rounds (the machine may be shared), and the median of
# each is printed at the end.
# Usage: bench/bridge/compare-nginx.sh BUILD_DIR [seconds] [connections] [rounds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../scripts/install-deps" bench  # nginx and wrk
build=${1:?build directory with bench/bridge/bridge_load}
seconds=${2:-5}
connections=${3:-32}
rounds=${4:-3}
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

run() {  # name port -> prints one line, appends the rate to $tmp/NAME.rates
  local out rate
  out=$(wrk -t1 -c"$connections" -d"${seconds}s" -s "$here/post.lua" "http://127.0.0.1:$2/playback")
  rate=$(awk '/Requests\/sec/{print $2}' <<<"$out")
  echo "$rate" >> "$tmp/$1.rates"
  printf '%-7s %10s req/s  latency avg %s\n' "$1" "$rate" "$(awk '/Latency/{print $2; exit}' <<<"$out")"
  grep -E 'Non-2xx|Socket errors' <<<"$out" | sed 's/^/        /' || true
}
median() { sort -n "$1" | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/$nginx_port) 2>/dev/null && break; sleep 0.1; done
echo "wrk -t1 -c$connections -d${seconds}s, POST /playback with Connection: close, $rounds rounds"
for round in $(seq "$rounds"); do
  echo "round $round"
  run nginx "$nginx_port"
  # A fresh bridge each round, probed by the driver for exactly the flood's duration.
  "$driver" serve "$seconds" 0 > "$tmp/driver.out" &
  driver_pid=$!
  for _ in $(seq 50); do grep -q '^port ' "$tmp/driver.out" 2>/dev/null && break; sleep 0.1; done
  run bridge "$(awk '/^port /{print $2}' "$tmp/driver.out")"
  wait "$driver_pid"
  driver_pid=""
  grep -v '^port ' "$tmp/driver.out" | sed 's/^/        during the flood: /'
done
nginx_median=$(median "$tmp/nginx.rates")
bridge_median=$(median "$tmp/bridge.rates")
printf 'median: nginx %s req/s, bridge %s req/s, bridge/nginx = %s\n' "$nginx_median" "$bridge_median" \
  "$(awk -v b="$bridge_median" -v n="$nginx_median" 'BEGIN {printf "%.2f", b / n}')"
