#!/usr/bin/python3
"""Drives zkbatch's page in a real headless Chromium, for the cases under
page/. Run by a case's setup in the operator's host of its plant, beside
zkbatch --serve, with the case's work directory as the current one: it
waits for the URL that zkbatch prints on standard error, opens it, does the
scenario's steps, prints what the page shows after each, keeps a screenshot
of each step in $ZK_ARTIFACTS (when set), and stops zkbatch with SIGTERM.

Usage: page_driver.py SCENARIO
"""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

from serve_client import printed, wait_for


def served_url():
    return printed(r"serving (http://\S+)", "the URL on standard error")


def browser():
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1400,900",
                 "--user-data-dir=" + tempfile.mkdtemp(prefix="chromium.", dir=os.getcwd())):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class Page:
    def __init__(self, driver, shots):
        self.driver = driver
        self.shots = shots
        self.step = 0

    def shot(self, name):
        self.step += 1
        if self.shots:
            self.driver.save_screenshot(os.path.join(self.shots, "%02d-%s.png" % (self.step, name)))

    def rows(self):
        """The table as text: one line per row, its class, then its cells."""
        return self.driver.execute_script("""
            return [...document.querySelectorAll('#devices tbody tr')].map(tr =>
                (tr.className.replace('selected', '').trim() || '-') + ' ' +
                [...tr.cells].slice(0, 7).map(td => td.textContent || '-').join(' '));""")

    def row(self, mac):
        for line in self.rows():
            if mac in line:
                return line
        return None

    def text(self, css):
        return self.driver.find_element(By.CSS_SELECTOR, css).text

    def edit(self, mac, **values):
        self.driver.execute_script("""
            for (const tr of document.querySelectorAll('#devices tbody tr'))
                if (tr.cells[0].textContent === arguments[0]) tr.click();""", mac)
        wait_for("the editor", lambda: self.text("#edit-mac") == mac)
        for name, value in values.items():
            field = self.driver.find_element(By.NAME, name)
            field.clear()
            field.send_keys(value)

    def save(self, button="#save"):
        self.driver.execute_script("document.getElementById('edit-result').textContent = ''")
        self.driver.find_element(By.CSS_SELECTOR, button).click()
        return wait_for("the outcome", lambda: (lambda t: t if t and t != "sending..." else None)(
            self.text("#edit-result")), timeout=30)


def logged(name, pattern):
    with open(name + ".log", encoding="utf-8", errors="replace") as f:
        return [line.rstrip("\n") for line in f if re.search(pattern, line)]


def lists_plugs_and_unplugs(page):
    wait_for("two rows", lambda: len(page.rows()) == 2)
    print("address bar:", re.sub(r"^http://[^/]+", "", page.driver.current_url))
    print("\n".join(page.rows()))
    page.shot("loaded")
    page.driver.execute_script("window.zkNotReloaded = true")
    subprocess.run(["ip", "link", "set", "zk-dev3", "up"], check=True)
    print("plugged in:", wait_for("dev3", lambda: page.row("02:00:5e:00:53:0c")))
    page.shot("plugged-in")
    subprocess.run(["ip", "link", "set", "zk-dev1", "down"], check=True)
    print("unplugged:", wait_for("dev1 vanished", lambda: (lambda r: r if r and r.startswith(
        "vanished") else None)(page.row("02:00:5e:00:53:0a")), timeout=40))
    page.shot("unplugged")
    print("count:", page.text("#count"))
    print("reloaded:", not page.driver.execute_script("return window.zkNotReloaded === true"))


def edits_refused_and_moved(page):
    mac = "02:00:5e:00:53:0a"
    wait_for("dev1", lambda: page.row(mac))
    page.edit(mac, mtu="1600")
    page.driver.find_element(By.ID, "save").click()
    print("mtu 1600:", wait_for("the error beside mtu",
                                lambda: page.text('.error[data-for="mtu"]')))
    page.shot("mtu-refused")
    page.edit(mac, mtu="1500", ip="192.0.2.77")
    print("bystander's address:", page.save())
    page.shot("bystander-refused")
    page.edit(mac, ip="192.0.2.20")
    print("new address:", page.save())
    print("its log:", logged("dev1", "set hw")[-1])
    print("row:", wait_for("the new address", lambda: (lambda r: r if r and "192.0.2.20" in r
                                                       else None)(page.row(mac))))
    page.shot("moved")
    print("undo:", page.save("#undo"))
    print("its log:", logged("dev1", "set hw")[-1])
    print("row:", wait_for("the old address", lambda: (lambda r: r if r and "192.0.2.10" in r
                                                       else None)(page.row(mac))))
    page.shot("moved-back")


def plan_dry_run_apply_download(page):
    wait_for("two rows", lambda: len(page.rows()) == 2)
    with open("plan.csv", "w", encoding="utf-8") as f:
        f.write("mac,ip,mtu\n02:00:5e:00:53:0a,192.0.2.30,1400\n02:00:5e:00:53:0b,,1500\n"
                "02:00:5e:00:53:0f,,1400\n")
    page.driver.find_element(By.ID, "plan-file").send_keys(os.path.abspath("plan.csv"))
    button = wait_for("the question", lambda: page.driver.find_element(By.ID, "apply").is_displayed()
                      and page.text("#apply"))
    for tr in page.driver.find_elements(By.CSS_SELECTOR, "#dry-run tbody tr"):
        print("dry run:", " | ".join(td.text for td in tr.find_elements(By.TAG_NAME, "td")))
    print("button:", button)
    page.shot("dry-run")
    page.driver.find_element(By.ID, "apply").click()
    print(wait_for("the report", lambda: (lambda t: t if t.startswith("Done") else None)(
        page.text("#plan-message")), timeout=40))
    for tr in page.driver.find_elements(By.CSS_SELECTOR, "#dry-run tbody tr"):
        print("report:", " | ".join(td.text for td in tr.find_elements(By.TAG_NAME, "td")))
    page.shot("applied")
    downloads = os.path.abspath("downloads")
    os.makedirs(downloads, exist_ok=True)
    page.driver.execute_cdp_cmd("Page.setDownloadBehavior",
                                {"behavior": "allow", "downloadPath": downloads})
    for link, name in (("report-csv", "report.csv"), ("report-json", "report.json"),
                       ("undo-csv", "undo.csv")):
        page.driver.find_element(By.ID, link).click()
        path = os.path.join(downloads, name)
        wait_for(name, lambda: os.path.exists(path) and os.path.getsize(path) > 0)
        with open(path, encoding="utf-8") as f:
            content = f.read()
        if name == "report.json":
            content = "rows %d, counts %s" % (len(json.loads(content)["rows"]),
                                              json.dumps(json.loads(content)["counts"]))
        print("downloaded " + name + ":", content.strip().replace("\n", "\n  "))
    print("set messages:", len(logged("dev1", "set hw=02:00:5e:00:53:0a")),
          len(logged("dev2", "set hw=02:00:5e:00:53:0b")))


def device_texts_are_not_html(page):
    mac = "02:00:5e:00:53:0b"
    row = wait_for("the hostile device", lambda: page.row(mac))
    print("row:", row)
    print("images in the table:",
          page.driver.execute_script("return document.querySelectorAll('#devices img').length"))
    page.edit(mac)
    print("editor:", page.driver.find_element(By.NAME, "nameserver").get_attribute("value"))
    page.shot("hostile-texts")
    try:
        print("alert:", page.driver.switch_to.alert.text)
    except NoAlertPresentException:
        print("alert: none")


SCENARIOS = {f.__name__: f for f in (lists_plugs_and_unplugs, edits_refused_and_moved,
                                     plan_dry_run_apply_download, device_texts_are_not_html)}


def main():
    scenario = SCENARIOS[sys.argv[1]]
    shots = os.environ.get("ZK_ARTIFACTS", "")
    if shots:
        shots = os.path.join(shots, sys.argv[1])
        os.makedirs(shots, exist_ok=True)
    driver = None
    try:
        url = served_url()
        driver = browser()
        page = Page(driver, shots)
        driver.get(url)
        scenario(page)
    except Exception as e:  # what went wrong is the case's output
        print("FAILED:", type(e).__name__, e)
        if driver:
            print("\n".join(Page(driver, shots).rows()))
    finally:
        sys.stdout.flush()
        if driver:
            driver.quit()
        with open("zkdetect.pid", encoding="ascii") as f:
            os.kill(int(f.read()), signal.SIGTERM)


if __name__ == "__main__":
    main()
