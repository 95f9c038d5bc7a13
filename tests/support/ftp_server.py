#!/usr/bin/python3
"""A real FTP server for the tests: serves HOME for USER/PASSWORD on 127.0.0.1 at a free port,
prints the port on its first line, and runs until its standard input closes."""
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    home, user, password = sys.argv[1:4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, home, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1  # no penalty wait in tests
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    # The test ends the server by closing our standard input (or by dying).
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.ERROR)
    main()
