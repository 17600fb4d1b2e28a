"""zqhost send to ffmpeg reading an SDP file: the decoded stream is as long
as what was sent (and, re-encoded as A-law, the very same bytes). Over IPv4
or IPv6 (ZQ_ADDRESS_FAMILY, see Loopback): the SDP names the family."""
import os

from interop import *

SECONDS = 4


def sdp(loopback, port):
    kind = loopback.sdp_type
    return (f"v=0\r\no=- 0 0 IN {kind} {loopback.sending}\r\ns=zqhost send\r\nc=IN {kind} {loopback.receiving}\r\n"
            f"t=0 0\r\nm=audio {port} RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\n")


def body(loopback):
    work = work_folder(f"send-to-ffmpeg-{loopback.family}")
    theirs, ours = loopback.free_port_pair(), loopback.free_port_pair()
    session = os.path.join(work, "stream.sdp")
    sent = os.path.join(work, "sent.alaw")
    decoded = os.path.join(work, "decoded.alaw")
    with open(session, "w") as file:
        file.write(sdp(loopback, theirs))
    with open(sent, "wb") as file:
        file.write(os.urandom(160 * 50 * SECONDS))

    # listen_timeout: ffmpeg ends 3 s after the stream stops.
    with Process(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-listen_timeout", "3",
                  "-protocol_whitelist", "file,udp,rtp", "-i", session, "-f", "alaw", "-y", decoded],
                 "ffmpeg") as ffmpeg:
        wait_until_bound(loopback.receiving, theirs, 10, "ffmpeg")
        with zqhost("send", "--to", loopback.endpoint(loopback.receiving, theirs), "--local-port", ours,
                    "--codec", "PCMA", "--in", sent, "--log-level", "none", name="zqhost send") as send:
            check(send.finish(SECONDS + 15) == 0, "zqhost send failed\n" + send.transcript())
        ffmpeg.finish(15)  # it reports the time-out that ends it as a failure

    size = os.path.getsize(decoded) if os.path.exists(decoded) else 0
    check(size == os.path.getsize(sent), f"ffmpeg decoded {size} samples, {os.path.getsize(sent)} were sent\n"
          + ffmpeg.transcript())
    with open(sent, "rb") as a, open(decoded, "rb") as b:
        check(a.read() == b.read(), "the decoded stream, re-encoded, differs from what was sent")
    print(f"{size} bytes over {loopback.family}, decoded as sent")


run_test(lambda: (require("ffmpeg"), body(Loopback())))
