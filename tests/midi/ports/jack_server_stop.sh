#!/bin/sh
# Stops the JACK server that jack_server_start.sh started, by the pid it recorded.
#   jack_server_stop.sh <pid file>
set -eu
pid_file=$1
[ -f "$pid_file" ] || exit 0
pid=$(cat "$pid_file")
rm -f "$pid_file"
[ -n "$pid" ] || exit 0
kill "$pid" 2>/dev/null || exit 0
# Wait for it to go (up to 5 s), then insist. A zombie has gone: whoever
# adopted it reaps it.
i=0
while kill -0 "$pid" 2>/dev/null; do
  state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -c1)
  [ "$state" = Z ] && break
  i=$((i + 1))
  if [ "$i" -gt 50 ]; then
    kill -9 "$pid" 2>/dev/null || true
    break
  fi
  sleep 0.1
done
