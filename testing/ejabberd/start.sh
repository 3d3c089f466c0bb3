#!/bin/bash
# Starts a private, loopback-only ejabberd for the integration tests, without
# systemd, ejabberdctl or Erlang distribution (no epmd, no cookie), so several
# can run side by side and the distribution's own service is never touched.
#
#   start.sh RUN_DIR
#
# RUN_DIR receives etc/ (config, test CA, server certificate), spool/ (a fresh
# mnesia database), log/, ejabberd.pid, watchdog.pid and "port" (the c2s port
# on 127.0.0.1 that was taken).
#
# Environment:
#   EJ_PORT      c2s port; empty or 0 picks a free one (default)
#   EJ_DOMAIN    XMPP domain (default localhost)
#   EJ_TIMEOUT   seconds to wait for the first XMPP answer (default 60)
#   EJ_LIFETIME  seconds after which a watchdog stops the server even when
#                nobody called stop.sh (default 3600)
set -u
HERE="$(cd "$(dirname "$0")" && pwd)"
RUN_DIR="${1:?usage: start.sh RUN_DIR}"
DOMAIN="${EJ_DOMAIN:-localhost}"
TIMEOUT="${EJ_TIMEOUT:-60}"
LIFETIME="${EJ_LIFETIME:-3600}"
EJ_LIB=/usr/lib/x86_64-linux-gnu
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3

if [ ! -x /usr/bin/erl ] || ! ls -d "$EJ_LIB"/ejabberd-* >/dev/null 2>&1; then
    echo "start.sh: ejabberd is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
fi

mkdir -p "$RUN_DIR" || exit 1
RUN_DIR="$(cd "$RUN_DIR" && pwd)"
PIDFILE="$RUN_DIR/ejabberd.pid"
# A server left running in this folder by an interrupted test run is stopped first.
if [ -f "$PIDFILE" ] && kill -0 "$(cat "$PIDFILE")" 2>/dev/null; then
    echo "start.sh: stopping the server left running in $RUN_DIR (pid $(cat "$PIDFILE"))"
    "$HERE/stop.sh" "$RUN_DIR" || exit 2
fi
rm -rf "$RUN_DIR/spool" "$RUN_DIR/port"
mkdir -p "$RUN_DIR/etc" "$RUN_DIR/spool" "$RUN_DIR/log"

# A test CA and a server certificate for the domain (and its components)
# signed by it. Clients trust the server only when they are given ca.crt.
ETC="$RUN_DIR/etc"
if [ ! -s "$ETC/server.pem" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Lumora test CA" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$ETC/ca.key" -out "$ETC/ca.crt" 2>/dev/null || exit 1
    openssl req -newkey rsa:2048 -nodes -subj "/CN=$DOMAIN" \
        -keyout "$ETC/server.key" -out "$ETC/server.csr" 2>/dev/null || exit 1
    printf 'subjectAltName=DNS:%s,DNS:*.%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
        "$DOMAIN" "$DOMAIN" > "$ETC/server.ext"
    openssl x509 -req -in "$ETC/server.csr" -CA "$ETC/ca.crt" -CAkey "$ETC/ca.key" \
        -CAcreateserial -days 3650 -extfile "$ETC/server.ext" -out "$ETC/server.crt" 2>/dev/null || exit 1
    cat "$ETC/server.crt" "$ETC/server.key" > "$ETC/server.pem"
    chmod 600 "$ETC/server.pem" "$ETC/server.key" "$ETC/ca.key"
fi

free_port() {
    "$PYTHON" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}
port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Waits until the c2s port answers a stream header with <stream:features>.
wait_ready() {
    "$PYTHON" - "$1" "$DOMAIN" "$TIMEOUT" "$2" <<'PYEOF'
import socket, sys, time, os
port, domain, timeout, pid = int(sys.argv[1]), sys.argv[2], float(sys.argv[3]), int(sys.argv[4])
deadline = time.time() + timeout
while time.time() < deadline:
    try:
        os.kill(pid, 0)
    except OSError:
        sys.exit(1)
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=2)
        s.sendall(("<?xml version='1.0'?><stream:stream to='%s' xmlns='jabber:client' "
                   "xmlns:stream='http://etherx.jabber.org/streams' version='1.0'>" % domain).encode())
        buf = b""
        while b"</stream:features>" not in buf:
            d = s.recv(4096)
            if not d:
                break
            buf += d
        s.close()
        if b"</stream:features>" in buf:
            sys.exit(0)
    except OSError:
        pass
    time.sleep(0.1)
sys.exit(1)
PYEOF
}

start_on() {
    local port="$1"
    sed -e "s|@PORT@|$port|" -e "s|@DOMAIN@|$DOMAIN|" -e "s|@CERTFILE@|$ETC/server.pem|" \
        "$HERE/ejabberd.yml" > "$ETC/ejabberd.yml"
    rm -rf "$RUN_DIR/spool"; mkdir -p "$RUN_DIR/spool"
    (
        cd "$RUN_DIR/spool" || exit 1
        # setsid: a Ctrl-C of the test runner does not reach the VM; stop.sh stops it.
        EJABBERD_CONFIG_PATH="$ETC/ejabberd.yml" \
        EJABBERD_LOG_PATH="$RUN_DIR/log/ejabberd.log" \
        ERL_LIBS="$EJ_LIB" \
        ERL_CRASH_DUMP="$RUN_DIR/log/erl_crash.dump" \
        ERL_INETRC=/etc/ejabberd/inetrc \
        HOME="$RUN_DIR" \
        exec setsid /usr/bin/erl -noinput -noshell +K true +P 250000 \
            -env ERL_CRASH_DUMP_BYTES 0 \
            -mnesia dir "\"$RUN_DIR/spool\"" \
            -s ejabberd </dev/null >"$RUN_DIR/log/erl.out" 2>&1
    ) &
    local pid=$!
    echo "$pid" > "$PIDFILE"
    if wait_ready "$port" "$pid"; then
        return 0
    fi
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
    rm -f "$PIDFILE"
    return 1
}

started=0
for attempt in 1 2 3 4 5; do
    PORT="${EJ_PORT:-0}"
    [ "$PORT" = 0 ] && PORT="$(free_port)"
    if port_busy "$PORT"; then
        [ "${EJ_PORT:-0}" != 0 ] && { echo "start.sh: 127.0.0.1:$PORT is in use" >&2; exit 3; }
        continue
    fi
    if start_on "$PORT"; then
        started=1
        break
    fi
    # A port taken between the check and the start makes the VM exit; try another.
    [ "${EJ_PORT:-0}" != 0 ] && break
    grep -q eaddrinuse "$RUN_DIR/log/"* 2>/dev/null || break
done
if [ $started -ne 1 ]; then
    echo "start.sh: ejabberd did not start; see $RUN_DIR/log/" >&2
    tail -20 "$RUN_DIR/log/erl.out" >&2 2>/dev/null
    exit 1
fi
echo "$PORT" > "$RUN_DIR/port"

# The watchdog ends a server that was left behind by a killed test run.
setsid bash -c "sleep $LIFETIME; exec \"$HERE/stop.sh\" \"$RUN_DIR\"" </dev/null >/dev/null 2>&1 &
echo $! > "$RUN_DIR/watchdog.pid"
echo "ejabberd up: pid $(cat "$PIDFILE"), xmpp://$DOMAIN on 127.0.0.1:$PORT, run folder $RUN_DIR"
