"""Only the processes of the account the program runs as talk to the page: a peer of another
account on the same machine is hung up on before a byte of the handshake is answered, and the
user's own peer keeps its connection and its texts. Switching account takes root: without it the
test is skipped."""
import json
import os
import pwd
import shutil
import subprocess
import sys
import unittest

from interapp_support import InterAppTestCase, envelope

# Run as the other account: connects, sends a handshake an extension would send and a text, and
# prints every byte it got back.
FOREIGN_PEER = r"""
import base64, os, socket, sys
port = int(sys.argv[1])
s = socket.create_connection(("127.0.0.1", port), timeout=10)
key = base64.b64encode(os.urandom(16)).decode()
s.sendall(("GET /browser HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Protocol: tvb-websocket-message\r\n"
           "Origin: chrome-extension://abcdefghijklmnop\r\n\r\n" % (port, key)).encode())
got = b""
try:
    while True:
        chunk = s.recv(65536)
        if not chunk:
            break
        got += chunk
except (ConnectionResetError, socket.timeout):
    pass
sys.stdout.write(repr(got))
"""

OTHER_ACCOUNT = "nobody"


def other_account_peer(port):
    """What a peer run as another account received."""
    done = subprocess.run(["runuser", "-u", OTHER_ACCOUNT, "--", sys.executable, "-c", FOREIGN_PEER, str(port)],
                          cwd="/", capture_output=True, text=True, timeout=30)
    if done.returncode != 0:
        raise AssertionError("the other account's peer failed: %s" % done.stderr)
    return done.stdout


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("runuser"),
                     "running a peer as another account takes root (ctest label 'root')")
class OtherAccountTest(InterAppTestCase):

    def test_another_accounts_peer_is_refused_and_the_own_peer_served(self):
        self.assertNotEqual(pwd.getpwnam(OTHER_ACCOUNT).pw_uid, os.geteuid())
        peer = self.peer()
        self.assert_sequence(peer, "before-foreign", 5)
        # Half a message of the active peer waits across the refusals.
        whole = envelope(payload={"pad": "z" * 3000}, umid="across-refusals")
        peer.send_frame(0x1, whole.encode()[:1000], fin=False)
        for _ in range(2):
            self.assertEqual(other_account_peer(self.program.port), "b''")
        peer.send_frame(0x0, whole.encode()[1000:])
        self.assertEqual(peer.recv_message(), whole)
        self.assert_sequence(peer, "after-foreign", 5)
        self.assertNotIn("STATUS 0", self.program.app.console_log())
        # Said once per account, however often it knocks.
        needle = "refusing connections of account %d" % pwd.getpwnam(OTHER_ACCOUNT).pw_uid
        self.program.wait_log_line(needle)
        self.assertEqual(len(self.program.log_lines(needle)), 1)


if __name__ == "__main__":
    unittest.main()
