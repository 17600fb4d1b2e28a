"""100 sender and receiver pairs in one `zqhost run`, every stack on the
shared receive threads (io="shared" on the graph): stock source -> "RTP out"
~~> "RTP in" -> capture sink, each pair on addresses of its own and each
stack on a port pair of its own (the stacks of one process share sockets by
port number). Every source sends a fixed count of frames, done well before
the run ends; in the last statistics every receiver must have received all
of them from its own sender, none lost, late or duplicate, and none dropped
for want of a free sample."""
import json
import os
import sys
import time
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from interop import *  # noqa: E402,F403

PAIRS = 100
RUN_SECONDS = 60
FRAMES = 2750  # 55 s of 20 ms frames
SOURCE = "7a510c01-5e0c-4d11-9a51-000c50757201"
SINK = "7a510c02-5e0c-4d11-9a51-000c53696e6b"
RTP_OUT = "64140b77-fb89-4170-bde2-cafc58bf7527"
RTP_IN = "6f47cebe-ee66-46c5-ac3d-3f9ff18c2c9b"
STACK_SETTINGS = "4892c26c-58a0-441a-9388-3cbdb0c6df8e"


def settings(name, values, iid=None):
    lines = [f'    <settings name="{name}"' + (f' IID="{iid}"' if iid else "") + ">"]
    lines += [f'      <setting name="{key}" type="{kind}" value={quoteattr(str(value))} />'
              for key, (kind, value) in values.items()]
    return lines + ["    </settings>"]


def module(module_id, identity, values_lines):
    return [f'  <module id="{module_id}" identity="{identity}" name="{module_id}">', *values_lines, "  </module>"]


def stack_settings(local, remote):
    """local and remote are (address, RTP port); RTCP on the next port."""
    return settings("ZQMRTPStackProPage", {
        "LocalIPAddress": ("STRING", local[0]), "RemoteIPAddress": ("STRING", remote[0]),
        "LocalRTPPort": ("STRING", local[1]), "RemoteRTPPort": ("STRING", remote[1]),
        "LocalRTCPPort": ("STRING", local[1] + 1), "RemoteRTCPPort": ("STRING", remote[1] + 1),
        "audioG711A": ("BOOL", 1)}, STACK_SETTINGS)


def pair_endpoints():
    """Per pair, the sender's and the receiver's (address, RTP port)."""
    pairs = []
    for i in range(PAIRS):
        sender, receiver = f"127.0.0.{2 * i + 2}", f"127.0.0.{2 * i + 3}"
        pairs.append(((sender, free_port_pair((sender,))), (receiver, free_port_pair((receiver,)))))
    return pairs


def graph_text(pairs):
    """The senders first, then the receivers: the graph starts the modules
    added last first, so every receiver listens before a frame leaves."""
    senders, receivers, connections = [], [], []
    for i, (sender, receiver) in enumerate(pairs):
        senders += module(f"source-{i}", SOURCE, settings("ZQStockSource", {
            "MediaType": ("INT", "0x40001"), "MaxFrames": ("INT", FRAMES)}))
        senders += module(f"out-{i}", RTP_OUT, stack_settings(sender, receiver))
        receivers += module(f"in-{i}", RTP_IN, stack_settings(receiver, sender))
        receivers += module(f"sink-{i}", SINK, settings("ZQCaptureSink", {"KeepLimit": ("STRING", 0)}))
        connections += [f'  <connection from="source-{i}" output="0" to="out-{i}" input="0" />',
                        f'  <connection from="in-{i}" output="0" to="sink-{i}" input="0" />']
    return "\n".join(['<?xml version="1.0"?>', '<graph version="1" io="shared">',
                      '  <plugin path="zqmrtpstack.so" />', *senders, *receivers, *connections, "</graph>", ""])


def last_blocks(run):
    """The last statistics block of each module, by module name."""
    blocks = {}
    for line in run.lines:
        if line.startswith("{") and '"sources"' in line:
            block = json.loads(line)
            blocks[block["module"]] = block
    return blocks


def pair_figures(i, blocks):
    """Pair i's figures from its last blocks, or a text saying why there are none."""
    out, into = blocks.get(f"out-{i}"), blocks.get(f"in-{i}")
    if out is None or into is None:
        return f"no statistics block (out {out is not None}, in {into is not None})"
    sent = [s for s in out["sources"] if s["side"] == "local"]
    heard = [s for s in into["sources"] if s["side"] == "remote"]
    if len(sent) != 1 or len(heard) != 1:
        return f"{len(sent)} local sources in out-{i}, {len(heard)} remote sources in in-{i}"
    sent, heard = sent[0], heard[0]
    return {"packets_sent": sent["packets_sent"], "received": heard["received"], "expected": heard["expected"],
            "lost": heard["lost"], "late_or_duplicate": heard["late_or_duplicate"],
            "pool_empty_drops": into.get("pool_empty_drops"), "own_sender": heard["ssrc"] == sent["ssrc"]}


WANTED = {"packets_sent": FRAMES, "received": FRAMES, "expected": FRAMES, "lost": 0, "late_or_duplicate": 0,
          "pool_empty_drops": 0, "own_sender": True}


def faults_of(figures):
    if isinstance(figures, str):
        return [figures]
    return [f"{key} {figures[key]} (not {value})" for key, value in WANTED.items() if figures[key] != value]


def body():
    folder = work_folder("shared-io-pairs")
    path = os.path.join(folder, "pairs.xml")
    with open(path, "w", encoding="utf-8") as f:
        f.write(graph_text(pair_endpoints()))
    started = time.monotonic()
    with zqhost("run", path, "--seconds", RUN_SECONDS, "--json", name="zqhost run") as run:
        code = run.finish(RUN_SECONDS + 60)
    took = time.monotonic() - started
    check(code == 0, f"zqhost run ended with {code}\n" + run.transcript())
    blocks = last_blocks(run)
    figures = [pair_figures(i, blocks) for i in range(PAIRS)]
    faults = {i: f for i, pair in enumerate(figures) if (f := faults_of(pair))}
    total = sum(pair["received"] for pair in figures if isinstance(pair, dict))
    print(f"{PAIRS} pairs, {RUN_SECONDS} s run ({took:.1f} s with start and stop): {total} packets received of "
          f"{PAIRS * FRAMES} sent; {len(faults)} pairs with faults")
    check(not faults, "pairs with faults:\n" + "\n".join(f"  pair {i}: {', '.join(f)}" for i, f in faults.items())
          + "\n--- standard error\n" + "\n".join(run.errors[-20:]))


run_test(body)
