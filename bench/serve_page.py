#!/usr/bin/python3
"""The browser's side of bench/serve: opens the page of zkbatch --serve in
headless Chromium and prints, one per line: how many devices the table
showed and when (the page's own performance mark, in milliseconds from
the start of the navigation); then, for each of ROUNDS saves made through
the API, how long after the end of the scan that saw it its event reached
the page (milliseconds). Then it keeps the page open until the file DONE
exists.

Usage: serve_page.py URL TOKEN MAC_PREFIX ROUNDS DONE
"""
import json
import os
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def wait_for(check, timeout=60):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(0.02)
    raise TimeoutError


def main():
    url, token, prefix, rounds, done = sys.argv[1:6]
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--user-data-dir=" + tempfile.mkdtemp(prefix="chromium.")):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get(url)
        shown = wait_for(lambda: driver.execute_script("return document.body.dataset.shown"))
        mark = driver.execute_script(
            "return performance.getEntriesByName('table-shown')[0].startTime")
        print("shown %s %.0f" % (shown, mark))
        for k in range(int(rounds)):
            before = driver.execute_script("return window.zkEvents")
            mac = "%s:%02x" % (prefix, k + 1)
            body = json.dumps({"mtu": 1400 - k}).encode()
            request = urllib.request.Request(
                url.split("/?")[0] + "/api/devices/" + mac, data=body, method="POST",
                headers={"Authorization": "Bearer " + token})
            urllib.request.urlopen(request, timeout=60).read()
            wait_for(lambda: driver.execute_script("return window.zkEvents") > before)
            print("event %d" % driver.execute_script("return window.zkLatencies.at(-1)"))
        sys.stdout.flush()
        while not os.path.exists(done):
            time.sleep(0.5)
    finally:
        driver.quit()


if __name__ == "__main__":
    main()
