"""The local service as the run command starts it: the real ejabberd with the service's own
configuration, lumora-service, the search bot, the demo contact and the tile server, seen
by an independent XMPP client (slixmpp)."""

import asyncio
import os
import re
import signal
import socket
import subprocess
import time
import unittest
import xml.etree.ElementTree as ET

from servicetest import BIN, SERVICE, Folder, free_port, get, port_open, wait_until
from xmppparty import Party, run

SEARCH_DEMO = ("<query xmlns='jabber:iq:search'><x xmlns='jabber:x:data' type='submit'>"
               "<field var='FORM_TYPE' type='hidden'><value>jabber:iq:search</value></field>"
               "<field var='nick'><value>demo</value></field></x></query>")
BOT_QUERY = ("<query xmlns='jabberBot:search' version='1'><field var='nick'><value>demo</value>"
             "</field><field var='gender'><value>female</value></field></query>")


class LocalServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = Folder("service")
        cls.state = cls.folder.sub("state")
        # Something else holds the preferred XMPP port: the service must take another.
        cls.squatter = socket.socket()
        cls.squatter.bind(("127.0.0.1", 0))
        cls.squatter.listen()
        cls.taken = cls.squatter.getsockname()[1]
        cls.env = dict(os.environ, LUMORA_STATE_DIR=cls.state, LUMORA_SERVICE_BIN=BIN,
                       LUMORA_XMPP_PORT=str(cls.taken), LUMORA_WEB_PORT=str(free_port()),
                       LUMORA_TILE_PORT=str(free_port()), LUMORA_DEMO_INTERVAL="1")
        cls.started = cls.service("start")

    @classmethod
    def tearDownClass(cls):
        cls.service("stop")
        cls.squatter.close()
        cls.folder.remove()

    @classmethod
    def service(cls, *arguments):
        return subprocess.run([SERVICE] + list(arguments), env=cls.env, capture_output=True,
                              text=True, timeout=300)

    def ports(self):
        text = self.service("env").stdout
        return {k: v for k, v in re.findall(r"^(\w+)=(.*)$", text, re.M)}

    def running(self):
        return self.service("status").returncode == 0

    def new_account(self):
        status, _, body = get("http://127.0.0.1:%s/getid/" % self.ports()["WEB_PORT"])
        self.assertEqual(status, 200)
        doc = ET.fromstring(body)
        return doc.findtext("gid"), doc.findtext("password")

    def party(self, gid, password, register=False):
        return Party("%s@localhost" % gid, password, self.ports()["CA_FILE"], register)

    def setUp(self):
        start = self.service("start")  # reuses the running service, or starts it again
        self.assertEqual(start.returncode, 0, start.stderr)

    def test_start_takes_free_ports_and_says_what_runs_where(self):
        self.assertEqual(self.started.returncode, 0, self.started.stderr)
        ports = self.ports()
        self.assertNotEqual(ports["XMPP_PORT"], str(self.taken))
        self.assertIn("port %d (XMPP) is taken by another program; using %s instead" % (
            self.taken, ports["XMPP_PORT"]), self.started.stderr)
        for text in ("XMPP server  localhost, port " + ports["XMPP_PORT"], "TLS required",
                     "data in " + self.state, "demo contact 100000@localhost"):
            self.assertIn(text, self.started.stdout)
        # never the distribution's ejabberd: no epmd, nothing on the standard ports
        for port in (4369, 5222, 5269):
            self.assertFalse(port_open(port) and not self.distribution_owns(port), port)

    @staticmethod
    def distribution_owns(port):
        return False  # the test machine runs no ejabberd service of its own

    def test_sign_in_needs_tls_and_accounts_are_made_from_loopback(self):
        port = int(self.ports()["XMPP_PORT"])
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.sendall(b"<?xml version='1.0'?><stream:stream to='localhost' xmlns='jabber:client' "
                      b"xmlns:stream='http://etherx.jabber.org/streams' version='1.0'>")
            features = b""
            while b"</stream:features>" not in features:
                features += s.recv(4096)
        self.assertRegex(features, rb"<starttls xmlns='urn:ietf:params:xml:ns:xmpp-tls'>"
                                   rb"<required/></starttls>")
        self.assertNotIn(b"mechanisms", features)  # no sign-in before TLS
        gid, password = self.new_account()

        async def scenario():
            first = self.party(gid, password, register=True)
            self.assertTrue(await first.sign_in(port))
            await first.sign_off()
            again = self.party(gid, password)
            self.assertTrue(await again.sign_in(port))
            await again.sign_off()
            wrong = self.party(gid, password + "x")
            self.assertFalse(await wrong.sign_in(port))
        run(scenario())

    def test_the_demo_contact_is_found_authorises_and_moves(self):
        port = int(self.ports()["XMPP_PORT"])
        gid, password = self.new_account()

        async def scenario():
            me = self.party(gid, password, register=True)
            self.assertTrue(await me.sign_in(port))
            found = await me.query("vjud.localhost", SEARCH_DEMO)
            self.assertIn("100000@localhost", found)
            me.send_presence(pto="100000@localhost", ptype="subscribe")
            self.assertTrue(await wait_async(lambda: "100000@localhost" in me.subscribed))
            await me.query("pubsub.localhost",
                           "<pubsub xmlns='http://jabber.org/protocol/pubsub'><subscribe "
                           "node='home/localhost/100000' jid='%s@localhost'/></pubsub>" % gid)
            self.assertTrue(await wait_async(lambda: len(set(me.positions)) >= 3))
            for lat, lon in me.positions:  # along its route through western Europe
                self.assertTrue(40 <= lat <= 53 and -4 <= lon <= 17, (lat, lon))
            me.send_message(mto="sysbot@localhost", mbody=BOT_QUERY, mtype="chat")
            self.assertTrue(await wait_async(lambda: any(
                who == "sysbot@localhost" and "100000@localhost" in body
                for who, body in me.chats)))
            await me.sign_off()
        run(scenario())

    def test_ids_and_accounts_outlive_a_restart(self):
        port = int(self.ports()["XMPP_PORT"])
        gid, password = self.new_account()

        async def register():
            me = self.party(gid, password, register=True)
            self.assertTrue(await me.sign_in(port))
            await me.sign_off()
        run(register())
        self.assertEqual(self.service("stop").returncode, 0)
        self.assertFalse(self.running())
        restart = self.service("start")
        self.assertEqual(restart.returncode, 0, restart.stderr)
        self.assertEqual(self.ports()["XMPP_PORT"], str(port))  # the same ports again
        later, _ = self.new_account()
        self.assertGreater(int(later), int(gid))

        async def sign_in_again():
            me = self.party(gid, password)
            self.assertTrue(await me.sign_in(port))
            await me.sign_off()
        run(sign_in_again())
        for account in ("searchbot", "demo"):
            self.assertTrue(os.path.exists(os.path.join(self.state, account, "ready")), account)

    def test_two_clients_share_it_and_the_last_one_out_stops_it(self):
        again = self.service("start")
        self.assertIn("reusing the local service", again.stdout)
        first = subprocess.Popen(["sleep", "600"])
        second = subprocess.Popen(["sleep", "600"])
        try:
            self.service("attach", str(first.pid))
            self.service("attach", str(second.pid))
            first.kill()
            first.wait()
            self.service("detach", str(first.pid))
            self.assertTrue(self.running())
            # the second client is killed without a word: the supervisor notices
            second.kill()
            second.wait()
            self.assertTrue(wait_until(lambda: not self.service_processes(), 60))
            self.assertFalse(self.running())
        finally:
            for process in (first, second):
                if process.poll() is None:
                    process.kill()

    def test_a_service_left_half_running_is_started_again_cleanly(self):
        with open(os.path.join(self.state, "run", "web.pid")) as f:
            web = int(f.read())
        os.kill(web, signal.SIGKILL)
        self.assertTrue(wait_until(lambda: not self.running(), 10))
        restart = self.service("start")
        self.assertIn("left behind by an earlier start is stopped and started again", restart.stdout)
        self.assertTrue(self.running())
        # five parts and the supervisor, once the parts of the earlier start have gone
        self.assertTrue(wait_until(lambda: len(self.service_processes()) == 6, 30),
                        self.service_processes())

    def service_processes(self):
        found = []
        for pid in os.listdir("/proc"):
            if pid.isdigit():
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as f:
                        if self.state.encode() in f.read():
                            found.append(int(pid))
                except OSError:
                    pass
        return found


async def wait_async(condition, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and not condition():
        await asyncio.sleep(0.1)
    return condition()


if __name__ == "__main__":
    unittest.main()
