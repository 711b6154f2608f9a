"""Native events reaching the page: subscription order and counts, changes while firing, a throwing
subscriber, inter-app messages both ways through a real WebSocket peer."""
import json
import unittest

from bridge_support import BridgeCase, Peer, received, results, wait_for, wait_result


class PageEventsTest(BridgeCase):
    page = "bridge_events.html"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        wait_result(cls.app, "ready")
        cls.peer = Peer(cls.port)

    def test_connection_event_carries_1_and_the_page_answers_the_peer(self):
        self.assertEqual(wait_result(self.app, "connection-1"), [1])
        hello = json.loads(self.peer.recv())
        self.assertEqual((hello["umid"], hello["message"]), ("hello-1", {"type": "hello", "sent": True}))
        wait_for(lambda: received(self.app, "v8_to_browser.nativemessage-from-tvd-js") >= 1, what="the answer")

    def test_subscriptions_fire_in_order_and_follow_subscribe_and_unsubscribe(self):
        wait_result(self.app, "connection-1")
        texts = []
        for i in range(1, 7):
            texts.append(self.peer.send({"type": "event", "n": i, "text": "caf\u00e9 \"quoted\""}, umid="e%d" % i))
            if i < 6:
                wait_result(self.app, "round-%d" % i)
        rounds = [wait_result(self.app, "round-%d" % i) for i in range(1, 6)]
        # The text arrives whole, as the one argument.
        self.assertEqual([(r["text"], r["args"]) for r in rounds], [(t, 1) for t in texts[:5]])
        # 1: a throwing subscriber first, two subscriptions of one function: both run.
        # 2: the thrower is gone; 3: one Unsubscribe left one counter.
        self.assertEqual([r["counted"] for r in rounds], [2, 2, 1, 1, 1])
        render = self.app.log_text("RENDER_PROCESS_LOG_")
        self.assertEqual(render.count("subscriber failure"), 1)
        # 6: round 5 removed every subscription: the event finds nobody.
        wait_for(lambda: "fire-result: 0" in self.app.log_text("RENDER_PROCESS_LOG_"), what="the unanswered event")
        self.assertNotIn("round-6", results(self.app))
        # Subscribed during 3: first called by 4; removed during 5 before its turn: skipped.
        self.assertEqual(results(self.app).get("late"), [texts[3]])
        self.assertIn("CJavascriptHandler::JSHandle_UnRegister : failed : no callbacks registered",
                      self.app.log_text("RENDER_PROCESS_LOG_"))


if __name__ == "__main__":
    unittest.main()
