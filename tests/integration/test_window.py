"""The main window as a user meets it: placement, minimum size, About box, popups,
the console file, a crashed web process and the splash."""
import os
import re
import signal
import subprocess
import unittest

from bridge_support import QUIET_NET, active_window, is_iconic, net_wm_state
from interapp_support import InterAppProgram, envelope
from tvc_harness import App, AppTestCase, page_url, wait_for

SPLASH_RGB = (27, 32, 37)
PAGE_RGB = (0, 255, 0)  # events.html's background


def write_prefs(app, text):
    os.makedirs(os.path.dirname(app.prefs), exist_ok=True)
    with open(app.prefs, "w") as f:
        f.write(text)


def read_prefs(app):
    with open(app.prefs) as f:
        return f.read()


def frame_extents(app, wid):
    out = app.xprop(wid, "_NET_FRAME_EXTENTS")
    m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", out)
    return tuple(int(v) for v in m.groups()) if m else (0, 0, 0, 0)


def outer_rect(app, wid):
    """The window's rectangle with its decorations, as the program stores it."""
    x, y, w, h = app.geometry(wid)
    left, right, top, bottom = frame_extents(app, wid)
    return (x - left, y - top, w + left + right, h + top + bottom)


def wait_shown(app):
    wid = app.window_id()
    wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
    return wid


def pixel(path, x, y):
    """The colour at x, y of a PNG, as an (r, g, b) tuple."""
    out = subprocess.run(["convert", path, "-crop", "1x1+%d+%d" % (x, y), "-depth", "8", "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    m = re.search(r"#([0-9A-Fa-f]{6})", out)
    return tuple(int(m.group(1)[i:i + 2], 16) for i in (0, 2, 4))


class PlacementTest(AppTestCase):
    window_manager = True

    def test_fresh_profile_opens_centred_at_the_default_size(self):
        app = self.launch(url=page_url("events.html"), args=["--show-on-launch"])
        wid = wait_shown(app)
        wait_for(lambda: outer_rect(app, wid)[2:] == (1220, 700), what="the default size")
        x, y, w, h = outer_rect(app, wid)
        self.assertLessEqual(abs(x - (1920 - 1220) // 2), 2)
        self.assertLessEqual(abs(y - (1080 - 700) // 2), 2)

    def test_stored_placement_is_restored_and_saved_again_on_quit(self):
        app = App(self.display, url=page_url("events.html"), args=["--show-on-launch"])
        self.apps.append(app)
        write_prefs(app, "[windowpos]\r\nx=100\r\ny=80\r\nwidth=1300\r\nheight=750\r\n")
        app.start()
        wid = wait_shown(app)
        wait_for(lambda: outer_rect(app, wid) == (100, 80, 1300, 750), what="the stored placement")
        self.assertEqual(app.terminate(), 0)
        prefs = read_prefs(app)
        for key, value in (("x", 100), ("y", 80), ("width", 1300), ("height", 750)):
            self.assertIn("%s=%d" % (key, value), prefs)

    def test_unusable_placements_give_the_default(self):
        cases = [
            ("[windowpos]\r\nx=3000\r\ny=10\r\nwidth=1220\r\nheight=700\r\n", None),  # off the screen
            ("[windowpos]\r\nx=abc\r\ny=\r\nwidth=-5\r\nheight=99999999999999\r\n", None),  # garbage
            ("[windowpos]\r\nx=200\r\ny=150\r\nwidth=800\r\nheight=600\r\n", (200, 150)),  # too small
        ]
        for text, corner in cases:
            with self.subTest(prefs=text):
                app = App(self.display, url=page_url("events.html"), args=["--show-on-launch"])
                self.apps.append(app)
                write_prefs(app, text)
                app.start()
                wid = wait_shown(app)
                wait_for(lambda: outer_rect(app, wid)[2:] == (1220, 700), what="1220 x 700")
                x, y, _, _ = outer_rect(app, wid)
                expected = corner or ((1920 - 1220) // 2, (1080 - 700) // 2)
                self.assertLessEqual(abs(x - expected[0]), 2)
                self.assertLessEqual(abs(y - expected[1]), 2)
                self.assertEqual(app.terminate(), 0)


class SmallScreenPlacementTest(AppTestCase):
    """The default and a stored placement larger than a 1024 x 768 screen fit it."""
    window_manager = True
    screen = "1024x768x24"

    def test_the_window_fits_the_screen(self):
        cases = [
            (None, (0, 34, 1024, 700)),  # a fresh profile: centred after shrinking
            ("[windowpos]\r\nx=600\r\ny=500\r\nwidth=420\r\nheight=260\r\n", (0, 68, 1024, 700)),
        ]
        for prefs, expected in cases:
            with self.subTest(prefs=prefs):
                app = App(self.display, url=page_url("events.html"), args=["--show-on-launch"])
                self.apps.append(app)
                if prefs:
                    write_prefs(app, prefs)
                app.start()
                wid = wait_shown(app)
                wait_for(lambda: outer_rect(app, wid)[2:] == expected[2:], what="%dx%d" % expected[2:])
                x, y, _, _ = outer_rect(app, wid)
                self.assertLessEqual(abs(x - expected[0]) + abs(y - expected[1]), 2, outer_rect(app, wid))
                self.assertEqual(app.terminate(), 0)


class ScaledScreenPlacementTest(AppTestCase):
    """At two device pixels a pixel a full HD screen is 960 x 540: the window fills it, title bar
    included."""
    window_manager = True

    def test_the_window_and_its_title_bar_are_on_the_screen(self):
        app = self.launch(url=page_url("events.html"), args=["--show-on-launch"], extra_env={"GDK_SCALE": "2"})
        wid = wait_shown(app)
        wait_for(lambda: outer_rect(app, wid)[2] >= 1900, what="the window grown to the screen's width")
        x, y, w, h = outer_rect(app, wid)
        self.assertTrue(0 <= x and 0 <= y and x + w <= 1920 and y + h <= 1080, (x, y, w, h))
        self.assertGreaterEqual(h, 1000)


class MinimumSizeTest(AppTestCase):
    window_manager = True

    def test_minimum_size_holds_against_a_resize(self):
        app = self.launch(url=page_url("events.html"), args=["--show-on-launch"])
        wid = wait_shown(app)
        self.assertIn("minimum size: 400 by 300", app.xprop(wid, "WM_NORMAL_HINTS"))
        self.display.run("xdotool", "windowsize", wid, "100", "80")
        wait_for(lambda: app.geometry(wid)[2] != 1220 - sum(frame_extents(app, wid)[:2]), what="a resize")
        _, _, w, h = app.geometry(wid)
        self.assertGreaterEqual(w, 400)
        self.assertGreaterEqual(h, 300)


def cardinal(text):
    m = re.search(r"=\s*(\d+)", text)
    return int(m.group(1)) if m else None


class WorkspaceTest(AppTestCase):
    """The extension's "bringWindowToFront" reaches the user on the desktop they are on."""
    window_manager = True

    def current_desktop(self):
        return cardinal(self.display.run("xprop", "-root", "_NET_CURRENT_DESKTOP"))

    def test_bring_to_front_moves_the_window_to_the_current_desktop(self):
        self.display.run("wmctrl", "-n", "2")
        program = InterAppProgram(self.display, args=QUIET_NET + ["--show-on-launch"])
        self.apps.append(program.app)
        program.start()
        app = program.app
        wid = wait_shown(app)
        maximised = "_NET_WM_STATE_MAXIMIZED_VERT"
        for maximise, minimise in ((False, False), (True, True)):
            with self.subTest(maximised=maximise, minimised=minimise):
                self.display.run("wmctrl", "-s", "0")
                self.display.run("wmctrl", "-i", "-r", wid, "-t", "0")
                wait_for(lambda: app.map_state(wid) == "IsViewable", 10, what="the window on desktop 0")
                if maximise:
                    self.display.run("wmctrl", "-i", "-r", wid, "-b", "add,maximized_vert,maximized_horz")
                    wait_for(lambda: maximised in net_wm_state(app, wid), 10, what="maximised")
                if minimise:
                    self.display.run("xdotool", "windowminimize", wid)
                    wait_for(lambda: is_iconic(app, wid), 10, what="the window iconic")
                self.display.run("wmctrl", "-s", "1")
                wait_for(lambda: self.current_desktop() == 1, 10, what="the user on desktop 1")
                with program.peer() as peer:
                    peer.send_text(envelope(target="tvd.native", type_="request", sub_type="bringWindowToFront"))
                    wait_for(lambda: cardinal(app.xprop(wid, "_NET_WM_DESKTOP")) == 1, 10, what="the window on desktop 1")
                    wait_for(lambda: active_window(self.display) == int(wid), 10, what="the window active")
                self.assertEqual(self.current_desktop(), 1)
                self.assertEqual(app.map_state(wid), "IsViewable")
                self.assertFalse(is_iconic(app, wid))
                self.assertEqual(maximised in net_wm_state(app, wid), maximise)


class AboutBoxTest(AppTestCase):
    window_manager = True

    def about_windows(self, app):
        out = self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.proc.pid), "--name", "^About$")
        return out.split()

    def test_accelerator_opens_the_about_box_and_escape_closes_it(self):
        app = self.launch(url=page_url("events.html"), args=["--show-on-launch", "--multi-threaded-message-loop"])
        wid = wait_shown(app)
        app.wait_console("PAGE ready")
        self.display.run("xdotool", "windowactivate", "--sync", wid)
        self.display.run("xdotool", "key", "alt+slash")
        about = wait_for(lambda: self.about_windows(app), what="the About box")
        shot = self.display.screenshot(os.path.join(app.home, "about.png"))
        self.assertTrue(os.path.getsize(shot) > 0)
        self.display.run("xdotool", "windowactivate", "--sync", about[0])
        self.display.run("xdotool", "key", "Escape")
        wait_for(lambda: not self.about_windows(app), what="the About box to close")
        # Opens again after it was closed.
        self.display.run("xdotool", "windowactivate", "--sync", wid)
        self.display.run("xdotool", "key", "alt+slash")
        wait_for(lambda: self.about_windows(app), what="the About box again")
        self.assertEqual(app.terminate(), 0)


class PageTest(AppTestCase):
    def test_console_lines_land_whole_in_the_console_file(self):
        app = self.launch(url=page_url("events.html"))
        app.wait_console('hello 42 {"a":1}')
        self.assertTrue(app.console_log().endswith("\r\n"))

    def test_popup_outside_the_domain_list_opens_in_the_default_browser(self):
        app = App(self.display, url=page_url("events.html") + "?action=popup-outside")
        self.apps.append(app)
        record = app.register_url_recorder()
        app.start()
        wait_for(lambda: os.path.exists(record), what="the default browser to be asked")
        with open(record) as f:
            self.assertEqual(f.read().strip(), "https://outside.example/popup?from=test")
        self.assertEqual(len(self.display.run("xdotool", "search", "--all", "--pid", str(app.proc.pid),
                                              "--onlyvisible", "--name", "allowed popup").split()), 0)

    def test_popup_inside_the_domain_list_opens_in_the_app(self):
        app = self.launch(url=page_url("events.html") + "?action=popup-inside")
        app.wait_console("POPUP loaded")

    def test_a_popups_end_closes_it_and_leaves_the_main_pages_reloads_alone(self):
        app = self.launch(url=page_url("events.html") + "?action=popup-inside")

        def popups():  # the main window stays hidden
            out = self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.proc.pid),
                                   "--name", ".")
            return set(out.split())
        # The popup shares the page's web process: each end is reported for both views. The page opens
        # a popup at every load.
        for loads in range(1, 3):
            wait_for(lambda: app.console_log().count("POPUP loaded") == loads, what="popup %d" % loads)
            popup = wait_for(popups, what="the popup's window")
            for pid in wait_for(app.web_process_pids, what="the web process"):
                os.kill(pid, signal.SIGKILL)
            wait_for(lambda: app.console_log().count("PAGE ready") == loads + 1, what="the page again")
            wait_for(lambda: not popup & popups(), what="the popup closed")
        self.assertEqual(app.console_log().count("PAGE loaded"), 3)

    def test_killed_web_process_reloads_the_start_page(self):
        app = self.launch(url=page_url("events.html"))
        app.wait_console("PAGE ready")
        first = wait_for(app.web_process_pids, what="the web process")
        for pid in first:
            os.kill(pid, signal.SIGKILL)
        wait_for(lambda: app.console_log().count("PAGE ready") >= 2, what="the page loaded again")
        self.assertTrue(app.alive())
        self.assertTrue(set(app.web_process_pids()).isdisjoint(first))


def edge_width(path, rect):
    """The mean number of in-between pixels where a row of `rect` (x, y, w, h) in the PNG at `path`
    goes from the dark background to a light drawing or back: about 1 for a drawing made for the
    screen's pixels, more for one enlarged from fewer pixels."""
    x, y, w, h = rect
    raw = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "-colorspace", "Gray",
                          "-depth", "8", "gray:-"], capture_output=True, check=True).stdout
    dark, light = 50, 150
    widths = []
    for row in range(h):
        line = raw[row * w:(row + 1) * w]
        last_end, last_kind = None, None  # where the last dark or light pixel was, and which
        for i, v in enumerate(line):
            kind = "dark" if v < dark else "light" if v > light else None
            if kind is None:
                continue
            if last_kind and kind != last_kind:
                widths.append(i - last_end - 1)
            last_end, last_kind = i, kind
    return sum(widths) / len(widths) if widths else None


class SplashTest(AppTestCase):
    window_manager = True

    def test_splash_covers_the_window_until_the_page_is_ready(self):
        app = self.launch(url=page_url("events.html") + "?delayready=4000", args=["--show-on-launch"])
        wid = wait_shown(app)
        wait_for(lambda: "first frame drawn" in app.log_text() + app.stderr(), what="the splash frame")
        x, y, w, h = app.geometry(wid)
        before = self.display.screenshot(os.path.join(app.home, "splash.png"))
        self.assertNotIn("PAGE ready", app.console_log())
        self.assertEqual(pixel(before, x + 10, y + h - 10), SPLASH_RGB)
        app.wait_log("OnJSAppReadyEvent received")
        def page_shown():
            shot = self.display.screenshot(os.path.join(app.home, "page.png"))
            return pixel(shot, x + 10, y + h - 10) == PAGE_RGB
        wait_for(page_shown, what="the page under the splash")

    def test_splash_picture_is_drawn_for_the_screens_pixels(self):
        app = self.launch(url=page_url("events.html") + "?delayready=30000", args=["--show-on-launch"],
                          extra_env={"GDK_SCALE": "2"})
        wid = wait_shown(app)
        wait_for(lambda: "first frame drawn" in app.log_text() + app.stderr(), what="the splash frame")
        rect = app.geometry(wid)

        def drawn_edges():  # none until the frame reaches the screen
            return edge_width(self.display.screenshot(os.path.join(app.home, "splash.png")), rect)
        # Measured: about 0.7 for the picture drawn at twice its size, 2.6 for it enlarged.
        self.assertLess(wait_for(drawn_edges, what="the splash on screen"), 1.5)


if __name__ == "__main__":
    unittest.main()
