#!/usr/bin/python3
"""The whole-subnet sweep of the headless monitor in namespace LANs: the first full list of a /24 and of a /22
with idle (silent) hosts, and a store of 10,000 devices: time to start listening and peak memory, beside the
same figures with an empty store. Prints its figures; never fails on them. Needs root (network namespaces).

usage: bench_sweep.py [--build DIR] [--hosts N] [--store N]
"""
import argparse
import os
import re
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bench_lan import netlab, peak_rss_kb, mac_for, mac_text  # noqa: E402


class Monitor:
    """kestrelwatch --headless in a namespace; every line of stdout and stderr with its time."""

    def __init__(self, binary, ns, home):
        self.started = time.monotonic()
        self.proc = subprocess.Popen(["ip", "netns", "exec", ns, binary, "--headless", "--home", home],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, bufsize=1)
        self.lines = []
        self.lock = threading.Lock()
        for stream in (self.proc.stdout, self.proc.stderr):
            threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            with self.lock:
                self.lines.append((time.monotonic(), line.rstrip("\n")))

    def first(self, pattern, timeout):
        rx = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self.lock:
                for t, line in self.lines:
                    if rx.search(line):
                        return t - self.started
            time.sleep(0.02)
        return None

    def all_of(self, macs, timeout):
        """Seconds from start until every MAC has its NEW DEVICE line; None when some never came."""
        deadline = time.monotonic() + timeout
        wanted = {mac_text(m) for m in macs}
        while time.monotonic() < deadline:
            with self.lock:
                seen = {}
                for t, line in self.lines:
                    fields = line.split("\t")  # TIME MAC ADDRESS NAME VENDOR EVENT
                    mac = fields[1] if len(fields) > 1 else ""
                    if mac in wanted and "NEW DEVICE" in line and mac not in seen:
                        seen[mac] = t
            if len(seen) == len(wanted):
                return max(seen.values()) - self.started
            time.sleep(0.05)
        return None

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


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


def lab_run(binary, subnet, addresses, home, settle=20, full_list=True):
    lab = f"kwsw{os.getpid() % 100000}"
    netlab("up", lab, "--owner", str(os.getpid()), "--subnet", subnet)
    monitor = None
    try:
        macs = [mac_for(i) for i in range(len(addresses))]
        for i, (ip, mac) in enumerate(zip(addresses, macs)):
            netlab("add", lab, f"h{i}", ip, mac)
        monitor = Monitor(binary, netlab("ns", lab), home)
        listening = monitor.first(r"listening for ARP", 30)
        full = monitor.all_of(macs, 300) if full_list else None
        time.sleep(max(0.0, settle - (time.monotonic() - monitor.started)))
        return listening, full, peak_rss_kb(monitor.proc.pid) / 1024, memory_split(monitor.proc.pid)
    finally:
        if monitor:
            monitor.stop()
        netlab("down", lab, check=False)


def split_text(split):
    return f"at the end {split[0]:.1f} MB heap and other anonymous memory, {split[1]:.1f} MB program and libraries"


def fmt(seconds):
    return "never" if seconds is None else f"{seconds:.2f} s"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(os.path.dirname(os.path.dirname(HERE)), "build"))
    ap.add_argument("--hosts", type=int, default=60)
    ap.add_argument("--store", type=int, default=10000)
    args = ap.parse_args()
    if os.geteuid() != 0:
        print("bench_sweep: needs root for network namespaces; skipped")
        return 0
    binary = os.path.join(args.build, "bin", "kestrelwatch")
    n = args.hosts
    home = tempfile.mkdtemp(prefix="kw-sweep-")

    small = [f"198.18.0.{10 + i}" for i in range(n)]
    listening, full, rss, split = lab_run(binary, "198.18.0.0/24", small, home)
    print(f"/24, {n} idle hosts: listening after {fmt(listening)}, first full list {fmt(full)}, "
          f"peak memory {rss:.1f} MB ({split_text(split)})")

    # Spread over the four /24 blocks, far corners included.
    wide = [f"198.18.{i % 4}.{254 - (i // 4) * 16 % 250}" for i in range(n)]
    listening, full, rss, _ = lab_run(binary, "198.18.0.0/22", wide, tempfile.mkdtemp(prefix="kw-sweep-"))
    print(f"/22, {n} idle hosts: first full list {fmt(full)}, peak memory {rss:.1f} MB")

    seed_store(home, args.store)
    listening, _, rss, split = lab_run(binary, "198.18.0.0/24", small[:1], home, settle=30, full_list=False)
    print(f"store of {args.store} devices more, 100 history lines each: listening after {fmt(listening)}, "
          f"headless peak memory {rss:.1f} MB ({split_text(split)})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
