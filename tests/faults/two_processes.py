"""Two zqhost send processes started at the same moment: their SSRCs and
their CNAMEs differ on the wire. The
identities come from the system's random source, so processes started
in the same second (or the same millisecond) never share them."""
import os
import socket
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from interop import Failure, check, free_port_pair, run_test, zqhost  # noqa: E402

SECONDS = 6  # the first sender report, with the CNAME, leaves after 5 s
SDES = 202


def bound_pair(port):
    sockets = []
    for p in (port, port + 1):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind(("127.0.0.2", p))
        s.settimeout(SECONDS + 10)
        sockets.append(s)
    return sockets


def first_rtp(rtp_socket):
    """(SSRC, sequence number) of the first RTP packet."""
    data = rtp_socket.recv(2048)
    check(len(data) >= 12, "a short RTP packet")
    seq, _, ssrc = struct.unpack("!HII", data[2:12])
    return ssrc, seq


def cname(rtcp_socket):
    """The CNAME of the first compound that carries a source description."""
    while True:
        data = rtcp_socket.recv(2048)
        at = 0
        while at + 4 <= len(data):
            packet_type, words = data[at + 1], struct.unpack("!H", data[at + 2:at + 4])[0]
            if packet_type == SDES and at + 10 <= len(data):
                length = data[at + 9]
                return data[at + 10:at + 10 + length].decode()
            at += (words + 1) * 4


def body():
    first = free_port_pair(("127.0.0.2",))
    second = free_port_pair(("127.0.0.2",))
    pairs = [bound_pair(first), bound_pair(second)]
    senders = [zqhost("send", "--to", f"127.0.0.2:{port}", "--codec", "PCMA", "--tone", "440",
                      "--seconds", SECONDS, "--log-level", "none", name=f"zqhost send {index}")
               for index, port in enumerate((first, second))]
    try:
        rtp = [first_rtp(rtp_socket) for rtp_socket, _ in pairs]
        names = [cname(rtcp_socket) for _, rtcp_socket in pairs]
    except socket.timeout:
        raise Failure("a sender's packets or reports did not come")
    finally:
        for sender in senders:
            sender.stop()
    print(f"SSRCs {rtp[0][0]:#010x} {rtp[1][0]:#010x}, first sequence numbers {rtp[0][1]} {rtp[1][1]}, "
          f"CNAMEs {names[0]!r} {names[1]!r}")
    check(rtp[0][0] != rtp[1][0], "both processes drew the same SSRC")
    check(names[0] != names[1], "both processes have the same CNAME")


run_test(body)
