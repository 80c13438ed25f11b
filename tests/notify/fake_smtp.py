#!/usr/bin/python3
"""A scripted SMTP peer for the mail client's tests.

Listens on 127.0.0.1 (a free port), prints "PORT <n>" and then one line per event on stdout:
  CONNECT <conn>            a client connected (conn counts from 1)
  RECV <conn> <line>        a command line from the client, CR LF removed
  MSG <conn> <base64>       the message text after DATA, up to and including the closing "." line
  CLOSED <conn>             the connection ended

--script is a JSON list of scenarios, one per connection (the last one serves every later connection).
A scenario maps the steps greeting, ehlo, auth, user, pass, mail, rcpt, data, message and quit to an answer;
steps left out answer as a well-behaved server does. An answer is
  "text"                          sent with CR LF appended; "{line}" stands for the client's line and
                                  "{decoded}" for that line decoded from Base64
  ["text", ...]                   for rcpt: one answer per RCPT TO in turn (the last one repeats)
  null                            never answer; the connection stays open until the client ends it
  {"close": true}                 close the connection instead of answering
  {"pieces": [["2", 0.3], ...]}   raw pieces, each followed by a pause in seconds
  {"flood": "x", "prefix": "2", "pause": 0.3}
                                  send prefix, pause, then the character without end until the client leaves
"""

import argparse
import base64
import json
import socket
import sys
import threading
import time

DEFAULTS = {
    "greeting": "220 fake.example ESMTP ready",
    "ehlo": "250-fake.example\r\n250-AUTH LOGIN\r\n250 HELP",
    "auth": "334 VXNlcm5hbWU6",
    "user": "334 UGFzc3dvcmQ6",
    "pass": "235 2.7.0 Authentication successful",
    "mail": "250 2.1.0 Ok",
    "rcpt": "250 2.1.5 Ok",
    "data": "354 End data with <CR><LF>.<CR><LF>",
    "message": "250 2.0.0 Ok: queued",
    "quit": "221 2.0.0 Bye",
}

out_lock = threading.Lock()


def emit(text):
    with out_lock:
        sys.stdout.write(text + "\n")
        sys.stdout.flush()


def decoded(line):
    try:
        return base64.b64decode(line, validate=True).decode("utf-8")
    except ValueError:
        return ""


class Closed(Exception):
    pass


class Connection:
    def __init__(self, sock, number, scenario):
        self.sock = sock
        self.number = number
        self.scenario = dict(DEFAULTS)
        self.scenario.update(scenario)
        self.pending = b""
        self.rcpt_count = 0

    def read_line(self):
        while b"\r\n" not in self.pending:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise Closed()
            self.pending += chunk
        line, self.pending = self.pending.split(b"\r\n", 1)
        text = line.decode("utf-8", "replace")
        emit(f"RECV {self.number} {text}")
        return text

    def read_message(self):
        while b"\r\n.\r\n" not in self.pending:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise Closed()
            self.pending += chunk
        end = self.pending.index(b"\r\n.\r\n") + 5
        message, self.pending = self.pending[:end], self.pending[end:]
        emit(f"MSG {self.number} {base64.b64encode(message).decode('ascii')}")
        return message.decode("utf-8", "replace")

    def wait_for_close(self):
        while self.sock.recv(65536):
            pass
        raise Closed()

    def answer(self, step, line=""):
        reply = self.scenario.get(step)
        if step == "rcpt" and isinstance(reply, list):
            reply = reply[min(self.rcpt_count, len(reply) - 1)]
            self.rcpt_count += 1
        if reply is None:
            self.wait_for_close()
        if isinstance(reply, str):
            text = reply.replace("{line}", line).replace("{decoded}", decoded(line))
            self.sock.sendall((text + "\r\n").encode("utf-8"))
            return reply
        if reply.get("close"):
            raise Closed()
        if "pieces" in reply:
            for text, pause in reply["pieces"]:
                self.sock.sendall(text.encode("utf-8"))
                time.sleep(pause)
            return reply["pieces"][0][0]
        if "flood" in reply:
            self.sock.sendall(reply.get("prefix", "").encode("utf-8"))
            time.sleep(reply.get("pause", 0))
            chunk = (reply["flood"] * 65536).encode("utf-8")
            while True:
                self.sock.sendall(chunk)
        raise ValueError(f"unknown answer {reply!r}")

    def run(self):
        if not self.answer("greeting").startswith("2"):
            self.wait_for_close()
        while True:
            line = self.read_line()
            verb = line.split(" ", 1)[0].upper()
            if verb in ("EHLO", "HELO"):
                self.answer("ehlo", line)
            elif verb == "AUTH":
                if self.answer("auth", line).startswith("334"):
                    if self.answer("user", self.read_line()).startswith("334"):
                        self.answer("pass", self.read_line())
            elif verb == "MAIL":
                self.answer("mail", line)
            elif verb == "RCPT":
                self.answer("rcpt", line)
            elif verb == "DATA":
                if self.answer("data", line).startswith("354"):
                    self.read_message()
                    self.answer("message")
            elif verb == "QUIT":
                self.answer("quit", line)
                self.wait_for_close()
            else:
                self.sock.sendall(b"500 5.5.2 Error: command not recognized\r\n")


def serve(conn_sock, number, scenario):
    emit(f"CONNECT {number}")
    connection = Connection(conn_sock, number, scenario)
    try:
        connection.run()
    except (Closed, OSError):
        pass
    finally:
        try:
            conn_sock.close()
        except OSError:
            pass
        emit(f"CLOSED {number}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", default="[{}]")
    args = parser.parse_args()
    scenarios = json.loads(args.script) or [{}]

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    emit(f"PORT {listener.getsockname()[1]}")
    number = 0
    while True:
        conn_sock, _ = listener.accept()
        number += 1
        scenario = scenarios[min(number, len(scenarios)) - 1]
        threading.Thread(target=serve, args=(conn_sock, number, scenario), daemon=True).start()


if __name__ == "__main__":
    main()
