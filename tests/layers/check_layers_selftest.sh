#!/usr/bin/env bash
# The layer check must reject a forbidden include and accept an allowed one.
set -uo pipefail
CHECK="$(cd "$(dirname "$0")" && pwd)/check_layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/kestra" "$tree/client/maps" "$tree/client/gui"
printf '#include <string>\n#include "kestra/Log.h"\n' > "$tree/kestra/A.h"
printf '#include "client/maps/B.h"\n#include <QImage>\n' > "$tree/client/gui/G.cpp"
printf '#include "kestra/Log.h"\n' > "$tree/client/maps/B.h"
"$CHECK" "$tree" >/dev/null || { echo "an allowed tree was rejected"; exit 1; }

expect_rejected() {
    printf '%s\n' "$2" > "$tree/$1"
    if "$CHECK" "$tree" >/dev/null; then
        echo "not rejected: $1 with $2"; exit 1
    fi
    rm "$tree/$1"
}
expect_rejected kestra/Bad.h '#include <QString>'
expect_rejected kestra/Bad.h '#include <unistd.h>'
expect_rejected kestra/Bad.h '#include "platform/AppFolders.h"'
expect_rejected client/maps/Bad.cpp '#include <curl/curl.h>'
expect_rejected client/maps/Bad.cpp '#include <QImage>'
expect_rejected client/maps/Bad.cpp '#include <gloox/client.h>'
expect_rejected client/maps/Bad.cpp '#include "client/app/ApplicationManager.h"'
expect_rejected client/maps/Bad.cpp '  #  include <sys/socket.h>'
expect_rejected client/gui/Bad.cpp '#include <gloox/client.h>'
mkdir -p "$tree/client/graphics" "$tree/client/view"
expect_rejected client/graphics/Bad.h '#include <QImage>'
expect_rejected client/view/Bad.cpp '#include "client/drawing/QtImageFactory.h"'
mkdir -p "$tree/update"
expect_rejected update/Bad.cpp '#include "client/maps/B.h"'
echo "layer check self-test passed."
