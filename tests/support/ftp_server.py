#!/usr/bin/python3
"""A real FTP server for the tests: serves HOME for USER/PASSWORD on 127.0.0.1 at a free port,
prints the port on its first line (or
serves --port), and runs until its standard input closes. With COMMAND_LOG,
every command that sets up a data connection (PORT, EPRT, PASV, EPSV, ...) is appended to that
file, one name a line, before the server answers it. --upload-rate takes uploads in at no more
than that many bytes a second; --refuse-renames denies RNFR and RNTO; --login-refusal-padding
makes the refusal of a wrong login that many characters longer, as a hostile server might.
--tls explicit (AUTH TLS, then required for the login and the files) or implicit (TLS from the
first byte) serves with --certificate and --key; the command log then also names AUTH and
PROT, and a data command given over TLS is logged with " TLS" after it. PASS is logged too
(without its argument, with " TLS" when it came over TLS)."""
import argparse
import os
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

DATA_COMMANDS = ("PORT", "EPRT", "LPRT", "PASV", "EPSV", "LPSV")
TLS_COMMANDS = ("AUTH", "PROT")


class SteadyDTPHandler(ThrottledDTPHandler):
    """Takes uploads in at read_limit bytes a second from the first byte on; the stock handler
    lets the first two seconds' worth through at once, which makes a small file's upload as
    quick as an unthrottled one."""

    def _throttle_bandwidth(self, len_chunk, max_speed):
        now = time.monotonic()
        if not hasattr(self, "_steady_start"):
            self._steady_start, self._steady_count = now, 0
        self._steady_count += len_chunk
        ahead = self._steady_count / max_speed - (now - self._steady_start)
        if ahead > 0:
            def wake():
                self.add_channel(events=self.ioloop.READ if self.receive else self.ioloop.WRITE)

            self.del_channel()
            self._cancel_throttler()
            self._throttler = self.ioloop.call_later(ahead, wake, _errback=self.handle_error)


class Recording:
    command_log = None
    login_refusal_padding = 0

    def handle_auth_failed(self, msg, password):
        if self.login_refusal_padding:
            msg = (msg or "Authentication failed.") + " " + "x" * self.login_refusal_padding
        super().handle_auth_failed(msg, password)

    def pre_process_command(self, line, cmd, arg):
        if self.command_log and (cmd in DATA_COMMANDS or cmd in TLS_COMMANDS or cmd == "PASS"):
            entry = cmd
            if cmd in TLS_COMMANDS:
                entry += " " + (arg or "").upper()
            elif getattr(self, "_ssl_established", False):
                entry += " TLS"
            with open(self.command_log, "a") as log:
                log.write(entry + "\n")
        super().pre_process_command(line, cmd, arg)


class RecordingHandler(Recording, FTPHandler):
    pass


def tls_handlers():
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    class EarlyHandshakeDTPHandler(TLS_DTPHandler):
        """Takes the TLS handshake a client starts as soon as the data connection is up, before
        it sends STOR (as libcurl does); the stock handler closes a data connection that has
        anything to read before a transfer was asked for."""

        def readable(self):
            return self._ssl_accepting or super().readable()

    class ExplicitHandler(Recording, TLS_FTPHandler):
        tls_control_required = True
        tls_data_required = True
        dtp_handler = EarlyHandshakeDTPHandler

    class ImplicitHandler(ExplicitHandler):
        """TLS from the first byte: the greeting waits for the handshake."""

        def handle(self):
            self.secure_connection(self.ssl_context)

        def handle_ssl_established(self):
            if not getattr(self, "_greeted", False):
                self._greeted = True
                FTPHandler.handle(self)

    return ExplicitHandler, ImplicitHandler, EarlyHandshakeDTPHandler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("home")
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("command_log", nargs="?")
    parser.add_argument("--upload-rate", type=int, default=0)
    parser.add_argument("--refuse-renames", action="store_true")
    parser.add_argument("--login-refusal-padding", type=int, default=0)
    parser.add_argument("--port", type=int, default=0, help="0: a free port")
    parser.add_argument("--tls", choices=("explicit", "implicit"))
    parser.add_argument("--certificate")
    parser.add_argument("--key")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    # "f" is the permission to rename.
    perm = "elradmwMT" if args.refuse_renames else "elradfmwMT"
    authorizer.add_user(args.user, args.password, args.home, perm=perm)
    handler = RecordingHandler
    if args.tls:
        explicit, implicit, tls_dtp = tls_handlers()
        handler = explicit if args.tls == "explicit" else implicit
        handler.certfile = args.certificate
        handler.keyfile = args.key
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1  # no penalty wait in tests
    handler.command_log = args.command_log
    handler.login_refusal_padding = args.login_refusal_padding
    if args.upload_rate > 0:
        dtp = SteadyDTPHandler
        if args.tls:
            dtp = type("SteadyTlsDTPHandler", (SteadyDTPHandler, tls_dtp), {})
        dtp.read_limit = args.upload_rate
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", args.port), handler)
    print(server.address[1], flush=True)
    # The test ends the server by closing our standard input (or by killing it).
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.ERROR)
    main()
