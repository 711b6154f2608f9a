"""The program's own texts in the user's language: the page's stored locale first, then the
desktop's, read from the tray menu over D-Bus and from the dialogs through the accessibility bus;
a right-to-left language mirrors the dialogs."""
import gettext
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import unittest

import gi

from bridge_support import QUIET_NET
from test_tray_panel import name_has_owner
from tvc_harness import BIN_DIR, App, AppTestCase, free_port, page_url, wait_for
from tray_support import Watcher

SITE = "https://www.example.org/"
ARGS = QUIET_NET + ["--web-site-url=" + SITE, "--ws-ports=%d" % free_port()]
FRENCH = ["Ouvrir www.example.org", "Quitter", "À propos de Tavisto for Web"]
GERMAN = ["www.example.org öffnen", "Beenden", "Info zu Tavisto for Web"]
JAPANESE = ["www.example.org を開く", "終了", "Tavisto for Web について"]
ENGLISH = ["Open www.example.org", "Quit", "About Tavisto for Web"]
# Whatever language the machine running the tests is set to.
DESKTOP_VARIABLES = ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG")


class Accessibility:
    """The session's accessibility bus, started for one test and ended with it (started on demand,
    its daemons would outlive the session)."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="tvc-a11y-")
        env = dict(os.environ, XDG_RUNTIME_DIR=self.folder)
        self.launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher"], env=env,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: name_has_owner("org.a11y.Bus"), what="the accessibility bus")
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        self.Atspi = Atspi

    def dialog_buttons(self, pid):
        """{name: (x, y, width)} of the push buttons of the program's first dialog on screen."""
        Atspi = self.Atspi
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if not app or app.get_process_id() != pid:
                continue
            # Only the dialogs' trees: the main window holds the (perhaps hung) page's.
            for j in range(app.get_child_count()):
                window = app.get_child_at_index(j)
                if window and window.get_role() in (Atspi.Role.DIALOG, Atspi.Role.ALERT) and \
                        window.get_state_set().contains(Atspi.StateType.SHOWING):
                    return self.buttons(window)
        return None

    def buttons(self, node):
        Atspi = self.Atspi
        found = {}
        if node.get_role() == Atspi.Role.PUSH_BUTTON:
            box = node.get_extents(Atspi.CoordType.SCREEN)
            found[node.get_name()] = (box.x, box.y, box.width)
        for i in range(node.get_child_count()):
            found.update(self.buttons(node.get_child_at_index(i)))
        return found

    def close(self):
        # The bus's daemon and the registry it started go with the launcher.
        pids = descendants(self.launcher.pid) + [self.launcher.pid]
        for pid in reversed(pids):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        self.launcher.wait(10)
        shutil.rmtree(self.folder, ignore_errors=True)


def descendants(pid):
    out = subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout
    children = [int(p) for p in out.split()]
    return [d for c in children for d in [c] + descendants(c)]


A11Y = []


def setUpModule():
    # Before any program starts: the engine asks the session for the accessibility bus, and the
    # one it would start lives in that program's folders. One bus for the module, as the
    # accessibility library keeps its first connection.
    A11Y.append(Accessibility())


def tearDownModule():
    A11Y.pop().close()


class LanguageCase(AppTestCase):
    window_manager = True

    def prepare(self, locale=None, env=None, url=None, args=ARGS, accessible=False):
        """A run with the stored `locale` and the desktop's language variables `env` only."""
        app = App(self.display, url=url or page_url("language.html"), args=args)
        for name in DESKTOP_VARIABLES:
            app.env.pop(name, None)
        app.env.update(env or {})
        if accessible:
            del app.env["NO_AT_BRIDGE"]
        if locale:
            os.makedirs(os.path.dirname(app.prefs), exist_ok=True)
            with open(app.prefs, "w") as f:
                f.write("[language]\nlocale=%s\n" % locale)
        self.apps.append(app)
        return app

    def start(self, *args, **kwargs):
        return self.watch(self.prepare(*args, **kwargs)).start()

    def watch(self, app):
        # A watcher of its own: the item of an earlier run stays registered with the last one.
        if getattr(self, "watcher", None):
            self.watcher.close()
        self.watcher = Watcher()
        self.addCleanup(self.watcher.close)
        return app

    def labels(self, expected):
        item = self.watcher.wait_item()
        return wait_for(lambda: [label for _, label in item.menu()] == expected and expected,
                        what="the tray menu %r" % expected)

    def key(self, *keys):
        self.display.run("xdotool", "key", "--delay", "30", *keys)

    def focus_page(self, app):
        wid = app.window_id()
        wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
        self.display.run("xdotool", "windowactivate", "--sync", wid)
        x, y, w, h = app.geometry(wid)
        self.display.run("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1")


class ChoiceTest(LanguageCase):
    def test_the_stored_locale_with_a_catalogue_else_the_desktops_language(self):
        cases = [
            ("fr_FR", {"LANG": "de_DE.UTF-8"}, FRENCH),
            ("ko_KR", {"LANG": "de_DE.UTF-8"}, GERMAN),  # no Korean catalogue
            (None, {"LANGUAGE": "ja"}, JAPANESE),  # the C locale: gettext alone would ignore it
            ("en_US", {"LANGUAGE": "ja"}, ENGLISH),
        ]
        for locale, env, expected in cases:
            with self.subTest(locale=locale, env=env):
                app = self.start(locale, env)
                self.labels(expected)
                app.terminate()

    def test_the_page_setting_a_locale_relabels_the_tray_at_once(self):
        app = self.start(args=ARGS + ["--show-on-launch",
                                      "--start-url-prefix=" + page_url("language.html") + "?locale="])
        app.wait_console("LANGUAGE loaded")
        self.labels(ENGLISH)
        self.focus_page(app)
        self.key("g")
        app.wait_console("LANGUAGE loaded ?locale=de_DE")
        self.labels(GERMAN)
        self.assertTrue(app.alive())


    def test_a_browser_opened_for_the_user_gets_the_users_language(self):
        app = self.prepare("fr_FR", {"LANGUAGE": "ja"})
        record = app.register_url_recorder()
        self.watch(app).start()
        app.wait_console("LANGUAGE loaded")
        self.labels(FRENCH)
        self.watcher.wait_item().click(FRENCH[0])
        wait_for(lambda: app.opened_urls(record), what="the default browser to be asked")
        self.assertEqual(app.opener_environment(record).get("LANGUAGE"), "ja")


class DialogTest(LanguageCase):
    def test_the_hung_page_dialog_speaks_the_stored_locale(self):
        app = self.start("fr_FR", url=page_url("reload.html"), args=ARGS + ["--show-on-launch"],
                         accessible=True)
        app.wait_console("RELOAD loaded")
        self.focus_page(app)
        self.key("h")
        app.wait_console("RELOAD hanging")
        self.key("x")  # the engine learns of the hang when the page should answer
        buttons = wait_for(lambda: A11Y[0].dialog_buttons(app.proc.pid), 60, what="the page-not-responding dialog")
        self.assertEqual(sorted(buttons), ["Attendre", "Recharger"])

    def test_a_right_to_left_language_mirrors_the_port_failure_dialog(self):
        ports = []
        for _ in range(2):
            s = socket.socket()
            s.bind(("127.0.0.1", 0))
            s.listen()
            self.addCleanup(s.close)
            ports.append(s.getsockname()[1])
        app = self.start("ar", args=QUIET_NET + ["--ws-ports=%d,%d" % tuple(ports)], accessible=True)
        arabic = gettext.translation("tavisto-for-web", os.path.join(BIN_DIR, "locale"), ["ar"])
        help_name, close_name = (arabic.gettext(t).replace("_", "") for t in ("_Help", "_Close"))
        buttons = wait_for(lambda: A11Y[0].dialog_buttons(app.proc.pid), 60, what="the port-failure dialog")
        self.assertEqual(sorted(buttons), sorted([help_name, close_name]))
        # Left to right, Help stands left of Close; mirrored, right of it.
        self.assertGreater(buttons[help_name][0], buttons[close_name][0])


if __name__ == "__main__":
    unittest.main()
