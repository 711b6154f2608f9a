#!/usr/bin/env python3
"""Photographs the program for the README under Xvfb (with openbox, so the window has its frame):
the start page once it is ready, and the splash screen over a page that never reports ready.
Run by hand after `cmake --build build` and commit the PNGs in docs/; nothing in the build runs it."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))

from bridge_support import QUIET_NET, frame_of, painted_screenshot  # noqa: E402
from tvc_harness import App, Display, page_url, wait_for  # noqa: E402

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


def main():
    os.makedirs(OUT, exist_ok=True)
    display = Display(window_manager=True, size="1600x1000x24")
    try:
        # No --url: the start page beside the executable.
        photograph(display, None, "OnJSAppReadyEvent received", "start-page.png")
        # A page that never says it is ready keeps the splash up.
        photograph(display, page_url("basic.html"), "load finished", "splash.png")
    finally:
        display.close()


if __name__ == "__main__":
    main()
