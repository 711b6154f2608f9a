"""The tray icon in a real panel: xfce4-panel's status tray hosts the program's StatusNotifierItem;
the icon is drawn, a click opens the program's menu, and its About and Quit items work."""
import os
import shutil
import subprocess
import tempfile
import unittest

from gi.repository import Gio, GLib

from bridge_support import screenshot_dir
from tvc_harness import AppTestCase, free_port, page_url, wait_for

PANEL_HEIGHT = 33
PANEL_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""
XFCONFD = "/usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd"


def name_has_owner(name):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                          GLib.Variant("(s)", (name,)), None, Gio.DBusCallFlags.NONE, 5000, None)
    return reply.unpack()[0]


@unittest.skipUnless(shutil.which("xfce4-panel") and os.path.exists(XFCONFD), "xfce4-panel is not installed")
class PanelTrayTest(AppTestCase):
    window_manager = True  # the About box is activated to take its Esc

    def setUp(self):
        super().setUp()
        # The panel's settings, its settings service and everything it writes stay in the test's tree.
        self.home = tempfile.mkdtemp(prefix="tvc-panel-")
        self.addCleanup(shutil.rmtree, self.home, True)
        folder = os.path.join(self.home, "config", "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(folder)
        with open(os.path.join(folder, "xfce4-panel.xml"), "w") as f:
            f.write(PANEL_CONFIG)
        env = self.display.env()
        env.update({"HOME": self.home, "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
                    "XDG_DATA_HOME": os.path.join(self.home, "data"),
                    "XDG_CACHE_HOME": os.path.join(self.home, "cache"), "NO_AT_BRIDGE": "1"})
        for command in ([XFCONFD], ["xfce4-panel", "--disable-wm-check"]):
            proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.addCleanup(stop, proc)
            if command[0] == XFCONFD:
                wait_for(lambda: name_has_owner("org.xfce.Xfconf"), what="the settings service")
        wait_for(lambda: name_has_owner("org.kde.StatusNotifierWatcher"), what="the panel's status tray")

    def strip(self, top, height):
        """The screen's rows top..top+height as raw RGB bytes."""
        return subprocess.run(["import", "-window", "root", "-crop", "1920x%d+0+%d" % (height, top), "-depth", "8",
                               "rgb:-"],
                              env=self.display.env(), capture_output=True, check=True).stdout

    def settled_strip(self, top, height):
        """The strip once two captures in a row agree: nothing is being drawn there any more."""
        last = [None]

        def same():
            now = self.strip(top, height)
            settled, last[0] = now == last[0], now
            return now if settled else None
        return wait_for(same, what="the panel drawn")

    def changed_box(self, before, after, top):
        """(x, y) of the centre of the pixels that differ between two strips, or None."""
        xs, ys = [], []
        for i in range(0, min(len(before), len(after)), 3):
            if before[i:i + 3] != after[i:i + 3]:
                xs.append((i // 3) % 1920)
                ys.append((i // 3) // 1920)
        if not xs:
            return None
        return (min(xs) + max(xs)) // 2, top + (min(ys) + max(ys)) // 2

    def click(self, x, y):
        self.display.run("xdotool", "mousemove", str(x), str(y), "click", "1")

    def keys(self, *names):
        self.display.run("xdotool", "key", *names)

    def open_menu(self, icon):
        below = self.strip(PANEL_HEIGHT, 200)
        self.click(*icon)
        wait_for(lambda: self.strip(PANEL_HEIGHT, 200) != below, what="the menu under the icon")

    def test_icon_shows_click_opens_the_menu_about_and_quit_work(self):
        empty = self.settled_strip(4, PANEL_HEIGHT - 8)
        app = self.launch(url=page_url("events.html"), args=["--ws-ports=%d" % free_port()])
        app.wait_console("PAGE ready")
        # The panel's edges change too as the tray grows; the icon lies between them.
        icon = wait_for(lambda: self.changed_box(empty, self.settled_strip(4, PANEL_HEIGHT - 8), 4),
                        what="the icon in the panel")

        self.open_menu(icon)
        self.display.screenshot(os.path.join(screenshot_dir(), "tray-xfce4-panel.png"))
        self.keys("Down", "Down", "Down", "Return")  # Open ..., Quit, About Tavisto for Web
        about = wait_for(lambda: self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                                                  str(app.proc.pid), "--name", "^About$").split(),
                         what="the About box")
        self.display.run("xdotool", "windowactivate", "--sync", about[0])
        self.keys("Escape")
        wait_for(lambda: not self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                                              str(app.proc.pid), "--name", "^About$").strip(),
                 what="the About box closed")

        self.open_menu(icon)
        self.keys("Down", "Down", "Return")
        self.assertEqual(app.proc.wait(30), 0)


def stop(proc):
    proc.terminate()
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


if __name__ == "__main__":
    unittest.main()
