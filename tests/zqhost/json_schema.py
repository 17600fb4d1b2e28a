"""Every JSON line of zqhost demo, send and recv is a kind docs/json.md
describes, with the fields and types of its table (the page's examples are
held against their tables too). The figures are the receiver's own: a crafted
stream with a late packet and a duplicate shows lost -1 in the JSON, the text
and the summaries (the JSON run on the shared receive threads, the text one
on the stack's own: the figures are the same); the demo counts received
packets before any sender report, and under SRTP and shared I/O each block
counts what its stack dropped."""
import json
import os
import re
import socket
import struct
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "interop"))
from interop import *  # noqa: E402,F403

DOC = os.path.join(HERE, "..", "..", "docs", "json.md")
TYPES = {"integer": int, "number": (int, float), "string": str, "boolean": bool, "object": dict, "array": list}
RARE_KINDS = {"frames_refused"}  # only when a stack refuses frames
# 103 before 102 (late), 103 again (a duplicate): 6 received, 5 expected, 4 written.
CRAFTED_SEQS = [100, 101, 103, 102, 103, 104]
CRAFTED = {"received": 6, "expected": 5, "lost": -1, "late_or_duplicate": 2}


def kind_of(value):
    if "side" in value:
        return "source/" + str(value["side"])
    if "sources" in value:
        return "statistics"
    if isinstance(value.get("summary"), dict):
        return "summary/" + str(value["summary"].get("command"))
    return next((key for key in ("delivered", "demo", "verdict", "frames_refused") if key in value), None)


def read_doc():
    """{kind: (example, {field: (type, optional)})}, each example line with
    the table after it."""
    kinds, fields, in_example = {}, None, False
    with open(DOC, encoding="utf-8") as page:
        for line in page.read().splitlines():
            if line.startswith("```"):
                in_example = line == "```json"
            elif in_example:
                example, fields = json.loads(line), {}
                check(kind_of(example) not in kinds and kind_of(example), f"docs/json.md: example {line}")
                kinds[kind_of(example)] = (example, fields)
            elif fields is not None and (row := re.match(r"\| `([^`]+)` \| ([a-z]+)(, optional)? \|", line)):
                fields[row.group(1)] = (row.group(2), row.group(3) is not None)
    return kinds


def flatten(value, prefix=""):
    """(path, value) of every field, as a.b and a[].b; sources are checked apart."""
    pairs = []
    for key, item in value.items():
        pairs.append((prefix + key, item))
        if isinstance(item, dict):
            pairs += flatten(item, prefix + key + ".")
        elif isinstance(item, list) and prefix + key != "sources":
            for element in (e for e in item if isinstance(e, dict)):
                pairs += flatten(element, prefix + key + "[].")
    return pairs


def conform(value, kinds, where):
    kind = kind_of(value)
    check(kind in kinds, f"{where}: no kind in docs/json.md: {value}")
    fields, pairs = kinds[kind][1], flatten(value)
    for path, item in pairs:
        wanted = fields.get(path, (None,))[0]
        check(wanted in TYPES, f"{where}: {kind} has {path}, which docs/json.md does not list")
        check(isinstance(item, TYPES[wanted]) and (wanted == "boolean") == isinstance(item, bool),
              f"{where}: {kind}'s {path} is {item!r}, not a {wanted}")
    present = {path for path, _ in pairs}
    empty_arrays = {path for path, item in pairs if item == []}
    for path, (_, optional) in fields.items():
        in_empty_array = "[]" in path and path.split("[]")[0] in empty_arrays
        check(optional or in_empty_array or path in present, f"{where}: {kind} lacks {path}")
    for source in value["sources"] if kind == "statistics" else []:
        conform(source, kinds, where)
    return kind


def conform_output(process, kinds):
    """The kinds of the process's lines, in order; each one checked."""
    return [conform(json.loads(line), kinds, process.name) for line in process.lines]


def receive_crafted(kinds_or_none):
    """zqhost recv given the crafted stream, with --json when kinds are given."""
    port = free_port_pair(("127.0.0.2",))
    out = os.path.join(work_folder("json-schema"), "received.alaw")
    json_flag = ["--json", "--io", "shared"] if kinds_or_none else []
    with zqhost("recv", "--on", f"127.0.0.2:{port}", "--out", out, "--seconds", 3, "--log-level", "none",
                *json_flag, name="zqhost recv") as recv:
        deadline = time.monotonic() + 10
        while not bound_by_someone("127.0.0.2", port):
            check(time.monotonic() < deadline, "zqhost recv never bound its port")
            time.sleep(0.01)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            for seq in CRAFTED_SEQS:
                header = struct.pack(">BBHII", 0x80, 8, seq, 160 * seq, 0x5EEDF00D)
                sender.sendto(header + bytes(160), ("127.0.0.2", port))
        check(recv.finish(20) == 0, "zqhost recv failed\n" + recv.transcript())
    return recv


def check_recv(kinds):
    recv = receive_crafted(kinds)
    seen = conform_output(recv, kinds)
    summary, last = json_lines(recv, "summary")[-1], json_lines(recv, "sources")[-1]
    check({key: summary[key] for key in CRAFTED} == CRAFTED and summary["packets"] == 4, f"summary {summary}")
    check(not any('"srtp"' in line for line in recv.lines), "SRTP counters without SRTP")
    blocks = [json.loads(line) for line in recv.lines if '"sources"' in line]
    check(all(block["pool_empty_drops"] == 0 for block in blocks) and summary["io"] == "shared"
          and summary["pool_empty_drops"] == 0, f"shared I/O: {blocks[-1]}, summary {summary}")
    remote = [s for s in last if s["side"] == "remote"]
    check([{key: s[key] for key in CRAFTED} for s in remote] == [CRAFTED], f"last remote sources {remote}")
    text = receive_crafted(None).lines
    check(not any("local SSRC" in line for line in text), "a row for the stack that only reports:\n" + "\n".join(text))
    check(not any("shared I/O" in line for line in text), "shared I/O named on the stack's own threads")
    row = [line.split() for line in text if line.strip().startswith("0x5eedf00d")][-1]
    check(row[-10:-7] + row[-6:-5] == ["6", "5", "-1", "2"], f"last row {row}")
    check("(expected 5, lost -1, late or duplicate 2); wrote 4 packets" in text[-1], "summary: " + text[-1])
    return set(seen)


def check_send(kinds):
    port = free_port_pair(("127.0.0.1", "127.0.0.2"))
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as listener:  # no ICMP error comes back
        listener.bind(("127.0.0.2", port))
        with zqhost("send", "--to", f"127.0.0.2:{port}", "--codec", "PCMA", "--tone", 440, "--seconds", 1,
                    "--json", "--log-level", "none", name="zqhost send") as send:
            check(send.finish(20) == 0, "zqhost send failed\n" + send.transcript())
    seen = conform_output(send, kinds)
    summary, local = json_lines(send, "summary")[-1], json_lines(send, "sources")[-1]
    check([s["packets_sent"] for s in local] == [summary["packets"]] != [0], f"block {local}, summary {summary}")
    return set(seen)


def check_demo(demo, kinds):
    check(demo.finish(30) in (0, 1), "zqhost demo failed\n" + demo.transcript())
    seen = conform_output(demo, kinds)
    blocks = [json.loads(line) for line in demo.lines if '"sources"' in line]
    for moment in {block["time"] for block in blocks}:
        modules = [block["module"] for block in blocks if block["time"] == moment]
        check(modules == ["RTP out", "RTP in"], f"blocks at {moment} s: {modules}")
    receiving = [[s for s in b["sources"] if s["side"] == "remote"] for b in blocks if b["module"] == "RTP in"]
    first, last = receiving[0][0], receiving[-1][0]
    check(first["received"] > 0 and first["sr_packets"] == 0, f"first remote row {first}")
    verdict = json_lines(demo, "verdict")[-1]
    check(verdict["receiver"]["received"] == last["received"] == verdict["delivered"], f"{verdict}, {last}")
    # Under SRTP: every block counts what it dropped, and nothing failed.
    check(all(set(block["srtp"].values()) == {0} for block in blocks) and
          verdict["srtp_suite"] == "AES_CM_128_HMAC_SHA1_80", f"SRTP: {blocks[-1]}, {verdict}")
    # On the service: only the receiving block counts pool drops, none.
    pool = [(block["module"], block.get("pool_empty_drops")) for block in blocks[-2:]]
    check(pool == [("RTP out", None), ("RTP in", 0)] and verdict["pool_empty_drops"] == 0 and
          json_lines(demo, "demo")[0]["io"] == "shared", f"shared I/O: {pool}, {verdict}")
    return set(seen)


def body():
    kinds = read_doc()
    for example, _ in kinds.values():
        conform(example, kinds, "docs/json.md")
    with zqhost("demo", "--seconds", 3, "--srtp", "--io", "shared", "--json", "--log-level", "none",
                name="zqhost demo") as demo:
        seen = check_recv(kinds) | check_send(kinds) | check_demo(demo, kinds)
    never = {kind for kind in kinds if not kind.startswith("source/")} - RARE_KINDS - seen
    check(not never, f"kinds never printed: {sorted(never)}")


run_test(body)
