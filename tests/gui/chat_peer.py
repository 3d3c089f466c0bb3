"""An independent XMPP user for the conversation tests (slixmpp, as Debian ships it).

It creates its account by in-band registration, signs in and then:
- writes every chat message it receives as one JSON line {"from", "type", "body"} to OUT;
- performs the lines that the test appends to COMMANDS, each a JSON object:
  {"send": jid, "body": text, "type": "chat"}        a message (type optional)
  {"bare": jid, "xml": text}                          a raw stanza body (no text)
  {"quit": true}                                     signs off and ends
Usage: chat_peer.py PORT CA_FILE JID PASSWORD OUT COMMANDS
"""

import asyncio
import json
import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "service"))
from xmppparty import Party, run  # noqa: E402


async def main():
    port, ca_file, jid, password, out_path, commands_path = sys.argv[1:7]
    party = Party(jid, password, ca_file, register=True)
    out = open(out_path, "a", encoding="utf-8")

    def received(message):
        if message["type"] in ("chat", "normal", "headline", "error"):
            out.write(json.dumps({"from": message["from"].bare, "type": message["type"],
                                  "body": message["body"]}, ensure_ascii=False) + "\n")
            out.flush()

    party.add_event_handler("message", received)
    if not await party.sign_in(int(port)):
        out.write(json.dumps({"failed": True}) + "\n")
        out.flush()
        return 1
    out.write(json.dumps({"ready": party.boundjid.bare}) + "\n")
    out.flush()
    done = 0
    while True:
        await asyncio.sleep(0.1)
        try:
            with open(commands_path, encoding="utf-8") as commands:
                lines = commands.read().splitlines()
        except FileNotFoundError:
            continue
        for line in lines[done:]:
            done += 1
            command = json.loads(line)
            if command.get("quit"):
                await party.sign_off()
                return 0
            if "send" in command:
                party.send_message(mto=command["send"], mbody=command["body"],
                                   mtype=command.get("type", "chat"))
            if "bare" in command:
                message = party.Message()
                message["to"] = command["bare"]
                message["type"] = "chat"
                message.xml.append(ET.fromstring(command["xml"]))
                message.send()


if __name__ == "__main__":
    sys.exit(run(main()))
