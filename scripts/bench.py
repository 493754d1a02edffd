"""Measures the tool from the outside; prints `name value unit` lines."""
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


startup()
