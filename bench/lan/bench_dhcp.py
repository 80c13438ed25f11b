#!/usr/bin/python3
"""Join latency per DHCP client: the headless monitor in a namespace LAN with dnsmasq as the router's DHCP server,
and real clients (dhcpcd, busybox udhcpc, ISC dhclient) joining one after another. For each join it prints the
time from the moment the client set its leased address to the monitor's admission (negative: admitted before
the address was set, from the client's REQUEST). Prints its figures; never fails on them. Needs root.

usage: bench_dhcp.py [--build DIR] [--joins N]
"""
import argparse
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lab_session import Lab, arguments, new_device  # noqa: E402

CLIENTS = ["dhcpcd", "udhcpc", "dhclient"]


def join_latency(lab, monitor, c, client, joins):
    if not shutil.which(client, path="/usr/sbin:/sbin"):
        return f"join latency {client}: not installed"
    wall_minus_mono = time.time() - time.monotonic()
    latencies, missed = [], 0
    for j in range(joins):
        mac = f"02:44:be:00:{c:02x}:{j:02x}"
        name = f"j{c}x{j}"
        since = time.monotonic()
        lab("dhcp-client", name, client, mac)
        admitted = monitor.wait_for(new_device(mac), since, 30)
        deadline = time.monotonic() + 30
        bound = ""
        while not bound and time.monotonic() < deadline:
            bound = lab("dhcp-bound", name, check=False)
            time.sleep(0.05)
        if admitted is None or not bound:
            missed += 1
        else:
            latencies.append((admitted + wall_minus_mono - float(bound.split()[0])) * 1000)
        lab("remove", name)
    if not latencies:
        return f"join latency {client}: no join admitted ({missed} missed)"
    return (f"join latency {client}: address set -> admission median {statistics.median(latencies):+.0f} ms "
            f"(min {min(latencies):+.0f}, max {max(latencies):+.0f}, {len(latencies)} joins"
            f"{f', {missed} missed' if missed else ''})")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--joins", type=int, default=5)
    args = arguments("bench_dhcp", ap)
    if args is None:
        return 0
    binary = os.path.join(args.build, "bin", "kestrelwatch")
    with Lab("kwdbench") as lab:
        lab("dhcp-server")
        monitor = lab.monitor(binary)
        monitor.wait_for(r"listening for DHCP", monitor.started, 30)
        for c, client in enumerate(CLIENTS):
            print(join_latency(lab, monitor, c, client, args.joins), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
