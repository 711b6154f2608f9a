"""--help and --version: answered on standard output without a display, the lock or any file."""
import os
import re
import subprocess
import unittest

from tvc_harness import App, AppTestCase, page_url

README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")
VERSION = "1.2.8.362"


def readme_switches():
    """Every switch named in the first column of the README's switch table."""
    with open(README, encoding="utf-8") as f:
        text = f.read()
    table = text.split("## Switches", 1)[1].split("\n## ", 1)[0]
    names = set()
    for line in table.splitlines():
        if line.startswith("| `--"):
            names.update(re.findall(r"`(--[a-z-]+)", line.split("|")[1]))
    return names


class UsageTest(AppTestCase):
    def answer(self, app, *args):
        done = subprocess.run([app.args[0], *args], env=app.env, capture_output=True, text=True, timeout=10)
        return done.returncode, done.stdout

    def files_under(self, folder):
        return sorted(os.path.join(d, f) for d, _, files in os.walk(folder) for f in files)

    def test_answers_without_display_and_leaves_no_file(self):
        app = App(None)  # no DISPLAY at all
        self.apps.append(app)
        cases = [
            (["--help"], "--remote-debugging-port=PORT"),
            (["--version"], "Tavisto for Web %s\n" % VERSION),
            (["--no-such-switch", "--VERSION"], VERSION),
            (["--version", "--help"], "Usage:"),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                code, out = self.answer(app, *args)
                self.assertEqual(code, 0)
                self.assertIn(expected, out)
        self.assertEqual(self.files_under(app.home), [])

    def test_help_lists_every_switch_of_the_readme(self):
        switches = readme_switches()
        self.assertGreater(len(switches), 12)
        app = App(None)
        self.apps.append(app)
        _, out = self.answer(app, "--help")
        self.assertEqual(sorted(s for s in switches if s not in out), [])

    def test_version_answers_while_another_instance_holds_the_lock(self):
        first = self.launch(url=page_url("basic.html"))
        first.window_id()
        self.assertEqual(self.answer(first, "--version"), (0, "Tavisto for Web %s\n" % VERSION))
        self.assertTrue(first.alive())
        self.assertEqual(first.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
