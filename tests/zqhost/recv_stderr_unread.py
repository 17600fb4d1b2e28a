"""zqhost recv, log at level 0, with its standard error on a pipe nobody
reads for its first 10 s, while a 12 s stream and a flood of garbage arrive:
the payload file holds every packet, in order, and the log says how many of
its lines it dropped."""
import os
import socket
import struct
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from interop import *  # noqa: E402,F403

STREAM_SECONDS = 12
PACKETS_PER_SECOND = 250
GARBAGE_PER_PACKET = 4
# `zqhost recv ... 2>&1 | (sleep 10; cat)`, its statistics kept apart on ours.
UNREAD_STDERR = 'exec 3>&1; "$@" 2>&1 >&3 | { sleep 10; cat; } >&2'


def payload(n):
    """Every packet's payload differs, so a lost or swapped one shows."""
    return struct.pack(">I", n) * 40


def rtp(n):
    return struct.pack(">BBHII", 0x80, 8, n & 0xFFFF, 160 * n, 0x5EEDF00D) + payload(n)


def garbage(n):
    """Version 1: never a source, always worth a log line."""
    return bytes([0x40 | (n & 0x3F)]) + os.urandom(11 + n % 40)


def body():
    port = free_port_pair(("127.0.0.2",))
    received = os.path.join(work_folder("recv-stderr-unread"), "received.alaw")
    packets = STREAM_SECONDS * PACKETS_PER_SECOND
    # Ends by itself a few seconds after the stream.
    args = [ZQHOST, "recv", "--on", f"127.0.0.2:{port}", "--out", received, "--json", "--log-level", "0",
            "--seconds", STREAM_SECONDS + 6]
    with Process(["sh", "-c", UNREAD_STDERR, "sh", *map(str, args)], "zqhost recv", merge_stderr=False) as recv:
        recv.wait_for(lambda line: '"delivered"' in line, 10, "first report")
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            start = time.monotonic()
            for n in range(packets):
                ahead = start + n / PACKETS_PER_SECOND - time.monotonic()
                if ahead > 0:
                    time.sleep(ahead)  # the stream's pace
                sender.sendto(rtp(n), ("127.0.0.2", port))
                for g in range(GARBAGE_PER_PACKET):
                    sender.sendto(garbage(n + g), ("127.0.0.2", port))
        check(recv.finish(30) == 0, "zqhost recv failed\n" + recv.transcript())

    with open(received, "rb") as file:
        got = file.read()
    want = b"".join(payload(n) for n in range(packets))
    check(got == want, f"received {len(got)} of {len(want)} payload bytes, or not in order")
    dropped = [line for line in recv.errors if line.endswith(" log lines dropped")]
    check(dropped, "no line on dropped log lines: the pipe never filled?\n" + recv.transcript())


run_test(body)
