#!/usr/bin/env python3
"""The site console end to end in a real browser (headless Chromium).

A workstation (quorlane-probe, speaking the workstations' protocol) takes a
lock; the browser cannot see a page or act without logging in; it logs in,
sees the lock with its holder (and a key holding <script> as plain text),
has a form without the session's token refused, releases the lock through
the confirmation that names the holder; the workstation can then take the
lock; the audit page shows the lock and the release; the language switch
changes the pages and is remembered.

Usage: web_console_browser_test.py BIN-FOLDER
"""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import console_browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support import expected_conditions  # noqa: E402

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else "build/native/bin"


class ConsoleInBrowser(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quorlane-console-")
        self.server = console_browser.Server(os.path.join(BIN, "quorlane-server"), self.folder)

    def tearDown(self):
        self.server.stop()
        subprocess.run(["rm", "-rf", self.folder], check=False)

    def workstation(self, *bodies):
        result = subprocess.run([os.path.join(BIN, "quorlane-probe"), "--connect", f"127.0.0.1:{self.server.port}",
                                 *bodies], capture_output=True, timeout=20)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.decode("latin-1").splitlines()

    def fetch_status(self, driver, path, form):
        """A POST from the page itself (same origin, the session's cookie sent)."""
        return driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "fetch(arguments[0], {method: 'POST', body: new URLSearchParams(arguments[1]), redirect: 'manual'})"
            "  .then(r => done(r.status)).catch(e => done(String(e)));", path, form)

    def test_lock_seen_released_and_audited(self):
        self.assertEqual(self.workstation("[LOCKDB]SALES;ann;VM;", "[LOCKDB]<script>alert(1)</script>;bob;PC2;"),
                         ["[LOCKDB]Y;;;", "[LOCKDB]Y;;;"])
        base = self.server.base
        release_form = {"key": "53414c4553", "user": "616e6e", "computer": "564d", "since": "00"}
        with console_browser.browser() as driver:
            # Nothing without a login, also from this very computer.
            for page in ("/locks", "/audit", "/health", "/vat", "/locks/release?key=53414c4553"):
                driver.get(base + page)
                self.assertTrue(driver.current_url.endswith("/login"), page)
            self.assertEqual(self.fetch_status(driver, "/locks/release", release_form), 403)

            console_browser.log_in(driver, base, self.server.token())
            driver.get(base + "/locks")
            rows = {row.find_element(By.CLASS_NAME, "key").text: row
                    for row in driver.find_elements(By.CSS_SELECTOR, "#locks tbody tr")}
            self.assertEqual(set(rows), {"SALES", "<script>alert(1)</script>"})
            self.assertEqual(rows["SALES"].find_element(By.CLASS_NAME, "user").text, "ann")
            self.assertEqual(rows["SALES"].find_element(By.CLASS_NAME, "computer").text, "VM")
            # The markup is text: no script ran, no element was made of it.
            self.assertEqual(driver.find_elements(By.CSS_SELECTOR, "#locks script"), [])

            # A form without the session's own token is refused; the lock stays.
            self.assertEqual(self.fetch_status(driver, "/locks/release", release_form), 403)
            self.assertEqual(self.workstation("[CHECKDBLOCK]SALES;x;y;")[0][:23], "[CHECKDBLOCK]Y;ann;VM;2")

            # The filter box narrows the list.
            driver.find_element(By.ID, "filter").send_keys("sal")
            console_browser.wait_for(driver, lambda d: not rows["<script>alert(1)</script>"].is_displayed())

            rows["SALES"].find_element(By.CLASS_NAME, "release").click()
            question = console_browser.wait_for(
                driver, expected_conditions.presence_of_element_located((By.ID, "question"))).text
            self.assertIn("SALES", question)
            self.assertIn("held by ann on VM since", question)
            driver.find_element(By.ID, "confirm-release").click()
            notice = console_browser.wait_for(
                driver, expected_conditions.presence_of_element_located((By.ID, "notice"))).text
            self.assertTrue(notice.startswith("Released SALES (held by ann on VM since"), notice)
            keys = [cell.text for cell in driver.find_elements(By.CSS_SELECTOR, "#locks td.key")]
            self.assertEqual(keys, ["<script>alert(1)</script>"])

            # The workstation of another user takes it now.
            self.assertEqual(self.workstation("[LOCKDB]SALES;carol;PC3;"), ["[LOCKDB]Y;;;"])

            driver.get(base + "/audit")
            lines = [item.text for item in driver.find_elements(By.CSS_SELECTOR, "#audit li")]
            taken = [i for i, line in enumerate(lines) if 'LOCKDB peer=' in line and 'user="ann"' in line
                     and 'key="SALES"' in line]
            released = [i for i, line in enumerate(lines) if line.split(" ", 2)[2].startswith("FORCEUNLOCKDB web session=")
                        and 'key="SALES" held by user="ann" computer="VM"' in line]
            self.assertTrue(taken and released, "\n".join(lines))
            self.assertLess(released[0], taken[0], "newest first")

            # The language is chosen on the page and remembered.
            driver.get(base + "/locks")
            console_browser.choose_language(driver, "zh-TW")
            self.assertEqual(driver.find_element(By.TAG_NAME, "h2").text, "目前的鎖定")
            driver.get(base + "/health")
            self.assertEqual(driver.find_element(By.TAG_NAME, "h2").text, "伺服器狀態")
            console_browser.choose_language(driver, "zh-CN")
            self.assertEqual(driver.find_element(By.TAG_NAME, "h2").text, "服务器状态")
            console_browser.choose_language(driver, "en")
            self.assertEqual(driver.find_element(By.TAG_NAME, "h2").text, "Health")

            # Logging out ends the session.
            driver.find_element(By.ID, "logout").click()
            driver.get(base + "/locks")
            self.assertTrue(driver.current_url.endswith("/login"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
