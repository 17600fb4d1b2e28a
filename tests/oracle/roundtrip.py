"""Round trips through `zqhost relay --rtcp --delay 20`, which delays every
datagram both ways, so that a report's round trip is 2 x 20 ms plus the
loopback's and the peers' own few hundred microseconds:

- a GStreamer rtpbin sender to zqhost recv (no --peer): our receiver
  reports must find their way back to the sender (to where its RTP came
  from, RTCP port + 1, which the relay maps back to the sender's RTCP
  address), with LSR and DLSR right: GStreamer's round-trip time is 40 ms;
- zqhost send to a GStreamer rtpbin receiver, whose reports come back
  through the relay: zqhost send's rtt_ms is 40 ms.

GStreamer's side is read from its rtpbin session's statistics (python-gi),
not from its debug log: the source that sent a report carries the last
report block it got ("have-rb", "rb-round-trip" in 1/65536 s)."""
from oracle import *

DELAY_MS = 20
EXPECTED_RTT_MS = 2 * DELAY_MS
TOLERANCE_MS = 10
SECONDS = 14  # both sides report about every 5 s, and a report needs a sender report first


SYSTEM_PYTHON = "/usr/bin/python3"


def round_trip_reference(log):
    """The round trip the relay itself measured for the last report (its
    delay and whatever a loaded machine adds to the peers' answers), or the
    delay alone when it measured none."""
    measured = relay_round_trips_ms(log)
    return measured[-1] if measured else EXPECTED_RTT_MS


def agrees(rtt, reference):
    """A round trip from LSR and DLSR matches what the relay measured, and is
    never shorter than the delay the relay adds."""
    return abs(rtt - reference) <= TOLERANCE_MS and rtt >= EXPECTED_RTT_MS - 1


def gstreamer_modules():
    """GStreamer for Python, which the system's own interpreter has: when
    ctest runs another one (a Python of one's own), the script runs again
    under the system's."""
    try:
        import gi
        gi.require_version("Gst", "1.0")
        from gi.repository import Gst
    except (ImportError, ValueError):
        if os.path.exists(SYSTEM_PYTHON) and not os.environ.get("ZQ_ORACLE_SYSTEM_PYTHON"):
            os.environ["ZQ_ORACLE_SYSTEM_PYTHON"] = "1"
            os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, os.path.abspath(__file__)])
        print("SKIPPED: python3-gst-1.0 (GStreamer for Python) is not installed")
        sys.exit(SKIP)
    Gst.init(None)
    return Gst


class GStreamerSender:
    """rtpbin sending PCMA to port, port + 1 and reading reports on its own
    RTCP port, which is also the one its sender reports leave from."""

    def __init__(self, Gst, port, ssrc):
        self.Gst = Gst
        self.pipeline = Gst.parse_launch(
            "rtpbin name=rb audiotestsrc is-live=true samplesperbuffer=160 ! alawenc ! "
            f"rtppcmapay ssrc={ssrc} ! rb.send_rtp_sink_0 "
            f"rb.send_rtp_src_0 ! udpsink host=127.0.0.1 port={port} sync=false async=false "
            f"rb.send_rtcp_src_0 ! udpsink name=rtcpsink host=127.0.0.1 port={port + 1} sync=false async=false "
            "close-socket=false "
            "udpsrc name=rtcpsrc address=127.0.0.1 port=0 caps=application/x-rtcp ! rb.recv_rtcp_sink_0")
        # One socket for the reports out and in: the relay sends ours back to
        # where GStreamer's came from.
        source = self.pipeline.get_by_name("rtcpsrc")
        source.set_state(Gst.State.READY)
        self.pipeline.get_by_name("rtcpsink").set_property("socket", source.get_property("used-socket"))

    def start(self):
        result = self.pipeline.set_state(self.Gst.State.PLAYING)
        check(result != self.Gst.StateChangeReturn.FAILURE, "the GStreamer sender did not start")

    def round_trip_ms(self):
        """The round trip of the last report block it got; None before any.
        rtpbin keeps a report block with the source that sent it (our
        receiver), not with its own source."""
        session = self.pipeline.get_by_name("rb").emit("get-internal-session", 0)
        if session is None:
            return None
        for source in session.get_property("sources"):
            stats = source.get_property("stats")
            found, have = stats.get_boolean("have-rb")
            if not (found and have):
                continue
            found, units = stats.get_uint("rb-round-trip")
            if found and units:
                return units * 1000.0 / 65536
        return None

    def stop(self):
        self.pipeline.set_state(self.Gst.State.NULL)


def rr_blocks(log):
    return [block for _, block in receiver_reports(read_log(log))]


def relay_round_trips_ms(log):
    """The round trip of each report that names a sender report, as the
    relay saw it: from the sender report's arrival to the receiver report's
    forwarding, less the receiver's DLSR. What the sender should compute."""
    events = read_log(log)
    sent = {}  # LSR (the middle 32 bits of the NTP time): arrival
    for event in events:
        if event["direction"] == "fwd" and event["kind"] == "rtcp":
            for packet in event.get("packets", []):
                if packet["type"] == SENDER_REPORT and "ntp_seconds" in packet:
                    lsr = ((packet["ntp_seconds"] & 0xFFFF) << 16) | (packet["ntp_fraction"] >> 16)
                    sent[lsr] = event["arrived_us"]
    trips = []
    for event in events:
        if event["direction"] == "rev" and event["kind"] == "rtcp" and not event.get("dropped"):
            for _, block in receiver_reports([event]):
                if block["lsr"] in sent:
                    trips.append((event["forwarded_us"] - sent[block["lsr"]]) / 1000 - block["dlsr"] * 1000 / 65536)
    return [round(trip, 1) for trip in trips]


def gstreamer_to_recv(Gst, work):
    receiver_port = free_port_pair(("127.0.0.2",))
    listen_port = free_port_pair(("127.0.0.1",))
    log = os.path.join(work, "to-recv.jsonl")
    with zqhost("recv", "--on", f"127.0.0.2:{receiver_port}", "--out", os.path.join(work, "received.alaw"),
                "--json", "--log-level", "none", name="zqhost recv") as recv, \
            Relay(f"127.0.0.1:{listen_port}", f"127.0.0.2:{receiver_port}", log, "--rtcp",
                  "--delay", DELAY_MS) as relay:
        sender = GStreamerSender(Gst, listen_port, 0x4001)
        sender.start()
        try:
            rtt = None
            deadline = time.monotonic() + SECONDS + 6
            while rtt is None and time.monotonic() < deadline:
                time.sleep(0.2)  # GStreamer's statistics are looked at, nothing to wait on
                rtt = sender.round_trip_ms()
        finally:
            sender.stop()
        relay.interrupt()
        recv.interrupt()
    blocks = rr_blocks(log)
    shown = f"{rtt:.1f} ms" if rtt is not None else "none"
    print(f"{'GStreamer sender -> recv':<26} round trip reference {EXPECTED_RTT_MS} ms, GStreamer's {shown}, "
          f"through the relay {relay_round_trips_ms(log)} ms; "
          f"{len(blocks)} report blocks went back, the last {blocks[-1] if blocks else None}", flush=True)
    if rtt is None:
        return ["GStreamer sender -> recv: no report of ours with a round trip reached the GStreamer sender "
                f"within {SECONDS + 6} s ({len(blocks)} report blocks reached the relay)"]
    reference = round_trip_reference(log)
    if not agrees(rtt, reference):
        return [f"GStreamer sender -> recv: GStreamer's round trip {rtt:.1f} ms, not {reference:.1f} "
                f"+- {TOLERANCE_MS} ms (our LSR or DLSR is off)"]
    return []


def gstreamer_receiver(port, relay_rtcp_port):
    caps = "application/x-rtp,media=audio,clock-rate=8000,encoding-name=PCMA,payload=8"
    return Process(["gst-launch-1.0", "-e", "rtpbin", "name=rb",
                    "udpsrc", "address=127.0.0.2", f"port={port}", f"caps={caps}", "!", "rb.recv_rtp_sink_0",
                    "udpsrc", "address=127.0.0.2", f"port={port + 1}", "caps=application/x-rtcp", "!",
                    "rb.recv_rtcp_sink_0",
                    "rb.", "!", "rtppcmadepay", "!", "fakesink",
                    "rb.send_rtcp_src_0", "!", "udpsink", "host=127.0.0.1", f"port={relay_rtcp_port}",
                    "sync=false", "async=false"], "gst-launch-1.0 receiver")


def send_to_gstreamer(work):
    receiver_port = free_port_pair(("127.0.0.2",))
    listen_port = free_port_pair(("127.0.0.3",))
    local_port = free_port_pair(("127.0.0.1",))
    log = os.path.join(work, "to-gstreamer.jsonl")
    with Relay(f"127.0.0.3:{listen_port}", f"127.0.0.2:{receiver_port}", log, "--rtcp",
               "--delay", DELAY_MS) as relay, \
            gstreamer_receiver(receiver_port, relay.port + 1) as gst:
        gst.wait_for(lambda line: "Setting pipeline to PLAYING" in line, 15, "PLAYING")
        with zqhost("send", "--to", f"127.0.0.3:{listen_port}", "--local-port", local_port, "--codec", "PCMA",
                    "--tone", 440, "--seconds", SECONDS, "--json", "--log-level", "none",
                    name="zqhost send") as send:
            check(send.finish(SECONDS + 15) == 0, "zqhost send failed\n" + send.transcript())
        gst.interrupt(15)
        relay.interrupt()
    summary = json_lines(send, "summary")[-1]
    blocks = rr_blocks(log)
    print(f"{'zqhost send -> GStreamer':<26} round trip reference {EXPECTED_RTT_MS} ms, ours "
          f"{summary['rtt_ms']} ms from {summary['rr_count']} reports, through the relay "
          f"{relay_round_trips_ms(log)} ms; {len(blocks)} report blocks went back, "
          f"the last {blocks[-1] if blocks else None}", flush=True)
    if summary["rr_count"] == 0:
        return [f"zqhost send -> GStreamer: no receiver report reached zqhost send ({len(blocks)} went back "
                "through the relay)"]
    reference = round_trip_reference(log)
    if not agrees(summary["rtt_ms"], reference):
        return [f"zqhost send -> GStreamer: our round trip {summary['rtt_ms']} ms, not {reference:.1f} "
                f"+- {TOLERANCE_MS} ms"]
    return []


def body():
    Gst = gstreamer_modules()
    work = work_folder("roundtrip")
    problems = gstreamer_to_recv(Gst, work) + send_to_gstreamer(work)
    check(not problems, "\n".join(problems))


run_test(lambda: (require("gst-launch-1.0"), body()))
