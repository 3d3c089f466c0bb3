"""The offline world map: made by make_tiles.py from Debian's map data with GDAL, GMT and
Mapnik, served by the real lumora-tiles in the address forms of the three tile sources."""

import io
import json
import os
import subprocess
import unittest

from PIL import Image

from servicetest import (BIN, MAKE_TILES, PYTHON, Folder, Process, free_port, get,
                         mercator_pixel, port_open, wait_until)

LEVELS = ["--roadmap-max", "2", "--satellite-max", "1", "--hybrid-max", "1"]
SEA = (0xaa, 0xd3, 0xdf)
LAND = {"Algeria": (27, 3), "Siberia": (62, 100), "Brazil": (-10, -55), "Australia": (-25, 135)}
OCEAN = {"Pacific": (0, -150), "Atlantic": (30, -40), "Indian Ocean": (-30, 80),
         "Southern Pacific": (-50, -120)}


def make(out, *extra):
    return subprocess.run([PYTHON, MAKE_TILES, "--out", out, "--jobs", "2"] + LEVELS + list(extra),
                          capture_output=True, text=True)


def distance(a, b):
    return max(abs(x - y) for x, y in zip(a[:3], b[:3]))


class TileSetTest(unittest.TestCase):
    """One small tile set for the whole class: making it takes most of a minute."""

    @classmethod
    def setUpClass(cls):
        cls.folder = Folder("tiles")
        cls.tiles = os.path.join(cls.folder.path, "tiles")
        cls.made = make(cls.tiles, "--keep-work")
        cls.port = free_port()
        cls.server = Process([os.path.join(BIN, "lumora-tiles"), "--tiles", cls.tiles, "--port",
                              str(cls.port)], log=os.path.join(cls.folder.path, "server.log"))
        wait_until(lambda: port_open(cls.port), 30)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.folder.remove()

    def fetch(self, path):
        return get("http://127.0.0.1:%d%s" % (self.port, path))

    def world(self, form):
        """The level-1 world (2 x 2 tiles) fetched through one address form."""
        image = Image.new("RGB", (512, 512))
        for x in range(2):
            for y in range(2):
                status, kind, body = self.fetch(form(x, y))
                self.assertEqual(status, 200, form(x, y))
                self.assertTrue(kind.startswith("image/"), kind)
                image.paste(Image.open(io.BytesIO(body)).convert("RGB"), (256 * x, 256 * y))
        return image

    def test_the_set_is_complete_and_names_its_sources(self):
        self.assertEqual(self.made.returncode, 0, self.made.stderr)
        self.assertIn("Offline map: preparing the map data", self.made.stdout)
        self.assertIn("100%", self.made.stdout)
        with open(os.path.join(self.tiles, "COMPLETE")) as f:
            self.assertEqual(json.load(f)["levels"], {"roadmap": 2, "satellite": 1, "hybrid": 1})
        status, _, text = self.fetch("/attribution.txt")
        self.assertEqual(status, 200)
        for source in (b"Blue Marble", b"GSHHG", b"Digital Chart of the World", b"Marble"):
            self.assertIn(source, text)
        again = make(self.tiles)
        self.assertEqual((again.returncode, again.stdout), (0, ""))  # kept: nothing to do

    def test_roadmap_has_land_and_sea_where_the_projection_puts_them(self):
        world = self.world(lambda x, y: "/1/%d/%d.png" % (x, y))
        for name, (lat, lon) in OCEAN.items():
            self.assertLess(distance(world.getpixel(mercator_pixel(lat, lon, 1)), SEA), 12, name)
        for name, (lat, lon) in LAND.items():
            self.assertGreater(distance(world.getpixel(mercator_pixel(lat, lon, 1)), SEA), 25, name)

    def test_satellite_and_hybrid_show_the_image_with_blue_seas(self):
        for form in (lambda x, y: "//kh?n=404&v=1&t=t%s" % "qrts"[x + 2 * y],
                     lambda x, y: "//tiles//h%d?g=1" % (x + 2 * y)):
            world = self.world(form)
            for name, (lat, lon) in OCEAN.items():
                r, g, b = world.getpixel(mercator_pixel(lat, lon, 1))
                self.assertGreater(b, r + 15, name)
            for name in ("Algeria", "Australia"):
                r, g, b = world.getpixel(mercator_pixel(*LAND[name], 1))
                self.assertGreater(r, b + 20, name)

    def test_the_three_sources_address_the_same_tiles(self):
        osm = self.fetch("/2/2/1.png")[2]
        self.assertEqual(self.fetch("//mt?n=404&v=1&x=2&y=1&zoom=15")[2], osm)
        self.assertEqual(self.fetch("/mt?n=404&x=2&y=1&zoom=15&v=1")[2], osm)
        self.assertEqual(self.fetch("//tiles//r12?g=1")[2], osm)  # quadkey 1 then 2
        satellite = self.fetch("//kh?n=404&v=1&t=tt")
        self.assertEqual(satellite[:2], (200, "image/jpeg"))
        self.assertEqual(self.fetch("//tiles//a2?g=1")[2], satellite[2])
        # the test addresses of the sources' connectivity checks
        for path in ("/mt?n=404&x=0&y=0&zoom=17&v=1", "/kh?n=404&t=t&v=1", "//tiles//r0?g=1",
                     "//tiles//a0?g=1", "//tiles//h0?g=1", "/0/0/0.png"):
            self.assertEqual(self.fetch(path)[0], 200, path)
        # levels and names the set does not have
        for path in ("/5/1/1.png", "/1/2/0.png", "//tiles//a0123?g=1", "//kh?t=q", "/x.png"):
            self.assertEqual(self.fetch(path)[0], 404, path)

    def test_version_pages_name_the_local_tile_hosts(self):
        page = self.fetch("/maps?q=55.75,37.61&z=5")[2].decode()
        self.assertIn("http://mt0.localhost:%d/mt?n\\x3d404\\x26v\\x3d1\\x26" % self.port, page)
        self.assertIn("http://khm0.localhost:%d/kh?n\\x3d404\\x26v\\x3d1\\x26" % self.port, page)
        root = self.fetch("/")[2].decode()
        self.assertIn(".localhost:%d/tiles/r0?g=1" % self.port, root)

    def test_a_half_made_set_is_finished_without_redoing_the_rest(self):
        levels = os.path.join(self.tiles, "roadmap", "2")
        os.remove(os.path.join(self.tiles, "COMPLETE"))
        os.remove(os.path.join(levels, ".complete"))
        gone = os.path.join(levels, "3", "1.png")
        with open(gone, "rb") as f:
            before = f.read()
        os.remove(gone)
        with open(gone + ".part", "wb") as f:
            f.write(b"\x89PNG half")  # what an interrupted write leaves
        kept = os.path.join(self.tiles, "roadmap", "1", "0", "0.png")
        kept_time = os.stat(kept).st_mtime_ns
        again = make(self.tiles, "--keep-work")
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn("16 of 16 tiles", again.stdout)  # one part of level 2, nothing else
        with open(gone, "rb") as f:
            self.assertEqual(f.read(), before)
        self.assertFalse(os.path.exists(gone + ".part"))
        self.assertEqual(os.stat(kept).st_mtime_ns, kept_time)
        self.assertTrue(os.path.exists(os.path.join(self.tiles, "COMPLETE")))


class NoSpaceTest(unittest.TestCase):
    def test_a_full_disk_gives_a_clear_message_and_keeps_what_there_is(self):
        folder = Folder("nospace")
        try:
            script = ("mount -t tmpfs -o size=2m tmpfs '%s' && mkdir '%s/tiles' && "
                      "echo kept > '%s/tiles/earlier' && %s %s --out '%s/tiles'; "
                      "echo \"exit $?\"; ls '%s/tiles'") % ((folder.path,) * 3 + (
                          PYTHON, MAKE_TILES) + (folder.path,) * 2)
            run = subprocess.run(["unshare", "-rm", "sh", "-c", script], capture_output=True,
                                 text=True)
            self.assertIn("exit 3", run.stdout, run.stderr)
            self.assertIn("Offline map: not enough disk space", run.stderr)
            self.assertIn("MB needed", run.stderr)
            self.assertIn("earlier", run.stdout)
        finally:
            folder.remove()


if __name__ == "__main__":
    unittest.main()
