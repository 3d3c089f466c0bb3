#!/usr/bin/python3
"""Makes the offline world map of the local service: Web Mercator tiles of 256 pixels for
the three map types, from map data that Debian's packages ship (see mapdata.py).

    make_tiles.py --out FOLDER [--roadmap-max Z] [--satellite-max Z] [--hybrid-max Z]
                  [--jobs N] [--quiet] [--keep-work]

Levels are those of the tile files (level 0: the world in one tile). The defaults make
roadmap tiles of levels 0 to 7 and satellite and hybrid tiles of levels 0 to 5.

FOLDER/<type>/<z>/<x>/<y>.png (roadmap) or .jpg (satellite, hybrid), FOLDER/ATTRIBUTION.txt
and, once everything is there, FOLDER/COMPLETE. A run that finds COMPLETE (with at least the
levels asked for) does nothing; a run after an interrupted one makes only the missing
tiles. Each tile is written under a temporary name and renamed, so no half-written tile is
ever served.

Exit status: 0 done, 1 failed, 2 bad arguments, 3 not enough disk space (nothing is lost:
the tiles made so far stay and the next run goes on).
"""

import argparse
import errno
import hashlib
import json
import multiprocessing
import os
import shutil
import sys
import time

NO_SPACE = 3
FORMATS = {"roadmap": ("png256:z=9", ".png"), "satellite": ("jpeg85", ".jpg"),
           "hybrid": ("jpeg85", ".jpg")}
# Bytes per tile on average, measured on a full set, with a margin (all-sea roadmap tiles
# are shared through hard links and cost nothing).
TILE_BYTES = {"roadmap": 9000, "satellite": 16000, "hybrid": 20000}
WORK_BYTES = 120 * 1024 * 1024
META = 8  # tiles per side of one rendered part
GENERATOR = 1  # bump when the look changes: a complete set of an older look is made again
TILE = 256
WORLD_HALF = 20037508.342789244


class NoSpace(Exception):
    pass


def tile_count(max_z):
    return sum(4 ** z for z in range(max_z + 1))


def plan(levels):
    """[(kind, z, mx, my, size)] of every rendered part, largest levels last."""
    parts = []
    for kind, max_z in levels.items():
        for z in range(max_z + 1):
            side = 2 ** z
            size = min(side, META)
            for mx in range(0, side, size):
                for my in range(0, side, size):
                    parts.append((kind, z, mx, my, size))
    parts.sort(key=lambda p: (p[1], p[0]))
    return parts


def tile_path(out, kind, z, x, y):
    return os.path.join(out, kind, str(z), str(x), str(y) + FORMATS[kind][1])


def part_done(out, part):
    kind, z, mx, my, size = part
    if os.path.exists(os.path.join(out, kind, str(z), ".complete")):
        return True
    return all(os.path.exists(tile_path(out, kind, z, x, y))
               for x in range(mx, mx + size) for y in range(my, my + size))


class Renderer:
    """Renders parts in one worker process; one Mapnik map per type and part size."""

    def __init__(self, out, work, satellite_width):
        import mapdata
        self.out = out
        self.data = mapdata.MapData(work, satellite_width)
        self.maps = {}
        self.shared = {}  # digest of a small tile -> its first file, for hard links

    def render(self, part):
        import mapnik
        import mapstyle
        kind, z, mx, my, size = part
        key = (kind, size)
        if key not in self.maps:
            self.maps[key] = mapstyle.make_map(kind, self.data, size * TILE)
        m = self.maps[key]
        span = 2 * WORLD_HALF / 2 ** z
        west, north = -WORLD_HALF + mx * span, WORLD_HALF - my * span
        m.zoom_to_box(mapnik.Box2d(west, north - size * span, west + size * span, north))
        image = mapnik.Image(size * TILE, size * TILE)
        mapnik.render(m, image)
        made = 0
        for dx in range(size):
            for dy in range(size):
                path = tile_path(self.out, kind, z, mx + dx, my + dy)
                if not os.path.exists(path):
                    view = image.view(dx * TILE, dy * TILE, TILE, TILE)
                    self.store(path, view.tostring(FORMATS[kind][0]))
                    made += 1
        return part, made

    def store(self, path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        partial = path + ".part"
        digest = hashlib.sha1(data).hexdigest() if len(data) < 4096 else None
        if digest in self.shared:
            try:
                os.link(self.shared[digest], partial)
                os.replace(partial, path)
                return
            except OSError:
                pass
        with open(partial, "wb") as f:
            f.write(data)
        os.replace(partial, path)
        if digest:
            self.shared[digest] = path


_renderer = None


def start_worker(out, work, satellite_width):
    global _renderer
    _renderer = Renderer(out, work, satellite_width)


def render_part(part):
    """One part, in a worker. Failures come back as plain exceptions (the renderer's own
    cannot be sent between processes)."""
    try:
        return _renderer.render(part)
    except OSError as e:
        if e.errno in (errno.ENOSPC, errno.EDQUOT):
            raise NoSpace(str(e)) from None
        raise OSError(e.errno, str(e)) from None
    except Exception as e:
        raise RuntimeError("%s: %s" % (type(e).__name__, e)) from None


class Progress:
    def __init__(self, total, quiet):
        self.total, self.done, self.quiet = max(total, 1), 0, quiet
        self.tty = sys.stdout.isatty()
        self.last = 0.0

    def add(self, count, kind, z):
        self.done += count
        now = time.monotonic()
        if self.quiet or (now - self.last < (0.5 if self.tty else 5.0) and self.done < self.total):
            return
        self.last = now
        text = "Offline map: %3d%% (%s level %d; %d of %d tiles)" % (
            100 * self.done // self.total, kind, z + 1, self.done, self.total)
        print(("\r" + text) if self.tty else text, end="" if self.tty else "\n", flush=True)

    def finish(self):
        if self.tty and not self.quiet:
            print()


def complete_levels(out):
    try:
        with open(os.path.join(out, "COMPLETE")) as f:
            manifest = json.load(f)
        return manifest["levels"] if manifest.get("generator") == GENERATOR else {}
    except (OSError, ValueError, KeyError):
        return {}


def needed_bytes(out, levels):
    missing = 0
    for kind, max_z in levels.items():
        for z in range(max_z + 1):
            if not os.path.exists(os.path.join(out, kind, str(z), ".complete")):
                missing += 4 ** z * TILE_BYTES[kind]
    return missing + WORK_BYTES


def check_space(out, levels):
    need = needed_bytes(out, levels)
    free = shutil.disk_usage(out).free
    if free < need:
        raise NoSpace("%d MB free in %s, about %d MB needed" % (free >> 20, out, need >> 20))


def mark_levels(out, levels, parts_left):
    """Writes .complete into every level folder none of whose parts is left."""
    for kind, max_z in levels.items():
        for z in range(max_z + 1):
            if not any(p[0] == kind and p[1] == z for p in parts_left):
                folder = os.path.join(out, kind, str(z))
                os.makedirs(folder, exist_ok=True)
                open(os.path.join(folder, ".complete"), "w").close()


def make(out, levels, jobs, quiet, keep_work=False):
    import mapdata
    os.makedirs(out, exist_ok=True)
    check_space(out, levels)
    work = os.path.join(out, "work")
    satellite_width = TILE * 2 ** min(max(levels["satellite"], levels["hybrid"]), 4)
    todo = [p for p in plan(levels) if not part_done(out, p)]
    progress = Progress(sum(p[4] ** 2 for p in todo), quiet)
    if todo and not quiet:
        print("Offline map: preparing the map data in %s (once)" % work, flush=True)
    start_worker(out, work, satellite_width)  # prepares the data before the workers fork
    left = set(todo)
    if todo:
        with multiprocessing.Pool(jobs, start_worker, (out, work, satellite_width)) as pool:
            for part, made in pool.imap_unordered(render_part, todo):
                left.discard(part)
                progress.add(part[4] ** 2, part[0], part[1])
        progress.finish()
    mark_levels(out, levels, left)
    with open(os.path.join(out, "ATTRIBUTION.txt"), "w") as f:
        f.write(mapdata.ATTRIBUTION)
    with open(os.path.join(out, "COMPLETE.part"), "w") as f:
        json.dump({"generator": GENERATOR, "levels": levels}, f)
    os.replace(os.path.join(out, "COMPLETE.part"), os.path.join(out, "COMPLETE"))
    if not keep_work:
        shutil.rmtree(work, ignore_errors=True)


def arguments():
    parser = argparse.ArgumentParser(description="Makes the offline world map's tiles.")
    parser.add_argument("--out", required=True)
    parser.add_argument("--roadmap-max", type=int, default=7)
    parser.add_argument("--satellite-max", type=int, default=5)
    parser.add_argument("--hybrid-max", type=int, default=5)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--quiet", action="store_true")
    parser.add_argument("--keep-work", action="store_true",
                        help="keep the prepared map data (for more levels later)")
    args = parser.parse_args()
    for value in (args.roadmap_max, args.satellite_max, args.hybrid_max):
        if not 0 <= value <= 12:
            parser.error("levels run from 0 to 12")
    return args


def main():
    args = arguments()
    out = os.path.abspath(args.out)
    levels = {"roadmap": args.roadmap_max, "satellite": args.satellite_max,
              "hybrid": args.hybrid_max}
    have = complete_levels(out)
    if have and all(have.get(k, -1) >= v for k, v in levels.items()):
        return 0
    started = time.monotonic()
    try:
        make(out, levels, max(1, args.jobs), args.quiet, args.keep_work)
    except NoSpace as e:
        print("\nOffline map: not enough disk space (%s). The tiles made so far are kept; "
              "free some space and start again to finish the map." % e, file=sys.stderr)
        return NO_SPACE
    except OSError as e:
        if e.errno in (errno.ENOSPC, errno.EDQUOT):
            print("\nOffline map: not enough disk space (%s). Free some space and start "
                  "again to finish the map." % e, file=sys.stderr)
            return NO_SPACE
        print("\nOffline map: %s" % e, file=sys.stderr)
        return 1
    except Exception as e:  # a missing package, a broken data file, a renderer error
        print("\nOffline map: failed: %s" % e, file=sys.stderr)
        return 1
    if not args.quiet:
        print("Offline map: ready in %s (%.0f s)" % (out, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    sys.exit(main())
