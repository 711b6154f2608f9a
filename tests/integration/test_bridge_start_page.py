"""The start page, run as a user would: it reports ready, shows native events, and its controls
drive the window. Screenshots are kept in $TVC_SCREENSHOT_DIR (default /tmp/tvc-bridge-screenshots-UID)."""
import os
import unittest

from bridge_support import BridgeCase, Peer, frame_geometry, net_wm_state, painted_screenshot, screenshot_dir, wait_for


class StartPageTest(BridgeCase):
    page = None  # no --url: the page beside the executable
    window_manager = True
    extra_args = ["--show-on-launch"]

    def key(self, *keys):
        self.display.run("xdotool", "key", "--delay", "30", *keys)

    def test_ready_events_and_controls(self):
        wid = self.app.window_id()
        wait_for(lambda: self.app.map_state(wid) == "IsViewable", what="the window on screen")
        self.app.wait_log("OnJSAppReadyEvent received")
        self.app.wait_log("load finished file://" + os.path.dirname(self.app.args[0]))
        shots = screenshot_dir()
        painted_screenshot(self.display, os.path.join(shots, "start-page-ready.png"), wid)

        # A companion connects and sends a message: both show in the page's event list.
        peer = Peer(self.port)
        try:
            peer.send({"type": "request", "sub_type": "ping", "payload": {"from": "the test"}}, umid="test-1")
            self.app.wait_log("JSFireMethod_NativeMessageReceive message:", prefix="RENDER_PROCESS_LOG_")
            wait_for(lambda: "HandleInterAppConnectionStatusChange  matched-methods: 1"
                     in self.app.log_text("RENDER_PROCESS_LOG_"), what="the connection event")

            # Keyboard, as a user without a mouse: click the header, then Tab to the switches.
            x, y, w, _ = frame_geometry(self.app, wid)
            self.display.run("xdotool", "mousemove", str(x + w // 2), str(y + 60), "click", "1")
            self.key(*(["Tab"] * 7), "space")
            wait_for(lambda: "_NET_WM_STATE_ABOVE" in net_wm_state(self.app, wid), 10, what="keep on top")
            self.key(*(["Tab"] * 6), "space")
            wait_for(lambda: "_NET_WM_STATE_FULLSCREEN" in net_wm_state(self.app, wid), 10, what="full screen")
            self.app.wait_log("OnFullScreenToggle  matched-methods: 1", prefix="RENDER_PROCESS_LOG_")
            # The event list now holds the connection, the message and the full-screen change.
            painted_screenshot(self.display, os.path.join(shots, "start-page-controls.png"), wid)
            self.key("space")
            wait_for(lambda: "_NET_WM_STATE_FULLSCREEN" not in net_wm_state(self.app, wid), 10,
                     what="full screen left")
        finally:
            peer.close()


if __name__ == "__main__":
    unittest.main()
