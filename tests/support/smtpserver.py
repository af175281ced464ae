#!/usr/bin/python3
"""A real SMTP server on 127.0.0.1 for the mail tests.

Listens on two free ports, one plain and one with TLS from the first byte, and prints
"plain <port>" and "tls <port>" on stdout once both listen. Every accepted message is
written to the output folder as <n>.eml (the bytes as received, dot-stuffing undone)
with <n>.json beside it (envelope sender and recipients), the .eml last, so a reader
that sees it sees a whole message.

Scripted refusals, chosen by the envelope, so one server serves every test case:
  AUTH LOGIN     only "user" with the password "secret" is accepted (535 otherwise)
  RCPT TO        an address beginning with "refused" gets 550, one beginning with
                 "busy" gets 450; each such answer is appended to refusals.log in the
                 output folder as "<code> <address>", so a test can count the attempts
  end of DATA    a message with a recipient beginning "rejectdata" gets 554

Run with Debian's interpreter (/usr/bin/python3), which has python3-aiosmtpd.
"""
import argparse
import asyncio
import json
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

ACCOUNT = b"user"
PASSWORD = b"secret"
REFUSALS = [("refused", "550 5.1.1 mailbox unavailable"),
            ("busy", "450 4.2.1 mailbox busy, try again later")]


class Handler:
    def __init__(self, out_dir):
        self.out_dir = out_dir
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        for prefix, reply in REFUSALS:
            if address.startswith(prefix):
                with open(os.path.join(self.out_dir, "refusals.log"), "a") as f:
                    f.write("%s %s\n" % (reply[:3], address))
                return reply
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if any(r.startswith("rejectdata") for r in envelope.rcpt_tos):
            return "554 5.6.0 message refused"
        self.count += 1
        base = os.path.join(self.out_dir, "%03d" % self.count)
        with open(base + ".json", "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}, f)
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".tmp", base + ".eml")
        return "250 OK stored"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword)
          and auth_data.login == ACCOUNT and auth_data.password == PASSWORD)
    # Not "handled": the server itself then answers a failure with 535.
    return AuthResult(success=ok, handled=False)


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    args = parser.parse_args()

    handler = Handler(args.out)

    def factory():
        return SMTP(handler, hostname="kestrava-test", authenticator=authenticate,
                    auth_require_tls=False, auth_required=False)

    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    loop = asyncio.get_running_loop()
    plain = await loop.create_server(factory, "127.0.0.1", 0)
    tls = await loop.create_server(factory, "127.0.0.1", 0, ssl=context)
    print("plain %d" % plain.sockets[0].getsockname()[1])
    print("tls %d" % tls.sockets[0].getsockname()[1])
    sys.stdout.flush()
    # Ends with the fixture: it closes our stdin, or terminates us.
    await loop.run_in_executor(None, sys.stdin.read)


if __name__ == "__main__":
    asyncio.run(main())
