"""zqhost send to ffmpeg reading an SDP file: the decoded stream is as long
as what was sent (and, re-encoded as A-law, the very same bytes)."""
import os
import time

from interop import *

SECONDS = 4


def sdp(port):
    return ("v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=zqhost send\r\nc=IN IP4 127.0.0.2\r\nt=0 0\r\n"
            f"m=audio {port} RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\n")


def wait_until_bound(port, seconds):
    # ffmpeg says nothing when its sockets are ready; they are once the port
    # is taken.
    deadline = time.monotonic() + seconds
    while not bound_by_someone("127.0.0.2", port):
        check(time.monotonic() < deadline, f"ffmpeg did not open port {port} within {seconds} s")
        time.sleep(0.05)


def body():
    work = work_folder("send-to-ffmpeg")
    theirs = free_port_pair()
    ours = free_port_pair(taken=(theirs,))
    session = os.path.join(work, "stream.sdp")
    sent = os.path.join(work, "sent.alaw")
    decoded = os.path.join(work, "decoded.alaw")
    with open(session, "w") as file:
        file.write(sdp(theirs))
    with open(sent, "wb") as file:
        file.write(os.urandom(160 * 50 * SECONDS))

    # listen_timeout: ffmpeg ends 3 s after the stream stops.
    with Process(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-listen_timeout", "3",
                  "-protocol_whitelist", "file,udp,rtp", "-i", session, "-f", "alaw", "-y", decoded],
                 "ffmpeg") as ffmpeg:
        wait_until_bound(theirs, 10)
        with zqhost("send", "--to", f"127.0.0.2:{theirs}", "--local-port", ours, "--codec", "PCMA",
                    "--in", sent, "--log-level", "none", name="zqhost send") as send:
            check(send.finish(SECONDS + 15) == 0, "zqhost send failed\n" + send.transcript())
        ffmpeg.finish(15)  # it reports the time-out that ends it as a failure

    size = os.path.getsize(decoded) if os.path.exists(decoded) else 0
    check(size == os.path.getsize(sent), f"ffmpeg decoded {size} samples, {os.path.getsize(sent)} were sent\n"
          + ffmpeg.transcript())
    with open(sent, "rb") as a, open(decoded, "rb") as b:
        check(a.read() == b.read(), "the decoded stream, re-encoded, differs from what was sent")


run_test(lambda: (require("ffmpeg"), body()))
