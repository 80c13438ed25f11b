"""What every LAN benchmark shares: a namespace lab made with scripts/netlab and owned by the benchmark's process,
the headless monitor started in the lab's monitor namespace with every line it writes kept with its time, and
the /proc figures of a process. Used as `with Lab("kwx", subnet) as lab: monitor = lab.monitor(binary, home)`;
leaving the block stops the monitor and removes the lab, whatever happened inside it."""
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
NETLAB = os.path.join(SOURCE, "scripts", "netlab")
DEFAULT_BUILD = os.path.join(SOURCE, "build")


def arguments(name, ap):
    """The parsed arguments with --build DIR added; None, said on stdout, when not root (labs need it)."""
    ap.add_argument("--build", default=DEFAULT_BUILD)
    args = ap.parse_args()
    if os.geteuid() != 0:
        print(f"{name}: needs root for network namespaces; skipped")
        return None
    return args


def netlab(*args, check=True):
    return subprocess.run([NETLAB, *args], check=check, capture_output=True, text=True).stdout.strip()


def mac_for(i):
    return f"02:be:00:00:{i >> 8:02x}:{i & 0xFF:02x}"


def mac_text(mac):
    """A MAC as the monitor's event lines write it."""
    return mac.replace(":", "-").upper()


def new_device(mac):
    return re.escape(mac_text(mac)) + r"\t.*NEW DEVICE"


def disconnected(mac):
    return re.escape(mac_text(mac)) + r"\t.*Disconnected"


def status_kb(pid, field):
    """A kB field of /proc/PID/status (VmHWM, VmRSS); 0 when the process has gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def peak_rss_kb(pid):
    return status_kb(pid, "VmHWM")


def voluntary_switches(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                return int(line.split()[1])
    return 0


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def icmp_out_echos(ns):
    snmp = subprocess.run(["ip", "netns", "exec", ns, "cat", "/proc/net/snmp"],
                          capture_output=True, text=True).stdout.splitlines()
    heads = [line.split() for line in snmp if line.startswith("Icmp:")]
    return int(heads[1][heads[0].index("OutEchos")])


class Monitor:
    """kestrelwatch --headless in a namespace: every line of its stdout and stderr with its monotonic time."""

    def __init__(self, binary, ns, home):
        self.started = time.monotonic()
        self.proc = subprocess.Popen(["ip", "netns", "exec", ns, binary, "--headless", "--home", home],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, bufsize=1)
        self.lines = []  # (monotonic time, line)
        self.lock = threading.Lock()
        for stream in (self.proc.stdout, self.proc.stderr):
            threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            with self.lock:
                self.lines.append((time.monotonic(), line.rstrip("\n")))

    def wait_for(self, pattern, since, timeout):
        """The time of the first line at or after since that matches; None when none came within timeout."""
        rx = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while True:
            with self.lock:
                for t, line in self.lines:
                    if t >= since and rx.search(line):
                        return t
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.02)

    def first(self, pattern, timeout):
        """Seconds from the start to the first matching line; None when none came."""
        t = self.wait_for(pattern, self.started, timeout)
        return None if t is None else t - self.started

    def all_admitted(self, macs, timeout):
        """Seconds from the start until every MAC has its NEW DEVICE line; None when some never came."""
        wanted = {mac_text(m) for m in macs}
        deadline = time.monotonic() + timeout
        while True:
            seen = {}
            with self.lock:
                for t, line in self.lines:
                    fields = line.split("\t")  # TIME MAC ADDRESS NAME VENDOR EVENT
                    if len(fields) > 1 and fields[1] in wanted and "NEW DEVICE" in line:
                        seen.setdefault(fields[1], t)
            if len(seen) == len(wanted):
                return max(seen.values()) - self.started
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.05)

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


class Lab:
    """A netlab lab named PREFIX and this process's id, owned by this process, so a benchmark that dies leaves
    it to netlab's gc; home is a temporary folder for the monitor, removed with the lab."""

    def __init__(self, prefix, subnet=None):
        self.name = f"{prefix}{os.getpid() % 100000}"
        self.home = tempfile.mkdtemp(prefix=f"kw-{prefix}-")
        self.prefix = (subnet or "/24").split("/")[1]
        self.monitors = []
        args = ["up", self.name, "--owner", str(os.getpid())]
        if subnet:
            args += ["--subnet", subnet]
        netlab(*args)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.down()
        return False

    def __call__(self, command, *args, check=True):
        """Any netlab command on this lab: lab("add", "dev1", "198.18.0.10")."""
        return netlab(command, self.name, *args, check=check)

    def ns(self, host="monitor"):
        return self("ns", host)

    def add_many(self, hub, hosts):
        """Hosts [(ip, mac)] on the LAN at a fraction of "netlab add"'s cost (seconds a namespace under load):
        one device namespace HUB holds an interface of its own for each, with its MAC and address, every one a
        port of the lab's switch, and answers ARP on an interface only for that interface's own address, as
        separate hosts would. take_off(hub, i) takes host i off the LAN."""
        self("add", hub, *hosts[0])
        ns, switch = self.ns(hub), self.ns("switch")
        subprocess.run(["ip", "netns", "exec", ns, "sysctl", "-qw", "net.ipv4.conf.all.arp_ignore=1",
                        "net.ipv4.conf.all.arp_announce=2", "net.ipv4.conf.all.rp_filter=0"], check=True)
        ports = "".join(f"link add q{i}{hub} type veth peer name e{i} netns {ns}\nlink set q{i}{hub} master br0 up\n"
                        for i in range(1, len(hosts)))
        ends = "".join(f"link set e{i} address {mac}\naddress add {ip}/{self.prefix} dev e{i}\nlink set e{i} up\n"
                       for i, (ip, mac) in enumerate(hosts) if i > 0)
        # The kernel counts every namespace's neighbour rows against one limit (gc_thresh3), where separate
        # machines would each have their own: the hub's row of the monitor on each interface is made
        # permanent, which the limit does not count, so the hub does not eat into the monitor's table.
        _, monitor_ip, monitor_mac = self("list").split("\n")[1].split("\t")[:3]
        ends += "".join(f"neighbour replace {monitor_ip.split('/')[0]} lladdr {monitor_mac} dev {dev} nud permanent\n"
                        for dev in ["eth0"] + [f"e{i}" for i in range(1, len(hosts))])
        for where, batch in ((switch, ports), (ns, ends)):
            subprocess.run(["ip", "-n", where, "-batch", "-"], input=batch, text=True, check=True)

    def take_off(self, hub, i):
        subprocess.run(["ip", "-n", self.ns(hub), "link", "set", f"e{i}" if i else "eth0", "down"], check=True)

    def monitor(self, binary, home=None):
        m = Monitor(binary, self.ns(), home or self.home)
        self.monitors.append(m)
        return m

    def down(self):
        for m in self.monitors:
            m.stop()
        self.monitors = []
        netlab("down", self.name, check=False)
        shutil.rmtree(self.home, ignore_errors=True)
