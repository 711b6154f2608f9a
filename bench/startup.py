#!/usr/bin/env python3
"""Start-up and memory of the real program against a bare WebKitGTK window, in one run.

The two are alternated on the same pages (a small local page and the start page), each run with a
fresh per-user tree on one Xvfb with openbox. Times are from the moment the process is started:
exec -> splash's first frame (the program only), -> load finished, -> page ready (the program's
ready event; the floor's page load event). Memory is summed over every process of each (UI, web,
network): RSS 3 s after the load, and the sum of peak RSS (VmHWM) at that moment.

With --busy N, N processes that spin on the CPU run beside both for the whole bench, as at a log-in
where the rest of the desktop starts at the same time.

--program-arg ARG (repeatable) adds a switch to the program's runs, e.g. --disable-web-sandbox to
measure what the web-process sandbox costs.

usage: bench/startup.py [--runs N] [--bin build/bin] [--only small|start] [--busy N] [--program-arg ARG]
"""
import argparse
import datetime
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
import tvc_harness  # noqa: E402

GLOG_TIME = re.compile(r"^[IWE](\d{8}) (\d{2}:\d{2}:\d{2}\.\d{6}) ")
FRAME_AT = re.compile(r"first frame drawn \(\d+x\d+\) at (\d+) us")


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


def memory_kib(pids):
    """(sum of VmRSS, sum of VmHWM) over `pids`."""
    rss = hwm = 0
    for pid in pids:
        try:
            with open("/proc/%d/status" % pid) as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        rss += int(line.split()[1])
                    elif line.startswith("VmHWM:"):
                        hwm += int(line.split()[1])
        except OSError:
            pass
    return rss, hwm


def wait_gone(pids, timeout=10.0):
    """Until every one of `pids` has ended: a tree still tearing down would slow the next start."""
    deadline = time.time() + timeout
    for pid in pids:
        while os.path.exists("/proc/%d" % pid) and time.time() < deadline:
            try:
                with open("/proc/%d/stat" % pid) as f:
                    if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                        break  # ended; only its parent's reaping is left
            except OSError:
                break
            time.sleep(0.005)


def settle_and_measure(root_pid):
    time.sleep(3.0)  # the measure is defined as 3 s after the load
    return memory_kib(tree_pids(root_pid))


def run_program(display, url, extra_args=()):
    app = tvc_harness.App(display, url=url, args=["--show-on-launch"] + list(extra_args))
    t0 = time.time()
    app.start()
    try:
        frame = tvc_harness.wait_for(lambda: FRAME_AT.search(app.stderr()), 60, 0.01, "the splash frame")
        loaded = tvc_harness.wait_for(lambda: logged_at(app, "load finished"), 60, 0.01, "the page load")
        ready = tvc_harness.wait_for(lambda: logged_at(app, "OnJSAppReadyEvent received"), 60, 0.01,
                                     "the page's ready event")
        rss, hwm = settle_and_measure(app.proc.pid)
        return {"frame": int(frame.group(1)) / 1e6 - t0, "loaded": loaded - t0, "ready": ready - t0,
                "rss": rss, "hwm": hwm}
    finally:
        tree = tree_pids(app.proc.pid)
        app.terminate()
        wait_gone(tree)
        app.cleanup()


def run_floor(display, floor, url):
    home = tempfile.mkdtemp(prefix="tvc-floor-")
    env = display.env()
    env.update({"HOME": home, "XDG_DATA_HOME": home + "/data", "XDG_CACHE_HOME": home + "/cache",
                "XDG_CONFIG_HOME": home + "/config", "NO_AT_BRIDGE": "1"})
    out_path = os.path.join(home, "out.txt")
    with open(out_path, "w") as out:
        t0 = time.time()
        proc = subprocess.Popen([floor, url], env=env, stdout=out, stderr=subprocess.DEVNULL)
    try:
        def event(name):
            with open(out_path) as f:
                for line in f:
                    if line.startswith(name + " "):
                        return int(line.split()[1]) / 1e6
            return None
        frame = tvc_harness.wait_for(lambda: event("first-frame"), 60, 0.01, "the floor's first frame")
        loaded = tvc_harness.wait_for(lambda: event("load-finished"), 60, 0.01, "the floor's load")
        ready = tvc_harness.wait_for(lambda: event("page-ready"), 60, 0.01, "the floor's page load event")
        rss, hwm = settle_and_measure(proc.pid)
        return {"frame": frame - t0, "loaded": loaded - t0, "ready": ready - t0, "rss": rss, "hwm": hwm}
    finally:
        tree = tree_pids(proc.pid)
        proc.terminate()
        proc.wait(20)
        wait_gone(tree)
        subprocess.run(["rm", "-rf", home])


def start_busy(count):
    """`count` processes spinning at the bench's own priority."""
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(count)]


def median(rows, key):
    return statistics.median(r[key] for r in rows)


def report(page, prog, floor):
    print("\n%s: %d runs each (medians)" % (page, len(prog)))
    print("  %-28s %10s %10s %7s" % ("", "program", "floor", "ratio"))
    for key, label in (("frame", "exec -> first frame (ms)"), ("loaded", "exec -> load finished (ms)"),
                       ("ready", "exec -> page ready (ms)")):
        p, f = median(prog, key) * 1000, median(floor, key) * 1000
        name = "exec -> splash frame (ms)" if key == "frame" else label
        print("  %-28s %10.0f %10.0f %7.2f" % (name, p, f, p / f))
    for key, label in (("rss", "RSS 3 s after load (MiB)"), ("hwm", "sum of peak RSS (MiB)")):
        p, f = median(prog, key) / 1024, median(floor, key) / 1024
        print("  %-28s %10.1f %10.1f %7.2f" % (label, p, f, p / f))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "bin"))
    parser.add_argument("--only", choices=("small", "start"))
    parser.add_argument("--busy", type=int, default=0, metavar="N",
                        help="N busy processes beside both programs")
    parser.add_argument("--program-arg", action="append", default=[], metavar="ARG",
                        help="a switch added to every run of the program")
    args = parser.parse_args()
    bin_dir = os.path.abspath(args.bin)
    tvc_harness.EXECUTABLE = os.path.join(bin_dir, "TavistoForWeb")
    floor = os.path.join(bin_dir, "floor_browser")
    pages = {"small": "file://" + os.path.join(HERE, "pages", "small.html"),
             "start": "file://" + os.path.join(bin_dir, "cef_js_app.html")}
    if args.only:
        pages = {args.only: pages[args.only]}
    display = tvc_harness.Display(window_manager=True)
    busy = start_busy(args.busy)
    try:
        for name, url in pages.items():
            # One unmeasured run of each warms the file cache.
            run_program(display, url if name == "small" else None, args.program_arg)
            run_floor(display, floor, url)
            prog, base = [], []
            for _ in range(args.runs):
                prog.append(run_program(display, url if name == "small" else None, args.program_arg))
                base.append(run_floor(display, floor, url))
            report(name + " page" + (", %d busy processes" % args.busy if busy else ""), prog, base)
    finally:
        for proc in busy:
            proc.kill()
            proc.wait()
        display.close()


if __name__ == "__main__":
    main()
