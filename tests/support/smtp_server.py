#!/usr/bin/python3
"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1 at a free port, writing each message
it accepts to OUTDIR/<n>.eml (and the envelope to <n>.env), printing the port on its first
line (OUTDIR [PORT] serves that port), and running until its standard input closes."""
import os
import socket
import sys
import threading

from aiosmtpd.controller import Controller


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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    # A given port lets a restarted server come back where the client expects it.
    port = int(sys.argv[2]) if len(sys.argv) > 2 else free_port()
    controller = Controller(Saver(sys.argv[1]), hostname="127.0.0.1", port=port)
    controller.start()
    print(port, flush=True)
    sys.stdin.read()
    controller.stop()
    os._exit(0)


if __name__ == "__main__":
    main()
