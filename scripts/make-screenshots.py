#!/usr/bin/env python3
"""Photographs the program for the README under Xvfb (with openbox, so the window has its frame):
the start page once it is ready, the splash screen over a page that never reports ready, and with
the page's locale French the tray menu in xfce4-panel and the port-failure dialog.
Run by hand after `cmake --build build`, inside `dbus-run-session`, and commit the PNGs in docs/;
nothing in the build runs it."""
import os
import socket
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))

from bridge_support import QUIET_NET, frame_of, painted_screenshot  # noqa: E402
from test_tray_panel import PANEL_CONFIG, XFCONFD, name_has_owner, stop  # noqa: E402
from tvc_harness import App, Display, free_port, page_url, wait_for  # noqa: E402

OUT = os.path.join(HERE, "..", "docs")
WIDTH = 720  # README pictures: small enough for the repository, large enough to read


def photograph(display, url, ready_line, name):
    app = App(display, url=url, args=["--show-on-launch", *QUIET_NET])
    try:
        app.start()
        wid = app.window_id()
        wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
        app.wait_log(ready_line)
        raw = os.path.join(app.home, name)
        painted_screenshot(display, raw, wid)
        # The window with its frame, cut out of the screen, scaled down and reduced in colours.
        frame = hex(frame_of(display, wid))
        x, y, w, h = app.geometry(frame)
        target = os.path.join(OUT, name)
        subprocess.run(["convert", raw, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                        "-resize", "%dx" % WIDTH, "-colors", "128", "-strip", "PNG8:" + target], check=True)
        print("%s: %d bytes" % (os.path.relpath(target), os.path.getsize(target)))
    finally:
        app.terminate()
        app.cleanup()


def save(raw, x, y, w, h, name, resize=True):
    target = os.path.join(OUT, name)
    subprocess.run(["convert", raw, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                    *(["-resize", "%dx" % WIDTH] if resize else []), "-colors", "128", "-strip",
                    "PNG8:" + target], check=True)
    print("%s: %d bytes" % (os.path.relpath(target), os.path.getsize(target)))


def french_app(display, args):
    app = App(display, args=args)
    os.makedirs(os.path.dirname(app.prefs), exist_ok=True)
    with open(app.prefs, "w") as f:
        f.write("[language]\nlocale=fr_FR\n")
    return app.start()


def start_panel(display, home):
    folder = os.path.join(home, "config", "xfce4", "xfconf", "xfce-perchannel-xml")
    os.makedirs(folder)
    with open(os.path.join(folder, "xfce4-panel.xml"), "w") as f:
        f.write(PANEL_CONFIG)
    env = display.env()
    env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, "config"),
                "XDG_DATA_HOME": os.path.join(home, "data"), "XDG_CACHE_HOME": os.path.join(home, "cache"),
                "NO_AT_BRIDGE": "1"})
    procs = [subprocess.Popen([XFCONFD], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    wait_for(lambda: name_has_owner("org.xfce.Xfconf"), what="the settings service")
    procs.append(subprocess.Popen(["xfce4-panel", "--disable-wm-check"], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL))
    wait_for(lambda: name_has_owner("org.kde.StatusNotifierWatcher"), what="the panel's status tray")
    return procs


def photograph_french_tray(display):
    """The menu of the tray icon, the icon being the panel's first: where the strip changes."""
    home = tempfile.mkdtemp(prefix="tvc-shots-")
    procs = start_panel(display, home)
    def strip(top=4, height=25):
        return subprocess.run(["import", "-window", "root", "-crop", "1600x%d+0+%d" % (height, top), "-depth", "8",
                               "rgb:-"], env=display.env(), capture_output=True, check=True).stdout

    def settled(top, height):
        last = [None]

        def same():
            now = strip(top, height)
            done, last[0] = now == last[0], now
            return done
        wait_for(same, what="the screen settled")

    empty = strip()
    app = french_app(display, ["--ws-ports=%d" % free_port()])
    try:
        app.wait_log("OnJSAppReadyEvent received")
        drawn = wait_for(lambda: (lambda now: now if now != empty else None)(strip()), what="the icon")
        changed = [i // 3 % 1600 for i in range(0, len(drawn), 3) if drawn[i:i + 3] != empty[i:i + 3]]
        below = strip(33, 100)
        display.run("xdotool", "mousemove", str((min(changed) + max(changed)) // 2), "16", "click", "1")
        wait_for(lambda: strip(33, 100) != below, what="the menu")
        settled(33, 100)
        raw = display.screenshot(os.path.join(app.home, "tray.png"))
        save(raw, 0, 0, 420, 124, "tray-panel-fr.png", resize=False)
    finally:
        app.terminate()
        app.cleanup()
        for proc in reversed(procs):
            stop(proc)


def photograph_french_dialog(display):
    taken = []
    for _ in range(2):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        s.listen()
        taken.append(s)
    app = french_app(display, ["--ws-ports=%d,%d" % tuple(s.getsockname()[1] for s in taken),
                               "--config-base-url=http://127.0.0.1:%d/" % free_port()])
    try:
        box = wait_for(lambda: display.run("xdotool", "search", "--onlyvisible", "--name",
                                           "ports indisponibles").split(), 60, what="the dialog")[0]
        raw = os.path.join(app.home, "dialog.png")
        frame = hex(frame_of(display, int(box)))
        painted_screenshot(display, raw, box, colours=8)
        x, y, w, h = app.geometry(frame)
        save(raw, x, y, w, h, "port-failure-fr.png", resize=False)
    finally:
        app.terminate()
        app.cleanup()
        for s in taken:
            s.close()


def main():
    os.makedirs(OUT, exist_ok=True)
    display = Display(window_manager=True, size="1600x1000x24")
    try:
        # No --url: the start page beside the executable.
        photograph(display, None, "OnJSAppReadyEvent received", "start-page.png")
        # A page that never says it is ready keeps the splash up.
        photograph(display, page_url("basic.html"), "load finished", "splash.png")
        photograph_french_tray(display)
        photograph_french_dialog(display)
    finally:
        display.close()


if __name__ == "__main__":
    main()
