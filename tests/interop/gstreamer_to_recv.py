"""A GStreamer rtpbin sender (udpsink) to zqhost recv: the payload file
equals, byte for byte, the A-law bytes GStreamer encoded (written beside the
stream), nothing is lost, and GStreamer's sender reports and CNAME reach the
receiver, whose own reports go to GStreamer's RTCP udpsrc. Over IPv4 or
IPv6 (ZQ_ADDRESS_FAMILY, see Loopback)."""
import os

from interop import *
from gstpipeline import *

SECONDS = 6  # rtpbin's first report leaves within about 4 s
FRAME_BYTES = 160  # 20 ms of 8 kHz A-law


def sender(Gst, loopback, sent, destination, rtcp_port):
    """White noise (every 20 ms frame differs) as A-law, written to `sent`
    and sent to `destination`; our reports are read on `rtcp_port`. Its
    stream ends by itself after its last buffer."""
    host = loopback.receiving
    return GstPipeline(Gst, "rtpbin name=rb "
                       f"audiotestsrc is-live=true wave=white-noise samplesperbuffer={FRAME_BYTES} "
                       f"num-buffers={50 * SECONDS} ! alawenc ! tee name=t "
                       f"t. ! queue ! filesink name=file location={sent} "
                       "t. ! queue ! rtppcmapay ! rb.send_rtp_sink_0 "
                       f"rb.send_rtp_src_0 ! udpsink host={host} port={destination} sync=false async=false "
                       f"rb.send_rtcp_src_0 ! udpsink host={host} port={destination + 1} sync=false async=false "
                       f"udpsrc address={loopback.sending} port={rtcp_port} caps=application/x-rtcp ! "
                       "rb.recv_rtcp_sink_0", ("file",))


def body(Gst, loopback):
    work = work_folder(f"gstreamer-to-recv-{loopback.family}")
    sent = os.path.join(work, "sent.alaw")
    received = os.path.join(work, "received.alaw")
    recv, ours, theirs = loopback.start_recv(received)
    with recv, sender(Gst, loopback, sent, ours, theirs + 1) as gst:
        gst.start()
        gst.wait_for_end(SECONDS + 15)  # the file is complete once its sink had the end
        size = os.path.getsize(sent)
        check(size == FRAME_BYTES * 50 * SECONDS, f"GStreamer encoded {size} bytes, not {SECONDS} s of A-law")
        got = end_recv_when_delivered(recv, sent, received, "GStreamer")

    summary = json_lines(recv, "summary")[-1]
    check(summary["lost"] == 0 and summary["octets"] == len(got), f"summary: {summary}")
    theirs_seen = reported_sources(recv, "remote")[0]
    check(theirs_seen["sr_packets"] > 0 and theirs_seen["cname"],
          f"no sender report or CNAME of GStreamer's came through: {theirs_seen}")
    print(f"{len(got)} payload octets over {loopback.family}; GStreamer's last sender report counted "
          f"{theirs_seen['sr_packets']} packets, its CNAME is {theirs_seen['cname']}")


run_test(lambda: body(load_gstreamer(("rtpbin", "alawenc", "rtppcmapay")), Loopback()))
