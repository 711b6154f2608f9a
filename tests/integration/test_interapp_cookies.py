"""Commands from the companion extension, end to end: "setCookies" replaces the browser's cookies and
answers, "bringWindowToFront" raises the window and answers nothing.

The page comes from a loopback HTTP server that records the Cookie header of every "/cookie-check"
request, so HTTP-only cookies are seen too.
"""
import functools
import http.server
import json
import os
import shutil
import signal
import tempfile
import threading
import unittest
import uuid

from bridge_support import QUIET_NET, is_iconic, net_wm_state, stacking
from interapp_support import InterAppProgram, PeerClosed, QuietHandler, RawPeer, envelope
from tvc_harness import PAGES, App, Display, free_port, wait_for


class CookieServer:
    """Serves the test pages on 127.0.0.1; keeps the Cookie header of each "/cookie-check?<umid>"."""

    def __init__(self):
        server = self

        class Handler(QuietHandler):
            def do_GET(self):
                if self.path.startswith("/cookie-check?"):
                    server.seen[self.path.split("?", 1)[1]] = self.headers.get("Cookie", "")
                    self.send_response(204)
                    self.send_header("Cache-Control", "no-store")
                    self.end_headers()
                    return None
                return super().do_GET()

        self.seen = {}
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=PAGES))
        self.port = self.httpd.server_address[1]
        self.origin = "http://127.0.0.1:%d" % self.port
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def cookie(name, value, http_only=False, domain=None, expires=None, **fields):
    c = {"name": name, "value": value, "hostOnly": domain is None, "path": "/", "secure": False,
         "httpOnly": http_only, "session": expires is None}
    if domain is not None:
        c["domain"] = domain
    if expires is not None:
        c["expirationDate"] = expires
    c.update(fields)
    return c


def set_cookies(domains, umid, target="tvd.native"):
    return envelope(target=target, type_="request", sub_type="setCookies", payload={"domains": domains}, umid=umid)


def as_dict(header):
    return dict(part.split("=", 1) for part in header.split("; ") if part)


class ProgramCase(unittest.TestCase):
    """One run of the program per class; what the class opened is closed last-first, also when starting fails."""

    @classmethod
    def start_program(cls, display, **kwargs):
        cls.display = display
        cls.addClassCleanup(display.close)
        cls.program = InterAppProgram(display, **kwargs)
        cls.addClassCleanup(cls.program.cleanup)
        cls.program.start()


class CookieCommandTest(ProgramCase):
    """One program run; each test starts from the store the test before it left and replaces it."""

    @classmethod
    def setUpClass(cls):
        cls.server = CookieServer()
        cls.addClassCleanup(cls.server.close)
        cls.start_program(Display(), args=QUIET_NET, url=cls.server.origin + "/interapp.html")
        cls.peer = cls.program.peer()

    def tearDown(self):
        self.assertTrue(self.program.app.alive(), "the program ended")

    def request(self, domains, umid=None, target="tvd.native"):
        umid = umid or uuid.uuid4().hex
        text = set_cookies(domains, umid, target)
        self.peer.send_text(text)
        return text

    def answer(self, request, timeout=30.0):
        """The next message from the program: a response to `request`; gives its status."""
        reply = json.loads(self.peer.recv_message(timeout))
        self.assertEqual(reply["message"]["type"], "response")
        self.assertEqual(reply["message"]["sub_type"], "setCookies")
        self.assertEqual(reply["umid"], "xxx")
        self.assertEqual(reply["message"]["payload"]["request"], json.loads(request))
        return reply["message"]["status"]

    def page_cookies(self, count=False):
        """(document.cookie or its count, the Cookie header the page's next request carried)."""
        umid = uuid.uuid4().hex
        self.peer.send_text(envelope(type_="cookies", payload={"count": count}, umid=umid))
        reply = json.loads(self.peer.recv_message(30.0))
        self.assertEqual((reply["message"]["type"], reply["umid"]), ("cookies-reply", umid))
        payload = reply["message"]["payload"]
        if count:  # a header this long is more than the test server reads
            return payload["count"], None
        return as_dict(payload["cookie"]), as_dict(self.server.seen[umid])

    def replace_with(self, domains):
        text = self.request(domains)
        self.assertEqual(self.answer(text), "101")

    def test_two_entries_of_two_cookies_replace_the_store(self):
        origin = self.server.origin
        self.replace_with([{"url": origin + "/", "cookies": [cookie("left", "over")]}])
        text = self.request([
            {"url": origin + "/", "cookies": [cookie("plain", "p1"), cookie("hidden", "h1", http_only=True)]},
            {"url": origin + "/interapp.html",
             "cookies": [cookie("wide", "w1", domain="127.0.0.1"),
                         cookie("kept", "k1", http_only=True, expires=4102444800.5)]},
        ])
        self.assertEqual(self.answer(text), "101")
        visible, sent = self.page_cookies()
        self.assertEqual(visible, {"plain": "p1", "wide": "w1"})
        self.assertEqual(sent, {"plain": "p1", "hidden": "h1", "wide": "w1", "kept": "k1"})

    def test_empty_domains_empty_the_store_and_answer_501(self):
        self.replace_with([{"url": self.server.origin + "/", "cookies": [cookie("a", "1")]}])
        self.assertEqual(self.answer(self.request([])), "501")
        self.assertEqual(self.page_cookies(), ({}, {}))

    def test_a_request_that_cannot_be_used_changes_nothing_and_answers_501(self):
        origin = self.server.origin
        self.replace_with([{"url": origin + "/", "cookies": [cookie("a", "1"), cookie("b", "2", http_only=True)]}])
        no_path = cookie("c", "3")
        del no_path["path"]
        bad = [
            [{"url": origin + "/", "cookies": [cookie("c", "3"), no_path]}],
            [{"url": origin + "/", "cookies": [cookie("c", "3", expirationDate="tomorrow", session=False)]}],
            [{"url": origin + "/", "cookies": [cookie("c", "3", secure="yes")]}],
            [{"url": origin + "/", "cookies": [cookie("c", "3;d=4")]}],
            [{"url": origin + "/", "cookies": [cookie("c", "3\r\nX-Injected: 1")]}],
            [{"url": origin + "/", "cookies": [cookie("c", "3", domain="example.org")]}],
            [{"url": "http://victim.co.uk/", "cookies": [cookie("c", "3", domain=".co.uk")]}],
            [{"url": origin + "/", "cookies": [cookie(None, 12)]}],
        ]
        for domains in bad:
            self.assertEqual(self.answer(self.request(domains)), "501", domains)
        self.assertEqual(self.page_cookies(), ({"a": "1"}, {"a": "1", "b": "2"}))

    def test_two_requests_in_quick_succession_are_answered_in_order_and_the_second_remains(self):
        origin = self.server.origin
        first = self.request([{"url": origin + "/", "cookies": [cookie("n%d" % i, "first") for i in range(50)]}])
        second = self.request([{"url": origin + "/", "cookies": [cookie("only", "second")]}])
        self.assertEqual(self.answer(first), "101")
        self.assertEqual(self.answer(second), "101")
        self.assertEqual(self.page_cookies(), ({"only": "second"}, {"only": "second"}))

    def test_ten_thousand_cookies_are_all_stored_and_answered(self):
        origin = self.server.origin
        many = [{"name": "c%d" % i, "value": "v", "hostOnly": 1, "path": "/", "secure": 0, "httpOnly": 0,
                 "session": 1} for i in range(10000)]
        umid = "ten-thousand"
        self.peer.send_text(set_cookies([{"url": origin + "/", "cookies": many}], umid))
        reply = json.loads(self.peer.recv_message(120.0))
        self.assertEqual(reply["message"]["status"], "101")
        # Too long to send with the whole request in it: the request's envelope identifies it.
        self.assertEqual(reply["message"]["payload"]["request"]["umid"], umid)
        self.assertEqual(self.page_cookies(count=True)[0], 10000)
        self.replace_with([{"url": origin + "/", "cookies": [cookie("small", "again")]}])

    def test_set_cookies_for_another_target_goes_to_the_page_and_leaves_the_store(self):
        origin = self.server.origin
        self.replace_with([{"url": origin + "/", "cookies": [cookie("a", "1")]}])
        text = self.request([{"url": origin + "/", "cookies": [cookie("b", "2")]}], target="browser.webapp.js")
        self.program.app.wait_console("GOT " + text)
        self.assertEqual(self.page_cookies(), ({"a": "1"}, {"a": "1"}))

    def test_cookie_values_are_never_logged(self):
        secret = "s3cr3t-" + uuid.uuid4().hex
        # The value first: every excerpt of the text would show it.
        text = ('{"message":{"payload":{"domains":[{"cookies":[{"value":"%s","name":"token","hostOnly":true,'
                '"path":"/","secure":false,"httpOnly":true,"session":true}],"url":"%s/"}]},"type":"request",'
                '"sub_type":"setCookies"},"target":"tvd.native","umid":"secret"}' % (secret, self.server.origin))
        self.peer.send_text(text)
        self.assertEqual(self.answer(text), "101")
        self.assertEqual(self.page_cookies()[1]["token"], secret)
        self.program.app.wait_log("token")  # names are logged; the lines around them are in the file too
        logs = self.program.app.logs
        texts = {"standard error": self.program.app.stderr()}
        for name in os.listdir(logs):
            with open(os.path.join(logs, name), encoding="utf-8", errors="replace") as f:
                texts[name] = f.read()
        leaks = {name: [line[:90] for line in text.splitlines() if secret in line] for name, text in texts.items()}
        self.maxDiff = None
        self.assertEqual({name: lines for name, lines in leaks.items() if lines}, {})


class CutOffSetCookiesTest(unittest.TestCase):
    """The program ended while the store is being replaced: after a restart the store holds the old
    cookies or the new ones, each set whole. A quit lets the request finish; a kill leaves a
    journal that the next start replays."""

    def test_sigterm_or_sigkill_during_six_thousand_cookies_leaves_one_whole_set(self):
        display = Display()
        self.addCleanup(display.close)
        server = CookieServer()
        self.addCleanup(server.close)
        origin = server.origin
        old, new = ["o%d" % i for i in range(200)], ["n%d" % i for i in range(6000)]
        for sig, exit_code in ((signal.SIGTERM, 0), (signal.SIGKILL, -signal.SIGKILL)):
            with self.subTest(signal=sig.name):
                home = tempfile.mkdtemp(prefix="tvc-it-")
                self.addCleanup(shutil.rmtree, home, True)

                def start():
                    program = InterAppProgram(display, args=QUIET_NET, url=origin + "/interapp.html", home=home)
                    self.addCleanup(program.cleanup)
                    program.start()
                    peer = program.peer()
                    self.addCleanup(peer.drop)
                    return program, peer

                def request(peer, cookie_names, umid):
                    # Persistent: only those outlive the program.
                    peer.send_text(set_cookies([{"url": origin + "/", "cookies": [
                        cookie(name, "1", expires=4102444800) for name in cookie_names]}], umid))

                program, peer = start()
                request(peer, old, "old")
                self.assertEqual(json.loads(peer.recv_message(30.0))["message"]["status"], "101")
                request(peer, new, "new")
                program.app.wait_log("Number of Cookie objects to be set : %d" % len(new))
                program.app.proc.send_signal(sig)
                self.assertEqual(program.app.proc.wait(30), exit_code)
                # Left only by a request the kill cut off (a fast store may have finished first).
                cut_off = os.path.exists(os.path.join(program.app.tree, "Cache", "PendingCookies.json"))
                if sig == signal.SIGTERM:
                    self.assertFalse(cut_off, "the quit did not let the request finish")

                program, peer = start()
                if cut_off:
                    program.app.wait_log("the cut-off replacement ended with 101")
                peer.send_text(envelope(type_="cookies", payload={"count": False}, umid="after"))
                reply = json.loads(peer.recv_message(30.0))
                held = sorted(as_dict(reply["message"]["payload"]["cookie"]))
                self.assertTrue(held in (sorted(old), sorted(new)), "%d cookies held, %d of them new"
                                % (len(held), sum(name.startswith("n") for name in held)))


class BringWindowToFrontTest(ProgramCase):

    @classmethod
    def setUpClass(cls):
        cls.start_program(Display(window_manager=True), args=QUIET_NET + ["--show-on-launch"])

    def test_a_minimised_window_comes_back_on_top_and_the_peer_hears_nothing(self):
        app = self.program.app
        wid = app.window_id()
        wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
        self.display.run("xdotool", "windowminimize", wid)
        wait_for(lambda: is_iconic(app, wid), 10, what="the window iconic")
        with self.program.peer() as peer:
            peer.send_text(envelope(target="tvd.native", type_="request", sub_type="bringWindowToFront", umid="w"))
            wait_for(lambda: not is_iconic(app, wid), 10, what="the window back")
            wait_for(lambda: "_NET_WM_STATE_HIDDEN" not in net_wm_state(app, wid), 10, what="no longer hidden")
            wait_for(lambda: stacking(self.display)[-1:] == [int(wid, 0)], 10, what="the window on top")
            # The first thing the peer receives is the echo sent after the command.
            after = envelope(umid="after-bring-to-front")
            peer.send_text(after)
            self.assertEqual(peer.recv_message(20.0), after)


class DuringQuitTest(unittest.TestCase):
    """Once the quit has begun, the extension's commands change nothing."""

    def test_commands_during_the_quit_have_no_effect(self):
        display = Display()
        self.addCleanup(display.close)
        server = CookieServer()
        self.addCleanup(server.close)
        port = free_port()
        app = App(display, url=server.origin + "/quit.html?answer=later&ms=3000",
                  args=QUIET_NET + ["--ws-ports=%d" % port])
        self.addCleanup(app.cleanup)
        app.start()
        app.wait_console("PAGE ready")
        app.wait_log("listening on 127.0.0.1:%d" % port)
        with RawPeer(port) as peer:
            app.proc.send_signal(signal.SIGTERM)
            app.wait_console("QUIT asked")
            quit_began = len(app.log_text())
            # "umid" first, so the listener's excerpt of what it received shows it.
            peer.send_text('{"umid":"during-quit","target":"tvd.native","message":{"type":"request",'
                           '"sub_type":"setCookies","payload":{"domains":[{"url":"%s/","cookies":[%s]}]}}}'
                           % (server.origin, json.dumps(cookie("late", "1"))))
            peer.send_text('{"umid":"during-quit-raise","target":"tvd.native","message":{"type":"request",'
                           '"sub_type":"bringWindowToFront","payload":{}}}')
            app.wait_log('LWS_CALLBACK_RECEIVE : {"umid":"during-quit-raise"')
            try:
                self.fail("the program answered during the quit: %s" % peer.recv_message(15.0))
            except (PeerClosed, TimeoutError, OSError):
                pass
        self.assertEqual(app.proc.wait(30), 0)
        during = app.log_text()[quit_began:]
        for line in ("CCookieObserver::OnInterAppMessageRceive ++", "CNativeWindowObserver::OnInterAppMessageRceive ++",
                     "CCookieManager::DeleteCookies", "BringWindowToFront request from extension"):
            self.assertNotIn(line, during)


if __name__ == "__main__":
    unittest.main()
