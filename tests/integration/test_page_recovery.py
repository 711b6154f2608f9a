"""When the page cannot come: an unreachable start address shows its error and recovers by itself,
the keyboard reloads the page, and a page that stops answering can be left."""
import os
import time
import unittest

from bridge_support import QUIET_NET
from interapp_support import PageServer
from test_window import PAGE_RGB, SPLASH_RGB, pixel, wait_shown
from tvc_harness import AppTestCase, TITLE, free_port, page_url, wait_for

WHITE = (255, 255, 255)  # the load-error page's background


class RecoveryCase(AppTestCase):
    window_manager = True

    def start(self, url):
        app = self.launch(url=url, args=QUIET_NET + ["--show-on-launch", "--ws-ports=%d" % free_port()])
        return app, wait_shown(app)

    def colour(self, app, wid):
        """The colour of the window's lower left corner: splash, page or error page."""
        x, y, _, h = app.geometry(wid)
        return pixel(self.display.screenshot(os.path.join(app.home, "shot.png")), x + 10, y + h - 10)

    def key(self, *keys):
        self.display.run("xdotool", "key", "--delay", "30", *keys)

    def focus_page(self, app, wid):
        """Activates the window and clicks into the page, as a user would before typing."""
        self.display.run("xdotool", "windowactivate", "--sync", wid)
        x, y, w, h = app.geometry(wid)
        self.display.run("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1")

    def loads(self, app):
        return app.console_log().count("RELOAD loaded original")


class UnreachableStartTest(RecoveryCase):
    def test_the_error_is_seen_and_the_page_comes_once_its_address_answers(self):
        port = free_port()
        app, wid = self.start("http://127.0.0.1:%d/events.html?delayready=5000" % port)
        wait_for(lambda: self.colour(app, wid) == WHITE, what="the load-error page instead of the splash")
        server = PageServer(port)
        try:
            # The page comes without any input, and as at a start: under the splash until ready.
            wait_for(lambda: self.colour(app, wid) == SPLASH_RGB, 30, what="the splash over the page")
            app.wait_console("PAGE ready")
            wait_for(lambda: self.colour(app, wid) == PAGE_RGB, what="the page")
            self.assertIn("/events.html?delayready=5000", server.requests)
        finally:
            server.close()


class ReloadKeyTest(RecoveryCase):
    def start_page(self, query=""):
        app, wid = self.start(page_url("reload.html") + query)
        wait_for(lambda: self.loads(app) == 1, what="the page")
        self.focus_page(app, wid)
        return app

    def test_reload_keys_bring_the_page_back_as_it_came(self):
        app = self.start_page()
        for count, combination in enumerate(("F5", "ctrl+r", "ctrl+shift+r"), start=2):
            with self.subTest(key=combination):
                self.key("x")
                wait_for(lambda: app.console_log().count("RELOAD changed") == count - 1, what="the changed text")
                self.key(combination)
                wait_for(lambda: self.loads(app) == count, what="the page as it came")

    def test_a_page_that_handles_f5_itself_keeps_it(self):
        app = self.start_page("?keep")
        self.key("F5")
        app.wait_console("RELOAD kept F5")
        app.wait_console("RELOAD still here")
        self.assertEqual(self.loads(app), 1)


class HungPageTest(RecoveryCase):
    def dialogs(self, app, wid):
        out = self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.proc.pid),
                               "--name", "^%s$" % TITLE)
        return [w for w in out.split() if w != wid]

    def test_a_page_that_spins_gets_the_dialog_and_reload_brings_the_start_page_back(self):
        app, wid = self.start(page_url("reload.html"))
        wait_for(lambda: self.loads(app) == 1, what="the page")
        self.focus_page(app, wid)
        self.key("h")
        app.wait_console("RELOAD hanging")
        # The engine learns that the page hangs when it waits for an answer: a key the user presses.
        self.key("x")
        dialog = wait_for(lambda: self.dialogs(app, wid), 60, what="the page-not-responding dialog")[0]
        self.display.run("xdotool", "windowactivate", "--sync", dialog)
        self.key("alt+r")
        wait_for(lambda: self.loads(app) == 2, what="the start page again")
        wait_for(lambda: not self.dialogs(app, wid), what="the dialog to go")
        self.assertTrue(app.alive())


if __name__ == "__main__":
    unittest.main()
