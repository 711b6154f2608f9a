"""The page's own downloads land in the user's download folder and never write over a file."""
import errno
import http.server
import os
import shutil
import tempfile
import threading

from bridge_support import QUIET_NET
from tvc_harness import AppTestCase, free_port, wait_for

NAME = "same.txt"
# One download per turn: a second click in the same turn takes the place of the first.
PAGE = b"""<!doctype html><body><script>
function get(n) {
  const a = document.createElement("a");
  a.href = "/dl/" + n;
  a.download = "%s";
  document.body.appendChild(a);
  a.click();
  if (n < 2) setTimeout(() => get(n + 1), 200);
}
get(1);
</script></body>""" % NAME.encode()


class DownloadServer:
    """The page at "/"; "/dl/N" answers, once both are asked for, with its headers and a first
    piece, and with the rest of its body (N repeated) once `release` is set."""

    def __init__(self):
        self.release = threading.Event()
        # Both answers leave together, so the program picks both names in one go.
        self.both_asked = threading.Barrier(2, timeout=30)
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path == "/":
                    body = PAGE
                    self.send_response(200)
                    self.send_header("Content-Type", "text/html")
                else:
                    body = self.path.rsplit("/", 1)[1].encode() * 8192
                    server.both_asked.wait()
                    self.send_response(200)
                    self.send_header("Content-Type", "application/octet-stream")
                    self.send_header("Content-Disposition", 'attachment; filename="%s"' % NAME)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                if self.path != "/":
                    # Enough for the engine to open the download; the rest waits.
                    self.wfile.write(body[:4096])
                    server.release.wait(60)
                    body = body[4096:]
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True

        self.httpd = Server(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.release.set()
        self.both_asked.abort()
        self.httpd.shutdown()
        self.httpd.server_close()


class PageDownloadTest(AppTestCase):
    def test_two_downloads_of_one_name_and_a_file_saved_meanwhile_are_all_kept(self):
        server = DownloadServer()
        self.addCleanup(server.close)
        folder = tempfile.mkdtemp(prefix="tvc-dl-")
        self.addCleanup(shutil.rmtree, folder, True)
        app = self.launch(url=server.url, args=QUIET_NET + ["--ws-ports=%d" % free_port()],
                          extra_env={"XDG_DOWNLOAD_DIR": folder})
        wait_for(lambda: app.log_text().count("page download of " + server.url + "dl/") == 2,
                 what="both downloads under way")
        # Another program saves under the suggested name meanwhile, without replacing a file.
        mine = False
        try:
            fd = os.open(os.path.join(folder, NAME), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            os.write(fd, b"mine")
            os.close(fd)
            mine = True
        except OSError as e:
            self.assertEqual(e.errno, errno.EEXIST)
        server.release.set()
        wait_for(lambda: app.log_text().count("page download complete") == 2, what="both downloads complete")
        contents = {}
        for name in os.listdir(folder):
            with open(os.path.join(folder, name), "rb") as f:
                contents[name] = f.read()
        self.assertEqual(sorted(contents.values()), sorted([b"1" * 8192, b"2" * 8192] + ([b"mine"] if mine else [])))
        if mine:
            self.assertEqual(contents[NAME], b"mine")
        self.assertEqual(app.terminate(), 0)
