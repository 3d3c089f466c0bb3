#!/usr/bin/env bash
# Fails when a source breaks the layers of docs/architecture.md (see check_layers.py).
# Usage: check_layers.sh [source-root [build-dir]]
set -uo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="${1:-$(cd "$HERE/../.." && pwd)}"
shift || true
exec python3 "$HERE/check_layers.py" "$ROOT" "$@"
