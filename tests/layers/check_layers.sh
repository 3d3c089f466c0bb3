#!/usr/bin/env bash
# Fails when a source file includes across a forbidden layer edge.
# Usage: check_layers.sh [source-root]
set -uo pipefail
ROOT="${1:-$(cd "$(dirname "$0")/../.." && pwd)}"
cd "$ROOT" || exit 2

# Project folders each layer may include (besides its own).
declare -A ALLOWED=(
    [kestra]="kestra"
    [platform]="kestra platform"
    [client/locale]="kestra"
    [client/graphics]="kestra"
    [client/maps]="kestra platform client/locale client/graphics client/maps"
    [client/contacts]="kestra platform client/locale client/maps"
    [client/gps]="kestra platform client/locale client/maps"
    [client/messaging]="kestra platform client/locale client/maps client/contacts"
    [client/drawing]="kestra client/graphics"
    [client/view]="kestra platform client/locale client/graphics client/maps client/contacts"
    [client/app]="kestra platform client/locale client/graphics client/maps client/contacts client/gps client/messaging client/view client/drawing"
    [client/gui]="kestra platform client"
    [update]="kestra platform update"
)

# External headers by kind.
QT='^(Q[A-Za-z0-9_]*|Qt[A-Za-z]*/.*)$'
GLOOX='^gloox/'
CURL='^curl/'
OS='^(unistd\.h|fcntl\.h|termios\.h|pthread\.h|spawn\.h|signal\.h|poll\.h|pwd\.h|dirent\.h|sys/.*|openssl/.*|gps\.h|libgpsmm\.h)$'
ZIP='^(unzip\.h|zip\.h|ioapi\.h|minizip/.*|zlib\.h)$'

failures=0
report() {
    echo "forbidden include: $1: $2 ($3)"
    failures=$((failures + 1))
}

layer_of() {
    case "$1" in
        kestra/*) echo kestra ;;
        platform/*) echo platform ;;
        client/*/*) echo "$(echo "$1" | cut -d/ -f1-2)" ;;
        update/*) echo update ;;
        *) echo "" ;;
    esac
}

while IFS= read -r file; do
    layer=$(layer_of "$file")
    [ -n "$layer" ] || continue
    allowed="${ALLOWED[$layer]:-}"
    if [ -z "$allowed" ]; then
        report "$file" "(whole folder)" "unknown layer $layer"
        continue
    fi
    while IFS= read -r header; do
        quoted=${header#\"}
        if [ "$quoted" != "$header" ]; then
            target=${quoted%\"}
            ok=0
            case "$target" in */*) ;; *) ok=1 ;; esac  # a file beside this one
            for prefix in $allowed "$layer"; do
                case "$target" in "$prefix"/*) ok=1 ;; esac
            done
            [ $ok -eq 1 ] || report "$file" "$target" "$layer may not include it"
            continue
        fi
        target=${header#<}
        target=${target%>}
        case "$layer" in
            kestra)
                if [[ "$target" =~ $QT || ( "$target" == *.* && "$target" != boost/* &&
                      "$target" != pugixml.hpp ) ]]; then
                    report "$file" "$target" "kestra uses std, pugixml and Boost only"
                fi
                ;;
            platform)
                [[ "$target" =~ $QT || "$target" =~ $GLOOX || "$target" =~ $ZIP ]] &&
                    report "$file" "$target" "not in the platform layer"
                ;;
            client/gui)
                [[ "$target" =~ $GLOOX || "$target" =~ $CURL || "$target" =~ $OS ]] &&
                    report "$file" "$target" "not in the GUI shell"
                ;;
            client/drawing)
                [[ "$target" =~ $GLOOX || "$target" =~ $CURL || "$target" =~ $OS ]] &&
                    report "$file" "$target" "not in the drawing layer"
                [[ "$target" =~ ^QtWidgets/ || "$target" =~ ^Q(Widget|MainWindow|Dialog|Application)$ ]] &&
                    report "$file" "$target" "the drawing layer uses Qt Gui only"
                ;;
            client/messaging)
                [[ "$target" =~ $QT || "$target" =~ $CURL || "$target" =~ $OS || "$target" =~ $ZIP ]] &&
                    report "$file" "$target" "logic reaches the OS through platform/"
                ;;
            update)
                [[ "$target" =~ $QT || "$target" =~ $GLOOX || "$target" =~ $CURL || "$target" =~ $OS ]] &&
                    report "$file" "$target" "not in the updater"
                ;;
            *)
                [[ "$target" =~ $QT || "$target" =~ $GLOOX || "$target" =~ $CURL || "$target" =~ $OS || "$target" =~ $ZIP ]] &&
                    report "$file" "$target" "logic reaches the OS through platform/"
                ;;
        esac
    done < <(sed -n -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"][^>"]+[>"]).*/\1/p' "$file")
done < <(find kestra platform client update -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) 2>/dev/null | sort)

if [ $failures -gt 0 ]; then
    echo "$failures forbidden include(s)."
    exit 1
fi
echo "layers: every include points along an allowed edge."
