"""Under a Wayland compositor (weston's headless backend): the page comes up, window requests
work through GTK's Wayland support, what Wayland cannot do is logged once and never claimed."""
import os
import shutil
import subprocess
import tempfile
import unittest

from bridge_support import QUIET_NET, results, wait_result
from tvc_harness import App, page_url, wait_for


class Weston:
    """A headless weston of its own; stands where the harness puts an X display."""

    def __init__(self):
        self.runtime = tempfile.mkdtemp(prefix="tvc-weston-")
        os.chmod(self.runtime, 0o700)
        self.socket = os.path.join(self.runtime, "wayland-tvc")
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        env.pop("DISPLAY", None)
        self.log = open(os.path.join(self.runtime, "weston.log"), "w")
        self.proc = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--socket=wayland-tvc", "--idle-time=0",
             "--width=1280", "--height=800"], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        wait_for(lambda: os.path.exists(self.socket) or self.proc.poll() is not None, what="weston's socket")
        if self.proc.poll() is not None:
            raise RuntimeError("weston did not start")

    def env(self):
        e = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        # An absolute socket path: the program gets an XDG_RUNTIME_DIR of its own.
        e.update(WAYLAND_DISPLAY=self.socket, GDK_BACKEND="wayland")
        return e

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.log.close()
        shutil.rmtree(self.runtime, ignore_errors=True)


@unittest.skipUnless(shutil.which("weston"), "weston is not installed")
class WaylandTest(unittest.TestCase):
    def setUp(self):
        self.weston = Weston()
        self.addCleanup(self.weston.close)

    def test_page_ready_window_requests_and_clean_quit(self):
        app = App(self.weston, url=page_url("wayland.html"), args=["--show-on-launch", *QUIET_NET])
        self.addCleanup(app.cleanup)
        # A position stored in an X11 session: the size is used, the position cannot be.
        os.makedirs(os.path.dirname(app.prefs))
        with open(app.prefs, "w") as f:
            f.write("[windowpos]\r\nx=100\r\ny=80\r\nwidth=1000\r\nheight=640\r\n")
        app.start()
        app.wait_log("OnJSAppReadyEvent received")
        # Keep-above cannot hold: asking for it and asking whether it holds never answer yes.
        self.assertEqual(wait_result(app, "sticky"), [False, False, False, True])
        # The page's viewport follows the requests; full screen fills weston's output.
        try:
            self.assertEqual(wait_result(app, "sized"), [700, 500])
            self.assertEqual(wait_result(app, "sized-again"), [720, 520])
            self.assertEqual(wait_result(app, "raise"), True)
            self.assertEqual(wait_result(app, "after-raise"), [640, 480])
            self.assertEqual(wait_result(app, "fullscreen"), [1280, 800])
            self.assertEqual(wait_result(app, "windowed"), [640, 480])
            self.assertEqual(wait_result(app, "minimise"), True)
        except AssertionError:
            print("viewport sizes seen:", results(app).get("size"))
            raise
        # The log file has every line from its opening on; standard error those from before it. Read once
        # the program has ended: its log reaches the file in batches, the last at exit.
        exit_code = app.terminate()
        log = app.log_text() + app.stderr()
        self.assertEqual(log.count("Wayland has no keep-above"), 1)
        self.assertEqual(log.count("Wayland lets only the compositor place windows"), 1)
        self.assertEqual(exit_code, 0)


if __name__ == "__main__":
    unittest.main()
