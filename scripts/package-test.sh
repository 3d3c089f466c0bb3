#!/usr/bin/env bash
# Builds the Debian package and tries it the way a new user would: installs it with apt
# into a fresh Debian 12 root (a debootstrap chroot), starts the client as a user through
# the desktop entry's command under Xvfb (the local service, its offline map and the
# client's first sign-in included), saves a screenshot of the screen, and removes the
# package again, checking that no file of it or made for it is left in the system folders.
# lintian checks the package first. Needs root (chroot, mounts) and Debian's mirror.
# Slow (the root and the first map take minutes): not part of scripts/test.sh.
#
#   bash scripts/package-test.sh [build folder]      (default: build)
#
# LUMORA_PACKAGE_CACHE  where the debootstrap tarball is kept, made once
#                       (default: ~/.cache/lumora-package-test)
# LUMORA_DEBIAN_MIRROR  the mirror (default: http://deb.debian.org/debian)
# LUMORA_TILE_ARGS      the offline map's levels for the first start (default: small)
#
# Results in <build folder>/package-test/: the package, lintian.txt, screenshot.png, the
# client's and the service's logs, files-left.txt (empty when the removal was clean).
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE="$PWD"
BUILD="$(realpath -m "${1:-build}")"
OUT="$BUILD/package-test"
CACHE="${LUMORA_PACKAGE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora-package-test}"
MIRROR="${LUMORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
TARBALL="$CACHE/bookworm-minbase-amd64.tgz"
TILE_ARGS="${LUMORA_TILE_ARGS:---roadmap-max 3 --satellite-max 2 --hybrid-max 2}"
USER_NAME=tester
USER_ID=4242
WAIT_SECONDS=900

say() { echo "package-test: $*"; }
fail() { echo "package-test: FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "run it as root (it makes a chroot and mounts into it)"
bash scripts/install-deps.sh

# --- the package ---------------------------------------------------------------------------
say "building the package in $BUILD"
# The package needs the programs only; the tests and benchmarks are not built for it.
cmake -S "$SOURCE" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target lumora-mobile LumoraUpdate lumora-service \
    lumora_searchbot lumora-demo-contact lumora-tiles lumora-local-settings lumora_package_files
rm -rf "$OUT"
mkdir -p "$OUT"
(cd "$BUILD" && cpack -G DEB -B "$OUT/cpack" >/dev/null)
DEB="$(ls "$OUT"/cpack/lumora_*.deb)"
cp "$DEB" "$OUT/"
DEB="$OUT/$(basename "$DEB")"
say "package $(basename "$DEB"):"
dpkg-deb --field "$DEB" Depends Recommends | sed 's/^/  /'

say "lintian"
lintian --info "$DEB" > "$OUT/lintian.txt" 2>&1 || true
sed 's/^/  /' "$OUT/lintian.txt"
if grep -q '^E: ' "$OUT/lintian.txt"; then
    fail "lintian reports errors (see $OUT/lintian.txt)"
fi

# --- a fresh Debian 12 root ----------------------------------------------------------------
if [ ! -s "$TARBALL" ]; then
    say "making the debootstrap tarball $TARBALL (once)"
    mkdir -p "$CACHE"
    rm -rf "$CACHE/work"
    debootstrap --variant=minbase --make-tarball="$TARBALL.part" bookworm "$CACHE/work" "$MIRROR"
    mv "$TARBALL.part" "$TARBALL"
    rm -rf "$CACHE/work"
fi
ROOT="$(mktemp -d /var/tmp/lumora-package-root.XXXXXX)"
chmod 755 "$ROOT"  # the test's user must reach into it
XVFB_PID=""
DISPLAY_NUMBER=""
cleanup() {
    local pid
    # Whatever still runs inside the root was started by this test.
    for pid in $(processes_in_root); do
        kill -KILL "$pid" 2>/dev/null || true
    done
    [ -z "$XVFB_PID" ] || kill -TERM "$XVFB_PID" 2>/dev/null || true
    for mount in tmp/.X11-unix var/cache/apt/archives dev/shm dev/pts dev proc sys; do
        mountpoint -q "$ROOT/$mount" 2>/dev/null && umount -l "$ROOT/$mount"
    done
    rm -rf "$ROOT"
}
processes_in_root() {
    local link pid
    for link in /proc/[0-9]*/root; do
        pid="${link#/proc/}"
        pid="${pid%/root}"
        [ "$(readlink "$link" 2>/dev/null)" = "$ROOT" ] && echo "$pid"
    done
    return 0
}
trap cleanup EXIT

say "unpacking a fresh Debian 12 root in $ROOT"
debootstrap --variant=minbase --unpack-tarball="$TARBALL" bookworm "$ROOT" "$MIRROR" \
    > "$OUT/debootstrap.log" 2>&1 || fail "debootstrap (see $OUT/debootstrap.log)"
mount -t proc proc "$ROOT/proc"
mount -t sysfs sys "$ROOT/sys"
mount --bind /dev "$ROOT/dev"
mount --bind /dev/pts "$ROOT/dev/pts"
# The bind of /dev does not carry the host's /dev/shm mount; the map maker's worker
# processes need a shared-memory folder that users may write.
mount -t tmpfs -o mode=1777 shm "$ROOT/dev/shm"
# Downloaded packages are kept for the next run beside the tarball.
mkdir -p "$CACHE/archives/partial" "$ROOT/var/cache/apt/archives"
mount --bind "$CACHE/archives" "$ROOT/var/cache/apt/archives"
in_root() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }
cat > "$ROOT/etc/apt/sources.list" <<EOF
deb $MIRROR bookworm main
deb $MIRROR bookworm-updates main
deb ${MIRROR%/debian}/debian-security bookworm-security main
EOF
# Services that packages would start (ejabberd's own) are not started in a chroot.
printf '#!/bin/sh\nexit 101\n' > "$ROOT/usr/sbin/policy-rc.d"
chmod 755 "$ROOT/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
in_root useradd --create-home --uid "$USER_ID" --shell /bin/bash "$USER_NAME"
in_root apt-get update -q > "$OUT/apt.log" 2>&1 || fail "apt-get update (see $OUT/apt.log)"

# --- install: the package's files, and what it leaves in the system ------------------------
# The package is installed once with apt (its dependencies and recommendations come
# along), removed, and the system's files listed; installed again, used, and removed: the
# second list must equal the first.
cp "$DEB" "$ROOT/tmp/"
say "installing the package with apt (dependencies and recommendations)"
in_root apt-get install -y -q "/tmp/$(basename "$DEB")" >> "$OUT/apt.log" 2>&1 ||
    fail "apt-get install (see $OUT/apt.log)"
in_root dpkg --purge lumora >> "$OUT/apt.log" 2>&1
system_files() {
    (cd "$ROOT" && find etc usr var opt srv \
        \( -path var/cache/apt -o -path var/lib/apt/lists -o -path var/log \
        -o -path var/lib/dpkg -o -path var/cache/debconf -o -path var/cache/ldconfig \
        -o -path var/tmp -o -path var/cache/man -o -path var/cache/fontconfig \) -prune \
        -o -print | LC_ALL=C sort)
}
system_files > "$OUT/files-before.txt"
in_root dpkg -i "/tmp/$(basename "$DEB")" >> "$OUT/apt.log" 2>&1 || fail "dpkg -i"
in_root dpkg -L lumora > "$OUT/package-files.txt"

# --- the first start, as the desktop entry starts it -------------------------------------
for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        DISPLAY_NUMBER="$n"
        break
    fi
done
[ -n "$DISPLAY_NUMBER" ] || fail "no free X display number"
mkdir -p "$OUT/fb"
Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x800x24 -fbdir "$OUT/fb" -nolisten tcp \
    > "$OUT/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] && break
    sleep 0.1
done
[ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] || fail "Xvfb did not start (see $OUT/xvfb.log)"
mkdir -p "$ROOT/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$ROOT/tmp/.X11-unix"

EXEC="$(sed -n 's/^Exec=//p' "$ROOT/usr/share/applications/org.lumora.Lumora.desktop")"
say "starting '$EXEC' as $USER_NAME on display :$DISPLAY_NUMBER"
install -d -m 700 -o "$USER_ID" -g "$USER_ID" "$ROOT/run/user/$USER_ID"
HOME_DIR="$ROOT/home/$USER_NAME"
CLIENT_LOG="$HOME_DIR/.local/share/Lumora/lumora.log"
# shellcheck disable=SC2086
chroot --userspec="$USER_ID:$USER_ID" "$ROOT" /usr/bin/env -i \
    PATH=/usr/local/bin:/usr/bin:/bin HOME="/home/$USER_NAME" USER="$USER_NAME" \
    LANG=C.UTF-8 DISPLAY=":$DISPLAY_NUMBER" XDG_RUNTIME_DIR="/run/user/$USER_ID" \
    LUMORA_TILE_ARGS="$TILE_ARGS" $EXEC > "$OUT/run.log" 2>&1 &
RUN_PID=$!

# The client signs in to the local service and shows the demo contact's map.
signed_in() { grep -q "ApplicationManager::run: windows created." "$CLIENT_LOG" 2>/dev/null; }
waited=0
until signed_in; do
    kill -0 "$RUN_PID" 2>/dev/null || { cat "$OUT/run.log"; fail "the run command ended early"; }
    [ "$waited" -lt "$WAIT_SECONDS" ] || fail "no client window after $WAIT_SECONDS s"
    sleep 1
    waited=$((waited + 1))
done
say "the client's windows are up after $waited s; waiting for it to sign in and draw the map"
sleep 20
cp "$OUT/fb/Xvfb_screen0" "$OUT/screen.xwd"
python3 - "$OUT/screen.xwd" "$OUT/screenshot.png" <<'EOF'
# The Xvfb frame buffer (an XWD image) as a PNG.
import struct
import sys
import zlib

data = open(sys.argv[1], "rb").read()
for order in (">", "<"):
    fields = struct.unpack(order + "25I", data[:100])
    if fields[1] == 7:
        break
(header_size, _, _, depth, width, height, _, byte_order, _, _, _, bpp, stride, _,
 red, green, blue, _, _, ncolors) = fields[:20]
if bpp != 32:
    sys.exit(f"unexpected {bpp} bits per pixel")
pixels = data[header_size + 12 * ncolors:]
pixel_order = "<" if byte_order == 0 else ">"
shift = lambda mask: (mask & -mask).bit_length() - 1
rows = bytearray()
for y in range(height):
    row = pixels[y * stride:y * stride + 4 * width]
    rows.append(0)
    for (value,) in struct.iter_unpack(pixel_order + "I", row):
        rows += bytes(((value & red) >> shift(red), (value & green) >> shift(green),
                       (value & blue) >> shift(blue)))
chunk = lambda kind, body: (struct.pack(">I", len(body)) + kind + body +
                            struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff))
with open(sys.argv[2], "wb") as out:
    out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2,
                                                                 0, 0, 0))
              + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))
EOF
say "screenshot: $OUT/screenshot.png"

# The user quits the client: the run command stops the local service and ends.
for pid in $(processes_in_root); do
    if [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$ROOT/usr/bin/Lumora" ]; then
        kill -TERM "$pid"
    fi
done
status=0
wait "$RUN_PID" || status=$?
cp "$CLIENT_LOG" "$OUT/lumora.log"
cp -r "$HOME_DIR/.local/state/lumora" "$OUT/service-state" 2>/dev/null || true
rm -rf "$OUT/service-state/ejabberd/etc" "$OUT/service-state/accounts"
[ "$status" -eq 0 ] || fail "the run command ended with $status (see $OUT/run.log)"
sleep 2
left="$(processes_in_root)"
[ -z "$left" ] || fail "processes left running after the client ended: $left"

# --- removal -------------------------------------------------------------------------------
say "removing the package"
in_root apt-get purge -y -q lumora >> "$OUT/apt.log" 2>&1 || fail "apt-get purge"
system_files > "$OUT/files-after.txt"
diff "$OUT/files-before.txt" "$OUT/files-after.txt" > "$OUT/files-left.txt" || true
while read -r path; do
    [ -e "$ROOT$path" ] && [ ! -d "$ROOT$path" ] && echo "left: $path" >> "$OUT/files-left.txt"
done < "$OUT/package-files.txt"
if [ -s "$OUT/files-left.txt" ]; then
    cat "$OUT/files-left.txt"
    fail "files were left behind in the system folders"
fi
say "the package was installed, started, and removed without a trace; results in $OUT"
