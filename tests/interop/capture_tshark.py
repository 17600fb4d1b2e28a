"""Our traffic, captured and decoded by tshark as RTP and RTCP: no malformed
packet, no expert error, SR, RR, SDES and BYE where we send them, and
sender reports whose NTP time is the real time and whose RTP timestamp is
the stream's media time.

One zqhost process runs a sender ("RTP out" on 127.0.0.1) and a receiver
("RTP in" on 127.0.0.2), both talking to a peer on 127.0.0.3 that this
script plays: it takes the sender's RTP and RTCP and the receiver's reports,
and it streams RTP to the receiver under the sender's own SSRC. That is a
collision (RFC 3550, 8.2): the sender leaves its SSRC with a BYE and goes on
under a new one.

The capture is dumpcap's on the loopback; where capturing is not allowed,
the peer writes what it receives to a pcap file itself.
"""
import os
import shutil
import socket
import struct
import subprocess
import threading
import time
import xml.etree.ElementTree as ElementTree

from interop import *

PEER = "127.0.0.3"
SECONDS = 16  # the receiver reports every 5 s, its first report only arms it: RRs at 10 and 15 s


class Peer:
    """Receives on PEER:port (RTP) and port + 1 (RTCP), keeping every
    datagram with its source, and streams RTP to a receiver when asked."""

    def __init__(self, port):
        self.port = port
        self.datagrams = []  # (time, source address, source port, destination port, bytes)
        self.lock = threading.Condition()
        self.done = threading.Event()
        self.sockets = []
        for p in (port, port + 1):
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((PEER, p))
            s.settimeout(0.2)
            self.sockets.append(s)
            threading.Thread(target=self._receive, args=(s, p), daemon=True).start()

    def _receive(self, s, port):
        while not self.done.is_set():
            try:
                data, (address, source_port) = s.recvfrom(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            with self.lock:
                self.datagrams.append((time.time(), address, source_port, port, data))
                self.lock.notify_all()

    def first_rtp_ssrc(self, seconds):
        with self.lock:
            check(self.lock.wait_for(lambda: any(d[3] == self.port for d in self.datagrams), seconds),
                  f"no RTP reached the peer within {seconds} s")
            data = next(d[4] for d in self.datagrams if d[3] == self.port)
        return struct.unpack("!I", data[8:12])[0]

    def stream(self, destination, ssrc):
        """RTP packets of 20 ms from the peer's RTP socket until stopped."""
        def run():
            sequence, timestamp = 1, 0
            while not self.done.wait(0.02):  # the peer's own pacing
                header = struct.pack("!BBHII", 0x80, 8, sequence & 0xFFFF, timestamp & 0xFFFFFFFF, ssrc)
                self.sockets[0].sendto(header + bytes(160), destination)
                sequence, timestamp = sequence + 1, timestamp + 160
        threading.Thread(target=run, daemon=True).start()

    def close(self):
        self.done.set()
        for s in self.sockets:
            s.close()

    def write_pcap(self, path):
        """What the peer received, as IPv4/UDP packets (link type 228)."""
        with open(path, "wb") as file:
            file.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 228))
            for when, address, source_port, port, data in self.datagrams:
                udp = struct.pack("!HHHH", source_port, port, 8 + len(data), 0) + data
                ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0, 64, 17, 0,
                                 socket.inet_aton(address), socket.inet_aton(PEER))
                ip = ip[:10] + struct.pack("!H", checksum(ip)) + ip[12:]
                packet = ip + udp
                file.write(struct.pack("<IIII", int(when), int(when % 1 * 1e6), len(packet), len(packet)))
                file.write(packet)


def checksum(header):
    total = sum(struct.unpack(f"!{len(header) // 2}H", header))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def save_graph(path, *args):
    result = subprocess.run([ZQHOST, *map(str, args), "--save-graph", path], capture_output=True, text=True,
                            timeout=30)
    check(result.returncode == 0, f"zqhost {args[0]} --save-graph failed: {result.stderr}")


def merge_graphs(first, second, merged):
    """One graph file with the modules and connections of both."""
    tree = ElementTree.parse(first)
    root = tree.getroot()
    other = ElementTree.parse(second).getroot()
    at = [child.tag for child in root].index("connection")
    for module in other.findall("module"):
        root.insert(at, module)
        at += 1
    for connection in other.findall("connection"):
        root.append(connection)
    tree.write(merged)


def start_capture(path):
    """dumpcap on the loopback for what goes to the peer; None when not allowed."""
    if shutil.which("dumpcap") is None:
        return None
    capture = Process(["dumpcap", "-i", "lo", "-f", f"udp and dst host {PEER}", "-w", path], "dumpcap")
    try:
        capture.wait_for(lambda line: line.startswith("Capturing on"), 10, "capture start")
        return capture
    except Failure as failure:
        capture.stop()
        print(f"no capture on the loopback ({str(failure).splitlines()[0]}): the peer's own recording is used")
        return None


def tshark(pcap, port, *args):
    decode = ["-d", f"udp.port=={port},rtp", "-d", f"udp.port=={port + 1},rtcp"]
    result = subprocess.run(["tshark", "-r", pcap, *decode, *args], capture_output=True, text=True, timeout=60)
    check(result.returncode == 0, f"tshark {' '.join(args)} failed: {result.stderr}")
    return result.stdout


def analyse(pcap, peer_port, sender_ssrc):
    # Frame, source, destination port, RTP SSRC, then the RTCP packet types
    # and the SSRCs a BYE names (several per compound).
    fields = tshark(pcap, peer_port, "-T", "fields", "-E", "separator=|", "-E", "occurrence=a",
                    "-e", "frame.number", "-e", "ip.src", "-e", "udp.dstport", "-e", "rtp.ssrc",
                    "-e", "rtcp.pt", "-e", "rtcp.senderssrc", "-e", "rtcp.ssrc.identifier")
    rtp_from_sender, kinds = 0, {}
    for line in fields.splitlines():
        _, source, _, rtp_ssrc, types, _, _ = line.split("|")
        if rtp_ssrc:
            rtp_from_sender += source == "127.0.0.1"
        for kind in filter(None, types.split(",")):
            kinds.setdefault(int(kind), set()).add(source)
    check(rtp_from_sender > 0, "tshark found no RTP from the sender")
    wanted = {200: "127.0.0.1", 201: "127.0.0.2", 202: "127.0.0.1", 203: "127.0.0.1"}
    for kind, source in wanted.items():
        check(source in kinds.get(kind, set()), f"tshark found no RTCP packet type {kind} from {source}; "
              f"types seen: {kinds}")
    check("127.0.0.2" in kinds.get(202, set()), "tshark found no SDES from the receiver")

    byes = tshark(pcap, peer_port, "-Y", "rtcp.pt == 203", "-T", "fields", "-e", "rtcp.ssrc.identifier")
    named = {int(value, 0) for value in byes.replace(",", " ").split()}
    check(sender_ssrc in named, f"the BYE compound names {named}, not the sender's first SSRC {sender_ssrc}")

    malformed = tshark(pcap, peer_port, "-Y", "_ws.malformed")
    check(malformed.strip() == "", "tshark finds malformed packets:\n" + malformed)
    expert = tshark(pcap, peer_port, "-q", "-z", "expert,error")
    check("Errors" not in expert, "tshark's expert finds errors:\n" + expert)
    print(f"{rtp_from_sender} RTP packets from the sender; RTCP packet types by source: "
          + ", ".join(f"{k}: {sorted(v)}" for k, v in sorted(kinds.items())))


NTP_SECONDS_AT_1970 = 2208988800


def signed_difference(a, b):
    """a - b for 32-bit RTP timestamps that may have wrapped."""
    return (a - b + 2**31) % 2**32 - 2**31


def check_sender_reports(pcap, port):
    """Each SR from the sender, as tshark decodes it: NTP time within a few
    seconds of when it was captured, and an RTP timestamp within 1 s of the
    media time of the sender's last packet moved on to that moment (8 kHz)."""
    fields = tshark(pcap, port, "-T", "fields", "-E", "separator=|", "-E", "occurrence=f",
                    "-Y", "ip.src == 127.0.0.1 && (rtp || rtcp.pt == 200)",
                    "-e", "frame.time_epoch", "-e", "rtp.ssrc", "-e", "rtp.timestamp", "-e", "rtcp.senderssrc",
                    "-e", "rtcp.timestamp.ntp.msw", "-e", "rtcp.timestamp.ntp.lsw", "-e", "rtcp.timestamp.rtp")
    last_packet = {}  # SSRC: (capture time, RTP timestamp)
    reports, worst_clock, worst_media = 0, 0.0, 0
    for line in fields.splitlines():
        when, rtp_ssrc, rtp_timestamp, sr_ssrc, msw, lsw, sr_timestamp = line.split("|")
        when = float(when)
        if rtp_ssrc:
            last_packet[int(rtp_ssrc, 0)] = (when, int(rtp_timestamp))
            continue
        reports += 1
        ntp = int(msw) + int(lsw) / 2**32
        unix = ntp - NTP_SECONDS_AT_1970
        check(abs(unix - when) < 3, f"SR NTP time {int(msw)} is {time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(unix))}"
              f", captured at {time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(when))}")
        ssrc = int(sr_ssrc, 0)
        check(ssrc in last_packet, f"SR of SSRC {ssrc:#x} before any of its RTP packets")
        sent, timestamp = last_packet[ssrc]
        media_now = timestamp + round((when - sent) * 8000)
        off = signed_difference(int(sr_timestamp), media_now % 2**32)
        worst_clock, worst_media = max(worst_clock, abs(unix - when)), max(worst_media, abs(off))
        check(abs(off) < 8000, f"SR RTP timestamp {sr_timestamp} is {off / 8:.0f} ms off the stream's media time "
              f"({timestamp} {1000 * (when - sent):.0f} ms before)")
    check(reports > 0, "tshark found no sender report from the sender")
    decoded = tshark(pcap, port, "-Y", "ip.src == 127.0.0.1 && rtcp.pt == 200", "-T", "fields",
                     "-e", "rtcp.timestamp.ntp")
    year = str(time.gmtime().tm_year)
    check(all(year in line for line in decoded.splitlines()), f"tshark reads the SR times as:\n{decoded}")
    print(f"{reports} sender reports: NTP time within {1000 * worst_clock:.1f} ms of the capture, RTP timestamp "
          f"within {worst_media / 8:.1f} ms of the stream's media time")


def body():
    work = work_folder("capture")
    peer_port = free_port_pair((PEER,))
    sender_port = free_port_pair(("127.0.0.1",), taken=(peer_port,))
    receiver_port = free_port_pair(("127.0.0.2",), taken=(peer_port, sender_port))
    sender, receiver, both = (os.path.join(work, name) for name in ("sender.xml", "receiver.xml", "both.xml"))
    save_graph(sender, "send", "--to", f"{PEER}:{peer_port}", "--local-port", sender_port, "--codec", "PCMA",
               "--tone", 440)
    save_graph(receiver, "recv", "--on", f"127.0.0.2:{receiver_port}", "--peer", f"{PEER}:{peer_port}",
               "--out", os.path.join(work, "received.alaw"))
    merge_graphs(sender, receiver, both)

    peer = Peer(peer_port)
    captured = os.path.join(work, "capture.pcapng")
    capture = start_capture(captured)
    try:
        with zqhost("run", both, "--seconds", SECONDS, "--json", "--log-level", "none") as run:
            ssrc = peer.first_rtp_ssrc(10)
            peer.stream(("127.0.0.2", receiver_port), ssrc)
            check(run.finish(SECONDS + 15) == 0, "zqhost run failed\n" + run.transcript())
    finally:
        peer.close()
        if capture is not None:
            capture.interrupt(10)
    if capture is None:
        captured = os.path.join(work, "recorded.pcap")
        peer.write_pcap(captured)
    analyse(captured, peer_port, ssrc)
    check_sender_reports(captured, peer_port)


run_test(lambda: (require("tshark"), body()))
