#!/usr/bin/python3
"""The stock aiosmtpd server, unmodified. Prints "PORT n", then "MSG path" per message (the text after DATA,
written whole first). --user/--password require AUTH, --mechanisms limits the offer, --starttls CERT KEY
requires STARTTLS, --smtps CERT KEY speaks TLS from the first byte."""

import argparse, asyncio, os, ssl, warnings
from aiosmtpd.smtp import SMTP, AuthResult


class Sink:
    def __init__(self, folder):
        self.folder, self.count = folder, 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        path = os.path.join(self.folder, f"{self.count:04d}.eml")
        with open(path, "wb") as f:
            f.write(envelope.original_content)
        print(f"MSG {path}", flush=True)
        return "250 2.0.0 Message accepted for delivery"


def main():
    parser = argparse.ArgumentParser()
    for option in ("--dir", "--user", "--password"):
        parser.add_argument(option)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--mechanisms", default="LOGIN,PLAIN")
    parser.add_argument("--starttls", nargs=2)
    parser.add_argument("--smtps", nargs=2)
    args = parser.parse_args()
    warnings.filterwarnings("ignore")  # about plain-text AUTH, which one case wants
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
        # aiosmtpd cannot tell that an SMTPS connection is encrypted, so only STARTTLS counts as TLS for it.
        options.update(auth_required=True, authenticator=authenticator, auth_require_tls=bool(args.starttls),
                       auth_exclude_mechanism=[m for m in ("LOGIN", "PLAIN") if m not in args.mechanisms])

    sink = Sink(args.dir)

    async def serve():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(lambda: SMTP(sink, loop=loop, **options), args.host, 0,
                                          ssl=context(args.smtps) if args.smtps else None)
        print(f"PORT {server.sockets[0].getsockname()[1]}", flush=True)
        await server.serve_forever()

    asyncio.run(serve())


main()
