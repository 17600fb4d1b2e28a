"""zqhost send to a GStreamer rtpbin receiver: GStreamer gets every payload
intact, and its receiver reports reach our sender, whose statistics show
them with nothing lost and a round-trip time of a few ms. Over IPv4 or IPv6
(ZQ_ADDRESS_FAMILY, see Loopback)."""
import os

from interop import *
from gstpipeline import *

SECONDS = 12  # GStreamer reports about every 5 s; our first SR goes at 5 s


def gstreamer(Gst, loopback, port, sender_rtcp_port, output):
    caps = "application/x-rtp,media=audio,clock-rate=8000,encoding-name=PCMA,payload=8"
    return GstPipeline(Gst, "rtpbin name=rb "
                       f"udpsrc address={loopback.receiving} port={port} caps=\"{caps}\" ! rb.recv_rtp_sink_0 "
                       f"udpsrc address={loopback.receiving} port={port + 1} caps=application/x-rtcp ! "
                       "rb.recv_rtcp_sink_0 "
                       f"rb. ! rtppcmadepay ! filesink name=file location={output} async=false "
                       f"rb.send_rtcp_src_0 ! udpsink host={loopback.sending} port={sender_rtcp_port} "
                       "sync=false async=false", ("file",))


def check_receiver_reports(summary):
    check(summary["rr_count"] > 0, f"no receiver report reached the sender: {summary}")
    check(summary["fraction_lost"] == 0, f"the receiver reports show losses: {summary}")
    check(summary["rtt_ms"] <= 10, f"round-trip time of {summary['rtt_ms']} ms over the loopback: {summary}")


def body(Gst, loopback):
    work = work_folder(f"send-to-gstreamer-{loopback.family}")
    theirs, ours = loopback.free_port_pair(), loopback.free_port_pair()
    sent = os.path.join(work, "sent.alaw")
    received = os.path.join(work, "received.alaw")
    with open(sent, "wb") as file:
        file.write(os.urandom(160 * 50 * SECONDS))  # 20 ms frames that all differ

    with gstreamer(Gst, loopback, theirs, ours + 1, received) as gst:
        gst.start()  # its sockets are bound once it returns
        with zqhost("send", "--to", loopback.endpoint(loopback.receiving, theirs), "--local-port", ours,
                    "--codec", "PCMA", "--in", sent, "--json", "--log-level", "none", name="zqhost send") as send:
            check(send.finish(SECONDS + 15) == 0, "zqhost send failed\n" + send.transcript())
        gst.end(15)  # drains the jitter buffer into the file

    with open(sent, "rb") as file:
        want = file.read()
    with open(received, "rb") as file:
        got = file.read()
    check(got == want, f"GStreamer wrote {len(got)} bytes that differ from the {len(want)} sent")
    summary = json_lines(send, "summary")[-1]
    check(summary["ended"] == "done" and summary["packets"] == 50 * SECONDS, f"summary: {summary}")
    check_receiver_reports(summary)
    print(f"sender statistics over {loopback.family}: {summary}")


run_test(lambda: body(load_gstreamer(("rtpbin", "rtppcmadepay")), Loopback()))
