"""A system shutdown as logind announces it: the program holds a delay lock from its start, quits the
ordinary way when the shutdown begins, and lets the lock go only once the page has answered."""
import os
import subprocess
import tempfile
import threading
import unittest

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

from packagekit_support import PrivateSystemBus  # noqa: E402
from tvc_harness import App, AppTestCase, free_port, page_url, wait_for  # noqa: E402

MANAGER_XML = """<node><interface name="org.freedesktop.login1.Manager">
  <method name="Inhibit">
    <arg direction="in" type="s" name="what"/><arg direction="in" type="s" name="who"/>
    <arg direction="in" type="s" name="why"/><arg direction="in" type="s" name="mode"/>
    <arg direction="out" type="h" name="fd"/>
  </method>
  <signal name="PrepareForShutdown"><arg type="b" name="start"/></signal>
</interface></node>"""
PATH = "/org/freedesktop/login1"
MANAGER = "org.freedesktop.login1.Manager"


class StandInLogind:
    """logind's Inhibit and PrepareForShutdown on a bus daemon of its own. A lock is one pipe: the
    program gets the write end, and the read end's end of file is the lock's release."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="tvc-logind-")
        self.system_bus = PrivateSystemBus(self.folder)
        self.address = self.system_bus.address
        try:
            self.serve()
        except Exception:
            self.system_bus.close()
            raise

    def serve(self):
        self.inhibits = []
        self.released = threading.Event()
        self.on_release = None
        self.seen_at_release = None
        self.loop = GLib.MainLoop()
        threading.Thread(target=self.loop.run, daemon=True).start()
        self.bus = Gio.DBusConnection.new_for_address_sync(
            self.address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        self.bus.register_object(PATH, Gio.DBusNodeInfo.new_for_xml(MANAGER_XML).interfaces[0],
                                 self.on_call, None, None)
        self.bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "RequestName", GLib.Variant("(su)", ("org.freedesktop.login1", 4)),
                           None, Gio.DBusCallFlags.NONE, 5000, None)

    def on_call(self, bus, sender, path, interface, method, args, invocation):
        self.inhibits.append(tuple(args.unpack()))
        read_end, write_end = os.pipe()
        fds = Gio.UnixFDList.new()
        index = fds.append(write_end)
        os.close(write_end)
        invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (index,)), fds)
        threading.Thread(target=self.wait_release, args=(read_end,), daemon=True).start()

    def wait_release(self, read_end):
        while os.read(read_end, 1):
            pass
        os.close(read_end)
        if self.on_release:
            self.seen_at_release = self.on_release()
        self.released.set()

    def prepare_for_shutdown(self, start):
        self.bus.emit_signal(None, PATH, MANAGER, "PrepareForShutdown", GLib.Variant("(b)", (start,)))
        self.bus.flush_sync(None)

    def close(self):
        self.bus.close_sync(None)
        self.loop.quit()
        self.system_bus.close()
        subprocess.run(["rm", "-rf", self.folder])


class ShutdownTest(AppTestCase):
    def test_shutdown_waits_for_the_pages_answer_and_the_lock_goes_with_the_quit(self):
        logind = StandInLogind()
        self.addCleanup(logind.close)
        port = free_port()
        app = App(self.display, url=page_url("quit.html") + "?answer=later&ms=3000", args=["--ws-ports=%d" % port],
                  extra_env={"DBUS_SYSTEM_BUS_ADDRESS": logind.address})
        self.apps.append(app)
        app.start()
        app.wait_console("PAGE ready")
        wait_for(lambda: logind.inhibits, what="the delay lock asked for")
        self.assertEqual(logind.inhibits[0][0], "shutdown")
        self.assertEqual(logind.inhibits[0][1], "Tavisto for Web")
        self.assertEqual(logind.inhibits[0][3], "delay")
        logind.on_release = app.console_log

        logind.prepare_for_shutdown(True)
        app.wait_console("QUIT asked")
        self.assertFalse(logind.released.is_set())  # the page has not answered yet
        self.assertEqual(app.proc.wait(30), 0)
        self.assertTrue(logind.released.wait(10))
        self.assertIn("QUIT answering", logind.seen_at_release)
        self.assertEqual(len(logind.inhibits), 1)


if __name__ == "__main__":
    unittest.main()
