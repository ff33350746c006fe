# Integration script checks, one "ok/FAIL/skip - what" line each; end with check_finish. The
# check named in check_known_failure fails as "todo" without counting.

check_failures=0
check_known_failure=""

check() {  # description, command...: the command's status is the check's
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; return 0; fi
  if [ -n "$check_known_failure" ] && [ "$what" = "$check_known_failure" ]; then
    echo "todo - $what"
  else
    echo "FAIL - $what"; check_failures=$((check_failures + 1))
  fi
  return 1
}

# Inverts a command's status, for check and sandbox_wait_for, which take a command.
not() { ! "$@"; }

check_skip() { echo "skip - $1 (an earlier step failed)"; }

# Exits with the number of failed checks; when some failed, first shows the end of each log named.
check_finish() {
  local log
  if [ $check_failures -gt 0 ]; then
    for log in "$@"; do [ -f "$log" ] && { echo "--- $log"; tail -40 "$log"; }; done
  fi
  exit $check_failures
}

# Posts a playback report (source, page id, playing flag) to the bridge; prints the HTTP status.
bridge_report() {
  curl -s --max-time 3 -o /dev/null -w '%{http_code}' -X POST "http://127.0.0.1:43828/playback" \
    -H 'X-Sonavista-Connector: 1' -H 'Content-Type: application/json' \
    -d "{\"source\":\"$1\",\"pageId\":\"$2\",\"playing\":${3:-true},\"volume\":0.8}"
}

# Pixels that differ between two images (within W H X Y if given; by more than $changed_fuzz).
changed_pixels() {
  local a=$1 b=$2
  [ $# -ge 6 ] && a="$1[$3x$4+$5+$6]" b="$2[$3x$4+$5+$6]"
  timeout 20 compare -fuzz "${changed_fuzz:-0}" -metric AE "$a" "$b" null: 2>&1 | awk '{printf "%d", $1}'  # large counts come as 2.0736e+06
}
