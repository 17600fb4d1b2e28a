"""ffmpeg sends a PCMA chirp as SRTP to zqhost recv --srtp: the payload file
equals, byte for byte, the A-law bytes ffmpeg encoded, across a sequence
number wrap; ffmpeg's sender reports come as SRTCP and are taken (the
sender's counts arrive), and nothing is dropped by authentication or replay
checks."""
import os

from interop import *
from srtppeers import *

SECONDS = 8  # ffmpeg's first sender report goes after about 5 s


def ffmpeg_chirp_sender(seconds, encoded, destination_port, local_port, key):
    """ffmpeg sending the chirp as SRTP (and its reports as SRTCP) to
    127.0.0.2, and writing the A-law bytes it encoded to `encoded`."""
    return Process(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re",
                    "-f", "lavfi", "-i", CHIRP.format(seconds=seconds),
                    "-c:a", "pcm_alaw", "-f", "alaw", "-y", encoded,
                    "-c:a", "pcm_alaw", "-f", "rtp", "-payload_type", "8", "-seq", str(WRAPPING_SEQUENCE),
                    "-cname", "ffmpeg-peer",
                    "-srtp_out_suite", SUITE, "-srtp_out_params", key,
                    f"srtp://127.0.0.2:{destination_port}?rtcpport={destination_port + 1}"
                    f"&localrtpport={local_port}&localrtcpport={local_port + 1}"], "ffmpeg")


def body():
    work = work_folder("srtp-ffmpeg-to-recv")
    key = fresh_key()
    ours, theirs = free_port_pair(), free_port_pair()
    received = os.path.join(work, "received.alaw")
    encoded = os.path.join(work, "encoded.alaw")

    with start_recv(f"127.0.0.2:{ours}", received, "--peer", f"127.0.0.1:{theirs}", *zqhost_srtp_options(key)) as recv:
        with ffmpeg_chirp_sender(SECONDS, encoded, ours, theirs, key) as ffmpeg:
            check(ffmpeg.finish(SECONDS + 15) == 0, "ffmpeg failed\n" + ffmpeg.transcript())
        size = os.path.getsize(encoded)
        check(size == SECONDS * 8000, f"ffmpeg encoded {size} bytes, not {SECONDS} s of 8 kHz A-law")
        got = end_recv_when_delivered(recv, encoded, received, "ffmpeg")

    counters = check_nothing_dropped(recv)
    sender = reported_sources(recv, "remote")[0]
    check(sender["sr_packets"] > 0, f"no sender report of ffmpeg's came through: {sender}")
    check(sender["cname"] == "ffmpeg-peer", f"ffmpeg's CNAME (sent in SRTCP) did not come through: {sender}")
    print(f"{len(got)} payload octets as ffmpeg encoded them; ffmpeg's last SR counted {sender['sr_packets']} "
          f"packets; SRTP drops: {counters}")


run_test(lambda: (require("ffmpeg"), body()))
