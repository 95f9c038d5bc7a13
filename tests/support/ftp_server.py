#!/usr/bin/python3
"""A real FTP server for the tests: serves HOME for USER/PASSWORD on 127.0.0.1 at a free port,
prints the port on its first line, and runs until its standard input closes. With a fourth
argument, every command that sets up a data connection (PORT, EPRT, PASV, EPSV, ...) is
appended to that file, one name a line, before the server answers it."""
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

DATA_COMMANDS = ("PORT", "EPRT", "LPRT", "PASV", "EPSV", "LPSV")


class RecordingHandler(FTPHandler):
    command_log = None

    def pre_process_command(self, line, cmd, arg):
        if self.command_log and cmd in DATA_COMMANDS:
            with open(self.command_log, "a") as log:
                log.write(cmd + "\n")
        super().pre_process_command(line, cmd, arg)


def main():
    home, user, password = sys.argv[1:4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, home, perm="elradfmwMT")
    handler = RecordingHandler
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1  # no penalty wait in tests
    if len(sys.argv) > 4:
        handler.command_log = sys.argv[4]
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    # The test ends the server by closing our standard input (or by dying).
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.ERROR)
    main()
