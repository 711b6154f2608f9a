#!/usr/bin/python3
""""setCookies" on the real program: from the request leaving the peer to its "101" arriving, for
4, 100, 1,000 and 10,000 cookies (each request replaces the cookies of the one before), with the
CPU each process spent on the 10,000.

Run by hand (not a test):  TVC_BIN_DIR=build/bin dbus-run-session -- /usr/bin/python3 bench/cookies.py
Options: --runs N (requests per size, default 5).
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))

from bridge_support import QUIET_NET  # noqa: E402
from interapp_support import InterAppProgram  # noqa: E402
from test_interapp_cookies import CookieServer, set_cookies  # noqa: E402
from tvc_harness import Display  # noqa: E402


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def processes(root):
    """pid -> name for the program and its WebKit children."""
    names = {root: "program"}
    out = subprocess.run(["pgrep", "-P", str(root)], capture_output=True, text=True).stdout
    for pid in map(int, out.split()):
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            names[pid] = os.path.basename(f.read().split(b"\0")[0].decode())
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    server, display = CookieServer(), Display()
    program = InterAppProgram(display, args=QUIET_NET, url=server.origin + "/interapp.html")
    try:
        program.start()
        peer = program.peer()
        for count in (4, 100, 1000, 10000):
            cookies = [{"name": "c%d" % i, "value": "v", "hostOnly": 1, "path": "/", "secure": 0,
                        "httpOnly": 0, "session": 1} for i in range(count)]
            request = set_cookies([{"url": server.origin + "/", "cookies": cookies}], "bench")
            names = processes(program.app.proc.pid)
            before = {pid: cpu_seconds(pid) for pid in names}
            times = []
            for _ in range(args.runs):
                start = time.monotonic()
                peer.send_text(request)
                status = json.loads(peer.recv_message(300.0))["message"]["status"]
                times.append((time.monotonic() - start) * 1000)
                if status != "101":
                    raise SystemExit("status %s for %d cookies" % (status, count))
            cpu = ", ".join("%s %.2f s" % (names[pid], (cpu_seconds(pid) - before[pid]) / args.runs)
                            for pid in names)
            print("%6d cookies: median %8.1f ms, min %8.1f ms, max %8.1f ms; CPU per request: %s"
                  % (count, statistics.median(times), min(times), max(times), cpu))
    finally:
        program.cleanup()
        display.close()
        server.close()


if __name__ == "__main__":
    main()
