#!/usr/bin/env python3
"""Writes the crafted seeds of the corpora (the captured ones come from
capture_seeds.py): RTP sequences that reach the sequencing's corners, RTCP
compounds of every kind about the fuzz target's sources, and malformed
compounds of each kind the receiving side must survive."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
REM1, REM2, LOCL = 0x52454D31, 0x52454D32, 0x4C4F434C


def write(folder, name, data):
    with open(os.path.join(HERE, "corpus", folder, name), "wb") as out:
        out.write(data)


def rtp(seq, ssrc=0x11223344, pt=8, payload=b"\xa1\xa2\xa3\xa4", padding=0, ext=None, csrc=0):
    first = 0x80 | (0x20 if padding else 0) | (0x10 if ext is not None else 0) | csrc
    data = struct.pack(">BBHII", first, pt, seq & 0xFFFF, (160 * seq) & 0xFFFFFFFF, ssrc)
    data += b"\xc5" * (4 * csrc)
    if ext is not None:
        data += struct.pack(">HH", 0xBEDE, len(ext) // 4) + ext
    data += payload
    if padding:
        data += b"\0" * (padding - 1) + bytes([padding])
    return data


def stream(window, datagrams, options=0):
    data = bytes([window, options])
    for datagram in datagrams:
        data += struct.pack(">H", len(datagram)) + datagram
    return data


def rtcp(kind, count, body):
    return struct.pack(">BBH", 0x80 | count, kind, (len(body) + 4) // 4 - 1) + body


def block(ssrc):
    return struct.pack(">IIIIII", ssrc, 0x05000010, 0x00010010, 0x20, 0x11112222, 0x100)


def sr(ssrc, blocks=()):
    body = struct.pack(">IIIIII", ssrc, 0xE8000000, 0x40000000, 1600, 10, 1600)
    return rtcp(200, len(blocks), body + b"".join(block(b) for b in blocks))


def rr(ssrc, blocks=()):
    return rtcp(201, len(blocks), struct.pack(">I", ssrc) + b"".join(block(b) for b in blocks))


def sdes(ssrc, cname=b"peer@127.0.0.1"):
    chunk = struct.pack(">IBB", ssrc, 1, len(cname)) + cname + b"\0"
    chunk += b"\0" * (-len(chunk) % 4)
    return rtcp(202, 1, chunk)


def bye(ssrc):
    return rtcp(203, 1, struct.pack(">I", ssrc))


def fir(sender, media):
    return rtcp(206, 4, struct.pack(">II", sender, 0) + struct.pack(">IBBH", media, 1, 0, 0))


# RTP: the corners of the packet check and of the sequencing.
write("rtp_receive", "in-order", stream(0, [rtp(s) for s in range(1, 8)]))
write("rtp_receive", "reordered-window-3", stream(3, [rtp(s) for s in (1, 2, 3, 5, 4, 7, 6, 6, 9, 8)]))
write("rtp_receive", "wrap", stream(2, [rtp(s) for s in range(65530, 65545)]))
write("rtp_receive", "jump-30000", stream(1, [rtp(s) for s in (1, 2, 3, 30003, 30004, 30005, 4)]))
write("rtp_receive", "ssrc-change", stream(0, [rtp(1), rtp(2), rtp(7, 0xB0B), rtp(8, 0xB0B), rtp(3)]))
write("rtp_receive", "fec-and-video", stream(2, [rtp(1), rtp(1, pt=118), rtp(2, pt=96), rtp(2, pt=118)]))
write("rtp_receive", "faults", stream(0, [
    rtp(1)[:8], rtp(2, padding=200), rtp(3, ext=b"\1\2\3\4"), rtp(4, csrc=15)[:40],
    b"\x40" + rtp(5)[1:], rtp(6, pt=77), b"", rtp(7)]))
write("rtp_receive", "refusing-sink", stream(3, [rtp(s) for s in (1, 2, 3, 5, 4)], options=1))

# RTCP: every kind about the target's sources, then the malformed inputs.
write("rtcp", "sr-sdes-rem1", sr(REM1, [LOCL]) + sdes(REM1))
write("rtcp", "rr-about-local", rr(REM2, [LOCL]) + sdes(REM2))
write("rtcp", "sr-bye-rem1", sr(REM1) + bye(REM1))
write("rtcp", "rr-fir", rr(REM1) + fir(REM1, LOCL))
write("rtcp", "bad-length-overrun", rr(REM1)[:2] + b"\x00\x40" + rr(REM1)[4:])
write("rtcp", "bad-padding-count", bytes([0xA0]) + sr(REM1)[1:-1] + b"\xff")
write("rtcp", "bad-sdes-item-length", rr(REM1) + rtcp(202, 1, struct.pack(">IBB", REM1, 1, 200) + b"ab"))
write("rtcp", "bad-zero-length-middle", rr(REM1) + struct.pack(">BBH", 0x80, 202, 0) + sdes(REM1))
write("rtcp", "bad-report-count", rr(REM1)[:0] + struct.pack(">BBHI", 0x9F, 201, 1, REM1) + block(LOCL)[:4])

# XML: stack settings alone (the graph files are the examples).
settings = b"""<module><settings name="ZQMRTPStackProPage" IID="4892c26c-58a0-441a-9388-3cbdb0c6df8e">
<setting name="LocalIPAddress" type="STRING" value="127.0.0.2"/>
<setting name="LocalRTPPort" type="STRING" value="5004"/>
<setting name="audioG711A" type="BOOL" value="1"/>
<setting name="RTPwindow" type="DWORD" value="3"/>
</settings></module>
"""
write("xml", "stack-settings.xml", settings)
