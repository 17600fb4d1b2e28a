#!/usr/bin/env python3
"""Captures the first datagrams a real peer sends to an RTP and an RTCP port
on 127.0.0.1, for the fuzz seed corpora.

    capture.py RTP_PORT OUT_PREFIX [COUNT] [SECONDS]

Writes OUT_PREFIX.rtp (kept as corpus/rtp_receive/NAME) (datagrams framed as the RTP fuzz target reads them:
a window byte, an options byte, then 16-bit big-endian length + bytes each)
and OUT_PREFIX-N.rtcp (one file per RTCP compound, as received; kept as
corpus/rtcp/NAME). The peers used: ffmpeg (PCMA, H.264) and GStreamer rtpbin
(PCMU)."""
import select
import socket
import struct
import sys
import time

port, prefix = int(sys.argv[1]), sys.argv[2]
count = int(sys.argv[3]) if len(sys.argv) > 3 else 12
seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 8.0
rtp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
rtp.bind(("127.0.0.1", port))
rtcp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
rtcp.bind(("127.0.0.1", port + 1))
datagrams, compounds = [], []
deadline = time.monotonic() + seconds
while time.monotonic() < deadline and (len(datagrams) < count or not compounds):
    ready, _, _ = select.select([rtp, rtcp], [], [], 0.2)
    for sock in ready:
        data = sock.recv(65536)
        if sock is rtp and len(datagrams) < count:
            datagrams.append(data[:96])  # the header and a little payload are enough for the fuzzer
        elif sock is rtcp and len(compounds) < 3:
            compounds.append(data)
with open(prefix + ".rtp", "wb") as out:
    out.write(bytes([2, 0]))
    for data in datagrams:
        out.write(struct.pack(">H", len(data)) + data)
for index, data in enumerate(compounds):
    with open("%s-%d.rtcp" % (prefix, index), "wb") as out:
        out.write(data)
print("%s: %d RTP, %d RTCP" % (prefix, len(datagrams), len(compounds)))
