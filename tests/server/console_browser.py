"""Drives the site console in a real browser: Debian's Chromium, headless,
through Debian's chromedriver and python3-selenium. Nothing is downloaded:
the driver is /usr/bin/chromedriver, and Chromium is kept off the network.

Used by the browser test (web_console_browser_test.py), scripts/console-screenshot
and scripts/demo.
"""
import contextlib
import os
import shutil
import signal
import subprocess
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support import expected_conditions
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:  # Server alone needs none of it (the metrics check)
    webdriver = None

CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM = "/usr/bin/chromium"


@contextlib.contextmanager
def browser(width=1280, height=800):
    """A fresh headless Chromium with a profile of its own, ended on exit."""
    profile = tempfile.mkdtemp(prefix="quorlane-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 f"--user-data-dir={profile}", f"--window-size={width},{height}",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--no-first-run", "--disable-quic", "--disable-default-apps", "--disable-extensions",
                 "--lang=en-US", "--force-device-scale-factor=1"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(20)
    driver.set_script_timeout(20)
    try:
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def wait_for(driver, condition, seconds=10):
    return WebDriverWait(driver, seconds).until(condition)


def log_in(driver, base, token):
    driver.get(base + "/login")
    box = wait_for(driver, expected_conditions.presence_of_element_located((By.ID, "token")))
    box.clear()
    box.send_keys(token)
    driver.find_element(By.ID, "login").click()
    wait_for(driver, expected_conditions.presence_of_element_located((By.ID, "logout")))


def choose_language(driver, code):
    """Picks a language in the page's menu; the page reloads in it."""
    old = driver.find_element(By.TAG_NAME, "html")
    Select(driver.find_element(By.ID, "language")).select_by_value(code)
    wait_for(driver, expected_conditions.staleness_of(old))
    wait_for(driver, lambda d: d.find_element(By.TAG_NAME, "html").get_attribute("lang") == code)


def screenshot(driver, path):
    """The whole page, as tall as its content."""
    height = driver.execute_script("return Math.max(document.body.scrollHeight, 600)")
    driver.set_window_size(1280, min(int(height) + 120, 2400))
    driver.save_screenshot(path)


class Server:
    """The real quorlane-server on loopback ports of its own choosing."""

    def __init__(self, program, folder, extra=()):
        self.program = program
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        for name in ("port", "web-port"):
            with contextlib.suppress(FileNotFoundError):
                os.remove(os.path.join(folder, name))
        self.output = open(os.path.join(folder, "server-output.txt"), "ab")
        self.process = subprocess.Popen(
            [program, "--listen", "127.0.0.1:0", "--port-file", os.path.join(folder, "port"),
             "--web-listen", "127.0.0.1:0", "--web-port-file", os.path.join(folder, "web-port"),
             "--data", os.path.join(folder, "data"), *extra],
            stdin=subprocess.DEVNULL, stdout=self.output, stderr=subprocess.STDOUT)
        self.port = self._read_port("port")
        self.web_port = self._read_port("web-port")

    def _read_port(self, name):
        path = os.path.join(self.folder, name)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"quorlane-server ended: {self.process.returncode}")
            with contextlib.suppress(FileNotFoundError):
                with open(path) as f:
                    text = f.read()
                if text.endswith("\n"):
                    return int(text)
            time.sleep(0.02)
        raise RuntimeError(f"no {name} file from quorlane-server")

    @property
    def base(self):
        return f"http://127.0.0.1:{self.web_port}"

    def token(self):
        result = subprocess.run([self.program, "web-token", "--data", os.path.join(self.folder, "data")],
                                capture_output=True, text=True, timeout=20, check=True)
        return result.stdout.strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)
        self.output.close()


def lock_page_shot(base, token, out, key):
    """Logs in, finds KEY on the lock page and takes its picture; returns a
    line that says who holds it (for scripts/demo)."""
    with browser() as driver:
        log_in(driver, base, token)
        driver.get(base + "/locks")
        for row in driver.find_elements(By.CSS_SELECTOR, "#locks tbody tr"):
            if row.find_element(By.CLASS_NAME, "key").text == key:
                user = row.find_element(By.CLASS_NAME, "user").text
                computer = row.find_element(By.CLASS_NAME, "computer").text
                link = row.find_element(By.CLASS_NAME, "link").text.split(" ·")[0]
                break
        else:
            return f"{key} is not on the lock page"
        screenshot(driver, out)
        return f"{key} held by {user} on {computer}, connection {link}; {os.path.basename(out)}"


if __name__ == "__main__":
    import sys
    if len(sys.argv) == 6 and sys.argv[1] == "lock-page":
        print(lock_page_shot(*sys.argv[2:]))
    else:
        sys.exit("usage: console_browser.py lock-page BASE-URL TOKEN OUTPUT.png KEY")
