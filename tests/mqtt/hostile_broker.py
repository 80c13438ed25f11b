#!/usr/bin/python3
"""A hostile MQTT broker for the connection's tests. Prints "PORT n", then "CONNECT n" per client. It reads the
client's CONNECT and then, by --mode: "half-connack" (the first byte of a CONNACK, then silence), "flood"
(a CONNACK, then PUBLISH after PUBLISH of a bad command, without end), "big" (a CONNACK, then 1 MB PUBLISHes
without end) or "cut" (a CONNACK, then the start of a PUBLISH, and the connection closes)."""
import argparse, socket, struct, threading, time

parser = argparse.ArgumentParser()
parser.add_argument("--mode", required=True)
parser.add_argument("--topic", default="kestrelwatch/lab/set/02-AA-00-00-00-0C")
args = parser.parse_args()


def length(n):
    out = b""
    while True:
        byte, n = n % 128, n // 128
        out += bytes([byte | (0x80 if n else 0)])
        if not n:
            return out


def publish(payload):
    body = struct.pack("!H", len(args.topic)) + args.topic.encode() + payload
    return b"\x30" + length(len(body)) + body


def serve(sock, number):
    print(f"CONNECT {number}", flush=True)
    try:
        sock.recv(65536)  # the CONNECT
        if args.mode == "half-connack":
            sock.sendall(b"\x20")
            while sock.recv(65536):
                pass
            return
        sock.sendall(b"\x20\x02\x00\x00")
        if args.mode == "cut":
            sock.sendall(publish(b"x" * 1000)[:10])
            return
        packet = publish(b"x" * (1 << 20) if args.mode == "big" else b'{"list": "nowhere"}')
        while True:
            sock.sendall(packet * (1 if args.mode == "big" else 200))
    except OSError:
        pass
    finally:
        sock.close()


server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(8)
print("PORT %d" % server.getsockname()[1], flush=True)
count = 0
while True:
    conn, _ = server.accept()
    count += 1
    threading.Thread(target=serve, args=(conn, count), daemon=True).start()
