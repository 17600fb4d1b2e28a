"""zqhost send --srtp to a GStreamer rtpbin behind srtpdec, whose receiver
reports go back through srtpenc under a key of their own, both ways through
zqhost relay delaying every datagram by 20 ms: GStreamer gets every payload
intact and took our SRTCP sender reports; its SRTCP receiver reports reach
our sender, whose statistics show them with nothing lost, the round trip of
40 ms the relay makes, and no SRTP or SRTCP packet dropped."""
import os

from interop import *
from srtppeers import *
from gstreamer_srtp import *

SECONDS = 12  # GStreamer reports about every 5 s; our first SR goes at 5 s
DELAY_MS = 20  # each way: on the bare loopback a round trip reads 0 ms
ROUND_TRIP_MS = 2 * DELAY_MS
# The relay cannot read SRTCP, so the reference is its delay: a round trip is
# never shorter, and a loaded machine (the sanitizer runs) adds to the peers'
# answers; a wrong LSR or DLSR is off by far more (DLSR alone is up to 5 s).
EARLY_MS = 1
LATE_MS = 25


def plausible_round_trip(rtt):
    return ROUND_TRIP_MS - EARLY_MS <= rtt <= ROUND_TRIP_MS + LATE_MS


def receiver(Gst, port, relay, output, send_key, receive_key):
    """Reports go to the relay's RTCP port, which passes them on to the
    sender."""
    caps = "application/x-srtp,media=audio,clock-rate=8000,encoding-name=PCMA,payload=8"
    return Pipeline(Gst, "rtpbin name=rb srtpdec name=dec srtpenc name=enc "
                    f"udpsrc address=127.0.0.2 port={port} caps=\"{caps}\" ! dec.rtp_sink "
                    f"udpsrc address=127.0.0.2 port={port + 1} caps=application/x-srtcp ! dec.rtcp_sink "
                    "dec.rtp_src ! rb.recv_rtp_sink_0 dec.rtcp_src ! rb.recv_rtcp_sink_0 "
                    f"rb. ! rtppcmadepay ! filesink name=file location={output} "
                    "rb.send_rtcp_src_0 ! enc.rtcp_sink_0 "
                    f"enc.rtcp_src_0 ! udpsink host={relay.address} port={relay.port + 1} sync=false async=false",
                    send_key, receive_key, awaited=("file",))


def body(Gst):
    work = work_folder("srtp-send-to-gstreamer")
    ours_key, theirs_key = fresh_key(), fresh_key()
    theirs, ours = free_port_pair(), free_port_pair()
    listen = free_port_pair(("127.0.0.3",))
    sent = os.path.join(work, "sent.alaw")
    received = os.path.join(work, "received.alaw")
    with open(sent, "wb") as file:
        file.write(os.urandom(FRAME_BYTES * 50 * SECONDS))  # 20 ms frames that all differ

    with Relay(f"127.0.0.3:{listen}", f"127.0.0.2:{theirs}", "--rtcp", "--delay", DELAY_MS) as relay, \
            receiver(Gst, theirs, relay, received, theirs_key, ours_key) as gst:
        gst.start()
        with zqhost("send", "--to", f"127.0.0.3:{listen}", "--local-port", ours, "--codec", "PCMA",
                    "--in", sent, *zqhost_srtp_options(ours_key, theirs_key), "--json", "--log-level", "none",
                    name="zqhost send") as send:
            check(send.finish(SECONDS + 15) == 0, "zqhost send failed\n" + send.transcript())
        summary = json_lines(send, "summary")[-1]
        ours_seen = gst.session_sources().get(summary["ssrc"])
        gst.end(15)

    with open(sent, "rb") as file:
        want = file.read()
    with open(received, "rb") as file:
        got = file.read()
    check(got == want, f"GStreamer wrote {len(got)} bytes that differ from the {len(want)} sent")
    check(ours_seen is not None and field(ours_seen, "have-sr", "boolean"),
          f"GStreamer took no sender report of ours: {ours_seen and ours_seen.to_string()}")
    check(summary["ended"] == "done" and summary["packets"] == 50 * SECONDS, f"summary: {summary}")
    check(summary["rr_count"] > 0, f"no receiver report reached the sender: {summary}")
    check(summary["fraction_lost"] == 0, f"the receiver reports show losses: {summary}")
    check(plausible_round_trip(summary["rtt_ms"]),
          f"round-trip time of {summary['rtt_ms']} ms, not {ROUND_TRIP_MS} ms (-{EARLY_MS}/+{LATE_MS}): {summary}")
    counters = check_nothing_dropped(send)
    print(f"sender statistics: {summary}; SRTP drops: {counters}; GStreamer asked keys for {gst.key_requests}")


Gst = load_gstreamer(SRTP_ELEMENTS)
run_test(lambda: body(Gst))
