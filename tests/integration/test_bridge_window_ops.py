"""Window operations asked for by the page, seen from outside through X11 under openbox.

The methods share one program run and go in name order: each leaves the window as the next expects.
"""
import os
import re
import signal
import subprocess
import unittest

from bridge_support import (BridgeCase, Peer, active_window, frame_geometry, is_iconic, net_wm_state, received,
                            received_at_least, results, stacking, wait_for, wait_result)


class WindowOpsTest(BridgeCase):
    page = "bridge_window.html"
    window_manager = True
    extra_args = ["--show-on-launch"]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.wid = cls.app.window_id()
        wait_for(lambda: cls.app.map_state(cls.wid) == "IsViewable", what="the window on screen")
        wait_result(cls.app, "page-ready")
        cls.peer = Peer(cls.port)

    def state(self):
        return net_wm_state(self.app, self.wid)

    def outer(self):
        return frame_geometry(self.app, self.wid)

    def size(self):
        return self.outer()[2:]

    def wait_state(self, atom, present=True):
        wait_for(lambda: (atom in self.state()) == present, 10, what="%s %s" % (atom, present))

    def test_01_window_size_and_clamp(self):
        self.assertIs(self.command("call", "SetWindowSize", 820, 610), True)
        wait_for(lambda: self.size() == (820, 610), 10, what="820x610")
        # Larger than the screen: clamped to the work area and pulled back on screen.
        self.command("call", "SetWindowSize", 5000, 4000)
        wait_for(lambda: self.size()[0] <= 1920 and self.size()[1] <= 1080 and self.size()[0] > 1800, 10,
                 what="the clamped size")
        x, y, w, h = self.outer()
        self.assertTrue(x >= 0 and y >= 0 and x + w <= 1920 and y + h <= 1080, (x, y, w, h))
        self.command("call", "SetWindowSize", 480, 380)
        wait_for(lambda: self.size() == (480, 380), 10, what="480x380")

    def test_02_minimum_size_grows_the_window_and_sets_the_hints(self):
        self.assertIs(self.command("call", "SetMinimumWindowSize", 500, 400), True)
        wait_for(lambda: "minimum size: 500 by 400" in self.app.xprop(self.wid, "WM_NORMAL_HINTS"), 10,
                 what="the new minimum in the hints")
        # The hints bound the content; the program sizes the outer rectangle: at least the minimum.
        wait_for(lambda: self.size()[0] >= 500 and self.size()[1] >= 400, 10, what="grown to the minimum")
        self.app.wait_log("ClientHandler::SetMinimumWindowSize : Adjusting the window dimensions.")
        # Below the minimum: logged as an error and still asked for.
        self.command("call", "SetWindowSize", 450, 350)
        self.app.wait_log("incorrect window size params.")
        self.command("call", "SetWindowSize", 900, 700)
        wait_for(lambda: self.size() == (900, 700), 10, what="900x700")
        self.command("call", "SetMinimumWindowSize", 400, 300)
        self.app.wait_log("ClientHandler::SetMinimumWindowSize : NOT Adjusting the window dimensions.")
        wait_for(lambda: "minimum size: 400 by 300" in self.app.xprop(self.wid, "WM_NORMAL_HINTS"), 10,
                 what="the minimum back at 400x300")
        self.assertEqual(self.size(), (900, 700))

    def test_03_keep_above_on_and_off(self):
        self.assertIs(self.command("call", "StickWindowOnTop", True), True)
        self.wait_state("_NET_WM_STATE_ABOVE")
        self.assertIs(self.command("call", "IsWindowStickyOnTop", True), True)
        self.command("call", "StickWindowOnTop", False)
        self.wait_state("_NET_WM_STATE_ABOVE", False)

    def test_04_full_screen_property_and_back_to_the_same_rectangle(self):
        before = self.outer()
        sent = received(self.app, "v8_to_browser.fullscreen")
        self.assertIs(self.command("fsGet"), False)
        self.assertEqual(self.command("fsSet", 1), {"error": "Invalid value type"})
        self.assertEqual(self.command("fsSet", "true"), {"error": "Invalid value type"})
        self.assertIs(self.command("fsGet"), False)
        self.command("fsSet", True)
        self.wait_state("_NET_WM_STATE_FULLSCREEN")
        wait_for(lambda: self.app.geometry(self.wid) == (0, 0, 1920, 1080), 10, what="the whole screen")
        wait_result(self.app, "toggle")
        self.command("fsSet", True)
        self.assertIs(self.command("fsGet"), True)
        self.assertEqual(received_at_least(self.app, "v8_to_browser.fullscreen", sent + 1), sent + 1)

        # A reload starts with a new accessor: false, and false sends nothing.
        self.command("reload")
        wait_result(self.app, "page-ready", count=2)
        self.assertIs(self.command("fsGet"), False)
        self.assertIn("_NET_WM_STATE_FULLSCREEN", self.state())
        self.command("fsSet", False)
        self.assertEqual(received(self.app, "v8_to_browser.fullscreen"), sent + 1)
        self.command("fsSet", True)
        self.command("fsSet", False)
        self.wait_state("_NET_WM_STATE_FULLSCREEN", False)
        wait_for(lambda: self.outer() == before, 10, what="the rectangle from before")
        self.assertEqual(received_at_least(self.app, "v8_to_browser.fullscreen", sent + 3), sent + 3)
        # The page after the reload heard both echoes, in order.
        self.assertEqual(self.command("toggles"), [True, False])

    def test_05_maximise(self):
        self.assertIs(self.command("call", "MaximizeWindow"), True)
        self.wait_state("_NET_WM_STATE_MAXIMIZED_VERT")
        self.assertIn("_NET_WM_STATE_MAXIMIZED_HORZ", self.state())

    def wait_page_sees(self, function, value):
        wait_for(lambda: self.command("call", function) is value, 10, what="%s() %s" % (function, value))

    def test_06_minimise_then_bring_to_front(self):
        self.wait_page_sees("IsAppActive", True)
        self.assertIs(self.command("call", "MinimizeWindow"), True)
        wait_for(lambda: is_iconic(self.app, self.wid), 10, what="the window iconic")
        self.wait_state("_NET_WM_STATE_HIDDEN")
        self.wait_page_sees("IsAppMinimized", True)
        self.wait_page_sees("IsAppActive", False)
        self.assertIs(self.command("call", "BringWindowToFront", 1), True)
        wait_for(lambda: not is_iconic(self.app, self.wid), 10, what="the window back")
        self.wait_state("_NET_WM_STATE_HIDDEN", False)
        self.app.wait_log("iIsTriggeredFrom_OnTrayIconMenuOpenApplication=1 --")
        self.wait_page_sees("IsAppMinimized", False)
        self.wait_page_sees("IsAppActive", True)
        # Maximised before the minimise: maximised again. The user restores it for the next tests.
        self.assertIn("_NET_WM_STATE_MAXIMIZED_VERT", self.state())
        self.display.run("wmctrl", "-i", "-r", self.wid, "-b", "remove,maximized_vert,maximized_horz")
        self.wait_state("_NET_WM_STATE_MAXIMIZED_VERT", False)

    def test_07_bring_to_front_raises_over_another_window(self):
        other = subprocess.Popen(["xmessage", "-geometry", "1900x1000+0+0", "another window"],
                                 env=self.display.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            mine = int(self.wid)
            wait_for(lambda: len(stacking(self.display)) >= 2 and stacking(self.display)[-1] != mine
                     and active_window(self.display) not in (None, mine), 10, what="the other window on top")
            self.wait_page_sees("IsAppActive", False)
            self.assertIs(self.command("call", "BringWindowToFront"), True)
            wait_for(lambda: stacking(self.display)[-1] == mine, 10, what="the window on top again")
            wait_for(lambda: active_window(self.display) == mine, 10, what="the window active")
            self.wait_page_sees("IsAppActive", True)
        finally:
            other.kill()
            other.wait()

    def test_07b_a_new_web_process_learns_the_state_with_its_page(self):
        ready = len(results(self.app).get("page-ready", []))
        for pid in self.app.web_process_pids():
            os.kill(pid, signal.SIGKILL)
        wait_result(self.app, "page-ready", count=ready + 1)
        self.assertIs(self.command("call", "IsAppActive"), True)

    def test_08_hide_unmaps_and_tells_the_page(self):
        self.assertIs(self.command("call", "HideApp"), True)
        wait_for(lambda: self.app.map_state(self.wid) == "IsUnMapped", 10, what="the window hidden")
        self.assertEqual(wait_result(self.app, "hidden"), [])
        self.assertTrue(self.app.alive())
        self.command("call", "BringWindowToFront", 1)
        wait_for(lambda: self.app.map_state(self.wid) == "IsViewable", 10, what="the window shown again")

    def test_09_a_size_asked_for_just_before_full_screen_is_kept(self):
        self.command("call", "SetWindowSize", 900, 700)
        wait_for(lambda: self.size() == (900, 700), 10, what="900x700")
        sent = received(self.app, "v8_to_browser.fullscreen")
        self.assertIs(self.command("sizeThenFullScreen", 1300, 760), True)
        wait_for(lambda: received(self.app, "v8_to_browser.fullscreen") == sent + 2, 10, what="on and off")
        self.wait_state("_NET_WM_STATE_FULLSCREEN", False)
        wait_for(lambda: self.size() == (1300, 760), 10, what="1300x760 after full screen")


if __name__ == "__main__":
    unittest.main()
