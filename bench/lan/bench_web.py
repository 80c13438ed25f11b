"""The web page in headless Chromium against the headless monitor in a namespace LAN (root only): the first
paint of the lists with 1,000 devices, and the time from a change to the page showing it (a rename through
the API, its event pushed over Server-Sent Events). Chromium runs in the monitor's namespace, which has no
route out of its lab. Prints figures; never fails on time.

usage: bench_web.py [--build DIR] [--devices N] [--loads N] [--changes N]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lab_session import Lab, Monitor, arguments, new_device  # noqa: E402
from bench_sweep import seed_store  # noqa: E402

PORT = 8089


def inside(args):
    """In the monitor's namespace: load the page args.loads times, then rename args.changes devices."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    base = f"http://127.0.0.1:{PORT}"
    token = open(args.token).read().strip()
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                 "--user-data-dir=" + tempfile.mkdtemp(prefix="kw-chromium-"), "--window-size=1280,860"):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"), options=options)
    try:
        paints = []
        for _ in range(args.loads):
            driver.get("about:blank")
            driver.get(base + "/")
            end = time.time() + 30
            while time.time() < end:
                painted = driver.execute_script("return document.body.dataset.painted || null")
                if painted:
                    paints.append(float(painted))
                    break
                time.sleep(0.02)
        rows = driver.execute_script("return document.querySelectorAll('li.device').length")
        macs = [d["mac"] for d in json.load(urllib.request.urlopen(base + "/api/devices", timeout=30))]
        latencies = []
        answered = []
        for i in range(args.changes):
            mac = macs[(i * 37) % len(macs)]
            body = json.dumps({"name": f"bench {i}"}).encode()
            request = urllib.request.Request(f"{base}/api/devices/{mac}/rename", data=body, method="POST",
                                             headers={"Content-Type": "application/json",
                                                      "Authorization": "Bearer " + token})
            sent = time.time() * 1000
            urllib.request.urlopen(request, timeout=10).read()
            answered.append(time.time() * 1000 - sent)
            end = time.time() + 10
            while time.time() < end:
                applied = driver.execute_script("return window.kwLastApplied || null")
                if applied and applied["mac"] == mac and applied["at"] >= sent:
                    latencies.append(applied["at"] - sent)
                    break
                time.sleep(0.005)
        print(json.dumps({"paints": paints, "rows": rows, "latencies": latencies, "answered": answered}), flush=True)
    finally:
        driver.quit()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--devices", type=int, default=1000)
    ap.add_argument("--loads", type=int, default=5)
    ap.add_argument("--changes", type=int, default=20)
    ap.add_argument("--inside", action="store_true")
    ap.add_argument("--token")
    if "--inside" in sys.argv:
        return inside(ap.parse_args())
    args = arguments("bench_web", ap)
    if args is None:
        return 0
    binary = os.path.join(args.build, "bin", "kestrelwatch")
    with Lab("kwbw") as lab:
        lab("add", "dev1", "198.18.0.10", "02:be:00:00:00:0a")
        monitor = Monitor(binary, lab.ns(), lab.home)
        if monitor.first(new_device("02:be:00:00:00:0a"), 30) is None:
            print("bench_web: the monitor admitted nothing; no figures")
            monitor.stop()
            return 1
        monitor.stop()
        seed_store(lab.home, args.devices - 2)  # with the router and dev1: the devices asked for
        proc = subprocess.Popen(["ip", "netns", "exec", lab.ns(), binary, "--headless", "--home", lab.home,
                                 "--web", f"127.0.0.1:{PORT}"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(3)
            out = subprocess.run(["ip", "netns", "exec", lab.ns(), "/usr/bin/python3", os.path.abspath(__file__),
                                  "--inside", "--token", os.path.join(lab.home, "web-token"),
                                  "--loads", str(args.loads), "--changes", str(args.changes)],
                                 capture_output=True, text=True, timeout=600)
        finally:
            proc.terminate()
            proc.wait(10)
        if out.returncode != 0:
            print("bench_web: the browser run failed:", out.stderr[-2000:])
            return 1
        figures = json.loads(out.stdout.strip().splitlines()[-1])
        paints, latencies = figures["paints"], figures["latencies"]
        print(f"first paint of {figures['rows']} devices in headless Chromium (goal < 1000 ms): median "
              f"{statistics.median(paints):.0f} ms, slowest {max(paints):.0f} ms over {len(paints)} loads")
        if latencies:
            print(f"change to page, loopback (goal < 200 ms): median {statistics.median(latencies):.0f} ms, "
                  f"slowest {max(latencies):.0f} ms over {len(latencies)} renames "
                  f"({args.changes - len(latencies)} not seen); the request itself took a median "
                  f"{statistics.median(figures['answered']):.0f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
