# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures the tool from the outside; prints `name value unit` lines."""
import os
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


def startup_against_bare_qt():
    """The window's start-up beside a bare Qt window's, interleaved, medians."""
    ours, bare = [], []
    for _ in range(RUNS):
        ours.append(spawn_ms([f"{BIN}/kv770-config", "--startup-probe"], os.environ)[0])
        bare.append(spawn_ms([f"{BIN}/kv770-bare-window"], os.environ)[0])
    o, b = statistics.median(ours), statistics.median(bare)
    print(f"startup_bare_qt_ms {b:.1f} ms")
    print(f"startup_ratio {o / b:.2f} x (kv770-config {o:.1f} ms)")


def startup(traffic_shown=False):
    """Spawn to the first shown window, and the peak memory at that moment;
    with the traffic history shown, as a user who turned it on sees it."""
    times, rss = [], []
    settings = tempfile.TemporaryDirectory()
    env = dict(os.environ, XDG_CONFIG_HOME=settings.name)
    if traffic_shown:
        os.makedirs(os.path.join(settings.name, "kv770"))
        with open(os.path.join(settings.name, "kv770", "kv770-config.conf"), "w") as f:
            f.write("[view]\ntrafficHistory=true\n")
    for _ in range(RUNS):
        elapsed, output = spawn_ms([f"{BIN}/kv770-config", "--startup-probe"], env)
        times.append(elapsed)
        for line in output.splitlines():
            if line.startswith("peak_rss_kib"):
                rss.append(int(line.split()[1]))
    settings.cleanup()
    if traffic_shown:
        print(f"startup_traffic_shown_ms {statistics.median(times):.1f} ms")
        return
    print(f"startup_ms {statistics.median(times):.1f} ms")
    print(f"peak_rss_kib {max(rss)} KiB")


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
    print(f"restore_one_s {one:.2f} s")
    print(f"fleet_restore_s {parallel:.2f} s")
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
startup(traffic_shown=True)
startup_against_bare_qt()
sim_vs_libmodbus()
serial()
scan_serial()
fleet_restore()
monitor()
config_read()
live_tab()
