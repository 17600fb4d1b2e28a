"""ffmpeg sends a PCMA chirp over RTP to zqhost recv: the payload file equals,
byte for byte, the A-law bytes ffmpeg encoded (written beside the stream)."""
import json
import os

from interop import *

# Every 20 ms of a rising chirp differs, so a lost or swapped packet shows.
# The sequence numbers wrap within the first second.
CHIRP = "aevalsrc=0.5*sin(2*PI*(300*t+20*t*t)):s=8000:d=6"


def body():
    work = work_folder("ffmpeg-to-recv")
    ours = free_port_pair()
    theirs = free_port_pair(taken=(ours,))
    received = os.path.join(work, "received.alaw")
    encoded = os.path.join(work, "encoded.alaw")

    with zqhost("recv", "--on", f"127.0.0.2:{ours}", "--peer", f"127.0.0.1:{theirs}", "--out", received,
                "--json", "--log-level", "none") as recv:
        recv.wait_for(lambda line: '"delivered"' in line, 10, "first report")
        with Process(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re",
                      "-f", "lavfi", "-i", CHIRP,
                      "-c:a", "pcm_alaw", "-f", "alaw", "-y", encoded,
                      "-c:a", "pcm_alaw", "-f", "rtp", "-payload_type", "8", "-ssrc", "4711", "-seq", "65520",
                      "-cname", "ffmpeg-peer",
                      f"rtp://127.0.0.2:{ours}?rtcpport={ours + 1}&localrtpport={theirs}"
                      f"&localrtcpport={theirs + 1}"], "ffmpeg") as ffmpeg:
            check(ffmpeg.finish(30) == 0, "ffmpeg failed\n" + ffmpeg.transcript())
        size = os.path.getsize(encoded)
        check(size == 48000, f"ffmpeg encoded {size} bytes, not 6 s of 8 kHz A-law")
        got = end_recv_when_delivered(recv, encoded, received, "ffmpeg")

    summary = json_lines(recv, "summary")[-1]
    check(summary["octets"] == len(got), f"summary: {summary}")


run_test(lambda: (require("ffmpeg"), body()))
