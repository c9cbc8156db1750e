#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The agent's dashboard in a real browser (headless Chromium driven by Selenium), against
the agent and the simulator: the page follows the unit within a second, commands reach the
unit only with the token, the phone width scrolls not sideways, axe-core finds nothing, the
page loads at most 250 KB, the console stays clean, and a lost agent is shown and caught up
with.

    web_test.py --sim SIM --agent AGENT --work DIR [--screenshots DIR]

DIR holds axe-core (installed there by `npm ci` from this folder's package-lock.json, once)
and the browser's profile. With --screenshots the dashboard is photographed (desktop and
phone, day and night) into that folder instead of checked.
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

HERE = pathlib.Path(__file__).resolve().parent
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
]
FOLLOW_WITHIN_S = 1.0
SIGNAL_REFERENCE = 800  # the level shown is this minus the raw word of Ni
STATE_LEDS = {1: "Search", 2: "Tracking", 4: "Initialize", 3: "Unwrap", 0: "Setup", 7: "SleepMode"}
DESKTOP = (1280, 1000)
PHONE = (360, 640)


class Program:
    """A program whose output lines are kept with the monotonic time each arrived."""

    def __init__(self, argv):
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, bufsize=1)
        self.lines = []
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            with self.changed:
                self.lines.append((time.monotonic(), line.rstrip("\n")))
                self.changed.notify_all()

    def wait_line(self, pattern, after=0, timeout=10.0):
        """The first line from index `after` on that matches: (index, time, match)."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self.changed:
            k = after
            while True:
                while k < len(self.lines):
                    match = regex.search(self.lines[k][1])
                    if match:
                        return k, self.lines[k][0], match
                    k += 1
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    raise AssertionError("no line matching %r; last lines:\n%s" % (
                        pattern, "\n".join(l for _, l in self.lines[-10:])))
                self.changed.wait(left)

    def count(self):
        with self.changed:
            return len(self.lines)

    def since(self, k):
        with self.changed:
            return [line for _, line in self.lines[k:]]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def install_axe(work):
    """axe.min.js from npm, installed into `work` once and read from there after."""
    lock = json.loads((HERE / "package-lock.json").read_text())
    wanted = lock["packages"]["node_modules/axe-core"]["version"]
    installed = work / "node_modules" / "axe-core" / "package.json"
    if not installed.exists() or json.loads(installed.read_text())["version"] != wanted:
        for name in ("package.json", "package-lock.json"):
            shutil.copy(HERE / name, work / name)
        subprocess.run(["npm", "ci", "--no-audit", "--no-fund", "--loglevel=error"], cwd=work,
                       check=True)
    return (work / "node_modules" / "axe-core" / "axe.min.js").read_text()


def start_agent(agent, sim_port, token_file, programs, http="127.0.0.1:0"):
    """The agent on the simulator's port, put first in `programs`; its HTTP port."""
    program = Program([agent, "--unit", "boat=tcp://127.0.0.1:%d" % sim_port, "--http", http,
                       "--token-file", str(token_file)])
    programs.insert(0, program)
    _, _, match = program.wait_line(r"HTTP on [^ ]*:(\d+)")
    return program, int(match.group(1))


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + str(profile),
                                  "--window-size=%d,%d" % DESKTOP]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def set_viewport(driver, size, dark=False):
    width, height = size
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
        "features": [{"name": "prefers-color-scheme", "value": "dark" if dark else "light"}]})


def until(condition, timeout, what):
    """Polls `condition` until it gives a true value, which it returns."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("not within %.1f s: %s" % (timeout, what))
        time.sleep(0.02)


def led(driver, name):
    return driver.find_element(By.CSS_SELECTOR, '.leds [aria-label^="%s:"]' % name) \
        .get_attribute("aria-label")


def page_text(driver, element_id):
    return driver.find_element(By.ID, element_id).text


def press(driver, selector):
    driver.find_element(By.CSS_SELECTOR, selector).click()


def close_dialog(driver, dialog_id, value):
    press(driver, '#%s button[value="%s"]' % (dialog_id, value))


class Checks:
    def __init__(self):
        self.failures = []
        self.passed = 0

    def run(self, name, check):
        started = time.monotonic()
        try:
            check()
            self.passed += 1
            print("PASS %s (%.1f s)" % (name, time.monotonic() - started), flush=True)
        except Exception as error:  # one failed check does not hide the others
            self.failures.append(name)
            print("FAIL %s: %s" % (name, error), flush=True)


def check_follows(driver, sim, reports=3, within=FOLLOW_WITHIN_S):
    """The level and state the simulator sends next show on the page within a second."""
    after = sim.count()
    for _ in range(reports):
        k, sent, match = sim.wait_line(r"-> Ni (-?\d+) (-?\d+) ", after)
        after = k + 1
        state, level = int(match.group(1)), SIGNAL_REFERENCE - int(match.group(2))
        want_led = "%s: on, blue" % STATE_LEDS[state] if state in STATE_LEDS else None
        until(lambda: page_text(driver, "level") == str(level) and
              (want_led is None or led(driver, STATE_LEDS[state]) == want_led),
              sent + within - time.monotonic(), "level %d, state %d shown" % (level, state))


def check_commands(driver, sim, token):
    def frames_received(k):
        return [line for line in sim.since(k) if line.startswith("<- ")]

    def result():
        return page_text(driver, "command-result")

    # Without a token: the page asks for one; declined, nothing goes to the unit.
    driver.execute_script("localStorage.removeItem('kelvandor.token')")
    before = sim.count()
    press(driver, '[data-command="get-information"]')
    until(lambda: driver.find_element(By.ID, "token-dialog").is_displayed(), 2, "token asked")
    close_dialog(driver, "token-dialog", "cancel")
    until(lambda: "need the agent's access token" in result(), 2, "the page says why")
    # A wrong token: the agent refuses it and the page says so.
    driver.execute_script("localStorage.setItem('kelvandor.token', 'not-the-token')")
    press(driver, '[data-command="get-information"]')
    until(lambda: "token is wrong" in result(), 2, "wrong token said")
    close_dialog(driver, "token-dialog", "cancel")
    sent = frames_received(before)
    assert not sent, "sent without the right token: %s" % sent

    # With the token. Restart moves the antenna: asked first, then the unit's new state
    # shows within 1 s (before Get Antenna Information, whose many replies would hold the
    # unit's state reports up on the line).
    driver.execute_script("localStorage.setItem('kelvandor.token', arguments[0])", token)
    before = sim.count()
    press(driver, '[data-command="restart"]')
    until(lambda: driver.find_element(By.ID, "confirm-dialog").is_displayed(), 2, "confirmation")
    close_dialog(driver, "confirm-dialog", "ok")
    sim.wait_line(r"^<- OR", before, 2)
    _, sent_at, _ = sim.wait_line(r"^-> NA 4", before, 5)
    until(lambda: led(driver, "Initialize") == "Initialize: on, blue",
          sent_at + FOLLOW_WITHIN_S - time.monotonic(), "Initialize lit")
    # Then searching, then tracking again.
    for code in (1, 2):
        _, sent_at, _ = sim.wait_line(r"^-> NA %d" % code, before, 10)
        name = STATE_LEDS[code]
        until(lambda: led(driver, name) == name + ": on, blue",
              sent_at + FOLLOW_WITHIN_S - time.monotonic(), name + " lit")

    # The unit receives what Get Antenna Information asks.
    before = sim.count()
    press(driver, '[data-command="get-information"]')
    sim.wait_line(r"^<- QS", before, 2)
    sim.wait_line(r"^<- QI", before, 2)
    until(lambda: "sent to boat" in result(), 2, "sent said")


def check_axe(driver, axe):
    """No violations in the day, dark and night looks."""
    driver.execute_script(axe)
    found = []
    for look in ("light", "dark", "night"):
        set_viewport(driver, DESKTOP, dark=look == "dark")
        driver.execute_script("document.documentElement.classList.toggle('night', %s)" %
                              ("true" if look == "night" else "false"))
        report = driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "axe.run(document).then((r) => done(r.violations.map((v) => v.id + ': ' +"
            " v.nodes.map((n) => n.target.join(' ')).join(', '))));")
        found += ["%s: %s" % (look, v) for v in report]
    driver.execute_script("document.documentElement.classList.remove('night')")
    set_viewport(driver, DESKTOP)
    assert not found, "\n".join(found)


def check_phone(driver):
    """At 360×640 nothing scrolls sideways and every control is at least 44 px each way."""
    set_viewport(driver, PHONE)
    widths = until(lambda: driver.execute_script(
        "return document.documentElement.clientWidth === 360 &&"
        " [document.documentElement.scrollWidth, document.documentElement.clientWidth]"),
        2, "the phone's width taken")
    small = driver.execute_script(
        "return [...document.querySelectorAll('button, a, input')]"
        ".filter((e) => e.getClientRects().length > 0)"
        ".map((e) => [e.textContent.trim() || e.id, e.getBoundingClientRect()])"
        ".filter(([, r]) => r.width < 44 || r.height < 44)"
        ".map(([n, r]) => n + ' ' + Math.round(r.width) + 'x' + Math.round(r.height));")
    set_viewport(driver, DESKTOP)
    assert widths[0] <= widths[1], "scrolls sideways: %d px wide in %d" % tuple(widths)
    assert not small, "smaller than 44 px: %s" % small


def check_weight(driver):
    """Everything the page loaded (the page, its files and the API's answers) is at most
    250 KB; the figures are printed."""
    loaded, paint = driver.execute_script(
        "const all = [...performance.getEntriesByType('navigation'),"
        " ...performance.getEntriesByType('resource')];"
        "const fcp = performance.getEntriesByName('first-contentful-paint')[0];"
        "return [all.reduce((sum, e) => sum + e.transferSize, 0), fcp ? fcp.startTime : -1];")
    print("  loaded %.1f KB, first contentful paint %.0f ms" % (loaded / 1024, paint))
    assert 0 < loaded <= 250 * 1024, "%d bytes loaded" % loaded


def check_console(driver):
    """Nothing logged as an error, but the agent's refusal of the wrong token."""
    errors = [entry["message"] for entry in driver.get_log("browser")
              if entry["level"] == "SEVERE" and
              not (entry["source"] == "network" and "/commands" in entry["message"] and
                   "403" in entry["message"])]
    assert not errors, "\n".join(errors)


def check_reconnect(driver, sim, agent, start_again):
    """The page says the agent is lost, retries, and follows the unit again when it is back."""
    agent.stop()
    until(lambda: driver.find_element(By.ID, "link").get_attribute("data-state") == "lost", 5,
          "the lost agent shown")
    assert "retrying" in page_text(driver, "link")
    start_again()
    until(lambda: driver.find_element(By.ID, "link").get_attribute("data-state") == "live", 15,
          "live again")
    # Caught up: the page shows the unit's latest level again. The new agent's start-up
    # questions (QS, QI) put a table's worth of replies (1.5 s at 19200 baud) ahead of the
    # unit's reports on the line, which then come in a burst that the stream passes on
    # as its latest state (at most five a second): the page is not asked to show each of
    # them, only to be at the newest within the bound.
    def latest_level():
        lines = [line for line in sim.since(0) if line.startswith("-> Ni ")]
        return SIGNAL_REFERENCE - int(lines[-1].split()[3]) if lines else None

    until(lambda: page_text(driver, "level") == str(latest_level()), 5.0,
          "the newest level shown after the agent came back")
    check_follows(driver, sim, reports=2)


def screenshots(driver, out):
    out.mkdir(parents=True, exist_ok=True)
    # Some seconds of history, on the shortest window of the chart.
    press(driver, '[data-minutes="1"]')
    time.sleep(10)
    for name, size in (("desktop", DESKTOP), ("phone", PHONE)):
        for look in ("day", "night"):
            set_viewport(driver, size)
            driver.execute_script("document.documentElement.classList.toggle('night', %s)" %
                                  ("true" if look == "night" else "false"))
            time.sleep(0.5)
            # The whole page, as tall as it is at that width.
            height = driver.execute_script("return document.documentElement.scrollHeight")
            set_viewport(driver, (size[0], height))
            time.sleep(1.2)
            path = out / ("dashboard-%s-%s.png" % (name, look))
            driver.save_screenshot(str(path))
            print(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim", required=True)
    parser.add_argument("--agent", required=True)
    parser.add_argument("--work", required=True, type=pathlib.Path)
    parser.add_argument("--screenshots", type=pathlib.Path)
    args = parser.parse_args()
    args.work.mkdir(parents=True, exist_ok=True)
    axe = None if args.screenshots else install_axe(args.work)

    scratch = pathlib.Path(tempfile.mkdtemp(prefix="web-test-", dir=args.work))
    sim = Program([args.sim, "--no-link", "--listen", "127.0.0.1:0", "--verbose"])
    programs = [sim]  # stopped at the end, the agents before the simulator
    driver = None
    try:
        _, _, match = sim.wait_line(r"TCP port (\d+)")
        sim_port = int(match.group(1))
        token_file = scratch / "token"
        agent, http_port = start_agent(args.agent, sim_port, token_file, programs)
        token = token_file.read_text().strip()
        driver = browser(scratch / "profile")
        driver.set_script_timeout(30)
        driver.get("http://127.0.0.1:%d/" % http_port)
        until(lambda: re.fullmatch(r"\d+", page_text(driver, "level")), 10, "a level shown")
        if args.screenshots:
            screenshots(driver, args.screenshots)
            return 0

        checks = Checks()
        checks.run("state and level follow the simulator within 1 s",
                   lambda: check_follows(driver, sim))
        checks.run("commands reach the unit only with the token",
                   lambda: check_commands(driver, sim, token))
        checks.run("360x640: no sideways scroll, targets of 44 px", lambda: check_phone(driver))
        checks.run("axe-core: no violations", lambda: check_axe(driver, axe))
        checks.run("everything loaded within 250 KB", lambda: check_weight(driver))
        checks.run("no console errors", lambda: check_console(driver))

        def start_again():
            start_agent(args.agent, sim_port, token_file, programs, "127.0.0.1:%d" % http_port)

        checks.run("a lost agent is shown, retried and caught up with",
                   lambda: check_reconnect(driver, sim, agent, start_again))
        print("%d passed, %d failed" % (checks.passed, len(checks.failures)))
        return 1 if checks.failures else 0
    finally:
        if driver:
            driver.quit()
        for program in programs:
            program.stop()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
