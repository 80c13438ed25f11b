"""Scrapes a monitor's /metrics and reads it with the Prometheus client's own text parser.

Prints one line per sample, "name{label=value,...} value" with the labels sorted, then the status each
refused request got ("GET /other 404", ...). Usage: scrape_metrics.py PORT
"""
import socket
import sys
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

port = int(sys.argv[1])
body = urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=10).read().decode()
for family in text_string_to_metric_families(body):
    for s in family.samples:
        labels = ",".join(f"{k}={v}" for k, v in sorted(s.labels.items()))
        print(f"{s.name}{{{labels}}} {s.value:g}")


def status(request):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as c:
        c.sendall(request)
        reply = b""
        while chunk := c.recv(4096):
            reply += chunk
    return reply.split(b" ", 2)[1].decode() if reply else "none"


print("GET /other", status(b"GET /other HTTP/1.1\r\nHost: x\r\n\r\n"))
print("POST /metrics", status(b"POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n"))
print("huge head", status(b"GET /metrics HTTP/1.1\r\nX: " + b"a" * 9000 + b"\r\n\r\n"))
