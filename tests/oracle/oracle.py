"""What the oracle tests share: a stream sent through `zqhost relay` into
`zqhost recv`, and the reception figures a receiver must report, computed
here from the relay's log alone (RFC 3550 A.1, A.3 and A.8), without any
of our code, then held against what our receiver reported.

The relay's log has every RTP datagram it forwarded to the receiver, with
its forwarding time, and every report the receiver sent back, with the time
it reached the relay. The reference at a report is the state after every
datagram forwarded before that report arrived. The receiver writes a report
right after the datagram that runs its report timer, so datagrams forwarded
within AMBIGUOUS_US before a report's arrival may or may not be in it: each
such cut is computed, and the report must equal one of them exactly.
"""
import concurrent.futures
import copy
import json
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from interop import *  # noqa: E402,F401,F403  (the shared helpers: processes, ports, checks)
from interop import Failure, Process, ZQHOST, check, free_port_pair, json_lines, zqhost  # noqa: E402
from capturing import start_dumpcap, tshark  # noqa: E402

RTP_SEQ_MOD = 1 << 16
MAX_DROPOUT = 3000
MAX_MISORDER = 100
AMBIGUOUS_US = 2000
MIN_COMPARED_REPORTS = 2
JITTER_RELATIVE = 0.10
JITTER_ABSOLUTE_MS = 0.2
RECEIVER_REPORT = 201
SENDER_REPORT = 200
# Payload types and their RTP clock rates: the G.711 pair and the events
# at 8 kHz; anything else here is video at 90 kHz.
AUDIO_CLOCK_HZ = {0: 8000, 8: 8000, 101: 8000}
VIDEO_CLOCK_HZ = 90000


def clock_rate(payload_type):
    return AUDIO_CLOCK_HZ.get(payload_type, VIDEO_CLOCK_HZ)


def signed32(value):
    """Our statistics print the cumulative loss unsigned: -1 reads 4294967295."""
    return value - (1 << 32) if value >= 1 << 31 else value


class SourceReference:
    """One SSRC as RFC 3550's appendix receives it: A.1's sequence state
    (without probation: the first packet counts and is the base), A.3's
    loss and fraction over the interval between two reports, A.8's jitter
    with the relay's forwarding time as the arrival time."""

    def __init__(self, seq):
        self.bad_seq = RTP_SEQ_MOD + 1
        self.init_seq(seq)
        self.received = 1
        self.jitter = 0.0  # timestamp units
        self.transit = None

    def init_seq(self, seq):
        self.base_seq = seq
        self.max_seq = seq
        self.bad_seq = RTP_SEQ_MOD + 1
        self.cycles = 0
        self.received = 0
        self.received_prior = 0
        self.expected_prior = 0

    def update_seq(self, seq):
        """A.1: False when the packet is not counted (a jump, until the
        next one confirms it)."""
        udelta = (seq - self.max_seq) % RTP_SEQ_MOD
        if udelta < MAX_DROPOUT:
            if seq < self.max_seq:
                self.cycles += RTP_SEQ_MOD
            self.max_seq = seq
        elif udelta <= RTP_SEQ_MOD - MAX_MISORDER:
            if seq == self.bad_seq:
                self.init_seq(seq)  # two in a row after a jump: the sender restarted
            else:
                self.bad_seq = (seq + 1) % RTP_SEQ_MOD
                return False
        # else: a duplicate or a late packet, counted all the same
        self.received += 1
        return True

    def update_jitter(self, arrival_ts, rtp_ts):
        transit = arrival_ts - rtp_ts
        if self.transit is not None:
            d = abs(transit - self.transit)
            self.jitter += (d - self.jitter) / 16.0
        self.transit = transit

    def extended_max(self):
        return self.cycles + self.max_seq

    def expected(self):
        return self.extended_max() - self.base_seq + 1

    def cumulative_lost(self):
        lost = self.expected() - self.received
        return max(-0x800000, min(0x7FFFFF, lost))

    def take_fraction(self):
        """A.3's fraction since the last report, which this call makes."""
        expected = self.expected()
        expected_interval = expected - self.expected_prior
        self.expected_prior = expected
        received_interval = self.received - self.received_prior
        self.received_prior = self.received
        lost_interval = expected_interval - received_interval
        if expected_interval == 0 or lost_interval <= 0:
            return 0
        return ((lost_interval << 8) // expected_interval) & 0xFF


class Reference:
    """Every SSRC of a stream, fed with the forwarded datagrams in order."""

    def __init__(self):
        self.sources = {}

    def receive(self, datagram):
        ssrc, seq = datagram["ssrc"], datagram["seq"]
        source = self.sources.get(ssrc)
        if source is None:
            source = self.sources[ssrc] = SourceReference(seq)
            counted = True
        else:
            counted = source.update_seq(seq)
        if counted:
            rate = clock_rate(datagram["pt"])
            source.update_jitter(datagram["forwarded_us"] * rate / 1e6, datagram["ts"])


def read_log(path):
    with open(path) as file:
        return [json.loads(line) for line in file if line.strip()]


def forwarded_rtp(events):
    """The RTP datagrams the receiver got, in the order it got them."""
    rtp = [e for e in events if e["direction"] == "fwd" and e["kind"] == "rtp" and not e.get("dropped")
           and not e.get("malformed")]
    return sorted(rtp, key=lambda e: e["forwarded_us"])


def receiver_reports(events):
    """(arrival time, report block) for every block of every RR or SR the
    receiver sent back, in the order they reached the relay."""
    reports = []
    for event in sorted((e for e in events if e["direction"] == "rev" and e["kind"] == "rtcp"),
                        key=lambda e: e["arrived_us"]):
        for packet in event.get("packets", []):
            if packet["type"] in (RECEIVER_REPORT, SENDER_REPORT):
                for block in packet.get("reports", []):
                    reports.append((event["arrived_us"], block))
    return reports


def jitter_ms(units, payload_type):
    return units * 1000.0 / clock_rate(payload_type)


def jitter_close(ours_ms, reference_ms):
    return abs(ours_ms - reference_ms) <= max(JITTER_RELATIVE * reference_ms, JITTER_ABSOLUTE_MS)


class Comparison:
    """Our reports against the reference, report by report."""

    def __init__(self, events):
        self.rtp = forwarded_rtp(events)
        self.reports = receiver_reports(events)
        self.payload_types = {d["ssrc"]: d["pt"] for d in self.rtp}
        self.compared = 0
        self.ambiguous = 0  # reports with more than one possible cut
        self.mismatches = []
        self.last = None  # (reference, ours) of the last report compared
        self.final = Reference()
        self._run()

    def _first_at_or_after(self, start, time_us):
        index = start
        while index < len(self.rtp) and self.rtp[index]["forwarded_us"] < time_us:
            index += 1
        return index

    def _run(self):
        reference, fed = Reference(), 0
        for arrived_us, block in self.reports:
            sure = self._first_at_or_after(fed, arrived_us - AMBIGUOUS_US)
            for datagram in self.rtp[fed:sure]:
                reference.receive(datagram)
            latest = self._first_at_or_after(sure, arrived_us)
            if block["ssrc"] not in {d["ssrc"] for d in self.rtp[:latest]}:
                self.mismatches.append(f"a report about SSRC {block['ssrc']}, which the relay never forwarded")
                reference, fed = self._cut(reference, sure, latest), latest
                continue
            self.ambiguous += latest > sure
            outcomes = []
            for cut in range(latest, sure - 1, -1):  # the triggering datagram counted first
                candidate = self._cut(reference, sure, cut)
                want, got = self._figures(block, candidate.sources.get(block["ssrc"]))
                outcomes.append((self._differences(want, got), want, got, candidate, cut))
                if not outcomes[-1][0]:
                    break
            differ, want, got, reference, fed = min(outcomes, key=lambda outcome: len(outcome[0]))
            self.compared += 1
            self.last = (want, got)
            if differ:
                self.mismatches.append(f"report at {arrived_us} us about SSRC {block['ssrc']}: "
                                       + ", ".join(f"{k} reference {round(want[k], 3)} ours {round(got[k], 3)}"
                                                   for k in differ))
        for datagram in self.rtp[fed:]:
            reference.receive(datagram)
        self.final = reference

    def reference_over(self, ssrc, count):
        """The reference for `ssrc` over its first `count` datagrams."""
        reference = Reference()
        for datagram in [d for d in self.rtp if d["ssrc"] == ssrc][:count]:
            reference.receive(datagram)
        return reference.sources[ssrc]

    def _cut(self, reference, start, end):
        """A copy of `reference` that also got the datagrams start..end."""
        candidate = copy.deepcopy(reference)
        for datagram in self.rtp[start:end]:
            candidate.receive(datagram)
        return candidate

    def _figures(self, block, source):
        """(reference, ours) for one report block; the reference's report
        interval closes here."""
        if source is None:
            return {"reported": False}, {"reported": True}
        payload_type = self.payload_types[block["ssrc"]]
        want = {"cumulative_lost": source.cumulative_lost(), "extended_highest_seq": source.extended_max(),
                "fraction_lost": source.take_fraction(), "jitter_ms": jitter_ms(source.jitter, payload_type)}
        got = {"cumulative_lost": block["cumulative_lost"], "extended_highest_seq": block["extended_highest_seq"],
               "fraction_lost": block["fraction_lost"], "jitter_ms": jitter_ms(block["jitter"], payload_type)}
        return want, got

    @staticmethod
    def _differences(want, got):
        differ = [k for k in want if k != "jitter_ms" and want[k] != got[k]]
        if "jitter_ms" in want and not jitter_close(got["jitter_ms"], want["jitter_ms"]):
            differ.append("jitter_ms")
        return differ


# --- the relay, the receiver and the capture ---------------------------------------------

class Relay(Process):
    """zqhost relay in the background; `port` is the pair it sends from."""

    def __init__(self, listen, to, log, *impairments):
        super().__init__([ZQHOST, "relay", "--listen", listen, "--to", to, "--log", log, *map(str, impairments)],
                         "zqhost relay")
        line = self.wait_for(lambda text: text.startswith("listening on"), 10, "the relay's start")
        self.address, port = re.search(r"from (\S+):(\d+)$", line).groups()
        self.port = int(port)


def tshark_streams(path, port):
    """{ssrc: (packets, lost)} from tshark's RTP stream analysis."""
    streams = {}
    for line in tshark(path, port, "-q", "-z", "rtp,streams").splitlines():
        # ... SSRC  Payload  Pkts  Lost (percent) ...
        match = re.search(r"\s(0x[0-9a-fA-F]+)\s+\S+\s+(\d+)\s+(-?\d+)\s+\(", line)
        if match:
            streams[int(match.group(1), 16)] = (int(match.group(2)), int(match.group(3)))
    return streams


def wait_until(condition, seconds, what):
    """Looks at `condition` (a file another process writes) until it holds."""
    deadline = time.monotonic() + seconds
    while not condition():
        check(time.monotonic() < deadline, f"no {what} within {seconds} s")
        time.sleep(0.1)


def await_next_statistics(recv):
    """Awaits a statistics block zqhost recv prints after this call (one
    comes every 2 s): by then it has processed what had arrived."""
    try:
        recv.wait_for(lambda line: False, 0.05, "")  # takes in what was printed so far
    except Failure:
        pass
    before = len(json_lines(recv, "sources"))
    seen = [0]

    def after_before(line):
        if line.startswith("{") and '"sources"' in line:
            seen[0] += 1
        return seen[0] > before
    recv.wait_for(after_before, 10, "statistics after the relay stopped")


def final_remote_statistics(recv):
    """{ssrc: statistics} of the remote sources in zqhost recv's last report."""
    blocks = json_lines(recv, "sources")
    check(blocks, "zqhost recv printed no statistics\n" + recv.transcript())
    return {s["ssrc"]: s for s in blocks[-1] if s["side"] == "remote"}


# --- senders -------------------------------------------------------------------------------

FRAME_MS = 20
FRAME_SAMPLES = 160  # 20 ms at 8 kHz
# Every 20 ms of a rising chirp differs: a lost or swapped packet shows.
CHIRP = "aevalsrc=0.5*sin(2*PI*(300*t+20*t*t)):s=8000:d={seconds}"


def gstreamer_sender(port, ssrc, first_seq, seconds):
    """GStreamer's rtpbin sending PCMA (and its sender reports) to port, port + 1."""
    frames = seconds * 1000 // FRAME_MS
    return Process(["gst-launch-1.0", "-e", "rtpbin", "name=rb",
                    "audiotestsrc", "is-live=true", f"num-buffers={frames}", f"samplesperbuffer={FRAME_SAMPLES}",
                    "!", "alawenc", "!", "rtppcmapay", f"seqnum-offset={first_seq}", f"ssrc={ssrc}",
                    "!", "rb.send_rtp_sink_0",
                    "rb.send_rtp_src_0", "!", "udpsink", "host=127.0.0.1", f"port={port}", "sync=false",
                    "async=false",
                    "rb.send_rtcp_src_0", "!", "udpsink", "host=127.0.0.1", f"port={port + 1}", "sync=false",
                    "async=false"], "gst-launch-1.0 sender")


def ffmpeg_sender(port, ssrc, first_seq, seconds, local_port):
    """ffmpeg's rtp muxer sending a PCMA chirp (and sender reports)."""
    return Process(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re",
                    "-f", "lavfi", "-i", CHIRP.format(seconds=seconds),
                    "-c:a", "pcm_alaw", "-f", "rtp", "-payload_type", "8", "-ssrc", str(ssrc), "-seq", str(first_seq),
                    "-cname", "oracle-ffmpeg",
                    f"rtp://127.0.0.1:{port}?rtcpport={port + 1}&localrtpport={local_port}"
                    f"&localrtcpport={local_port + 1}"], "ffmpeg sender")


# --- one case ------------------------------------------------------------------------------

class Case:
    """A stream through the relay into zqhost recv. `send(listen_port)`
    runs the sender to its end."""

    def __init__(self, name, send, impairments=(), expect_lost=None, tshark_follows=True):
        self.name = name
        self.send = send
        self.impairments = impairments
        self.expect_lost = expect_lost  # a check that the impairment did something
        # tshark's stream analysis never restarts on a jump of sequence
        # numbers (RFC 3550 A.1 does): its count is then shown, not required.
        self.tshark_follows = tshark_follows


def _reports_settled(log_path, last_rtp_after):
    """The reports to compare: a receiver reports every 5 s while traffic
    flows (not after it), so a stream of 12 s brings two. The final figures
    are compared through zqhost's last statistics and tshark."""
    try:
        events = read_log(log_path)
    except (OSError, json.JSONDecodeError):
        return False  # a line half written: look again
    rtp = forwarded_rtp(events)
    if not rtp:
        return False
    last_us = rtp[-1]["forwarded_us"]
    return len(receiver_reports(events)) >= MIN_COMPARED_REPORTS and last_us > last_rtp_after


def run_case(case):
    work = work_folder(re.sub(r"\W+", "-", case.name))
    receiver_port = free_port_pair(("127.0.0.2",))
    listen_port = free_port_pair(("127.0.0.1",))
    log, captured = os.path.join(work, "relay.jsonl"), os.path.join(work, "receiver-leg.pcapng")
    with Relay(f"127.0.0.1:{listen_port}", f"127.0.0.2:{receiver_port}", log, "--rtcp", *case.impairments) as relay, \
            start_dumpcap(captured, f"udp and port {receiver_port}") as capture, \
            zqhost("recv", "--on", f"127.0.0.2:{receiver_port}", "--out", os.path.join(work, "received.alaw"),
                   "--json", "--log-level", "none", name="zqhost recv") as recv:
        wait_until(lambda: bound_by_someone("127.0.0.2", receiver_port) or recv.proc.poll() is not None, 10,
                   "receiver on its port")
        check(recv.proc.poll() is None, "zqhost recv ended before the stream\n" + recv.transcript())
        started_us = time.monotonic() * 1e6
        case.send(listen_port)
        try:
            wait_until(lambda: _reports_settled(log, started_us), 10, "receiver reports")
        except Failure as failure:
            print(f"{case.name}: {failure}")  # compared below all the same: the count says what is missing
        # The relay first: what it still holds back (jitter, delay) is logged
        # as dropped, and the receiver gets the rest before it stops.
        check(relay.interrupt() == 0, "the relay did not end cleanly\n" + relay.transcript())
        await_next_statistics(recv)
        check(recv.interrupt() == 0, "zqhost recv did not end cleanly\n" + recv.transcript())
        capture.interrupt()
    return judge(case, read_log(log), final_remote_statistics(recv), tshark_streams(captured, receiver_port))


def judge(case, events, ours, tshark):
    """Prints the case's line and answers what differed (empty: passed)."""
    comparison = Comparison(events)
    problems = list(comparison.mismatches)
    if comparison.compared < MIN_COMPARED_REPORTS:
        problems.append(f"only {comparison.compared} receiver reports could be compared "
                        f"({len(comparison.reports)} reached the relay)")
    final = comparison.final.sources
    columns = []
    for ssrc, source in final.items():
        payload_type = comparison.payload_types[ssrc]
        mine = ours.get(ssrc)
        reference_jitter = jitter_ms(source.jitter, payload_type)
        shark = tshark.get(ssrc, (None, None))[1]
        if mine is None:
            columns.append(f"SSRC {ssrc}: ours none (ref lost {source.cumulative_lost()})")
            if ssrc == comparison.rtp[-1]["ssrc"]:
                problems.append(f"zqhost recv's last statistics have no SSRC {ssrc}")
            continue
        lost, jitter = signed32(mine["lost"]), mine["jitter_ms"]
        columns.append(f"SSRC {ssrc}: lost ref {source.cumulative_lost()} ours {lost} tshark {shark}, "
                       f"jitter ms ref {reference_jitter:.3f} ours {jitter:.3f}")
        if lost != source.cumulative_lost():
            problems.append(f"SSRC {ssrc}: our final statistics {lost} lost, reference {source.cumulative_lost()}")
        if shark is not None and case.tshark_follows:
            # dumpcap, stopped by a signal, may leave the last datagrams of
            # the stream unread: tshark is held against the same packets.
            captured = tshark[ssrc][0]
            shark_reference = comparison.reference_over(ssrc, captured).cumulative_lost()
            if shark != shark_reference:
                problems.append(f"SSRC {ssrc}: tshark counts {shark} lost in {captured} packets, "
                                f"the reference {shark_reference}")
        if not jitter_close(jitter, reference_jitter):
            problems.append(f"SSRC {ssrc}: our final jitter {jitter:.3f} ms, reference {reference_jitter:.3f} ms")
    if case.expect_lost is not None:
        total = sum(s.cumulative_lost() for s in final.values())
        check(case.expect_lost(total), f"{case.name}: the impairment had no effect (reference lost {total})")
    last = ""
    if comparison.last:
        want, got = comparison.last
        last = "; last RR " + ", ".join(f"{k} ref {round(want[k], 3)} ours {round(got[k], 3)}" for k in want)
    verdict = "ok" if not problems else "DIFFERS"
    print(f"{case.name:<26} {verdict:<7} RRs compared {comparison.compared} ({comparison.ambiguous} with two "
          f"possible cuts){last}; "
          + "; ".join(columns), flush=True)
    return [f"{case.name}: {p}" for p in problems]


def run_cases(cases):
    """Every case runs, side by side (each has its own ports, relay, capture
    and receiver, and waits in real time), then the test fails naming every
    difference."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=len(cases)) as pool:
        results = list(pool.map(run_case, cases))
    problems = [problem for result in results for problem in result]
    check(not problems, "\n".join(problems))
