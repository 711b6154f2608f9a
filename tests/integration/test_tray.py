"""The tray icon and its menu as a tray host on the session bus sees them, the close box with and
without such a host, and a second launch."""
import os
import signal
import socket
import time
import unittest

from bridge_support import QUIET_NET, Peer, active_window, is_iconic, screenshot_dir, wait_result
from test_window import frame_extents, outer_rect, read_prefs, wait_shown
from tvc_harness import App, AppTestCase, free_port, page_url, wait_for
from tray_support import Watcher

WEB_SITE = "https://www.example.org:8443/desk?from=tray"
ARGS = ["--show-on-launch", "--web-site-url=" + WEB_SITE, "--ws-ports=%d" % 1]


def wm_state(app, wid):
    """"Normal", "Iconic" or "Withdrawn" (also when the window manager dropped the property)."""
    out = app.xprop(wid, "WM_STATE")
    for state in ("Normal", "Iconic", "Withdrawn"):
        if state in out:
            return state
    return "Withdrawn"


def wait_tray_host(app):
    """The program has seen the host (said on standard error until its log file exists)."""
    wait_for(lambda: "CTrayHostWatch : tray host present" in app.log_text() + app.stderr(),
             what="the program to see the tray host")


def shown(app):
    wid = app.window_id()
    wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
    return wid


class TrayTestCase(AppTestCase):
    window_manager = True

    def setUp(self):
        super().setUp()
        self.watcher = None

    def tearDown(self):
        super().tearDown()
        if self.watcher:
            self.watcher.close()

    def start_watcher(self):
        self.watcher = Watcher()
        return self.watcher

    def about_windows(self, app):
        out = self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.proc.pid),
                               "--name", "^About$")
        return out.split()


class TrayItemTest(TrayTestCase):
    def test_item_has_the_tooltip_the_icon_and_the_three_items_in_order(self):
        self.start_watcher()
        app = self.launch(url=page_url("events.html"), args=ARGS)
        item = self.watcher.wait_item()
        props = item.properties()
        self.assertEqual(props["Title"], "TavistoForWeb")
        self.assertEqual(props["Status"], "Active")
        # A host finds the picture by its name in the item's own folder.
        self.assertTrue(os.path.isfile(os.path.join(props["IconThemePath"], props["IconName"] + ".png")))
        labels = [label for _, label in wait_for(item.menu, what="the menu")]
        self.assertEqual(labels, ["Open www.example.org", "Quit", "About Tavisto for Web"])
        self.assertTrue(app.alive())

    def test_open_item_opens_the_web_site_in_the_default_browser(self):
        self.start_watcher()
        app = App(self.display, url=page_url("events.html"), args=ARGS)
        self.apps.append(app)
        record = app.register_url_recorder()
        app.start()
        app.wait_console("PAGE ready")
        self.watcher.wait_item().click("Open www.example.org")
        opened = wait_for(lambda: app.opened_urls(record), what="the default browser to be asked")
        # The site's root, whatever path and query the configured address has.
        self.assertEqual(opened, ["https://www.example.org:8443/?tvb_launched_from_sys_tray=true"])
        # Without a GPU the program keeps GDK off GL for itself; the user's browser must not be.
        self.assertNotIn("GDK_GL", app.opener_environment(record))
        app.wait_console("EVENT OnTrayIconMenuOpenBrowser null")

    def test_about_item_opens_one_about_box_and_quit_item_ends_the_program(self):
        self.start_watcher()
        app = self.launch(url=page_url("events.html"), args=ARGS)
        shown(app)
        item = self.watcher.wait_item()
        item.click("About Tavisto for Web")
        wait_for(lambda: self.about_windows(app), what="the About box")
        item.click("About Tavisto for Web")  # refused while the box is up
        app.wait_log("CUSTOM_IDM_TRAY_CONTROL_OPTION_ABOUT Failed! : preconditions not satisfied.")
        self.assertEqual(len(self.about_windows(app)), 1)
        item.click("Quit")
        self.assertEqual(app.proc.wait(30), 0)
        with open(app.prefs) as f:
            self.assertIn("[windowpos]", f.read())


class CloseBoxTest(TrayTestCase):
    def test_close_box_hides_the_window_while_a_tray_host_is_there(self):
        self.start_watcher()
        app = self.launch(url=page_url("events.html"), args=ARGS)
        wid = shown(app)
        app.wait_console("PAGE ready")
        item = self.watcher.wait_item()
        wait_tray_host(app)
        web = wait_for(app.web_process_pids, what="the web process")
        self.display.run("wmctrl", "-i", "-c", wid)
        wait_for(lambda: wm_state(app, wid) == "Withdrawn", what="the window hidden")
        app.wait_console("EVENT OnNativeAppHide null")
        self.assertEqual(item.properties()["Status"], "Active")  # the way back stays
        self.assertTrue(app.alive())
        self.assertTrue(all(os.path.exists("/proc/%d" % p) for p in web))

        # The host goes away: the hidden window comes back minimised rather than being lost.
        self.watcher.close()
        wait_for(lambda: wm_state(app, wid) == "Iconic", what="the window minimised")
        self.assertEqual(app.terminate(), 0)

    def test_without_a_tray_host_the_close_box_minimises_until_a_host_appears(self):
        app = self.launch(url=page_url("events.html"), args=ARGS)
        wid = shown(app)
        app.wait_console("PAGE ready")
        for _ in range(2):
            self.display.run("wmctrl", "-i", "-c", wid)
            wait_for(lambda: wm_state(app, wid) == "Iconic", what="the window minimised")
            app.wait_console("EVENT OnNativeAppHide null")
            self.display.run("wmctrl", "-i", "-a", wid)
            wait_for(lambda: wm_state(app, wid) == "Normal", what="the window back")
        self.assertTrue(app.alive())
        self.assertEqual(app.log_text().count("no tray host on the session bus"), 1)

        self.start_watcher()
        wait_tray_host(app)
        self.display.run("wmctrl", "-i", "-c", wid)
        wait_for(lambda: wm_state(app, wid) == "Withdrawn", what="the window hidden")
        self.assertTrue(app.alive())


class SecondLaunchTest(TrayTestCase):
    def test_second_launch_brings_the_hidden_window_back_and_exits_with_1(self):
        self.start_watcher()
        first = self.launch(url=page_url("events.html"), args=ARGS)
        wid = shown(first)
        first.wait_console("PAGE ready")
        wait_tray_host(first)
        self.display.run("wmctrl", "-i", "-c", wid)
        wait_for(lambda: wm_state(first, wid) == "Withdrawn", what="the window hidden")

        second = App(self.display, home=first.home, url=page_url("events.html"), args=ARGS)
        self.apps.append(second)
        self.assertEqual(second.run_to_end(), 1)
        wait_for(lambda: wm_state(first, wid) == "Normal", what="the first window back")
        wait_for(lambda: active_window(self.display) == int(wid), what="the first window active")
        self.assertIn("brought to the front", second.stderr())
        self.assertTrue(first.alive())


class ActivationTokenTest(TrayTestCase):
    def test_a_second_launch_hands_its_token_over_and_no_child_inherits_one(self):
        self.start_watcher()
        launch_env = {"XDG_ACTIVATION_TOKEN": "first-launch_TIME1000", "DESKTOP_STARTUP_ID": "first-launch_TIME1000"}
        first = self.launch(url=page_url("events.html"), args=ARGS, extra_env=launch_env)
        wid = shown(first)
        first.wait_console("PAGE ready")
        wait_tray_host(first)
        for pid in wait_for(first.web_process_pids, what="the web process"):
            with open("/proc/%d/environ" % pid, "rb") as f:
                names = {entry.split(b"=", 1)[0] for entry in f.read().split(b"\0")}
            self.assertFalse(names & {b"XDG_ACTIVATION_TOKEN", b"DESKTOP_STARTUP_ID"})
        self.display.run("wmctrl", "-i", "-c", wid)
        wait_for(lambda: wm_state(first, wid) == "Withdrawn", what="the window hidden")

        # The launcher's token is applied to the window as its startup id (X11 has no other use for it).
        second = App(self.display, home=first.home, url=page_url("events.html"), args=ARGS,
                     extra_env={"XDG_ACTIVATION_TOKEN": "second-launch_TIME4242"})
        self.apps.append(second)
        self.assertEqual(second.run_to_end(), 1)
        wait_for(lambda: wm_state(first, wid) == "Normal", what="the first window back")
        self.assertIn('"second-launch_TIME4242"', first.xprop(wid, "_NET_STARTUP_ID"))


class PlacementOnQuitTest(TrayTestCase):
    """Where the user put the window is what a quit stores, whatever the window's state then: most
    quits come from the tray or the session while the window is hidden."""
    def close_box(self, app, wid):
        self.display.run("wmctrl", "-i", "-c", wid)
        wait_for(lambda: app.map_state(wid) != "IsViewable", 10, what="the window hidden")

    def minimise(self, app, wid):
        self.display.run("xdotool", "windowminimize", wid)
        wait_for(lambda: is_iconic(app, wid), 10, what="the window iconic")

    def maximise(self, app, wid):
        self.display.run("wmctrl", "-i", "-r", wid, "-b", "add,maximized_vert,maximized_horz")
        wait_for(lambda: outer_rect(app, wid)[2] == 1920, 10, what="the window maximised")

    def full_screen(self, app, wid):
        peer = Peer(app.port)
        try:
            umid = "c%d" % time.monotonic_ns()
            peer.send({"cmd": "fsSet", "args": [True]}, umid=umid)
            wait_result(app, umid)
        finally:
            peer.close()
        wait_for(lambda: outer_rect(app, wid)[2:] == (1920, 1080), 10, what="the window full screen")

    def show_again(self, app, wid):
        self.close_box(app, wid)
        # A second launch brings the window back; the quit follows at once.
        self.assertEqual(App(self.display, home=app.home).run_to_end(), 1)

    def close_box_after_a_restart(self, app, wid):
        self.assertEqual(app.terminate(), 0)
        again = self.start(app.home)
        wid = wait_shown(again)
        wait_for(lambda: outer_rect(again, wid) == (130, 90, 1240, 760), what="the stored place")
        if self.watcher:
            wait_tray_host(again)
        self.close_box(again, wid)
        return again

    def resize_then_hide(self, app, wid):
        peer = Peer(app.port)
        # A window manager that is busy elsewhere: the resize is still pending when the window hides.
        self.display.wm.send_signal(signal.SIGSTOP)
        try:
            umid = "c%d" % time.monotonic_ns()
            peer.send({"cmd": "sizeThenHide", "args": [1300, 800]}, umid=umid)
            self.assertIs(wait_result(app, umid), True)
            wait_for(lambda: app.map_state(wid) != "IsViewable", 10, what="the window hidden")
        finally:
            self.display.wm.send_signal(signal.SIGCONT)
            peer.close()

    def start(self, home=None):
        port = free_port()
        app = App(self.display, home=home, url=page_url("bridge_window.html"),
                  args=QUIET_NET + ["--show-on-launch", "--ws-ports=%d" % port])
        app.port = port
        self.apps.append(app)
        return app.start()

    def test_the_place_the_user_gave_is_stored_whatever_the_state_at_the_quit(self):
        # Without a tray host the close box minimises instead of hiding.
        cases = [("close_box", True), ("close_box_after_a_restart", True), ("close_box_after_a_restart", False),
                 ("minimise", True), ("maximise", True), ("full_screen", True), ("show_again", True),
                 ("show_again", False),
                 ("resize_then_hide", True)]
        for name, tray in cases:
            with self.subTest(state=name, tray=tray):
                if tray and not self.watcher:
                    self.start_watcher()
                elif not tray and self.watcher:
                    self.watcher.close()
                    self.watcher = None
                app = self.start()
                wid = wait_shown(app)
                wait_result(app, "page-ready")
                if tray:
                    wait_tray_host(app)
                left, right, top, bottom = frame_extents(app, wid)
                # The user sizes and moves the window.
                self.display.run("wmctrl", "-i", "-r", wid, "-e",
                                 "0,130,90,%d,%d" % (1240 - left - right, 760 - top - bottom))
                wait_for(lambda: outer_rect(app, wid) == (130, 90, 1240, 760), 10, what="the user's place")
                app = getattr(self, name)(app, wid) or app
                self.assertEqual(app.terminate(), 0)
                section = read_prefs(app).split("[windowpos]")[1].split("[")[0]
                stored = dict(line.split("=", 1) for line in section.split())
                self.assertEqual([int(stored[k]) for k in ("x", "y", "width", "height")], [130, 90, 1240, 760])


class PortFailureTest(TrayTestCase):
    CAPTION = "Tavisto for Web : ports unavailable/blocked."

    def take_ports(self, count):
        ports = []
        for _ in range(count):
            s = socket.socket()
            s.bind(("127.0.0.1", free_port()))
            s.listen()
            self.addCleanup(s.close)
            ports.append(s.getsockname()[1])
        return ports

    def dialogs(self, app):
        out = self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.proc.pid),
                               "--name", "ports unavailable")
        return [w for w in out.split() if self.CAPTION in app.xprop(w, "WM_NAME")]

    def test_every_port_taken_shows_the_dialog_help_keeps_it_escape_quits(self):
        ports = self.take_ports(2)
        app = App(self.display, url=page_url("events.html"),
                  args=["--ws-ports=%d,%d" % tuple(ports), "--help-url=https://help.example/ports",
                        # The port list's download fails at once: nothing listens there.
                        "--config-base-url=http://127.0.0.1:%d/" % free_port()])
        self.apps.append(app)
        record = app.register_url_recorder()
        app.start()
        box = wait_for(lambda: self.dialogs(app), 60, what="the port-failure dialog")[0]
        self.assertNotEqual(app.map_state(app.window_id()), "IsViewable")  # shown without the window
        x, y, w, h = app.geometry(box)
        self.assertLessEqual(abs(x + w // 2 - 960), 2)  # centred on the 1920 x 1080 screen
        self.assertLessEqual(abs(y + h // 2 - 540), 40)  # (less its title bar)
        self.display.screenshot(os.path.join(screenshot_dir(), "port-failure-dialog.png"))

        self.display.run("xdotool", "windowactivate", "--sync", box)
        self.display.run("xdotool", "key", "alt+h")
        self.assertEqual(wait_for(lambda: app.opened_urls(record), what="the help page opened"),
                         ["https://help.example/ports"])
        self.assertEqual(self.dialogs(app), [box])

        self.display.run("xdotool", "windowactivate", "--sync", box)
        self.display.run("xdotool", "key", "Escape")
        self.assertEqual(app.proc.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
