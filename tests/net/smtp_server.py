#!/usr/bin/python3
"""SMTP server for the mail tests, on aiosmtpd.

Listens on 127.0.0.1 on a port the system picks and prints "PORT <n>" once it
accepts connections. Every message it accepts is written to the folder given
with --dir as msg-NNNN.eml (the bytes received) and msg-NNNN.env (the
envelope: "from <addr>", one "rcpt <addr>" per recipient, "login <user>" when
the client authenticated). Written before the server answers the end of the
data, so a client that saw success finds the files complete.

Options: --refuse ADDR (answer 550 to RCPT of this address, repeatable),
--user U --password P (require authentication with these credentials),
--starttls CERT KEY (offer STARTTLS), --smtps CERT KEY (TLS from the start),
--require-starttls (refuse mail before STARTTLS).
"""
import argparse
import asyncio
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, folder, refuse):
        self.folder = folder
        self.refuse = {a.lower() for a in refuse}
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "msg-%04d" % self.count)
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content or b"")
        lines = ["from %s" % (envelope.mail_from or "")]
        lines += ["rcpt %s" % r for r in envelope.rcpt_tos]
        login = getattr(session, "auth_data", None)
        if isinstance(login, LoginPassword):
            lines.append("login %s" % login.login.decode("utf-8", "replace"))
        with open(base + ".env.tmp", "w") as f:
            f.write("\n".join(lines) + "\n")
        os.rename(base + ".eml.tmp", base + ".eml")
        os.rename(base + ".env.tmp", base + ".env")
        return "250 Message accepted for delivery"


class Authenticator:
    def __init__(self, user, password):
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == self.user
              and auth_data.password == self.password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


def context(cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    return ctx


async def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dir", required=True)
    p.add_argument("--refuse", action="append", default=[])
    p.add_argument("--user")
    p.add_argument("--password", default="")
    p.add_argument("--starttls", nargs=2)
    p.add_argument("--smtps", nargs=2)
    p.add_argument("--require-starttls", action="store_true")
    a = p.parse_args()

    handler = Handler(a.dir, a.refuse)
    kwargs = {"hostname": "kr-test-server"}
    if a.user:
        kwargs.update(authenticator=Authenticator(a.user, a.password), auth_required=True,
                      auth_require_tls=False)
    if a.starttls:
        kwargs.update(tls_context=context(*a.starttls), require_starttls=a.require_starttls)

    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: SMTP(handler, **kwargs), "127.0.0.1", 0,
                                      ssl=context(*a.smtps) if a.smtps else None)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
