#!/usr/bin/python3
"""The headless monitor in a namespace LAN: echo rate, sweep period, detection latency of silent joins and of
joins that announce themselves by ARP, departure latency, CPU and peak memory. Prints its figures; never
fails on them. Needs root (network namespaces).

usage: bench_lan.py [--build DIR] [--devices N] [--joins N] [--announced-joins N] [--cpu-seconds S]
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lab_session import (Lab, arguments, cpu_ticks, disconnected, icmp_out_echos, mac_for,  # noqa: E402
                         new_device, peak_rss_kb, voluntary_switches)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--devices", type=int, default=20)
    ap.add_argument("--joins", type=int, default=20)
    ap.add_argument("--announced-joins", type=int, default=20)
    ap.add_argument("--cpu-seconds", type=int, default=60)
    args = arguments("bench_lan", ap)
    if args is None:
        return 0
    binary = os.path.join(args.build, "bin", "kestrelwatch")
    with Lab("kwbench") as lab:
        measure(args, lab, binary)
    return 0


def measure(args, lab, binary):
    for i in range(args.devices):
        lab("add", f"dev{i}", f"198.18.0.{10 + i}", mac_for(i))
    ns = lab.ns()
    monitor = lab.monitor(binary)
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
        lab("add", name, f"198.18.0.{100 + j}", mac)
        seen = monitor.wait_for(new_device(mac), t, 30)
        joins.append(seen - t if seen else float("inf"))
    for j in range(min(3, args.joins)):
        t = time.monotonic()
        lab("off", f"join{j}")
        gone = monitor.wait_for(disconnected(mac_for(1000 + j)), t, 40)
        leaves.append(gone - t if gone else float("inf"))
    # Joins that announce themselves (announcement or probe, alternately), at random moments of the sweep.
    # They answer no ARP request, so only what they send can make them known; timed from starting arping
    # (as "netlab announce" runs it) in the device's namespace.
    announced = []
    for j in range(args.announced_joins):
        time.sleep(random.uniform(0, 6))
        name, mac, ip = f"loud{j}", mac_for(2000 + j), f"198.18.0.{150 + j}"
        lab("add", name, ip, mac, "--ignore-arp")
        arping = ["ip", "netns", "exec", lab.ns(name), "arping", "-q", "-D" if j % 2 else "-U",
                  "-c", "1", "-w", "1", "-I", "eth0", ip]
        t = time.monotonic()
        sender = subprocess.Popen(arping)
        seen = monitor.wait_for(new_device(mac), t, 15)
        announced.append(seen - t if seen else float("inf"))
        sender.wait()
    print(f"detection, silent joins: median {statistics.median(joins):.2f} s, worst {max(joins):.2f} s "
          f"over {len(joins)} joins")
    if announced:
        print(f"detection, announcing joins: median {statistics.median(announced):.3f} s, "
              f"worst {max(announced):.3f} s over {len(announced)} joins")
    print(f"departure: median {statistics.median(leaves):.2f} s, worst {max(leaves):.2f} s over {len(leaves)}")


if __name__ == "__main__":
    sys.exit(main())
