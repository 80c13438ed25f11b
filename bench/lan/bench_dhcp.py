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
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_lan import SOURCE, Monitor, mac_text, netlab  # noqa: E402

CLIENTS = ["dhcpcd", "udhcpc", "dhclient"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(SOURCE, "build"))
    ap.add_argument("--joins", type=int, default=5)
    args = ap.parse_args()
    if os.geteuid() != 0:
        print("bench_dhcp: needs root for network namespaces; skipped")
        return 0
    binary = os.path.join(args.build, "bin", "kestrelwatch")
    lab = f"kwdbench{os.getpid() % 100000}"
    home = tempfile.mkdtemp(prefix="kw-bench-")
    netlab("up", lab, "--owner", str(os.getpid()))
    monitor = None
    try:
        netlab("dhcp-server", lab)
        monitor = Monitor(binary, netlab("ns", lab), home)
        time.sleep(2)  # the helper starts listening
        wall_minus_mono = time.time() - time.monotonic()
        for c, client in enumerate(CLIENTS):
            if not shutil.which(client, path="/usr/sbin:/sbin"):
                print(f"join latency {client}: not installed")
                continue
            latencies, missed = [], 0
            for j in range(args.joins):
                mac = f"02:44:be:00:{c:02x}:{j:02x}"
                name = f"j{c}x{j}"
                since = time.monotonic()
                netlab("dhcp-client", lab, name, client, mac)
                admitted = monitor.wait_for(rf"\t{mac_text(mac)}\t.*NEW DEVICE", since, 30)
                deadline = time.monotonic() + 30
                bound = ""
                while not bound and time.monotonic() < deadline:
                    bound = netlab("dhcp-bound", lab, name, check=False)
                    time.sleep(0.05)
                if admitted is None or not bound:
                    missed += 1
                else:
                    latencies.append((admitted + wall_minus_mono - float(bound.split()[0])) * 1000)
                netlab("remove", lab, name)
            if latencies:
                print(f"join latency {client}: address set -> admission median {statistics.median(latencies):+.0f} ms "
                      f"(min {min(latencies):+.0f}, max {max(latencies):+.0f}, {len(latencies)} joins"
                      f"{f', {missed} missed' if missed else ''})")
            else:
                print(f"join latency {client}: no join admitted ({missed} missed)")
    finally:
        if monitor:
            monitor.stop()
        netlab("down", lab, check=False)
        shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
