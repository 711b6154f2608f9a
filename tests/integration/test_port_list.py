"""The listener's ports from a configuration file served on loopback (--config-base-url): used at
the next listener start, with the stored last port first; a file that is no port list is ignored;
the port-failure dialog waits for the list."""
import http.server
import json
import os
import socket
import threading

from interapp_support import RawPeer
from tvc_harness import App, AppTestCase, free_port, page_url, wait_for
from update_support import UpdateServer

CONFIG_PATH = "/config/type/services/product/ws-retail/version/"


class HeldConfigServer:
    """Serves the configuration file once `release` is set, so the test decides when it arrives."""

    def __init__(self, body):
        self.body = body.encode()
        self.release = threading.Event()
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append(self.path)
                server.release.wait(60)
                if self.path != CONFIG_PATH + "1.0.0.0.json":
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(server.body)))
                self.end_headers()
                self.wfile.write(server.body)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True

        self.httpd = Server(("127.0.0.1", 0), Handler)
        self.base = "http://127.0.0.1:%d%s" % (self.httpd.server_address[1], CONFIG_PATH)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.release.set()
        self.httpd.shutdown()
        self.httpd.server_close()


def busy_port():
    """A loopback socket listening on a free port, so the program cannot listen there."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(1)
    return s


class PortListTest(AppTestCase):
    def launch_with(self, config_text, stored_port=None, release=True):
        busy = [busy_port(), busy_port()]
        for s in busy:
            self.addCleanup(s.close)
        server = HeldConfigServer(config_text)
        self.addCleanup(server.close)
        ports = ",".join(str(s.getsockname()[1]) for s in busy)
        app = App(self.display, url=page_url("quit.html"),
                  args=["--ws-ports=" + ports, "--config-base-url=" + server.base])
        self.apps.append(app)
        if stored_port is not None:
            os.makedirs(os.path.dirname(app.prefs), exist_ok=True)
            with open(app.prefs, "w") as f:
                f.write("[websockets]\nlastListenedWSPort=%d\n" % stored_port)
        app.start()
        # The first start has only the default list, all of it taken.
        app.wait_log("Couldnt listen to any of the web-socket ports")
        wait_for(lambda: server.requests, what="the configuration download")
        if release:
            server.release.set()
        self.server = server
        return app

    def test_downloaded_ports_serve_the_next_start_last_port_first(self):
        first, last = free_port(), free_port()
        config = json.dumps({"config": {"websocket": {
            "remotePortList": [str(first), "abc", str(last), "70000"],
            "helpUrl": "https://help.example/ports"}}})
        app = self.launch_with(config, stored_port=last)
        app.wait_log("listening on 127.0.0.1:%d" % last)
        with RawPeer(last):
            pass
        self.assertEqual(app.terminate(), 0)
        with open(app.prefs) as f:
            self.assertIn("lastListenedWSPort=%d" % last, f.read())
        cache = os.path.join(app.tree, "Cache", "1.0.0.0.json")
        with open(cache) as f:
            self.assertEqual(json.load(f)["config"]["websocket"]["helpUrl"], "https://help.example/ports")

    def test_port_failure_dialog_waits_for_the_list_whose_port_then_works(self):
        port = free_port()
        config = json.dumps({"config": {"websocket": {"remotePortList": [str(port)]}}})
        app = self.launch_with(config, release=False)
        # Both runs of the default list failed while the list was still on its way.
        app.wait_log("the dialog waits for it")
        self.server.release.set()
        app.wait_log("listening on 127.0.0.1:%d" % port)
        shown = self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.proc.pid),
                                 "--name", "ports unavailable")
        self.assertEqual(shown.split(), [])
        self.assertEqual(app.terminate(), 0)

    def test_a_file_that_is_no_port_list_leaves_the_list_as_it_was(self):
        app = self.launch_with('{"config": {"websocket": {"remotePortList": "52000"}}}')
        app.wait_log("the downloaded port list is unusable")
        self.assertNotIn("listening on", app.log_text())
        self.assertEqual(app.terminate(), 0)

    def test_an_endless_file_is_cut_off_at_its_limit_ignored_and_not_kept(self):
        server = UpdateServer()
        self.addCleanup(server.close)
        server.endless.add(CONFIG_PATH + "1.0.0.0.json")
        app = self.launch(url=page_url("quit.html"), args=[
            "--ws-ports=%d" % free_port(), "--config-base-url=" + server.url(CONFIG_PATH)])
        app.wait_log("File download was not sucessful")
        self.assertIn("larger than its limit of 65536 bytes", app.log_text())
        self.assertLess(server.sent[CONFIG_PATH + "1.0.0.0.json"], 64 << 20)
        self.assertEqual([f for f in os.listdir(os.path.join(app.tree, "Cache")) if "1.0.0.0" in f or "download" in f], [])
        self.assertEqual(app.terminate(), 0)

    def test_a_trickling_file_is_given_up_at_its_deadline_and_the_dialog_comes(self):
        server = UpdateServer()
        self.addCleanup(server.close)
        path = CONFIG_PATH + "1.0.0.0.json"
        server.files[path] = b'{"config": {}}'
        server.announced[path] = 1 << 15
        server.trickled.add(path)
        busy = busy_port()
        self.addCleanup(busy.close)
        app = self.launch(url=page_url("quit.html"), args=[
            "--ws-ports=%d" % busy.getsockname()[1], "--config-base-url=" + server.url(CONFIG_PATH),
            "--download-deadline-ms=3000"])
        app.wait_log("File download was not sucessful")
        self.assertIn("not done within 3000 ms", app.log_text())
        wait_for(lambda: self.display.run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.proc.pid),
                                          "--name", "ports unavailable").split(),
                 what="the port-failure dialog")
        self.assertEqual(app.terminate(), 0)
