"""What the interop tests share: the zqhost under test, free ports, peers
started and stopped cleanly, and output awaited line by line.

Each test is a script that ctest runs; exit code 77 means skipped (a peer
program is missing), 0 passed, anything else failed.
"""
import json
import os
import queue
import random
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


def family_of(address):
    """The socket family of a numeric address: IPv6 ones hold a colon."""
    return socket.AF_INET6 if ":" in address else socket.AF_INET


def _binds(address, port):
    with socket.socket(family_of(address), socket.SOCK_DGRAM) as probe:
        try:
            probe.bind((address, port))
            return True
        except OSError:
            return False


# Every pair handed out in this process: cases that run side by side never
# get the same one, even before their programs have bound it.
_handed_out = set()
_handing_out = threading.Lock()


# Pairs come from below the system's ephemeral range (32768 and up on Linux),
# where no socket bound to port 0 lands: a port picked here cannot be taken
# by another program's RTCP or probe socket before its own program binds it.
_FIRST_PICKED_PORT = 10000
_LAST_PICKED_PORT = 32000
_picks = random.Random(os.getpid() ^ time.monotonic_ns())


def free_port_pair(addresses=("127.0.0.1", "127.0.0.2")):
    """An even port P with P and P + 1 free on every address and never
    handed out before in this process."""
    with _handing_out:
        for _ in range(256):
            port = _picks.randrange(_FIRST_PICKED_PORT, _LAST_PICKED_PORT, 2)
            if port in _handed_out:
                continue
            if all(_binds(a, p) for a in addresses for p in (port, port + 1)):
                _handed_out.add(port)
                return port
    raise Failure("no free port pair")


def _bound_on(port):
    """The local addresses of the UDP sockets bound to `port`, as the
    kernel lists them (each 32-bit word of an address in host order)."""
    found = set()
    for table, family in (("/proc/net/udp", socket.AF_INET), ("/proc/net/udp6", socket.AF_INET6)):
        with open(table) as file:
            for row in file.read().splitlines()[1:]:
                address, port_hex = row.split()[1].split(":")
                if int(port_hex, 16) == port:
                    raw = bytes.fromhex(address)
                    found.add(socket.inet_ntop(family, b"".join(raw[i:i + 4][::-1] for i in range(0, len(raw), 4))))
    return found


def bound_by_someone(address, port):
    """Whether a socket holds `port` on `address`, or on an any address that
    covers it. Read from the kernel's table, not by binding a probe: a probe
    holding the port for a moment could make the very program awaited fail
    to bind it."""
    return bool(_bound_on(port) & {address, "::", "0.0.0.0" if family_of(address) == socket.AF_INET else "::"})


def wait_until_bound(address, port, seconds, who):
    """Waits until `who` has bound the port: some peers say nothing when
    their sockets are ready."""
    deadline = time.monotonic() + seconds
    while not bound_by_someone(address, port):
        check(time.monotonic() < deadline, f"{who} did not open port {port} within {seconds} s")
        time.sleep(0.05)


class Loopback:
    """The loopback addresses of one address family, by the part each plays:
    `sending` (the side that sends the stream), `receiving` and `third` (a
    peer that watches both).

    IPv4 gives every part an address of its own in 127.0.0.0/8. IPv6 has
    ::1 alone: every part is ::1 there and only the ports tell them apart.
    A sending stack whose RTCP destination is its own address sends no
    RTCP (it takes that for "no RTCP wanted"), so over IPv6 our sender binds
    the any address (`sender_bind`, zqhost send's default) and its packets
    leave from ::1.

    The family comes from the environment (ZQ_ADDRESS_FAMILY=ipv6 or ipv4,
    the default), which ctest sets for the IPv6 run of a script."""

    def __init__(self):
        self.family = os.environ.get("ZQ_ADDRESS_FAMILY", "ipv4")
        if self.family == "ipv6":
            self.sending = self.receiving = self.third = "::1"
            self.sender_bind = "::"
        elif self.family == "ipv4":
            self.sending, self.receiving, self.third = "127.0.0.1", "127.0.0.2", "127.0.0.3"
            self.sender_bind = self.sending
        else:
            raise Failure(f"address family '{self.family}' is neither ipv4 nor ipv6")
        self.ipv6 = self.family == "ipv6"

    @property
    def both(self):
        """Where the ports of both sides are probed: the sending and the
        receiving address, or over IPv6 the any address, which holds a port
        on ::1 and on every IPv4 address as well."""
        return ("::",) if self.ipv6 else (self.sending, self.receiving)

    def endpoint(self, address, port):
        """address:port, an IPv6 address in brackets."""
        return f"[{address}]:{port}" if ":" in address else f"{address}:{port}"

    @property
    def sdp_type(self):
        """The address type of an SDP o= or c= line."""
        return "IP6" if self.ipv6 else "IP4"

    @property
    def source_field(self):
        """The tshark field of a packet's source address."""
        return "ipv6.src" if self.ipv6 else "ip.src"

    def free_port_pair(self, addresses=None):
        """A free pair on the given addresses (default: the sending and the
        receiving one)."""
        return free_port_pair(addresses or self.both)

    def start_recv(self, out):
        """zqhost recv on a free pair of the receiving address, its peer on
        one of the sending address: (recv, its port, the peer's port)."""
        ours, theirs = self.free_port_pair(), self.free_port_pair()
        recv = start_recv(self.endpoint(self.receiving, ours), out, "--peer", self.endpoint(self.sending, theirs))
        return recv, ours, theirs


class Process:
    """A program run in the background whose output lines are kept and can
    be awaited. Stopped (and reaped) by stop() or at the end of a with."""

    def __init__(self, args, name, merge_stderr=True):
        self.name = name
        self.args = args
        self.lines = []
        self._queue = queue.Queue()
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT if merge_stderr else subprocess.PIPE,
                                     stdin=subprocess.DEVNULL, text=True, errors="replace")
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
        self.keep_printed()
        return code

    def keep_printed(self):
        """Keeps the lines printed so far, without waiting for more."""
        while True:
            try:
                line = self._queue.get_nowait()
            except queue.Empty:
                return
            if line is None:
                self._queue.put(None)  # the end, for wait_for
                return
            self.lines.append(line)

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


def wait_delivered(recv, octets):
    """Waits until zqhost recv reports (every two seconds) having delivered
    `octets`."""
    recv.wait_for(lambda line: '"delivered"' in line and json.loads(line)["delivered"]["octets"] >= octets,
                  10, f"{octets} octets delivered")


def end_recv_when_delivered(recv, expected_path, received_path, peer):
    """Waits until zqhost recv reported delivering as many octets as the
    peer encoded into `expected_path`, ends it, and checks that it wrote
    exactly those bytes. The payload bytes."""
    wait_delivered(recv, os.path.getsize(expected_path))
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


def start_recv(on, out, *options, name="zqhost recv"):
    """zqhost recv on `on` writing payloads to `out`, once it has printed
    its first statistics."""
    recv = zqhost("recv", "--on", on, "--out", out, *options, "--json", "--log-level", "none", name=name)
    try:
        recv.wait_for(lambda line: '"delivered"' in line, 10, "first report")
    except Failure:
        recv.stop()
        raise
    return recv


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


def reported_sources(process, side):
    """The sources on `side` ("local" or "remote") of zqhost's last
    statistics line that has any."""
    for line in reversed(process.lines):
        if line.startswith("{") and '"sources"' in line:
            found = [s for s in json.loads(line)["sources"] if s["side"] == side]
            if found:
                return found
    raise Failure(f"{process.name} reported no {side} source\n" + process.transcript())


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
