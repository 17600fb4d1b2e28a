"""GStreamer streams through the relay into zqhost recv, clean and impaired:
our receiver reports and final statistics against the reference computed
from the relay's log, and against tshark's count of lost packets.

tshark's "Lost" is the expected count (from the highest sequence number
seen) less the packets captured, duplicates included, the same arithmetic
as a receiver's cumulative loss: a duplicate lowers it by one, so on a
stream with duplicates and no loss it can go negative, as ours must.
"""
from oracle import *

SECONDS = 12  # two receiver reports, at about 5 and 10 s


def gstreamer(ssrc, first_seq):
    def send(port):
        with gstreamer_sender(port, ssrc, first_seq, SECONDS) as sender:
            try:
                check(sender.finish(SECONDS + 10) == 0, "the GStreamer sender failed\n" + sender.transcript())
            except Failure as failure:
                # gst-launch now and then never returns from the end of
                # stream through rtpbin; its stream is out by then, and the
                # relay's log says what it sent.
                if sender.proc.poll() is not None:
                    raise failure
                sender.stop()
    return send


CASES = [
    Case("clean", gstreamer(0x1001, 1000)),
    Case("5% loss", gstreamer(0x1002, 30000), ("--loss", 5, "--seed", 11), expect_lost=lambda n: n > 0),
    Case("30 ms jitter, reorder", gstreamer(0x1003, 64000), ("--jitter", 30, "--reorder", 20, "--seed", 12)),
]

run_test(lambda: (require("gst-launch-1.0", "dumpcap", "tshark"), run_cases(CASES)))
