#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The agent's web page as a browser on the same machine loads it: headless Chromium
(driven by Selenium) opens it from loopback, against the agent and a simulated unit, with
the browser's cache off so that every load fetches everything again.

    bench_web_page.py --sim SIM --agent AGENT [--loads N]

The page opens on the last five minutes of the unit's signal history; the loads begin once
that holds as many samples as a unit reporting once a second leaves there.

For each load the browser's own timing says how many bytes came over the wire (the
navigation and every resource: the page, its files and its first API calls), when the
first contentful paint was, and when the first frame after the unit's signal level
appeared was drawn (all from the start of the navigation). The figures to look for are at
most 250 KB and a first render within 300 ms. Options Google Benchmark takes
(--benchmark_min_time=...) are accepted and ignored, so the benchmark loops can run this
beside the others.

Not a test: nothing is asserted. It says "skipped" and ends with 0 when Chromium, its
driver or Selenium is missing; it ends with 1 when the agent or the page does not come up.
"""
import argparse
import json
import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

NAME = "BM_WebPage"
# The page opens on the last five minutes of the unit's history, which the load carries:
# as many samples as a unit reporting once a second leaves there, made in seconds by a
# simulator reporting every 20 ms.
HISTORY_SAMPLES = 300
REPORT_PERIOD_MS = 20
START_PATIENCE_S = 10.0
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--window-size=1280,1000",
]
# Installed before the page's own scripts: the time of the first frame drawn after the
# unit's signal level appears.
WATCH_LEVEL = """
new MutationObserver((changes, observer) => {
    const level = document.getElementById("level");
    if (level && /^\\d+$/.test(level.textContent.trim())) {
        observer.disconnect();
        requestAnimationFrame(() => { window.benchLevelDrawnMs = performance.now(); });
    }
}).observe(document, {childList: true, subtree: true, characterData: true});
"""
# The load's figures once its first API answers are in: bytes, requests, paint times.
FIGURES = """
const all = [...performance.getEntriesByType("navigation"),
             ...performance.getEntriesByType("resource")];
const names = all.map((e) => e.name);
if (window.benchLevelDrawnMs === undefined || !names.some((n) => n.includes("/history")) ||
    !names.some((n) => n.includes("/sky"))) {
    return null;
}
const fcp = performance.getEntriesByName("first-contentful-paint")[0];
return {bytes: all.reduce((sum, e) => sum + e.transferSize, 0), requests: all.length,
        fcp: fcp ? fcp.startTime : -1, levelDrawn: window.benchLevelDrawnMs};
"""


def start(argv, said):
    """The program, once a line of its output matches `said`, and that match."""
    process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = b""
    deadline = time.monotonic() + START_PATIENCE_S
    while time.monotonic() < deadline and process.poll() is None:
        ready, _, _ = select.select([process.stdout], [], [], 0.1)
        if ready:
            output += os.read(process.stdout.fileno(), 4096)
            match = re.search(said, output.decode(errors="replace"))
            if match:
                # Whatever it says later is read and dropped, so that it never blocks.
                threading.Thread(target=process.stdout.read, daemon=True).start()
                return process, match
    stop(process)
    raise RuntimeError("%s did not start: %s" % (argv[0], output.decode(errors="replace")))


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def load(driver, url):
    """Loads the page afresh; its figures once the unit and its first answers are in."""
    driver.get(url)
    deadline = time.monotonic() + START_PATIENCE_S
    while time.monotonic() < deadline:
        figures = driver.execute_script(FIGURES)
        if figures:
            return figures
        time.sleep(0.02)
    raise RuntimeError("the page did not show the unit within %.0f s" % START_PATIENCE_S)


def await_history(url):
    """The samples the history at `url` holds once they are HISTORY_SAMPLES or more."""
    deadline = time.monotonic() + HISTORY_SAMPLES * REPORT_PERIOD_MS / 1000 + START_PATIENCE_S
    while True:
        with urllib.request.urlopen(url) as answer:
            samples = len(json.load(answer)["samples"])
        if samples >= HISTORY_SAMPLES:
            return samples
        if time.monotonic() > deadline:
            raise RuntimeError("the history holds only %d samples" % samples)
        time.sleep(0.5)


def measure(args, scratch):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    programs = []
    driver = None
    try:
        sim, match = start([args.sim, "--no-link", "--listen", "127.0.0.1:0", "--status-period",
                            str(REPORT_PERIOD_MS)], r"TCP port (\d+)")
        programs.append(sim)
        agent, match = start([args.agent, "--unit", "boat=tcp://127.0.0.1:%s" % match.group(1),
                              "--http", "127.0.0.1:0", "--token-file",
                              os.path.join(scratch, "token")], r"HTTP on \S*:(\d+)\n")
        programs.insert(0, agent)
        url = "http://127.0.0.1:%s/" % match.group(1)

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + os.path.join(scratch, "profile")]:
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": WATCH_LEVEL})
        samples = await_history(url + "api/v1/units/boat/history?minutes=5")
        return samples, [load(driver, url) for _ in range(args.loads)]
    finally:
        if driver:
            driver.quit()
        for program in programs:
            stop(program)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim", required=True)
    parser.add_argument("--agent", required=True)
    parser.add_argument("--loads", type=int, default=5)
    args, _ = parser.parse_known_args()  # the --benchmark_... options
    try:
        import selenium  # noqa: F401  (Debian's python3-selenium)
    except ImportError:
        print("%s skipped: no Selenium for %s" % (NAME, sys.executable))
        return 0
    for program in (CHROMIUM, CHROMEDRIVER):
        if not os.access(program, os.X_OK):
            print("%s skipped: no %s" % (NAME, program))
            return 0

    scratch = tempfile.mkdtemp(prefix="bench-web-page-")
    began = time.monotonic()
    try:
        samples, loads = measure(args, scratch)
    except Exception as error:  # the agent, the browser or the page did not come up
        print("%s ERROR: %s" % (NAME, error))
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    fcps = [figures["fcp"] for figures in loads]
    drawn = [figures["levelDrawn"] for figures in loads]
    counters = [
        ("loads", len(loads)),
        ("history_samples", samples),
        ("loaded_KiB", max(figures["bytes"] for figures in loads) / 1024),
        ("requests", max(figures["requests"] for figures in loads)),
        ("first_load_fcp_ms", fcps[0]),
        ("fcp_median_ms", statistics.median(fcps)),
        ("fcp_max_ms", max(fcps)),
        ("first_load_level_drawn_ms", drawn[0]),
        ("level_drawn_median_ms", statistics.median(drawn)),
        ("level_drawn_max_ms", max(drawn)),
    ]
    print("%-30s %10.0f ms %s" % (NAME, (time.monotonic() - began) * 1000, " ".join(
        "%s=%s" % (name, ("%.1f" % value) if isinstance(value, float) else value)
        for name, value in counters)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
