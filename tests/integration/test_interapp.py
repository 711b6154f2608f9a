"""Inter-app messages end to end: a WebSocket peer on 127.0.0.1, the real program and its page."""
import asyncio
import json
import unittest

import websockets

from interapp_support import (PROTOCOL, HandshakeRefused, InterAppProgram, InterAppTestCase, PageServer,
                              PeerClosed, envelope, round_trips, sized)
from tvc_harness import Display, page_url, wait_for


class PageMessagingTest(InterAppTestCase):

    def test_page_gets_the_exact_text_and_its_answer_reaches_the_peer(self):
        texts = [
            envelope(payload={"s": "é ☃ 😀", "n": 1}, umid="unicode"),
            # Spacing, key order, escapes and number literals are the sender's: nothing re-serialises.
            '{ "umid" : "spaced",\n  "target":"browser.webapp.js" , "message": {"type":"echo",'
            '"payload":{"n":1.50,"e":1E3,"q":"a\\"b\\u00e9"}}, "extra":[1,null,true] }',
            # Around the 2048-byte frame size, in both directions.
            sized(2047, "f2047"), sized(2048, "f2048"), sized(4096, "f4096"), sized(4097, "f4097"),
            sized(102377, "largest"),  # the largest text the program sends
        ]

        async def exchange():
            uri = "ws://127.0.0.1:%d/browser" % self.program.port
            async with websockets.connect(uri, subprotocols=[PROTOCOL], compression=None,
                                          max_size=1 << 20) as ws:
                self.assertEqual(ws.subprotocol, PROTOCOL)
                answers = []
                for text in texts:
                    await ws.send(text)
                    answers.append(await asyncio.wait_for(ws.recv(), 20))
                return answers

        self.assertEqual(asyncio.run(exchange()), texts)
        console = self.program.app.console_log()
        for text in texts:
            self.assertIn("GOT " + text + "\r\n", console)

    def test_an_answer_over_the_send_limit_is_dropped_and_the_next_one_goes(self):
        peer = self.peer()
        too_long = sized(102378, "too-long")
        peer.send_text(too_long)
        self.program.app.wait_console("GOT " + too_long)
        after = envelope(umid="after-too-long")
        self.assertEqual(round_trips(peer, [after]), [after])

    def test_each_connection_tells_the_page_and_only_browser_connections_are_active(self):
        before = self.program.console_count("STATUS 1\r\n")
        active = self.peer()
        wait_for(lambda: self.program.console_count("STATUS 1\r\n") == before + 1, what="one status for /browser")
        self.assert_refused(origin="https://evil.example")  # never established: no status
        ext = self.peer("/ext")
        try:
            ext.send_text(envelope(umid="from-ext"))
        except OSError:
            pass  # already closed by the listener: just as good
        self.assertEqual(ext.wait_closed(), 1008)  # policy violation: not the active connection
        wait_for(lambda: self.program.console_count("STATUS 1\r\n") == before + 2, what="one status for /ext")
        self.assert_logged("update_websocket_instance : Unknown connection tocken!", "E")
        self.assert_sequence(active, "still-active")
        self.assertEqual(self.program.console_count("STATUS 1\r\n"), before + 2)
        self.assertNotIn('"umid":"from-ext"', self.program.app.console_log())

    def test_a_newer_browser_connection_replaces_the_active_one(self):
        first = self.peer()
        self.assert_sequence(first, "first")
        second = self.peer("/browser2")
        self.assertEqual(first.wait_closed(), 1008)
        self.assert_sequence(second, "second")

    def test_answers_written_while_no_peer_is_connected_are_not_given_to_the_next_one(self):
        first = self.peer()
        self.assert_sequence(first, "before-gone", 3)
        later = envelope(type_="stale", umid="stale-answer")
        # The page answers a second after it got the request; the peer has gone by then.
        first.send_text(envelope(type_="send-later", payload={"text": later, "after_ms": 1000}))
        closed_before = len(self.program.log_lines("(active)"))
        first.close()
        wait_for(lambda: len(self.program.log_lines("(active)")) > closed_before, what="the active peer closed")
        self.program.app.wait_console("SENT-LATER " + later)
        self.assertFalse(self.program.log_lines("discarding message from old connection"),
                         "the page answered before the peer had gone")
        second = self.peer()
        self.assert_logged("discarding message from old connection : " + later, "W")
        self.assert_sequence(second, "fresh", 3)

    def test_native_commands_are_not_forwarded_and_a_near_miss_target_is(self):
        peer = self.peer()
        for text in (envelope(target="tvd.native", sub_type="setCookies", umid="n-cookies"),
                     envelope(target="tvd.native", sub_type="navigate", umid="n-nourl"),
                     envelope(target="tvd.native", sub_type="noSuchCommand", umid="n-unknown")):
            peer.send_text(text)
        # The cookie command answers every request, one it cannot read with 501.
        answer = json.loads(peer.recv_message())
        self.assertEqual((answer["message"]["sub_type"], answer["message"]["status"]), ("setCookies", "501"))
        near_miss = envelope(target="TVD.native", umid="n-case")
        self.assertEqual(round_trips(peer, [near_miss]), [near_miss])
        self.assert_logged("Unknown command : messageCommand=setCookies", "E")
        self.assert_logged("Unknown command : messageCommand=noSuchCommand", "E")
        self.assert_logged("OnInterAppMessageRceive URL Parse error", "E")
        console = self.program.app.console_log()
        for umid in ("n-cookies", "n-nourl", "n-unknown"):
            self.assertNotIn('"umid":"%s"' % umid, console)


class NavigateTest(InterAppTestCase):

    @classmethod
    def setUpClass(cls):
        # The web page the peer sends the program to is of the application's web site: only the
        # application's own origins get the bridge.
        cls.server = PageServer()
        cls.args = ("--web-site-url=" + cls.server.url(""),)
        try:
            super().setUpClass()
        except BaseException:
            cls.server.close()
            raise

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.server.close()

    def navigate(self, peer, url, umid):
        peer.send_text(envelope(target="tvd.native", type_="request", sub_type="navigate",
                                payload={"url": url}, umid=umid))

    def test_navigate_loads_web_pages_and_the_start_page_only(self):
        server = self.server
        peer = self.peer()
        refused = [page_url("basic.html"), "file:///etc/hostname", "javascript:console.log('basic-page-loaded')",
                   "data:text/html,<script>console.log('basic-page-loaded')</script>", "smb://host/share",
                   "about:blank"]
        for i, url in enumerate(refused):
            self.navigate(peer, url, "refused-%d" % i)
        web = server.url("interapp.html?via=navigate")
        self.navigate(peer, web, "web")
        self.program.app.wait_console("PAGE ready " + web)
        for url in refused:
            self.assert_logged("navigate refused for " + url, "E")
        self.assertNotIn("basic-page-loaded", self.program.app.console_log())
        self.assertIn("/interapp.html?via=navigate", server.requests)

        # The loaded page has the bridge: it gets messages from the same peer and answers them.
        peer.send_text(envelope(type_="whoami", umid="who"))
        self.assertIn('"href":"%s"' % web, peer.recv_message())
        self.assert_sequence(peer, "on-web-page", 5)

        # Back to the start page, which is a file: address but the one the program started with.
        ready = "PAGE ready " + self.program.start_url + "\r\n"
        before = self.program.console_count(ready)
        self.navigate(peer, self.program.start_url, "home")
        wait_for(lambda: self.program.console_count(ready) == before + 1, what="the start page again")
        self.assert_sequence(peer, "home-again", 5)


if __name__ == "__main__":
    unittest.main()
