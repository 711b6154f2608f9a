"""Updates as a Debian user gets them: the installed package, run by an ordinary account, offered a
newer package, installs it through the system's package service and comes back in the new version;
every way that can fail leaves the old program running.

Needs root (it installs the package and runs system services on private buses); skips otherwise.
What it assumes of the program:
- run from the installed package (dpkg's file list names its executable) the installer is
  "TavistoForWebInstaller.deb", and the appcast's Downloadpath ends with that name;
- the update prompt, the box telling that an install failed and the box offering the desktop's
  installer for packages are windows titled "Tavisto for Web Update", whose default button (Return)
  is OK / open;
- a failed update is state 4: the next check logs "Current-State=4", and a state file left behind
  does not record an update to offer or install; after the user's Cancel the package stays where
  it was downloaded and the next run offers it again;
- the version the updater compares is the text in the executable's ".tvc_version" section (the
  newer package's program carries the newer version there).
"""
import fcntl
import os
import shutil
import tempfile
import unittest
import urllib.parse

from packagekit_support import (PACKAGE, PACKAGE_INSTALLER, INSTALLED_PROGRAM, AccountApp, RealPackageService,
                                StandInPackageKit, build_package, control_fields, embedded_version, install_package,
                                installed_version, is_root, missing_programs, process_args, process_exe,
                                purge_package, register_package_opener, repack, test_account)
from test_update import PROMPT_TITLE, UpdateCase
from tvc_harness import BIN_DIR, free_port, wait_for
from update_support import RUNNING_VERSION

NEWER = "1.2.9.0"
ACCOUNT = test_account()
MACHINE_LOCK = os.path.join("/run/lock" if os.path.isdir("/run/lock") else "/tmp", "tavisto-for-web-package-tests.lock")
PACKAGES = {}


def setUpModule():
    if not is_root():
        raise unittest.SkipTest("needs root: installs the package and runs system services (ctest -L root)")
    if missing_programs():
        raise unittest.SkipTest("missing: %s (packagekit, polkitd, util-linux, dpkg-dev, binutils)"
                                % ", ".join(missing_programs()))
    if ACCOUNT is None:
        raise unittest.SkipTest("no ordinary account to run the program as (TVC_TEST_ACCOUNT)")
    # Another run of these tests on this machine would install and purge the same package.
    PACKAGES["lock"] = lock = os.fdopen(os.open(MACHINE_LOCK, os.O_RDWR | os.O_CREAT | os.O_NOFOLLOW, 0o644))
    try:
        wait_for(lambda: try_lock(lock), 180, interval=1, what="another run of these tests to end")
    except AssertionError:
        raise unittest.SkipTest("another run of these tests holds %s" % MACHINE_LOCK)
    if installed_version() is not None:
        raise unittest.SkipTest("%s is installed on this machine already; these tests install and purge it" % PACKAGE)
    work = PACKAGES["work"] = tempfile.mkdtemp(prefix="tvc-packages-")
    try:
        make_packages(work)
    except BaseException:
        shutil.rmtree(work, ignore_errors=True)
        PACKAGES.clear()
        raise


def try_lock(f):
    try:
        fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return True
    except BlockingIOError:
        return False


def make_packages(work):
    build = os.environ.get("TVC_BUILD_DIR") or os.path.dirname(os.path.abspath(BIN_DIR))
    old = PACKAGES["old"] = build_package(build, work)
    if control_fields(old)["Version"] != RUNNING_VERSION:
        raise unittest.SkipTest("the package is %s, not the build's %s" % (old, RUNNING_VERSION))
    newer = PACKAGES["newer"] = repack(old, os.path.join(work, "newer.deb"), version=NEWER)
    other_arch = "arm64" if control_fields(old)["Architecture"] != "arm64" else "amd64"
    PACKAGES["refused"] = {
        "another package": repack(newer, os.path.join(work, "other-name.deb"), package=PACKAGE + "-nightly"),
        "another architecture": repack(newer, os.path.join(work, "other-arch.deb"), architecture=other_arch),
        "another version than the appcast's": repack(old, os.path.join(work, "other-version.deb"), version="1.2.9.1"),
    }


def tearDownModule():
    if "work" in PACKAGES:
        purge_package()
        shutil.rmtree(PACKAGES["work"], ignore_errors=True)
    if "lock" in PACKAGES:
        PACKAGES.pop("lock").close()


def read(path):
    with open(path, "rb") as f:
        return f.read()


class PackageUpdateCase(UpdateCase):
    def setUp(self):
        super().setUp()
        if installed_version() != RUNNING_VERSION:
            install_package(PACKAGES["old"])

    def publish(self, version, package):
        self.server.publish(version, read(package), name=PACKAGE_INSTALLER)

    def package_requests(self):
        return [p for p in self.server.requests if p.endswith(PACKAGE_INSTALLER)]

    def new_app(self, system_bus, home=None, query=""):
        app = AccountApp(self.display, ACCOUNT, system_bus=system_bus, executable="/usr/bin/tavisto-for-web",
                         home=home, args=[
                             "--show-on-launch", "--config-base-url=http://127.0.0.1:9/",
                             "--appcast-base-url=" + self.server.url("/appcast/"), "--update-download-delay-ms=300",
                             "--ws-ports=%d" % free_port()])
        app.args.append("--url=" + app.page_url("update.html") + "?appcast="
                        + urllib.parse.quote(self.server.appcast_url, safe="") + query)
        self.apps.append(app)
        return app

    def boxes(self, app):
        """The update windows on screen now (prompt, failure, offer)."""
        out = self.display.run("xdotool", "search", "--onlyvisible", "--pid", str(app.proc.pid), "--name", PROMPT_TITLE)
        return {w for w in out.split() if '"%s"' % PROMPT_TITLE in app.xprop(w, "WM_NAME")}

    def next_box(self, app, seen, timeout=60):
        """A box that was not among `seen`; added to it."""
        new = wait_for(lambda: self.boxes(app) - seen, timeout, what="a new %r window" % PROMPT_TITLE)
        self.assertEqual(len(new), 1, "two update windows at once")
        seen |= new
        return next(iter(new))

    def state_recorded(self, app):
        try:
            with open(self.state_file(app)) as f:
                return f.read().split()[-1]
        except FileNotFoundError:
            return None


class RealPackageServiceTest(PackageUpdateCase):
    def test_ok_installs_the_newer_package_and_the_new_version_takes_over(self):
        service = RealPackageService(ACCOUNT.pw_name)
        self.addCleanup(service.close)
        self.publish(NEWER, PACKAGES["newer"])
        app = self.new_app(service.address)
        app.start()
        app.watch_programs()
        self.wait_verified(app)
        self.close_box(app)
        self.answer(self.prompt(app), "Return")
        try:
            wait_for(lambda: installed_version() == NEWER, 180, interval=0.5, what="dpkg to know the new version")
        except AssertionError:
            print(service.log()[-4000:])
            raise
        self.assertEqual(app.proc.wait(60), 0)
        self.assertIn("EVENT OnBeforeAppQuit", app.console_log())  # the page was asked: the quit road
        new = wait_for(lambda: [p for p in app.program_pids() if p != app.proc.pid], 60,
                       what="the new version started")
        self.assertEqual(process_exe(new[0]), INSTALLED_PROGRAM)  # the file dpkg put there, not the old one
        self.assertEqual(embedded_version("/proc/%d/exe" % new[0]), NEWER)
        self.assertEqual(process_args(new[0])[1:], app.args[1:])
        # Its first check finds itself up to date and cleans the update folder.
        app.wait_log("App is Up-to-Date or is at Newer Version", timeout=60)
        wait_for(lambda: not os.path.exists(self.folder(app)), what="the update folder removed")
        # Started once: the old and the new, never a third, and the new one stays.
        self.assertEqual(app.seen_programs, {app.proc.pid, new[0]})
        self.assertEqual(app.program_pids(), new)
        self.assertEqual(len(self.package_requests()), 1)


class PackageServiceFailureTest(PackageUpdateCase):
    def stand_in(self, outcome, **kwargs):
        service = StandInPackageKit(outcome, **kwargs)
        self.addCleanup(service.close)
        return service

    def test_a_failed_install_keeps_the_program_and_is_told_once(self):
        # Any error the service reports ends the same way; a dpkg lock held elsewhere stands for all.
        service = self.stand_in("error")
        service.hold = True
        self.publish(NEWER, PACKAGES["newer"])
        # The page asks for a check every 700 ms.
        app = self.new_app(service.address, query="&repeat=700")
        app.start()
        seen = set()
        self.answer(self.next_box(app, seen), "Return")
        self.assertTrue(service.held.wait(60), "no transaction")
        # What was handed over is the package that was verified, readable by the root daemon.
        self.assertEqual([h.data for h in service.handed], [read(PACKAGES["newer"])])
        # Later checks find nothing newer: any box from here on is about the failure.
        self.publish(RUNNING_VERSION, PACKAGES["old"])
        service.release()
        self.answer(self.next_box(app, seen), "Return")
        app.wait_log("Current-State=4")
        app.wait_log("App is Up-to-Date or is at Newer Version")
        self.assertEqual(self.boxes(app) - seen, set())
        self.assertTrue(app.alive())
        self.assertEqual(service.method_calls().count("InstallFiles"), 1)
        self.assertIn(self.state_recorded(app), (None, "4"))
        self.assertEqual(app.terminate(), 0)

    def test_refused_consent_keeps_the_package_for_the_next_check(self):
        service = self.stand_in("refused")
        self.publish(NEWER, PACKAGES["newer"])
        app = self.new_app(service.address)
        app.start()
        self.wait_verified(app)
        self.close_box(app)
        seen = set()
        self.answer(self.next_box(app, seen), "Return")
        self.assertTrue(service.finished.wait(60), "no transaction")
        self.answer(self.next_box(app, seen), "Return")  # told
        wait_for(lambda: not self.boxes(app), what="the box closed")
        self.assertTrue(app.alive())
        self.assertEqual(read(os.path.join(self.folder(app), PACKAGE_INSTALLER)), read(PACKAGES["newer"]))
        self.assertEqual(app.terminate(), 0)
        # The next run offers it again without fetching it again.
        again = self.new_app(service.address, home=app.home)
        again.start()
        self.answer(self.next_box(again, set()), "Return")
        wait_for(lambda: service.method_calls().count("InstallFiles") == 2, what="the package handed over again")
        self.assertEqual(len(self.package_requests()), 1)

    def test_without_a_package_service_the_desktops_installer_is_offered_the_package(self):
        bus = self.stand_in("success", owner=False)
        self.publish(NEWER, PACKAGES["newer"])
        app = self.new_app(bus.address)
        record, copy = register_package_opener(app)
        app.start()
        self.wait_verified(app)
        self.close_box(app)
        seen = set()
        self.answer(self.next_box(app, seen), "Return")  # the prompt
        self.answer(self.next_box(app, seen), "Return")  # no package service: open it with the desktop's installer
        wait_for(lambda: os.path.exists(copy) and os.path.getsize(copy) == os.path.getsize(PACKAGES["newer"]),
                 what="the package opened")
        self.assertEqual(read(copy), read(PACKAGES["newer"]))
        self.assertEqual(len(read(record).splitlines()), 1)
        # Then as after an installer's start: the program quits the ordinary way.
        self.assertEqual(app.proc.wait(60), 0)
        self.assertIn("EVENT OnBeforeAppQuit", app.console_log())
        self.assertEqual(installed_version(), RUNNING_VERSION)

    def test_only_a_newer_package_of_this_program_is_offered(self):
        cases = dict(PACKAGES["refused"])
        cases["the newer package itself"] = PACKAGES["newer"]
        for what, package in cases.items():
            with self.subTest(what):
                self.server.requests.clear()
                service = self.stand_in("success")
                self.publish(NEWER, package)
                app = self.new_app(service.address)
                app.start()
                wait_for(self.package_requests, what="the package downloaded")
                if package == PACKAGES["newer"]:
                    self.wait_verified(app)
                    self.close_box(app)
                    self.prompt(app)
                else:
                    wait_for(lambda: not os.path.exists(self.folder(app)) or self.state_recorded(app) == "4",
                             what="the update failed")
                    self.close_box(app)
                    app.wait_log("Current-State=4")
                    self.assertEqual(self.boxes(app), set())
                # Nothing reaches the package service before the user's OK.
                self.assertEqual(service.calls, [])
                self.assertEqual(app.terminate(), 0)

if __name__ == "__main__":
    unittest.main()
