#!/usr/bin/env python3
"""Memory over a long run: a page that allocates and frees and navigates every few seconds, and a
WebSocket peer exchanging a message with it every 100 ms. Samples the RSS of all the program's
processes every 10 s and compares the end with the first minute.

usage: TVC_BIN_DIR=build/bin dbus-run-session -- python3 bench/longrun.py [--minutes 60]
"""
import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
from interapp_support import InterAppProgram, PeerClosed, envelope  # noqa: E402
from tvc_harness import Display  # noqa: E402
from startup import memory_kib, tree_pids  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--minutes", type=float, default=60)
    parser.add_argument("--navigate-ms", type=int, default=5000)
    args = parser.parse_args()
    display = Display(window_manager=True)
    program = InterAppProgram(display, page="longrun.html")
    page = "file://" + os.path.join(HERE, "pages", "longrun.html") + "?every=%d" % args.navigate_ms
    program.start_url = page
    program.app.args = [a for a in program.app.args if not a.startswith("--url=")] + ["--url=" + page]
    program.app.start()
    program.app.wait_log("listening on 127.0.0.1:%d" % program.port, timeout=60)
    peer = program.peer()
    samples, sent, answered = [], 0, 0
    start = time.monotonic()
    next_sample = start
    try:
        while time.monotonic() - start < args.minutes * 60:
            time.sleep(max(0.0, start + sent * 0.1 - time.monotonic()))  # one message every 100 ms
            try:
                peer.send_text(envelope(type_="echo", payload={"seq": sent}, umid=str(sent)))
                sent += 1
                peer.recv_message(0.1)
                answered += 1
            except TimeoutError:
                pass  # the page was between two addresses
            except (PeerClosed, OSError):
                peer = program.peer()
            if time.monotonic() >= next_sample:
                rss, _ = memory_kib(tree_pids(program.app.proc.pid))
                samples.append((time.monotonic() - start, rss))
                print("%7.0f s  RSS %.1f MiB  sent %d answered %d" % (samples[-1][0], rss / 1024, sent, answered),
                      flush=True)
                next_sample += 10
    finally:
        program.app.terminate()
        program.cleanup()
        display.close()
    first_minute = statistics.median(r for t, r in samples if 50 <= t <= 70) if len(samples) > 7 else samples[0][1]
    end = statistics.median(r for _, r in samples[-3:])
    print("after the first minute %.1f MiB, at the end %.1f MiB: %+.1f %%; peak %.1f MiB; %d of %d answered"
          % (first_minute / 1024, end / 1024, (end / first_minute - 1) * 100, max(r for _, r in samples) / 1024,
             answered, sent))


if __name__ == "__main__":
    main()
