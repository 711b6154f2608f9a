"""A StatusNotifierWatcher and host of the test's own on the session bus, and a client for the items
that register with it (their properties and their exported menu, com.canonical.dbusmenu).

`python3 tray_support.py` runs the watcher; it says "READY" on stdout once it owns its name.
"""
import os
import subprocess
import sys

from gi.repository import Gio, GLib

from tvc_harness import wait_for

WATCHER_NAME = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
WATCHER_XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>
"""


def run_watcher():
    items = []
    loop = GLib.MainLoop()

    def on_call(conn, sender, path, iface, method, params, invocation):
        if method == "RegisterStatusNotifierItem":
            service = params.unpack()[0]
            # An object path alone means "this path on the caller's connection".
            entry = sender + service if service.startswith("/") else service
            if entry not in items:
                items.append(entry)
                conn.emit_signal(None, WATCHER_PATH, WATCHER_NAME, "StatusNotifierItemRegistered",
                                 GLib.Variant("(s)", (entry,)))
        invocation.return_value(None)

    def on_get(conn, sender, path, iface, name):
        if name == "RegisteredStatusNotifierItems":
            return GLib.Variant("as", items)
        if name == "IsStatusNotifierHostRegistered":
            return GLib.Variant("b", True)
        return GLib.Variant("i", 0)

    def on_bus(conn, name):
        node = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML)
        conn.register_object(WATCHER_PATH, node.interfaces[0], on_call, on_get, None)

    def on_name(conn, name):
        conn.emit_signal(None, WATCHER_PATH, WATCHER_NAME, "StatusNotifierHostRegistered", None)
        print("READY", flush=True)

    Gio.bus_own_name(Gio.BusType.SESSION, WATCHER_NAME, Gio.BusNameOwnerFlags.NONE, on_bus, on_name,
                     lambda *a: loop.quit())
    loop.run()


class Watcher:
    """The watcher in a process of its own; `close` takes it (and its host) off the bus."""

    def __init__(self, env=None):
        self.proc = subprocess.Popen([sys.executable, os.path.abspath(__file__)], env=env,
                                     stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if line.strip() != "READY":
            raise RuntimeError("the tray watcher did not start")
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def call(self, name, path, iface, method, args, reply_type):
        return self.bus.call_sync(name, path, iface, method, args, GLib.VariantType(reply_type),
                                  Gio.DBusCallFlags.NONE, 5000, None).unpack()

    def items(self):
        return self.call(WATCHER_NAME, WATCHER_PATH, "org.freedesktop.DBus.Properties", "Get",
                         GLib.Variant("(ss)", (WATCHER_NAME, "RegisteredStatusNotifierItems")), "(v)")[0]

    def wait_item(self, timeout=30.0):
        entry = wait_for(lambda: self.items() and self.items()[0], timeout, what="a tray item")
        service, path = entry.split("/", 1)
        return TrayItem(self, service, "/" + path)

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.proc.stdout.close()


class TrayItem:
    def __init__(self, watcher, service, path):
        self.watcher, self.service, self.path = watcher, service, path

    def properties(self):
        return self.watcher.call(self.service, self.path, "org.freedesktop.DBus.Properties", "GetAll",
                                 GLib.Variant("(s)", ("org.kde.StatusNotifierItem",)), "(a{sv})")[0]

    def menu(self):
        """The menu's top-level items as (id, label) pairs, in the order a host shows them."""
        _, layout = self.watcher.call(self.service, self.properties()["Menu"], "com.canonical.dbusmenu",
                                      "GetLayout", GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))")
        return [(child[0], child[1].get("label", "")) for child in layout[2]
                if child[1].get("visible", True)]

    def click(self, label):
        item_id = next(i for i, text in self.menu() if text == label)
        self.watcher.call(self.service, self.properties()["Menu"], "com.canonical.dbusmenu", "Event",
                          GLib.Variant("(isvu)", (item_id, "clicked", GLib.Variant("s", ""), 0)), "()")


if __name__ == "__main__":
    run_watcher()
