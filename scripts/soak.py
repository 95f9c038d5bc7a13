#!/usr/bin/python3
"""A soak run of the built program with faults, started by scripts/soak.sh.

Two Pixlets run side by side for the given number of minutes:
  - the desktop program on a virtual X server, collecting on arrival from a drop directory
    into which pictures fall at a steady rate (most whole, some still being written when they
    appear, some cut short for good), with captions, archiving to a small file system of its
    own, uploading to a real FTP server and mailing to a real SMTP server;
  - the service (--headless) taking a test camera's picture every two seconds into an archive.
Meanwhile the FTP and SMTP servers are killed and restarted, the FTP server is frozen for a
while, the archive's file system is filled up and freed, and the test camera is unplugged and
plugged back. Then the faults stop, a last picture must reach every output, both programs are
asked to end, and every check is printed in a table. The exit status is 0 only when all hold.
"""
import argparse
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FTP_SERVER = os.path.join(ROOT, "tests", "support", "ftp_server.py")
SMTP_SERVER = os.path.join(ROOT, "tests", "support", "smtp_server.py")
FTP_USER, FTP_PASSWORD = "soak", "soak-password"
# How long an output may stay busy with one picture: the longest of the program's own limits
# (the mail dialogue's two minutes), and a margin.
OUTPUT_LIMIT_S = 150
STAMP = re.compile(r"^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d: ")


def log(text):
    print(f"[soak {time.strftime('%H:%M:%S')}] {text}", flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_settings(path, values):
    """Sets keys in a settings file, keeping every other line (the file the program wrote on
    its first start, with its example captions)."""
    lines = []
    if os.path.exists(path):
        with open(path, encoding="utf-8", newline="") as f:
            lines = f.read().split("\r\n")
    done = set()
    for i, line in enumerate(lines):
        key = line.split(" = ", 1)[0]
        if key in values:
            lines[i] = f"{key} = {values[key]}"
            done.add(key)
    lines = [line for line in lines if line]
    lines += [f"{k} = {v}" for k, v in values.items() if k not in done]
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def make_pictures(directory, count):
    """Photo-sized JPEGs, each different enough to be real work for the decoder."""
    os.makedirs(directory, exist_ok=True)
    pictures = []
    for i in range(count):
        path = os.path.join(directory, f"p{i}.jpg")
        subprocess.run(["convert", "-seed", str(i + 1), "-size", "1920x1080", "plasma:fractal",
                        "-quality", "85", path], check=True, timeout=120)
        with open(path, "rb") as f:
            pictures.append(f.read())
    return pictures


def is_whole_jpeg(path):
    with open(path, "rb") as f:
        data = f.read()
    return data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9"


class Server:
    """One of the test servers, on a fixed port so that a restart comes back where the
    program expects it."""

    def __init__(self, name, command):
        self.name, self.command = name, command
        self.process = None
        self.kills = self.stalls = 0
        self.generation = 0

    def start(self):
        self.generation += 1
        argv = self.command(self.generation)
        for _ in range(50):
            self.process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                            stderr=subprocess.DEVNULL)
            if self.process.stdout.readline().strip():
                return
            # The port may still be held by the killed one's last connections.
            self.process.wait(timeout=5)
            time.sleep(0.2)
        raise RuntimeError(f"{self.name} server did not start")

    def kill(self):
        self.process.kill()
        self.process.wait(timeout=10)
        self.kills += 1

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGCONT)
            self.process.kill()
            self.process.wait(timeout=10)


class Pixlet:
    def __init__(self, name, argv, env, stderr_path):
        self.name = name
        self.stderr = open(stderr_path, "wb")
        self.process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=self.stderr,
                                        stderr=self.stderr)
        # (seconds since start, RSS kB, open descriptors, steady: no connection being made or
        # lost, so the descriptor count is comparable)
        self.samples = []

    def alive(self):
        return self.process.poll() is None

    def sample(self, t, steady=True):
        try:
            with open(f"/proc/{self.process.pid}/status") as f:
                rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
            fds = len(os.listdir(f"/proc/{self.process.pid}/fd"))
        except (OSError, StopIteration):
            return
        self.samples.append((t, rss, fds, steady))

    def end(self, limit_s):
        """Asks the program to end as a service manager would; returns (exit code, seconds)."""
        started = time.monotonic()
        if self.alive():
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(timeout=limit_s)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            code = None
        self.stderr.close()
        return code, time.monotonic() - started


def read_log(path, stamps=False):
    """The program's log lines without their time stamps (the soak's log never rotates), or
    with stamps, (seconds since the epoch, line) pairs."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = [line.rstrip("\n") for line in f]
    if not stamps:
        return [STAMP.sub("", line) for line in lines]
    stamped = []
    for line in lines:
        if STAMP.match(line):
            moment = time.mktime(time.strptime(line[:19], "%d/%m/%Y %H:%M:%S"))
            stamped.append((moment, line[21:]))
    return stamped


def longest_waits(stamped, start, end):
    """For each output, the longest time between two of its results (success or error) while
    pictures were arriving: an output stuck busy shows as a long wait."""
    results = {"archive": ("Archive - Archived OK", "Archive - Error"),
               "FTP": ("FTP - Upload completed OK", "FTP - Error"),
               "mail": ("SMTP - Email sent OK", "SMTP - Email failed", "SMTP - Error")}
    waits = {}
    for output, prefixes in results.items():
        last, longest = start, 0.0
        for moment, line in stamped:
            if start <= moment <= end and line.startswith(prefixes):
                longest = max(longest, moment - last)
                last = moment
        waits[output] = max(longest, end - last)
    return waits


class Soak:
    def __init__(self, args):
        self.args = args
        self.random = random.Random(args.seed)
        self.work = tempfile.mkdtemp(prefix="pixlet-soak-")
        self.stop_faults = threading.Event()
        self.stop_drops = threading.Event()
        self.drops = []  # (name, kind, time)
        self.drops_lock = threading.Lock()
        self.faults = {"FTP server killed": 0, "SMTP server killed": 0, "FTP server frozen": 0,
                       "archive file system filled": 0, "camera unplugged": 0}
        self.notes = []
        self.checks = []
        self.threads = []
        self.mounted = False
        self.archived_seen = self.archived_whole = 0

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    # ---- set-up -----------------------------------------------------------------------------
    def start_display(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                                      "-nolisten", "tcp"], pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        return ":" + number

    def make_archive_fs(self):
        target = self.path("archive-fs")
        os.makedirs(target)
        size = f"{self.args.archive_mb}m"
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755", "tmpfs", target],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode == 0:
            self.mounted = True
        else:
            self.notes.append("the archive's file system is not filled: cannot mount a tmpfs here ("
                              + result.stdout.strip() + ")")
        return target

    def first_start(self, binary, data, env):
        """The program's first start writes its defaults, example captions included."""
        log_path = os.path.join(self.work, "first-start-" + os.path.basename(data.rstrip("/")) + ".log")
        with open(log_path, "wb") as out:
            process = subprocess.Popen([binary, "--headless", "--data-dir", data], env=env,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        ini = os.path.join(data, "Pixlet.ini")
        started = time.monotonic()
        while time.monotonic() - started < 60 and process.poll() is None:
            if os.path.exists(ini) and os.path.getsize(ini) > 0:
                break
            time.sleep(0.1)
        waited = time.monotonic() - started
        stacks = ""
        if not os.path.exists(ini) and process.poll() is None and shutil.which("gdb"):
            # Still running and nothing written: where it waits is what to mend.
            stacks = subprocess.run(["gdb", "-p", str(process.pid), "-batch", "-ex", "thread apply all bt"],
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    text=True, timeout=60).stdout[-12000:]
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
        try:
            code = process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            process.kill()
            code = process.wait()
        if not os.path.exists(ini):
            with open(log_path, "rb") as out:
                said = out.read()[-4000:].decode("utf-8", "replace")
            raise RuntimeError(f"the first start in {data} wrote no settings within {waited:.1f} s "
                               f"(exit status {code}); it said:\n{said}\n{stacks}")
        log(f"first start in {data} wrote its settings after {waited:.1f} s")

    def set_up(self):
        binary = self.args.binary
        self.drop_dir = self.path("drop")
        self.staging = self.path("staging")
        self.ftp_home = self.path("ftp-home")
        self.mail_root = self.path("mail")
        self.tmp = self.path("tmp")
        for d in (self.drop_dir, self.staging, self.ftp_home, self.mail_root, self.tmp):
            os.makedirs(d)
        self.pictures = make_pictures(self.path("pictures"), 8)
        self.archive = self.make_archive_fs()
        self.camera_archive = self.path("camera-archive")
        self.plug = self.path("camera-plugged")
        self.camera_steady_from = 0.0  # time.monotonic() from which the camera is steady; None: away
        open(self.plug, "w").close()

        ftp_port, smtp_port = free_port(), free_port()
        self.ftp = Server("FTP", lambda g: [sys.executable, FTP_SERVER, self.ftp_home, FTP_USER, FTP_PASSWORD,
                                            "--port", str(ftp_port)])

        def smtp_argv(generation):
            out = os.path.join(self.mail_root, str(generation))
            os.makedirs(out, exist_ok=True)
            return [sys.executable, SMTP_SERVER, out, str(smtp_port)]

        self.smtp = Server("SMTP", smtp_argv)
        self.ftp.start()
        self.smtp.start()

        env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM"):
            env.pop(name, None)
        env["TMPDIR"] = self.tmp
        env["LC_ALL"] = "C.UTF-8"

        self.data = self.path("desktop") + "/"
        self.camera_data = self.path("service") + "/"
        os.makedirs(self.data)
        os.makedirs(self.camera_data)
        self.first_start(binary, self.data, env)
        self.first_start(binary, self.camera_data, env)
        write_settings(self.data + "Pixlet.ini", {
            "SourceType": 0, "SourceFileCollectDirectory": self.drop_dir, "SourceFileCollectMask": "*.jpg",
            "SourceFileCollectDeleteOnCollection": "Yes", "SourceFileCollectDeleteDelay": 0,
            "SourceCrop": "Yes", "SourceCropOriginX": 100, "SourceCropOriginY": 100,
            "SourceCropWidth": 1280, "SourceCropHeight": 720,
            "SourceResize": "Yes", "SourceResizeWidth": 800, "SourceResizeHeight": 450,
            "ArchiveRootDirectory": self.archive, "ArchiveSaveDelay": 0,
            "ArchiveSubdirectoryAndFilename": "<YYYY><MO><DD>/<HH><MM><SS>-<MS>.jpg",
            "FTPServer": "127.0.0.1", "FTPPort": ftp_port, "FTPUsername": FTP_USER,
            "FTPPassword": FTP_PASSWORD, "FTPEncryptPassword": "No", "FTPDestinationDirectory": "/",
            "FTPDestinationFilename": "live.jpg", "FTPThumbnailEnable": "Yes",
            "FTPThumbnailDestinationFilename": "thumb.jpg",
            "EmailServer": "127.0.0.1", "EmailPort": smtp_port, "EmailToAddress": "viewer@example.net",
            "EmailFrom Address": "camera@example.net",
            "LogSaveToDisk ": "Yes", "LogFileMaxSizeMB": 200,
            "ControlEnableArchive": "Yes", "ControlEnableFTP": "Yes", "ControlEnableEmail": "Yes",
            "ControlEnableCaptions": "Yes", "ControlProcessCollectionType": 1, "ControlStartOnLoad": "Yes",
        })
        write_settings(self.camera_data + "Pixlet.ini", {
            "SourceType": 1, "SourceVideoDeviceID": "pixlet-test-camera",
            "ArchiveRootDirectory": self.camera_archive, "ArchiveSaveDelay": 0,
            "ArchiveSubdirectoryAndFilename": "<HH><MM><SS>.jpg",
            "LogSaveToDisk ": "Yes", "LogFileMaxSizeMB": 200,
            "ControlEnableArchive": "Yes", "ControlEnableCaptions": "Yes",
            "ControlProcessCollectionType": 0, "ControlProcessCycleTime": 2,
        })

        display = self.start_display()
        desktop_env = dict(env, DISPLAY=display)
        camera_env = dict(env, PIXLET_TEST_CAMERA="1", PIXLET_TEST_CAMERA_PLUG=self.plug)
        camera_env.pop("DISPLAY", None)
        self.desktop = Pixlet("desktop", [binary, "--data-dir", self.data, "--start"], desktop_env,
                              self.path("desktop.stderr"))
        self.camera = Pixlet("service", [binary, "--headless", "--data-dir", self.camera_data], camera_env,
                             self.path("service.stderr"))

    # ---- the run ----------------------------------------------------------------------------
    def drop(self, n):
        roll = self.random.random()
        picture = self.pictures[n % len(self.pictures)]
        if roll < 0.05:
            kind = "truncated"
        elif roll < 0.10:
            kind = "slow"
        else:
            kind = "whole"
        name = f"soak-{n:06d}-{kind}.jpg"
        with self.drops_lock:
            self.drops.append((name, kind, time.monotonic()))
        if kind == "whole":
            # Written aside and renamed in, as a camera's upload software does.
            staged = os.path.join(self.staging, name)
            with open(staged, "wb") as f:
                f.write(picture)
            os.rename(staged, os.path.join(self.drop_dir, name))
        elif kind == "truncated":
            # A writer that died: the file ends for good in the middle of the picture.
            with open(os.path.join(self.drop_dir, name), "wb") as f:
                f.write(picture[:len(picture) * 2 // 5])
        else:
            def slow():
                with open(os.path.join(self.drop_dir, name), "wb") as f:
                    f.write(picture[:len(picture) // 3])
                    f.flush()
                    time.sleep(self.random.uniform(0.5, 1.5))
                    f.write(picture[len(picture) // 3:])
            thread = threading.Thread(target=slow)
            thread.start()
            self.threads.append(thread)

    def dropper(self):
        interval = 1.0 / self.args.rate
        n, next_at = 0, time.monotonic()
        while not self.stop_drops.is_set():
            self.drop(n)
            n += 1
            next_at += interval
            time.sleep(max(0.0, next_at - time.monotonic()))

    def fill_archive(self, hold_s):
        filler = os.path.join(self.archive, "filler")
        try:
            with open(filler, "wb") as f:
                block = b"\0" * (1 << 20)
                while True:
                    f.write(block)
                    f.flush()
        except OSError:
            pass
        time.sleep(hold_s)
        os.remove(filler)

    def faulter(self):
        kinds = list(self.faults)
        order = kinds[:]
        self.random.shuffle(order)  # every kind once before any twice
        while not self.stop_faults.wait(self.random.uniform(4, 10)):
            kind = order.pop(0) if order else self.random.choice(kinds)
            if kind == "archive file system filled" and not self.mounted:
                continue
            self.faults[kind] += 1
            log(kind)
            if kind == "FTP server killed":
                self.ftp.kill()
                time.sleep(self.random.uniform(0.5, 5))
                self.ftp.start()
            elif kind == "SMTP server killed":
                self.smtp.kill()
                time.sleep(self.random.uniform(0.5, 5))
                self.smtp.start()
            elif kind == "FTP server frozen":
                self.ftp.process.send_signal(signal.SIGSTOP)
                time.sleep(self.random.uniform(5, 20))
                self.ftp.process.send_signal(signal.SIGCONT)
            elif kind == "archive file system filled":
                self.fill_archive(self.random.uniform(3, 10))
            elif kind == "camera unplugged":
                self.camera_steady_from = None
                os.remove(self.plug)
                time.sleep(self.random.uniform(3, 8))
                open(self.plug, "w").close()
                # The device monitor's settling and the new connection take a few seconds.
                self.camera_steady_from = time.monotonic() + 12

    def sampler(self, started):
        while not self.stop_drops.wait(2):
            t = time.monotonic() - started
            self.desktop.sample(t)
            steady_from = self.camera_steady_from
            self.camera.sample(t, steady_from is not None and time.monotonic() >= steady_from)
            self.prune_archive()

    def prune_archive(self, keep_s=20):
        """What a retention job does: archived files older than a few seconds are checked and
        removed, so the small file system only fills when the run fills it on purpose."""
        now = time.time()
        for directory, _, files in os.walk(self.archive):
            for f in files:
                path = os.path.join(directory, f)
                if not f.endswith(".jpg"):
                    continue
                try:
                    if now - os.stat(path).st_mtime < keep_s:
                        continue
                    self.archived_whole += is_whole_jpeg(path)
                    self.archived_seen += 1
                    os.remove(path)
                except OSError:
                    pass

    def run(self):
        started = time.monotonic()
        self.run_started = time.time()
        # The first cycles (fonts, caches, connections) before any fault.
        time.sleep(3)
        threads = [threading.Thread(target=self.dropper), threading.Thread(target=self.faulter),
                   threading.Thread(target=self.sampler, args=(started,))]
        for t in threads:
            t.start()
        deadline = started + self.args.minutes * 60
        crashed = False
        while time.monotonic() < deadline:
            time.sleep(1)
            if not (self.desktop.alive() and self.camera.alive()):
                crashed = True
                break
        self.stop_faults.set()
        threads[1].join()
        self.stop_drops.set()
        threads[0].join()
        threads[2].join()
        for t in self.threads:
            t.join()
        self.run_seconds = time.monotonic() - started
        self.run_ended = time.time()
        return not crashed

    # ---- the end ----------------------------------------------------------------------------
    def wait_for(self, predicate, limit_s):
        end = time.monotonic() + limit_s
        while time.monotonic() < end:
            if predicate():
                return True
            time.sleep(0.5)
        return predicate()

    def last_picture_everywhere(self):
        """With every fault over, one more picture must reach the archive, the FTP server and
        the mailbox: nothing stayed stuck."""
        before = len(read_log(self.data + "pixlet.log"))
        name = "soak-final-whole.jpg"
        with self.drops_lock:
            self.drops.append((name, "whole", time.monotonic()))
        staged = os.path.join(self.staging, name)
        with open(staged, "wb") as f:
            f.write(self.pictures[0])
        os.rename(staged, os.path.join(self.drop_dir, name))
        wanted = ("Archive - Archived OK", "FTP - Upload completed OK", "SMTP - Email sent OK")

        def reached():
            lines = read_log(self.data + "pixlet.log")[before:]
            try:
                loaded = lines.index("Loaded file " + name)
            except ValueError:
                return False
            after = lines[loaded:]
            return all(any(line.startswith(w) for line in after) for w in wanted) and \
                after[-1:] != [] and any(line == "Processing cycle ended" for line in after)

        started = time.monotonic()
        ok = self.wait_for(reached, OUTPUT_LIMIT_S)
        return ok, time.monotonic() - started

    def quiet(self):
        """Waits until the desktop program's log has stood still for a few seconds."""
        last, since = -1, time.monotonic()
        end = time.monotonic() + OUTPUT_LIMIT_S
        while time.monotonic() < end:
            n = len(read_log(self.data + "pixlet.log"))
            if n != last:
                last, since = n, time.monotonic()
            elif time.monotonic() - since > 5:
                return True
            time.sleep(0.5)
        return False

    def check(self, name, ok, detail=""):
        self.checks.append((name, bool(ok), detail))

    def account(self, lines):
        """Every dropped picture: loaded, failed with a reason, or passed over by name; every
        loaded picture: a cycle, or a line saying why not."""
        loaded, failed, passed, extra_passed = set(), set(), set(), 0
        begun = skipped = not_published = outbox_dropped = 0
        archived = archive_errors = ftp_ok = ftp_errors = mail_ok = mail_errors = 0
        passed_re = re.compile(r"^(\d+) older file\(s\) passed over - the newer file (.+?) is taken: (.*)$")
        for line in lines:
            if line.startswith("Loaded file "):
                loaded.add(line[len("Loaded file "):])
            elif line.startswith("Failed to load file "):
                failed.add(line[len("Failed to load file "):])
            elif m := passed_re.match(line):
                names = m.group(3)
                more = re.search(r" and (\d+) more$", names)
                if more:
                    extra_passed += int(more.group(1))
                    names = names[:more.start()]
                passed.update(names.split(", "))
            elif line.startswith("Processing cycle begun at "):
                begun += 1
            elif m := re.match(r"^(\d+) image\(s\) skipped while busy$", line):
                skipped += int(m.group(1))
            elif line.startswith("Image not published - "):
                not_published += 1
            elif line.startswith("Archive - Archived OK"):
                archived += 1
            elif line.startswith("Archive - Error"):
                archive_errors += 1
            elif line.startswith("FTP - Upload completed OK"):
                ftp_ok += 1
            elif line.startswith("FTP - Error"):
                ftp_errors += 1
            elif line.startswith("SMTP - Email sent OK"):
                mail_ok += 1
            elif line.startswith("SMTP - Email failed") or line.startswith("SMTP - Error"):
                mail_errors += 1
            elif line.startswith("Outbox - Full "):
                outbox_dropped += 1
        counts = {k: 0 for k in ("whole", "slow", "truncated")}
        unaccounted, broken_taken, whole_failed = [], [], []
        for name, kind, _ in self.drops:
            counts[kind] += 1
            if kind == "truncated":
                if name in loaded:
                    broken_taken.append(name)
                elif name not in failed and name not in passed:
                    unaccounted.append(name)
            else:
                if name in failed:
                    whole_failed.append(name)
                elif name not in loaded and name not in passed:
                    unaccounted.append(name)
        # Names beyond the twenty a line shows are counted, not named.
        unnamed = len(unaccounted) - extra_passed
        loaded_count = sum(1 for line in lines if line.startswith("Loaded file "))
        return dict(counts=counts, loaded=loaded_count, failed=len(failed), passed=len(passed) + extra_passed,
                    begun=begun, skipped=skipped, not_published=not_published,
                    archived=archived, archive_errors=archive_errors, ftp_ok=ftp_ok, ftp_errors=ftp_errors,
                    mail_ok=mail_ok, mail_errors=mail_errors, outbox_dropped=outbox_dropped, unaccounted=unaccounted, unnamed=unnamed,
                    broken_taken=broken_taken, whole_failed=whole_failed)

    def memory_and_descriptors(self, p):
        """Growth after warm-up: the first quarter of the run (at least 30 s) is warm-up; the
        median RSS of the last quarter is compared with that of the second quarter."""
        samples = p.samples
        if len(samples) < 8:
            return None
        n = len(samples)
        warm = sorted(s[1] for s in samples[n // 4:n // 2])
        late = sorted(s[1] for s in samples[3 * n // 4:])
        warm_rss, late_rss = warm[len(warm) // 2], late[len(late) // 2]
        # A camera being connected again holds a pipeline's descriptors, and one away holds none:
        # only steady samples count, when a period has them.
        def fewest(period):
            steady = [s[2] for s in period if s[3]]
            return min(steady or [s[2] for s in period])
        warm_fds = fewest(samples[n // 4:n // 2])
        late_fds = fewest(samples[3 * n // 4:])
        return warm_rss, late_rss, warm_fds, late_fds

    def leftovers(self):
        """Temporary files anywhere the programs wrote."""
        found = []
        for top in (self.archive, self.camera_archive, self.ftp_home, self.data, self.camera_data, self.tmp):
            for directory, dirs, files in os.walk(top):
                for f in files + dirs:
                    if f.startswith(".") or f.endswith((".tmp", ".part", ".pixlet-part")) or "pixlet-tmp" in f:
                        found.append(os.path.join(directory, f))
        return found

    def camera_back(self, timeout=30):
        """Waits until the service has connected the camera again after every loss and archived
        a picture since the last return: (losses, returns, pictures since the last return)."""
        deadline = time.monotonic() + timeout
        while True:
            lines = read_log(self.camera_data + "pixlet.log")
            lost = sum(1 for line in lines if line.startswith("Video device disconnected unexpectedly"))
            returns = [i for i, line in enumerate(lines) if line == "Video device reconnected"]
            since = sum(1 for line in lines[returns[-1] if returns else 0:]
                        if line.startswith("Archive - Archived OK"))
            if (len(returns) >= lost and since > 0) or time.monotonic() > deadline:
                return lost, len(returns), since
            time.sleep(0.5)

    def finish(self, ran_clean):
        ok_last, last_s = self.last_picture_everywhere()
        camera_lost, camera_returns, camera_since = self.camera_back()
        settled = self.quiet()
        self.desktop.sample(time.monotonic())
        self.camera.sample(time.monotonic())
        memory = {p.name: self.memory_and_descriptors(p) for p in (self.desktop, self.camera)}
        desktop_code, desktop_s = self.desktop.end(20)
        camera_code, camera_s = self.camera.end(20)
        lines = read_log(self.data + "pixlet.log")
        camera_lines = read_log(self.camera_data + "pixlet.log")
        a = self.account(lines)
        # From the first drop (after the warm-up) to the last.
        waits = longest_waits(read_log(self.data + "pixlet.log", stamps=True), self.run_started + 5,
                              self.run_ended - 2)

        self.check("no crash during the run", ran_clean)
        self.check("the last picture reached archive, FTP and mail after the faults", ok_last,
                   f"{last_s:.1f} s")
        self.check("the program went quiet once the pictures stopped", settled)
        self.check("every dropped picture accounted for by name", not a["unaccounted"] or a["unnamed"] <= 0,
                   f"{len(a['unaccounted'])} not named, {max(a['unnamed'], 0)} beyond the counted ones"
                   + (": " + ", ".join(a["unaccounted"][:5]) if a["unnamed"] > 0 else ""))
        self.check("no half-written picture taken, no whole one refused",
                   not a["broken_taken"] and not a["whole_failed"],
                   ", ".join((a["broken_taken"] + a["whole_failed"])[:5]))
        balance = a["begun"] + a["skipped"] + a["not_published"]
        self.check("every loaded picture ended in a cycle or a line saying why", balance == a["loaded"],
                   f"loaded {a['loaded']} = cycles {a['begun']} + skipped "
                   f"{a['skipped']} + not published {a['not_published']} ({balance})")
        self.prune_archive(keep_s=0)
        self.check("every archived file is a whole JPEG", self.archived_whole == self.archived_seen,
                   f"{self.archived_whole} of {self.archived_seen}")
        self.check("archived files match the archived lines", self.archived_seen <= a["archived"],
                   f"{self.archived_seen} files, {a['archived']} lines")
        received = sum(1 for d, _, fs in os.walk(self.mail_root) for f in fs if f.endswith(".eml"))
        self.check("the mail server holds every mail reported sent", received >= a["mail_ok"],
                   f"{received} received, {a['mail_ok']} reported")
        # Each cycle's picture is mailed: one the server could not take waits in the outbox
        # until it can (or, the outbox full, is dropped with a line).
        self.check("every cycle's picture was mailed, late or not", a["mail_ok"] + a["outbox_dropped"] >= a["begun"],
                   f"{a['mail_ok']} mailed + {a['outbox_dropped']} dropped from a full outbox, {a['begun']} cycles")
        for name, code, seconds in (("desktop", desktop_code, desktop_s), ("service", camera_code, camera_s)):
            self.check(f"{name} program ended on SIGTERM within 10 s", code == 0 and seconds <= 10,
                       f"exit {code} after {seconds:.1f} s")
        self.check(f"no output stuck busy: a result from each at least every {OUTPUT_LIMIT_S} s",
                   all(w <= OUTPUT_LIMIT_S for w in waits.values()),
                   ", ".join(f"{k} {v:.0f} s" for k, v in waits.items()))
        left = self.leftovers()
        self.check("no temporary files left", not left, ", ".join(left[:5]))
        for name, m in memory.items():
            if m is None:
                self.check(f"{name}: memory sampled", False, "too few samples")
                continue
            warm_rss, late_rss, warm_fds, late_fds = m
            bound = max(self.args.memory_mb * 1024, warm_rss // 10)
            self.check(f"{name}: memory growth after warm-up within {bound // 1024} MB",
                       late_rss - warm_rss <= bound,
                       f"{warm_rss // 1024} MB -> {late_rss // 1024} MB")
            self.check(f"{name}: no descriptor growth", late_fds <= warm_fds + 2,
                       f"{warm_fds} -> {late_fds} (lowest of each period)")
        camera_archived = sum(1 for line in camera_lines if line.startswith("Archive - Archived OK"))
        unplugs = self.faults["camera unplugged"]
        # A camera lost while streaming is connected again by itself: the service must see it come
        # back after each unplug and archive its pictures again.
        found_again = sum(1 for line in camera_lines if line == "Pixlet Test Camera found")
        self.check("camera: pictures archived, the camera seen again after every unplug",
                   camera_archived > 0 and found_again >= unplugs + 1,
                   f"{camera_archived} archived, seen {found_again} times for {unplugs} unplugs")
        self.check("camera: connected again after every loss, pictures archived since the last",
                   camera_returns >= camera_lost and camera_since > 0,
                   f"{camera_lost} lost, {camera_returns} reconnected, {camera_since} archived since")
        print()
        print(f"Soak run: {self.run_seconds / 60:.1f} minutes at {self.args.rate} pictures a second "
              f"(seed {self.args.seed})")
        rows = [("pictures dropped (whole / written slowly / cut short)",
                 f"{sum(a['counts'].values())} ({a['counts']['whole']} / {a['counts']['slow']} / "
                 f"{a['counts']['truncated']})"),
                ("loaded / refused as damaged / passed over for a newer one",
                 f"{a['loaded']} / {a['failed']} / {a['passed']}"),
                ("cycles / skipped while busy / not published",
                 f"{a['begun']} / {a['skipped']} / {a['not_published']}"),
                ("archived / archive errors", f"{a['archived']} / {a['archive_errors']}"),
                ("uploaded / FTP errors", f"{a['ftp_ok']} / {a['ftp_errors']}"),
                ("mailed / mail errors / mails the server holds",
                 f"{a['mail_ok']} / {a['mail_errors']} / {received}"),
                ("camera pictures archived / losses / reconnections",
                 f"{camera_archived} / {camera_lost} / {camera_returns}")]
        rows += [(f"fault: {k}", str(v)) for k, v in self.faults.items()]
        for p in (self.desktop, self.camera):
            m = memory[p.name]
            if m:
                peak = max(sample[1] for sample in p.samples)
                rows.append((f"{p.name}: RSS after warm-up -> end, peak (MB)",
                             f"{m[0] / 1024:.1f} -> {m[1] / 1024:.1f}, {peak / 1024:.1f}"))
                rows.append((f"{p.name}: open descriptors after warm-up -> end", f"{m[2]} -> {m[3]}"))
        width = max(len(r[0]) for r in rows)
        for label, value in rows:
            print(f"  {label:<{width}}  {value}")
        print()
        for note in self.notes:
            print(f"  note: {note}")
        failed = 0
        for name, ok, detail in self.checks:
            failed += not ok
            print(f"  {'PASS' if ok else 'FAIL'}  {name}" + (f"  ({detail})" if detail else ""))
        print()
        print("soak run clean" if not failed else f"soak run FAILED: {failed} check(s)")
        return failed == 0

    def clean_up(self, keep):
        for server in (getattr(self, "ftp", None), getattr(self, "smtp", None)):
            if server:
                server.stop()
        for p in (getattr(self, "desktop", None), getattr(self, "camera", None)):
            if p and p.alive():
                p.process.kill()
                p.process.wait()
        if getattr(self, "xvfb", None):
            self.xvfb.kill()
            self.xvfb.wait()
        if self.mounted:
            subprocess.run(["umount", self.archive])
        if keep:
            print(f"kept {self.work}")
        else:
            shutil.rmtree(self.work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("minutes", type=float)
    parser.add_argument("--binary", default=os.path.join(ROOT, "build", "src", "app", "pixlet"))
    parser.add_argument("--rate", type=float, default=4, help="pictures dropped a second")
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--archive-mb", type=int, default=48, help="size of the archive's file system")
    parser.add_argument("--memory-mb", type=int, default=16, help="allowed growth after warm-up")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    args = parser.parse_args()
    soak = Soak(args)
    ok = False
    try:
        soak.set_up()
        log(f"running {args.minutes} minutes in {soak.work}")
        ran_clean = soak.run()
        ok = soak.finish(ran_clean)
    finally:
        soak.clean_up(args.keep or not ok)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
