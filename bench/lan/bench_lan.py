#!/usr/bin/python3
"""The headless monitor in a namespace LAN: echo rate, sweep period, detection latency of silent joins and of
joins that announce themselves by ARP, departure latency, CPU and peak memory. Prints its figures; never
fails on them. Needs root (network namespaces).

usage: bench_lan.py [--build DIR] [--devices N] [--joins N] [--announced-joins N] [--cpu-seconds S]
"""
import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
NETLAB = os.path.join(SOURCE, "scripts", "netlab")


def netlab(*args, check=True):
    return subprocess.run([NETLAB, *args], check=check, capture_output=True, text=True).stdout.strip()


def icmp_out_echos(ns):
    snmp = subprocess.run(["ip", "netns", "exec", ns, "cat", "/proc/net/snmp"],
                          capture_output=True, text=True).stdout.splitlines()
    heads = [l.split() for l in snmp if l.startswith("Icmp:")]
    return int(heads[1][heads[0].index("OutEchos")])


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def peak_rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def voluntary_switches(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                return int(line.split()[1])
    return 0


class Monitor:
    def __init__(self, binary, ns, home):
        self.proc = subprocess.Popen(["ip", "netns", "exec", ns, binary, "--headless", "--home", home],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.events = []  # (monotonic time, line)
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            with self.lock:
                self.events.append((time.monotonic(), line.rstrip("\n")))

    def wait_for(self, pattern, since, timeout):
        rx = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self.lock:
                for t, line in self.events:
                    if t >= since and rx.search(line):
                        return t
            time.sleep(0.02)
        return None

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def mac_for(i):
    return f"02:be:00:00:{i >> 8:02x}:{i & 0xFF:02x}"


def mac_text(mac):
    return mac.replace(":", "-").upper()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(SOURCE, "build"))
    ap.add_argument("--devices", type=int, default=20)
    ap.add_argument("--joins", type=int, default=20)
    ap.add_argument("--announced-joins", type=int, default=20)
    ap.add_argument("--cpu-seconds", type=int, default=60)
    args = ap.parse_args()
    if os.geteuid() != 0:
        print("bench_lan: needs root for network namespaces; skipped")
        return 0
    binary = os.path.join(args.build, "bin", "kestrelwatch")
    lab = f"kwbench{os.getpid()}"
    home = tempfile.mkdtemp(prefix="kw-bench-")
    netlab("up", lab, "--owner", str(os.getpid()))
    monitor = None
    try:
        for i in range(args.devices):
            netlab("add", lab, f"dev{i}", f"198.18.0.{10 + i}", mac_for(i))
        ns = netlab("ns", lab)
        monitor = Monitor(binary, ns, home)
        pid = monitor.proc.pid

        # Echo rate and sweep period from the monitor namespace's ICMP counters, sampled every 50 ms.
        samples = []
        end = time.monotonic() + 20
        while time.monotonic() < end:
            samples.append((time.monotonic(), icmp_out_echos(ns)))
            time.sleep(0.05)
        bursts, current = [], None
        for (t0, c0), (t1, c1) in zip(samples, samples[1:]):
            if c1 > c0:
                if current is None:
                    current = [t0, t1, c0, c1]
                else:
                    current[1], current[3] = t1, c1
            elif current is not None and t1 - current[1] > 0.5:
                bursts.append(current)
                current = None
        full = [b for b in bursts[1:]]  # the first may have begun before sampling
        if full:
            durations = [b[1] - b[0] for b in full]
            counts = [b[3] - b[2] for b in full]
            starts = [b[0] for b in full]
            print(f"sweep: {statistics.median(counts):.0f} echo requests in {statistics.median(durations):.2f} s "
                  f"(median of {len(full)}) = {statistics.median(c / d for c, d in zip(counts, durations)):.0f}/s")
            if len(starts) > 1:
                periods = [b - a for a, b in zip(starts, starts[1:])]
                print(f"sweep period: median {statistics.median(periods):.2f} s "
                      f"(min {min(periods):.2f}, max {max(periods):.2f})")
        else:
            print("sweep: no complete sweep seen")

        # CPU and wake-ups over a quiet stretch with the devices present.
        t0, c0, v0 = time.monotonic(), cpu_ticks(pid), voluntary_switches(pid)
        time.sleep(args.cpu_seconds)
        t1, c1, v1 = time.monotonic(), cpu_ticks(pid), voluntary_switches(pid)
        hz = os.sysconf("SC_CLK_TCK")
        print(f"cpu: {100.0 * (c1 - c0) / hz / (t1 - t0):.2f}% of one core over {t1 - t0:.0f} s "
              f"with {args.devices} devices; {(v1 - v0) / (t1 - t0):.1f} wake-ups/s")
        print(f"peak memory: {peak_rss_kb(pid) / 1024:.1f} MB")

        # Joins at random moments, and departures.
        joins, leaves = [], []
        for j in range(args.joins):
            time.sleep(random.uniform(0, 6))
            name, mac = f"join{j}", mac_for(1000 + j)
            t = time.monotonic()
            netlab("add", lab, name, f"198.18.0.{100 + j}", mac)
            seen = monitor.wait_for(re.escape(mac_text(mac)) + r"\t.*NEW DEVICE", t, 30)
            joins.append(seen - t if seen else float("inf"))
        for j in range(min(3, args.joins)):
            t = time.monotonic()
            netlab("off", lab, f"join{j}")
            gone = monitor.wait_for(re.escape(mac_text(mac_for(1000 + j))) + r"\t.*Disconnected", t, 40)
            leaves.append(gone - t if gone else float("inf"))
        # Joins that announce themselves (announcement or probe, alternately), at random moments of the sweep.
        # They answer no ARP request, so only what they send can make them known; timed from starting arping
        # (as "netlab announce" runs it) in the device's namespace.
        announced = []
        for j in range(args.announced_joins):
            time.sleep(random.uniform(0, 6))
            name, mac, ip = f"loud{j}", mac_for(2000 + j), f"198.18.0.{150 + j}"
            netlab("add", lab, name, ip, mac, "--ignore-arp")
            arping = ["ip", "netns", "exec", netlab("ns", lab, name), "arping", "-q", "-D" if j % 2 else "-U",
                      "-c", "1", "-w", "1", "-I", "eth0", ip]
            t = time.monotonic()
            sender = subprocess.Popen(arping)
            seen = monitor.wait_for(re.escape(mac_text(mac)) + r"\t.*NEW DEVICE", t, 15)
            announced.append(seen - t if seen else float("inf"))
            sender.wait()
        print(f"detection, silent joins: median {statistics.median(joins):.2f} s, worst {max(joins):.2f} s "
              f"over {len(joins)} joins")
        if announced:
            print(f"detection, announcing joins: median {statistics.median(announced):.3f} s, "
                  f"worst {max(announced):.3f} s over {len(announced)} joins")
        print(f"departure: median {statistics.median(leaves):.2f} s, worst {max(leaves):.2f} s over {len(leaves)}")
    finally:
        if monitor:
            monitor.stop()
        netlab("down", lab, check=False)
        shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
