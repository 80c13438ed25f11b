#!/usr/bin/python3
"""An HTTP server for the push channels' tests, on the standard library's http.server.

Prints "PORT n" when it listens, then "REQ <json>" for each request (method, path, headers, body as text).
--answers takes one behaviour per request in turn, the last one repeating: an HTTP status (200, 401, 500, ...),
"hang" (reads the request and never answers), "close" (reads it and closes the connection), "redirect:URL"
(307 to URL) or "trickle" (a 200 whose body comes one byte every 0.4 s, without end). --style ntfy
checks what ntfy's documentation asks of a publish (Title, Priority, Tags, Authorization: Bearer) and answers as
ntfy does (400 or 401 with its JSON error); --style gotify checks X-Gotify-Key and the JSON message.
"""
import argparse
import json
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

NTFY_PRIORITIES = {"1", "2", "3", "4", "5", "min", "low", "default", "high", "max", "urgent"}

parser = argparse.ArgumentParser()
parser.add_argument("--answers", default="200")
parser.add_argument("--style", default="generic", choices=["generic", "ntfy", "gotify"])
parser.add_argument("--token", default="")
parser.add_argument("--host", default="127.0.0.1")
parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
args = parser.parse_args()
answers = args.answers.split(",")
lock = threading.Lock()
count = 0


def problem(handler, body):
    """What a real server of the style refuses, as (status, JSON body), or None."""
    h = handler.headers
    if args.style == "ntfy":
        if args.token and h.get("Authorization") != "Bearer " + args.token:
            return 401, {"code": 40101, "http": 401, "error": "unauthorized"}
        if not h.get("Title") or not h.get("Tags"):
            return 400, {"code": 40000, "http": 400, "error": "Title and Tags expected"}
        if h.get("Priority") not in NTFY_PRIORITIES:
            return 400, {"code": 40007, "http": 400, "error": "invalid priority"}
    if args.style == "gotify":
        if h.get("X-Gotify-Key") != args.token:
            return 401, {"error": "Unauthorized", "errorCode": 401, "errorDescription": "you need to provide a valid access token"}
        try:
            message = json.loads(body)
        except ValueError:
            return 400, {"error": "Bad Request", "errorCode": 400, "errorDescription": "invalid JSON"}
        if not isinstance(message, dict) or not message.get("message") or not isinstance(message.get("priority"), int):
            return 400, {"error": "Bad Request", "errorCode": 400, "errorDescription": "Field 'message' is required"}
    return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *a):
        pass

    def do_POST(self):
        global count
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with lock:
            answer = answers[min(count, len(answers) - 1)]
            count += 1
            print("REQ " + json.dumps({"method": "POST", "path": self.path, "headers": dict(self.headers.items()),
                                       "body": body.decode("utf-8", "replace")}), flush=True)
        if answer == "hang":
            time.sleep(3600)
            return
        if answer.startswith("redirect:"):
            self.send_response(307)
            self.send_header("Location", answer[len("redirect:"):].replace("SELF", "%s:%d" % server.server_address))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if answer == "trickle":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            try:
                while True:
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(0.4)
            except OSError:
                return
        if answer == "close":
            self.close_connection = True
            self.connection.close()
            return
        status, reply = int(answer), {"ok": True}
        refused = problem(self, body)
        if refused:
            status, reply = refused
        elif status >= 400:
            reply = {"error": "status %d as asked" % status}
        data = json.dumps(reply).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


server = ThreadingHTTPServer((args.host, 0), Handler)
server.daemon_threads = True
if args.tls:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.tls[0], args.tls[1])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print("PORT %d" % server.server_address[1], flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    sys.exit(0)
