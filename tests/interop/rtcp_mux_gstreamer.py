"""RTCP multiplexed on the RTP ports (RFC 5761) between zqhost and GStreamer
rtpbin, three streams side by side:

  1. zqhost send --rtcp-mux to a GStreamer receiver: GStreamer writes every
     payload as sent and took our sender reports; its receiver reports come
     back to our RTP port, and our statistics show them with a round trip.
  2. A GStreamer sender to zqhost recv --rtcp-mux: we write every payload
     GStreamer encoded and took its sender reports; GStreamer holds our
     receiver reports, which went to its RTP port.
  3. The same sender to zqhost recv without --rtcp-mux: every payload is
     written and nothing else; the sender reports on the RTP port are counted
     (rtcp_on_rtp_port), never taken for media.

rtpbin has no multiplexing of its own: each GStreamer peer reads its one
port with an appsink that hands each datagram, by its second octet, to an
appsrc in front of rtpbin's RTP or RTCP pad, and sends RTP and RTCP from
that same port (a funnel into a udpsink that shares the udpsrc's socket)."""
import os

from interop import *
from gstpipeline import *

SECONDS = 10  # GStreamer's first report comes within about 5 s; our first SR at 5 s
FRAME_BYTES = 160  # 20 ms of 8 kHz A-law
OCTETS = FRAME_BYTES * 50 * SECONDS  # a stream's payload
RTP_CAPS = "application/x-rtp,media=audio,clock-rate=8000,encoding-name=PCMA,payload=8"
ROUND_TRIP_LIMIT_MS = 25  # the bare loopback, on a loaded machine


class MultiplexingPeer(GstPipeline):
    """rtpbin "rb" whose session 0 reads the udpsrc "src" through the
    appsink "in" into the appsrcs "rtcp" (and "rtp" for a receiver), sends
    from the same port through the udpsink "out", and writes a "file"."""

    def __init__(self, Gst, description):
        super().__init__(Gst, description, ("file",))
        self.counts = {"rtp": 0, "rtcp": 0}
        self.targets = {kind: self.element(kind) for kind in self.counts}
        self.element("in").connect("new-sample", self._sort)
        self.share_socket("src", "out")

    def _sort(self, sink):
        """The one demultiplexer: RTCP packet types 192-223 in the second octet."""
        buffer = sink.emit("pull-sample").get_buffer()
        data = buffer.extract_dup(0, buffer.get_size())
        kind = "rtcp" if len(data) > 1 and 192 <= data[1] <= 223 else "rtp"
        self.counts[kind] += 1
        if self.targets[kind] is not None:
            self.targets[kind].emit("push-buffer", self.Gst.Buffer.new_wrapped(data))
        return self.Gst.FlowReturn.OK

    def finish(self):
        """Stops the pipeline; the statistics of rtpbin's sources before."""
        sources = self.session_sources()
        self.stop()
        return sources


def demultiplexer(address, port, receiving):
    appsrc = "appsrc format=time is-live=true do-timestamp=true"
    return (f"rtpbin name=rb udpsrc name=src address={address} port={port} ! "
            "appsink name=in emit-signals=true sync=false async=false "
            f"{appsrc} name=rtcp caps=application/x-rtcp ! rb.recv_rtcp_sink_0 "
            + (f"{appsrc} name=rtp caps=\"{RTP_CAPS}\" ! rb.recv_rtp_sink_0 " if receiving else ""))


def gstreamer_receiver(Gst, port, sender_port, output):
    """On 127.0.0.2:port, writing the A-law it depayloads to `output`;
    its reports go to our sender's RTP port."""
    return MultiplexingPeer(Gst, demultiplexer("127.0.0.2", port, True) +
                            f"rb. ! rtppcmadepay ! filesink name=file location={output} async=false "
                            f"rb.send_rtcp_src_0 ! udpsink name=out host=127.0.0.1 port={sender_port} "
                            "sync=false async=false")


def gstreamer_sender(Gst, port, destination, sent):
    """White noise (every 20 ms frame differs) as A-law, written to `sent`
    and sent from 127.0.0.1:port to 127.0.0.2:destination with its RTCP."""
    return MultiplexingPeer(Gst, "funnel name=f " + demultiplexer("127.0.0.1", port, False) +
                            f"audiotestsrc is-live=true wave=white-noise samplesperbuffer={FRAME_BYTES} "
                            f"num-buffers={50 * SECONDS} ! alawenc ! tee name=t "
                            f"t. ! queue ! filesink name=file location={sent} "
                            "t. ! queue ! rtppcmapay ! rb.send_rtp_sink_0 "
                            "rb.send_rtp_src_0 ! f. rb.send_rtcp_src_0 ! f. "
                            f"f. ! udpsink name=out host=127.0.0.2 port={destination} sync=false async=false")


def check_send_to_gstreamer(gst_sources, send, sent, received):
    with open(sent, "rb") as want, open(received, "rb") as got:
        check(got.read() == want.read(), "1: GStreamer wrote other bytes than zqhost sent")
    summary = json_lines(send, "summary")[-1]
    check(summary["ended"] == "done" and summary["packets"] == 50 * SECONDS, f"1: summary: {summary}")
    check(summary["rr_count"] > 0 and summary["fraction_lost"] == 0,
          f"1: GStreamer's receiver reports did not reach our RTP port: {summary}")
    check(summary["rtt_ms"] <= ROUND_TRIP_LIMIT_MS, f"1: round trip of {summary['rtt_ms']} ms: {summary}")
    ours = gst_sources.get(summary["ssrc"])
    check(ours is not None and field(ours, "have-sr", "boolean"),
          f"1: GStreamer took no sender report of ours: {ours and ours.to_string()}")
    return summary


def check_gstreamer_to_recv(gst, gst_sources, recv, sent, received, multiplexed):
    got = end_recv_when_delivered(recv, sent, received, "GStreamer")
    theirs = reported_sources(recv, "remote")[0]
    drops = max(json_lines(recv, "rtcp_on_rtp_port"), default=0)
    if multiplexed:
        check(theirs["sr_packets"] > 0, f"2: no sender report of GStreamer's came through: {theirs}")
        ours = reported_sources(recv, "local")[0]["ssrc"]
        check(ours in gst_sources and field(gst_sources[ours], "have-rb", "boolean"),
              f"2: GStreamer's sender holds no receiver report of ours ({ours}); it sorted {gst.counts}")
        check(drops == 0, f"2: {drops} RTCP compounds counted as stray under --rtcp-mux")
    else:
        check(theirs["sr_packets"] == 0, f"3: an SR on the RTP port was processed without --rtcp-mux: {theirs}")
        check(drops > 0, "3: no RTCP counted on the RTP port\n" + recv.transcript())
    return len(got), drops


def body(Gst):
    work = work_folder("rtcp-mux-gstreamer")
    gst_in, ours_out, gst_out, ours_in, plain_in, plain_gst_out = (free_port_pair() for _ in range(6))
    paths = {name: os.path.join(work, name + ".alaw") for name in ("sent1", "got1", "sent2", "got2", "sent3", "got3")}
    with open(paths["sent1"], "wb") as file:
        file.write(os.urandom(OCTETS))

    with gstreamer_receiver(Gst, gst_in, ours_out, paths["got1"]) as receiver, \
            start_recv(f"127.0.0.2:{ours_in}", paths["got2"], "--rtcp-mux", "--peer", f"127.0.0.1:{gst_out}",
                       name="zqhost recv --rtcp-mux") as recv, \
            start_recv(f"127.0.0.2:{plain_in}", paths["got3"]) as plain, \
            gstreamer_sender(Gst, gst_out, ours_in, paths["sent2"]) as sender, \
            gstreamer_sender(Gst, plain_gst_out, plain_in, paths["sent3"]) as plain_sender:
        for gst in (receiver, sender, plain_sender):
            gst.start()
        with zqhost("send", "--rtcp-mux", "--to", f"127.0.0.2:{gst_in}", "--local-port", ours_out, "--codec", "PCMA",
                    "--in", paths["sent1"], "--json", "--log-level", "none", name="zqhost send --rtcp-mux") as send:
            check(send.finish(SECONDS + 15) == 0, "zqhost send failed\n" + send.transcript())
        receiver.end(15)
        summary = check_send_to_gstreamer(receiver.finish(), send, paths["sent1"], paths["got1"])
        # What a sender sent may still be on its way when its file has it all.
        for gst, process in ((sender, recv), (plain_sender, plain)):
            gst.wait_for_end(15)
            wait_delivered(process, OCTETS)
        sender_sources = sender.finish()
        plain_sender.finish()
        octets, _ = check_gstreamer_to_recv(sender, sender_sources, recv, paths["sent2"], paths["got2"], True)
        plain_octets, stray = check_gstreamer_to_recv(plain_sender, {}, plain, paths["sent3"], paths["got3"], False)

    print(f"1: GStreamer wrote the {SECONDS * 50} packets we sent; our sender heard {summary['rr_count']} receiver "
          f"reports (RTT {summary['rtt_ms']} ms); GStreamer sorted {receiver.counts}")
    print(f"2: we wrote the {octets} octets GStreamer encoded, with its SRs, and it holds our RRs; "
          f"it sorted {sender.counts}")
    print(f"3: without --rtcp-mux we wrote the {plain_octets} octets and counted {stray} RTCP compounds on the "
          "RTP port")


Gst = load_gstreamer(("rtpbin", "udpsrc", "udpsink", "appsrc", "appsink", "funnel", "alawenc", "rtppcmapay",
                      "rtppcmadepay"))
run_test(lambda: body(Gst))
