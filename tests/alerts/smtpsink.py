#!/usr/bin/env python3
"""A small SMTP server for the mail tests, on 127.0.0.1 and a free port.

    smtpsink.py FOLDER [accept|refuse|hold]

Prints the port on its first line. Each delivered mail becomes FOLDER/mail-N.json
(envelope, decoded subject and body); each RCPT adds a line to FOLDER/attempts.
"refuse" answers every RCPT with 554; "hold" keeps each RCPT waiting until the
file FOLDER/go exists. Ends when its standard input closes.
"""

import asyncio
import email
import email.policy
import json
import os
import sys
import threading

from aiosmtpd.smtp import SMTP

FOLDER = sys.argv[1]
MODE = sys.argv[2] if len(sys.argv) > 2 else "accept"


class Handler:
    def __init__(self):
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        with open(os.path.join(FOLDER, "attempts"), "a") as f:
            f.write(address + "\n")
        if MODE == "refuse":
            return "554 5.7.1 Refused by the test server"
        while MODE == "hold" and not os.path.exists(os.path.join(FOLDER, "go")):
            await asyncio.sleep(0.05)
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        record = {
            "from": envelope.mail_from,
            "to": envelope.rcpt_tos,
            "subject": str(message["subject"]),
            "body": message.get_content(),
            "contentType": message.get_content_type(),
        }
        self.count += 1
        path = os.path.join(FOLDER, "mail-%d.json" % self.count)
        with open(path + ".tmp", "w") as f:
            json.dump(record, f)
        os.rename(path + ".tmp", path)
        return "250 Message accepted for delivery"


def exit_when_stdin_closes():
    sys.stdin.read()
    os._exit(0)


async def main():
    loop = asyncio.get_running_loop()
    handler = Handler()
    server = await loop.create_server(lambda: SMTP(handler, hostname="sink.test"), "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    threading.Thread(target=exit_when_stdin_closes, daemon=True).start()
    await server.serve_forever()


asyncio.run(main())
