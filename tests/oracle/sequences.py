"""ffmpeg streams through the relay into zqhost recv: duplicates, and first
sequence numbers at both ends of the range (65535 wraps at once).
Our reports and statistics against the reference from the relay's log and
against tshark (see impairments.py for how tshark counts duplicates)."""
from oracle import *

SECONDS = 12  # two receiver reports, at about 5 and 10 s


def ffmpeg(ssrc, first_seq):
    def send(port):
        local = free_port_pair(("127.0.0.1",))
        with ffmpeg_sender(port, ssrc, first_seq, SECONDS, local) as sender:
            check(sender.finish(SECONDS + 20) == 0, "the ffmpeg sender failed\n" + sender.transcript())
    return send


CASES = [
    Case("2% duplicates", ffmpeg(0x2001, 20000), ("--duplicate", 2, "--seed", 21), expect_lost=lambda n: n < 0),
    Case("first sequence number 0", ffmpeg(0x2002, 0)),
    Case("first sequence 65535", ffmpeg(0x2003, 65535)),
]

run_test(lambda: (require("ffmpeg", "dumpcap", "tshark"), run_cases(CASES)))
