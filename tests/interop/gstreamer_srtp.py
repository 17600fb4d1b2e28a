"""GStreamer with SRTP, driven from Python: rtpbin with srtpenc and srtpdec
in front of its pads, whose statistics can be read while it runs.

srtpdec takes a key per SSRC: from caps that name the SSRC, or from its
"request-key" signal for an SSRC it has not seen. The SSRCs our stacks use
are drawn at start, so the key is handed out through the signal, which
gst-launch-1.0 cannot answer: hence Python."""
import base64
import os
import sys
import threading
import time

from interop import SKIP, check

SYSTEM_PYTHON = "/usr/bin/python3"
# The plain AES-CM suite with 80-bit tags, both for SRTP and SRTCP, as
# srtpdec names it in caps.
SUITE_CAPS = ("application/x-srtp,srtp-cipher=aes-128-icm,srtp-auth=hmac-sha1-80,"
              "srtcp-cipher=aes-128-icm,srtcp-auth=hmac-sha1-80")


def load_gstreamer(elements=("rtpbin", "srtpenc", "srtpdec", "udpsrc", "udpsink")):
    """Gst, initialised. GStreamer for Python lives with the system's own
    interpreter: under another one (ctest may run a Python of one's own) the
    script runs again under the system's. Skips the test without it or
    without one of `elements` (by default those of SRTP)."""
    try:
        import gi
        gi.require_version("Gst", "1.0")
        from gi.repository import Gst
    except (ImportError, ValueError):
        if os.path.exists(SYSTEM_PYTHON) and not os.environ.get("ZQ_INTEROP_SYSTEM_PYTHON"):
            os.environ["ZQ_INTEROP_SYSTEM_PYTHON"] = "1"
            os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, os.path.abspath(sys.argv[0])])
        print("SKIPPED: python3-gst-1.0 (GStreamer for Python) is not installed")
        sys.exit(SKIP)
    Gst.init(None)
    for element in elements:
        if Gst.ElementFactory.find(element) is None:
            print(f"SKIPPED: GStreamer has no {element} (gstreamer1.0-plugins-bad / -good)")
            sys.exit(SKIP)
    return Gst


def key_buffer(Gst, key):
    return Gst.Buffer.new_wrapped(base64.b64decode(key))


def rtpbin_sources(rtpbin):
    """The statistics of every source rtpbin's session 0 knows, by SSRC."""
    session = rtpbin.emit("get-internal-session", 0)
    check(session is not None, "rtpbin has no session 0")
    sources = {}
    for source in session.get_property("sources"):
        stats = source.get_property("stats")
        sources[stats.get_uint("ssrc")[1]] = stats
    return sources


class Pipeline:
    """A pipeline from a gst-launch description; its srtpenc "enc" encrypts
    under `send_key`, its srtpdec "dec" hands out `receive_key` for every
    SSRC that asks.

    Its end is awaited at the sinks named in `awaited`, not as the
    pipeline's end of stream: with srtpenc after rtpbin's RTP source pad,
    rtpbin's RTCP source pad now and then never passes the end of stream on
    (about one run in three here), so the pipeline as a whole never ends."""

    def __init__(self, Gst, description, send_key, receive_key, awaited):
        self.Gst = Gst
        self.pipeline = Gst.parse_launch(description)
        self.key_requests = []
        self.element("enc").set_property("key", key_buffer(Gst, send_key))
        self._receive_caps = Gst.Caps.from_string(SUITE_CAPS)
        self._receive_caps.set_value("srtp-key", key_buffer(Gst, receive_key))
        self.element("dec").connect("request-key", self._request_key)
        self._ended = {name: threading.Event() for name in awaited}
        for name, ended in self._ended.items():
            pad = self.pipeline.get_by_name(name).get_static_pad("sink")
            pad.add_probe(Gst.PadProbeType.EVENT_DOWNSTREAM, self._watch_end, ended)

    def _request_key(self, decoder, ssrc):
        self.key_requests.append(ssrc)
        return self._receive_caps

    def _watch_end(self, pad, info, ended):
        if info.get_event().type == self.Gst.EventType.EOS:
            ended.set()
        return self.Gst.PadProbeReturn.OK

    def element(self, name):
        return self.pipeline.get_by_name(name)

    def start(self):
        result = self.pipeline.set_state(self.Gst.State.PLAYING)
        check(result != self.Gst.StateChangeReturn.FAILURE, "the GStreamer pipeline did not start")

    def wait_for_end(self, seconds):
        """Waits until every awaited sink has had the end of the stream; the
        bus is watched meanwhile for an error."""
        deadline = time.monotonic() + seconds
        bus = self.pipeline.get_bus()
        for name, ended in self._ended.items():
            while not ended.is_set():
                left = deadline - time.monotonic()
                check(left > 0, f"GStreamer's {name} did not reach the end of the stream within {seconds} s")
                message = bus.timed_pop_filtered(int(min(left, 0.1) * self.Gst.SECOND), self.Gst.MessageType.ERROR)
                if message is not None:
                    error, debug = message.parse_error()
                    check(False, f"GStreamer failed: {error.message} ({debug})")

    def end(self, seconds):
        """The end of the stream sent in (the files it writes are then
        complete), awaited at the sinks."""
        self.pipeline.send_event(self.Gst.Event.new_eos())
        self.wait_for_end(seconds)

    def session_sources(self, rtpbin="rb"):
        return rtpbin_sources(self.element(rtpbin))

    def stop(self):
        self.pipeline.set_state(self.Gst.State.NULL)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def field(stats, name, kind="uint"):
    found, value = getattr(stats, "get_" + kind)(name)
    return value if found else None
