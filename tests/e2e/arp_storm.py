#!/usr/bin/python3
"""An ARP storm from one lab host: COUNT random locally administered MACs, each asking the monitor for its
address once (an ARP request from PREFIX.x), spread evenly over SECONDS. Prints each MAC as the monitor writes
it (02-AB-...), one per line, after it has left. Bounded in count and time; runs only inside a lab namespace."""
import os
import socket
import struct
import sys
import time


def main():
    iface, count, seconds, target = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
    if count > 5000 or seconds > 60:
        sys.exit("arp_storm: at most 5000 MACs over at most 60 s")
    prefix = target.rsplit(".", 1)[0]
    sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
    sock.bind((iface, 0))
    start = time.monotonic()
    for n in range(count):
        mac = bytes([0x02]) + os.urandom(5)
        sender = socket.inet_aton("%s.%d" % (prefix, 10 + n % 240))
        arp = struct.pack("!HHBBH6s4s6s4s", 1, 0x0800, 6, 4, 1, mac, sender, b"\0" * 6, socket.inet_aton(target))
        sock.send(b"\xff" * 6 + mac + b"\x08\x06" + arp)
        print("-".join("%02X" % b for b in mac), flush=True)
        delay = start + seconds * (n + 1) / count - time.monotonic()
        if delay > 0:
            time.sleep(delay)


main()
