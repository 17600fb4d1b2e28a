"""ffmpeg sends a PCMA chirp over RTP to zqhost recv: the payload file equals,
byte for byte, the A-law bytes ffmpeg encoded (written beside the stream),
and ffmpeg's sender reports reach the receiver. Over IPv4 or IPv6
(ZQ_ADDRESS_FAMILY, see Loopback)."""
import os

from interop import *

# Every 20 ms of a rising chirp differs, so a lost or swapped packet shows.
# The sequence numbers wrap within the first second.
CHIRP = "aevalsrc=0.5*sin(2*PI*(300*t+20*t*t)):s=8000:d=6"


def body(loopback):
    work = work_folder(f"ffmpeg-to-recv-{loopback.family}")
    received = os.path.join(work, "received.alaw")
    encoded = os.path.join(work, "encoded.alaw")
    recv, ours, theirs = loopback.start_recv(received)
    with recv:
        with Process(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re",
                      "-f", "lavfi", "-i", CHIRP,
                      "-c:a", "pcm_alaw", "-f", "alaw", "-y", encoded,
                      "-c:a", "pcm_alaw", "-f", "rtp", "-payload_type", "8", "-ssrc", "4711", "-seq", "65520",
                      "-cname", "ffmpeg-peer",
                      f"rtp://{loopback.endpoint(loopback.receiving, ours)}?rtcpport={ours + 1}&localrtpport={theirs}"
                      f"&localrtcpport={theirs + 1}"], "ffmpeg") as ffmpeg:
            check(ffmpeg.finish(30) == 0, "ffmpeg failed\n" + ffmpeg.transcript())
        size = os.path.getsize(encoded)
        check(size == 48000, f"ffmpeg encoded {size} bytes, not 6 s of 8 kHz A-law")
        got = end_recv_when_delivered(recv, encoded, received, "ffmpeg")

    summary = json_lines(recv, "summary")[-1]
    check(summary["octets"] == len(got), f"summary: {summary}")
    # ffmpeg's first sender report leaves about 5 s into the stream.
    theirs_seen = reported_sources(recv, "remote")[0]
    check(theirs_seen["ssrc"] == 4711 and theirs_seen["sr_packets"] > 0,
          f"no sender report of ffmpeg's came through: {theirs_seen}")
    print(f"{len(got)} payload octets over {loopback.family}; ffmpeg's last sender report counted "
          f"{theirs_seen['sr_packets']} packets")


run_test(lambda: (require("ffmpeg"), body(Loopback())))
