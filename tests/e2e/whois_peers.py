#!/usr/bin/python3
"""Devices that describe themselves, for the recognition lab: run inside a device's namespace.

  whois_peers.py mdns IP NAME SERVICE [KEY=VALUE ...]   python3-zeroconf publishing SERVICE ("_ipp._tcp") with
                                                         those TXT entries on IP, answering every question
  whois_peers.py ssdp IP PORT DEVICETYPE FRIENDLY MAKER MODEL
                                                         a UPnP device: its description over HTTP on IP:PORT,
                                                         NOTIFYs every 2 s and answers to searches on 1900

  whois_peers.py http IP                                 a hostile description server: /ok serves a description,
                                                         /redirect sends to /ok, /big is 70,000 bytes, /endless
                                                         never ends, /trickle sends a byte every half second;
                                                         prints "PORT n" first

Each prints "ready" on stdout once it serves, and runs until killed.
"""
import http.server
import socket
import struct
import sys
import threading
import time


def mdns(ip, name, service, txt):
    from zeroconf import IPVersion, ServiceInfo, Zeroconf

    zc = Zeroconf(interfaces=[ip], ip_version=IPVersion.V4Only)
    props = dict(entry.split("=", 1) for entry in txt)
    info = ServiceInfo(f"{service}.local.", f"{name}.{service}.local.", addresses=[socket.inet_aton(ip)],
                       port=8009, properties=props, server=f"{name.lower()}.local.")
    zc.register_service(info)
    print("ready", flush=True)
    while True:
        time.sleep(3600)


def ssdp(ip, port, device_type, friendly, maker, model):
    description = (f'<?xml version="1.0"?>\n<root xmlns="urn:schemas-upnp-org:device-1-0">'
                   f"<specVersion><major>1</major><minor>0</minor></specVersion><device>"
                   f"<deviceType>{device_type}</deviceType><friendlyName>{friendly}</friendlyName>"
                   f"<manufacturer>{maker}</manufacturer><modelName>{model}</modelName>"
                   f"<UDN>uuid:0000-{port}</UDN></device></root>").encode()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(len(description)))
            self.end_headers()
            self.wfile.write(description)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer((ip, port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    location = f"http://{ip}:{port}/description.xml"
    group = ("239.255.255.250", 1900)
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("", 1900))
    listener.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                        struct.pack("4s4s", socket.inet_aton(group[0]), socket.inet_aton(ip)))
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sender.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(ip))
    sender.bind((ip, 0))

    def notify():
        while True:
            sender.sendto((f"NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=1800\r\n"
                           f"LOCATION: {location}\r\nNT: upnp:rootdevice\r\nNTS: ssdp:alive\r\n"
                           f"USN: uuid:0000-{port}::upnp:rootdevice\r\n\r\n").encode(), group)
            time.sleep(2)

    threading.Thread(target=notify, daemon=True).start()
    print("ready", flush=True)
    while True:
        data, peer = listener.recvfrom(2048)
        if data.startswith(b"M-SEARCH"):
            sender.sendto((f"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nLOCATION: {location}\r\n"
                           f"ST: upnp:rootdevice\r\nUSN: uuid:0000-{port}::upnp:rootdevice\r\n\r\n").encode(), peer)


def hostile(ip):
    description = (b'<?xml version="1.0"?><root><device><deviceType>urn:schemas-upnp-org:device:'
                   b"InternetGatewayDevice:1</deviceType><manufacturer>AVM</manufacturer>"
                   b"<modelName>FRITZ!Box 7590</modelName></device></root>")

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            if self.path == "/redirect":
                self.send_response(302)
                self.send_header("Location", "/ok")
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            if self.path == "/ok":
                self.send_header("Content-Length", str(len(description)))
                self.end_headers()
                self.wfile.write(description)
            elif self.path == "/big":
                self.send_header("Content-Length", "70000")
                self.end_headers()
                self.wfile.write(b" " * 70000)
            elif self.path == "/endless":
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                try:
                    while True:
                        self.wfile.write(b"1000\r\n" + b"<a>" * 1365 + b"x\r\n")
                except OSError:
                    pass
            else:  # /trickle
                self.send_header("Content-Length", "100")
                self.end_headers()
                try:
                    for _ in range(100):
                        self.wfile.write(b" ")
                        self.wfile.flush()
                        time.sleep(0.5)
                except OSError:
                    pass

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer((ip, 0), Handler)
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    if sys.argv[1] == "http":
        hostile(sys.argv[2])
    elif sys.argv[1] == "mdns":
        mdns(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:])
    else:
        ssdp(sys.argv[2], int(sys.argv[3]), *sys.argv[4:8])
