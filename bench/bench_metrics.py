#!/usr/bin/env python3
"""The metrics endpoint's cost: the console monitor's processor time per scrape
and the scrape latency over many scrapes, and the resident memory the endpoint
adds. Linux only (it reads /proc). Build the native-release preset first:

    cmake --preset native-release && cmake --build --preset native-release -j2 --target varnalis-cli
    bench/bench_metrics.py [build/native-release/varnalis-cli] [scrapes]
"""
import os
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/native-release/varnalis-cli")
SCRAPES = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
RECORDING = os.path.join(ROOT, "docs/example.replay")


def cpu_seconds(pid):
    # Each thread's time on a processor in nanoseconds (the tick counts of /proc/PID/stat are too coarse).
    tasks = f"/proc/{pid}/task"
    return sum(int(open(f"{tasks}/{task}/schedstat").read().split()[0]) for task in os.listdir(tasks)) / 1e9


def rss_kib(pid):
    return int(re.search(r"VmRSS:\s+(\d+)", open(f"/proc/{pid}/status").read()).group(1))


def scrape(port):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(b"GET /metrics HTTP/1.1\r\nHost: bench\r\n\r\n")
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
    assert answer.startswith(b"HTTP/1.1 200 "), answer[:80]
    return len(answer)


def start(env, *options):
    process = subprocess.Popen([CLI, "--replay", RECORDING, *options], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    port = None
    for line in process.stdout:
        found = re.match(r"Metrics at http://[\d.]+:(\d+)/metrics", line)
        if found:
            port = int(found.group(1))
        if line.startswith("Monitoring "):
            break
    time.sleep(2)  # a few passes done, the memory settled
    return process, port


def stop(process):
    process.terminate()
    process.wait(10)


def main():
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, XDG_CONFIG_HOME=home)
        os.chdir(home)  # the log goes here
        for setting, value in [("Connection\\period", "200"), ("Log\\SaveLog", "0")]:
            subprocess.run([CLI, "set", setting, value], env=env, check=True, stdout=subprocess.DEVNULL)

        plain, _ = start(env)
        rss_plain = rss_kib(plain.pid)
        stop(plain)

        monitor, port = start(env, "--metrics", "127.0.0.1:0")
        rss_served = rss_kib(monitor.pid)
        # The monitor's own processor time over a quiet stretch, to take off.
        before, began = cpu_seconds(monitor.pid), time.perf_counter()
        time.sleep(2)
        idle_rate = (cpu_seconds(monitor.pid) - before) / (time.perf_counter() - began)

        latencies, size = [], 0
        before, began = cpu_seconds(monitor.pid), time.perf_counter()
        for _ in range(SCRAPES):
            t = time.perf_counter()
            size = scrape(port)
            latencies.append(time.perf_counter() - t)
        wall = time.perf_counter() - began
        used = cpu_seconds(monitor.pid) - before - idle_rate * wall
        rss_after = rss_kib(monitor.pid)
        stop(monitor)

    latencies.sort()
    ms = lambda s: f"{s * 1000:.3f} ms"
    print(f"{SCRAPES} scrapes of {size} bytes with the monitor passing every 200 ms")
    print(f"  processor time per scrape: {used / SCRAPES * 1e6:.1f} us (the monitor alone: {idle_rate * 100:.2f} %)")
    print(f"  latency: median {ms(statistics.median(latencies))}, 99th {ms(latencies[int(len(latencies) * 0.99)])},"
          f" max {ms(latencies[-1])}")
    print(f"  resident memory: {rss_plain} KiB without --metrics, {rss_served} KiB with it "
          f"(+{rss_served - rss_plain} KiB), {rss_after} KiB after the scrapes")


if __name__ == "__main__":
    main()
