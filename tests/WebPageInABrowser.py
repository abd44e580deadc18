# SPDX-License-Identifier: MIT
"""The control API's page driven in headless Chromium against a real run of the program.

During a real call the page shows the call, its page and its timeline without a reload; ticking
NAK on the page makes the next block get NAK; a bad plan word shows the API's error and changes
nothing; the page fits a narrow window; the script logs no error. Screenshots of a wide and a
narrow window are written beside the test.

    WebPageInABrowser.py PROGRAM SCREENSHOT_DIR
"""
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

PROGRAM, SHOTS = sys.argv[1], sys.argv[2]
BLOCK = b"\x02123\rABC\r\x0317;\r"
WAIT_S = 15


def fail(why):
    raise SystemExit("FAILED: " + why)


def start():
    log = tempfile.NamedTemporaryFile(prefix="ostrella-web-", suffix=".log")
    program = subprocess.Popen([PROGRAM, "--console", "--api", "0", "0"], stdin=subprocess.DEVNULL,
                               stdout=log, stderr=subprocess.STDOUT)
    for _ in range(200):
        text = open(log.name, encoding="latin-1").read()
        line, api = re.search(r"Local Port <(\d+)>", text), re.search(r"API Port <(\d+)>", text)
        if line and api:
            return program, log, int(line[1]), int(api[1])
        time.sleep(0.05)
    program.kill()
    fail("the program did not start:\n" + text)


def api_get(api, path):
    with urllib.request.urlopen(f"http://127.0.0.1:{api}/api/v1{path}", timeout=10) as answer:
        return json.load(answer)


class Line:
    """The client's end of a call on the line's port."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=WAIT_S)
        self.got = b""

    def say(self, data, until):
        self.sock.sendall(data)
        deadline = time.monotonic() + WAIT_S
        while until not in self.got:
            if time.monotonic() > deadline:
                fail(f"no {until!r} after {data!r}; got {self.got!r}")
            chunk = self.sock.recv(1024)
            if not chunk:
                fail(f"hung up waiting for {until!r}")
            self.got += chunk
        reply, self.got = self.got, b""
        return reply


def browser(profile):
    options = webdriver.ChromeOptions()
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--no-first-run", "--user-data-dir=" + profile, "--window-size=1280,1500"):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def until(driver, what, check):
    try:
        return WebDriverWait(driver, WAIT_S, poll_frequency=0.05).until(lambda d: check())
    except Exception:
        fail("the page never showed " + what)


def row_texts(driver, table):
    return [r.text for r in driver.find_elements(By.CSS_SELECTOR, f"#{table} tbody tr")]


def main():
    program, log, line_port, api = start()
    profile = tempfile.TemporaryDirectory(prefix="ostrella-chromium-")
    driver = browser(profile.name)
    try:
        driver.get(f"http://127.0.0.1:{api}/")
        until(driver, "the line's port", lambda: driver.find_element(By.ID, "line-port").text
              == str(line_port))
        until(driver, "that it is live", lambda: driver.find_element(By.ID, "link").text == "live")
        driver.execute_script("window.sameDocument = 'yes'")

        # A call on the line: its page and the call itself show while it is still on.
        line = Line(line_port)
        line.say(b"ATDT5551234\r", b"CONNECT\r\n")
        line.say(b"\r", b"ID=")
        line.say(b"\x1bPG1000000\r", b"\x1b[p\r")
        if not line.say(BLOCK, b"\r").startswith(b"\x06"):
            fail("the first block was not ACKed")
        call = api_get(api, "/status")["busy"][0]["call"]
        until(driver, "the page", lambda: any("123" in r and "ABC" in r and "ACK" in r
                                              for r in row_texts(driver, "pages")))
        until(driver, "the call on the line", lambda: driver.find_elements(
            By.CSS_SELECTOR, f"#calls tr.live[data-call='{call}']"))
        until(driver, "the call's timeline", lambda: driver.execute_script(
            "const i = document.getElementById('timeline');"
            "return !i.hidden && i.complete && i.naturalWidth > 0"
            f" && i.src.includes('/calls/{call}/timeline.svg')"))
        if "(on now)" not in driver.find_element(By.ID, "timeline-title").text:
            fail("the timeline's title does not say the call is on")

        # NAK ticked on the page: the next block gets NAK.
        driver.find_element(By.ID, "fault-nak").click()
        deadline = time.monotonic() + WAIT_S
        while not api_get(api, "/faults")["nak"]:
            if time.monotonic() > deadline:
                fail("ticking NAK on the page did not set the fault")
            time.sleep(0.05)
        if not line.say(BLOCK, b"\r").startswith(b"\x15"):
            fail("the block after NAK was ticked was not NAKed")
        until(driver, "the NAKed page", lambda: "NAK" in row_texts(driver, "pages")[0])
        line.sock.sendall(b"\x04\r")
        line.sock.close()
        until(driver, "the call's record", lambda: driver.find_elements(
            By.CSS_SELECTOR, f"#calls tr[data-call='{call}']:not(.live)"))
        until(driver, "the ended call's timeline", lambda: driver.execute_script(
            "const i = document.getElementById('timeline');"
            "return i.complete && i.naturalWidth > 0"
            " && !document.getElementById('timeline-title').textContent.includes('on now')"))

        # A bad plan word: the API's error on the page, the plan unchanged.
        plan_before = api_get(api, "/plan")
        dial = driver.find_element(By.ID, "plan-dial")
        dial.clear()
        dial.send_keys("busy, bsy")
        driver.find_element(By.ID, "plan-apply").click()
        until(driver, "the plan's error", lambda: "'bsy' is not a dial outcome"
              in driver.find_element(By.ID, "control-error").text)
        if api_get(api, "/plan") != plan_before:
            fail("a bad plan word changed the plan")
        if driver.find_element(By.ID, "plan-dial").get_attribute("value") != "busy, bsy":
            fail("the bad plan was taken out of its box")

        if driver.execute_script("return window.sameDocument") != "yes":
            fail("the page was reloaded")
        driver.save_screenshot(os.path.join(SHOTS, "web-page.png"))

        # A narrow window: nothing wider than it.
        driver.set_window_size(420, 1500)
        until(driver, "a narrow layout", lambda: driver.execute_script(
            "return document.documentElement.scrollWidth <= window.innerWidth"))
        driver.save_screenshot(os.path.join(SHOTS, "web-page-narrow.png"))

        # The API's refusals the page asked for (no suite runs, the bad plan) are not errors.
        expected = re.compile(r"/api/v1/(suite|plan) - Failed to load resource: .* (404|400) ")
        errors = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"
                  and "favicon" not in e["message"] and not expected.search(e["message"])]
        if errors:
            fail("the page logged errors: " + "; ".join(errors))
        print("ok: call", call, "shown live, NAK ticked, bad plan refused")
    finally:
        driver.quit()
        program.terminate()
        program.wait(10)


main()
