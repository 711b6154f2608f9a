"""Values the page reads and writes: locale, start address, machine identifier, appcast folder,
popup domains; the preferences file refuses line breaks."""
import re
import unittest

from bridge_support import BridgeCase, page_url, results, wait_for, wait_result


def prefs_text(app):
    with open(app.prefs, errors="replace") as f:
        return f.read()


class SettingsTest(BridgeCase):
    page = "bridge_settings.html"
    # The locale page is one of the program's own: the page may store it as its start address.
    extra_args = ["--start-url-prefix=" + page_url("bridge_locale.html") + "?from=prefix&locale="]

    def test_fresh_profile_values(self):
        fresh = wait_result(self.app, "fresh")
        self.assertEqual(fresh["locale"], "en_US")
        self.assertEqual(fresh["startUrl"], "")
        self.assertRegex(fresh["machineId"], r"^[0-9A-F]{32}$")
        self.assertEqual(fresh["configBase"], "http://127.0.0.1:9/")

    def test_start_url_empty_keeps_the_stored_value_and_line_breaks_are_refused(self):
        answers = wait_result(self.app, "set-start")
        stored = page_url("bridge_locale.html") + "?from=starturl&locale="
        self.assertEqual(answers, [True, True, True, True, stored])
        text = prefs_text(self.app)
        self.assertIn("starturl=" + stored, text)
        self.assertNotIn("injected", text)

    def test_locale_loads_the_stored_start_address_and_a_line_break_loads_nothing(self):
        self.assertEqual(wait_result(self.app, "set-locale"), [True, True])
        page = wait_result(self.app, "locale-page")
        self.assertEqual((page["from"], page["locale"], page["stored"]), ("starturl", "de_DE", "de_DE"))
        self.app.wait_log("ClientHandler::HandleSetLocale : the locale holds a line break or NUL; nothing loaded")
        self.assertEqual(len(results(self.app)["locale-page"]), 1)
        self.assertRegex(prefs_text(self.app), r"(?im)^locale=de_DE$")

    def test_appcast_addresses_are_checked_before_they_are_stored(self):
        wait_result(self.app, "fresh")
        folders = wait_for(lambda: (lambda f: f if len(f) >= 5 else None)(
            re.findall(r"HandleSetAppcastURL : appcast folder is (\S+)", self.app.log_text())),
            what="five appcast folders")
        default = folders[1]
        self.assertTrue(default.startswith("http://127.0.0.1:9/"), default)
        self.assertEqual(folders, ["http://127.0.0.1:9/appcast/", default, default, default, default])
        invalid = "SetAppcastURL is invalid , hence assinged to default appcast url"
        log = wait_for(lambda: (lambda t: t if t.count(invalid) >= 4 else None)(self.app.log_text()),
                       what="four refused addresses")
        # The empty address takes the default folder, whose last part is not "Appcast.json" either.
        self.assertIn("Empty String got. Default Appcast URL is " + default, log)
        self.assertEqual(log.count(invalid), 4)

    def test_popup_domains_are_received(self):
        wait_for(lambda: self.app.log_text().count("HandleSetPopupDomain SetPopupDomain") == 2, what="two domain lists")
        self.app.wait_log("HandleSetPopupDomain. Domain String is Empty")

    def test_locale_with_the_start_prefix_and_a_stable_machine_id(self):
        prefix = page_url("bridge_locale.html") + "?first=0&locale="
        app = self.start_app(url=page_url("bridge_locale.html") + "?first=1",
                             args=["--start-url-prefix=" + prefix])
        first = wait_result(app, "locale-page")
        self.assertEqual(first["stored"], "en_US")
        self.assertEqual(wait_result(app, "set-locale"), [True, True])
        loaded = wait_result(app, "locale-page", count=2)
        self.assertEqual(loaded["href"], prefix + "fr_FR")
        self.assertEqual(loaded["stored"], "fr_FR")
        # The empty locale wrote nothing and loaded nothing.
        self.assertNotIn("Locale is \n", app.log_text())
        self.assertEqual(len(results(app)["locale-page"]), 2)
        self.assertRegex(prefs_text(app), r"(?im)^locale=fr_FR$")
        # Another profile, another run: the same machine.
        again = self.start_app(url=page_url("bridge_settings.html"))
        self.assertEqual(wait_result(again, "fresh")["machineId"], wait_result(self.app, "fresh")["machineId"])


if __name__ == "__main__":
    unittest.main()
