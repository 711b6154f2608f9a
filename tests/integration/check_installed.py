"""The installed package, started as a user's desktop starts it: the menu entry's Exec line under
Xvfb with a fresh XDG tree. Run by scripts/package-check.sh after `apt-get install`; not a ctest."""
import os
import shlex
import subprocess
import sys
import unittest

from bridge_support import QUIET_NET
from interapp_support import RawPeer, envelope, free_port
from tvc_harness import App, AppTestCase, wait_for

ENTRY = "/usr/share/applications/tavisto-for-web.desktop"
APP_FOLDER = "/usr/lib/tavisto-for-web/"


def entry_value(path, key):
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith(key + "="):
                return line.split("=", 1)[1].strip()
    return None


class InstalledPackageTest(AppTestCase):
    def test_version_matches_the_package(self):
        expected = os.environ["TVC_EXPECTED_VERSION"]
        out = subprocess.run(["tavisto-for-web", "--version"], capture_output=True, text=True, check=True).stdout
        self.assertEqual(out, "Tavisto for Web %s\n" % expected)

    def test_menu_entry_starts_the_window_and_the_start_page(self):
        app = App(self.display)
        self.apps.append(app)
        # The entry's command, kept off the network.
        port = free_port()
        app.args = shlex.split(entry_value(ENTRY, "Exec")) + QUIET_NET + ["--ws-ports=%d" % port]
        self.assertEqual(os.path.realpath(app.args[0]), APP_FOLDER + "TavistoForWeb")
        app.start()
        try:
            wid = app.window_id(timeout=60)
        except AssertionError:
            print("exit code %s; standard error ends with:\n%s" % (app.proc.poll(), app.stderr()[-4000:]))
            raise
        wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
        # The desktop matches the window to its entry by the class.
        self.assertIn('"%s"' % entry_value(ENTRY, "StartupWMClass"), app.xprop(wid, "WM_CLASS"))
        app.wait_log("load finished file://%scef_js_app.html" % APP_FOLDER)
        app.wait_log("OnJSAppReadyEvent received")
        # The WebSocket listener runs on an event-loop plug-in the package must bring along.
        app.wait_log("listening on 127.0.0.1:%d" % port)
        with RawPeer(port) as peer:
            peer.send_text(envelope(umid="installed"))
        app.wait_log("LWS_CALLBACK_RECEIVE")
        # The autostart entry placed for the user starts the installed program.
        wait_for(lambda: os.path.exists(app.autostart), what="the autostart entry")
        self.assertEqual(shlex.split(entry_value(app.autostart, "Exec")), ["/usr/bin/tavisto-for-web"])
        self.assertEqual(app.terminate(), 0)


if __name__ == "__main__":
    sys.exit(unittest.main())
