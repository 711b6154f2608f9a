#!/usr/bin/env python3
"""SIGTERM -> the program gone, over several runs.

Each run starts the program on a page that answers the quit at once (its "OnBeforeAppQuit"
subscriber sets tvd.quitApp), waits until the page is ready and the listener listens, sends SIGTERM
and times until the process has exited, then until its last web or network process has ended too.
Optionally the same with a page that answers from a timer after --later-ms.

usage: bench/quit_time.py [--runs N] [--bin build/bin] [--later-ms MS]
"""
import argparse
import os
import signal
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
import tvc_harness  # noqa: E402


def ended(pid):
    """Gone, or a zombie waiting for whoever inherited it (this machine's init reaps late)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] in ("Z", "X")
    except OSError:
        return True


def one_run(display, query):
    port = tvc_harness.free_port()
    app = tvc_harness.App(display, url=tvc_harness.page_url("quit.html") + query,
                          args=["--ws-ports=%d" % port])
    try:
        app.start()
        app.wait_console("PAGE ready")
        app.wait_log("listening on 127.0.0.1:%d" % port)
        children = app.children()
        start = time.monotonic()
        app.proc.send_signal(signal.SIGTERM)
        code = app.proc.wait(30)
        exited = time.monotonic() - start
        tvc_harness.wait_for(lambda: all(ended(p) for p in children),
                             timeout=30, interval=0.002, what="the child processes to end")
        all_gone = time.monotonic() - start
        if code != 0:
            raise RuntimeError("exit code %r" % code)
        return exited * 1000, all_gone * 1000
    finally:
        app.cleanup()


def report(name, samples):
    exited = sorted(s[0] for s in samples)
    gone = sorted(s[1] for s in samples)
    print("%-28s exit: min %6.1f  median %6.1f  max %6.1f ms | children gone: median %6.1f  max %6.1f ms"
          % (name, exited[0], statistics.median(exited), exited[-1], statistics.median(gone), gone[-1]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "bin"))
    parser.add_argument("--later-ms", type=int, default=0)
    args = parser.parse_args()
    tvc_harness.EXECUTABLE = os.path.abspath(os.path.join(args.bin, "TavistoForWeb"))
    os.environ["NO_AT_BRIDGE"] = "1"
    display = tvc_harness.Display()
    try:
        report("answer at once (%d runs)" % args.runs,
               [one_run(display, "?answer=now") for _ in range(args.runs)])
        if args.later_ms:
            report("answer after %d ms" % args.later_ms,
                   [one_run(display, "?answer=later&ms=%d" % args.later_ms) for _ in range(args.runs)])
    finally:
        display.close()


if __name__ == "__main__":
    main()
