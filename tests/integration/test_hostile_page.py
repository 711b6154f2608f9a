"""What a careless or hostile page does to the bridge: history navigation, huge arguments, every
console method, texts holding U+0000, local files, loose flags, the context menu."""
import os
import unittest

from bridge_support import BridgeCase, Peer, page_url, received, results, wait_for, wait_result


class HostilePageCase(BridgeCase):
    """The hostile page, shown, with a peer; its tests start once the page has said it is ready."""
    page = "hostile.html"
    extra_args = ["--show-on-launch"]
    with_peer = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        wait_result(cls.app, "page-ready")


class HostilePageTest(HostilePageCase):
    def test_huge_or_deep_arguments_raise_and_the_web_process_lives_on(self):
        web = self.app.web_process_pids()
        answers = self.command("arrays")
        # A name the browser does not take is refused like arguments beyond the bounds.
        self.assertEqual(answers[:4], [{"error": "Invalid method arguments"}] * 4)
        self.assertEqual(answers[4], {"value": "undefined"})
        self.assertEqual(self.app.web_process_pids(), web)
        wait_for(lambda: received(self.app, "v8_to_browser.app-command-visibility") == 1, what="the message that fits")
        self.assertEqual(received(self.app, "fits"), 0)

    def test_every_console_method_reaches_the_console_file(self):
        self.assertIs(self.command("console"), True)
        for needle in ("Assertion failed: assert-line 7", "Trace: trace-line", '[{"a":1}]', '{"dir":"dir-line"}',
                       "count-line: 1", "count-line: 2", "time-line: "):
            self.app.wait_console(needle)
        self.assertNotIn("assert-never", self.app.console_log())

    def test_texts_cross_whole_and_a_nul_is_refused_by_the_preferences(self):
        sent, stored, start = self.command("texts")
        self.assertEqual(self.peer.recv(), "raw\x00tail\ufffdend")
        self.assertEqual((sent, stored, start), (True, True, ""))
        self.assertFalse(os.path.exists(self.app.prefs) and "a.example" in open(self.app.prefs).read())

    def test_a_file_page_reads_no_other_local_file(self):
        answer = self.command("readFile", page_url("basic.html"))
        self.assertIn("error", answer)


class HistoryTest(HostilePageCase):
    """Pages shown again from the history, by script and by the context menu."""

    def test_back_forward_and_the_menus_back_give_a_working_bridge(self):
        shown = len(results(self.app).get("shown", []))
        self.assertIs(self.command("go", "hostile_next.html"), True)
        self.assertEqual(wait_result(self.app, "next-shown")["locale"], "en_US")
        self.command("back")
        back = wait_result(self.app, "shown", count=shown + 1)
        self.assertEqual((back["locale"], back["fullscreen"]), ("en_US", False), back)
        # Subscriptions of the page shown again fire: it answers commands.
        self.command("forward")
        self.assertEqual(wait_result(self.app, "next-shown", count=2)["locale"], "en_US")

        # The context menu's Back, chosen with the keyboard: first item of the page's menu.
        wid = self.app.window_id()
        wait_for(lambda: self.app.map_state(wid) == "IsViewable", what="the window on screen")
        self.display.run("xdotool", "mousemove", "--window", wid, "200", "200")
        self.display.run("xdotool", "click", "3")
        self.app.wait_log("ContextMenu : items")
        items = [l for l in self.app.log_text().splitlines() if "ContextMenu : items" in l][-1]
        self.assertEqual(items.count("Inspect Element"), 1, items)
        self.assertIn("Back", items)
        self.display.run("xdotool", "key", "Down", "Return")
        menu_back = wait_result(self.app, "shown", count=shown + 2)
        self.assertEqual(menu_back["locale"], "en_US", menu_back)
        self.assertEqual(self.command("flags"), [True, True, True, True])


if __name__ == "__main__":
    unittest.main()
