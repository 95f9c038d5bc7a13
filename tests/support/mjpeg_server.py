#!/usr/bin/python3
"""An HTTP camera for the tests: serves an MJPEG stream (multipart/x-mixed-replace of JPEG frames)
at /video on 127.0.0.1, --port or a free one for 0, and prints "PORT <n>" on its first line once
it takes connections. With --user and --password a request without those credentials (HTTP basic
authentication) is answered 401. The frames are made by ImageMagick's convert at start: a bar
that moves across a grey picture of the size asked. Each client has a thread of its own. The
server stops when its standard input closes or after --stop-after seconds, whichever comes
first, and closes every client's connection as it goes."""
import argparse
import base64
import hmac
import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

BOUNDARY = "pixletframe"
FRAME_COUNT = 8


def bounded(low, high):
    def parse(text):
        value = int(text)
        if not low <= value <= high:
            raise argparse.ArgumentTypeError(f"{value} is not within {low}..{high}")
        return value

    return parse


def make_frames(width, height):
    """FRAME_COUNT JPEG pictures, made in one run of convert."""
    convert = shutil.which("convert")
    if not convert:
        sys.exit("mjpeg_server: ImageMagick's convert is needed to make the frames")
    bar = max(1, width // FRAME_COUNT)
    with tempfile.TemporaryDirectory() as directory:
        arguments = [convert]
        for i in range(FRAME_COUNT):
            left = i * bar
            arguments += ["(", "-size", f"{width}x{height}", "xc:gray40", "-fill", "white",
                          "-draw", f"rectangle {left},0 {left + bar - 1},{height - 1}", ")"]
        arguments += ["-quality", "80", "+adjoin", os.path.join(directory, "frame-%02d.jpg")]
        try:
            subprocess.run(arguments, check=True, timeout=60, stdin=subprocess.DEVNULL)
        except (OSError, subprocess.SubprocessError) as e:
            sys.exit(f"mjpeg_server: convert could not make the frames: {e}")
        frames = []
        for i in range(FRAME_COUNT):
            with open(os.path.join(directory, f"frame-{i:02d}.jpg"), "rb") as f:
                frames.append(f.read())
    return frames


class Camera(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, frames, fps, credentials):
        super().__init__(address, Handler)
        self.frames = frames
        self.interval = 1.0 / fps
        self.credentials = credentials
        self.stopping = threading.Event()
        self.clients = set()
        self.clients_lock = threading.Lock()

    def close_clients(self):
        with self.clients_lock:
            for connection in self.clients:
                try:
                    connection.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, format, *args):
        pass

    def authorised(self):
        if self.server.credentials is None:
            return True
        given = self.headers.get("Authorization", "")
        expected = "Basic " + base64.b64encode(self.server.credentials.encode()).decode()
        return hmac.compare_digest(given.encode(), expected.encode())

    def do_GET(self):
        if self.path.split("?")[0] != "/video":
            self.send_error(404)
            return
        if not self.authorised():
            self.send_response(401)
            self.send_header("WWW-Authenticate", 'Basic realm="camera"')
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with self.server.clients_lock:
            self.server.clients.add(self.connection)
        try:
            self.stream()
        except OSError:
            pass  # the client went
        finally:
            with self.server.clients_lock:
                self.server.clients.discard(self.connection)

    def stream(self):
        self.send_response(200)
        self.send_header("Content-Type", f"multipart/x-mixed-replace;boundary={BOUNDARY}")
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        index = 0
        next_frame = time.monotonic()
        while not self.server.stopping.is_set():
            frame = self.server.frames[index % len(self.server.frames)]
            index += 1
            self.wfile.write(f"--{BOUNDARY}\r\nContent-Type: image/jpeg\r\nContent-Length: {len(frame)}"
                             "\r\n\r\n".encode() + frame + b"\r\n")
            self.wfile.flush()
            next_frame += self.server.interval
            self.server.stopping.wait(max(0.0, next_frame - time.monotonic()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=bounded(0, 65535), default=0)
    parser.add_argument("--width", type=bounded(16, 4096), default=320)
    parser.add_argument("--height", type=bounded(16, 4096), default=240)
    parser.add_argument("--fps", type=bounded(1, 60), default=10)
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--stop-after", type=bounded(1, 3600), default=120)
    options = parser.parse_args()

    frames = make_frames(options.width, options.height)
    credentials = f"{options.user}:{options.password}" if options.user else None
    try:
        server = Camera(("127.0.0.1", options.port), frames, options.fps, credentials)
    except OSError as e:
        sys.exit(f"mjpeg_server: cannot listen on 127.0.0.1:{options.port}: {e.strerror}")
    threading.Thread(target=server.serve_forever, daemon=True).start()

    done = threading.Event()

    def watch_input():
        while sys.stdin.buffer.read(4096):
            pass
        done.set()

    threading.Thread(target=watch_input, daemon=True).start()
    print(f"PORT {server.server_address[1]}", flush=True)
    done.wait(options.stop_after)

    server.stopping.set()
    server.shutdown()
    server.close_clients()
    server.server_close()


if __name__ == "__main__":
    main()
