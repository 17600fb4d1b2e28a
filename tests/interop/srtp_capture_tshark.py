"""zqhost send --srtp to ffmpeg, captured on the loopback and read back with
tshark: the headers stay in the clear (every datagram decodes as RTP of our
SSRC and payload type, in sequence; the reports as RTCP sender reports of
that SSRC with an SRTCP trailer whose E flag is set), while no piece of the
chirp that was sent, and not our CNAME, shows in any captured datagram.
ffmpeg decoding the chirp byte for byte shows the capture is the real
stream, only encrypted."""
import os

from interop import *
from srtppeers import *
from capturing import *

SECONDS = 6  # our first sender report goes at 5 s
PIECE_BYTES = 16  # a run of source bytes that must not show anywhere
SRTCP_TRAILER_BYTES = 4 + 10  # E flag and index, then an 80-bit tag


class CaptureAround:
    """dumpcap around a run on a port pair: started before, interrupted after
    so that it writes its file out."""

    def __init__(self, path):
        self.path = path

    def __call__(self, port):
        self.port = port
        return self

    def __enter__(self):
        self.process = start_dumpcap(self.path, f"udp and (port {self.port} or port {self.port + 1})")
        return self

    def __exit__(self, *exc):
        self.process.interrupt(10)
        self.process.stop()
        return False


def datagrams(pcap, port):
    """Every captured datagram as tshark decodes it: destination port, RTP
    version, payload type, SSRC and sequence number, the RTCP packet types
    and sender SSRC, and the UDP payload."""
    fields = ("udp.dstport", "rtp.version", "rtp.p_type", "rtp.ssrc", "rtp.seq", "rtcp.pt", "rtcp.senderssrc",
              "udp.payload")
    rows = []
    for port_text, version, payload_type, ssrc, sequence, types, sender, payload in tshark(pcap, port, fields=fields):
        rows.append({"port": int(port_text), "version": version, "payload_type": payload_type, "ssrc": ssrc,
                     "sequence": sequence, "rtcp_types": types, "sender": sender,
                     "payload": bytes.fromhex(payload.replace(":", ""))})
    return rows


def check_rtp_headers(rows, ssrc, packets):
    """Every RTP datagram reads as RTP in the clear, in sequence."""
    check(len(rows) == packets, f"{len(rows)} datagrams to the RTP port captured, {packets} sent")
    sequences = []
    for row in rows:
        check(row["version"] == "2" and row["payload_type"] == "8" and int(row["ssrc"], 0) == ssrc,
              f"tshark does not read an RTP header of ours in the clear: {row}")
        sequences.append(int(row["sequence"]))
    steps = {(b - a) % 65536 for a, b in zip(sequences, sequences[1:])}
    check(steps == {1}, f"the sequence numbers tshark reads do not follow each other: steps {steps}")


def check_srtcp_headers(rows, ssrc):
    """Every report reads as an RTCP sender report of ours with an SRTCP
    trailer that says its payload is encrypted."""
    check(rows, "no report was captured")
    for row in rows:
        check(row["rtcp_types"].split(",")[0] == "200" and int(row["sender"], 0) == ssrc,
              f"tshark does not read an SRTCP sender report of ours: {row}")
        trailer = row["payload"][-SRTCP_TRAILER_BYTES:]
        check(trailer[0] & 0x80, f"the SRTCP E flag is not set: {row['payload'].hex()}")


def leaked_pieces(source, rows):
    """The source's pieces (every PIECE_BYTES of every 20 ms frame) that
    show in a captured datagram."""
    pieces = {source[at:at + PIECE_BYTES] for at in range(0, len(source) - PIECE_BYTES + 1, PIECE_BYTES)}
    leaked = set()
    for row in rows:
        payload = row["payload"]
        for at in range(len(payload) - PIECE_BYTES + 1):
            if payload[at:at + PIECE_BYTES] in pieces:
                leaked.add(payload[at:at + PIECE_BYTES])
    return leaked


def body():
    work = work_folder("srtp-capture")
    captured = os.path.join(work, "capture.pcapng")
    run = SendToFfmpeg(work, fresh_key(), SECONDS, around=CaptureAround(captured))
    run.check_decoded_whole()
    theirs = run.theirs
    summary = json_lines(run.send, "summary")[-1]
    rows = datagrams(captured, theirs)
    check_rtp_headers([r for r in rows if r["port"] == theirs], summary["ssrc"], summary["packets"])
    reports = [r for r in rows if r["port"] == theirs + 1]
    check_srtcp_headers(reports, summary["ssrc"])
    leaked = leaked_pieces(run.sent, rows)
    check(not leaked, f"{len(leaked)} pieces of the payload show in the clear, e.g. {next(iter(leaked), b'').hex()}")
    cname = reported_sources(run.send, "local")[0]["cname"].encode()
    check(all(cname not in r["payload"] for r in reports), f"our CNAME {cname} shows in the clear in a report")
    print(f"{len(rows) - len(reports)} SRTP and {len(reports)} SRTCP datagrams: headers in the clear, none of the "
          f"{len(run.sent) // PIECE_BYTES} pieces of {PIECE_BYTES} bytes of the chirp nor the CNAME in them")


run_test(lambda: (require("ffmpeg", "tshark", "dumpcap"), body()))
