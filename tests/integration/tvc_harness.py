"""Starts the real program under Xvfb and watches it from outside: X11, files, processes.

Every wait polls a condition against a deadline; nothing sleeps for a fixed time.
"""
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

BIN_DIR = os.environ.get("TVC_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
# TVC_EXECUTABLE runs an installed program instead of the build's.
EXECUTABLE = os.environ.get("TVC_EXECUTABLE") or os.path.abspath(os.path.join(BIN_DIR, "TavistoForWeb"))
PAGES = os.path.abspath(os.path.join(os.path.dirname(__file__), "pages"))
TITLE = "Tavisto for Web"


def wait_for(predicate, timeout=30.0, interval=0.05, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.1fs waiting for %s" % (timeout, what))
        time.sleep(interval)


def free_port():
    """A loopback TCP port nobody listens on right now."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def page_url(name):
    return "file://" + os.path.join(PAGES, name)


class Display:
    """An Xvfb server of its own, optionally with a window manager."""

    def __init__(self, window_manager=False, size="1920x1080x24"):
        read_fd, write_fd = os.pipe()
        # Without -noreset the server resets when its last client leaves, and a program started in
        # that moment cannot open the display.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size, "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number
        self.wm = None
        if window_manager:
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env(),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for(lambda: "_NET_SUPPORTING_WM_CHECK" in self.xprop_root(), what="openbox")

    def env(self):
        e = dict(os.environ)
        e["DISPLAY"] = self.name
        return e

    def run(self, *args):
        return subprocess.run(list(args), env=self.env(), capture_output=True, text=True).stdout

    def xprop_root(self):
        return self.run("xprop", "-root")

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env(), check=True)
        return path

    def close(self):
        for p in (self.wm, self.xvfb):
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()


class App:
    """One run of the program in a per-user tree of its own (XDG_* folders under `home`)."""

    def __init__(self, display, home=None, args=(), url=None, extra_env=None):
        self.display = display
        self.own_home = home is None
        self.home = home or tempfile.mkdtemp(prefix="tvc-it-")
        self.env = display.env() if display else {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        self.env.update({
            "HOME": self.home,
            "XDG_DATA_HOME": os.path.join(self.home, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_CACHE_HOME": os.path.join(self.home, "cache"),
            "XDG_RUNTIME_DIR": os.path.join(self.home, "run"),
            "NO_AT_BRIDGE": "1",
        })
        self.env.update(extra_env or {})
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.args = [EXECUTABLE] + list(args) + (["--url=" + url] if url else [])
        self.proc = None
        self.logs_before_start = set()
        self.stderr_path = os.path.join(self.home, "stderr-%d.txt" % time.monotonic_ns())

    # --- the per-user tree
    @property
    def tree(self):
        return os.path.join(self.env["XDG_DATA_HOME"], "CorvaneMedia", "TavistoForWeb")

    @property
    def logs(self):
        return os.path.join(self.tree, "Logs")

    @property
    def prefs(self):
        return os.path.join(self.tree, "Resources", "AppPreferrence.ini")

    @property
    def autostart(self):
        return os.path.join(self.env["XDG_CONFIG_HOME"], "autostart", "TavistoForWebShortcut.desktop")

    def log_files(self, prefix):
        try:
            names = os.listdir(self.logs)
        except (FileNotFoundError, NotADirectoryError):  # not made (yet), or being removed
            return []
        return sorted(os.path.join(self.logs, f) for f in names if f.startswith(prefix))

    def log_text(self, prefix="BROWSER_PROCESS_LOG_"):
        """What this run logged: files left by earlier runs in the same tree are not read."""
        text = ""
        for f in self.log_files(prefix):
            if f in self.logs_before_start:
                continue
            with open(f, encoding="utf-8", errors="replace") as fh:
                text += fh.read()
        return text

    def wait_log(self, needle, prefix="BROWSER_PROCESS_LOG_", timeout=30.0):
        return wait_for(lambda: needle in self.log_text(prefix), timeout, what="log line %r" % needle)

    def console_log(self):
        path = os.path.join(self.logs, "TVCJSLog.log")
        if not os.path.exists(path):
            return ""
        with open(path, encoding="utf-8", errors="replace", newline="") as fh:
            return fh.read()

    def wait_console(self, needle, timeout=30.0):
        return wait_for(lambda: needle in self.console_log(), timeout, what="console line %r" % needle)

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as fh:
            return fh.read()

    def block_folder(self, path):
        """Puts a file where the program expects to make the folder `path`."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("a file where a folder should be")

    def register_url_recorder(self, schemes=("https", "http")):
        """A default handler of the test's own for `schemes` that writes down what it was asked to
        open (one address a line); returns the record's path."""
        record = os.path.join(self.home, "opened.txt")
        self.register_default_application("tvc-recorder", "%u", ["x-scheme-handler/" + s for s in schemes],
                                          'env > %s.env\necho "$1" >> %s\n' % (record, record))
        return record

    def register_default_application(self, name, argument, mime_types, script_body):
        """A shell script of the test's own (in the program's XDG_DATA_HOME/XDG_CONFIG_HOME) as the
        default application for `mime_types`."""
        script = os.path.join(self.home, name + ".sh")
        with open(script, "w") as f:
            f.write("#!/bin/sh\n" + script_body)
        os.chmod(script, 0o755)
        apps = os.path.join(self.env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, name + ".desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=%s\nExec=%s %s\nMimeType=%s;\n"
                    % (name, script, argument, ";".join(mime_types)))
        os.makedirs(self.env["XDG_CONFIG_HOME"], exist_ok=True)
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\n" + "".join("%s=%s.desktop\n" % (m, name) for m in mime_types))

    def opener_environment(self, record):
        """The environment the last opened address's handler was started with."""
        with open(record + ".env") as f:
            return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)

    def opened_urls(self, record):
        if not os.path.exists(record):
            return []
        with open(record) as f:
            return f.read().split()

    # --- the process
    def start(self):
        self.logs_before_start = set(self.log_files(""))
        self.stderr_file = open(self.stderr_path, "w")
        self.proc = subprocess.Popen(self.args, env=self.env, stdout=subprocess.DEVNULL, stderr=self.stderr_file,
                                     cwd=self.home)
        return self

    def run_to_end(self, timeout=30):
        self.start()
        return self.proc.wait(timeout)

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def terminate(self, timeout=20):
        if self.alive():
            self.proc.send_signal(signal.SIGTERM)
        return self.proc.wait(timeout)

    def children(self):
        """Web and network processes started by the program."""
        out = subprocess.run(["pgrep", "-P", str(self.proc.pid)], capture_output=True, text=True).stdout
        return [int(p) for p in out.split()]

    def web_process_pids(self):
        """The web processes themselves: in the sandbox they run under bubblewrap's processes."""
        parents = {}
        for entry in os.listdir("/proc"):
            try:
                with open("/proc/%s/stat" % entry) as f:
                    # The name is in parentheses and may hold spaces: the parent follows the last ")".
                    parents[int(entry)] = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, ValueError, IndexError):
                pass
        pids = []
        for pid in parents:
            ancestor = parents.get(pid)
            while ancestor and ancestor != self.proc.pid:
                ancestor = parents.get(ancestor)
            try:
                with open("/proc/%d/comm" % pid) as f:
                    if ancestor and f.read().strip() == "WebKitWebProces":
                        pids.append(pid)
            except OSError:
                pass
        return pids

    # --- the window, seen through X11
    def window_id(self, timeout=30.0):
        def find():
            # The class tells the main window from GTK's unmapped leader window.
            out = self.display.run("xdotool", "search", "--all", "--pid", str(self.proc.pid), "--class", "^CEFCLIENT$")
            for wid in out.split():
                if TITLE in self.display.run("xprop", "-id", wid, "WM_NAME"):
                    return wid
            return None
        return wait_for(find, timeout, what="the main window")

    def map_state(self, wid):
        for line in self.display.run("xwininfo", "-id", wid).splitlines():
            if "Map State:" in line:
                return line.split(":", 1)[1].strip()
        return None

    def geometry(self, wid):
        info = {}
        for line in self.display.run("xwininfo", "-id", wid).splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    info[key] = int(line.split(":", 1)[1])
        return (info.get("Absolute upper-left X"), info.get("Absolute upper-left Y"),
                info.get("Width"), info.get("Height"))

    def xprop(self, wid, prop):
        return self.display.run("xprop", "-id", wid, prop)

    def cleanup(self):
        if self.alive():
            self.proc.kill()
            self.proc.wait()
        if getattr(self, "stderr_file", None):
            self.stderr_file.close()
        if self.own_home:
            shutil.rmtree(self.home, ignore_errors=True)


class AppTestCase(unittest.TestCase):
    """A display per test class; apps started through `launch` are ended after each test."""

    window_manager = False
    screen = "1920x1080x24"

    @classmethod
    def setUpClass(cls):
        cls.display = Display(window_manager=cls.window_manager, size=cls.screen)

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def setUp(self):
        self.apps = []

    def tearDown(self):
        for app in reversed(self.apps):
            app.cleanup()

    def launch(self, **kwargs):
        app = App(self.display, **kwargs)
        self.apps.append(app)
        return app.start()
