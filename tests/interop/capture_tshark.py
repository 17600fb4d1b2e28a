"""Our traffic, captured and decoded by tshark as RTP and RTCP: no malformed
packet, no expert error, SR, RR, SDES and BYE where we send them, every
field tshark decodes equal to the bytes the peer received, and sender
reports whose NTP time is the real time and whose RTP timestamp is the
stream's media time.

One zqhost process runs a sender ("RTP out") and a receiver ("RTP in"), both
talking to a peer (127.0.0.3) that this script plays: it takes the sender's
RTP and RTCP and the receiver's reports, and streams RTP to the receiver
under the sender's own SSRC, a collision (RFC 3550, 8.2): the sender leaves
its SSRC with a BYE and goes on under a new one. Over IPv6 all three are
::1 and the sender is bound to :: (see Loopback).
"""
import json
import os
import re
import socket
import struct
import subprocess
import threading
import time
import xml.etree.ElementTree as ElementTree

from interop import *
from capturing import *

SECONDS = 16  # the receiver reports every 5 s, its first report only arms it: RRs at 10 and 15 s


class Peer:
    """Receives on address:port (RTP) and port + 1 (RTCP), keeping every
    datagram with its source, and streams RTP to a receiver when asked."""

    def __init__(self, address, port):
        self.address = address
        self.port = port
        self.datagrams = []  # (time, source address, source port, destination port, bytes)
        self.lock = threading.Condition()
        self.done = threading.Event()
        self.sockets = []
        self.threads = []
        for p in (port, port + 1):
            s = socket.socket(family_of(address), socket.SOCK_DGRAM)
            s.bind((address, p))
            s.settimeout(0.2)
            self.sockets.append(s)
            self.threads.append(threading.Thread(target=self._receive, args=(s, p), daemon=True))
            self.threads[-1].start()

    def _keep(self, data, source, port):
        with self.lock:
            self.datagrams.append((time.time(), source[0], source[1], port, data))
            self.lock.notify_all()

    def _receive(self, s, port):
        while not self.done.is_set():
            try:
                data, source = s.recvfrom(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            self._keep(data, source, port)

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
        """Stops, then keeps what is still queued on the sockets, so that
        the datagrams are all that arrived."""
        self.done.set()
        for thread in self.threads:
            thread.join()
        for s, port in zip(self.sockets, (self.port, self.port + 1)):
            s.setblocking(False)
            while True:
                try:
                    data, source = s.recvfrom(65536)
                except OSError:
                    break
                self._keep(data, source, port)
            s.close()

    def received(self, port):
        return [d[4] for d in self.datagrams if d[3] == port]


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


def counted(line):
    """The packet count of a dumpcap progress line ("Packets: 287"); -1 for
    another line."""
    found = re.search(r"Packets: (\d+)", line)
    return int(found[1]) if found else -1


class Capture:
    """dumpcap on the loopback for what goes to the peer.

    Interrupted, dumpcap writes out only the packets it has counted, and the
    last few can wait uncounted in the kernel's capture buffer until more
    arrive. Datagrams that a socket of the capture's own sends to itself
    push them through; they go to a port no analysis looks at."""

    def __init__(self, path, peer):
        self.pusher = socket.socket(family_of(peer.address), socket.SOCK_DGRAM)
        self.pusher.bind((peer.address, 0))
        self.pusher.setblocking(False)
        own = self.pusher.getsockname()[:2]
        what = (f"udp and dst host {peer.address} and "
                f"(dst port {peer.port} or dst port {peer.port + 1} or dst port {own[1]})")
        self.own = own
        self.process = start_dumpcap(path, what)

    def _pushed_through(self, line):
        """At each new count: whether it is past the peer's packets (the
        pushing datagrams come after them), else one more push."""
        if counted(line) <= self.highest:
            return False
        self.highest = counted(line)
        if self.highest > self.wanted:
            return True
        self.pusher.sendto(b"push", self.own)
        return False

    def stop(self, packets):
        """Ends dumpcap once it has counted the `packets` sent to the peer."""
        self.wanted = packets
        self.process.keep_printed()
        self.highest = max(map(counted, self.process.lines))
        if self.highest <= packets:
            self.pusher.sendto(b"push", self.own)
            self.process.wait_for(self._pushed_through, 10, f"a count past {packets} packets")
        self.process.interrupt(10)
        self.close()

    def close(self):
        self.process.stop()
        self.pusher.close()


def local_ssrcs(run, module):
    """The SSRCs the module's local source had in the run's statistics."""
    found = {source["ssrc"] for report in map(json.loads, filter(lambda line: '"module"' in line, run.lines))
             if report["module"] == module for source in report["sources"] if source["side"] == "local"}
    check(found, f"the statistics name no local source of '{module}'\n" + run.transcript())
    return found


def rtcp_kinds(rows, who):
    """The RTCP packet types seen, each with who sent them. A compound is
    known by its source address and the SSRC it starts with (an SR or an RR
    of its sender's): over ::1 the address tells nothing, and RTCP leaves
    from a port of the system's choosing."""
    kinds = {}
    for source, _, types, senders in rows:
        if types:
            party = who(source, int(senders.split(",")[0], 0))
            for kind in types.split(","):
                kinds.setdefault(int(kind), set()).add(party)
    return kinds


def analyse(pcap, peer_port, sender_ssrc, loopback, receiver_ssrcs):
    rows = tshark(pcap, peer_port, fields=(loopback.source_field, "rtp.ssrc", "rtcp.pt", "rtcp.senderssrc"))
    sender_ssrcs = list(dict.fromkeys(int(ssrc, 0) for source, ssrc, _, _ in rows
                                      if ssrc and source == loopback.sending))
    check(sender_ssrcs[:1] == [sender_ssrc], f"tshark finds RTP of the sender's SSRCs {sender_ssrcs}, not first "
          f"of {sender_ssrc}")
    check(len(sender_ssrcs) > 1, f"the sender did not leave its SSRC {sender_ssrc} on the collision")

    def who(address, ssrc):
        if address == loopback.sending and ssrc in sender_ssrcs:
            return "sender"
        if address == loopback.receiving and ssrc in receiver_ssrcs:
            return "receiver"
        return f"{address} as SSRC {ssrc:#x}"

    kinds = rtcp_kinds(rows, who)
    wanted = {200: {"sender"}, 201: {"receiver"}, 202: {"sender", "receiver"}, 203: {"sender"}}
    for kind, senders in wanted.items():
        check(senders <= kinds.get(kind, set()), f"tshark found no RTCP packet type {kind} from the "
              f"{' and '.join(sorted(senders))}; types seen: {kinds}")
    unwanted = {kind: found - wanted.get(kind, set()) for kind, found in kinds.items()}
    check(not any(unwanted.values()), f"tshark found RTCP from whom it should not come: {unwanted}")

    byes = tshark(pcap, peer_port, "-Y", "rtcp.pt == 203", fields=("rtcp.ssrc.identifier",))
    named = {int(value, 0) for row in byes for value in row[0].split(",")}
    check(sender_ssrc in named, f"the BYE compound names {named}, not the sender's first SSRC {sender_ssrc}")

    malformed = tshark(pcap, peer_port, "-Y", "_ws.malformed")
    check(malformed.strip() == "", "tshark finds malformed packets:\n" + malformed)
    expert = tshark(pcap, peer_port, "-q", "-z", "expert,error")
    check("Errors" not in expert, "tshark's expert finds errors:\n" + expert)
    print(f"over {loopback.family}: RTP from the sender as SSRCs {sender_ssrcs}; RTCP packet types by sender: "
          + ", ".join(f"{k}: {sorted(v)}" for k, v in sorted(kinds.items())))


# What tshark decodes from an RTP and an RTCP datagram, field by field.
RTP_FIELDS = ("rtp.version", "rtp.p_type", "rtp.seq", "rtp.timestamp", "rtp.ssrc", "rtp.payload")
SR_FIELDS = ("rtcp.timestamp.ntp.msw", "rtcp.timestamp.ntp.lsw", "rtcp.timestamp.rtp", "rtcp.sender.packetcount",
             "rtcp.sender.octetcount")
RTCP_FIELDS = ("rtcp.version", "rtcp.pt", "rtcp.length", "rtcp.senderssrc", *SR_FIELDS, "rtcp.ssrc.identifier",
               "rtcp.ssrc.fraction", "rtcp.ssrc.cum_nr", "rtcp.ssrc.ext_high", "rtcp.ssrc.jitter", "rtcp.ssrc.lsr",
               "rtcp.ssrc.dlsr", "rtcp.sdes.text")


def rtp_fields(data):
    """The RTP fields of a datagram, as read from its bytes."""
    first, second, sequence, timestamp, ssrc = struct.unpack("!BBHII", data[:12])
    start = 12 + 4 * (first & 0x0F)  # after the CSRCs
    if first & 0x10:  # a header extension
        start += 4 + 4 * struct.unpack("!H", data[start + 2:start + 4])[0]
    end = len(data) - (data[-1] if first & 0x20 else 0)  # before the padding
    payload = data[start:end].hex()
    return {"rtp.version": [first >> 6], "rtp.p_type": [second & 0x7F], "rtp.seq": [sequence],
            "rtp.timestamp": [timestamp], "rtp.ssrc": [ssrc], "rtp.payload": [payload] if payload else []}


def rtcp_fields(data):
    """The RTCP fields of a compound datagram, as read from its bytes."""
    fields = {name: [] for name in RTCP_FIELDS}
    at = 0
    while at + 4 <= len(data):
        first, kind, length = struct.unpack("!BBH", data[at:at + 4])
        count, body = first & 0x1F, data[at + 4:at + 4 + 4 * length]
        for name, value in (("rtcp.version", first >> 6), ("rtcp.pt", kind), ("rtcp.length", length)):
            fields[name].append(value)
        if kind in (200, 201):
            fields["rtcp.senderssrc"].append(struct.unpack("!I", body[:4])[0])
            blocks = 4
            if kind == 200:
                for name, value in zip(SR_FIELDS, struct.unpack("!IIIII", body[4:24])):
                    fields[name].append(value)
                blocks = 24
            for block in range(blocks, blocks + 24 * count, 24):
                ssrc, lost, highest, jitter, lsr, dlsr = struct.unpack("!IIIIII", body[block:block + 24])
                cumulative = (lost & 0xFFFFFF) - (1 << 24 if lost & 0x800000 else 0)
                for name, value in zip(RTCP_FIELDS[9:16], (ssrc, lost >> 24, cumulative, highest, jitter, lsr, dlsr)):
                    fields[name].append(value)
        elif kind == 202:
            chunk = 0
            for _ in range(count):
                fields["rtcp.ssrc.identifier"].append(struct.unpack("!I", body[chunk:chunk + 4])[0])
                chunk += 4
                while body[chunk] != 0:
                    fields["rtcp.sdes.text"].append(body[chunk + 2:chunk + 2 + body[chunk + 1]].decode())
                    chunk += 2 + body[chunk + 1]
                chunk = (chunk + 4) & ~3  # the end item, padded to a 32-bit boundary
        elif kind == 203:
            fields["rtcp.ssrc.identifier"] += struct.unpack(f"!{count}I", body[:4 * count])
        at += 4 + 4 * length
    return fields


def decoded(pcap, port, destination, names):
    """Every datagram to `destination` as tshark decodes it: its UDP payload
    and the fields named, each a list of its occurrences."""
    rows = []
    for payload, *values in tshark(pcap, port, "-Y", f"udp.dstport == {destination}", fields=("udp.payload", *names)):
        row = {}
        for name, value in zip(names, values):
            if name in ("rtp.payload", "rtcp.sdes.text"):
                row[name] = [v.replace(":", "") for v in value.split(",")] if value else []
            else:
                row[name] = [int(v, 0) for v in value.split(",")] if value else []
        rows.append((bytes.fromhex(payload.replace(":", "")), row))
    return rows


def check_wire_bytes(pcap, peer):
    """The capture holds, datagram by datagram, the very bytes the peer
    received on each port, and every field tshark decodes from them is what
    those bytes say."""
    for port, names, read in ((peer.port, RTP_FIELDS, rtp_fields), (peer.port + 1, RTCP_FIELDS, rtcp_fields)):
        rows = decoded(pcap, peer.port, port, names)
        received = peer.received(port)
        captured = [payload for payload, _ in rows]
        differ = next((i for i, (a, b) in enumerate(zip(captured, received)) if a != b),
                      min(len(captured), len(received)))
        check(captured == received, f"the {len(captured)} datagrams to port {port} in the capture are not the "
              f"{len(received)} the peer got, from datagram {differ} on: "
              f"{captured[differ:differ + 1]} against {received[differ:differ + 1]}")
        for data, row in rows:
            want = read(data)
            check(row == want, f"tshark decodes {data.hex()} as {row}, its bytes say {want}")
    print(f"{len(peer.received(peer.port))} RTP and {len(peer.received(peer.port + 1))} RTCP datagrams: "
          "captured as the peer got them, every field tshark decodes as in their bytes")


NTP_SECONDS_AT_1970 = 2208988800


def signed_difference(a, b):
    """a - b for 32-bit RTP timestamps that may have wrapped."""
    return (a - b + 2**31) % 2**32 - 2**31


def check_sender_reports(pcap, port, loopback):
    """Each SR from the sender, as tshark decodes it: NTP time within a few
    seconds of when it was captured, and an RTP timestamp within 1 s of the
    media time of the sender's last packet moved on to that moment (8 kHz)."""
    from_sender = f"{loopback.source_field} == {loopback.sending}"
    rows = tshark(pcap, port, "-Y", f"{from_sender} && (rtp || rtcp.pt == 200)", occurrence="f",
                  fields=("frame.time_epoch", "rtp.ssrc", "rtp.timestamp", "rtcp.senderssrc", "rtcp.timestamp.ntp.msw",
                          "rtcp.timestamp.ntp.lsw", "rtcp.timestamp.rtp"))
    last_packet = {}  # SSRC: (capture time, RTP timestamp)
    reports, worst_clock, worst_media = 0, 0.0, 0
    for when, rtp_ssrc, rtp_timestamp, sr_ssrc, msw, lsw, sr_timestamp in rows:
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
    decoded_times = tshark(pcap, port, "-Y", f"{from_sender} && rtcp.pt == 200", fields=("rtcp.timestamp.ntp",))
    year = str(time.gmtime().tm_year)
    check(all(year in row[0] for row in decoded_times), f"tshark reads the SR times as: {decoded_times}")
    print(f"{reports} sender reports: NTP time within {1000 * worst_clock:.1f} ms of the capture, RTP timestamp "
          f"within {worst_media / 8:.1f} ms of the stream's media time")


def body(loopback):
    work = work_folder(f"capture-{loopback.family}")
    peer_port = loopback.free_port_pair((loopback.third,))
    sender_port = loopback.free_port_pair((loopback.sender_bind,))
    receiver_port = loopback.free_port_pair((loopback.receiving,))
    sender, receiver, both = (os.path.join(work, name) for name in ("sender.xml", "receiver.xml", "both.xml"))
    save_graph(sender, "send", "--to", loopback.endpoint(loopback.third, peer_port), "--bind", loopback.sender_bind,
               "--local-port", sender_port, "--codec", "PCMA", "--tone", 440)
    save_graph(receiver, "recv", "--on", loopback.endpoint(loopback.receiving, receiver_port),
               "--peer", loopback.endpoint(loopback.third, peer_port), "--out", os.path.join(work, "received.alaw"))
    merge_graphs(sender, receiver, both)

    peer = Peer(loopback.third, peer_port)
    captured = os.path.join(work, "capture.pcapng")
    capture = Capture(captured, peer)
    try:
        with zqhost("run", both, "--seconds", SECONDS, "--json", "--log-level", "none") as run:
            ssrc = peer.first_rtp_ssrc(10)
            peer.stream((loopback.receiving, receiver_port), ssrc)
            check(run.finish(SECONDS + 15) == 0, "zqhost run failed\n" + run.transcript())
    finally:
        peer.close()
        capture.stop(len(peer.datagrams))
    analyse(captured, peer_port, ssrc, loopback, local_ssrcs(run, "RTP in"))
    check_wire_bytes(captured, peer)
    check_sender_reports(captured, peer_port, loopback)


run_test(lambda: (require("dumpcap", "tshark"), body(Loopback())))
