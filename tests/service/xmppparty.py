"""An independent XMPP client for the service tests: slixmpp, as Debian ships it."""

import asyncio
import ssl
import xml.etree.ElementTree as ET

import slixmpp
from slixmpp.xmlstream.handler import Callback
from slixmpp.xmlstream.matcher import MatchXPath

EVENT = "{http://jabber.org/protocol/pubsub#event}"


class Party(slixmpp.ClientXMPP):
    """One account; with register=True it creates itself by in-band registration first.
    It trusts the server only through the CA file given (no other certificate passes)."""

    def __init__(self, jid, password, ca_file, register=False):
        super().__init__(jid, password)
        context = ssl.create_default_context(cafile=ca_file)
        context.check_hostname = False  # connected by address; the chain is still checked
        self.ssl_context = context
        self.started = asyncio.Event()
        self.failed = asyncio.Event()
        self.subscribed = set()
        self.positions = []
        self.chats = []
        self.add_event_handler("session_start", self.on_start)
        self.add_event_handler("failed_auth", lambda _: self.failed.set())
        self.add_event_handler("presence_subscribed", lambda p: self.subscribed.add(p["from"].bare))
        self.add_event_handler("message", lambda m: self.chats.append((m["from"].bare, m["body"])))
        self.register_handler(Callback("pubsub events", MatchXPath(
            "{jabber:client}message/%sevent" % EVENT), self.on_event))
        if register:
            self.register_plugin("xep_0077")
            self["xep_0077"].force_registration = True
            self.add_event_handler("register", self.on_register)
            # slixmpp holds back stanzas until the session starts; registration comes first.
            self._always_send_everything = True

    async def on_register(self, _):
        iq = self.Iq()
        iq["type"] = "set"
        iq["register"]["username"] = self.boundjid.user
        iq["register"]["password"] = self.password
        await iq.send(timeout=30)

    def on_start(self, _):
        self._always_send_everything = False
        self.send_presence()
        self.started.set()

    def on_event(self, message):
        for geoloc in message.xml.iter(EVENT + "geoloc"):
            lat = geoloc.find(EVENT + "latitude")
            lon = geoloc.find(EVENT + "longitude")
            if lat is not None and lon is not None:
                self.positions.append((float(lat.text), float(lon.text)))

    async def sign_in(self, port):
        self.connect(address=("127.0.0.1", port))
        done, _ = await asyncio.wait([asyncio.ensure_future(self.started.wait()),
                                      asyncio.ensure_future(self.failed.wait())],
                                     timeout=60, return_when=asyncio.FIRST_COMPLETED)
        return self.started.is_set()

    async def query(self, to, payload):
        """Sends an IQ set with this XML child; the answer's XML text."""
        iq = self.Iq()
        iq["type"] = "set"
        iq["to"] = to
        iq.xml.append(ET.fromstring(payload))
        answer = await iq.send(timeout=30)
        return ET.tostring(answer.xml, encoding="unicode")

    async def sign_off(self):
        self.disconnect()
        await asyncio.sleep(0.2)


def run(coroutine):
    """Runs a test scenario on a loop of its own and cleans up what slixmpp leaves."""
    loop = asyncio.new_event_loop()
    try:
        return loop.run_until_complete(coroutine)
    finally:
        pending = asyncio.all_tasks(loop)
        for task in pending:
            task.cancel()
        loop.run_until_complete(asyncio.gather(*pending, return_exceptions=True))
        loop.close()
