"""What the SRTP interop tests share: keys drawn by zqhost, the forms the
peers take them in, an ffmpeg receiver reading an SDP with a=crypto, and
zqhost's SRTP counters read from its JSON statistics."""
import base64
import json
import os
import subprocess

from interop import Failure, Process, ZQHOST, check, free_port_pair, reported_sources, wait_until_bound, zqhost

SUITE = "AES_CM_128_HMAC_SHA1_80"
MASTER_KEY_AND_SALT_BYTES = 30

# Every 20 ms of a rising chirp differs, so a lost or swapped packet shows;
# in frames of 160 samples, which ffmpeg sends one a packet (its default of
# 1024 makes packets of 128 ms).
CHIRP = "aevalsrc=0.5*sin(2*PI*(300*t+20*t*t)):s=8000:n=160:d={seconds}"
FRAME_BYTES = 160  # 20 ms of 8 kHz A-law
# A first sequence number that wraps within the first second: the receiver
# must then count the rollover into the packet index it authenticates.
WRAPPING_SEQUENCE = 65500


def fresh_key():
    """A master key and salt from `zqhost srtp-key`, in base64."""
    result = subprocess.run([ZQHOST, "srtp-key"], capture_output=True, text=True, timeout=30)
    check(result.returncode == 0, f"zqhost srtp-key failed: {result.stderr}")
    key = result.stdout.strip()
    check(len(base64.b64decode(key, validate=True)) == MASTER_KEY_AND_SALT_BYTES,
          f"zqhost srtp-key printed '{key}', not {MASTER_KEY_AND_SALT_BYTES} bytes in base64")
    return key


def zqhost_srtp_options(key, receive_key=None):
    """zqhost's options for SRTP under `key`, or under `receive_key` for
    what it receives when that is given."""
    options = ["--srtp", SUITE, "--srtp-key", key]
    if receive_key is not None:
        options += ["--srtp-recv-key", receive_key]
    return options


def chirp_file(seconds, path):
    """The chirp as A-law bytes, for zqhost send --in."""
    result = subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error",
                             "-f", "lavfi", "-i", CHIRP.format(seconds=seconds),
                             "-c:a", "pcm_alaw", "-f", "alaw", "-y", path], capture_output=True, text=True,
                            timeout=30)
    check(result.returncode == 0, f"ffmpeg could not write the chirp: {result.stderr}")


def crypto_sdp(port, key):
    """A session ffmpeg's SDP demuxer decrypts: the a=crypto line is all it
    needs (it takes RTP/AVP as well as RTP/SAVP, and no srtp protocol)."""
    return ("v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=zqhost send\r\nc=IN IP4 127.0.0.2\r\nt=0 0\r\n"
            f"m=audio {port} RTP/SAVP 8\r\na=rtpmap:8 PCMA/8000\r\n"
            f"a=crypto:1 {SUITE} inline:{key}\r\n")


def ffmpeg_sdp_receiver(session, decoded):
    """ffmpeg reading the SDP file, writing the A-law it decoded; it ends 3 s
    after the stream stops. Its warnings stay on: a packet that fails to
    decrypt is a "HMAC mismatch" line."""
    return Process(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "warning", "-listen_timeout", "3",
                    "-protocol_whitelist", "file,udp,rtp", "-i", session, "-f", "alaw", "-y", decoded],
                   "ffmpeg")


def decryption_complaints(ffmpeg):
    return [line for line in ffmpeg.lines if "HMAC" in line or "decrypt" in line.lower()]


def srtp_counters(process):
    """The SRTP counters of zqhost's last statistics line."""
    for line in reversed(process.lines):
        if line.startswith("{") and '"srtp"' in line:
            return json.loads(line)["srtp"]
    raise Failure(f"{process.name} printed no SRTP counters\n" + process.transcript())


def check_nothing_dropped(process):
    counters = srtp_counters(process)
    check(all(value == 0 for value in counters.values()),
          f"{process.name} dropped SRTP or SRTCP packets: {counters}")
    return counters


def read_bytes(path):
    """The file's bytes; none when it was never written."""
    if not os.path.exists(path):
        return b""
    with open(path, "rb") as file:
        return file.read()


class SendToFfmpeg:
    """zqhost send --srtp of a chirp to ffmpeg reading an SDP with a=crypto;
    `around` (a context manager factory taking the receiving port) wraps the
    run, e.g. a capture. Afterwards: the bytes sent and decoded, both
    processes, the ports."""

    def __init__(self, work, key, seconds, around=None):
        self.theirs, ours = free_port_pair(), free_port_pair()
        session = os.path.join(work, "stream.sdp")
        sent = os.path.join(work, "sent.alaw")
        decoded = os.path.join(work, "decoded.alaw")
        with open(session, "w") as file:
            file.write(crypto_sdp(self.theirs, key))
        chirp_file(seconds, sent)
        with (around(self.theirs) if around else _Nothing()):
            with ffmpeg_sdp_receiver(session, decoded) as self.ffmpeg:
                wait_until_bound("127.0.0.2", self.theirs, 10, "ffmpeg")
                with zqhost("send", "--to", f"127.0.0.2:{self.theirs}", "--local-port", ours, "--codec", "PCMA",
                            "--in", sent, *zqhost_srtp_options(key), "--json", "--log-level", "none",
                            name="zqhost send") as self.send:
                    check(self.send.finish(seconds + 15) == 0, "zqhost send failed\n" + self.send.transcript())
                self.ffmpeg.finish(15)  # it reports the time-out that ends it as a failure
        self.sent = read_bytes(sent)
        self.decoded = read_bytes(decoded)

    def check_decoded_whole(self):
        check(self.decoded == self.sent, f"ffmpeg decoded {len(self.decoded)} bytes that differ from the "
              f"{len(self.sent)} sent\n" + self.ffmpeg.transcript())


class _Nothing:
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        return False
