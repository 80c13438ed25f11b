#!/usr/bin/python3
"""Presence under frame loss: the headless monitor in a namespace LAN whose monitor namespace drops a share of
the ARP frames it receives (and with --both-ways those it sends; nftables, at random), for a while with every device present; then one host leaves.
Prints the false departures (devices reported offline while present) and how long the leaver took to be offline.
Prints its figures; never fails on them. Needs root (network namespaces).

usage: bench_loss.py [--build DIR] [--hosts N] [--loss PERCENT] [--both-ways] [--minutes M]
"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lab_session import Lab, arguments, disconnected, mac_for  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hosts", type=int, default=20)
    ap.add_argument("--loss", type=int, default=30, help="percent of the ARP frames the monitor receives dropped")
    ap.add_argument("--both-ways", action="store_true", help="drop as many of those it sends too")
    ap.add_argument("--minutes", type=float, default=3)
    args = arguments("bench_loss", ap)
    if args is None:
        return 0
    binary = os.path.join(args.build, "bin", "kestrelwatch")
    with Lab("kwloss") as lab:
        hosts = [(f"198.18.0.{10 + i}", mac_for(i)) for i in range(args.hosts)]
        lab.add_many("hub", hosts)
        monitor = lab.monitor(binary)
        listed = monitor.all_admitted([mac for _, mac in hosts], 60)
        print(f"{args.hosts} hosts listed after {listed:.1f} s" if listed else "not every host was listed")
        rules = (f"add table arp kwloss\n"
                 f"add chain arp kwloss in {{ type filter hook input priority 0; }}\n"
                 f"add chain arp kwloss out {{ type filter hook output priority 0; }}\n"
                 f"add rule arp kwloss in numgen random mod 100 < {args.loss} drop\n"
                 + (f"add rule arp kwloss out numgen random mod 100 < {args.loss} drop\n" if args.both_ways else ""))
        subprocess.run(["ip", "netns", "exec", lab.ns(), "nft", "-f", "-"], input=rules, text=True, check=True)
        start = time.monotonic()
        time.sleep(args.minutes * 60)
        with monitor.lock:
            false = [line for t, line in monitor.lines if t >= start and "\tDisconnected" in line]
        print(f"{args.loss} % ARP loss {'each way' if args.both_ways else 'inbound'} for {args.minutes:g} min with {args.hosts} present hosts: "
              f"{len(false)} false departures")
        for line in false:
            print("  " + line)
        t = time.monotonic()
        lab.take_off("hub", 1)
        gone = monitor.wait_for(disconnected(hosts[1][1]), t, 60)
        print(f"a host that leaves under that loss: offline after {gone - t:.1f} s" if gone
              else "a host that leaves under that loss: not offline within 60 s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
