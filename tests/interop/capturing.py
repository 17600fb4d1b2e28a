"""The loopback captured by dumpcap and read back by tshark: what the
scripts that look at our bytes on the wire share."""
import subprocess
import sys

from interop import SKIP, Failure, Process, check


def start_dumpcap(path, capture_filter):
    """dumpcap writing to `path` what `capture_filter` lets through on the
    loopback, once it captures; skips the test where capturing is not
    allowed."""
    capture = Process(["dumpcap", "-i", "lo", "-f", capture_filter, "-w", path], "dumpcap")
    try:
        # It names its file once it captures; "Capturing on" comes before.
        capture.wait_for(lambda line: line.startswith("File:"), 10, "the capture's start")
    except Failure as failure:
        capture.stop()
        print(f"SKIPPED: no capture on the loopback here ({str(failure).splitlines()[0]})")
        sys.exit(SKIP)
    return capture


def tshark(pcap, port, *args, fields=(), occurrence="a"):
    """tshark's output on a capture, `port` decoded as RTP and the next port
    as RTCP; with `fields`, per packet the list of their values, each
    occurrence of a field joined by commas."""
    if fields:
        args += ("-T", "fields", "-E", "separator=|", "-E", f"occurrence={occurrence}",
                 *(argument for name in fields for argument in ("-e", name)))
    result = subprocess.run(["tshark", "-r", pcap, "-d", f"udp.port=={port},rtp", "-d", f"udp.port=={port + 1},rtcp",
                             *args], capture_output=True, text=True, timeout=60)
    check(result.returncode == 0, f"tshark {' '.join(args)} failed: {result.stderr}")
    return [line.split("|") for line in result.stdout.splitlines()] if fields else result.stdout
