"""GStreamer driven from Python: an initialised Gst, and a pipeline whose
rtpbin statistics can be read while it runs and whose end is awaited at
named sinks."""
import os
import sys
import threading
import time

from interop import SKIP, check

SYSTEM_PYTHON = "/usr/bin/python3"


def load_gstreamer(elements):
    """Gst, initialised. GStreamer for Python lives with the system's own
    interpreter: under another one (ctest may run a Python of one's own) the
    script runs again under the system's. Skips the test without it or
    without one of `elements`."""
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


def field(stats, name, kind="uint"):
    found, value = getattr(stats, "get_" + kind)(name)
    return value if found else None


class GstPipeline:
    """A pipeline from a gst-launch description, its end of stream awaited
    at the sinks named in `awaited` rather than as the pipeline's: rtpbin's
    RTCP source pad now and then never passes it on."""

    def __init__(self, Gst, description, awaited):
        self.Gst = Gst
        self.pipeline = Gst.parse_launch(description)
        self._ended = {name: threading.Event() for name in awaited}
        for name, ended in self._ended.items():
            pad = self.element(name).get_static_pad("sink")
            pad.add_probe(Gst.PadProbeType.EVENT_DOWNSTREAM, self._watch_end, ended)

    def _watch_end(self, pad, info, ended):
        if info.get_event().type == self.Gst.EventType.EOS:
            ended.set()
        return self.Gst.PadProbeReturn.OK

    def element(self, name):
        return self.pipeline.get_by_name(name)

    def share_socket(self, source, sink):
        """The udpsink `sink` sends from the port the udpsrc `source` reads."""
        self.element(source).set_state(self.Gst.State.READY)
        self.element(sink).set_property("socket", self.element(source).get_property("used-socket"))

    def start(self):
        result = self.pipeline.set_state(self.Gst.State.PLAYING)
        check(result != self.Gst.StateChangeReturn.FAILURE, "a GStreamer pipeline did not start")

    def wait_for_end(self, seconds):
        """Waits until every awaited sink has had the end of the stream,
        watching the bus meanwhile for an error."""
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
        """The statistics of every source rtpbin's session 0 knows, by SSRC."""
        session = self.element(rtpbin).emit("get-internal-session", 0)
        check(session is not None, "rtpbin has no session 0")
        return {stats.get_uint("ssrc")[1]: stats
                for stats in (source.get_property("stats") for source in session.get_property("sources"))}

    def stop(self):
        self.pipeline.set_state(self.Gst.State.NULL)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
