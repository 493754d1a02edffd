# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures the tool from the outside; prints `name value unit` lines."""
import contextlib
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BIN = sys.argv[1]
RUNS = 7


def spawn_ms(command, env):
    """Milliseconds from spawning `command` to its first line ("startup_ms ..."),
    and its whole output."""
    start = time.perf_counter()
    proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True)
    first = proc.stdout.readline()
    elapsed = (time.perf_counter() - start) * 1000
    rest = proc.stdout.read()
    proc.wait(timeout=10)
    if not first.startswith("startup_ms"):
        raise SystemExit(f"unexpected output: {first!r}")
    return elapsed, first + rest


def peak_rss(output):
    """The peak_rss_kib a start-up probe printed."""
    for line in output.splitlines():
        if line.startswith("peak_rss_kib"):
            return int(line.split()[1])
    raise SystemExit(f"no peak_rss_kib in {output!r}")


@contextlib.contextmanager
def virtual_display():
    """A display of our own, as a user's desktop has one: Xvfb on a free
    display number (it says which on -displayfd), stopped afterwards. None
    when Xvfb is not installed. -noreset: a server resets each time its last
    client leaves, and the next program spawned would wait for that reset
    (a desktop always has clients, and never does)."""
    xvfb = shutil.which("Xvfb")
    if not xvfb:
        yield None
        return
    read_end, write_end = os.pipe()
    server = subprocess.Popen([xvfb, "-displayfd", str(write_end), "-screen", "0", "1920x1080x24",
                               "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        number = b""
        while not number.endswith(b"\n"):
            if not select.select([read_end], [], [], 10)[0]:
                raise SystemExit("Xvfb did not say its display within 10 s")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise SystemExit("Xvfb ended before it said its display")
            number += chunk
        yield ":" + number.decode().strip()
    finally:
        os.close(read_end)
        server.terminate()
        server.wait(timeout=10)


def startup_against_bare_qt(env):
    """Spawn to the first exposed window of kv770-config and of a bare Qt
    window the same size, interleaved, one untimed run of each first;
    medians of the times and the largest peak memory of each."""
    ours, bare, ours_rss, bare_rss = [], [], [], []
    spawn_ms([f"{BIN}/kv770-config", "--startup-probe"], env)
    spawn_ms([f"{BIN}/kv770-bare-window"], env)
    for _ in range(RUNS):
        elapsed, output = spawn_ms([f"{BIN}/kv770-config", "--startup-probe"], env)
        ours.append(elapsed)
        ours_rss.append(peak_rss(output))
        elapsed, output = spawn_ms([f"{BIN}/kv770-bare-window"], env)
        bare.append(elapsed)
        bare_rss.append(peak_rss(output))
    return (statistics.median(ours), statistics.median(bare), max(ours_rss), max(bare_rss))


def traffic_shown_ms(env):
    """Spawn to the first exposed window with the traffic history shown, as
    a user who turned it on sees it (median)."""
    with tempfile.TemporaryDirectory() as settings:
        os.makedirs(os.path.join(settings, "kv770"))
        with open(os.path.join(settings, "kv770", "kv770-config.conf"), "w") as f:
            f.write("[view]\ntrafficHistory=true\n")
        env = dict(env, XDG_CONFIG_HOME=settings)
        return statistics.median(
            spawn_ms([f"{BIN}/kv770-config", "--startup-probe"], env)[0] for _ in range(RUNS))


def startup():
    """The window's start-up as a user sees it: on an X display (Xvfb, the
    xcb platform) from the spawn to the window's first expose, beside a bare
    Qt window in the same run, with the peak memory of both. Then the same
    under the offscreen platform, where a bare window costs almost nothing.
    The user's settings are left out (the traffic history hidden)."""
    with tempfile.TemporaryDirectory() as settings, virtual_display() as display:
        base = dict(os.environ, XDG_CONFIG_HOME=settings)
        base.pop("WAYLAND_DISPLAY", None)
        offscreen = dict(base, QT_QPA_PLATFORM="offscreen")
        if display:
            shown, where = dict(base, DISPLAY=display, QT_QPA_PLATFORM="xcb"), "Xvfb, xcb"
        else:
            print("startup: Xvfb not installed; the start-up ratio is the offscreen one",
                  file=sys.stderr)
            shown, where = offscreen, "offscreen"
        ours, bare, ours_rss, bare_rss = startup_against_bare_qt(shown)
        print(f"startup_ms {ours:.1f} ms")
        print(f"startup_bare_qt_ms {bare:.1f} ms")
        print(f"startup_ratio {ours / bare:.2f} x ({where}; spawn to first expose, medians of "
              f"{RUNS}, interleaved)")
        print(f"peak_rss_kib {ours_rss} KiB")
        print(f"bare_peak_rss_kib {bare_rss} KiB")
        print(f"startup_traffic_shown_ms {traffic_shown_ms(shown):.1f} ms")
        if display:
            ours, bare, _, _ = startup_against_bare_qt(offscreen)
            print(f"startup_offscreen_ms {ours:.1f} ms")
            print(f"startup_offscreen_bare_qt_ms {bare:.1f} ms")
            print(f"startup_offscreen_ratio {ours / bare:.2f} x")


def cpu_ticks(pid):
    """User and system clock ticks a process has used (utime + stime)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()  # the name may hold anything
    return int(fields[11]) + int(fields[12])


def on_cpu(cpu):
    """For Popen: the child runs on `cpu` alone (None: wherever it likes)."""
    return None if cpu is None else lambda: os.sched_setaffinity(0, {cpu})


def served(command, ready_prefix, cpu=None):
    """Starts a MODBUS TCP server that announces "... listening on HOST:PORT";
    returns the process and its port."""
    proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True, preexec_fn=on_cpu(cpu))
    ready = proc.stdout.readline()
    if not ready.startswith(ready_prefix):
        proc.kill()
        raise SystemExit(f"unexpected output: {ready!r}")
    return proc, ready.rsplit(":", 1)[1].strip()


def modbus_run(command, ready_prefix, connections, seconds, cpu=None):
    """One bench run against a fresh server (and its clients on `cpu` too,
    when given): requests per second, server CPU microseconds per request,
    and the median latency."""
    bench = f"{BIN}/kv770-modbus-bench"
    proc, port = served(command, ready_prefix, cpu)
    try:
        before = cpu_ticks(proc.pid)
        out = subprocess.run([bench, "127.0.0.1", port, str(seconds), str(connections)],
                             capture_output=True, text=True, check=True, timeout=120,
                             preexec_fn=on_cpu(cpu)).stdout
        used = cpu_ticks(proc.pid) - before
    finally:
        proc.stdin.close()
        proc.terminate()
        proc.wait(timeout=10)
    figures = dict(line.split() for line in out.splitlines())
    requests = int(figures["modbus_tcp_requests"])
    cpu_us = used / os.sysconf("SC_CLK_TCK") * 1e6 / requests
    return float(figures["modbus_tcp_rps"]), cpu_us, float(figures["modbus_tcp_latency_us"])


def sim_vs_libmodbus(rounds=5, seconds=2):
    """kv770-sim's MODBUS TCP service beside a plain libmodbus server, on one
    connection and on 16 at once, runs interleaved (sim, peer, peer, sim...,
    so that neither always runs first), medians of `rounds`: requests per
    second (each client reads ten registers of slave 1 in a loop, one request
    outstanding) and the server's CPU time (user + system) per request
    served.

    On one connection the scheduler decides most of it: with server and
    client on two cores, each request wakes a sleeping core twice, which on
    a virtual machine costs both servers alike many times their own work;
    with both on one core it costs nothing. Where it puts them changes from
    run to run, so the figures ending in _1_one_core pin server and client
    to one core, which leaves the servers' own work per request."""
    if not os.path.exists(f"{BIN}/kv770-libmodbus-server"):
        print("modbus_tcp: libmodbus bench programs not built (libmodbus missing)",
              file=sys.stderr)
        return
    servers = {
        "sim": ([f"{BIN}/kv770-sim", "--port", "0"], "kv770-sim listening on"),
        "libmodbus": ([f"{BIN}/kv770-libmodbus-server", "0", "600"], "listening on"),
    }
    one_core = min(os.sched_getaffinity(0))
    latency = []
    for suffix, connections, cpu in (("1", 1, None), ("16", 16, None),
                                     ("1_one_core", 1, one_core)):
        runs = {name: [] for name in servers}
        for round_ in range(rounds):
            order = list(servers.items())
            for name, (command, prefix) in order if round_ % 2 == 0 else reversed(order):
                runs[name].append(modbus_run(command, prefix, connections, seconds, cpu))
        rps = {name: statistics.median(r[0] for r in runs[name]) for name in servers}
        cpu_us = {name: statistics.median(r[1] for r in runs[name]) for name in servers}
        if suffix == "1":
            latency = [r[2] for r in runs["sim"]]
        n = suffix
        print(f"sim_req_per_s_{n} {rps['sim']:.0f} req/s")
        print(f"libmodbus_req_per_s_{n} {rps['libmodbus']:.0f} req/s")
        print(f"sim_req_per_s_ratio_{n} {rps['sim'] / rps['libmodbus']:.2f} x")
        print(f"sim_cpu_us_per_req_{n} {cpu_us['sim']:.2f} us")
        print(f"libmodbus_cpu_us_per_req_{n} {cpu_us['libmodbus']:.2f} us")
        print(f"sim_cpu_per_req_ratio_{n} {cpu_us['sim'] / cpu_us['libmodbus']:.2f} x")
    print(f"modbus_tcp_latency_us {statistics.median(latency):.0f} us")


def serial():
    """The serial component on a pseudo-terminal: CPU held idle over 10 s, the
    time from a reply's last byte to its handler (median of 20), and 1 MiB sent
    through it, echoed by the far end and received again as blocks."""
    bench = f"{BIN}/kv770-serial-bench"
    if not os.path.exists(bench):
        print("serial: kv770-serial-bench not built", file=sys.stderr)
        return
    for args in (["idle", "10"], ["latency", "20"], ["transfer"]):
        out = subprocess.run([bench, *args], capture_output=True, text=True, check=True,
                             timeout=120).stdout
        for line in out.splitlines():
            name, value = line.split()
            print(f"{name} {value} ms")


def start_sim(*args):
    """A kv770-sim on a free port; returns the process and its port."""
    sim = subprocess.Popen([f"{BIN}/kv770-sim", "--port", "0", *args],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    ready = sim.stdout.readline()  # "kv770-sim listening on 127.0.0.1:PORT"
    if "listening on" not in ready:
        raise SystemExit(f"unexpected output: {ready!r}")
    return sim, ready.rsplit(":", 1)[1].strip()


def timed(args):
    """Seconds one kv770ctl run takes; it must succeed."""
    start = time.perf_counter()
    subprocess.run([f"{BIN}/kv770ctl", *args], capture_output=True, text=True, check=True,
                   timeout=600)
    return time.perf_counter() - start


def scan_serial():
    """kv770ctl scan finding a gateway set to 57600 bit/s on a pseudo-terminal:
    the last rate of the scan's order (median of 3)."""
    with tempfile.TemporaryDirectory() as folder:
        link = os.path.join(folder, "ttyGW")
        sim, _ = start_sim("--pty", link, "--baud", "57600")
        try:
            sim.stdout.readline()  # "kv770-sim serial line on ..."
            times = [timed(["scan", "--serial", link]) for _ in range(3)]
        finally:
            sim.terminate()
            sim.wait(timeout=10)
    print(f"scan_serial_s {statistics.median(times):.2f} s")


def trace_bytes(path):
    """Bytes sent and received in a trace (the hexadecimal fields of each line)."""
    total = 0
    with open(path) as f:
        for line in f:
            fields = line.split("|", 1)[0].split()
            total += sum(1 for x in fields[4:] if len(x) == 2)
    return total


def restore_against_floor():
    """One restore over TCP onto the simulator beside the same exchanges
    replayed from its trace, answered the moment each request is whole (the
    time the protocol itself needs); and over a pseudo-terminal at 9600 bit/s
    with the line's time, beside the line's floor (bytes sent and received
    times 1.04 ms). Medians of 5."""
    with tempfile.TemporaryDirectory() as folder:
        backup = os.path.join(folder, "gw.json")
        trace = os.path.join(folder, "restore.trace")
        sim, port = start_sim()
        try:
            timed(["--tcp", f"127.0.0.1:{port}", "backup", backup])
            timed(["--tcp", f"127.0.0.1:{port}", "--trace", trace, "restore", backup])
            ones = [timed(["--tcp", f"127.0.0.1:{port}", "restore", backup]) for _ in range(5)]
        finally:
            sim.terminate()
            sim.wait(timeout=10)
        floors = []
        for _ in range(5):
            replay, port = start_sim("--replay", trace)
            try:
                floors.append(timed(["--tcp", f"127.0.0.1:{port}", "restore", backup]))
            finally:
                replay.terminate()
                replay.wait(timeout=10)
        one, floor = statistics.median(ones), statistics.median(floors)
        print(f"restore_one_s {one:.3f} s")
        print(f"restore_floor_s {floor:.3f} s")
        print(f"restore_ratio {one / floor:.2f} x")

        link = os.path.join(folder, "ttyGW")
        serial_trace = os.path.join(folder, "serial.trace")
        sim, _ = start_sim("--pty", link, "--baud", "9600", "--line-time")
        try:
            sim.stdout.readline()  # "kv770-sim serial line on ..."
            timed(["--serial", link, "--trace", serial_trace, "restore", backup])
            times = [timed(["--serial", link, "restore", backup]) for _ in range(3)]
        finally:
            sim.terminate()
            sim.wait(timeout=10)
        serial = statistics.median(times)
        line_floor = trace_bytes(serial_trace) * 1.04e-3
        print(f"restore_serial_s {serial:.2f} s")
        print(f"restore_serial_floor_s {line_floor:.2f} s")
        print(f"restore_serial_ratio {serial / line_floor:.2f} x")


def fleet_restore():
    """One backup restored onto 16 simulators over TCP, 16 at once and one at a
    time, beside a single restore."""
    sims = [start_sim() for _ in range(16)]
    try:
        with tempfile.TemporaryDirectory() as folder:
            backup = os.path.join(folder, "gw.json")
            fleet = os.path.join(folder, "fleet.txt")
            first = f"127.0.0.1:{sims[0][1]}"
            timed(["--tcp", first, "meter", "2", "set", "--coefficients", "2.5,1,1,1"])
            timed(["--tcp", first, "backup", backup])
            with open(fleet, "w") as f:
                f.writelines(f"tcp 127.0.0.1:{port}\n" for _, port in sims)
            one = timed(["--tcp", first, "restore", backup])
            parallel = timed(["--fleet", fleet, "--jobs", "16", "restore", backup])
            serial_jobs = timed(["--fleet", fleet, "--jobs", "1", "restore", backup])
    finally:
        for sim, _ in sims:
            sim.terminate()
            sim.wait(timeout=10)
    print(f"fleet_restore_s {parallel:.2f} s (one restore {one:.2f} s, ratio {parallel / one:.2f} x)")
    print(f"fleet_restore_jobs1_s {serial_jobs:.2f} s")


def monitor():
    """What kv770ctl monitor adds to each poll beyond the link's own exchange:
    50 polls of all eight meters (one MODBUS TCP read) back to back against
    kv770-sim. With KV770_MONITOR_TIMING set, kv770ctl times each poll from
    its first request to its line shown and CSV row written, and the part
    spent inside the link's exchanges; the difference is the monitor's own
    work (building, decoding, formatting, writing). Median of 3 runs."""
    sim, port = start_sim()
    overheads = []
    try:
        link = ["--tcp", f"127.0.0.1:{port}", "--gap", "20"]
        timed([*link, "system", "set", "--mode", "modbus"])
        with tempfile.TemporaryDirectory() as folder:
            for run in range(3):
                err = subprocess.run(
                    [f"{BIN}/kv770ctl", *link, "monitor", "--count", "50", "--interval", "0",
                     "--csv", os.path.join(folder, f"values{run}.csv")],
                    capture_output=True, text=True, check=True, timeout=120,
                    env={**os.environ, "KV770_MONITOR_TIMING": "1"}).stderr
                # "kv770ctl: timing: 50 polls, X ms each, of which Y ms in the link's exchanges"
                words = err[err.index("timing:"):].split()
                overheads.append(float(words[3]) - float(words[8]))
    finally:
        sim.terminate()
        sim.wait(timeout=10)
    print(f"monitor_poll_overhead_ms {statistics.median(overheads):.3f} ms")


def config_read():
    """The whole configuration read over TCP from the simulator: by the window
    (its replies end when whole) beside kv770ctl backup (replies end by the
    line's silence)."""
    out = subprocess.run([f"{BIN}/kv770-config-bench"], capture_output=True, text=True,
                         check=True, timeout=300).stdout
    print(out.strip() + " s")
    sim, port = start_sim()
    try:
        with tempfile.TemporaryDirectory() as folder:
            backup = os.path.join(folder, "gw.json")
            times = [timed(["--tcp", f"127.0.0.1:{port}", "backup", backup]) for _ in range(3)]
    finally:
        sim.terminate()
        sim.wait(timeout=10)
    print(f"ctl_backup_s {statistics.median(times):.2f} s")


def live_tab():
    """The Live Values tab fed 10 000 polls of 40 values: how much its memory
    grew (the chart and the table keep a bounded window)."""
    out = subprocess.run([f"{BIN}/kv770-live-bench"], capture_output=True, text=True,
                         check=True, timeout=300).stdout
    for line in out.splitlines():
        if line.startswith("monitor_rss_growth_kib"):
            print(f"monitor_rss_growth_kib {line.split()[1]} KiB")


startup()
sim_vs_libmodbus()
serial()
scan_serial()
restore_against_floor()
fleet_restore()
monitor()
config_read()
live_tab()
