"""`cmake --install` into a private prefix: the layout of docs/packaging.md, the desktop
entry, icons and metainfo as the desktop's own validators see them, and the installed
programs finding each other in that layout with the build folder out of their reach."""

import os
import shutil
import signal
import stat
import struct
import subprocess
import tempfile
import time
import unittest

SOURCE = os.environ.get("LUMORA_SOURCE_DIR",
                        os.path.abspath(os.path.join(os.path.dirname(__file__), "../..")))
BINARY = os.environ.get("LUMORA_BINARY_DIR", os.path.join(SOURCE, "build"))
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
APP_ID = "org.lumora.Lumora"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256, 512)
SERVICE_PROGRAMS = ("lumora-service", "lumora_searchbot", "lumora-demo-contact", "lumora-tiles",
                    "lumora-local-settings")

# Every file and link of an installation, relative to the prefix; executables marked "*".
EXPECTED = {
    "bin/Lumora*", "bin/LumoraUpdate*", "bin/lumora-local-service@",
    "lib/lumora/service/lumora-local-service*", "lib/lumora/service/ejabberd/ejabberd.yml",
    "lib/lumora/service/tiles/make_tiles.py*", "lib/lumora/service/tiles/mapdata.py",
    "lib/lumora/service/tiles/mapstyle.py",
    f"share/applications/{APP_ID}.desktop", f"share/metainfo/{APP_ID}.metainfo.xml",
    f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
    "share/man/man1/Lumora.1.gz", "share/man/man1/LumoraUpdate.1.gz@",
    "share/man/man1/lumora-local-service.1.gz@",
    "share/doc/lumora/copyright", "share/doc/lumora/changelog.gz",
} | {f"lib/lumora/bin/{p}*" for p in SERVICE_PROGRAMS} | {
    f"share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in ICON_SIZES}


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path
    return struct.unpack(">II", head[16:24])


def desktop_entry(path):
    entry = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                entry[key] = value
    return entry


class InstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="lumora-install-")
        cls.prefix = os.path.join(cls.dir, "prefix")
        done = subprocess.run([CMAKE, "--install", BINARY, "--prefix", cls.prefix],
                              capture_output=True, text=True)
        assert done.returncode == 0, done.stdout + done.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def installed(self):
        found = set()
        for folder, _, files in os.walk(self.prefix):
            for name in files:
                path = os.path.join(folder, name)
                mode = os.lstat(path).st_mode
                mark = "@" if stat.S_ISLNK(mode) else "*" if mode & stat.S_IXUSR else ""
                found.add(os.path.relpath(path, self.prefix) + mark)
        return found

    def test_layout_modes_and_links(self):
        self.assertEqual(self.installed(), EXPECTED)
        for link in ("bin/lumora-local-service", "share/man/man1/LumoraUpdate.1.gz"):
            path = os.path.join(self.prefix, link)
            self.assertFalse(os.path.isabs(os.readlink(path)), link)
            self.assertTrue(os.path.isfile(path), f"{link} points at nothing")
        for program in ("bin/Lumora", "bin/LumoraUpdate", "lib/lumora/bin/lumora-service"):
            dynamic = subprocess.run(["readelf", "-d", os.path.join(self.prefix, program)],
                                     capture_output=True, text=True, check=True).stdout
            self.assertNotIn(BINARY, dynamic, f"{program} loads libraries from the build")

    def test_desktop_entry_icons_and_metainfo_validate_and_agree(self):
        desktop = os.path.join(self.prefix, f"share/applications/{APP_ID}.desktop")
        metainfo = os.path.join(self.prefix, f"share/metainfo/{APP_ID}.metainfo.xml")
        for command in (["desktop-file-validate", desktop],
                        ["appstreamcli", "validate", "--no-net", metainfo]):
            done = subprocess.run(command, capture_output=True, text=True)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertNotIn("warning", (done.stdout + done.stderr).lower())
        entry = desktop_entry(desktop)
        self.assertTrue(os.access(os.path.join(self.prefix, "bin", entry["Exec"].split()[0]),
                                  os.X_OK), entry["Exec"])
        self.assertEqual(entry["Icon"], APP_ID)
        with open(metainfo, encoding="utf-8") as f:
            text = f.read()
        self.assertIn(f'<launchable type="desktop-id">{APP_ID}.desktop</launchable>', text)
        self.assertNotIn("@", text.replace("@PROJECT", ""), "an unfilled placeholder")
        for size in ICON_SIZES:
            png = os.path.join(self.prefix, f"share/icons/hicolor/{size}x{size}/apps/{APP_ID}.png")
            self.assertEqual(png_size(png), (size, size))

    def test_installed_parts_find_each_other_and_the_client_starts(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("LUMORA_") and not k.startswith("XDG_")}
        home = os.path.join(self.dir, "home")
        runtime = os.path.join(self.dir, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env.update(HOME=home, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="offscreen")
        control = os.path.join(self.prefix, "bin", "lumora-local-service")
        where = subprocess.run([control, "where"], env=env, capture_output=True, text=True)
        self.assertEqual(where.returncode, 0, where.stdout + where.stderr)
        self.assertIn(f"client: {self.prefix}/bin/Lumora\n", where.stdout)
        self.assertIn(f"programs: {self.prefix}/lib/lumora/bin\n", where.stdout)
        self.assertIn(f"templates: {self.prefix}/lib/lumora/service\n", where.stdout)

        # What the menu runs, without the local service: the installed client comes up.
        log = os.path.join(home, ".local/share/Lumora/lumora.log")
        client = subprocess.Popen([control, "run", "--no-local-service"], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            deadline = time.monotonic() + 120
            text = ""
            while time.monotonic() < deadline and client.poll() is None:
                if os.path.exists(log):
                    with open(log, encoding="utf-8", errors="replace") as f:
                        text = f.read()
                    if "ApplicationManager::run: windows created." in text:
                        break
                time.sleep(0.2)
            self.assertIn("ApplicationManager::run: windows created.", text)
        finally:
            client.send_signal(signal.SIGTERM)
            output = client.communicate(timeout=60)[0].decode(errors="replace")
        self.assertEqual(client.returncode, 0, output)
        self.assertIn("run: the client starts alone", output)


if __name__ == "__main__":
    unittest.main()
