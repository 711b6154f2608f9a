"""Web content runs in WebKit's sandbox: the web process sees none of the user's files, and its log,
the preferences, the machine id, the bridge, a crash reload and the quit still work. Where the
sandbox cannot start, the program runs without it and says so once."""
import hashlib
import hmac
import os
import signal
import sys
import unittest

from bridge_support import QUIET_NET, wait_result
from interapp_support import InterAppProgram, envelope, round_trips
from tvc_harness import Display, wait_for

RENDER_LOG = "RENDER_PROCESS_LOG_"
UNCONFINED = "web content runs without a sandbox"
MACHINE_ID_KEY = b"CorvaneMedia.TavistoForWeb.MachineID.v1"

# Starts the program in a mount namespace of its own where bubblewrap cannot be run, as on a
# machine without it. mount(8) refuses an ordinary account even there, the system call does not;
# the capabilities kept for it are dropped before the program starts.
HIDE_BWRAP = """
import ctypes, os, sys
libc = ctypes.CDLL(None, use_errno=True)
if libc.mount(b"/dev/null", b"/usr/bin/bwrap", None, 4096, None) != 0:  # MS_BIND
    sys.exit("cannot hide bwrap: " + os.strerror(ctypes.get_errno()))
libc.prctl(47, 4, 0, 0, 0)  # PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL
os.execv(sys.argv[1], sys.argv[1:])
"""
WITHOUT_BWRAP = ["unshare", "--map-current-user", "--keep-caps", "--mount", sys.executable, "-c", HIDE_BWRAP]


def expected_machine_id():
    with open("/etc/machine-id") as f:
        raw = f.read().strip().lower().encode()
    return hmac.new(MACHINE_ID_KEY, raw, hashlib.sha256).hexdigest()[:32].upper()


class SandboxCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = Display()

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def start(self, wrap=()):
        program = InterAppProgram(self.display, page="sandbox.html", args=QUIET_NET)
        self.addCleanup(program.cleanup)
        app = program.app
        app.args = list(wrap) + app.args
        # A locale the page can only know by reading the preferences from inside the sandbox.
        os.makedirs(os.path.dirname(app.prefs))
        with open(app.prefs, "w") as f:
            f.write("[language]\nlocale=fr_FR\n")
        self.planted = os.path.join(app.home, ".ssh", "id_test")
        os.makedirs(os.path.dirname(self.planted))
        with open(self.planted, "w") as f:
            f.write("secret\n")
        program.start()
        return program

    def web_process(self, app):
        pids = wait_for(app.web_process_pids, what="the web process")
        self.assertEqual(len(pids), 1)
        return pids[0]

    def same_mounts(self, app, pid):
        return os.readlink("/proc/%d/ns/mnt" % pid) == os.readlink("/proc/%d/ns/mnt" % app.proc.pid)

    def assert_page_works(self, program, umid):
        ids = wait_result(program.app, "ids")
        self.assertEqual(ids, {"machineId": expected_machine_id(), "locale": "fr_FR"})
        text = envelope(payload={"n": 1}, umid=umid)
        with program.peer() as peer:
            self.assertEqual(round_trips(peer, [text]), [text])


class ConfinedTest(SandboxCase):
    def test_the_web_process_sees_no_home_and_everything_still_works(self):
        program = self.start()
        app = program.app
        web = self.web_process(app)
        self.assertFalse(self.same_mounts(app, web))
        root = "/proc/%d/root" % web
        render_log = wait_for(lambda: app.log_files(RENDER_LOG), what="the render log")[0]
        # It writes the log we read, so the planted file's absence is not a blind view.
        self.assertTrue(os.path.exists(root + render_log))
        self.assertFalse(os.path.exists(root + self.planted))

        render_size = os.path.getsize(render_log)
        self.assert_page_works(program, "first")
        wait_for(lambda: os.path.getsize(render_log) > render_size,
                 what="the render log to grow")

        # A crashed web process comes back confined, with its bridge.
        os.kill(web, signal.SIGKILL)
        wait_for(lambda: app.console_log().count("PAGE ready") == 2, what="the reloaded page")
        again = self.web_process(app)
        self.assertNotEqual(again, web)
        self.assertFalse(self.same_mounts(app, again))
        text = envelope(payload={"n": 2}, umid="after-crash")
        with program.peer() as peer:
            self.assertEqual(round_trips(peer, [text]), [text])

        self.assertEqual(app.terminate(), 0)
        self.assertIn("last browser closed, ending the message loop", app.log_text())
        self.assertNotIn(UNCONFINED, app.stderr())


class UnconfinedTest(SandboxCase):
    def test_without_bubblewrap_the_program_runs_unconfined_and_says_so_once(self):
        program = self.start(WITHOUT_BWRAP)
        app = program.app
        self.assertTrue(self.same_mounts(app, self.web_process(app)))
        self.assert_page_works(program, "unconfined")
        self.assertEqual(app.stderr().count(UNCONFINED), 1)
        self.assertEqual(app.terminate(), 0)
        self.assertEqual(app.log_text().count(UNCONFINED), 1)

    def test_the_switch_turns_it_off(self):
        program = InterAppProgram(self.display, page="sandbox.html", args=QUIET_NET + ["--disable-web-sandbox"])
        self.addCleanup(program.cleanup)
        app = program.start().app
        self.assertTrue(self.same_mounts(app, self.web_process(app)))


if __name__ == "__main__":
    unittest.main()
