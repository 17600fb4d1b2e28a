"""zqhost send --srtp to ffmpeg reading an SDP file with an a=crypto line:
ffmpeg decrypts every packet and its output, re-encoded as A-law, is the
chirp that was sent, byte for byte; it complains of no packet, the SRTCP
sender reports included."""
from interop import *
from srtppeers import *

SECONDS = 7  # our first sender report goes at 5 s


def body():
    run = SendToFfmpeg(work_folder("srtp-send-to-ffmpeg"), fresh_key(), SECONDS)
    run.check_decoded_whole()
    check(not decryption_complaints(run.ffmpeg), "ffmpeg could not decrypt some packets\n" + run.ffmpeg.transcript())
    summary = json_lines(run.send, "summary")[-1]
    check(summary["packets"] == len(run.sent) // FRAME_BYTES, f"summary: {summary}")
    print(f"ffmpeg decrypted all {summary['packets']} packets ({len(run.decoded)} payload octets) as sent")


run_test(lambda: (require("ffmpeg"), body()))
