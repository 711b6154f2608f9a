"""Helpers for the bridge tests: a WebSocket peer, the pages' RESULT lines, X11 window states.

Pages report with console.log("RESULT <name> <json>"); the console file keeps every line whole.
"""
import asyncio
import json
import os
import re
import subprocess
import threading
import time
import unittest

import websockets

from interapp_support import PageServer
from tvc_harness import App, Display, free_port, page_url, wait_for  # noqa: F401  (re-exported for the tests)

# Update checks and the port-list download go to a closed loopback port: they fail at once,
# and nothing leaves the machine.
QUIET_NET = ["--config-base-url=http://127.0.0.1:9/", "--appcast-base-url=http://127.0.0.1:9/",
             "--web-site-url=http://127.0.0.1:9"]
SUBPROTOCOL = "tvb-websocket-message"
RESULT = re.compile(r"^RESULT (\S+) (.*)$")


def results(app):
    """Every RESULT line of this run as name -> list of decoded values, in order."""
    out = {}
    for line in app.console_log().splitlines():
        m = RESULT.match(line)
        if m:
            try:
                value = json.loads(m.group(2))
            except ValueError:
                value = m.group(2)
            out.setdefault(m.group(1), []).append(value)
    return out


def wait_result(app, name, count=1, timeout=30.0):
    """The `count`-th value reported under `name` (waits for it)."""
    values = wait_for(lambda: (lambda v: v if len(v) >= count else None)(results(app).get(name, [])),
                      timeout, what="RESULT %s #%d" % (name, count))
    return values[count - 1]


def received(app, name):
    """How many process messages called `name` the browser side has received."""
    return app.log_text().count("OnProcessMessageReceived message: %s source_pid" % name)


def received_at_least(app, name, count, timeout=10.0):
    """`received` once it reaches `count`: the log reaches its file in batches, a moment after the act."""
    return wait_for(lambda: (lambda n: n if n >= count else None)(received(app, name)), timeout,
                    what="%d %s messages in the log" % (count, name))


def net_wm_state(app, wid):
    return app.xprop(wid, "_NET_WM_STATE")


def is_iconic(app, wid):
    return "Iconic" in app.xprop(wid, "WM_STATE")


def active_window(display):
    out = display.run("xprop", "-root", "_NET_ACTIVE_WINDOW")
    m = re.search(r"window id # (0x[0-9a-f]+)", out)
    return int(m.group(1), 16) if m else None


def stacking(display):
    out = display.run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
    return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out)]


def frame_of(display, wid):
    """The window manager's frame around a client window (the client itself without one)."""
    current = int(wid, 0) if isinstance(wid, str) else wid
    while True:
        out = display.run("xwininfo", "-children", "-id", hex(current))
        m = re.search(r"Parent window id: (0x[0-9a-f]+)", out)
        root = re.search(r"Root window id: (0x[0-9a-f]+)", out)
        if not m or not root or m.group(1) == root.group(1):
            return current
        current = int(m.group(1), 16)


def frame_geometry(app, wid):
    """x, y, width, height of the window as the user sees it, decorations included: the program
    sizes and places that outer rectangle, as it would on Windows."""
    return app.geometry(hex(frame_of(app.display, wid)))


class Peer:
    """A WebSocket peer of the program's listener, run on an event loop of its own thread."""

    def __init__(self, port, timeout=20.0):
        self.port = port
        self.loop = asyncio.new_event_loop()
        self.thread = threading.Thread(target=self.loop.run_forever, daemon=True)
        self.thread.start()
        self.ws = self._run(self._connect(timeout), timeout + 5)

    def _run(self, coroutine, timeout):
        return asyncio.run_coroutine_threadsafe(coroutine, self.loop).result(timeout)

    async def _connect(self, timeout):
        # The listener starts with the page's first script context: retry until it answers.
        deadline = time.monotonic() + timeout
        while True:
            try:
                return await websockets.connect("ws://127.0.0.1:%d/browser" % self.port,
                                                subprotocols=[SUBPROTOCOL], origin=None, ping_interval=None,
                                                max_size=None, compression=None, open_timeout=timeout)
            except (OSError, websockets.exceptions.InvalidHandshake):
                if time.monotonic() > deadline:
                    raise
                await asyncio.sleep(0.05)

    def send_text(self, text):
        self._run(self.ws.send(text), 10)

    def send(self, message, umid=None):
        """Sends an envelope addressed to the page; returns its text."""
        text = json.dumps({"source": "ext", "target": "browser.webapp.js", "message": message,
                           "umid": umid or "umid-%d" % time.monotonic_ns()})
        self.send_text(text)
        return text

    def recv(self, timeout=20.0):
        return self._run(asyncio.wait_for(self.ws.recv(), timeout), timeout + 5)

    def close(self):
        try:
            self._run(self.ws.close(), 10)
        except Exception:  # the program may be gone already
            pass
        self.loop.call_soon_threadsafe(self.loop.stop)
        self.thread.join(10)
        self.loop.close()


class BridgeCase(unittest.TestCase):
    """One display, one program run and optionally one peer per test class.

    Subclasses set `page` (a file under pages/, query or fragment allowed), `window_manager`,
    `extra_args` and `with_peer`; each test method asserts on a part of the same run.
    """

    page = None
    window_manager = False
    extra_args = ()
    with_peer = False
    # Served from a loopback web server rather than as a file: file pages are each an origin of
    # their own, so a page could not reach its sub-frames.
    served = False

    @classmethod
    def setUpClass(cls):
        cls.display = Display(window_manager=cls.window_manager)
        cls.apps = []
        cls.peer = None
        cls.server = None
        try:
            cls.port = free_port()
            url = page_url(cls.page) if cls.page else None
            if cls.page and cls.served:
                cls.server = PageServer()
                url = cls.server.url(cls.page)
            cls.app = cls.start_app(url=url, port=cls.port)
            if cls.with_peer:
                cls.peer = Peer(cls.port)
        except Exception:
            cls.tearDownClass()
            raise

    @classmethod
    def start_app(cls, url=None, home=None, args=(), port=None):
        """A run of the program; runs besides the class's own listen on ports of their own."""
        app = App(cls.display, home=home, url=url,
                  args=QUIET_NET + ["--ws-ports=%d" % (port or free_port())] + list(cls.extra_args) + list(args))
        cls.apps.append(app)
        return app.start()

    @classmethod
    def tearDownClass(cls):
        if cls.peer:
            cls.peer.close()
        for app in reversed(cls.apps):
            app.cleanup()
        if cls.server:
            cls.server.close()
        cls.display.close()

    def command(self, cmd, *args, timeout=30.0):
        """Asks the page (through the peer) to run `cmd` and waits for its RESULT line."""
        umid = "c%d" % time.monotonic_ns()
        self.peer.send({"cmd": cmd, "args": list(args)}, umid=umid)
        return wait_result(self.app, umid, timeout=timeout)


def painted_screenshot(display, path, wid, colours=64, timeout=60.0):
    """A screenshot of the screen taken once the window `wid` shows a drawn page: the web view
    paints a while after the page reports ready, and a blank view is a single colour."""
    probe = path + ".window.png"

    def shot():
        subprocess.run(["import", "-window", str(wid), probe], env=display.env(), capture_output=True)
        out = subprocess.run(["identify", "-format", "%k", probe], capture_output=True, text=True).stdout
        return out.strip().isdigit() and int(out) >= colours

    wait_for(shot, timeout, 0.2, "a painted page in window %s" % wid)
    os.unlink(probe)
    return display.screenshot(path)


def screenshot_dir():
    """Where screenshots are kept: $TVC_SCREENSHOT_DIR, else a folder of this account's under /tmp."""
    path = os.environ.get("TVC_SCREENSHOT_DIR") or "/tmp/tvc-bridge-screenshots-%d" % os.getuid()
    os.makedirs(path, exist_ok=True)
    return path
