"""The run command's settings step (lumora-local-settings) on the client's real settings
file: it points a new client at the local service, changes nothing else, and leaves a
server of the user's own alone."""

import os
import re
import stat
import subprocess
import unittest

from servicetest import BIN, Folder

TOOL = os.path.join(BIN, "lumora-local-settings")
CA = "/state/lumora/ejabberd/etc/ca.crt"
PORTS = ["--xmpp-port", "25222", "--web-port", "25280", "--tile-port", "25281"]
LOCAL = {
    "lumoraServer": {"host": "localhost", "port": "25222", "cafile": CA,
                     "webRoot": "http://127.0.0.1:25280/"},
    "maps": {"google.domain": ".localhost:25281", "google.pageHost": "127.0.0.1:25281",
             "microsoft.tileHost": "127.0.0.1:25281", "microsoft.tileDomain": ".localhost:25281",
             "microsoft.pageHost": "127.0.0.1:25281",
             "openStreet.tileHost": "http://127.0.0.1:25281"},
}


def document(groups):
    """The client's settings file: UTF-16LE XML without a byte-order mark."""
    body = "".join('<group name="%s">%s</group>' % (name, "".join(
        '<item name="%s" value="%s"/>' % item for item in items.items()))
        for name, items in groups.items())
    return ("<settings>%s</settings>" % body).encode("utf-16-le")


def items(raw):
    found = {}
    text = raw.decode("utf-16-le")
    for group, body in re.findall(r'<group name="([^"]*)">(.*?)</group>', text):
        for name, value in re.findall(r'<item name="([^"]*)" value="([^"]*)"/>', body):
            found.setdefault(group, {})[name] = value
    return found


class SettingsStepTest(unittest.TestCase):
    def setUp(self):
        self.folder = Folder("settings")
        self.env = dict(os.environ, XDG_DATA_HOME=self.folder.path, HOME=self.folder.path)
        self.file = os.path.join(self.folder.path, "Lumora", "Jabber", "settings.cfg")

    def tearDown(self):
        self.folder.remove()

    def tool(self, *arguments):
        return subprocess.run([TOOL] + list(arguments), env=self.env, capture_output=True,
                              text=True)

    def write(self, groups):
        os.makedirs(os.path.dirname(self.file), exist_ok=True)
        with open(self.file, "wb") as f:
            f.write(document(groups))

    def read(self):
        with open(self.file, "rb") as f:
            return f.read()

    def test_a_first_start_points_at_the_local_service_and_nothing_else(self):
        self.assertEqual(self.tool("check", "--cafile", CA).returncode, 0)
        self.assertEqual(self.tool("apply", "--cafile", CA, *PORTS).returncode, 0)
        self.assertEqual(items(self.read()), LOCAL)
        self.assertEqual(stat.S_IMODE(os.stat(self.file).st_mode), 0o600)

    def test_the_users_other_settings_stay_and_new_ports_follow(self):
        # what a client leaves after a start without any service: its built-in server
        mine = {"global": {"language": "de"}, "gps": {"comPortName": "/dev/ttyUSB0"},
                "lumoraServer": {"host": "localhost", "port": "5222"},
                "maps": {"loaderName": "2"}}
        self.write(mine)
        self.assertEqual(self.tool("apply", "--cafile", CA, *PORTS).returncode, 0)
        after = items(self.read())
        self.assertEqual(after["global"], mine["global"])
        self.assertEqual(after["gps"], mine["gps"])
        self.assertEqual(after["maps"]["loaderName"], "2")
        self.assertEqual(after["lumoraServer"], LOCAL["lumoraServer"])
        # a later start that had to take other ports
        moved = ["--xmpp-port", "41000", "--web-port", "41001", "--tile-port", "41002"]
        self.assertEqual(self.tool("apply", "--cafile", CA, *moved).returncode, 0)
        after = items(self.read())
        self.assertEqual(after["lumoraServer"]["port"], "41000")
        self.assertEqual(after["maps"]["openStreet.tileHost"], "http://127.0.0.1:41002")

    def test_a_server_of_the_users_own_is_kept(self):
        for own in ({"host": "xmpp.example.org", "port": "5222"},
                    {"host": "localhost", "port": "5333"},
                    {"host": "localhost", "port": "5222", "cafile": "/etc/ssl/my-ca.pem"}):
            self.write({"lumoraServer": own, "global": {"language": "en"}})
            before = self.read()
            check = self.tool("check", "--cafile", CA)
            self.assertEqual(check.returncode, 3, own)
            self.assertIn("own server %s:%s" % (own["host"], own["port"]), check.stdout)
            self.assertEqual(self.tool("apply", "--cafile", CA, *PORTS).returncode, 3)
            self.assertEqual(self.read(), before)

    def test_a_damaged_settings_file_is_reported_and_left_to_the_client(self):
        self.write({})
        with open(self.file, "wb") as f:
            f.write("<settings><group".encode("utf-16-le"))
        apply = self.tool("apply", "--cafile", CA, *PORTS)
        self.assertEqual(apply.returncode, 1)
        self.assertIn("cannot be read", apply.stderr)


if __name__ == "__main__":
    unittest.main()
