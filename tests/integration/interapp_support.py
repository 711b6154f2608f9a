"""Helpers for the inter-app tests and the end-to-end benchmark: the program started with a
WebSocket port of its own, a WebSocket peer that can also write frames no polite client would,
a throw-away web server, and readers for the browser log and the process tree."""
import base64
import functools
import hashlib
import http.server
import json
import os
import select
import socket
import struct
import threading
import time
import unittest

from tvc_harness import PAGES, App, free_port, page_url, wait_for  # noqa: F401  (free_port: for the tests)

PROTOCOL = "tvb-websocket-message"
OP_CONT, OP_TEXT, OP_BINARY, OP_CLOSE, OP_PING, OP_PONG = 0x0, 0x1, 0x2, 0x8, 0x9, 0xA


def envelope(target="browser.webapp.js", type_="echo", payload=None, umid="u", **extra):
    """A request in the key order and spacing the extension uses; the tests compare exact text."""
    obj = {"source": "browser.extension", "target": target,
           "message": {"type": type_, "sub_type": extra.pop("sub_type", "test"), "payload": payload or {}},
           "umid": umid}
    obj.update(extra)
    return json.dumps(obj, separators=(",", ":"), ensure_ascii=False)


class PeerClosed(Exception):
    def __init__(self, code=None, reason=""):
        super().__init__("connection closed (code %r, %r)" % (code, reason))
        self.code = code
        self.reason = reason


class HandshakeRefused(Exception):
    def __init__(self, status):
        super().__init__("handshake refused with HTTP status %r" % (status,))
        self.status = status


def _mask(data, key):
    if not data:
        return b""
    n = len(data)
    repeated = (key * (n // 4 + 1))[:n]
    return (int.from_bytes(data, "big") ^ int.from_bytes(repeated, "big")).to_bytes(n, "big")


class RawPeer:
    """A blocking RFC 6455 client over a plain socket: any request line and headers, any frame."""

    def __init__(self, port, path="/browser", host=None, origin=None, protocol=PROTOCOL, timeout=10.0, headers=()):
        self.port = port
        self.timeout = timeout
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buf = bytearray()
        key = base64.b64encode(os.urandom(16)).decode()
        lines = ["GET %s HTTP/1.1" % path,
                 "Host: %s" % (host if host is not None else "127.0.0.1:%d" % port),
                 "Upgrade: websocket", "Connection: Upgrade",
                 "Sec-WebSocket-Key: " + key, "Sec-WebSocket-Version: 13"]
        if protocol:
            lines.append("Sec-WebSocket-Protocol: " + protocol)
        if origin is not None:
            lines.append("Origin: " + origin)
        lines.extend(headers)
        self.sock.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        try:
            head = self._read_until(b"\r\n\r\n")
        except PeerClosed:
            self.sock.close()
            raise HandshakeRefused(None)  # the listener hung up without an answer
        status_line, *header_lines = head.decode("latin-1").split("\r\n")
        parts = status_line.split()
        self.status = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else None
        self.headers = {}
        for line in header_lines:
            if ":" in line:
                name, value = line.split(":", 1)
                self.headers[name.strip().lower()] = value.strip()
        if self.status != 101:
            self.sock.close()
            raise HandshakeRefused(self.status)
        expected = base64.b64encode(hashlib.sha1((key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11").encode())
                                    .digest()).decode()
        if self.headers.get("sec-websocket-accept") != expected:
            raise AssertionError("bad Sec-WebSocket-Accept: %r" % (self.headers,))

    # --- bytes on the wire
    def _read_more(self, deadline):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise TimeoutError("no data from the listener in time")
        ready, _, _ = select.select([self.sock], [], [], remaining)
        if not ready:
            raise TimeoutError("no data from the listener in time")
        try:
            chunk = self.sock.recv(1 << 20)
        except ConnectionResetError:
            chunk = b""
        if not chunk:
            raise PeerClosed(None, "end of stream")
        self.buf += chunk

    def _read_until(self, marker):
        deadline = time.monotonic() + self.timeout
        while marker not in self.buf:
            self._read_more(deadline)
        end = self.buf.index(marker) + len(marker)
        out = bytes(self.buf[:end])
        del self.buf[:end]
        return out

    def _read_exact(self, n, deadline):
        while len(self.buf) < n:
            self._read_more(deadline)
        out = bytes(self.buf[:n])
        del self.buf[:n]
        return out

    # --- frames
    def send_frame(self, opcode, payload=b"", fin=True, mask_key=None, masked=True):
        """`masked=False` sends the payload as it is, without the mask a client owes."""
        if isinstance(payload, str):
            payload = payload.encode()
        key = mask_key if mask_key is not None else os.urandom(4)
        n = len(payload)
        bit = 0x80 if masked else 0
        head = bytes([(0x80 if fin else 0) | opcode])
        if n < 126:
            head += bytes([bit | n])
        elif n < 65536:
            head += bytes([bit | 126]) + struct.pack("!H", n)
        else:
            head += bytes([bit | 127]) + struct.pack("!Q", n)
        self.sock.sendall(head + (key + _mask(payload, key) if masked else payload))

    def send_text(self, text, pieces=1):
        """One message; split over `pieces` frames (text + continuations) when asked."""
        data = text.encode() if isinstance(text, str) else bytes(text)
        if pieces <= 1:
            return self.send_frame(OP_TEXT, data)
        step = max(1, -(-len(data) // pieces))
        chunks = [data[i:i + step] for i in range(0, len(data), step)] or [b""]
        for i, chunk in enumerate(chunks):
            self.send_frame(OP_TEXT if i == 0 else OP_CONT, chunk, fin=(i == len(chunks) - 1))

    def recv_frame(self, timeout=None):
        deadline = time.monotonic() + (timeout if timeout is not None else self.timeout)
        b0, b1 = self._read_exact(2, deadline)
        n = b1 & 0x7F
        if n == 126:
            n = struct.unpack("!H", self._read_exact(2, deadline))[0]
        elif n == 127:
            n = struct.unpack("!Q", self._read_exact(8, deadline))[0]
        if b1 & 0x80:
            raise AssertionError("the server masked a frame")
        return bool(b0 & 0x80), b0 & 0x0F, self._read_exact(n, deadline)

    def recv_message(self, timeout=None):
        """The next whole text message. A close frame raises PeerClosed with its code."""
        deadline = time.monotonic() + (timeout if timeout is not None else self.timeout)
        parts = []
        while True:
            fin, opcode, payload = self.recv_frame(max(0.0, deadline - time.monotonic()))
            if opcode == OP_CLOSE:
                code = struct.unpack("!H", payload[:2])[0] if len(payload) >= 2 else None
                raise PeerClosed(code, payload[2:].decode(errors="replace"))
            if opcode == OP_PING:
                self.send_frame(OP_PONG, payload)
                continue
            if opcode == OP_PONG:
                continue
            if (opcode == OP_CONT) != bool(parts):
                raise AssertionError("bad frame order: opcode %d with %d earlier pieces" % (opcode, len(parts)))
            parts.append(payload)
            if fin:
                return b"".join(parts).decode()

    def wait_closed(self, timeout=None):
        """Reads until the listener closes; gives the close code (None: no close frame)."""
        try:
            while True:
                self.recv_message(timeout)
        except PeerClosed as closed:
            return closed.code

    def close(self, code=1000):
        try:
            self.send_frame(OP_CLOSE, struct.pack("!H", code))
        except OSError:
            pass
        self.drop()

    def drop(self):
        """Ends the TCP connection without a close frame."""
        try:
            self.sock.close()
        except OSError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.drop()


class InterAppProgram:
    """The program on its own WebSocket port, showing the inter-app test page."""

    def __init__(self, display, page="interapp.html", args=(), url=None, home=None):
        self.port = free_port()
        self.start_url = url or page_url(page)
        self.app = App(display, home=home, url=self.start_url, args=["--ws-ports=%d" % self.port] + list(args))

    def start(self, timeout=30.0):
        self.app.start()
        self.app.wait_console("PAGE ready " + self.start_url, timeout)
        self.app.wait_log("listening on 127.0.0.1:%d" % self.port, timeout=timeout)
        return self

    def peer(self, path="/browser", **kwargs):
        return RawPeer(self.port, path, **kwargs)

    def console_count(self, needle):
        return self.app.console_log().count(needle)

    def log_lines(self, needle):
        """(level letter, line) for every browser-log line holding `needle`."""
        return [(line[:1], line) for line in self.app.log_text().splitlines() if needle in line]

    def wait_log_line(self, needle, timeout=20.0):
        return wait_for(lambda: self.log_lines(needle), timeout, what="log line %r" % needle)[-1]

    def open_fds(self):
        return len(os.listdir("/proc/%d/fd" % self.app.proc.pid))

    def cleanup(self):
        self.app.cleanup()


def round_trips(peer, texts, timeout=20.0):
    """Sends every text, then reads as many answers: the answers, in the order they came."""
    for text in texts:
        peer.send_text(text)
    return [peer.recv_message(timeout) for _ in texts]


def numbered(prefix, first, count):
    return [envelope(payload={"seq": i, "tag": prefix}, umid="%s-%d" % (prefix, i))
            for i in range(first, first + count)]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PageServer:
    """http://127.0.0.1:port/ serving the test pages; records the paths asked for."""

    def __init__(self, port=0):
        server = self

        class Handler(QuietHandler):
            def do_GET(self):
                server.requests.append(self.path)
                return super().do_GET()

        self.requests = []
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port),
                                                     functools.partial(Handler, directory=PAGES))
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return "http://127.0.0.1:%d/%s" % (self.port, path.lstrip("/"))

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def process_tree_cpu_seconds(pid):
    """utime + stime of `pid` and every live descendant, in seconds."""
    tick = os.sysconf("SC_CLK_TCK")
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append((int(entry), int(fields[11]) + int(fields[12])))
    total, todo = 0, [pid]
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        total += int(fields[11]) + int(fields[12])
    except OSError:
        pass
    while todo:
        for child, ticks in children.get(todo.pop(), []):
            total += ticks
            todo.append(child)
    return total / tick


def memory_kb(pid, field="VmRSS"):
    """A memory figure of /proc/<pid>/status, in KiB (VmHWM: the peak resident size)."""
    with open("/proc/%d/status" % pid) as f:
        return int(next(line for line in f if line.startswith(field + ":")).split()[1])


def reset_peak_memory(pid):
    """Starts VmHWM again from the current resident size."""
    with open("/proc/%d/clear_refs" % pid, "w") as f:
        f.write("5")


def sized(size, tag, type_="echo"):
    """An envelope of exactly `size` bytes (UTF-8), padded in its payload."""
    base = envelope(type_=type_, payload={"tag": tag, "pad": ""}, umid=tag)
    if size < len(base.encode()):
        raise ValueError("%d bytes is below the envelope's own size" % size)
    return envelope(type_=type_, payload={"tag": tag, "pad": "x" * (size - len(base.encode()))}, umid=tag)


class InterAppTestCase(unittest.TestCase):
    """One display and one run of the program per class; the peers a test opens are dropped after it."""

    page = "interapp.html"
    args = ()

    @classmethod
    def before_start(cls, app):
        """Subclasses prepare the program's tree here."""

    @classmethod
    def setUpClass(cls):
        from tvc_harness import Display
        cls.display = Display()
        cls.program = InterAppProgram(cls.display, cls.page, cls.args)
        try:
            cls.before_start(cls.program.app)
            cls.program.start()
        except BaseException:
            cls.program.cleanup()
            cls.display.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.program.cleanup()
        cls.display.close()

    def setUp(self):
        self.peers = []

    def tearDown(self):
        for peer in self.peers:
            peer.drop()
        self.assertTrue(self.program.app.alive(), "the program ended")

    def peer(self, path="/browser", **kwargs):
        peer = self.program.peer(path, **kwargs)
        self.peers.append(peer)
        return peer

    def assert_sequence(self, peer, tag, count=20):
        """Numbered messages through the page and back: every one, in order, unchanged."""
        texts = numbered(tag, 0, count)
        self.assertEqual(round_trips(peer, texts), texts)

    def assert_logged(self, needle, level):
        level_seen, line = self.program.wait_log_line(needle)
        self.assertEqual(level_seen, level, line)

    def assert_refused(self, **kwargs):
        with self.assertRaises(HandshakeRefused, msg=repr(kwargs)):
            self.peer(**kwargs)
