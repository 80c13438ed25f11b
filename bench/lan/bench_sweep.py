#!/usr/bin/python3
"""The whole-subnet sweep of the headless monitor in namespace LANs: the first full list of a /24 and of a /22
with idle (silent) hosts, the discovery of silent hosts spread over a /20 and a /16 (far corners included),
how long a host that leaves the LAN stays online, and a store of 10,000 devices: time to start listening and
peak memory. The hosts of a lab share one namespace, each on its own interface, MAC and address (see
lab_session.add_many). Prints its figures; never fails on them. Needs root (network namespaces).

usage: bench_sweep.py [--build DIR] [--hosts N] [--wide-hosts N] [--leaves N] [--store N] [--only 24,22,20,16,store]
"""
import argparse
import os
import random
import re
import shutil
import sqlite3
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from lab_session import Lab, arguments, disconnected, mac_for, new_device, peak_rss_kb  # noqa: E402

CORNERS = {20: ["198.18.1.77", "198.18.7.200", "198.18.15.9"],
           16: ["198.18.1.77", "198.18.7.200", "198.18.15.9", "198.18.128.0", "198.18.200.9", "198.18.255.254"]}


def spread(prefix, count):
    """count addresses over the subnet 198.18.0.0/prefix, its far corners first, none of the lab's own."""
    out = list(CORNERS.get(prefix, []))
    blocks = 1 << (24 - prefix) if prefix < 24 else 1
    i = 0
    while len(out) < count:
        ip = f"198.18.{(i * 53) % blocks}.{3 + (i * 97) % 251}" if blocks > 1 else f"198.18.0.{10 + i}"
        if ip not in out:
            out.append(ip)
        i += 1
    return out


def seed_store(home, count):
    """Clones one device the monitor stored into count devices, straight into the hive (monitor stopped), each
    with a full history of 100 lines, as a device that comes and goes has after a few days."""
    history = "".join(f"6 Dec 2026 {h:02d}:{m:02d}:00\t{'Went online' if m % 2 else 'Went offline'}\r\n"
                      for h in range(10) for m in range(10))
    os.makedirs(os.path.join(home, "Devices"), exist_ok=True)
    db = sqlite3.connect(os.path.join(home, "kestrelwatch.hive"))
    dev = next(r for r in db.execute("SELECT id, parent, name FROM hive_keys")
               if re.fullmatch(r"02-BE-00-00-..-..", r[2]))
    values = db.execute("SELECT name, uname, data FROM hive_values WHERE key = ?", (dev[0],)).fetchall()
    for i in range(count):
        mac = f"02-BF-00-00-{i >> 8:02X}-{i & 0xFF:02X}"
        with open(os.path.join(home, "Devices", mac + ".log"), "w", newline="") as f:
            f.write(history)
        key = db.execute("INSERT INTO hive_keys(parent, name, uname) VALUES (?, ?, ?)", (dev[1], mac, mac)).lastrowid
        for name, uname, data in values:
            if uname == "IP_ADDRESS":
                data = f"198.18.{1 + (i >> 8) % 200}.{i & 0xFF}"
            db.execute("INSERT INTO hive_values(key, name, uname, data) VALUES (?, ?, ?, ?)", (key, name, uname, data))
    db.commit()
    db.close()


def memory_split(pid):
    """(anonymous, file-backed) resident MB now: the heap against the program and its libraries."""
    fields = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[1].isdigit():
                fields[parts[0].rstrip(":")] = int(parts[1])
    anonymous = fields.get("Anonymous", 0)
    return anonymous / 1024, (fields.get("Rss", 0) - anonymous) / 1024


def split_text(split):
    return f"at the end {split[0]:.1f} MB heap and other anonymous memory, {split[1]:.1f} MB program and libraries"


def lab_run(binary, prefix, addresses, home=None, leaves=0, settle=0.0, full_list=True):
    """Hosts at the addresses, then the monitor started: seconds to listening, to the first full list and to
    each host's admission; seconds from each of `leaves` hosts leaving to its Disconnected line; peak memory and
    its split at the end."""
    macs = [mac_for(i) for i in range(len(addresses))]
    with Lab("kwsw", f"198.18.0.0/{prefix}") as lab:
        lab.add_many("hub", list(zip(addresses, macs)))
        monitor = lab.monitor(binary, home)
        listening = monitor.first(r"listening for ARP", 30)
        timeout = 30 + len(addresses) + (1 << (32 - prefix)) / 100
        full = monitor.all_admitted(macs, timeout) if full_list else None
        admitted = [monitor.first(new_device(m), 0) for m in macs] if full_list else []
        gone = []
        for i in random.sample(range(len(addresses)), min(leaves, len(addresses))):
            time.sleep(random.uniform(0, 6))  # at any moment of the cycle
            t = time.monotonic()
            lab.take_off("hub", i)
            seen = monitor.wait_for(disconnected(macs[i]), t, 60)
            gone.append(seen - t if seen else float("inf"))
        time.sleep(max(0.0, settle - (time.monotonic() - monitor.started)))
        return listening, full, admitted, gone, peak_rss_kb(monitor.proc.pid) / 1024, memory_split(monitor.proc.pid)


def fmt(seconds):
    return "never" if seconds is None else f"{seconds:.2f} s"


def offline_text(gone):
    if not gone:
        return ""
    return (f", offline after leaving: median {statistics.median(gone):.1f} s, worst {max(gone):.1f} s "
            f"over {len(gone)}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hosts", type=int, default=60, help="idle hosts of the /24, /22 and /20")
    ap.add_argument("--wide-hosts", type=int, default=200, help="idle hosts of the /16")
    ap.add_argument("--leaves", type=int, default=3, help="hosts taken off each LAN after its full list")
    ap.add_argument("--store", type=int, default=10000)
    ap.add_argument("--only", default="24,22,20,16,store")
    args = arguments("bench_sweep", ap)
    if args is None:
        return 0
    binary = os.path.join(args.build, "bin", "kestrelwatch")
    home = tempfile.mkdtemp(prefix="kw-sweep-")  # the /24's, kept for the store of many devices
    try:
        measure(args, binary, home)
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return 0


def measure(args, binary, home):
    wanted = args.only.split(",")
    for prefix in (24, 22, 20, 16):
        if str(prefix) not in wanted:
            continue
        addresses = spread(prefix, args.wide_hosts if prefix == 16 else args.hosts)
        listening, full, admitted, gone, rss, split = lab_run(binary, prefix, addresses, home if prefix == 24 else None,
                                                       args.leaves)
        corners = "".join(f", {ip} at {fmt(t)}" for ip, t in zip(addresses, admitted) if ip in CORNERS.get(prefix, []))
        if admitted and None not in admitted:
            last = max(zip(addresses, admitted), key=lambda a: a[1])
            corners += f", the last {last[0]} at {fmt(last[1])}"
        print(f"/{prefix}, {len(addresses)} idle hosts: listening after {fmt(listening)}, first full list {fmt(full)}"
              f"{corners}{offline_text(gone)}; peak memory {rss:.1f} MB ({split_text(split)})", flush=True)
    if "store" in wanted:
        if "24" not in wanted:
            lab_run(binary, 24, spread(24, 1), home)
        seed_store(home, args.store)
        listening, _, _, _, rss, split = lab_run(binary, 24, spread(24, 1), home, settle=30, full_list=False)
        print(f"store of {args.store} devices more, 100 history lines each: listening after {fmt(listening)}, "
              f"headless peak memory {rss:.1f} MB ({split_text(split)})")


if __name__ == "__main__":
    sys.exit(main())
