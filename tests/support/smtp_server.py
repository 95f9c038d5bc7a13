#!/usr/bin/python3
"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1 at a free port, writing each message
it accepts to OUTDIR/<n>.eml (and the envelope to <n>.env), printing the port on its first
line (OUTDIR [PORT] serves that port), and running until its standard input closes.

Every command's name (not its arguments) is appended to OUTDIR/commands.log as it is read,
before the server judges it, so a test can tell which commands the client sent at all.

--cert CERT --key KEY give the server a certificate; with them --starttls offers STARTTLS and
refuses everything else before it, --implicit-tls speaks TLS from the first byte.
--login USER:PASSWORD requires a login (over TLS only, unless --login-in-plain-text);
--no-plain leaves only AUTH LOGIN on offer."""
import argparse
import logging
import os
import socket
import ssl
import sys
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Saver:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, str(self.count))
        with open(base + ".env.tmp", "w") as f:
            f.write(envelope.mail_from + "\n" + "\n".join(envelope.rcpt_tos) + "\n")
        os.rename(base + ".env.tmp", base + ".env")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 Message accepted for delivery"


class CommandRecorder(logging.Handler):
    """The stock server logs every command line it reads, before it judges it; this notes the
    command's name from that line."""

    def __init__(self, path):
        super().__init__()
        self.path = path

    def emit(self, record):
        if record.levelno != logging.INFO or record.msg != "%r >> %r":
            return
        line = record.args[1]
        name = line.split(b" ", 1)[0].decode("ascii", "replace").upper() if line else ""
        with open(self.path, "a") as log:
            log.write(name + "\n")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    # A given port lets a restarted server come back where the client expects it.
    parser.add_argument("port", nargs="?", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--login")
    parser.add_argument("--login-in-plain-text", action="store_true")
    parser.add_argument("--no-plain", action="store_true")
    args = parser.parse_args()

    mail_log = logging.getLogger("mail.log")
    mail_log.setLevel(logging.INFO)
    mail_log.propagate = False
    mail_log.addHandler(CommandRecorder(os.path.join(args.outdir, "commands.log")))
    port = args.port or free_port()
    options = {}
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    if args.starttls:
        options.update(tls_context=context, require_starttls=True)
    if args.login:
        user, password = args.login.split(":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = isinstance(auth_data, LoginPassword) and (
                auth_data.login == user.encode() and auth_data.password == password.encode())
            # Not handled: the stock server answers a refusal with its 535.
            return AuthResult(success=ok, handled=False)

        # aiosmtpd counts only STARTTLS as TLS: with implicit TLS every byte is encrypted
        # anyway, so its own check has to be off there.
        options.update(authenticator=authenticator, auth_required=True,
                       auth_require_tls=not (args.login_in_plain_text or args.implicit_tls))
        if args.no_plain:
            options.update(auth_exclude_mechanism=["PLAIN"])
    # The login in plain text is asked for on purpose, to see that the client declines it.
    warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")
    # A free port found here can be taken by another program before the server binds it: then
    # another one is tried, unless the port was given.
    for attempt in range(20):
        controller = Controller(Saver(args.outdir), hostname="127.0.0.1", port=port,
                                ssl_context=context if args.implicit_tls else None, **options)
        try:
            controller.start()
            break
        except OSError:
            if args.port or attempt == 19:
                raise
            port = free_port()
    print(port, flush=True)
    sys.stdin.read()
    controller.stop()
    os._exit(0)


if __name__ == "__main__":
    main()
