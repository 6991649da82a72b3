#!/usr/bin/env python3
"""The console's pictures for server/README.md (run by scripts/console-screenshot).

Usage: console_screenshots.py BIN-FOLDER OUTPUT-FOLDER
"""
import os
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import console_browser  # noqa: E402


def hold(port, body):
    """A workstation's connection that stays open, with the lock it took."""
    connection = socket.create_connection(("127.0.0.1", port), timeout=10)
    connection.sendall(b"[BEGIN]" + body + b"[END]")
    reply = b""
    while not reply.endswith(b"[END]"):
        reply += connection.recv(256)
    return connection


def main():
    bin_folder, out = sys.argv[1], sys.argv[2]
    folder = tempfile.mkdtemp(prefix="quorlane-screens-")
    server = console_browser.Server(os.path.join(bin_folder, "quorlane-server"), folder)
    held = []
    try:
        held.append(hold(server.port, b"[LOCKDB]SALES;ann;VM;"))
        # Big5, as workstations on Traditional Chinese systems send it.
        held.append(hold(server.port, "[LOCKDB]進貨;陳小明;ACC-PC02;".encode("cp950")))
        held.append(hold(server.port, b"[LOCKDB]STOCK;bob;WH-PC1;"))
        # A workstation that went away without unlocking.
        subprocess.run([os.path.join(bin_folder, "quorlane-probe"), "--connect", f"127.0.0.1:{server.port}",
                        "[LOCKDB]PAYROLL;carol;HR-PC;", "[CHECKDBLOCK]SALES;x;y;", "[GetVATList]"],
                       check=True, capture_output=True, timeout=20)
        with console_browser.browser() as driver:
            console_browser.log_in(driver, server.base, server.token())
            for language in ("en", "zh-TW"):
                driver.get(server.base + "/locks")
                if driver.find_element("tag name", "html").get_attribute("lang") != language:
                    console_browser.choose_language(driver, language)
                console_browser.screenshot(driver, os.path.join(out, f"console-locks-{language}.png"))
                driver.get(server.base + "/health")
                console_browser.screenshot(driver, os.path.join(out, f"console-health-{language}.png"))
                driver.set_window_size(1280, 800)
    finally:
        for connection in held:
            connection.close()
        server.stop()
        subprocess.run(["rm", "-rf", folder], check=False)
    print("\n".join(os.path.join(out, f"console-{page}-{language}.png")
                    for page in ("locks", "health") for language in ("en", "zh-TW")))


if __name__ == "__main__":
    main()
