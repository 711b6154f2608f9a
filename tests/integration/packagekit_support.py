"""The system's package service for the updater's tests, run from a root test: the real PackageKit
and polkit on a private system bus, a scriptable stand-in for PackageKit, Debian packages repacked
under another version, name or architecture, and the program run as an ordinary account."""
import hashlib
import os
import pwd
import re
import shutil
import signal
import subprocess
import tempfile
import threading

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

from tvc_harness import EXECUTABLE, PAGES, App, wait_for  # noqa: E402

PACKAGE = "tavisto-for-web"
PACKAGE_INSTALLER = "TavistoForWebInstaller.deb"
INSTALLED_PROGRAM = "/usr/lib/tavisto-for-web/TavistoForWeb"
SYSTEM_CONF = "/usr/share/dbus-1/system.conf"
POLKITD = "/usr/lib/polkit-1/polkitd"
PACKAGEKITD = "/usr/libexec/packagekitd"
VERSION_SECTION = ".tvc_version"

# PackageKit's enums as they travel on the bus (PackageKitGlib's ErrorEnum, ExitEnum, StatusEnum).
ERROR_TRANSACTION_CANCELLED = 17
ERROR_CANNOT_GET_LOCK = 26
ERROR_NOT_AUTHORIZED = 48
EXIT_SUCCESS, EXIT_FAILED, EXIT_CANCELLED = 1, 2, 3
STATUS_SETUP, STATUS_RUNNING, STATUS_INSTALL, STATUS_FINISHED = 2, 3, 9, 18
STATUS_WAITING_FOR_AUTH = 31
PERCENTAGE_UNKNOWN = 101


def is_root():
    return os.geteuid() == 0


def test_account():
    """The ordinary account the program runs as: TVC_TEST_ACCOUNT, else tvuser, else nobody."""
    for name in (os.environ.get("TVC_TEST_ACCOUNT"), "tvuser", "nobody"):
        if name:
            try:
                return pwd.getpwnam(name)
            except KeyError:
                pass
    return None


def missing_programs():
    """What the real package service needs and this machine lacks."""
    return [p for p in (POLKITD, PACKAGEKITD, "unshare", "dpkg-deb", "objcopy")
            if not (os.access(p, os.X_OK) if p.startswith("/") else shutil.which(p))]


def _kill(proc, timeout=10):
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def _call_bus(connection, method, args, reply):
    return connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                method, args, GLib.VariantType(reply) if reply else None,
                                Gio.DBusCallFlags.NONE, 5000, None)


def _connect(address):
    return Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
        None, None)


class PrivateSystemBus:
    """A dbus-daemon of the system type on a socket in `folder`. With `real_policy` it runs the
    system's own configuration (policies, system.d), so only root may own system names; otherwise
    everybody may own and call everything. It never starts services on demand: a name is owned
    only by what a test started."""

    PERMISSIVE = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
  </policy>
</busconfig>
"""

    def __init__(self, folder, real_policy=False):
        self.socket = os.path.join(folder, "system_bus_socket")
        config = os.path.join(folder, "system.conf")
        with open(config, "w") as f:
            f.write(self.system_config(self.socket) if real_policy else self.PERMISSIVE % self.socket)
        self.daemon = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork", "--print-address"],
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        self.daemon.stdout.close()
        if not self.address:
            raise RuntimeError("the private system bus did not start")
        # Others (the test account, polkitd's account) connect to it.
        os.chmod(self.socket, 0o777)
        self.connection = _connect(self.address)

    @staticmethod
    def system_config(socket):
        with open(SYSTEM_CONF) as f:
            text = f.read()
        text = re.sub(r"<listen>.*?</listen>", "<listen>unix:path=%s</listen>" % socket, text)
        for element in ("user", "pidfile", "servicehelper"):
            text = re.sub(r"\s*<%s>.*?</%s>" % (element, element), "", text)
        text = re.sub(r"\s*<(fork|standard_system_servicedirs|syslog)/>", "", text)
        return text.replace("<includedir>system.d</includedir>",
                            "<includedir>%s</includedir>" % os.path.join(os.path.dirname(SYSTEM_CONF), "system.d"))

    def has_owner(self, name):
        return _call_bus(self.connection, "NameHasOwner", GLib.Variant("(s)", (name,)), "(b)").unpack()[0]

    def wait_name(self, name, process=None, log=None, timeout=30):
        def owned():
            if process is not None and process.poll() is not None:
                said = ""
                if log:
                    with open(log.name, errors="replace") as f:
                        said = f.read()[-2000:]
                raise RuntimeError("%s ended (%s) before owning %s: %s"
                                   % (process.args, process.returncode, name, said))
            return self.has_owner(name)
        wait_for(owned, timeout, interval=0.05, what="%s on the private system bus" % name)

    def close(self):
        self.connection.close_sync(None)
        _kill(self.daemon)


CONSENT_RULE = """// The user's consent, given in advance: the test account may install local packages.
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("org.freedesktop.packagekit.package-install") == 0 && subject.user == "%s")
        return polkit.Result.YES;
});
"""


class RealPackageService:
    """dbus-daemon, polkitd and packagekitd, the system's own programs, on a private system bus.
    packagekitd's authority always connects to /run/dbus/system_bus_socket, so it runs in a mount
    namespace of its own where that path is the private bus; polkitd reads its rules from a folder
    of the test in another. `consenting` names the account whose installs polkit allows. Needs
    root; installs for real (dpkg)."""

    def __init__(self, consenting):
        self.folder = tempfile.mkdtemp(prefix="tvc-pk-")
        os.chmod(self.folder, 0o755)  # polkitd runs as its own account
        self.polkitd = self.packagekitd = None
        self.bus = PrivateSystemBus(self.folder, real_policy=True)
        self.address = self.bus.address
        try:
            rules = os.path.join(self.folder, "rules.d")
            os.mkdir(rules, 0o755)
            with open(os.path.join(rules, "10-tvc-consent.rules"), "w") as f:
                f.write(CONSENT_RULE % consenting)
            env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address)
            self.polkit_log = open(os.path.join(self.folder, "polkitd.log"), "w")
            self.polkitd = subprocess.Popen(
                ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                 'mount --bind "$1" /etc/polkit-1/rules.d && exec "$2" --no-debug', "sh", rules, POLKITD],
                env=env, stdout=self.polkit_log, stderr=subprocess.STDOUT)
            self.bus.wait_name("org.freedesktop.PolicyKit1", self.polkitd, self.polkit_log)
            # A tmpfs first, so the host's /run/dbus is not touched.
            self.packagekit_log = open(os.path.join(self.folder, "packagekitd.log"), "w")
            self.packagekitd = subprocess.Popen(
                ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                 'mkdir -p /run/dbus && mount -t tmpfs -o mode=0755 tmpfs /run/dbus && '
                 ': > /run/dbus/system_bus_socket && mount --bind "$1" /run/dbus/system_bus_socket && '
                 'exec "$2"', "sh", self.bus.socket, PACKAGEKITD],
                env=env, stdout=self.packagekit_log, stderr=subprocess.STDOUT)
            self.bus.wait_name("org.freedesktop.PackageKit", self.packagekitd, self.packagekit_log)
        except BaseException:
            self.close()
            raise

    def log(self):
        text = ""
        for name in ("polkitd.log", "packagekitd.log"):
            with open(os.path.join(self.folder, name), errors="replace") as f:
                text += "--- %s\n%s" % (name, f.read())
        return text

    def close(self):
        for proc in (self.packagekitd, self.polkitd):
            _kill(proc, 30)  # packagekitd finishes what dpkg is doing first
        for log in (getattr(self, "polkit_log", None), getattr(self, "packagekit_log", None)):
            if log:
                log.close()
        self.bus.close()
        shutil.rmtree(self.folder, ignore_errors=True)


PACKAGEKIT_XML = """<node>
<interface name="org.freedesktop.PackageKit">
  <method name="CreateTransaction"><arg type="o" name="object_path" direction="out"/></method>
  <method name="GetDaemonState"><arg type="s" name="state" direction="out"/></method>
  <property name="VersionMajor" type="u" access="read"/>
  <property name="VersionMinor" type="u" access="read"/>
  <property name="VersionMicro" type="u" access="read"/>
  <property name="BackendName" type="s" access="read"/>
  <property name="Locked" type="b" access="read"/>
</interface>
</node>"""

TRANSACTION_XML = """<node>
<interface name="org.freedesktop.PackageKit.Transaction">
  <method name="SetHints"><arg type="as" name="hints" direction="in"/></method>
  <method name="InstallFiles">
    <arg type="t" name="transaction_flags" direction="in"/><arg type="as" name="full_paths" direction="in"/>
  </method>
  <method name="Cancel"/>
  <property name="Role" type="u" access="read"/>
  <property name="Status" type="u" access="read"/>
  <property name="Percentage" type="u" access="read"/>
  <property name="AllowCancel" type="b" access="read"/>
  <property name="TransactionFlags" type="t" access="read"/>
  <signal name="ErrorCode"><arg type="u" name="code"/><arg type="s" name="details"/></signal>
  <signal name="Finished"><arg type="u" name="exit"/><arg type="u" name="runtime"/></signal>
  <signal name="Destroy"/>
</interface>
</node>"""

ROLE_INSTALL_FILES = 10


class HandedFile:
    """What the stand-in found at a path it was handed, read at once (as root, as the daemon)."""

    def __init__(self, path):
        self.path = path
        self.readable = False
        self.data = None
        try:
            fd = os.open(path, os.O_RDONLY | os.O_CLOEXEC)
        except OSError as e:
            self.error = str(e)
            return
        try:
            chunks = []
            while True:
                chunk = os.read(fd, 1 << 20)
                if not chunk:
                    break
                chunks.append(chunk)
            self.data = b"".join(chunks)
            self.readable = True
        finally:
            os.close(fd)


class StandInPackageKit:
    """org.freedesktop.PackageKit on a private system bus of its own, for what the real daemon cannot
    be made to do on cue. Every transaction's InstallFiles ends as `outcome` says:
      "success"  -- progress up to 100 %, Finished(success);
      "error"    -- progress, then ErrorCode(`error`) and Finished(failed);
      "refused"  -- waiting for authentication, then the error the real daemon gives when polkit
                    says no: ErrorCode(not-authorized, "Failed to obtain authentication.") and
                    Finished(failed).
    Set `hold` to keep a transaction at its last progress step until `release()`.
    `calls` records every method call (method, arguments) in order; `handed` what each path held.
    With `owner=False` nobody owns the name: the bus has no package service at all."""

    NAME = "org.freedesktop.PackageKit"
    PATH = "/org/freedesktop/PackageKit"
    TRANSACTION = "org.freedesktop.PackageKit.Transaction"

    LOCKED = (ERROR_CANNOT_GET_LOCK, "E: Could not get lock /var/lib/dpkg/lock-frontend")

    def __init__(self, outcome="success", error=LOCKED, owner=True, step_ms=100):
        self.outcome = outcome
        self.error = error
        self.step_ms = step_ms
        self.calls = []
        self.handed = []
        self.signals = []
        self.hold = False
        self.held = threading.Event()
        self.finished = threading.Event()
        self._release = threading.Event()
        self._transactions = {}
        self.folder = tempfile.mkdtemp(prefix="tvc-pkstand-")
        os.chmod(self.folder, 0o755)
        self.bus = PrivateSystemBus(self.folder)
        self.address = self.bus.address
        self.context = GLib.MainContext.new()
        self.loop = GLib.MainLoop.new(self.context, False)
        self.thread = threading.Thread(target=self._run, daemon=True)
        ready = threading.Event()
        self._owner = owner
        self._ready = ready
        self.thread.start()
        ready.wait(10)
        if owner:
            self.bus.wait_name(self.NAME)

    def _run(self):
        self.context.push_thread_default()
        self.connection = _connect(self.address)
        if self._owner:
            self.connection.register_object(self.PATH, Gio.DBusNodeInfo.new_for_xml(PACKAGEKIT_XML).interfaces[0],
                                            self._on_manager_call, self._on_manager_property, None)
            _call_bus(self.connection, "RequestName", GLib.Variant("(su)", (self.NAME, 4)), "(u)")
        self._ready.set()
        self.loop.run()
        self.context.pop_thread_default()

    # --- the manager
    def _on_manager_call(self, connection, sender, path, interface, method, args, invocation):
        self.calls.append((method, args.unpack()))
        if method == "CreateTransaction":
            tid = "/%d_tvcstand" % (len(self._transactions) + 1)
            self._transactions[tid] = {"Role": 0, "Status": 1, "Percentage": PERCENTAGE_UNKNOWN,
                                       "AllowCancel": True, "TransactionFlags": 0, "registration": None,
                                       "done": False}
            self._transactions[tid]["registration"] = connection.register_object(
                tid, Gio.DBusNodeInfo.new_for_xml(TRANSACTION_XML).interfaces[0],
                self._on_transaction_call, self._on_transaction_property, None)
            invocation.return_value(GLib.Variant("(o)", (tid,)))
        elif method == "GetDaemonState":
            invocation.return_value(GLib.Variant("(s)", ("stand-in",)))

    def _on_manager_property(self, connection, sender, path, interface, name):
        return {"VersionMajor": GLib.Variant("u", 1), "VersionMinor": GLib.Variant("u", 2),
                "VersionMicro": GLib.Variant("u", 6), "BackendName": GLib.Variant("s", "apt"),
                "Locked": GLib.Variant("b", False)}.get(name)

    # --- a transaction
    def _on_transaction_property(self, connection, sender, path, interface, name):
        value = self._transactions[path].get(name)
        types = {"Role": "u", "Status": "u", "Percentage": "u", "AllowCancel": "b", "TransactionFlags": "t"}
        return GLib.Variant(types[name], value) if name in types else None

    def _on_transaction_call(self, connection, sender, path, interface, method, args, invocation):
        unpacked = args.unpack()
        self.calls.append((method, unpacked))
        if method == "InstallFiles":
            flags, paths = unpacked
            self.handed.extend(HandedFile(p) for p in paths)
            invocation.return_value(None)
            self._set(path, Role=ROLE_INSTALL_FILES, TransactionFlags=flags)
            self._play(path, self._steps())
        elif method == "Cancel":
            invocation.return_value(None)
            self._end(path, (ERROR_TRANSACTION_CANCELLED, "The task was stopped successfully"), EXIT_CANCELLED)
        else:
            invocation.return_value(None)

    def _steps(self):
        if self.outcome == "refused":
            return [{"Status": STATUS_WAITING_FOR_AUTH}]
        steps = [{"Status": STATUS_SETUP, "Percentage": 0}, {"Status": STATUS_INSTALL, "Percentage": 40}]
        if self.outcome == "success":
            steps.append({"Status": STATUS_INSTALL, "Percentage": 100})
        return steps

    def _set(self, path, **values):
        self._transactions[path].update(values)
        changed = {k: self._on_transaction_property(None, None, path, None, k) for k in values}
        self._emit(path, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                   GLib.Variant("(sa{sv}as)", (self.TRANSACTION, changed, [])))

    def _emit(self, path, interface, name, value):
        if interface == self.TRANSACTION:
            self.signals.append((name, value.unpack() if value is not None else ()))
        self.connection.emit_signal(None, path, interface, name, value)

    def _play(self, path, steps):
        def step():
            if self._transactions[path]["done"]:
                return False
            if steps:
                self._set(path, **steps.pop(0))
                return True
            if self.hold and not self._release.is_set():
                self.held.set()
                return True
            if self.outcome == "success":
                self._set(path, Status=STATUS_FINISHED)
                self._end(path, None, EXIT_SUCCESS)
            elif self.outcome == "refused":
                self._end(path, (ERROR_NOT_AUTHORIZED, "Failed to obtain authentication."), EXIT_FAILED)
            else:
                self._end(path, self.error, EXIT_FAILED)
            return False
        source = GLib.timeout_source_new(self.step_ms)
        source.set_callback(lambda *unused: step())
        source.attach(self.context)

    def _end(self, path, error, exit_code):
        transaction = self._transactions[path]
        if transaction["done"]:
            return
        transaction["done"] = True
        if error:
            self._emit(path, self.TRANSACTION, "ErrorCode", GLib.Variant("(us)", error))
        self._emit(path, self.TRANSACTION, "Finished", GLib.Variant("(uu)", (exit_code, 420)))
        self._emit(path, self.TRANSACTION, "Destroy", None)
        self.connection.flush_sync(None)
        self.finished.set()

    def release(self):
        self._release.set()

    def method_calls(self):
        return [method for method, unused in self.calls]

    def close(self):
        self._release.set()

        def stop():
            self.connection.close_sync(None)
            self.loop.quit()
        self.context.invoke_full(GLib.PRIORITY_DEFAULT, stop)
        self.thread.join(10)
        self.bus.close()
        shutil.rmtree(self.folder, ignore_errors=True)


# --- packages
def control_fields(deb):
    out = subprocess.run(["dpkg-deb", "-f", deb], check=True, capture_output=True, text=True).stdout
    return dict(line.split(": ", 1) for line in out.splitlines() if ": " in line and not line.startswith(" "))


def repack(deb, out, version=None, package=None, architecture=None):
    """`deb` with other control fields. With a new `version` the program inside
    also reports that version: the text in its version section is replaced, padded to the same
    size (the section is loaded with the program, so its size cannot change)."""
    work = tempfile.mkdtemp(prefix="tvc-repack-")
    try:
        root = os.path.join(work, "root")
        subprocess.run(["dpkg-deb", "-R", deb, root], check=True)
        control = os.path.join(root, "DEBIAN", "control")
        with open(control) as f:
            text = f.read()
        for field, value in (("Version", version), ("Package", package), ("Architecture", architecture)):
            if value is not None:
                text = re.sub(r"^%s: .*$" % field, "%s: %s" % (field, value), text, flags=re.M)
        with open(control, "w") as f:
            f.write(text)
        if version is not None:
            program = root + INSTALLED_PROGRAM
            set_embedded_version(program, version, work)
            _refresh_md5sum(root, INSTALLED_PROGRAM.lstrip("/"))
        subprocess.run(["dpkg-deb", "--root-owner-group", "-Zxz", "-z1", "-b", root, out], check=True,
                       stdout=subprocess.DEVNULL)
        return out
    finally:
        shutil.rmtree(work, ignore_errors=True)


def embedded_version(program):
    out = subprocess.run(["objcopy", "-O", "binary", "--only-section=" + VERSION_SECTION, program, "/dev/stdout"],
                         check=True, capture_output=True).stdout
    return out.split(b"\0", 1)[0].decode()


def set_embedded_version(program, version, work):
    size = int(subprocess.run(["objdump", "-h", "-j", VERSION_SECTION, program], check=True, capture_output=True,
                              text=True).stdout.split(VERSION_SECTION, 1)[1].split()[0], 16)
    if len(version) >= size:
        raise ValueError("%s does not fit the %d bytes of %s" % (version, size, VERSION_SECTION))
    data = os.path.join(work, "version.bin")
    with open(data, "wb") as f:
        f.write(version.encode().ljust(size, b"\0"))
    subprocess.run(["objcopy", "--update-section", "%s=%s" % (VERSION_SECTION, data), program], check=True)


def _refresh_md5sum(root, relative):
    sums = os.path.join(root, "DEBIAN", "md5sums")
    if not os.path.exists(sums):
        return
    with open(root + "/" + relative, "rb") as f:
        digest = hashlib.md5(f.read()).hexdigest()
    with open(sums) as f:
        lines = [("%s  %s" % (digest, relative)) if line.endswith("  " + relative) else line
                 for line in f.read().splitlines()]
    with open(sums, "w") as f:
        f.write("\n".join(lines) + "\n")


def build_package(build_dir, out_dir):
    """The Debian package of the build in `build_dir`: TVC_PACKAGE if given, else the one
    scripts/package-check.sh left in build/package when it is newer than the program, else cpack's."""
    given = os.environ.get("TVC_PACKAGE")
    if given:
        return given
    program = os.path.join(build_dir, "bin", "TavistoForWeb")
    made = os.path.join(build_dir, "package")
    if os.path.isdir(made):
        for name in sorted(os.listdir(made)):
            path = os.path.join(made, name)
            if name.startswith(PACKAGE + "_") and name.endswith(".deb") and \
                    os.path.getmtime(path) >= os.path.getmtime(program):
                return path
    subprocess.run(["cpack", "-G", "DEB", "-B", out_dir], cwd=build_dir, check=True, capture_output=True)
    shutil.rmtree(os.path.join(out_dir, "_CPack_Packages"), ignore_errors=True)
    return next(os.path.join(out_dir, n) for n in os.listdir(out_dir) if n.endswith(".deb"))


def installed_version():
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Status}|${Version}", PACKAGE], capture_output=True, text=True)
    status, _, version = out.stdout.partition("|")
    return version if out.returncode == 0 and status.endswith(" installed") else None


def dpkg_busy():
    return subprocess.run(["pgrep", "-x", "dpkg"], capture_output=True).returncode == 0


def install_package(deb):
    wait_for(lambda: not dpkg_busy(), 120, interval=0.5, what="another dpkg to finish")
    subprocess.run(["dpkg", "-i", deb], check=True, stdout=subprocess.DEVNULL)


def purge_package():
    wait_for(lambda: not dpkg_busy(), 120, interval=0.5, what="another dpkg to finish")
    subprocess.run(["dpkg", "--purge", PACKAGE], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# --- the program as an ordinary account
def _environ(pid):
    try:
        with open("/proc/%d/environ" % pid, "rb") as f:
            return dict(item.split(b"=", 1) for item in f.read().split(b"\0") if b"=" in item)
    except OSError:
        return {}


def processes_with_home(home):
    """Every process whose HOME is `home`: what the test started as the account and everything
    that came of it (the program, a program it started in its place, web processes, a handler)."""
    key = home.encode()
    return [int(p) for p in os.listdir("/proc") if p.isdigit() and _environ(int(p)).get(b"HOME") == key]


def _runs_program(pid):
    try:
        return os.readlink("/proc/%s/exe" % pid).split(" (deleted)")[0].endswith("/TavistoForWeb")
    except OSError:
        return False


def process_exe(pid):
    try:
        return os.readlink("/proc/%d/exe" % pid)
    except OSError:
        return None


def process_args(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return [a.decode() for a in f.read().split(b"\0")[:-1]]
    except OSError:
        return None


class AccountApp(App):
    """The program run by root's test as the ordinary `account` (a pwd entry): a tree of its own
    that the account owns, a session bus of its own (a dbus-daemon that outlives the program, so a
    program started in its place finds it), the test's display, and `system_bus` as the system bus.
    Pages are copied into the tree, so the account need not reach the source tree."""

    def __init__(self, display, account, system_bus=None, executable=None, **kwargs):
        super().__init__(display, **kwargs)
        self.account = account
        self.args[0] = executable or EXECUTABLE
        self.env["USER"] = self.env["LOGNAME"] = account.pw_name
        self.env["XDG_RUNTIME_DIR"] = os.path.join(self.home, "run")
        if system_bus:
            self.env["DBUS_SYSTEM_BUS_ADDRESS"] = system_bus
        self.session_bus = None

    def page_url(self, name):
        pages = os.path.join(self.home, "pages")
        if not os.path.isdir(pages):
            shutil.copytree(PAGES, pages)
        return "file://" + os.path.join(pages, name)

    def _as_account(self):
        return dict(user=self.account.pw_uid, group=self.account.pw_gid, extra_groups=[])

    def start(self):
        self.logs_before_start = set(self.log_files(""))
        os.chmod(self.home, 0o755)
        subprocess.run(["chown", "-R", "%d:%d" % (self.account.pw_uid, self.account.pw_gid), self.home], check=True)
        os.chmod(self.env["XDG_RUNTIME_DIR"], 0o700)
        if self.session_bus is None:
            self.session_bus = subprocess.Popen(
                ["dbus-daemon", "--session", "--nofork", "--print-address"], env=self.env, cwd=self.home,
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, **self._as_account())
            self.env["DBUS_SESSION_BUS_ADDRESS"] = self.session_bus.stdout.readline().strip()
            self.session_bus.stdout.close()
        self.stderr_file = open(self.stderr_path, "w")
        self.proc = subprocess.Popen(self.args, env=self.env, stdout=subprocess.DEVNULL, stderr=self.stderr_file,
                                     cwd=self.home, **self._as_account())
        return self

    def watch_programs(self):
        """Notes every program process of this tree from now on (`seen_programs`), so a test can
        tell how many were ever started, however short their lives."""
        self.seen_programs = set()
        self.watching = threading.Event()

        def watch():
            while not self.watching.is_set():
                self.seen_programs.update(self.program_pids())
                self.watching.wait(0.02)
        threading.Thread(target=watch, daemon=True).start()

    def program_pids(self):
        """The program's running instances of this tree, in start order: not its web processes,
        nor its own forks on their way to start something (their parent runs the program too)."""
        found = {}
        for name in os.listdir("/proc"):
            try:
                # Its name is the one it was started by (a link, maybe): tell it by the file it runs.
                if os.stat("/proc/" + name).st_uid != self.account.pw_uid or not _runs_program(name):
                    continue
                with open("/proc/%s/stat" % name) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except (OSError, ValueError, IndexError):
                continue
            if _environ(int(name)).get(b"HOME") == self.home.encode():
                found[int(name)] = (int(fields[19]), fields[1])
        return [pid for pid, (started, parent) in sorted(found.items(), key=lambda item: item[1])
                if not _runs_program(parent)]

    def cleanup(self):
        if getattr(self, "watching", None):
            self.watching.set()
        # The program and whatever it started in its place.
        for sig in (signal.SIGTERM, signal.SIGKILL):
            pids = processes_with_home(self.home)
            if self.session_bus:
                pids = [p for p in pids if p != self.session_bus.pid]
            for pid in pids:
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            try:
                wait_for(lambda: not [p for p in processes_with_home(self.home)
                                      if not self.session_bus or p != self.session_bus.pid], 10)
                break
            except AssertionError:
                pass
        if self.proc and self.proc.poll() is None:
            self.proc.wait()
        _kill(self.session_bus)
        super().cleanup()


def register_package_opener(app):
    """A default application of the test's own for Debian packages (in the account's
    XDG_DATA_HOME/XDG_CONFIG_HOME) that writes down the file it was asked to open and keeps a copy
    of its bytes; returns (record, copy)."""
    record = os.path.join(app.home, "opened-package.txt")
    copy = os.path.join(app.home, "opened-package.deb")
    app.register_default_application("tvc-package-opener", "%f", ["application/vnd.debian.binary-package"],
                                     'echo "$1" >> %s\ncat -- "$1" > %s\n' % (record, copy))
    return record, copy

