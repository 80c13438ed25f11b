#!/usr/bin/python3
"""A scripted SMTP server: one reply line per write (--bytewise: one byte). Prints "PORT n", then CONNECT c,
RECV c line, MSG c base64-of-the-text-after-DATA. --script: JSON scenarios, one per connection (the last
repeats), mapping a step (greeting ehlo starttls auth user pass mail rcpt data message quit) to "text"
("{line}": the client's line, "{decoded}": its Base64 decoded), null (silence), {"reply": text,
"close"|"hang": true}, {"flood": true} (one endless line), {"lines": true} (endless lines of one reply),
{"big": n} (one line of n bytes) or {"partial": text} (text without its line end, then the connection closes)."""

import argparse, base64, json, socket, threading, time

DEFAULTS = {"greeting": "220 fake.example ESMTP",
            "ehlo": "250-fake.example\r\n250-SIZE 33554432\r\n250-8BITMIME\r\n250-AUTH LOGIN PLAIN\r\n250 HELP",
            "starttls": "454 4.7.0 TLS not available", "auth": "334 VXNlcm5hbWU6", "user": "334 UGFzc3dvcmQ6",
            "pass": "235 2.7.0 Authentication successful", "mail": "250 2.1.0 Ok", "rcpt": "250 2.1.5 Ok",
            "data": "354 End data with <CR><LF>.<CR><LF>", "message": "250 2.0.0 Ok: queued", "quit": "221 2.0.0 Bye"}
lock = threading.Lock()


def emit(text):
    with lock:
        print(text, flush=True)


class Closed(Exception):
    pass


class Connection:
    def __init__(self, sock, number, scenario, bytewise):
        self.sock, self.number, self.bytewise = sock, number, bytewise
        self.scenario, self.pending = dict(DEFAULTS, **scenario), b""

    def read_until(self, end):
        while end not in self.pending:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise Closed()
            self.pending += chunk
        at = self.pending.index(end) + len(end)
        text, self.pending = self.pending[:at], self.pending[at:]
        return text

    def read_line(self):
        line = self.read_until(b"\r\n")[:-2].decode("utf-8", "replace")
        emit(f"RECV {self.number} {line}")
        return line

    def answer(self, step, line=""):
        reply = self.scenario[step]
        reply = {"reply": reply} if isinstance(reply, str) else reply or {"hang": True}
        while reply.get("flood"):
            self.sock.sendall(b"2" + b"x" * 65536)
        while reply.get("lines"):
            self.sock.sendall(b"220-a line of an endless reply\r\n" * 64)
        if reply.get("big"):
            self.sock.sendall(b"220 " + b"x" * reply["big"] + b"\r\n")
        if reply.get("partial"):
            self.sock.sendall(reply["partial"].encode())
            raise Closed()
        text = reply.get("reply", "")
        try:
            decoded = base64.b64decode(line.split(" ")[-1], validate=True).decode()
        except ValueError:
            decoded = ""
        data = (text.replace("{line}", line).replace("{decoded}", decoded) + "\r\n").encode() if text else b""
        for piece in (data[i:i + 1] for i in range(len(data))) if self.bytewise else data.splitlines(True):
            self.sock.sendall(piece)
            time.sleep(0.002)
        while reply.get("hang") and self.sock.recv(65536):
            pass  # silent until the client goes
        if reply.get("hang"):
            raise Closed()
        if reply.get("close"):
            raise Closed()
        return text

    def run(self):
        self.answer("greeting")
        while True:
            line = self.read_line()
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            if verb in ("EHLO", "STARTTLS", "MAIL", "RCPT"):
                self.answer(verb.lower())
            elif verb == "AUTH" and arg.startswith("PLAIN "):
                self.answer("pass", line)
            elif verb == "AUTH" and arg == "LOGIN":
                if self.answer("auth").startswith("334") and self.answer("user", self.read_line()).startswith("334"):
                    self.answer("pass", self.read_line())
            elif verb == "DATA" and self.answer("data").startswith("354"):
                emit(f"MSG {self.number} " + base64.b64encode(self.read_until(b"\r\n.\r\n")).decode())
                self.answer("message")
            elif verb == "QUIT":
                self.answer("quit")
                raise Closed()
            elif verb != "DATA":
                self.sock.sendall(b"504 5.5.4 Unrecognized\r\n" if verb == "AUTH" else b"500 5.5.2 Unknown\r\n")


def serve(sock, number, scenario, bytewise):
    emit(f"CONNECT {number}")
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    try:
        Connection(sock, number, scenario, bytewise).run()
    except (Closed, OSError):
        sock.close()  # a client that goes, or a scripted hang-up


parser = argparse.ArgumentParser()
parser.add_argument("--script", default="[{}]")
parser.add_argument("--bytewise", action="store_true")
args = parser.parse_args()
scenarios = json.loads(args.script) or [{}]
listener = socket.create_server(("127.0.0.1", 0))
emit(f"PORT {listener.getsockname()[1]}")
for number in range(1, 1 << 30):
    sock, _ = listener.accept()
    threading.Thread(target=serve, daemon=True,
                     args=(sock, number, scenarios[min(number, len(scenarios)) - 1], args.bytewise)).start()
