#!/usr/bin/python3
"""Inter-app messaging on the real program against a bare libwebsockets echo server (the floor),
with the same Python client in the same run:

- round trip peer -> program -> page -> program -> peer (the page answers with the text it got),
  p50 and p99 over 10,000 messages of 100 B and of 10 KB;
- messages per second from the peer to the page, which counts them and checks their order, and
  echoed back through the page with the peer sending without waiting;
- CPU of the program's whole process tree over 10 s with an idle connected peer.

Run by hand (not a test):  TVC_BIN_DIR=build/bin dbus-run-session -- /usr/bin/python3 bench/ws_e2e.py
Options: --messages N (round trips per size, default 10000), --idle-seconds S (default 10).
"""
import argparse
import json
import os
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))

from interapp_support import (OP_TEXT, InterAppProgram, RawPeer, envelope, free_port,  # noqa: E402
                              process_tree_cpu_seconds)
from tvc_harness import BIN_DIR, Display  # noqa: E402

SIZES = (100, 10 * 1024)
WARMUP = 500


def percentile(sorted_values, p):
    return sorted_values[min(len(sorted_values) - 1, int(len(sorted_values) * p / 100))]


def round_trip_us(peer, text, count):
    expected = text
    samples = []
    clock = time.perf_counter_ns
    for i in range(WARMUP + count):
        start = clock()
        peer.send_text(text)
        answer = peer.recv_message(30)
        elapsed = clock() - start
        if answer != expected:
            raise AssertionError("round trip %d came back changed (%d of %d bytes)" % (i, len(answer), len(text)))
        if i >= WARMUP:
            samples.append(elapsed / 1000.0)
    samples.sort()
    return percentile(samples, 50), percentile(samples, 99)


def send_batched(peer, texts, batch=64):
    """Frames written many to a system call: the client should not be what limits the rate."""
    frames = []
    for text in texts:
        frames.append(text)
        if len(frames) == batch:
            peer.sock.sendall(b"".join(frame_bytes(peer, t) for t in frames))
            frames = []
    if frames:
        peer.sock.sendall(b"".join(frame_bytes(peer, t) for t in frames))


def frame_bytes(peer, text):
    data = text.encode()
    n = len(data)
    head = bytes([0x80 | OP_TEXT])
    if n < 126:
        head += bytes([0x80 | n])
    elif n < 65536:
        head += bytes([0x80 | 126]) + n.to_bytes(2, "big")
    else:
        head += bytes([0x80 | 127]) + n.to_bytes(8, "big")
    return head + b"\0\0\0\0" + data  # a zero mask key leaves the payload as it is


def compact(size, type_, seq=0):
    """The smallest envelope the page acts on, padded to `size` bytes."""
    head = '{"target":"browser.webapp.js","message":{"type":"%s","payload":{"seq":%d}},"pad":"' % (type_, seq)
    if len(head) + 2 > size:
        raise ValueError("%d bytes is below the envelope's own size" % size)
    return head + "x" * (size - len(head) - 2) + '"}'


def counted_texts(size, count):
    """Messages "count" with payload.seq 0..count-1, each `size` bytes."""
    return [compact(size, "count", seq) for seq in range(count)]


def page_rate(program, peer, size, count):
    """The page counts `count` numbered messages and reports; gives messages per second."""
    texts = counted_texts(size, count)
    peer.send_text(envelope(type_="count-start", umid="count-start"))
    start = time.perf_counter()
    send_batched(peer, texts)
    peer.send_text(envelope(type_="count-end", umid="count-end"))
    result = json.loads(peer.recv_message(600))
    elapsed = time.perf_counter() - start
    payload = result["message"]["payload"]
    ok = payload["received"] == count and payload["firstBad"] is None
    program.app.wait_console("COUNT " + json.dumps(payload, separators=(",", ":")), timeout=60)
    return count / elapsed, ok, "%d of %d counted, first out of order: %s" % (payload["received"], count,
                                                                           payload["firstBad"])


def echoed_rate(peer, size, count, type_="count"):
    """Messages sent without waiting; every echo is read, and checked, as it comes."""
    texts = [compact(size, type_, seq) for seq in range(count)]
    start = time.perf_counter()
    # Written from a thread of its own: the server stops reading once its echoes back up.
    sender = threading.Thread(target=send_batched, args=(peer, texts))
    sender.start()
    in_order = 0
    for expected in texts:
        if peer.recv_message(60) == expected:
            in_order += 1
    elapsed = time.perf_counter() - start
    sender.join()
    return count / elapsed, in_order == count, "%d of %d echoed in order" % (in_order, count)


def idle_cpu_percent(pid, seconds):
    before = process_tree_cpu_seconds(pid)
    start = time.monotonic()
    time.sleep(seconds)  # the measurement itself: the peer stays connected and silent
    wall = time.monotonic() - start
    return 100.0 * (process_tree_cpu_seconds(pid) - before) / wall


def start_floor(port):
    binary = os.path.join(BIN_DIR, "ws_echo_bench")
    proc = subprocess.Popen([binary, "--serve-only", str(port)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    if not line.startswith("LISTENING"):
        proc.kill()
        raise RuntimeError("the bare echo server did not start: %r (build the ws_echo_bench target)" % line)
    return proc


def webkit_floor(display):
    """The bare user-message round trip (bench/webkit): {size: (p50, p99)}, or {} when not built."""
    binary = os.path.join(BIN_DIR, "webkit_user_message_floor")
    if not os.path.exists(binary):
        return {}
    env = display.env()
    env["NO_AT_BRIDGE"] = "1"
    out = subprocess.run([binary], env=env, capture_output=True, text=True, timeout=600).stdout
    figures = {}
    for line in out.splitlines():
        if line.startswith("user-message round trip"):
            parts = line.replace(",", "").split()
            figures[int(parts[3])] = (float(parts[6]), float(parts[9]))
    return figures


def log_bytes(program):
    return sum(os.path.getsize(f) for f in program.app.log_files("") if f not in program.app.logs_before_start)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--messages", type=int, default=10000)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    parser.add_argument("--rate-messages", type=int, default=20000, help="for 100 B; a tenth of it for 10 KB")
    args = parser.parse_args()

    display = Display()
    program = InterAppProgram(display)
    floor_proc = None
    rows = {}
    try:
        program.start()
        floor_port = free_port()
        floor_proc = start_floor(floor_port)
        targets = (("program", lambda: program.peer()), ("floor", lambda: RawPeer(floor_port, "/browser")))
        peers = {name: make() for name, make in targets}

        for size in SIZES:
            text = compact(size, "bench-echo")
            for name, _ in targets:
                rows[("rt", size, name)] = round_trip_us(peers[name], text, args.messages)
                print("round trip %-7s %5d B: p50 %.0f us, p99 %.0f us" % ((name, size) + rows[("rt", size, name)]),
                      flush=True)

        for size, count in ((100, args.rate_messages), (10 * 1024, max(1, args.rate_messages // 10))):
            rows[("rate", size, "program")] = page_rate(program, peers["program"], size, count)
            rows[("rate", size, "floor")] = echoed_rate(peers["floor"], size, count)
            rows[("echo", size, "program")] = echoed_rate(peers["program"], size, count, "bench-echo")
            for name, _ in targets:
                rate, ok, note = rows[("rate", size, name)]
                print("rate %-7s %5d B: %.0f msg/s, %s (%s)" % (name, size, rate, "ok" if ok else "LOST/REORDERED",
                                                               note), flush=True)
            rate, ok, note = rows[("echo", size, "program")]
            print("echoed through the page %5d B: %.0f msg/s, %s (%s)" % (size, rate, "ok" if ok else "LOST/REORDERED",
                                                                       note), flush=True)

        # Settled: the page has answered everything; both peers stay connected and silent.
        rows[("cpu", "program")] = idle_cpu_percent(program.app.proc.pid, args.idle_seconds)
        rows[("cpu", "floor")] = idle_cpu_percent(floor_proc.pid, args.idle_seconds)
        logged = log_bytes(program)
        webkit = webkit_floor(display)
        for peer in peers.values():
            peer.close()
    finally:
        if floor_proc:
            floor_proc.stdin.close()
            try:
                floor_proc.wait(10)
            except subprocess.TimeoutExpired:
                floor_proc.kill()
        program.cleanup()
        display.close()

    print()
    print("%-44s %22s %22s" % ("", "program + page", "bare lws echo (floor)"))
    for size in SIZES:
        cells = ["p50 %6.0f / p99 %6.0f" % rows[("rt", size, name)] for name in ("program", "floor")]
        print("%-44s %22s %22s" % ("round trip %d B, us (%d msgs)" % (size, args.messages), *cells))
    for size in SIZES:
        cells = []
        for name in ("program", "floor"):
            rate, ok, _ = rows[("rate", size, name)]
            cells.append("%.0f%s" % (rate, "" if ok else " LOST"))
        print("%-44s %22s %22s" % ("peer -> page %d B, msg/s (in order, none lost)" % size, *cells))
    for size in SIZES:
        rate, ok, _ = rows[("echo", size, "program")]
        cells = ["%.0f%s" % (rate, "" if ok else " LOST"), "%.0f" % rows[("rate", size, "floor")][0]]
        print("%-44s %22s %22s" % ("peer -> page -> peer %d B, msg/s (no waiting)" % size, *cells))
    print("%-44s %22s %22s" % ("idle CPU over %.0f s, %% of one core (tree)" % args.idle_seconds,
                                "%.2f" % rows[("cpu", "program")], "%.2f" % rows[("cpu", "floor")]))
    for size in SIZES:
        if size in webkit:
            lws = rows[("rt", size, "floor")][0]
            p50, p99 = webkit[size]
            print("%-44s %22s %22s" % ("bare WebKit user-message round trip %d B, us" % size,
                                        "", "p50 %6.0f / p99 %6.0f" % (p50, p99)))
            print("%-44s %22s %22s" % ("  floor = lws echo + user message, p50 us", "ratio %.2f" % (
                rows[("rt", size, "program")][0] / (lws + p50)), "%6.0f" % (lws + p50)))
    print("program log written during the run: %.1f MB" % (logged / 1e6))
    failed = [key for key, value in rows.items() if key[0] in ("rate", "echo") and not value[1]]
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
