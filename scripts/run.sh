#!/usr/bin/env bash
# Installs what is missing, builds, and starts the client; first the local service (a
# private XMPP server, the web endpoint, the search bot, a demo contact and a tile server
# with an offline world map, all on 127.0.0.1), unless a server of the user's own is set in
# the client's settings or --no-local-service is given. The service stops when the client
# ends. Other arguments go to the client.
#
# LUMORA_TILE_ARGS   arguments for the offline map's maker (make_tiles.py), e.g. fewer levels
set -euo pipefail
cd "$(dirname "$0")/.."

local_service=1
client_args=()
for arg in "$@"; do
    case "$arg" in
        --no-local-service) local_service=0 ;;
        *) client_args+=("$arg") ;;
    esac
done

bash scripts/install-deps.sh
bash scripts/build.sh build

CLIENT=build/bin/Lumora
SERVICE=service/lumora-local-service
SETTINGS=build/bin/lumora-local-settings
export LUMORA_SERVICE_BIN="$PWD/build/bin"
DATA="${XDG_DATA_HOME:-$HOME/.local/share}/Lumora"

# Starts the local service and points the client at it; false when the client should
# start alone.
start_local_service() {
    local CA_FILE STATE XMPP_PORT WEB_PORT TILE_PORT own rc=0
    eval "$("$SERVICE" env)"
    own="$("$SETTINGS" check --cafile "$CA_FILE")" || rc=$?
    if [ "$rc" -eq 3 ]; then
        echo "run: your own server (${own#own server }) is set in the client's settings;" \
            "the local service is not started."
        return 1
    fi
    if ! "$SERVICE" start; then
        echo "run: the local service did not start; the client starts alone."
        return 1
    fi
    # shellcheck disable=SC2086
    "$SERVICE" tiles ${LUMORA_TILE_ARGS:-} ||
        echo "run: the offline world map is not complete; the map shows what there is."
    eval "$("$SERVICE" env)"
    "$SETTINGS" apply --cafile "$CA_FILE" --xmpp-port "$XMPP_PORT" --web-port "$WEB_PORT" \
        --tile-port "$TILE_PORT" >/dev/null ||
        echo "run: the client's settings could not be pointed at the local service."
    echo "run: the client signs in to the local service; its data is in $DATA"
    return 0
}

if [ "$local_service" -eq 1 ] && start_local_service; then
    "$CLIENT" "${client_args[@]}" &
    client=$!
    trap 'kill -TERM "$client" 2>/dev/null || true' INT TERM
    "$SERVICE" attach "$client"
    status=0
    wait "$client" || status=$?
    # wait returns early when a signal arrives; the client is waited for again.
    while kill -0 "$client" 2>/dev/null; do
        wait "$client" || status=$?
    done
    "$SERVICE" detach "$client"
    exit "$status"
fi
echo "run: the client starts alone; its data is in $DATA"
exec "$CLIENT" "${client_args[@]}"
