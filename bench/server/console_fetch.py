#!/usr/bin/env python3
"""An administrator's browser during the lock benchmark: logs in to the site
console, then fetches the lock page and /metrics once a second until ended
(SIGTERM); prints how many of each it fetched.

Usage: console_fetch.py HOST:PORT TOKEN
"""
import http.cookiejar
import signal
import sys
import time
import urllib.parse
import urllib.request

base = "http://" + sys.argv[1]
opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
opener.open(base + "/login", data=urllib.parse.urlencode({"token": sys.argv[2]}).encode(), timeout=10).read()
counts = {"locks": 0, "metrics": 0, "lock_page_bytes": 0}
running = True


def stop(*_):
    global running
    running = False


signal.signal(signal.SIGTERM, stop)
next_at = time.monotonic()
while running:
    page = opener.open(base + "/locks", timeout=10).read()
    counts["locks"] += 1
    counts["lock_page_bytes"] = len(page)
    opener.open(base + "/metrics", timeout=10).read()
    counts["metrics"] += 1
    next_at += 1.0
    while running and time.monotonic() < next_at:
        time.sleep(0.05)
print(" ".join(f"{k}={v}" for k, v in counts.items()), flush=True)
