"""The bridge and the permissions belong to the application's own origins: frames and pages of
another origin get neither, whatever page embeds them or however they are reached."""
import os
import unittest
import urllib.parse

from bridge_support import BridgeCase, wait_for, wait_result
from interapp_support import HandshakeRefused, PageServer, RawPeer
from tvc_harness import Display

BRIDGE = {"tvd": "object", "app": "object", "fullscreenhandler": "object"}
NONE = {"tvd": "undefined", "app": "undefined", "fullscreenhandler": "undefined"}


class OriginsTest(BridgeCase):
    """The application's page at http://127.0.0.1:PORT embeds frames of every kind, then goes to a
    page of http://localhost:PORT (the same server, another origin), which comes back."""

    @classmethod
    def setUpClass(cls):
        cls.display = Display()
        cls.apps, cls.peer = [], None
        cls.server = PageServer()
        try:
            foreign = "http://localhost:%d" % cls.server.port
            cls.app = cls.start_app(url=cls.server.url("origin_app.html?foreign=" + urllib.parse.quote(foreign)),
                                    args=["--show-on-launch"])
            wid = cls.app.window_id()
            wait_for(lambda: cls.app.map_state(wid) == "IsViewable", what="the window on screen")
        except Exception:
            cls.tearDownClass()
            raise
        # Each page asks for notifications when clicked, then moves on. A page that went astray is
        # left for the tests to tell.
        try:
            for stage in ("app-first", "top", "app-back"):
                wait_result(cls.app, "click-" + stage)
                cls.display.run("xdotool", "mousemove", "--window", wid, "300", "300")
                cls.display.run("xdotool", "click", "1")
                wait_result(cls.app, "permission-" + stage)
        except AssertionError:
            pass

    def stored(self):
        if not os.path.exists(self.app.prefs):
            return ""
        with open(self.app.prefs) as f:
            return f.read()

    def test_frames_have_the_bridge_by_their_origin_not_their_address(self):
        expected = {"app-first": BRIDGE, "frame-same": BRIDGE, "frame-blank": BRIDGE, "frame-srcdoc": BRIDGE,
                    "frame-foreign": NONE, "frame-data": NONE, "frame-sandboxed": NONE}
        self.assertEqual({name: wait_result(self.app, name) for name in expected}, expected)

    def test_a_foreign_frame_cannot_store_a_start_address(self):
        wait_result(self.app, "attacked-foreign")
        self.assertNotIn("evil.example", self.stored())

    def test_a_foreign_page_has_no_bridge_and_coming_back_restores_it(self):
        self.assertEqual(wait_result(self.app, "frame-top"), NONE)
        self.assertEqual(wait_result(self.app, "app-back"), BRIDGE)

    def test_the_browser_refuses_messages_while_a_foreign_page_is_shown(self):
        # The application's frame in the foreign page has its bridge, but what it asks is refused.
        self.assertEqual(wait_result(self.app, "frame-inner"), BRIDGE)
        self.app.wait_log("refused SetLocaleMessage: the page shown is of http://localhost:%d" % self.server.port)
        wait_result(self.app, "app-back")
        self.assertNotIn("xx_XX", self.stored())

    def test_only_the_applications_own_origins_get_permissions(self):
        answers = {stage: wait_result(self.app, "permission-" + stage) for stage in ("app-first", "top", "app-back")}
        self.assertEqual(answers, {"app-first": "granted", "top": "denied", "app-back": "granted"})
        self.app.wait_log("refused the notifications permission: the page shown is of http://localhost:%d"
                          % self.server.port)


class StartAddressTest(BridgeCase):
    """What the page stores as its start address, and a start address an older version stored for
    another site, widen neither the bridge nor the WebSocket's Origin check, in this run or the
    next."""

    page = "origin_start.html"
    served = True

    def assert_origins(self, app):
        port = int(next(a for a in app.args if a.startswith("--ws-ports=")).split("=")[1])
        app.wait_log("listening on 127.0.0.1:%d" % port)
        configured = ("http://127.0.0.1:%d" % self.server.port, "http://127.0.0.1:9")
        let_in = {}
        for origin in ("https://evil.example", "http://evil.example", "file://") + configured:
            try:
                RawPeer(port, "/ext", origin=origin).drop()
                let_in[origin] = True
            except HandshakeRefused:
                let_in[origin] = False
        self.assertEqual([origin for origin, yes in let_in.items() if yes], list(configured))

    def test_the_page_cannot_make_another_site_the_applications(self):
        self.assertEqual(wait_result(self.app, "start-address"), ["", "", ""])
        self.assertFalse(os.path.exists(self.app.prefs) and "starturl" in open(self.app.prefs).read())
        self.assert_origins(self.app)

        # As an older version would have let it: another site stored, then the next start.
        self.app.terminate()
        os.makedirs(os.path.dirname(self.app.prefs), exist_ok=True)
        with open(self.app.prefs, "w") as f:
            f.write("[url]\r\nstarturl=https://evil.example/\r\n")
        again = self.start_app(url=self.server.url("origin_start.html?own=1"), home=self.app.home)
        own = self.server.url("origin_start.html?own=1&locale=")
        # The console file is the profile's: the first run's line stays until this run's page.
        self.assertEqual(wait_for(lambda: (lambda r: r if len(r) == 4 else None)(
            wait_result(again, "start-address")), what="this run's start addresses"),
            ["https://evil.example/", "https://evil.example/", "https://evil.example/", own])
        self.assert_origins(again)


if __name__ == "__main__":
    unittest.main()
