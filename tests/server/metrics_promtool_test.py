#!/usr/bin/env python3
"""/metrics of the real server, after workstation traffic of every kind the
figures count, passes `promtool check metrics` (Prometheus's own checker of
the text format and its naming rules).

promtool comes from Debian's prometheus package; scripts/setup takes only that
program out of the package (into ~/.cache/quorlane/promtool) instead of installing the
package, which would also install and start a Prometheus server.

Usage: metrics_promtool_test.py BIN-FOLDER [PROMTOOL]
"""
import os
import subprocess
import sys
import tempfile
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import console_browser  # noqa: E402


def main():
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    bin_folder = sys.argv[1]
    promtool = sys.argv[2] if len(sys.argv) > 2 else os.path.join(cache, "quorlane", "promtool")
    if not os.access(promtool, os.X_OK):
        print(f"{promtool} is missing: scripts/setup takes it out of Debian's prometheus package")
        return 1
    folder = tempfile.mkdtemp(prefix="quorlane-metrics-")
    server = console_browser.Server(os.path.join(bin_folder, "quorlane-server"), folder)
    try:
        probe = [os.path.join(bin_folder, "quorlane-probe"), "--connect", f"127.0.0.1:{server.port}"]
        subprocess.run(probe + ["[LOCKDB]A;u;c;", "[UNLOCKDB]A;u;c;", "[CHECKDBLOCK]A;u;c;", "[GetVATList]",
                                "[NOSUCH]", "[LOCKDB]B;u;c;"], check=True, capture_output=True, timeout=20)
        with urllib.request.urlopen(server.base + "/metrics", timeout=10) as response:
            text = response.read()
            content_type = response.headers["Content-Type"]
    finally:
        server.stop()
        subprocess.run(["rm", "-rf", folder], check=False)
    if not content_type.startswith("text/plain; version=0.0.4"):
        print(f"Content-Type: {content_type}")
        return 1
    for line in (b'quorlane_requests_total{command="LOCKDB"} 2', b"quorlane_locks_held 1",
                 b"quorlane_journal_sync_seconds_count "):
        if line not in text:
            print(f"missing: {line!r}\n{text.decode()}")
            return 1
    checked = subprocess.run([promtool, "check", "metrics"], input=text, capture_output=True, timeout=30)
    print(checked.stdout.decode(), checked.stderr.decode())
    return checked.returncode


if __name__ == "__main__":
    sys.exit(main())
