"""Bad input on the inter-app WebSocket: after each fault the program runs on, says what happened
at the right level, and the active peer's messages still arrive, all of them and in order."""
import json
import os
import signal
import socket
import threading
import time
import unittest

from interapp_support import (OP_BINARY, OP_CONT, OP_TEXT, HandshakeRefused, InterAppTestCase, PeerClosed,
                              envelope, memory_kb, numbered, reset_peak_memory, round_trips, sized)
from tvc_harness import wait_for


class BadInputTest(InterAppTestCase):

    def test_unreadable_messages_are_dropped_between_the_good_ones(self):
        peer = self.peer()
        bad = ["{not json", '{"source":"browser.extension","message":{"type":"echo"},"umid":"no-target"}',
               "[" * 200000, "", "null"]
        texts = numbered("mixed", 0, 30)
        for i, text in enumerate(texts):
            peer.send_text(text)
            if i % 6 == 5:
                peer.send_text(bad[i // 6])
        self.assertEqual([peer.recv_message() for _ in texts], texts)
        self.assert_logged("CJSONHelper::QueryJson :  exception : ", "E")
        self.assert_logged("CJSONHelper::QueryJson : ptree_bad_path exception!!", "E")
        self.assert_logged("nesting deeper than the allowed limit", "E")
        self.assert_logged("CNativeMsgObserver::OnInterAppMessageRceive Engaging "
                           "IsMessageTargetedToNativeModule - Api Failed.", "E")
        console = self.program.app.console_log()
        self.assertNotIn("GOT {not json", console)
        self.assertNotIn("no-target", console)

    def test_binary_frame_closes_that_connection_only(self):
        peer = self.peer()
        self.assert_sequence(peer, "before-binary", 5)
        peer.send_frame(OP_BINARY, b"\x00\x01\x02")
        self.assertEqual(peer.wait_closed(), 1003)
        self.assert_logged("binary frame refused", "E")
        self.assert_sequence(self.peer(), "after-binary")

    def test_an_unmasked_frame_closes_with_1002_and_delivers_nothing(self):
        text = envelope(payload={"pad": "u" * 300}, umid="unmasked").encode()
        # Frames as (opcode, bytes, final, masked): the bad frame alone, after a masked first
        # piece, and before a masked last piece.
        cases = [[(OP_TEXT, text, True, False)],
                 [(OP_TEXT, text[:100], False, True), (OP_CONT, text[100:], True, False)],
                 [(OP_TEXT, text[:100], False, False), (OP_CONT, text[100:], True, True)]]
        for frames in cases:
            peer = self.peer()
            self.assert_sequence(peer, "before-unmasked", 3)
            for opcode, data, fin, masked in frames:
                peer.send_frame(opcode, data, fin=fin, masked=masked)
            self.assertEqual(peer.wait_closed(), 1002, frames)
        self.assert_sequence(self.peer(), "after-unmasked")
        self.assertNotIn('"umid":"unmasked"', self.program.app.console_log())

    def test_invalid_utf8_closes_with_1007_and_a_split_character_does_not(self):
        split = envelope(payload={"s": "é"}, umid="split").encode()
        cut = split.index("é".encode()) + 1  # inside the two bytes of "é"
        peer = self.peer()
        peer.send_frame(OP_TEXT, split[:cut], fin=False)
        peer.send_frame(OP_CONT, split[cut:])
        self.assertEqual(peer.recv_message(), split.decode())

        for pieces in ([b'{"target":"browser.webapp.js","x":"\xff\xfe"}'],
                       [b'{"target":"browser.webapp.js","x":"\xc3', b'\x28"}']):  # bad across frames
            peer = self.peer()
            for i, piece in enumerate(pieces):
                peer.send_frame(OP_TEXT if i == 0 else OP_CONT, piece, fin=(i == len(pieces) - 1))
            self.assertEqual(peer.wait_closed(), 1007)
        self.assert_sequence(self.peer(), "after-utf8")

    def test_invalid_utf8_is_logged_as_an_error(self):
        peer = self.peer()
        peer.send_frame(OP_TEXT, b'{"x":"\xff"}')
        self.assertEqual(peer.wait_closed(), 1007)
        level, _ = self.program.wait_log_line("not valid UTF-8")
        self.assertEqual(level, "E")

    def test_messages_over_one_mebibyte_close_with_1009(self):
        peer = self.peer()
        largest = sized(1 << 20, "one-mebibyte", type_="big")
        peer.send_text(largest, pieces=16)
        self.program.app.wait_console("GOT " + largest)
        self.assert_sequence(peer, "after-largest", 5)

        for text, pieces in ((sized((1 << 20) + 1, "one-byte-over"), 16), ("x" * (10 << 20), 1)):
            peer = self.peer()
            try:
                peer.send_text(text, pieces=pieces)
            except OSError:
                pass  # the listener may hang up before it has read everything
            self.assertEqual(peer.wait_closed(), 1009)
        self.assert_logged("message over 1048576 bytes : closing the connection", "E")
        self.assertNotIn("one-byte-over", self.program.app.console_log())
        self.assert_sequence(self.peer(), "after-too-big")

    def test_a_half_sent_message_is_not_glued_to_the_next_peers(self):
        gone = self.peer()
        gone.send_frame(OP_TEXT, b'{"target":"browser.webapp.js","umid":"half-', fin=False)
        gone.drop()  # no close frame, mid-message
        peer = self.peer()
        self.assert_sequence(peer, "after-drop", 5)

        replaced = peer
        replaced.send_frame(OP_TEXT, b'{"target":"browser.webapp.js","umid":"half2-', fin=False)
        peer = self.peer()  # takes over while the other is mid-message
        self.assertEqual(replaced.wait_closed(), 1008)
        self.assert_sequence(peer, "after-takeover", 5)
        self.assertNotIn('"umid":"half', self.program.app.console_log())

    def test_refused_and_inactive_connections_leave_the_active_message_alone(self):
        peer = self.peer()
        whole = envelope(payload={"pad": "y" * 5000}, umid="interrupted")
        data = whole.encode()
        peer.send_frame(OP_TEXT, data[:3000], fin=False)
        port = self.program.port
        for kwargs in ({"origin": "https://evil.example"}, {"origin": "http://evil.example"},
                       {"origin": "https://www.tavisto.example.evil.example"},
                       {"origin": "http://127.0.0.1:%d" % port},
                       {"host": "evil.example:%d" % port}, {"host": "127.0.0.1"},
                       {"host": "127.0.0.1:%d" % (port + 1)}, {"host": "localhost.evil.example:%d" % port}):
            self.assert_refused(path="/browser", **kwargs)
        for kwargs in ({}, {"origin": "chrome-extension://abcdefghijklmnop"}, {"origin": "moz-extension://4b1d"},
                       {"origin": "https://www.tavisto.example"}, {"host": "localhost:%d" % port}):
            self.assertEqual(self.peer("/ext", **kwargs).wait_closed(), 1008)
        peer.send_frame(OP_CONT, data[3000:])
        self.assertEqual(peer.recv_message(), whole)
        self.assert_logged("refusing handshake : Origin=https://evil.example, Host=127.0.0.1:%d" % port, "W")
        self.assert_logged("refusing handshake : Origin=, Host=evil.example:%d" % port, "W")
        self.assert_sequence(peer, "after-refusals")

    def test_two_hundred_connections_opened_and_dropped(self):
        peer = self.peer()
        self.assert_sequence(peer, "before-storm", 10)
        fds = self.program.open_fds()
        statuses = self.program.console_count("STATUS 1\r\n")
        port = self.program.port
        established = 0
        for i in range(200):
            kind = i % 4
            if kind == 0:  # a whole handshake, then gone without a close frame
                self.program.peer("/ext").drop()
                established += 1
            elif kind == 1:  # gone half-way through the request
                with socket.create_connection(("127.0.0.1", port)) as s:
                    s.sendall(b"GET /browser HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpg" % port)
            elif kind == 2:  # connected and gone
                socket.create_connection(("127.0.0.1", port)).close()
            else:  # refused, then gone
                self.assert_refused(path="/browser", origin="https://evil.example")
            if i == 100:
                self.assertEqual(round_trips(peer, numbered("mid-storm", 0, 5)), numbered("mid-storm", 0, 5))
        self.assert_sequence(peer, "after-storm", 20)
        wait_for(lambda: self.program.console_count("STATUS 1\r\n") == statuses + established,
                 what="one status per established connection")
        wait_for(lambda: self.program.open_fds() <= fds + 5, timeout=30, what="the dropped connections' descriptors")


class LogsTest(InterAppTestCase):
    """What a peer can make the program write: bounded lines, no credentials, quiet standard error."""

    def log_bytes(self):
        return sum(os.path.getsize(f) for f in self.program.app.log_files("") if not f.endswith("TVCJSLog.log"))

    def all_logs(self):
        text = self.program.app.stderr()
        for f in self.program.app.log_files(""):
            if not f.endswith("TVCJSLog.log"):
                with open(f, encoding="utf-8", errors="replace") as fh:
                    text += fh.read()
        return text

    def test_a_message_in_one_byte_fragments_is_logged_once_and_not_on_standard_error(self):
        peer = self.peer()
        self.assert_sequence(peer, "warm-up", 2)
        before = self.log_bytes()
        text = sized(20000, "one-byte")
        data = text.encode()
        for i in range(len(data)):
            peer.send_frame(OP_TEXT if i == 0 else OP_CONT, data[i:i + 1], fin=(i == len(data) - 1))
        self.assertEqual(peer.recv_message(), text)
        self.assertLess(self.log_bytes() - before, 20000)
        self.assertNotIn("LWS_CALLBACK_RECEIVE", self.program.app.stderr())

    def test_no_cookie_or_credential_reaches_a_log(self):
        peer = self.peer(headers=["Cookie: sid=SECRET-HEADER-COOKIE", "Authorization: Bearer SECRET-AUTH"])
        cookies = {"domains": [{"url": "http://127.0.0.1:9/", "cookies": [
            {"name": "sid", "value": "SECRET-COOKIE-VALUE", "domain": "127.0.0.1", "path": "/", "session": True}]}]}
        peer.send_text(envelope(target="tvd.native", type_="setCookies", sub_type="setCookies", payload=cookies,
                                umid="secret-cookies"))
        self.assertIn("secret-cookies", peer.recv_message())
        echo = envelope(payload={"cookie": "SECRET-PAGE-COOKIE"}, umid="secret-echo")
        peer.send_text(echo)
        self.assertEqual(peer.recv_message(), echo)
        self.assertNotIn("SECRET", self.all_logs())

    def test_two_origin_headers_are_refused(self):
        for headers in (["Origin: chrome-extension://abcdefghijklmnop", "Origin: https://evil.example"],
                        ["Origin: https://evil.example", "Origin: chrome-extension://abcdefghijklmnop"]):
            with self.assertRaises(HandshakeRefused):
                self.peer(headers=headers)
        self.assert_logged("(more than one Origin header)", "W")
        self.assert_sequence(self.peer(), "after-two-origins", 3)


class PeerErrorsTest(InterAppTestCase):
    """A run of its own: the flood below fills the log."""

    def test_errors_a_peer_causes_reach_standard_error_once_per_kind_and_the_file_always(self):
        peer = self.peer()
        self.assert_sequence(peer, "before-no-message", 2)
        before = len(self.program.app.stderr())
        for i in range(5000):
            peer.send_text('{"source":"browser.extension","target":"tvd.native","umid":"no-message-%d"}' % i)
        self.assert_sequence(peer, "after-no-message", 2)  # handled in order, so all 5,000 are
        grown = self.program.app.stderr()[before:]
        self.assertLess(grown.count("\n"), 20, grown[-3000:])
        self.program.app.wait_log('"umid":"no-message-4999"')
        kept = self.program.app.log_text().count("CCookieObserver::OnInterAppMessageRceive Error parsing")
        self.assertGreaterEqual(kept, 5000)


class SlowPeerTest(InterAppTestCase):
    def test_a_peer_that_does_not_read_makes_sends_fail_not_memory_grow(self):
        peer = self.peer()
        self.assert_sequence(peer, "before-flood", 2)
        peer.send_text(envelope(type_="flood", payload={"size": 100000, "burst": 20, "max": 1500}, umid="flood"))
        line = wait_for(lambda: [l for l in self.program.app.console_log().splitlines() if l.startswith("FLOOD ")],
                        timeout=120, what="the flood's end")[0]
        result = json.loads(line[len("FLOOD "):])
        self.assertTrue(result["refused"], result)
        # 64 MiB of 100 KB texts, the socket's buffers and the texts in flight when the page heard.
        self.assertLess(result["sent"], 1000)
        self.assertEqual(len(self.program.log_lines("the output queue holds 64 MiB")), 1)
        with open("/proc/%d/status" % self.program.app.proc.pid) as f:
            rss_kb = int(next(l for l in f if l.startswith("VmRSS:")).split()[1])
        self.assertLess(rss_kb, 400 * 1024)


class FloodTest(InterAppTestCase):
    def test_a_flood_of_one_mebibyte_messages_is_answered_within_bounded_memory(self):
        peer = self.peer()
        self.assert_sequence(peer, "before-flood", 2)
        pid = self.program.app.proc.pid
        start = memory_kb(pid)
        reset_peak_memory(pid)
        count, failures = 100, []

        def send():
            try:
                for i in range(count):
                    peer.send_text(sized(1 << 20, "flood-%d" % i, type_="ack"))
            except OSError as error:
                failures.append(error)

        sender = threading.Thread(target=send)
        sender.start()
        try:
            answers = [json.loads(peer.recv_message(30))["umid"] for _ in range(count)]
        finally:
            sender.join()
        self.assertEqual(failures, [])
        self.assertEqual(answers, ["flood-%d" % i for i in range(count)])
        peak = memory_kb(pid, "VmHWM")
        figures = lambda: "start %d MiB, peak %d MiB, now %d MiB" % (start >> 10, peak >> 10, memory_kb(pid) >> 10)
        self.assertLess(peak - start, 100 << 10, figures())
        wait_for(lambda: memory_kb(pid) <= start * 1.1, timeout=10, what="memory given back: " + figures())


    def test_a_burst_sent_while_the_main_loop_is_held_arrives_whole_and_in_order(self):
        """The sockets are served by the main loop: a turn that takes half a second leaves the burst
        in the socket, to be read, reassembled and answered in order once the loop runs again."""
        peer = self.peer()
        self.assert_sequence(peer, "before-hold", 2)
        texts = [sized(5000 if i % 7 == 0 else 200, "held-%d" % i) for i in range(600)]
        pid = self.program.app.proc.pid

        def send():  # on its own thread: should the socket's buffers fill, it waits for the program
            for i, text in enumerate(texts):
                peer.send_text(text, pieces=3 if i % 5 == 0 else 1)

        sender = threading.Thread(target=send)
        os.kill(pid, signal.SIGSTOP)
        try:
            sender.start()
            time.sleep(0.5)  # the held turn itself, not a wait for an event
        finally:
            os.kill(pid, signal.SIGCONT)
        sender.join()
        answers = [peer.recv_message(30) for _ in texts]
        self.assertEqual([json.loads(a)["umid"] for a in answers], ["held-%d" % i for i in range(len(texts))])
        self.assertEqual(answers, texts)


class TakeoverTest(InterAppTestCase):
    def test_a_peer_that_takes_over_hears_only_its_own_texts(self):
        for round_ in range(8):
            old = self.peer()
            old.send_text(envelope(type_="burst", payload={"count": 500}, umid="old-%d" % round_))
            new = self.peer()  # while the page's answers to the other are on their way
            new.send_text(envelope(type_="burst", payload={"count": 3}, umid="new-%d" % round_))
            umids = [json.loads(new.recv_message())["umid"] for _ in range(3)]
            self.assertEqual(umids, ["new-%d" % round_] * 3)


class WebProcessCrashTest(InterAppTestCase):
    def test_the_reloaded_page_hears_of_the_peer_and_the_lost_messages_are_counted(self):
        peer = self.peer()
        self.assert_sequence(peer, "before-crash", 3)
        statuses = self.program.console_count("STATUS 1\r\n")
        web = self.program.app.web_process_pids()
        peer.send_text(envelope(type_="busy", payload={"ms": 20000}, umid="busy"))
        self.program.app.wait_console('"umid":"busy"')
        lost = [envelope(payload={"seq": i}, umid="lost-%d" % i) for i in range(5)]
        for text in lost:
            peer.send_text(text)
        wait_for(lambda: self.program.console_count('"umid":"busy"') == 1 and
                 self.program.log_lines("OnInterAppMessageRceive ++ json: " + lost[-1][:40]), what="the last one sent")
        for pid in web:
            os.kill(pid, signal.SIGKILL)
        level, line = self.program.wait_log_line("messages sent to the page were lost with its web process")
        self.assertEqual(level, "E")
        self.assertIn(": 6 messages", line)  # the busy one and the five behind it
        wait_for(lambda: self.program.console_count("STATUS 1\r\n") == statuses + 1, what="the status on the new page")
        self.assert_sequence(peer, "after-crash", 3)


class ConfiguredSiteTest(InterAppTestCase):
    """The Origin allow-list follows the configured sites; a start address stored for another site
    (by an older version) widens nothing."""

    args = ("--web-site-url=https://site.example:8443/home", "--start-url-prefix=http://prefix.example/d?locale=")

    @classmethod
    def before_start(cls, app):
        os.makedirs(os.path.dirname(app.prefs))
        with open(app.prefs, "w") as f:
            f.write("[url]\r\nstarturl=https://stored.example/start?x=1\r\n")

    def test_the_configured_sites_may_connect_and_no_other(self):
        for origin in ("https://site.example:8443", "http://prefix.example"):
            self.assertEqual(self.peer("/ext", origin=origin).wait_closed(), 1008, origin)  # accepted, inactive
        for origin in ("https://www.tavisto.example", "https://site.example", "https://stored.example",
                       "http://stored.example", "https://evil.example"):
            self.assert_refused(path="/browser", origin=origin)


if __name__ == "__main__":
    unittest.main()
