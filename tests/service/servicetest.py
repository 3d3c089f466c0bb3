"""What the local service's tests share: the source and build folders, private folders for
each test, processes that are always stopped, and ports."""

import contextlib
import math
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

SOURCE = os.environ.get("LUMORA_SOURCE_DIR",
                        os.path.abspath(os.path.join(os.path.dirname(__file__), "../..")))
BINARY = os.environ.get("LUMORA_BINARY_DIR", os.path.join(SOURCE, "build"))
BIN = os.path.join(BINARY, "bin")
SERVICE = os.path.join(SOURCE, "service", "lumora-local-service")
MAKE_TILES = os.path.join(SOURCE, "service", "tiles", "make_tiles.py")
PYTHON = "/usr/bin/python3"


def wait_until(condition, seconds=60, step=0.1):
    """Polls until condition() is true; the test's own assertion follows. Gives up after a
    generous time so that a broken part fails the test instead of hanging the run."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return condition()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_open(port):
    with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), timeout=1):
        return True
    return False


def get(url):
    """(status, content type, body) of a GET; errors are answers too."""
    try:
        with urllib.request.urlopen(url, timeout=30) as reply:
            return reply.status, reply.headers.get("Content-Type", ""), reply.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers.get("Content-Type", ""), e.read()


def mercator_pixel(lat, lon, z):
    """The global pixel of a position at level z of 256-pixel Web Mercator tiles."""
    size = 256 * 2 ** z
    x = (lon + 180.0) / 360.0 * size
    y = (1 - math.log(math.tan(math.radians(lat)) + 1 / math.cos(math.radians(lat))) / math.pi) / 2 * size
    return int(x), int(y)


class Folder:
    """A private folder for one test, removed afterwards."""

    def __init__(self, name):
        self.path = tempfile.mkdtemp(prefix="lumora-%s-" % name)

    def sub(self, *parts):
        path = os.path.join(self.path, *parts)
        os.makedirs(path, exist_ok=True)
        return path

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


class Process:
    """A child process in a session of its own, ended (with its children) at stop()."""

    def __init__(self, arguments, env=None, log=None):
        self.log = open(log, "ab") if log else subprocess.DEVNULL
        self.process = subprocess.Popen(arguments, env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, start_new_session=True)

    @property
    def pid(self):
        return self.process.pid

    def stop(self):
        if self.process.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        if self.log is not subprocess.DEVNULL:
            self.log.close()
