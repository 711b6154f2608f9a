#!/usr/bin/env python3
"""Round trips of a user message through the real program's bridge.

1. peer -> browser -> page -> browser -> peer: a WebSocket peer sends an inter-app message, the
   page's "HandleInterAppMessage" subscriber answers with tvd.SendInterAppMessage, the peer waits
   for the answer before it sends the next one.
2. browser -> page -> browser, the same messages, from the browser log's own timestamps: the
   forward to the page ("SendProcessMessage is sucess") to the page's answer arriving
   ("message: v8_to_browser.nativemessage-from-tvd-js").
3. page -> browser -> page, timed by the page: tvd.onJSAppReady() out, "GetLocalTimeMap" back,
   which sets window.propLocalTimeMap (a setter on the page sees it). performance.now() is
   coarsened to 1 ms in WebKit, so only the mean over the run is given (each round also waits
   for a zero-delay timer, as a page would).
4. exec -> the start page's ready event ("OnJSAppReadyEvent received" in the browser log).

usage: bench/bridge_roundtrip.py [--messages N] [--starts N]   (TVC_BIN_DIR: the build's bin folder)
"""
import argparse
import datetime
import json
import os
import re
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
import bridge_support  # noqa: E402
import tvc_harness  # noqa: E402

GLOG = re.compile(r"^[IWE](\d{8}) (\d{2}:\d{2}:\d{2}\.\d{6}) ")


def stamp(line):
    m = GLOG.match(line)
    if not m:
        return None
    return datetime.datetime.strptime(m.group(1) + " " + m.group(2), "%Y%m%d %H:%M:%S.%f").timestamp()


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def summary(name, ms):
    print("%-44s n=%5d  p50 %7.3f ms  p99 %7.3f ms  min %7.3f  max %7.3f"
          % (name, len(ms), percentile(ms, 50), percentile(ms, 99), min(ms), max(ms)))


def console_line(app, prefix, timeout=120):
    def find():
        for line in app.console_log().splitlines():
            if line.startswith(prefix):
                return line[len(prefix):] or line
        return None
    try:
        return tvc_harness.wait_for(find, timeout, 0.05, prefix)
    except AssertionError:
        sys.stderr.write("console so far: %r\n" % app.console_log()[-2000:])
        raise


def round_trips(display, count, warmup):
    port = bridge_support.free_port()
    page = "file://" + os.path.join(HERE, "pages", "bridge_echo.html")
    app = tvc_harness.App(display, url=page, args=bridge_support.QUIET_NET + ["--ws-ports=%d" % port])
    app.start()
    peer = None
    try:
        console_line(app, "BENCH ready")
        peer = bridge_support.Peer(port)
        rtt = []
        for seq in range(warmup + count):
            t0 = time.perf_counter()
            peer.send({"seq": seq, "pad": "x" * 64}, umid="b%d" % seq)
            while True:
                answer = json.loads(peer.recv())
                if answer.get("umid") == "b%d" % seq:
                    break
            if seq >= warmup:
                rtt.append((time.perf_counter() - t0) * 1000)
        # The browser log: forward to the page, then the page's answer, once per message.
        forwards, answers = [], []
        for line in app.log_text().splitlines():
            if "OnInterAppMessageRceive : SendProcessMessage is sucess" in line:
                forwards.append(stamp(line))
            elif "OnProcessMessageReceived message: v8_to_browser.nativemessage-from-tvd-js" in line:
                answers.append(stamp(line))
        n = min(len(forwards), len(answers))
        browser = [(a - f) * 1000 for f, a in zip(forwards[:n], answers[:n])][warmup:]

        peer.send({"cmd": "loop", "count": warmup + count})
        loop = json.loads(console_line(app, "BENCH loop "))
        page_loop = loop["total"] / loop["count"]
        return rtt, browser, page_loop
    finally:
        if peer:
            peer.close()
        app.terminate()
        app.cleanup()


def start_to_ready(display, runs):
    times = []
    for _ in range(runs + 1):
        app = tvc_harness.App(display, args=bridge_support.QUIET_NET + ["--show-on-launch",
                                                                        "--ws-ports=%d" % bridge_support.free_port()])
        t0 = time.time()
        app.start()
        try:
            def ready():
                for line in app.log_text().splitlines():
                    if "OnJSAppReadyEvent received" in line:
                        return stamp(line)
                return None
            times.append((tvc_harness.wait_for(ready, 60, 0.02, "the ready event") - t0) * 1000)
        finally:
            app.terminate()
            app.cleanup()
    return times[1:]  # the first run warms the file cache


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--messages", type=int, default=2000)
    parser.add_argument("--warmup", type=int, default=100)
    parser.add_argument("--starts", type=int, default=5)
    args = parser.parse_args()
    display = tvc_harness.Display(window_manager=True)
    try:
        rtt, browser, page_loop = round_trips(display, args.messages, args.warmup)
        ready = start_to_ready(display, args.starts)
    finally:
        display.close()
    summary("peer -> browser -> page -> browser -> peer", rtt)
    summary("browser -> page -> browser (browser log)", browser)
    print("%-44s n=%5d  mean %7.3f ms" % ("page -> browser -> page (page clock)", args.messages + args.warmup,
                                               page_loop))
    print("exec -> start page ready event: median %.0f ms (min %.0f, max %.0f, %d runs)"
          % (statistics.median(ready), min(ready), max(ready), len(ready)))


if __name__ == "__main__":
    main()
