#!/bin/bash
# Stops the ejabberd that start.sh started in RUN_DIR, and its watchdog.
#   stop.sh RUN_DIR
# SIGTERM lets the VM shut down in order; after EJ_STOP_TIMEOUT seconds
# (default 15) it is killed. The spool is thrown away by the next start anyway.
set -u
RUN_DIR="${1:?usage: stop.sh RUN_DIR}"
[ -d "$RUN_DIR" ] || exit 0
RUN_DIR="$(cd "$RUN_DIR" && pwd)"
TIMEOUT="${EJ_STOP_TIMEOUT:-15}"

WATCHDOG="$RUN_DIR/watchdog.pid"
if [ -f "$WATCHDOG" ]; then
    wpid="$(cat "$WATCHDOG")"
    # The watchdog is its own process group (setsid); ending the group ends its sleep.
    # Never signal the caller itself (the watchdog runs this script when it fires).
    if [ "$wpid" != "$$" ] && [ "$wpid" != "$PPID" ] && kill -0 "$wpid" 2>/dev/null \
        && grep -q "stop.sh" "/proc/$wpid/cmdline" 2>/dev/null; then
        kill -TERM -- "-$wpid" 2>/dev/null
    fi
    rm -f "$WATCHDOG"
fi

PIDFILE="$RUN_DIR/ejabberd.pid"
[ -f "$PIDFILE" ] || exit 0
PID="$(cat "$PIDFILE")"
# Make sure the PID is still our VM (a PID can be reused after a crash).
if ! kill -0 "$PID" 2>/dev/null || ! grep -q "$RUN_DIR/spool" "/proc/$PID/cmdline" 2>/dev/null; then
    rm -f "$PIDFILE"
    exit 0
fi
kill -TERM "$PID"
for _ in $(seq 1 $((TIMEOUT * 10))); do
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$PID" 2>/dev/null; then
    echo "stop.sh: pid $PID still alive after ${TIMEOUT}s, killing it" >&2
    kill -KILL "$PID"
    sleep 0.2
fi
rm -f "$PIDFILE"
echo "ejabberd stopped (pid $PID)"
