#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The README's and the manual pages' command examples, run.

Every command the README shows in its ```console blocks is run, block after
block in one working folder as a reader following the README would, and
what it prints (standard output and standard error as a terminal shows
them) is compared with the lines the README prints under it. A command
ending in '&' starts a simulator in the background; what it prints later
(a replay's summary) belongs to the next command. A line '...' stands for
any lines, '...' within a line for any text.

What moves from run to run is masked on both sides: times, pseudo-terminal
numbers, the values of live readings and their units (hart vars, modbus
read, monitor and its CSV). Ports and /tmp paths are the README's as
written, each mapped to a free port and a private folder, so the test runs
beside others. Runs of blanks count as one: columns widen with a longer
path.

The EXAMPLES of each manual page are run as well, against simulators
standing in for the gateways and serial devices they name; each must exit
with status 0.

Usage: examples.py --bin BUILD/bin README.md|PAGE.1 ...
"""

import argparse
import functools
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

COMMAND_TIMEOUT_S = 180
# How long a background simulator may take to say where it serves.
START_TIMEOUT_S = 15
# How long output still coming from the background is waited for.
LATE_OUTPUT_S = 3


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# ---- reading the examples ---------------------------------------------------


class Step:
    def __init__(self, command, line):
        self.command = command
        self.line = line  # where the README shows it
        self.expected = []


def console_blocks(text):
    """Each ```console block as a list of Steps."""
    blocks, steps, inside, heredoc = [], None, False, None
    for number, line in enumerate(text.splitlines(), 1):
        if not inside:
            if line.strip() == "```console":
                inside, steps = True, []
            continue
        if heredoc:  # a here-document is part of its command
            steps[-1].command += "\n" + line
            if line == heredoc:
                heredoc = None
            continue
        if line.strip() == "```":
            inside = False
            blocks.append(steps)
        elif line.startswith("$ "):
            steps.append(Step(line[2:], number))
            m = re.search(r"<<-?\s*'?(\w+)'?", line)
            heredoc = m.group(1) if m else None
        elif steps:
            steps[-1].expected.append(line)
    return blocks


def man_examples(text):
    """The command lines of a manual page's EXAMPLES section."""
    section = re.search(r"^\.SH EXAMPLES\n(.*?)(?=^\.SH )", text, re.S | re.M)
    if not section:
        return []
    lines = []
    for line in section.group(1).splitlines():
        if line.startswith("."):
            continue
        lines.append(line.replace("\\-", "-").replace("\\(em", "-"))
    return lines


# ---- comparing --------------------------------------------------------------

MOVING = re.compile(r"hart vars|modbus read|monitor|^head ")


def normalize(line, moving):
    line = re.sub(r"/dev/pts/\d+", "/dev/pts/N", line)
    line = re.sub(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z?", "<time>", line)
    line = re.sub(r"\b\d\d:\d\d:\d\d(\.\d+)?\b", "<time>", line)
    if moving:
        # Register contents, a reading's value and its unit.
        line = re.sub(r"^(\s*4\d{4})\s+[0-9A-F]{4}\s+\d+\s*$", r"\1 <hex> <n>", line)
        line = re.sub(r"-?\d+\.\d+(e[+-]?\d+)?", "<n>", line)
        line = re.sub(r"^(variable \d\s+<n>) .* (\(unit code \d+\))$", r"\1 <unit> \2", line)
        if line.startswith("<time>"):  # a row of readings: every cell moves
            line = re.sub(r"(?<![\w<])-?\d+(?![\w>])", "<n>", line)
        if line.startswith("time,"):  # the CSV header names each unit
            line = re.sub(r"\([^()]*\)", "(<unit>)", line)
        line = re.sub(r"^unit\s.*", "unit <units>", line)
    return " ".join(line.split())


def line_matches(expected, actual):
    if "..." not in expected:
        return expected == actual
    pattern = ".*".join(re.escape(part) for part in expected.split("..."))
    return re.fullmatch(pattern, actual) is not None


def lines_match(expected, actual):
    """A line '...' matches any run of lines, itself none too."""

    @functools.lru_cache(maxsize=None)
    def match(i, j):
        if i == len(expected):
            return j == len(actual)
        if expected[i] == "...":
            return match(i + 1, j) or (j < len(actual) and match(i, j + 1))
        return j < len(actual) and line_matches(expected[i], actual[j]) and match(i + 1, j + 1)

    return match(0, 0)


# ---- running ------------------------------------------------------------------


class Background:
    """A program started with '&': its output read as it comes."""

    def __init__(self, argv, cwd, env):
        self.process = subprocess.Popen(
            argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, start_new_session=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode("utf-8", "replace").rstrip("\n"))

    def take(self, wait=0.0):
        """The lines come so far; waits up to `wait` for the first one."""
        taken = []
        try:
            taken.append(self.lines.get(timeout=wait) if wait else self.lines.get_nowait())
            while True:
                taken.append(self.lines.get_nowait())
        except queue.Empty:
            pass
        return taken

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()


class Session:
    """One working folder, its simulators, and the README's ports and paths
    mapped to free ones."""

    def __init__(self, bin_dir):
        self.folder = tempfile.mkdtemp(prefix="kv770-examples-")
        self.env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ["PATH"],
                        QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
        self.ports = {}      # the README's port: the one used
        self.servers = {}    # the README's port: the simulator serving it
        self.background = []

    def close(self):
        for b in self.background:
            b.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def port(self, written):
        if written not in self.ports:
            self.ports[written] = str(free_port())
        return self.ports[written]

    def local(self, text):
        """The README's words as run here."""
        text = re.sub(r"(--port\s+|127\.0\.0\.1:)(\d+)",
                      lambda m: m.group(1) + self.port(m.group(2)), text)
        return text.replace("/tmp/", self.folder + "/")

    def as_written(self, text):
        """What was printed here, in the README's words."""
        text = text.replace(self.folder + "/", "/tmp/").replace(self.folder, "/tmp")
        for written, used in self.ports.items():
            text = text.replace("127.0.0.1:" + used, "127.0.0.1:" + written)
        return text

    def start(self, command):
        """A simulator in the background (replacing one on the same port);
        the lines it printed once it serves."""
        written = re.search(r"--port\s+(\d+)", command)
        written = written.group(1) if written else "7000"
        if "--port" not in command and command.startswith("kv770-sim"):
            command += " --port " + written
        if written in self.servers:
            self.servers.pop(written).stop()
        server = Background(["bash", "-c", "exec " + self.local(command)], self.folder, self.env)
        self.background.append(server)
        self.servers[written] = server
        wanted = ["listening on"]
        if "--pty" in command:
            wanted.append("serial line on")
        if "--replay" in command:
            wanted.append("replaying")
        lines, deadline = [], time.monotonic() + START_TIMEOUT_S
        while any(not any(w in l for l in lines) for w in wanted):
            if time.monotonic() > deadline or server.process.poll() is not None:
                break
            lines += server.take(0.2)
        return [self.as_written(l) for l in lines]

    def run(self, command, stop_after=None):
        """A command in the foreground: its exit status and output lines.
        `stop_after`: seconds after which it gets Ctrl+C (SIGINT)."""
        process = subprocess.Popen(
            ["bash", "-c", self.local(command)], cwd=self.folder, env=self.env,
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            start_new_session=True)
        try:
            out, _ = process.communicate(timeout=stop_after or COMMAND_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGINT if stop_after else signal.SIGKILL)
            out, _ = process.communicate()
        text = self.as_written(out.decode("utf-8", "replace"))
        return process.returncode, text.splitlines()

    def late_lines(self, wait=0.0):
        """What the background printed meanwhile."""
        lines = []
        for b in self.background:
            lines += b.take(wait)
        return [self.as_written(l) for l in lines]


# ---- the README -----------------------------------------------------------------


def compare(step, actual):
    moving = MOVING.search(step.command) is not None
    expected = [normalize(l, moving) for l in step.expected]
    got = [normalize(l, moving) for l in actual]
    if "--fleet" in step.command:  # each gateway's line comes as it finishes
        return sorted(expected) == sorted(got)
    return lines_match(expected, got)


def run_readme(session, path, transcript=False):
    failures, count = [], 0
    with open(path, encoding="utf-8") as f:
        blocks = console_blocks(f.read())
    for block in blocks:
        for step in block:
            count += 1
            if step.command.endswith("&"):
                actual = session.start(step.command[:-1].strip())
            else:
                _, actual = session.run(step.command)
                actual += session.late_lines()
                deadline = time.monotonic() + LATE_OUTPUT_S
                while not compare(step, actual) and time.monotonic() < deadline:
                    actual += session.late_lines(0.2)
            if not compare(step, actual):
                failures.append((path, step, actual))
            if transcript:
                print("$ " + step.command)
                print("\n".join(actual))
    return count, failures


# ---- the manual pages -------------------------------------------------------------

# Each place the kv770ctl page's examples go, served by a simulator: the
# serial device by the first one's pseudo-terminal, which holds an
# instrument at every polling address a scan of 0-15 asks.
EVERY_PLACE = ",".join(f"{c}:{a}" for c in range(1, 9) for a in range(16))


def run_man_page(session, path, transcript=False):
    with open(path, encoding="utf-8") as f:
        examples = man_examples(f.read())
    failures = []
    if any("192.168.0.88" in e for e in examples):
        session.start(f"kv770-sim --port 7088 --pty /tmp/ttyUSB0 --instruments {EVERY_PLACE}")
        session.start("kv770-sim --port 7089")
        with open(os.path.join(session.folder, "plant-a.txt"), "w") as fleet:
            fleet.write(session.local("tcp 127.0.0.1:7088\ntcp 127.0.0.1:7089\n"))

    def as_run(example):
        return (example.replace("192.168.0.88", "127.0.0.1:7088")
                .replace("192.168.0.89", "127.0.0.1:7089")
                .replace("/dev/ttyUSB0", "/tmp/ttyUSB0"))

    for i, example in enumerate(examples):
        command = as_run(example)
        step = Step(example, 0)
        if command.startswith("kv770-sim"):
            replayed = re.search(r"--replay\s+(\S+)", command)
            if replayed and not os.path.exists(os.path.join(session.folder, replayed.group(1))):
                # The field's trace: the next example's command, recorded
                # against the simulator the replay replaces.
                following = next(e for e in examples[i + 1:] if e.startswith("kv770ctl"))
                session.run(as_run(following).replace(
                    "kv770ctl", f"kv770ctl --trace {replayed.group(1)}", 1))
            lines = session.start(command)
            if not any("listening on" in l for l in lines):
                failures.append((path, step, lines))
            continue
        # A monitor without --count runs until Ctrl+C.
        endless = "monitor" in command and "--count" not in command
        status, lines = session.run(command, stop_after=5 if endless else None)
        lines += session.late_lines()
        if status != 0:
            failures.append((path, step, lines + [f"(exit status {status})"]))
    return len(examples), failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="the folder of kv770ctl and kv770-sim")
    parser.add_argument("documents", nargs="+", help="README.md (*.md) and manual pages")
    parser.add_argument("--transcript", action="store_true",
                        help="print each README command with what it printed, to paste")
    args = parser.parse_args()
    bin_dir = os.path.abspath(args.bin)
    failures, counts = [], []
    for document in args.documents:
        session = Session(bin_dir)  # each document's examples on their own
        try:
            run = run_readme if document.endswith(".md") else run_man_page
            count, failed = run(session, document, args.transcript)
            counts.append(f"{count} examples of {document}")
            failures += failed
        finally:
            session.close()
    for path, step, actual in failures:
        where = f"{path}:{step.line}" if step.line else path
        print(f"FAIL {where}: $ {step.command}")
        if step.expected:
            print("  documented:")
            for line in step.expected:
                print("    " + line)
        print("  printed:")
        for line in actual:
            print("    " + line)
    print(("ok: " if not failures else f"{len(failures)} failed of ") + ", ".join(counts))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
