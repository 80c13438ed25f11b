#!/usr/bin/python3
"""The stock aiosmtpd SMTP server, unmodified, for the mail tests, the LAN tests and the benchmarks.

Prints "PORT <n>" once it listens, then "MSG <path>" for every message it accepted: the bytes after DATA as
NNNN.eml in --dir, with NNNN.json beside it ({"mail_from", "rcpt_tos"}), written last.
--user/--password require AUTH (over plain text only when there is no TLS); --mechanisms limits the offer;
--starttls CERT KEY offers and requires STARTTLS; --smtps CERT KEY speaks TLS from the first byte.
"""

import argparse
import asyncio
import json
import os
import ssl
import warnings

from aiosmtpd.smtp import SMTP, AuthResult


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
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--mechanisms", default="LOGIN,PLAIN")
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--smtps", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()
    warnings.filterwarnings("ignore")  # aiosmtpd warns about plain-text AUTH, which one case wants
    os.makedirs(args.dir, exist_ok=True)

    def context(pair):
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(*pair)
        return ctx

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login.decode() == args.user and auth_data.password.decode() == args.password
        return AuthResult(success=ok, handled=False)

    options = {"hostname": "sink.example", "ident": "sink.example ESMTP"}
    if args.starttls:
        options.update(tls_context=context(args.starttls), require_starttls=True)
    if args.user is not None:
        offered = args.mechanisms.split(",")
        options.update(auth_required=True, authenticator=authenticator,
                       auth_require_tls=bool(args.starttls),  # aiosmtpd cannot tell that SMTPS is encrypted
                       auth_exclude_mechanism=[m for m in ("LOGIN", "PLAIN") if m not in offered])
    handler = Sink(args.dir)

    async def serve():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(lambda: SMTP(handler, loop=loop, **options), args.host, 0,
                                          ssl=context(args.smtps) if args.smtps else None)
        print(f"PORT {server.sockets[0].getsockname()[1]}", flush=True)
        await server.serve_forever()

    try:
        asyncio.run(serve())
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
