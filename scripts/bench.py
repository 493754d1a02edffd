"""Measures the tool from the outside; prints `name value unit` lines."""
import os
import statistics
import subprocess
import sys
import time

BIN = sys.argv[1]
RUNS = 7


def startup():
    """Spawn to the first shown window, and the peak memory at that moment."""
    times, rss = [], []
    for _ in range(RUNS):
        start = time.perf_counter()
        proc = subprocess.Popen([f"{BIN}/kv770-config", "--startup-probe"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        first = proc.stdout.readline()
        elapsed = (time.perf_counter() - start) * 1000
        rest = proc.stdout.read()
        proc.wait(timeout=10)
        if not first.startswith("startup_ms"):
            raise SystemExit(f"unexpected output: {first!r}")
        times.append(elapsed)
        for line in (first + rest).splitlines():
            if line.startswith("peak_rss_kib"):
                rss.append(int(line.split()[1]))
    print(f"startup_ms {statistics.median(times):.1f} ms")
    print(f"peak_rss_kib {max(rss)} KiB")


def modbus_tcp():
    """A libmodbus client's MODBUS TCP turn-around against kv770-sim on loopback."""
    bench = f"{BIN}/kv770-modbus-bench"
    if not os.path.exists(bench):
        print("modbus_tcp: kv770-modbus-bench not built (libmodbus missing)", file=sys.stderr)
        return
    sim = subprocess.Popen([f"{BIN}/kv770-sim", "--port", "0"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        ready = sim.stdout.readline()  # "kv770-sim listening on 127.0.0.1:PORT"
        if "listening on" not in ready:
            raise SystemExit(f"unexpected output: {ready!r}")
        port = ready.rsplit(":", 1)[1].strip()
        out = subprocess.run([bench, "127.0.0.1", port, "3"], capture_output=True, text=True,
                             check=True, timeout=60).stdout
    finally:
        sim.terminate()
        sim.wait(timeout=10)
    units = {"modbus_tcp_rps": "req/s", "modbus_tcp_latency_us": "us"}
    for line in out.splitlines():
        name, value = line.split()
        print(f"{name} {value} {units[name]}")


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


startup()
modbus_tcp()
serial()
