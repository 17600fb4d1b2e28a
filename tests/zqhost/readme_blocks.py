"""Every shell block of README.md that runs zqhost runs as written, with
three changes a test needs: the build's zqhost, free ports in place of the
README's fixed ones, and shorter runs. A block split by "# terminal N"
comments runs each terminal's part as its own shell, the earlier ones in the
background, each started once the previous one listens; a block passes when
every part exits 0 (and says "same" when it compares files). `zqhost pages`
runs on a pseudo-terminal and is left with Esc once it has drawn."""
import os
import pty
import re
import select
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from interop import *  # noqa: E402,F403

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
README_PORTS = (5004, 5006, 6000)  # each the first of an RTP/RTCP pair
SHORTER = [
    (r"--seconds \d+", "--seconds 3"),
    (r"head -c 160000", "head -c 24000"),
    (r":d=10", ":d=2"),
]
PART_SECONDS = 60


def shell_blocks(text):
    return [m.group(1) for m in re.finditer(r"```sh\n(.*?)```", text, re.S) if "zqhost" in m.group(1)]


def adapt(block, ports):
    block = block.replace("build/bin/zqhost", ZQHOST)
    for readme, free in zip(README_PORTS, ports):
        for offset in (0, 1):
            block = re.sub(rf"\b{readme + offset}\b", str(free + offset), block)
    for pattern, replacement in SHORTER:
        block = re.sub(pattern, replacement, block)
    # The demo's 12 s become 6, the shortest run that still judges RTCP.
    return re.sub(r"(zqhost demo\b(?!.*--seconds).*)", r"\1 --seconds 6", block)


def terminal_parts(block):
    """(terminal, commands) in order; a block without "# terminal N" is one
    part of terminal 1. A terminal named again continues once its previous
    part ended."""
    parts, terminal, current = [], 1, []
    for line in block.splitlines():
        named = re.match(r"#\s*terminal (\d)", line)
        if named:
            if current:
                parts.append((terminal, "\n".join(current)))
            terminal, current = int(named.group(1)), []
        else:
            current.append(line)
    if current:
        parts.append((terminal, "\n".join(current)))
    return parts


def listening_ports(part):
    return [int(p) for p in re.findall(r"--(?:on|listen) (?:[\d.]+|\[[\da-f:]+\]):(\d+)", part)]


def await_bound(port):
    deadline = time.monotonic() + 10
    while not any(bound_by_someone(address, port) for address in ("127.0.0.2", "127.0.0.1", "::1")):
        check(time.monotonic() < deadline, f"nothing listens on port {port} after 10 s")
        time.sleep(0.01)  # polls a bind that nothing announces


def run_pages(command, folder):
    """zqhost pages on a pseudo-terminal: drawn, then left with Esc."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(folder)
        os.environ["TERM"] = "xterm"
        os.execvp("bash", ["bash", "-c", command])
    screen = b""
    deadline = time.monotonic() + 20
    while b"Esc" not in screen:
        check(time.monotonic() < deadline, "pages drew nothing in 20 s:\n" + screen.decode(errors="replace"))
        if select.select([fd], [], [], 0.5)[0]:
            try:
                screen += os.read(fd, 65536)
            except OSError:
                break
    os.write(fd, b"\x1b")
    while True:
        try:
            if not os.read(fd, 65536):
                break
        except OSError:
            break
    _, status = os.waitpid(pid, 0)
    check(os.waitstatus_to_exitcode(status) == 0, f"`{command}` exited {status}")


def run_part(part, folder, background):
    proc = subprocess.Popen(["bash", "-e", "-o", "pipefail", "-c", part], cwd=folder, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, errors="replace")
    return proc if background else finish(proc, part)


def finish(proc, part):
    try:
        output, _ = proc.communicate(timeout=PART_SECONDS)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise Failure(f"did not end within {PART_SECONDS} s:\n{part}")
    check(proc.returncode == 0, f"exit code {proc.returncode}:\n{part}\n--- output:\n{output[-3000:]}")
    return output


def run_block(block, folder):
    pages = [line for line in block.splitlines() if "zqhost pages" in line]
    block = "\n".join(line for line in block.splitlines() if line not in pages)
    parts = terminal_parts(block)
    running = {}  # terminal -> (process, commands)
    outputs = []
    for index, (terminal, part) in enumerate(parts):
        if terminal in running:
            outputs.append(finish(*running.pop(terminal)))
        if index == len(parts) - 1:
            outputs.append(run_part(part, folder, False))
            break
        running[terminal] = (run_part(part, folder, True), part)
        for port in listening_ports(part):
            await_bound(port)
    outputs += [finish(proc, part) for proc, part in running.values()]
    if "cmp " in block:
        check(any("same" in text.split() for text in outputs), "the files differ:\n" + "\n".join(outputs)[-2000:])
    for command in pages:
        run_pages(command, folder)


def body():
    with open(README) as readme:
        blocks = shell_blocks(readme.read())
    check(len(blocks) >= 6, f"only {len(blocks)} zqhost blocks found in README.md")
    for number, block in enumerate(blocks):
        # Free on [::]: free on ::1 and every IPv4 address too.
        adapted = adapt(block, [free_port_pair(("::",)) for _ in README_PORTS])
        if "ffmpeg" in adapted and shutil.which("ffmpeg") is None:
            print(f"block {number}: skipped, ffmpeg is not installed")
            continue
        started = time.monotonic()
        try:
            run_block(adapted, work_folder(f"readme-{number}"))
        except Failure as failure:
            raise Failure(f"README block {number}:\n{block}\n{failure}")
        print(f"block {number}: ran in {time.monotonic() - started:.1f} s")


run_test(body)
