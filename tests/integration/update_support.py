"""A loopback update service for the updater's tests: an appcast and an installer that records
that it ran."""
import base64
import ctypes
import hashlib
import http.server
import json
import os
import subprocess
import sys
import threading

INSTALLER = "TavistoForWebInstaller.run"
RUNNING_VERSION = "1.2.8.362"


class UpdateServer:
    """Serves `files` (path -> bytes); a path in `cut_off` announces its full size and stops half-way.
    A path in `endless` is a body without end or length; one in `stalled` sends its headers and a
    first piece (enough for the engine to open the download), then nothing; `announced` gives a path a length of its own. `sent` counts the body
    bytes each path got out."""

    def __init__(self):
        self.files = {}
        self.cut_off = set()
        self.endless = set()
        self.stalled = set()
        self.announced = {}
        self.sent = {}
        self.closing = threading.Event()
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append(self.path)
                if self.path in server.endless:
                    self.send_response(200)
                    self.send_header("Content-Type", "application/octet-stream")
                    self.end_headers()
                    self.close_connection = True
                    while not server.closing.is_set():
                        self.send_body(b"x" * 65536)
                    return
                body = server.files.get(self.path)
                if body is None:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(server.announced.get(self.path, len(body))))
                self.end_headers()
                if self.path in server.stalled:
                    self.send_body(body[:16] + b"#" * 4096)
                    server.closing.wait(120)
                    return
                if self.path in server.cut_off:
                    self.wfile.write(body[:len(body) // 2])
                    self.wfile.flush()
                    self.close_connection = True
                    return
                self.wfile.write(body)

            def send_body(self, data):
                self.wfile.write(data)
                self.wfile.flush()
                server.sent[self.path] = server.sent.get(self.path, 0) + len(data)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True

            def handle_error(self, request, client_address):
                # The program cancels a download it will not keep (an update folder it cannot make).
                if not isinstance(sys.exc_info()[1], (ConnectionResetError, BrokenPipeError)):
                    super().handle_error(request, client_address)

        self.httpd = Server(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    @property
    def appcast_url(self):
        return self.url("/appcast/Appcast.json")

    def publish(self, version, installer, checksum=None, signature=None, extra=None, name=INSTALLER):
        """An appcast naming `version` and the installer bytes it serves under `name`."""
        self.files["/bin/" + name] = installer
        appcast = {"Title": "Tavisto for Web", "ReleaseNotes": self.url("/bin/ReleaseNotes.txt"),
                   "Downloadpath": self.url("/bin/" + name), "Version": version,
                   "Checksum": checksum if checksum is not None else hashlib.sha1(installer).hexdigest()}
        if signature is not None:
            appcast["Signature"] = signature
        appcast.update(extra or {})
        self.files["/appcast/Appcast.json"] = json.dumps(appcast).encode()

    def installer_requests(self):
        return [p for p in self.requests if p.endswith(INSTALLER)]

    def close(self):
        self.closing.set()
        self.httpd.shutdown()
        self.httpd.server_close()


def installer_script(marker):
    return ("#!/bin/sh\necho \"installer ran as $0\" > '%s'\n" % marker).encode()


class SigningKey:
    """An Ed25519 key pair made with the openssl command line, as a maker would."""

    def __init__(self, folder, name="maker"):
        self.private = os.path.join(folder, name + ".pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "ed25519", "-out", self.private], check=True)
        pem = subprocess.run(["openssl", "pkey", "-in", self.private, "-pubout"], check=True,
                             capture_output=True, text=True).stdout
        self.public_base64 = "".join(l for l in pem.splitlines() if not l.startswith("-----"))

    def sign(self, data, folder):
        path = os.path.join(folder, "to-sign.bin")
        with open(path, "wb") as f:
            f.write(data)
        sig = subprocess.run(["openssl", "pkeyutl", "-sign", "-inkey", self.private, "-rawin", "-in", path],
                             check=True, capture_output=True).stdout
        return base64.b64encode(sig).decode()


class FirstOpen:
    """Runs `action` on a thread of its own as soon as the file at `path` is next opened (inotify
    on the file itself, so a rename over its name does not move the watch)."""

    IN_OPEN = 0x20

    def __init__(self, path, action):
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_CLOEXEC)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, path.encode(), self.IN_OPEN) < 0:
            raise OSError(ctypes.get_errno(), "inotify")
        self.done = threading.Event()

        def watch():
            os.read(self.fd, 4096)
            action()
            self.done.set()
        threading.Thread(target=watch, daemon=True).start()
