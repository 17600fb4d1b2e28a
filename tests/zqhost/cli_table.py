"""zqhost's messages and exit codes as a user meets them: a table of command
lines refused or failing with the line they must print, then the stops a
user asks for (SIGHUP, a reader of standard output that goes away) and the
payloads on standard output, each with its exit code, its summary and a
file of whole payloads; --io shared from save to run, and in the demo;
--rtcp-mux from save to run, and in the demo."""
import base64
import json
import os
import re
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from interop import *  # noqa: E402,F403

FRAME = 160  # PCMA, 20 ms
PAYLOAD = bytes(range(256)) * 50  # 12,800 bytes: 80 frames
# SRTP master keys and salts: 30 bytes for the AES_CM suites; 29 fits none.
KEY = base64.b64encode(bytes(range(1, 31))).decode()
OTHER_KEY = base64.b64encode(bytes(range(101, 131))).decode()
SHORT_KEY = base64.b64encode(bytes(range(1, 30))).decode()
SUITES = "AES_CM_128_HMAC_SHA1_80, AES_CM_128_HMAC_SHA1_32, AEAD_AES_128_GCM"


def run(*args, **kwargs):
    return subprocess.run([ZQHOST, *map(str, args)], capture_output=True, text=True, errors="replace", timeout=60,
                          **kwargs)


def expect(result, code, text, where):
    check(result.returncode == code and text in result.stderr,
          f"{where}: expected exit code {code} and '{text}' on standard error, got {result.returncode}:\n"
          f"{result.stderr[-1500:]}")


def refusals(folder, port):
    to = ["--to", f"127.0.0.2:{port}", "--codec", "PCMA", "--tone", "440"]
    on = ["--on", f"127.0.0.2:{port}"]
    graph = os.path.join(folder, "g.xml")
    table = [
        (["send", "--to", "127.0.0.2:65535", "--codec", "PCMA", "--tone", "440"], 2,
         "option --to: port 65535 leaves no port for RTCP"),
        (["send", *to, "--seconds", "100000"], 2, "not a number of seconds above 0 and up to 86400"),
        (["send", *to, "--to", "127.0.0.2:5006"], 2, "option --to given twice"),
        (["recv", *on, "--out", os.path.join(folder, "x"), "--lipsync"], 2, "unknown option '--lipsync'"),
        (["recv", *on, "--out", "-", "--codec", "PCMA", "--codec", "PCMU"], 2, "takes the payloads of one codec"),
        (["recv", *on, "--out", "/no-such-dir/x"], 2, "option --out: cannot write '/no-such-dir/x'"),
        (["save", "receiver", "/no-such-dir/g.xml", *on, "--out", "x"], 2, "cannot write '/no-such-dir/g.xml'"),
        (["send", *to, "-v", "--log-level", "2"], 2, "give -v or --log-level, not both"),
        (["send", *to, "--log", "/no-such-dir/log"], 2, "option --log: cannot write"),
        (["srtp-key", "--suite", "AES_CM_128"], 2, "option --suite: 'AES_CM_128' is not one of"),
        (["send", *to, "--io", "fast"], 2, "option --io: 'fast' is not shared or own"),
        (["recv", *on, "--out", os.path.join(folder, "x"), "--io", "Shared"], 2,
         "option --io: 'Shared' is not shared or own"),
        (["demo", "--io="], 2, "option --io needs a value"),
        (["run", os.path.join(folder, "no-such.xml"), "--io", "both"], 2, "option --io: 'both' is not shared or own"),
        (["save", "sender", graph, *to, "--io", "own", "--io", "own"], 2, "option --io given twice"),
        (["recv", *on, "--out", os.path.join(folder, "q"), "--seconds", "0.5"], 1,
         f"zqhost recv: nothing arrived on 127.0.0.2:{port}\n"),
    ]
    for args, code, text in table:
        expect(run(*args), code, text, " ".join(args))
    check(not os.path.exists(os.path.join(folder, "x")), "a refused recv left its output file")

    # run takes --plugin; a short demo says why it does not judge RTCP.
    saved = run("save", "sender", graph, *to)
    expect(saved, 0, "", "save")
    plugin = os.path.join(os.path.dirname(os.path.dirname(ZQHOST)), "lib", "zqmrtpstack.so")
    expect(run("run", graph, "--plugin", plugin, "--seconds", "0.5"), 0, "", "run --plugin")
    demo = run("demo", "--seconds", "3")
    check(demo.returncode == 0 and "RTCP not judged" in demo.stdout and demo.stderr == "",
          f"demo --seconds 3: {demo.returncode}\n{demo.stdout[-800:]}\n{demo.stderr[-800:]}")
    # Fresh key material, of the suite's length, never twice the same.
    keys = [run("srtp-key").stdout.strip(), run("srtp-key").stdout.strip()]
    gcm = run("srtp-key", "--suite", "AEAD_AES_128_GCM").stdout.strip()
    check([len(base64.b64decode(k, validate=True)) for k in keys + [gcm]] == [30, 30, 28] and keys[0] != keys[1],
          f"srtp-key: {keys} {gcm}")
    version = run("--version")
    check(version.returncode == 0 and version.stdout.startswith("zqhost build ") and "\nversion: " in version.stdout,
          "--version:\n" + version.stdout)


def shared_io(folder, port):
    """save writes io="shared" on the graph for --io shared and nothing for
    own; run uses the file's mode unless --io says another (a receiving stack
    on the service counts its pool drops in its block); the demo passes on
    the service and says so."""
    on = ["--on", f"127.0.0.2:{port}", "--peer", "127.0.0.1"]
    files, texts = {}, {}
    for io in ("", "own", "shared"):
        files[io] = os.path.join(folder, f"io-{io or 'unsaid'}.xml")
        expect(run("save", "receiver", files[io], *on, *(["--io", io] if io else [])), 0, "", f"save --io {io}")
        with open(files[io], encoding="utf-8") as f:
            texts[io] = f.read()
    check(texts["own"] == texts[""] and " io=" not in texts[""], "save --io own wrote another file:\n" + texts["own"])
    shared = texts[""].replace('<graph version="1">', '<graph version="1" io="shared">', 1)
    check(texts["shared"] == shared, "save --io shared:\n" + texts["shared"])
    for graph, option, counted in [("", None, False), ("shared", None, True), ("shared", "own", False),
                                   ("", "shared", True)]:
        result = run("run", files[graph], "--seconds", "0.5", "--json", *(["--io", option] if option else []))
        blocks = [json.loads(line) for line in result.stdout.splitlines() if '"sources"' in line]
        check(result.returncode == 0 and blocks and all(("pool_empty_drops" in b) == counted for b in blocks),
              f"run io '{graph}' --io {option}: {result.returncode}\n{result.stdout[-800:]}{result.stderr[-800:]}")
    demo = run("demo", "--io", "shared", "--seconds", "3")
    check(demo.returncode == 0 and "verdict: PASS" in demo.stdout and "; shared I/O\n" in demo.stdout
          and "the receiving stack dropped 0 datagrams for want of a free sample" in demo.stdout,
          f"demo --io shared: {demo.returncode}\n{demo.stdout[-1500:]}\n{demo.stderr[-800:]}")


def rtcp_mux(folder, port):
    """save writes RTCPMux after every other setting for --rtcp-mux and
    nothing without; run keeps it: the receiver then needs no RTCP port (one
    held by someone else stops the plain graph, not this one). --pt refuses
    what would read as RTCP; the demo sends RTCP both ways on the RTP ports,
    over IPv6."""
    to = ["--to", f"127.0.0.2:{port}", "--codec", "PCMA", "--tone", "440"]
    expect(run("send", *to, "--rtcp-mux", "--pt", "77"), 2,
           "option --pt: payload types 64 to 95 would read as RTCP under --rtcp-mux", "send --rtcp-mux --pt 77")
    on = ["--on", f"127.0.0.2:{port}", "--peer", "127.0.0.1"]
    files, texts = {}, {}
    for mux in (False, True):
        files[mux] = os.path.join(folder, f"mux-{mux}.xml")
        expect(run("save", "receiver", files[mux], *on, *(["--rtcp-mux"] if mux else [])), 0, "", f"save mux {mux}")
        with open(files[mux], encoding="utf-8") as f:
            texts[mux] = f.read()
    last = '      <setting name="disableSeqNumGen" type="BOOL" value="0" />\n'
    check(texts[True] == texts[False].replace(last, last + '      <setting name="RTCPMux" type="BOOL" value="1" />\n')
          and "RTCPMux" not in texts[False], "save --rtcp-mux:\n" + texts[True])
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
        holder.bind(("127.0.0.2", port + 1))
        plain = run("run", files[False], "--seconds", "0.5")
        check(plain.returncode == 1, f"run without RTCPMux, its RTCP port held: {plain.returncode}\n{plain.stderr[-800:]}")
        muxed = run("run", files[True], "--seconds", "0.5")
        check(muxed.returncode == 0, f"run with RTCPMux, its RTCP port held: {muxed.returncode}\n{muxed.stderr[-800:]}")
    demo = run("demo", "--rtcp-mux", "--ipv6", "--seconds", "6")
    check(demo.returncode == 0 and "verdict: PASS" in demo.stdout and "RTCP on the same ports" in demo.stdout
          and "to [::1]:" in demo.stdout and "ok   RTCP went both ways" in demo.stdout,
          f"demo --rtcp-mux --ipv6: {demo.returncode}\n{demo.stdout[-1500:]}\n{demo.stderr[-800:]}")


def send(port, payload_path, *extra):
    result = run("send", "--to", f"127.0.0.2:{port}", "--codec", "PCMA", "--in", payload_path, *extra)
    expect(result, 0, "", "send")
    return result


def receiver(port, out, *extra, stdout=subprocess.PIPE):
    return subprocess.Popen([ZQHOST, "recv", "--on", f"127.0.0.2:{port}", "--codec", "PCMA", "--out", out, *extra],
                            stdout=stdout, stderr=subprocess.PIPE, text=True, errors="replace")


def await_listening(port):
    deadline = time.monotonic() + 10
    while not bound_by_someone("127.0.0.2", port):
        check(time.monotonic() < deadline, f"recv never bound port {port}")
        time.sleep(0.01)  # polls a bind that nothing announces


def expect_whole_prefix(path, summary, where):
    """The file holds exactly the payloads the summary says were written:
    whole frames, the first ones of the stream."""
    written = re.search(r"wrote (\d+) packets", summary)
    check(written is not None and int(written.group(1)) > 0, f"{where}: no packets written:\n{summary[-800:]}")
    with open(path, "rb") as f:
        check(f.read() == PAYLOAD[:FRAME * int(written.group(1))], f"{where}: the file is not the payloads written")


def stops(folder):
    payload_path = os.path.join(folder, "payload.alaw")
    with open(payload_path, "wb") as f:
        f.write(PAYLOAD)

    # SIGHUP after the stream: exit 0, the summary, every payload.
    port = free_port_pair()
    out = os.path.join(folder, "hup.alaw")
    recv = receiver(port, out)
    await_listening(port)
    send(port, payload_path)
    recv.send_signal(signal.SIGHUP)
    stdout, stderr = recv.communicate(timeout=30)
    check(recv.returncode == 0 and "(ended: signal)" in stdout, f"SIGHUP: {recv.returncode}\n{stdout[-500:]}{stderr}")
    expect_whole_prefix(out, stdout, "SIGHUP")

    # Standard output with no reader: its first report raises SIGPIPE; exit
    # 0, the summary on standard error, the file whole.
    port = free_port_pair()
    out = os.path.join(folder, "pipe.alaw")
    read_end, write_end = os.pipe()
    os.close(read_end)
    recv = receiver(port, out, stdout=write_end)
    os.close(write_end)
    await_listening(port)
    send(port, payload_path)
    _, stderr = recv.communicate(timeout=30)
    check(recv.returncode == 0 and "(ended: signal)" in stderr, f"SIGPIPE: {recv.returncode}\n{stderr[-800:]}")
    expect_whole_prefix(out, stderr, "SIGPIPE")

    # --out -: the payloads are standard output, the statistics standard error.
    port = free_port_pair()
    recv = subprocess.Popen([ZQHOST, "recv", "--on", f"127.0.0.2:{port}", "--codec", "PCMA", "--out", "-",
                             "--idle", "1"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    await_listening(port)
    send(port, payload_path)
    stdout, stderr = recv.communicate(timeout=30)
    check(recv.returncode == 0 and stdout == PAYLOAD and b"(ended: done)" in stderr,
          f"--out -: {recv.returncode}, {len(stdout)} bytes\n{stderr[-800:].decode(errors='replace')}")

    # A file that cannot be written is a failure while running.
    port = free_port_pair()
    recv = receiver(port, "/dev/full", "--idle", "1")
    await_listening(port)
    send(port, payload_path)
    _, stderr = recv.communicate(timeout=30)
    check(recv.returncode == 1 and "zqhost recv: writing '/dev/full' failed: No space left on device" in stderr,
          f"/dev/full: {recv.returncode}\n{stderr[-800:]}")


def without_keys(result, where):
    check(KEY not in result.stdout + result.stderr and OTHER_KEY not in result.stdout + result.stderr,
          f"{where} printed a key:\n{result.stdout[-800:]}{result.stderr[-800:]}")


def srtp_refusals(folder, port):
    """Each SRTP option error: exit 2, its one line, no key shown, no file left."""
    key_file, empty_file = os.path.join(folder, "key"), os.path.join(folder, "empty")
    with open(key_file, "w") as f:
        f.write(f"  {KEY} \nnot read\n")
    open(empty_file, "w").close()
    graph, out = os.path.join(folder, "srtp.xml"), os.path.join(folder, "srtp.alaw")
    send_args = ["send", "--to", f"127.0.0.2:{port}", "--codec", "PCMA", "--tone", "440"]
    recv_args = ["recv", "--on", f"127.0.0.2:{port}", "--out", out]
    save_args = ["save", "sender", graph, "--to", f"127.0.0.2:{port}"]
    missing = os.path.join(folder, "no-key")
    table = [
        (send_args + ["--srtp", "--srtp-key", SHORT_KEY],
         "option --srtp-key: the master key has 29 bytes, AES_CM_128_HMAC_SHA1_80 takes 30"),
        (["demo", "--srtp", "AEAD_AES_128_GCM", "--srtp-key", KEY],
         "option --srtp-key: the master key has 30 bytes, AEAD_AES_128_GCM takes 28"),
        (save_args + ["--srtp=AES_CM_128", "--srtp-key", KEY], f"option --srtp: 'AES_CM_128' is not one of {SUITES}"),
        (save_args + ["--srtp", "PCMA", "--srtp-key", KEY], f"option --srtp: 'PCMA' is not one of {SUITES}"),
        (save_args + ["--srtp", "--srtp-key", KEY + "!"], "option --srtp-key: not base64"),
        (save_args + ["--srtp", "--srtp-key", KEY, "--srtp-recv-key", SHORT_KEY],
         "option --srtp-recv-key: the master key has 29 bytes, AES_CM_128_HMAC_SHA1_80 takes 30"),
        (recv_args + ["--srtp", "--srtp-key", KEY, "--srtp-key", KEY], "option --srtp-key given twice"),
        (recv_args + ["--srtp", "--srtp-key", KEY, "--srtp-key-file", key_file],
         "give --srtp-key or --srtp-key-file, not both"),
        (recv_args + ["--srtp-recv-key", KEY], "option --srtp-recv-key needs --srtp"),
        (save_args + ["--srtp"], "option --srtp needs a key: --srtp-key KEY or --srtp-key-file FILE"),
        (["demo", "--srtp", "--srtp-recv-key", KEY], "option --srtp-recv-key needs --srtp-key or --srtp-key-file"),
        (send_args + ["--srtp", "--srtp-key-file", missing],
         f"option --srtp-key-file: cannot read '{missing}': No such file or directory"),
        (save_args + ["--srtp", "--srtp-key-file", key_file, "--srtp-recv-key-file", empty_file],
         f"option --srtp-recv-key-file: '{empty_file}' holds no key on its first line"),
    ]
    for args, line in table:
        result = run(*args)
        check(result.returncode == 2 and result.stderr == f"zqhost {args[0]}: {line}\n",
              f"{' '.join(args)}: expected exit code 2 and the line '{line}', got {result.returncode}:\n{result.stderr}")
        without_keys(result, args[0])
    check(not os.path.exists(graph) and not os.path.exists(out), "a refused command left its file")


def srtp_settings(folder, port):
    """save writes the suite and the keys as given (the key file's first line, trimmed); demo says its suite."""
    key_file, graph = os.path.join(folder, "key"), os.path.join(folder, "srtp-sender.xml")
    saved = run("save", "sender", graph, "--to", f"127.0.0.2:{port}", "--srtp", "AES_CM_128_HMAC_SHA1_32",
                "--srtp-key-file", key_file, "--srtp-recv-key", OTHER_KEY)
    expect(saved, 0, "", "save --srtp")
    without_keys(saved, "save")
    with open(graph, encoding="utf-8") as f:
        settings = dict(re.findall(r'<setting name="(SRTP\w+)" type="STRING" value="([^"]*)"', f.read()))
    check(settings == {"SRTPSuite": "AES_CM_128_HMAC_SHA1_32", "SRTPSendKey": KEY, "SRTPReceiveKey": OTHER_KEY},
          f"save --srtp wrote {settings}")
    demo = run("demo", "--srtp", "--seconds", "2")
    check(demo.returncode == 0 and "verdict: PASS" in demo.stdout and "; SRTP AES_CM_128_HMAC_SHA1_80\n" in demo.stdout
          and "protected with SRTP (AES_CM_128_HMAC_SHA1_80); the stacks dropped 0 packets" in demo.stdout,
          f"demo --srtp: {demo.returncode}\n{demo.stdout[-1500:]}\n{demo.stderr[-800:]}")


def srtp_stream(folder):
    """send and recv under one key: the payloads byte for byte. Under another
    key: none, and the receiver counts the packets that failed authentication."""
    payload_path, key_file = os.path.join(folder, "payload.alaw"), os.path.join(folder, "key")
    port = free_port_pair()
    out = os.path.join(folder, "srtp-same.alaw")
    recv = receiver(port, out, "--srtp", "--srtp-key", KEY, "--idle", "1")
    await_listening(port)
    without_keys(send(port, payload_path, "--srtp", "--srtp-key-file", key_file), "send --srtp")
    stdout, stderr = recv.communicate(timeout=30)
    check(recv.returncode == 0 and "SRTP dropped: RTP 0 failed authentication" in stdout,
          f"recv under the same key: {recv.returncode}\n{stdout[-800:]}{stderr[-800:]}")
    with open(out, "rb") as f:
        check(f.read() == PAYLOAD, "recv under the same key: the file is not the payloads sent")

    port = free_port_pair()
    out = os.path.join(folder, "srtp-other.alaw")
    recv = receiver(port, out, "--srtp", "--srtp-key", OTHER_KEY)
    await_listening(port)
    send(port, payload_path, "--srtp", "--srtp-key", KEY)
    recv.send_signal(signal.SIGHUP)
    stdout, stderr = recv.communicate(timeout=30)
    failures = [int(n) for n in re.findall(r"SRTP dropped: RTP (\d+) failed authentication", stdout)]
    check(recv.returncode == 1 and failures and failures[-1] > 0 and "wrote 0 packets" in stdout,
          f"recv under another key: {recv.returncode}\n{stdout[-1200:]}{stderr[-800:]}")


def body():
    folder = work_folder("cli-table")
    refusals(folder, free_port_pair())
    srtp_refusals(folder, free_port_pair())
    srtp_settings(folder, free_port_pair())
    shared_io(folder, free_port_pair())
    rtcp_mux(folder, free_port_pair())
    stops(folder)
    srtp_stream(folder)


run_test(body)
