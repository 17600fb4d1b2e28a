"""Crafted RTP with exact numbers through the relay into zqhost recv: a
sender that restarts under the same SSRC with a jump of its sequence
numbers (the receiver must take the new numbers after two in a row), and a
second SSRC that takes over mid-stream. Our reports and statistics against
the reference from the relay's log and against tshark.

tshark follows a jump of sequence numbers the way a receiver that never
restarts does: its "Lost" for the restart case is printed, not required."""
import socket
import struct

from oracle import *

SECONDS_EACH = 6  # two runs: two receiver reports, at about 5 and 10 s
FRAMES_EACH = SECONDS_EACH * 1000 // FRAME_MS


def crafted(runs):
    """Sends each run (ssrc, first sequence number) for SECONDS_EACH, one
    PCMA packet every 20 ms on a fixed schedule. The timestamp runs on
    through every run, as the clock of a sender that keeps its clock."""
    def send(port):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            sender.bind(("127.0.0.1", 0))
            start, frame = time.monotonic(), 0
            for ssrc, first_seq in runs:
                for index in range(FRAMES_EACH):
                    header = struct.pack("!BBHII", 0x80, 8, (first_seq + index) & 0xFFFF,
                                         (0x10000 + frame * FRAME_SAMPLES) & 0xFFFFFFFF, ssrc)
                    sender.sendto(header + bytes([frame & 0xFF]) * FRAME_SAMPLES, ("127.0.0.1", port))
                    frame += 1
                    # The sender's own pacing: the next frame's time on the schedule.
                    time.sleep(max(0.0, start + frame * FRAME_MS / 1000 - time.monotonic()))
    return send


CASES = [
    Case("restart, same SSRC", crafted([(0x3001, 45000), (0x3001, 5000)]), tshark_follows=False),
    Case("new SSRC mid-stream", crafted([(0x3002, 100), (0x3003, 40000)])),
]

run_test(lambda: (require("dumpcap", "tshark"), run_cases(CASES)))
