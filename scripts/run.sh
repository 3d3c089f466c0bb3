#!/usr/bin/env bash
# Installs what is missing, builds, and starts the client; first the local service (a
# private XMPP server, the web endpoint, the search bot, a demo contact and a tile server
# with an offline world map, all on 127.0.0.1), unless a server of the user's own is set in
# the client's settings or --no-local-service is given. The service stops when the client
# ends. Other arguments go to the client. The control script's "run" does the starting, as
# it does for an installed client (docs/packaging.md).
#
# LUMORA_TILE_ARGS   arguments for the offline map's maker (make_tiles.py), e.g. fewer levels
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh build

export LUMORA_SERVICE_BIN="$PWD/build/bin"
export LUMORA_CLIENT="$PWD/build/bin/Lumora"
exec service/lumora-local-service run "$@"
