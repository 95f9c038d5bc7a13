#!/usr/bin/python3
"""A one-command demo of the service, started by scripts/demo.sh.

In a fresh directory under /tmp it starts the test suite's FTP and SMTP servers on loopback,
writes a Pixlet.ini that takes the test camera's picture every few seconds, draws a clock and a
title on it, and sends it to the archive, the FTP server (with a thumbnail) and the mail server,
then runs `pixlet --headless` until each output has shown its work (or the time limit is up),
stops everything it started and prints where to look. Exit status 0 only when all three worked.
"""
import argparse
import ctypes
import email
import email.policy
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FTP_SERVER = os.path.join(ROOT, "tests", "support", "ftp_server.py")
SMTP_SERVER = os.path.join(ROOT, "tests", "support", "smtp_server.py")
FTP_USER, FTP_PASSWORD = "demo", "demo-password"
CAMERA = "pixlet-test-camera"  # 640 x 480
INTERVAL_S = 5
ARCHIVED_WANTED = 3
UPLOADED = ("live.jpg", "thumb.jpg")
SERVER_START_S = 15
FIRST_START_S = 30
STOP_S = 15
PR_SET_PDEATHSIG = 1


class Failure(Exception):
    pass


class Interrupted(Exception):
    pass


def say(text):
    print(f"[demo {time.strftime('%H:%M:%S')}] {text}", flush=True)


def end_with_parent():
    """Run in each child before it starts: should this script be killed outright, the child is
    sent SIGTERM rather than left running with nobody to stop it."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def write_settings(path, values):
    """Sets keys in the settings file the program wrote on its first start, keeping every
    other line; the file's lines end in CR LF."""
    with open(path, encoding="utf-8", newline="") as f:
        lines = [line for line in f.read().split("\r\n") if line]
    done = set()
    for i, line in enumerate(lines):
        key = line.split(" = ", 1)[0]
        if key in values:
            lines[i] = f"{key} = {values[key]}"
            done.add(key)
    lines += [f"{k} = {v}" for k, v in values.items() if k not in done]
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def is_whole_jpeg(path):
    try:
        with open(path, "rb") as f:
            head = f.read(2)
            f.seek(-2, os.SEEK_END)
            return head == b"\xff\xd8" and f.read(2) == b"\xff\xd9"
    except OSError:
        return False


def finished_files(top, suffix):
    """Files under top with the suffix, leaving out the dot-named ones still being written."""
    found = []
    for directory, dirs, files in os.walk(top):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        found += [os.path.join(directory, f) for f in sorted(files) if f.endswith(suffix) and not f.startswith(".")]
    return found


def tail(path, lines=20):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return "".join(f.readlines()[-lines:]).rstrip("\n")
    except OSError as e:
        return f"(cannot read {path}: {e.strerror})"


class Server:
    """A test server: it prints its port on its first line and ends when its standard input
    closes."""

    def __init__(self, name, argv, log_path):
        self.name, self.log_path = name, log_path
        with open(log_path, "wb") as log:
            self.process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log,
                                            start_new_session=True, preexec_fn=end_with_parent)
        ready, _, _ = select.select([self.process.stdout], [], [], SERVER_START_S)
        line = self.process.stdout.readline().strip() if ready else b""
        if not line.isdigit():
            self.process.kill()
            self.process.wait()
            raise Failure(f"the {name} server did not start within {SERVER_START_S} s; it said:\n"
                          + tail(log_path))
        self.port = int(line)

    def stop(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                say(f"the {self.name} server did not end within 5 s - killing it")
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()


class Demo:
    def __init__(self, binary, limit_s):
        self.binary, self.limit_s = binary, limit_s
        self.work = tempfile.mkdtemp(prefix="pixlet-demo-", dir="/tmp")
        self.data = os.path.join(self.work, "data") + "/"
        self.archive = os.path.join(self.work, "archive")
        self.ftp_home = os.path.join(self.work, "ftp-home")
        self.mail = os.path.join(self.work, "mail")
        for d in (self.data, self.archive, self.ftp_home, self.mail):
            os.makedirs(d)
        self.log = self.data + "pixlet.log"
        self.servers = []
        self.pixlet = None
        self.env = dict(os.environ, PIXLET_TEST_CAMERA="1", LC_ALL="C.UTF-8")
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM"):
            self.env.pop(name, None)

    def start_pixlet(self, output_name):
        with open(os.path.join(self.work, output_name), "wb") as out:
            return subprocess.Popen([self.binary, "--headless", "--data-dir", self.data], env=self.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                    start_new_session=True, preexec_fn=end_with_parent)

    def stop_pixlet(self, process):
        """SIGTERM, as a service manager ends it; the program promises to be gone within
        seconds, and is killed if it is not."""
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
        try:
            return process.wait(timeout=STOP_S)
        except subprocess.TimeoutExpired:
            say(f"Pixlet did not end within {STOP_S} s of SIGTERM - killing it")
            process.kill()
            process.wait()
            return None

    def set_up(self):
        say(f"demo directory: {self.work}")
        ftp = Server("FTP", [sys.executable, FTP_SERVER, self.ftp_home, FTP_USER, FTP_PASSWORD],
                     os.path.join(self.work, "ftp-server.log"))
        self.servers.append(ftp)
        smtp = Server("SMTP", [sys.executable, SMTP_SERVER, self.mail], os.path.join(self.work, "smtp-server.log"))
        self.servers.append(smtp)
        say(f"FTP server on 127.0.0.1:{ftp.port} serving {self.ftp_home}")
        say(f"SMTP server on 127.0.0.1:{smtp.port} saving mail into {self.mail}")

        # The first start writes the defaults; the demo's keys are set over them.
        ini = self.data + "Pixlet.ini"
        first = self.start_pixlet("first-start.out")
        self.pixlet = first  # stopped with everything else should the demo end here
        started = time.monotonic()
        while not os.path.exists(ini) and first.poll() is None and time.monotonic() - started < FIRST_START_S:
            time.sleep(0.1)
        self.stop_pixlet(first)
        self.pixlet = None
        if not os.path.exists(ini):
            raise Failure(f"Pixlet's first start wrote no {ini} within {FIRST_START_S} s; it said:\n"
                          + tail(os.path.join(self.work, "first-start.out")))
        write_settings(ini, {
            "SourceType": 1, "SourceVideoDeviceID": CAMERA,
            "CaptionNumberOfCaptions": 2,
            "Caption0Text": "<YYYY>-<MO>-<DD> <HH>:<MM>:<SS>", "Caption0TextColour": "255, 255, 255",
            "Caption0TextAlpha": 255, "Caption0BackgroundColour": "0, 0, 0", "Caption0BackgroundAlpha": 160,
            "Caption0Position": "8,8", "Caption0Justify": 0, "Caption0Font": "DejaVu Sans",
            "Caption0FontSize": 20, "Caption0FontItalic": "No", "Caption0FontWeight": 400,
            "Caption1Text": "Pixlet demo", "Caption1TextColour": "255, 255, 0",
            "Caption1TextAlpha": 255, "Caption1BackgroundColour": "0, 0, 0", "Caption1BackgroundAlpha": 160,
            "Caption1Position": "632,440", "Caption1Justify": 2, "Caption1Font": "DejaVu Sans",
            "Caption1FontSize": 24, "Caption1FontItalic": "No", "Caption1FontWeight": 700,
            "ArchiveRootDirectory": self.archive, "ArchiveSaveDelay": 0,
            "ArchiveSubdirectoryAndFilename": "<YYYY>-<MO>-<DD>/<HH><MM><SS>.jpg",
            "FTPServer": "127.0.0.1", "FTPPort": ftp.port, "FTPUsername": FTP_USER,
            "FTPPassword": FTP_PASSWORD, "FTPEncryptPassword": "No", "FTPDestinationDirectory": "/",
            "FTPDestinationFilename": UPLOADED[0], "FTPThumbnailEnable": "Yes",
            "FTPThumbnailDestinationDirectory": "/", "FTPThumbnailDestinationFilename": UPLOADED[1],
            "EmailServer": "127.0.0.1", "EmailPort": smtp.port, "EmailToAddress": "viewer@example.net",
            "EmailFrom Address": "camera@example.net", "EmailSubject": "Pixlet demo <HH>:<MM>:<SS>",
            "EmailSecurity": "None",
            "LogSaveToDisk ": "Yes", "LogPathAndFilename": self.log,
            "ControlProcessCollectionType": 0, "ControlProcessCycleTime": INTERVAL_S,
            "ControlProcessOnExactStroke": "No",
            "ControlEnableCaptions": "Yes", "ControlEnableArchive": "Yes", "ControlEnableFTP": "Yes",
            "ControlEnableEmail": "Yes", "ControlStartOnLoad": "Yes",
        })
        say(f"settings written to {ini}: test camera every {INTERVAL_S} s, two captions, "
            "archive, FTP with thumbnail, e-mail")

    def outputs(self):
        archived = [p for p in finished_files(self.archive, ".jpg") if is_whole_jpeg(p)]
        uploaded = {name: os.path.join(self.ftp_home, name) for name in UPLOADED}
        uploaded_ok = all(is_whole_jpeg(p) for p in uploaded.values())
        mails = finished_files(self.mail, ".eml")
        return archived, uploaded_ok, mails

    def run(self):
        self.pixlet = self.start_pixlet("pixlet.out")
        say(f"Pixlet running (process {self.pixlet.pid}); waiting for {ARCHIVED_WANTED} archived pictures, "
            f"an upload and a mail (at most {self.limit_s} s)")
        started = time.monotonic()
        while True:
            archived, uploaded_ok, mails = self.outputs()
            if len(archived) >= ARCHIVED_WANTED and uploaded_ok and mails:
                say(f"all three outputs worked after {time.monotonic() - started:.1f} s")
                break
            if self.pixlet.poll() is not None:
                raise Failure(f"Pixlet ended by itself with exit status {self.pixlet.returncode}; "
                              f"{self.log} ends:\n{tail(self.log)}\nits output ends:\n"
                              + tail(os.path.join(self.work, "pixlet.out")))
            if time.monotonic() - started > self.limit_s:
                missing = []
                if len(archived) < ARCHIVED_WANTED:
                    missing.append(f"archive ({len(archived)} of {ARCHIVED_WANTED} pictures)")
                if not uploaded_ok:
                    missing.append(f"FTP ({' and '.join(UPLOADED)} not both uploaded)")
                if not mails:
                    missing.append("e-mail (no mail received)")
                raise Failure(f"gave up after {self.limit_s} s - not working: {', '.join(missing)}; "
                              f"{self.log} ends:\n{tail(self.log)}")
            time.sleep(0.5)
        code = self.stop_pixlet(self.pixlet)
        say(f"Pixlet stopped with SIGTERM (exit status {code})")
        if code != 0:
            raise Failure(f"Pixlet did not end cleanly on SIGTERM (exit status {code}); "
                          f"{self.log} ends:\n{tail(self.log)}")
        # Outputs that delivered are not the whole story: a caption that failed says so here.
        with open(os.path.join(self.work, "pixlet.out"), encoding="utf-8", errors="replace") as f:
            errors = [line.rstrip() for line in f if line.startswith("Error")]
        if errors:
            raise Failure("Pixlet logged errors:\n" + "\n".join(errors[:10]))

    def summary(self):
        archived, _, mails = self.outputs()
        print()
        print("Pixlet demo: all three outputs worked")
        print(f"  archive:  {len(archived)} pictures under {self.archive}/")
        print(f"            e.g. {archived[0]}")
        print(f"  FTP:      uploaded into {self.ftp_home}/")
        for name in sorted(os.listdir(self.ftp_home)):
            print(f"            {name:<12} {os.path.getsize(os.path.join(self.ftp_home, name)):>8} bytes")
        # The server numbers its mails from 1.
        first_mail = min(mails, key=lambda p: int(os.path.basename(p).split(".")[0]))
        with open(first_mail, "rb") as f:
            first = email.message_from_binary_file(f, policy=email.policy.default)
        print(f"  e-mail:   {len(mails)} received in {self.mail}/")
        print(f"            first subject: {first['Subject']}")
        print(f"  log:      {self.log}")

    def stop_everything(self):
        if self.pixlet:
            self.stop_pixlet(self.pixlet)
        for server in reversed(self.servers):
            server.stop()


def interrupt(signum, frame):
    raise Interrupted(signal.Signals(signum).name)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.path.join(ROOT, "build", "src", "app", "pixlet"))
    parser.add_argument("--limit", type=float, default=90, help="seconds to wait for the outputs")
    parser.add_argument("--clean", action="store_true", help="remove the demo directory after a good run")
    args = parser.parse_args()
    if not os.access(args.binary, os.X_OK):
        print(f"demo: no Pixlet program at {args.binary}", file=sys.stderr)
        return 1
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, interrupt)
    demo = Demo(args.binary, args.limit)
    ok = False
    try:
        demo.set_up()
        demo.run()
        ok = True
    except Failure as e:
        print(f"demo FAILED: {e}", file=sys.stderr)
    except Interrupted as e:
        print(f"demo interrupted by {e}", file=sys.stderr)
    finally:
        # A second Ctrl-C must not cut the stopping short.
        for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(signum, signal.SIG_IGN)
        demo.stop_everything()
    if ok:
        demo.summary()
        if args.clean:
            shutil.rmtree(demo.work, ignore_errors=True)
    else:
        print(f"demo directory kept for a look: {demo.work}", file=sys.stderr)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
