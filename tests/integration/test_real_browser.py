"""A real browser as the peer: Debian's Chromium, headless, with a test extension of our own
(manifest v3). Its service worker connects to the listener and exchanges messages with the test
page through the program; a web page served from loopback, opened in the same browser, is refused."""
import http.server
import json
import os
import shutil
import subprocess
import tempfile
import threading
import unittest

from interapp_support import InterAppTestCase, envelope
from tvc_harness import wait_for

CHROMIUM = shutil.which("chromium")

WORKER = """
const report = (what) => fetch("http://127.0.0.1:%(http)d/report", {method: "POST", body: JSON.stringify(what)});
const sent = %(sent)s;
const ws = new WebSocket("ws://127.0.0.1:%(ws)d/browser", "tvb-websocket-message");
ws.onopen = () => { report({extension: "open"}); sent.forEach((text) => ws.send(text)); };
let seq = 0;  // reports travel in parallel: the order of arrival goes with them
ws.onmessage = (e) => report({extension: "message", seq: seq++, text: e.data});
ws.onerror = () => report({extension: "error"});
ws.onclose = (e) => report({extension: "closed", code: e.code});
"""

PAGE = """<!DOCTYPE html><html><body><script>
const report = (what) => fetch("/report", {method: "POST", body: JSON.stringify(what)});
const ws = new WebSocket("ws://127.0.0.1:%(ws)d/browser", "tvb-websocket-message");
ws.onopen = () => report({page: "open"});
ws.onerror = () => report({page: "error"});
ws.onclose = (e) => report({page: "closed", code: e.code});
</script></body></html>"""


class ReportServer:
    """Loopback HTTP: serves the web page and collects what the extension and the page report."""

    def __init__(self):
        self.reports = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                body = server.page.encode()
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_POST(self):
                length = int(self.headers.get("Content-Length", 0))
                server.reports.append(json.loads(self.rfile.read(length)))
                self.send_response(204)
                self.send_header("Access-Control-Allow-Origin", "*")
                self.end_headers()

        self.page = ""
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


@unittest.skipIf(CHROMIUM is None, "chromium is not installed")
class RealBrowserTest(InterAppTestCase):
    def setUp(self):
        super().setUp()
        self.server = ReportServer()
        self.folder = tempfile.mkdtemp(prefix="tvc-chromium-")
        self.browser = None

    def tearDown(self):
        if self.browser and self.browser.poll() is None:
            self.browser.terminate()
            try:
                self.browser.wait(10)
            except subprocess.TimeoutExpired:
                self.browser.kill()
                self.browser.wait()
        self.server.close()
        shutil.rmtree(self.folder, ignore_errors=True)
        super().tearDown()

    def reports(self, key):
        return [r for r in self.server.reports if key in r]

    def test_extension_talks_to_the_page_and_a_web_page_is_refused(self):
        ports = {"http": self.server.port, "ws": self.program.port}
        sent = [envelope(payload={"from": "chromium", "n": i, "text": "é😀"}, umid="chromium-%d" % i)
                for i in range(3)]
        extension = os.path.join(self.folder, "extension")
        os.makedirs(extension)
        with open(os.path.join(extension, "manifest.json"), "w") as f:
            json.dump({"manifest_version": 3, "name": "Tavisto test peer", "version": "1.0",
                       "background": {"service_worker": "worker.js"},
                       "host_permissions": ["http://127.0.0.1/*"]}, f)
        with open(os.path.join(extension, "worker.js"), "w") as f:
            f.write(WORKER % dict(ports, sent=json.dumps(sent)))
        self.server.page = PAGE % ports
        self.browser = subprocess.Popen(
            [CHROMIUM, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--user-data-dir=" + os.path.join(self.folder, "profile"), "--load-extension=" + extension,
             "--disable-extensions-except=" + extension, "http://127.0.0.1:%d/page.html" % self.server.port],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=self.display.env())

        # The extension: accepted, its texts through the page and back, whole and in order.
        echoed = wait_for(lambda: (lambda m: m if len(m) >= len(sent) else None)(
            [r["text"] for r in sorted((r for r in self.reports("extension") if r["extension"] == "message"),
                                       key=lambda r: r["seq"])]),
            timeout=60, what="the page's answers in the extension")
        self.assertEqual(echoed, sent)
        origin = self.program.wait_log_line("chrome-extension://")[1]
        self.assertRegex(origin, r"chrome-extension://[a-p]{32}")
        # The web page of the same browser: refused at the handshake, never connected.
        wait_for(lambda: "error" in [r["page"] for r in self.reports("page")], timeout=30,
                 what="the web page's error")
        self.assertNotIn("open", [r["page"] for r in self.reports("page")])
        self.program.wait_log_line("refusing handshake : Origin=http://127.0.0.1:%d" % self.server.port)


if __name__ == "__main__":
    unittest.main()
