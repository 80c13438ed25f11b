#!/usr/bin/python3
"""What the privileged helper costs: the headless monitor and its helper in a namespace LAN of a /24 with 20
devices. Prints the sweep cycle, join-to-admitted latency, CPU of monitor and helper together, and the
helper's memory; then the helper alone under a flood of echo batches: what it sends at once, queues and
refuses, and how fast the queue drains. Never fails on them. Needs root (network namespaces).

usage: bench_helper.py [--build DIR] [--devices N] [--joins N] [--cpu-seconds S]
"""
import argparse
import os
import random
import statistics
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lan"))
from lab_session import (Lab, arguments, cpu_ticks, icmp_out_echos, mac_for, new_device,  # noqa: E402
                         status_kb)


def helper_of(pid):
    out = subprocess.run(["pgrep", "-P", str(pid), "-x", "kestrelwatch-he"], capture_output=True, text=True)
    return int(out.stdout.split()[0]) if out.stdout.split() else None


def echo_frame(seq, addresses):
    payload = struct.pack(">H", len(addresses)) + b"".join(bytes(a) for a in addresses)
    return struct.pack(">BBHI", 1, 1, len(payload), seq) + payload


def read_frame(stream):
    header = stream.read(8)
    _, kind, length, seq = struct.unpack(">BBHI", header)
    return kind, seq, stream.read(length)


def flood(helper_path, batches=20):
    """Batches of 64 echo targets written at once to a helper in a namespace of its own; a second later one
    more, whose answer carries what the queue sent meanwhile."""
    setup = ("ip link set lo up && ip link add lan0 type veth peer name lan1 && ip link set lan1 up && "
             "ip addr add 198.18.7.1/24 dev lan0 && ip link set lan0 up")
    proc = subprocess.Popen(["unshare", "--net", "sh", "-c", f"({setup}) >&2 && exec {helper_path}"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        read_frame(proc.stdout)  # Ready
        targets = [(198, 18, 7, 2 + i) for i in range(64)]
        t0 = time.monotonic()
        proc.stdin.write(b"".join(echo_frame(100 + i, targets) for i in range(batches)))
        proc.stdin.flush()
        sent = queued = refused = 0
        for _ in range(batches):
            counts = struct.unpack(">6H", read_frame(proc.stdout)[2][:12])
            sent, queued, refused = sent + counts[0], counts[1], refused + counts[3]
        answered = time.monotonic() - t0
        time.sleep(1.5)
        proc.stdin.write(echo_frame(999, [(198, 18, 7, 200)]))
        proc.stdin.flush()
        late = struct.unpack(">6H", read_frame(proc.stdout)[2][:12])[0]
        print(f"helper flood: {batches * 64} echoes asked in {batches} batches, answered in {answered * 1000:.1f} ms: "
              f"{sent} sent at once, {queued} queued, {refused} refused over the rate; "
              f"{late} sent from the queue and after it within 1.5 s")
    finally:
        proc.stdin.close()
        proc.wait(5)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--devices", type=int, default=20)
    ap.add_argument("--joins", type=int, default=12)
    ap.add_argument("--cpu-seconds", type=int, default=60)
    args = arguments("bench_helper", ap)
    if args is None:
        return 0
    with Lab("kwhb") as lab:
        measure(args, lab)
    return 0


def measure(args, lab):
    for i in range(args.devices):
        lab("add", f"dev{i}", f"198.18.0.{10 + i}", mac_for(i))
    ns = lab.ns()
    monitor = lab.monitor(os.path.join(args.build, "bin", "kestrelwatch"))
    pid = monitor.proc.pid
    monitor.wait_for(r"listening for ARP", monitor.started, 30)
    helper = helper_of(pid)
    if helper is None:
        print("bench_helper: the monitor started no helper")
        return
    # Sweep cycle: the starts of the echo bursts, from the namespace's ICMP counter every 50 ms.
    samples, end = [], time.monotonic() + 26
    while time.monotonic() < end:
        samples.append((time.monotonic(), icmp_out_echos(ns)))
        time.sleep(0.05)
    # A sweep starts with the first rise after the counter stood still for over half a second.
    starts, still_since = [], None
    for (t0, c0), (t1, c1) in zip(samples, samples[1:]):
        if c1 == c0:
            still_since = still_since or t0
        else:
            if still_since is not None and t0 - still_since > 0.5:
                starts.append(t0)
            still_since = None
    periods = [b - a for a, b in zip(starts, starts[1:])]
    if periods:
        print(f"sweep cycle: median {statistics.median(periods):.2f} s over {len(periods)} cycles")

    t0, m0, h0 = time.monotonic(), cpu_ticks(pid), cpu_ticks(helper)
    time.sleep(args.cpu_seconds)
    t1, m1, h1 = time.monotonic(), cpu_ticks(pid), cpu_ticks(helper)
    hz, span = os.sysconf("SC_CLK_TCK"), t1 - t0
    print(f"cpu over {span:.0f} s with {args.devices} devices: monitor {100.0 * (m1 - m0) / hz / span:.2f}%, "
          f"helper {100.0 * (h1 - h0) / hz / span:.2f}%, together "
          f"{100.0 * (m1 - m0 + h1 - h0) / hz / span:.2f}% of one core")
    print(f"helper memory: RSS {status_kb(helper, 'VmRSS') / 1024:.2f} MB, "
          f"peak {status_kb(helper, 'VmHWM') / 1024:.2f} MB; monitor peak {status_kb(pid, 'VmHWM') / 1024:.1f} MB")

    # A join is timed from the start of "netlab add" (the device comes up somewhere inside it).
    joins, adds = [], []
    for j in range(args.joins):
        time.sleep(random.uniform(0, 6))
        mac, t = mac_for(2000 + j), time.monotonic()
        lab("add", f"join{j}", f"198.18.0.{120 + j}", mac)
        adds.append(time.monotonic() - t)
        seen = monitor.wait_for(new_device(mac), t, 30)
        joins.append(seen - t if seen else float("inf"))
    print(f"join to admitted: median {statistics.median(joins):.2f} s, worst {max(joins):.2f} s "
          f"over {len(joins)} joins (netlab add itself: median {statistics.median(adds):.2f} s)")
    flood(os.path.join(args.build, "bin", "kestrelwatch-helper"))


if __name__ == "__main__":
    sys.exit(main())
