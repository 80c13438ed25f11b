"""Drives Kestrelwatch's web page in headless Chromium (Debian's chromium and chromium-driver through selenium).

Run inside the monitor's namespace, which has no route out of its lab. Prints one "ok ..." line per step that
held and stops with a message at the first that did not; "WAIT name" lines ask the test driving it to act and
to create DIR/name when done.

Usage: web_browser.py PORT TOKEN_FILE DIR MAC_KNOWN MAC_JOINING
"""
import json
import os
import sys
import tempfile
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

port, token_file, folder, known, joining = sys.argv[1:6]
base = f"http://127.0.0.1:{port}"
token = open(token_file).read().strip()
MARKUP = "<img src=x onerror=\"document.title='owned'\"><b>Bob</b>"


def say(line):
    print(line, flush=True)


def fail(why):
    say("FAIL " + why)
    sys.exit(1)


def wait(what, check, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        try:
            value = check()
            if value:
                return value
        except Exception:  # the page may be between two renders
            pass
        time.sleep(0.05)
    fail("timed out waiting for " + what)


def ask(name):
    say("WAIT " + name)
    wait("the test's " + name, lambda: os.path.exists(os.path.join(folder, name)), 120)


def device(mac):
    with urllib.request.urlopen(f"{base}/api/devices/{mac}", timeout=10) as r:
        return json.load(r)


def post(path, body, with_token):
    headers = {"Content-Type": "application/json"}
    if with_token:
        headers["Authorization"] = "Bearer " + token
    req = urllib.request.Request(base + path, data=json.dumps(body).encode(), headers=headers, method="POST")
    try:
        with urllib.request.urlopen(req, timeout=10) as r:
            return r.status
    except urllib.error.HTTPError as e:
        return e.code


options = webdriver.ChromeOptions()
for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
             "--user-data-dir=" + tempfile.mkdtemp(prefix="kw-chromium-"), "--window-size=1280,860"):
    options.add_argument(flag)
options.binary_location = "/usr/bin/chromium"
driver = webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"), options=options)
driver.set_window_size(1280, 860)
try:
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                           {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    driver.get(base + "/")
    row = lambda mac: driver.find_element(By.CSS_SELECTOR, f'li.device[data-mac="{mac}"]')
    names = lambda: {e.get_attribute("data-mac") for e in driver.find_elements(By.CSS_SELECTOR, "li.device")}
    listed = {d["mac"] for d in json.load(urllib.request.urlopen(base + "/api/devices", timeout=10))}
    wait("every device on the page", lambda: names() == listed and known in listed)
    say(f"ok every device ({len(listed)})")


    # A device that joins shows without a reload: the marker set in this page survives.
    driver.execute_script("window.kwMarker = 'same page'")
    wait("the live stream", lambda: driver.find_element(By.ID, "live").text == "live")
    ask("joined")
    wait("the joining device", lambda: row(joining))
    if driver.execute_script("return window.kwMarker") != "same page":
        fail("the page was reloaded")
    say("ok joined without reload")

    # Networks known (two the test stored, and the lab's once its router has answered): the page offers each;
    # choosing one shows what the API lists for it, "All networks" every device again.
    api_macs = lambda query: {d["mac"] for d in json.load(urllib.request.urlopen(base + "/api/devices" + query,
                                                                                   timeout=10))}
    choice = driver.find_element(By.ID, "network")
    wait("the choice of network",
         lambda: choice.is_displayed() and len(choice.find_elements(By.TAG_NAME, "option")) >= 3)
    Select(choice).select_by_visible_text("Office \u2014 198.51.100.0/24")
    wait("the office's lists", lambda: names() == api_macs("?network=office"))
    Select(choice).select_by_visible_text("All networks")
    wait("every network again", lambda: (listed | {joining}) <= names())
    say("ok network choice")

    # A change without the token: the page asks for it, the monitor refuses, nothing changes.
    before = device(known)["name"]
    row(known).click()
    wait("the details", lambda: driver.find_element(By.ID, "details").get_attribute("data-mac") == known)
    field = driver.find_element(By.ID, "rename-input")
    field.clear()
    field.send_keys("Nobody's change")
    driver.find_element(By.CSS_SELECTOR, "#rename-form button").click()
    wait("the token dialog", lambda: driver.find_element(By.ID, "token-dialog").get_attribute("open") is not None)
    wait("the refusal", lambda: "Refused" in driver.find_element(By.ID, "d-message").text)
    if post(f"/api/devices/{known}/rename", {"name": "Nobody's change"}, False) != 401:
        fail("a change without the token was not refused with 401")
    if device(known)["name"] != before:
        fail("a refused change changed the name")
    say("ok refused without the token")

    # With the token (typed once, kept for this origin) the name made of markup shows as text.
    driver.find_element(By.ID, "token-input").send_keys(token)
    driver.find_element(By.ID, "token-ok").click()
    field = driver.find_element(By.ID, "rename-input")
    field.clear()
    field.send_keys(MARKUP)
    driver.find_element(By.CSS_SELECTOR, "#rename-form button").click()
    wait("the new name in the list", lambda: row(known).find_element(By.CSS_SELECTOR, ".name").text == MARKUP)
    if driver.find_elements(By.CSS_SELECTOR, "#intruders img, #safe img, #details img") or driver.title != "Kestrelwatch":
        fail("the name was taken as markup")
    if device(known)["name"] != MARKUP:
        fail("the store does not hold the new name")
    say("ok markup shown as text")

    # A note typed on the page is kept; one kept elsewhere (another page, a script) appears here as it happens.
    field = driver.find_element(By.ID, "note-input")
    field.clear()
    field.send_keys(MARKUP)
    driver.find_element(By.CSS_SELECTOR, "#note-form button").click()
    wait("the note in the store", lambda: device(known)["note"] == MARKUP)
    if post(f"/api/devices/{known}/note", {"note": "kept by a script"}, True) != 200:
        fail("the note through the API was refused")
    wait("the script's note on the page", lambda: field.get_attribute("value") == "kept by a script")
    if driver.find_elements(By.CSS_SELECTOR, "#details img") or driver.title != "Kestrelwatch":
        fail("the note was taken as markup")
    say("ok note kept and followed live")

    driver.find_element(By.ID, "act-move").click()
    wait("the move to the safe list", lambda: driver.find_element(By.CSS_SELECTOR, f'#safe li[data-mac="{known}"]'))
    if device(known)["list"] != "safe":
        fail("the store does not hold the move")
    say("ok moved with the token")
    driver.find_element(By.CSS_SELECTOR, '.spans button[data-hours="24"]').click()
    driver.save_screenshot(os.path.join(folder, "web-desktop-dark.png"))
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                           {"features": [{"name": "prefers-color-scheme", "value": "light"}]})
    time.sleep(0.3)
    driver.save_screenshot(os.path.join(folder, "web-desktop-light.png"))
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                           {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    driver.set_window_size(390, 844)
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 390, "height": 844, "deviceScaleFactor": 2, "mobile": True})
    time.sleep(0.3)
    driver.save_screenshot(os.path.join(folder, "web-phone-details.png"))
    driver.find_element(By.ID, "details-close").click()
    time.sleep(0.3)
    driver.save_screenshot(os.path.join(folder, "web-phone.png"))
    say("ok screenshots")

    # The monitor restarts: the page connects again by itself and follows the new run's events.
    ask("restarted")
    wait("the stream after the restart", lambda: driver.find_element(By.ID, "live").text == "live", 30)
    ask("renamed")
    wait("the rename after the restart",
         lambda: row(joining).find_element(By.CSS_SELECTOR, ".name").text == "After the restart", 30)
    say("ok reconnected")
finally:
    driver.quit()
