"""A GStreamer rtpbin sender behind srtpenc to zqhost recv --srtp, whose
receiver reports go back as SRTCP under a key of their own, into srtpdec in
front of the sender's rtpbin, both ways through zqhost relay delaying every
datagram by 20 ms: zqhost writes the A-law bytes GStreamer encoded, byte
for byte, across a sequence number wrap; GStreamer's SRTCP sender reports
are taken and nothing is dropped; our receiver reports reach GStreamer's
sender, which finds in them the round trip of 40 ms the relay makes."""
import os

from interop import *
from srtppeers import *
from gstreamer_srtp import *

SECONDS = 12  # GStreamer reports about every 5 s, our receiver after its SR
DELAY_MS = 20  # each way: on the bare loopback a round trip reads 0 ms
ROUND_TRIP_MS = 2 * DELAY_MS
# The relay cannot read SRTCP, so the reference is its delay: a round trip is
# never shorter, and a loaded machine (the sanitizer runs) adds to the peers'
# answers; a wrong LSR or DLSR is off by far more (DLSR alone is up to 5 s).
EARLY_MS = 1
LATE_MS = 25


def plausible_round_trip(rtt):
    return ROUND_TRIP_MS - EARLY_MS <= rtt <= ROUND_TRIP_MS + LATE_MS


def sender(Gst, sent, destination, local, send_key, receive_key):
    """White noise (every 20 ms frame differs) as A-law, written to `sent`
    and sent from 127.0.0.1:local to 127.0.0.3:destination, its reports read
    on local + 1, the port its own reports leave from."""
    pipeline = Pipeline(Gst, "rtpbin name=rb srtpenc name=enc srtpdec name=dec "
                        f"audiotestsrc is-live=true wave=white-noise samplesperbuffer={FRAME_BYTES} "
                        f"num-buffers={50 * SECONDS} ! alawenc ! tee name=t "
                        f"t. ! queue ! filesink name=file location={sent} "
                        f"t. ! queue ! rtppcmapay seqnum-offset={WRAPPING_SEQUENCE} ! rb.send_rtp_sink_0 "
                        "rb.send_rtp_src_0 ! enc.rtp_sink_0 "
                        f"enc.rtp_src_0 ! udpsink name=rtpsink host=127.0.0.3 port={destination} "
                        f"bind-address=127.0.0.1 bind-port={local} sync=false async=false "
                        "rb.send_rtcp_src_0 ! enc.rtcp_sink_0 "
                        f"enc.rtcp_src_0 ! udpsink name=rtcpsink host=127.0.0.3 port={destination + 1} "
                        "sync=false async=false close-socket=false "
                        f"udpsrc name=rtcpsrc address=127.0.0.1 port={local + 1} caps=application/x-srtcp ! "
                        "dec.rtcp_sink dec.rtcp_src ! rb.recv_rtcp_sink_0",
                        send_key, receive_key, awaited=("file", "rtpsink"))
    pipeline.share_socket("rtcpsrc", "rtcpsink")
    return pipeline


def reports_held(gst):
    """The sources whose receiver reports GStreamer's session holds: SSRC
    and round trip in ms."""
    held = {}
    for ssrc, stats in gst.session_sources().items():
        if field(stats, "have-rb", "boolean"):
            held[ssrc] = field(stats, "rb-round-trip") * 1000.0 / 65536
    return held


def body(Gst):
    work = work_folder("srtp-gstreamer-to-recv")
    ours_key, theirs_key = fresh_key(), fresh_key()
    ours = free_port_pair()
    theirs = free_port_pair(("127.0.0.1",))
    listen = free_port_pair(("127.0.0.3",))
    sent = os.path.join(work, "sent.alaw")
    received = os.path.join(work, "received.alaw")

    with Relay(f"127.0.0.3:{listen}", f"127.0.0.2:{ours}", "--rtcp", "--delay", DELAY_MS) as relay, \
            start_recv(f"127.0.0.2:{ours}", received, "--peer", f"{relay.address}:{relay.port}",
                       *zqhost_srtp_options(ours_key, theirs_key)) as recv:
        with sender(Gst, sent, listen, theirs, theirs_key, ours_key) as gst:
            gst.start()
            gst.wait_for_end(SECONDS + 15)
            held = reports_held(gst)
            key_requests = gst.key_requests
        size = os.path.getsize(sent)
        check(size == FRAME_BYTES * 50 * SECONDS, f"GStreamer encoded {size} bytes, not {SECONDS} s of A-law")
        got = end_recv_when_delivered(recv, sent, received, "GStreamer")

    counters = check_nothing_dropped(recv)
    theirs_seen = reported_sources(recv, "remote")[0]
    ours_ssrc = reported_sources(recv, "local")[0]["ssrc"]
    check(theirs_seen["sr_packets"] > 0, f"no sender report of GStreamer's came through: {theirs_seen}")
    check(ours_ssrc in held, f"GStreamer's sender holds no receiver report of ours ({ours_ssrc}), only of "
          f"{list(held)} (it asked keys for {key_requests})")
    check(plausible_round_trip(held[ours_ssrc]),
          f"GStreamer's round trip from our reports is {held[ours_ssrc]:.1f} ms, not {ROUND_TRIP_MS} ms "
          f"(-{EARLY_MS}/+{LATE_MS})")
    print(f"{len(got)} payload octets as GStreamer encoded them; its last SR counted {theirs_seen['sr_packets']} "
          f"packets; SRTP drops: {counters}; GStreamer's round trip from our reports: "
          f"{held[ours_ssrc]:.1f} ms")


Gst = load_gstreamer(SRTP_ELEMENTS)
run_test(lambda: body(Gst))
