#!/usr/bin/env python3
"""Times the real program's start over several runs and reports medians.

exec -> splash first frame, exec -> start page loaded, exec -> page ready (the bridge's
"JSOnAppReadyEvent"), and the peak memory of all the program's processes (UI, web, network:
the sum of each process's VmHWM). Each run gets a fresh per-user tree; the display is an Xvfb
of its own with openbox.

usage: bench/startup.py [--runs N] [--url URL] [--bin build/bin]
"""
import argparse
import datetime
import os
import re
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "integration"))
import tvc_harness  # noqa: E402

GLOG_TIME = re.compile(r"^[IWE](\d{8}) (\d{2}:\d{2}:\d{2}\.\d{6}) ")


def logged_at(app, needle):
    """Wall-clock time of the first browser-log line containing `needle`, or None."""
    for line in app.log_text().splitlines():
        if needle in line:
            m = GLOG_TIME.match(line)
            if m:
                stamp = datetime.datetime.strptime(m.group(1) + " " + m.group(2), "%Y%m%d %H:%M:%S.%f")
                return stamp.timestamp()
    return None


def tree_pids(root):
    pids, frontier = [], [root]
    while frontier:
        pid = frontier.pop()
        pids.append(pid)
        try:
            with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
                frontier += [int(c) for c in f.read().split()]
        except OSError:
            pass
    return pids


def peak_kib(pids):
    total = 0
    for pid in pids:
        try:
            with open("/proc/%d/status" % pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


FRAME_AT = re.compile(r"first frame drawn \(\d+x\d+\) at (\d+) us")


def first_frame_at(app):
    """The splash reports its first frame's time itself: it may come before the log file exists."""
    m = FRAME_AT.search(app.stderr())
    return int(m.group(1)) / 1e6 if m else None


def one_run(display, url, ready):
    args = ["--show-on-launch"]
    app = tvc_harness.App(display, url=url, args=args)
    t0 = time.time()
    app.start()
    try:
        frame = tvc_harness.wait_for(lambda: first_frame_at(app), 60, 0.02, "the splash frame")
        loaded = tvc_harness.wait_for(lambda: logged_at(app, "load finished"), 60, 0.02, "the page load")
        ready_at = None
        if ready:
            ready_at = tvc_harness.wait_for(lambda: logged_at(app, "OnJSAppReadyEvent received"), 60, 0.02,
                                            "the page's ready event")
        # Let the page settle so the web process's peak is its working peak, then read it.
        time.sleep(1.0)
        memory = peak_kib(tree_pids(app.proc.pid))
        return frame - t0, loaded - t0, (ready_at - t0) if ready_at else None, memory
    finally:
        app.terminate()
        app.cleanup()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--url", default=None, help="page to load (default: the start page)")
    parser.add_argument("--no-ready", action="store_true", help="do not wait for the page's ready event")
    args = parser.parse_args()
    display = tvc_harness.Display(window_manager=True)
    rows = []
    try:
        one_run(display, args.url, not args.no_ready)  # warm the file cache; not counted
        for _ in range(args.runs):
            rows.append(one_run(display, args.url, not args.no_ready))
    finally:
        display.close()
    med = lambda i: statistics.median(r[i] for r in rows if r[i] is not None)
    print("runs: %d" % len(rows))
    print("exec -> splash first frame: median %.0f ms (min %.0f, max %.0f)"
          % (med(0) * 1000, min(r[0] for r in rows) * 1000, max(r[0] for r in rows) * 1000))
    print("exec -> start page loaded:  median %.0f ms" % (med(1) * 1000))
    if not args.no_ready:
        print("exec -> page ready event:   median %.0f ms" % (med(2) * 1000))
    print("peak memory, all processes: median %.1f MiB" % (med(3) / 1024.0))


if __name__ == "__main__":
    main()
