"""GStreamer with SRTP: rtpbin with srtpenc and srtpdec in front of its pads.

srtpdec takes a key per SSRC: from caps that name the SSRC, or from its
"request-key" signal for an SSRC it has not seen. The SSRCs our stacks use
are drawn at start, so the key is handed out through the signal, which
gst-launch-1.0 cannot answer: hence Python."""
import base64

from gstpipeline import *

SRTP_ELEMENTS = ("rtpbin", "srtpenc", "srtpdec", "udpsrc", "udpsink")
# The plain AES-CM suite with 80-bit tags, both for SRTP and SRTCP, as
# srtpdec names it in caps.
SUITE_CAPS = ("application/x-srtp,srtp-cipher=aes-128-icm,srtp-auth=hmac-sha1-80,"
              "srtcp-cipher=aes-128-icm,srtcp-auth=hmac-sha1-80")


class Pipeline(GstPipeline):
    """Its srtpenc "enc" encrypts under `send_key`, its srtpdec "dec" hands
    out `receive_key` for every SSRC that asks."""

    def __init__(self, Gst, description, send_key, receive_key, awaited):
        super().__init__(Gst, description, awaited)
        self.key_requests = []
        self.element("enc").set_property("key", Gst.Buffer.new_wrapped(base64.b64decode(send_key)))
        self._receive_caps = Gst.Caps.from_string(SUITE_CAPS)
        self._receive_caps.set_value("srtp-key", Gst.Buffer.new_wrapped(base64.b64decode(receive_key)))
        self.element("dec").connect("request-key", self._request_key)

    def _request_key(self, decoder, ssrc):
        self.key_requests.append(ssrc)
        return self._receive_caps
