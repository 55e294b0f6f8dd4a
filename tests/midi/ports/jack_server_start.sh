#!/bin/sh
# Starts a private JACK server on the dummy driver (no sound card needed) for
# the tests, and waits until it accepts clients.
#   jack_server_start.sh <pid file> <server name> <log file>
# The tests reach it through JACK_DEFAULT_SERVER=<server name>, with
# JACK_NO_START_SERVER=1 so that no client ever starts a server of its own.
set -eu
pid_file=$1
server=$2
log=$3
export JACK_DEFAULT_SERVER="$server"
export JACK_NO_START_SERVER=1

# A server left running by an interrupted run of this build is ours to stop:
# the pid file names it, and its command line names this server.
if [ -f "$pid_file" ]; then
  old=$(cat "$pid_file")
  if [ -n "$old" ] && tr '\0' ' ' <"/proc/$old/cmdline" 2>/dev/null | grep -q -- "-n $server "; then
    kill "$old" 2>/dev/null || true
    sleep 1
  fi
  rm -f "$pid_file"
fi

# Its output goes to the log, not to CTest's pipe, which would otherwise stay
# open as long as the server runs.
jackd --no-realtime -n "$server" -d dummy -r 44100 -p 256 </dev/null >"$log" 2>&1 &
echo $! >"$pid_file"

if ! jack_wait -w -t 10 >/dev/null 2>&1; then
  echo "jack_server_start: the JACK server '$server' did not come up; its log:" >&2
  cat "$log" >&2
  kill "$(cat "$pid_file")" 2>/dev/null || true
  rm -f "$pid_file"
  exit 1
fi
