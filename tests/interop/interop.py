"""What the interop tests share: the zqhost under test, free ports, peers
started and stopped cleanly, and output awaited line by line.

Each test is a script that ctest runs; exit code 77 means skipped (a peer
program is missing), 0 passed, anything else failed.
"""
import json
import os
import queue
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
ZQHOST = os.environ.get("ZQHOST", "zqhost")


class Failure(Exception):
    pass


def require(*programs):
    """Skips the test (exit 77) when a peer program is not installed."""
    missing = [p for p in programs if shutil.which(p) is None]
    if missing:
        print("SKIPPED: not installed: " + ", ".join(missing))
        sys.exit(SKIP)


def check(condition, message):
    if not condition:
        raise Failure(message)


_folders = []


def work_folder(name):
    """A fresh folder for the test's files; removed when the test passes."""
    root = os.environ.get("ZQ_WORK") or tempfile.gettempdir()
    os.makedirs(root, exist_ok=True)
    _folders.append(tempfile.mkdtemp(prefix=name + "-", dir=root))
    return _folders[-1]


def _binds(address, port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind((address, port))
            return True
        except OSError:
            return False


# Every pair handed out in this process: cases that run side by side never
# get the same one, even before their programs have bound it.
_handed_out = set()
_handing_out = threading.Lock()


def free_port_pair(addresses=("127.0.0.1", "127.0.0.2"), taken=()):
    """An even port P with P and P + 1 free on every address, not in `taken`
    and never handed out before in this process."""
    with _handing_out:
        for _ in range(64):
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
                probe.bind((addresses[0], 0))
                port = probe.getsockname()[1] & ~1
            if port < 1024 or port in taken or port + 1 in taken or port in _handed_out:
                continue
            if all(_binds(a, p) for a in addresses for p in (port, port + 1)):
                _handed_out.add(port)
                return port
    raise Failure("no free port pair")


def bound_by_someone(address, port):
    return not _binds(address, port)


class Process:
    """A program run in the background whose output lines are kept and can
    be awaited. Stopped (and reaped) by stop() or at the end of a with."""

    def __init__(self, args, name, merge_stderr=True, cwd=None):
        self.name = name
        self.args = args
        self.lines = []
        self._queue = queue.Queue()
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT if merge_stderr else subprocess.PIPE,
                                     stdin=subprocess.DEVNULL, text=True, errors="replace", cwd=cwd)
        self._readers = [threading.Thread(target=self._read, args=(self.proc.stdout,), daemon=True)]
        if not merge_stderr:
            self.errors = []
            self._readers.append(threading.Thread(target=self._collect, args=(self.proc.stderr,), daemon=True))
        for reader in self._readers:
            reader.start()

    def _read(self, stream):
        for line in stream:
            self._queue.put(line.rstrip("\n"))
        self._queue.put(None)

    def _collect(self, stream):
        for line in stream:
            self.errors.append(line.rstrip("\n"))

    def wait_for(self, predicate, seconds, what):
        """The first line (old or new) for which predicate holds."""
        for line in self.lines:
            if predicate(line):
                return line
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure(f"{self.name}: no {what} within {seconds} s\n" + self.transcript())
            try:
                line = self._queue.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise Failure(f"{self.name} ended before {what}\n" + self.transcript())
            self.lines.append(line)
            if predicate(line):
                return line

    def finish(self, seconds):
        """Waits for the program to end by itself; its exit code."""
        try:
            code = self.proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failure(f"{self.name} did not end within {seconds} s\n" + self.transcript())
        for reader in self._readers:
            reader.join(timeout=5)
        while True:
            try:
                line = self._queue.get_nowait()
            except queue.Empty:
                break
            if line is not None:
                self.lines.append(line)
        return code

    def interrupt(self, seconds=10):
        """One SIGINT, then waits for the end; its exit code."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
        return self.finish(seconds)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def transcript(self):
        text = f"--- {self.name}: {' '.join(self.args)}\n" + "\n".join(self.lines[-40:])
        if hasattr(self, "errors"):
            text += "\n--- its standard error\n" + "\n".join(self.errors[-20:])
        return text

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def end_recv_when_delivered(recv, expected_path, received_path, peer):
    """Waits until zqhost recv reported delivering as many octets as the
    peer encoded into `expected_path`, ends it, and checks that it wrote
    exactly those bytes. The payload bytes."""
    size = os.path.getsize(expected_path)
    # Delivered counts are reported every two seconds.
    recv.wait_for(lambda line: '"delivered"' in line and json.loads(line)["delivered"]["octets"] >= size,
                  10, f"{size} octets delivered")
    check(recv.interrupt() == 0, "zqhost recv did not end cleanly\n" + recv.transcript())
    with open(expected_path, "rb") as file:
        want = file.read()
    with open(received_path, "rb") as file:
        got = file.read()
    check(got == want, f"the payloads ({len(got)} bytes) differ from what {peer} encoded ({len(want)} bytes)")
    return got


def zqhost(*args, name="zqhost"):
    """zqhost in the background; statistics on stdout, logs on stderr apart."""
    return Process([ZQHOST, *map(str, args)], name, merge_stderr=False)


class Relay(Process):
    """zqhost relay in the background; (`address`, `port`) is the pair it
    sends from, and takes the receiver's reports on (port + 1)."""

    def __init__(self, listen, to, *options):
        super().__init__([ZQHOST, "relay", "--listen", listen, "--to", to, *map(str, options)], "zqhost relay")
        line = self.wait_for(lambda text: text.startswith("listening on"), 10, "the relay's start")
        address, port = line.rsplit(" from ", 1)[1].rsplit(":", 1)
        self.address, self.port = address, int(port)


def json_lines(process, key):
    """The JSON objects the process printed that hold `key`."""
    found = []
    for line in process.lines:
        if line.startswith("{"):
            value = json.loads(line)
            if key in value:
                found.append(value[key])
    return found


def run_test(body):
    try:
        body()
    except Failure as failure:
        print("FAILED: " + str(failure))
        print("files kept in: " + ", ".join(_folders))
        sys.exit(1)
    for folder in _folders:
        shutil.rmtree(folder, ignore_errors=True)
    print("PASSED")
    sys.exit(0)
