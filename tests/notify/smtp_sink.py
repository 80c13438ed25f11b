#!/usr/bin/python3
"""A real SMTP server (aiosmtpd) on 127.0.0.1 for the mail client's tests and benchmarks.

Prints "PORT <n>" once it listens on a free port, then "MSG <path>" for every message it accepted. Each message
is written to --dir as NNNN.eml (the bytes received after DATA, without the closing "." line) with NNNN.json
beside it ({"mail_from": ..., "rcpt_tos": [...]}); the .json file appears last. With --user and --password the
server offers AUTH LOGIN over plain text and requires it.

Two adjustments make aiosmtpd answer the way mainstream servers (Postfix, Exim) do:
- multi-line replies leave in one write; the client judges a reply by its first bytes, and aiosmtpd on its own
  writes every line of a multi-line reply separately;
- SASL mechanism names are taken in any case ("auth login"), where aiosmtpd on its own knows only "LOGIN".
"""

import argparse
import asyncio
import json
import os
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, syntax


class WholeReplySMTP(SMTP):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self._pending_reply = b""

    async def push(self, status):
        if isinstance(status, str):
            status = status.encode("utf-8" if self.enable_SMTPUTF8 else "ascii")
        self._pending_reply += status + b"\r\n"
        if status[3:4] == b"-":
            return
        reply, self._pending_reply = self._pending_reply, b""
        self._writer.write(reply)
        await self._writer.drain()

    @syntax("AUTH <mechanism>")
    async def smtp_AUTH(self, arg):
        if arg:
            mechanism, _, rest = arg.partition(" ")
            arg = (mechanism.upper() + " " + rest).rstrip()
        return await super().smtp_AUTH(arg)


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = os.path.join(self.folder, f"{self.count:04d}")
        with open(stem + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(stem + ".json.tmp", "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}, f)
        os.rename(stem + ".json.tmp", stem + ".json")
        print(f"MSG {stem}.eml", flush=True)
        return "250 2.0.0 Message accepted for delivery"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    args = parser.parse_args()
    # Plain-text AUTH on loopback is the point of the exercise; its warnings would only clutter test output.
    warnings.filterwarnings("ignore")
    os.makedirs(args.dir, exist_ok=True)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login.decode() == args.user and auth_data.password.decode() == args.password
        # handled=False lets the server answer a refusal with its own 535 reply.
        return AuthResult(success=ok, handled=False)

    options = {"hostname": "sink.example", "ident": "sink.example ESMTP"}
    if args.user is not None:
        options.update(auth_required=True, auth_require_tls=False, authenticator=authenticator,
                       auth_exclude_mechanism=["PLAIN"])
    handler = Sink(args.dir)

    async def serve():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(lambda: WholeReplySMTP(handler, loop=loop, **options), "127.0.0.1", 0)
        print(f"PORT {server.sockets[0].getsockname()[1]}", flush=True)
        await server.serve_forever()

    try:
        asyncio.run(serve())
    except KeyboardInterrupt:
        sys.exit(0)


if __name__ == "__main__":
    main()
