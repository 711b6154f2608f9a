"""The page's side of the bridge: window.tvd and the app object, conversions, callbacks, sub-frames,
and page functions called with arguments that do not fit."""
import os
import re
import unittest

from bridge_support import BridgeCase, received, received_at_least, results, wait_for, wait_result


class AppObjectTest(BridgeCase):
    page = "bridge_app.html"
    served = True

    def test_tvd_members_in_order_with_their_initial_values(self):
        m = wait_result(self.app, "members")
        self.assertEqual(m["keys"], [
            ["available", "number"], ["version", "string"], ["Subscribe", "function"],
            ["Unsubscribe", "function"], ["onTavistoStatusChange", "function"], ["SendInterAppMessage", "function"],
            ["SetWindowSize", "function"], ["SetMinimumWindowSize", "function"], ["StickWindowOnTop", "function"],
            ["IsWindowStickyOnTop", "function"], ["MaximizeWindow", "function"], ["MinimizeWindow", "function"],
            ["BringWindowToFront", "function"], ["showSplashScreen", "function"], ["hideSplashScreen", "function"],
            ["onJSAppReady", "function"], ["quitApp", "boolean"], ["appQuitResponseTimeout", "number"],
            ["SetLocale", "function"], ["GetLocale", "function"], ["GetMechineID", "function"],
            ["SetStartUrl", "function"], ["GetStartUrl", "function"], ["IsAppActive", "function"],
            ["IsAppMinimized", "function"], ["SetAppcastURL", "function"], ["propMDConfigBaseURL", "string"],
            ["propLocalTimeMap", "string"], ["setPopUpDomain", "function"], ["SetFocusToWindow", "function"],
            ["HideApp", "function"], ["LaunchURL", "function"]])
        self.assertEqual((m["available"], m["version"], m["quitApp"], m["timeout"], m["localTimeMap"]),
                         (1, "1.2.8.362", False, 6, ""))
        self.assertIs(m["fullscreen"], False)
        self.assertEqual(m["app"], [["sendMessage", "function"], ["setMessageCallback", "function"],
                                    ["removeMessageCallback", "function"]])

    def test_app_calls_that_do_not_fit_raise_and_send_nothing(self):
        errors = wait_result(self.app, "app-errors")
        self.assertEqual(errors, [{"error": "Invalid method arguments"}] * 8)
        wait_result(self.app, "sent")
        self.assertEqual(received(self.app, "a"), 0)

    def test_each_array_entry_reaches_the_browser_as_its_own_type(self):
        wait_result(self.app, "sent")
        # Browser-side lines of the bring-to-front rows, in arrival order: only [7] has the int shape.
        expected = ["=7"] + ["without"] * 8
        def rows():
            got = re.findall(r"BringWindowToFrontMessage (without) arguments|"
                             r"iIsTriggeredFrom_OnTrayIconMenuOpenApplication(=\d+) --", self.app.log_text())
            tags = [a or b for a, b in got]
            # Each message logs a shape line (int shape: none) and the closing line with its value.
            closing = [t for t in tags if t.startswith("=")]
            shapes = [t for t in tags if t == "without"]
            return (closing, shapes) if len(closing) >= 9 else None
        closing, shapes = wait_for(rows, what="nine bring-to-front messages")
        self.assertEqual(closing, ["=7"] + ["=0"] * 8)
        self.assertEqual(len(shapes), 8)
        self.app.wait_log("ClientHandler::BringWindowToFront ++ with bDontPerformForegroundCheck=1")
        log = wait_for(lambda: (lambda t: t if t.count("SetPopupDomain") >= 2 and "StickWindowOnTopMessage ++"
                                in t else None)(self.app.log_text()), what="the string and bool rows")
        self.assertEqual(log.count("kSetPopupDomainMessage argument number mismatch"), 1)
        wait_for(lambda: self.app.log_text().count("StickWindowOnTopMessage ++") == 2, what="both sticky rows")
        self.assertEqual(wait_for(lambda: self.app.log_text().count("StickWindowOnTopMessage argument mismatch"),
                                  what="the mismatch line"), 1)

    def test_message_callback_keeps_the_first_and_removes_once(self):
        calls = wait_result(self.app, "callbacks")
        name = "browser_to_v8.fullscreentoggle"
        self.assertEqual(calls["first"], [[name, [True]]])
        self.assertEqual(calls["second"], [])
        self.assertEqual(calls["third"], [[name, [False]]])
        self.assertEqual(wait_result(self.app, "removed"), [True, False])

    def test_sub_frames_get_their_own_tvd_from_the_same_handler(self):
        frame = wait_result(self.app, "frame-subscribe")
        self.assertEqual(frame, {"ownTvd": True, "available": 1, "locale": "en_US", "fullscreen": False, "app": True})
        # The sub-frame's subscription is fired by the same handler as the main frame's calls.
        self.assertEqual(wait_result(self.app, "frame-event"), True)
        wait_result(self.app, "frame-quiet")
        wait_result(self.app, "callbacks")
        render = self.app.log_text("RENDER_PROCESS_LOG_")
        self.assertEqual(render.count("CJavascriptBinder-born"), 1)
        # Every script context asks for the listener once: main frame, sub-frame, reloaded sub-frame.
        contexts = render.count("CRenderExtension::ContextCreated")
        self.assertGreaterEqual(contexts, 3)
        self.assertEqual(render.count("nativemessage-listener-command-control sent-result: 1"), contexts)
        wait_for(lambda: received(self.app, "v8_to_browser.nativemessage-listener-command-control") == contexts,
                 what="one listener request per context")

    def test_event_whose_subscriber_context_was_released_fires_nothing(self):
        wait_result(self.app, "callbacks")
        render = wait_for(lambda: (lambda t: t if t.count("method: OnFullScreenToggle  matched-methods") >= 2 else None)
                          (self.app.log_text("RENDER_PROCESS_LOG_")), what="two full-screen events")
        fired = re.findall(r"method: OnFullScreenToggle  matched-methods: (\d+)", render)
        self.assertEqual(fired, ["1", "0"])
        self.assertIn("JSFireMethods method: no matches - bad-iterator", render)
        self.assertEqual(len(results(self.app).get("frame-event", [])), 1)
        self.assertEqual(received_at_least(self.app, "v8_to_browser.fullscreen", 2), 2)


class ArgumentChecksTest(BridgeCase):
    page = "bridge_args.html"
    SENT_BY_BAD_CALLS = ["SetWindowSizeMessage", "SetMinimumWindowSizeMessage",
                         "IsWindowStickyOnTopMessage", "v8_to_browser.nativemessage-from-tvd-js", "SetAppcastURLMessage", "SetLocaleMessage",
                         "SetPopupDomainMessage", "LaunchURLMessage"]

    def test_functions_with_too_few_or_wrong_arguments_answer_and_send_nothing(self):
        answers = wait_result(self.app, "answers")
        always_true = ("Subscribe", "Unsubscribe", "onTavistoStatusChange", "SetStartUrl")
        expected = {call: call.startswith(always_true) for call in answers}
        self.assertEqual(answers, expected)
        self.assertEqual(len(answers), 24)
        # The good calls that follow arrive, so the silence of the bad ones is real.
        wait_result(self.app, "controls")
        wait_for(lambda: received(self.app, "v8_to_browser.app-command-visibility") == 1, what="the control call")
        wait_for(lambda: received(self.app, "IsWindowStickyOnTopMessage") == 1, what="the sticky query")
        for name in self.SENT_BY_BAD_CALLS:
            expected = 1 if name == "IsWindowStickyOnTopMessage" else 0
            self.assertEqual(received(self.app, name), expected, name)
        self.assertFalse(os.path.exists(self.app.prefs) and "starturl" in open(self.app.prefs).read())
        # The rows that were called right all log success; the render side logged every refusal.
        render = self.app.log_text("RENDER_PROCESS_LOG_")
        self.assertIn("JSHandle_SendChromeExtensionNativeMessage failed args check : actual : 0  required: 1", render)
        self.assertIn("JSHandle_SendChromeExtensionNativeMessage failed args check : actual : 2  required: 1", render)
        self.assertIn("CJavascriptHandler::JSHandle_SetAppcastURL. Invalid Arguments", render)
        self.assertIn("JSHandle_EventListener failed args check : actual : 2  required: 3", render)


if __name__ == "__main__":
    unittest.main()
