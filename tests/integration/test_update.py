"""The updater against a loopback update service: up to date, a verified download recorded for the
next check, the prompt and the installer's start through the quit road, and every refusal."""
import hashlib
import os
import shutil
import tempfile
import unittest
import urllib.parse

from bridge_support import screenshot_dir
from tvc_harness import App, AppTestCase, free_port, page_url, wait_for
from update_support import FirstOpen, INSTALLER, RUNNING_VERSION, SigningKey, UpdateServer, installer_script

PROMPT_TITLE = "Tavisto for Web Update"
NEWER = "1.2.9.0"


class UpdateCase(AppTestCase):
    window_manager = True

    def setUp(self):
        super().setUp()
        self.server = UpdateServer()
        self.addCleanup(self.server.close)
        self.work = tempfile.mkdtemp(prefix="tvc-update-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.marker = os.path.join(self.work, "installer-ran")
        self.installer = installer_script(self.marker)

    def new_app(self, home=None, args=(), query=""):
        url = page_url("update.html") + "?appcast=" + urllib.parse.quote(self.server.appcast_url, safe="") + query
        app = App(self.display, home=home, url=url, args=[
            "--show-on-launch", "--config-base-url=http://127.0.0.1:9/",
            "--appcast-base-url=" + self.server.url("/appcast/"), "--update-download-delay-ms=300",
            "--ws-ports=%d" % free_port()] + list(args))
        self.apps.append(app)
        return app

    @staticmethod
    def folder(app):
        return os.path.join(app.tree, "Update")

    def state_file(self, app):
        return os.path.join(self.folder(app), "UpdateStateDetails.txt")

    def close_box(self, app):
        """The close box hides the window, which starts a check."""
        wid = app.window_id()
        wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window shown")
        self.display.run("wmctrl", "-i", "-c", wid)
        wait_for(lambda: app.map_state(wid) == "IsUnMapped", what="the window hidden")

    def prompt(self, app):
        def find():
            out = self.display.run("xdotool", "search", "--onlyvisible", "--pid", str(app.proc.pid),
                                   "--name", PROMPT_TITLE)
            for wid in out.split():
                if '"%s"' % PROMPT_TITLE in app.xprop(wid, "WM_NAME"):
                    return wid
            return None
        return wait_for(find, what="the update prompt")

    def answer(self, wid, key):
        self.display.run("xdotool", "windowactivate", "--sync", wid, "key", key)

    def wait_verified(self, app):
        wait_for(lambda: os.path.exists(self.state_file(app)), what="the update state file")


class UpdateFlowTest(UpdateCase):
    def test_equal_version_is_up_to_date_and_the_update_folder_is_removed(self):
        self.server.publish(RUNNING_VERSION, self.installer)
        app = self.new_app()
        os.makedirs(self.folder(app))
        with open(os.path.join(self.folder(app), "leftover.bin"), "wb") as f:
            f.write(b"x")
        app.start()
        app.wait_log("App is Up-to-Date or is at Newer Version")
        wait_for(lambda: not os.path.exists(self.folder(app)), what="the update folder removed")
        self.close_box(app)
        app.wait_log("Current-State=5")
        self.assertEqual(self.server.installer_requests(), [])
        self.assertEqual(app.terminate(), 0)

    def test_newer_version_is_downloaded_verified_recorded_then_installed_on_consent(self):
        self.server.publish(NEWER, self.installer)
        app = self.new_app()
        app.start()
        self.wait_verified(app)
        app.wait_log("DownloadUpdate Starting Download")  # the log reaches its file in batches
        log = app.log_text()
        self.assertLess(log.index("Delaying the Download"), log.index("DownloadUpdate Starting Download"))
        with open(self.state_file(app)) as f:
            words = f.read().split()
        installer = os.path.join(self.folder(app), INSTALLER)
        # version, installer path, state, each string as its length and its bytes
        self.assertEqual(words[-5:], ["7", NEWER, str(len(installer)), installer, "3"])
        self.assertEqual(self.server.installer_requests(), ["/bin/" + INSTALLER])

        self.close_box(app)
        wid = self.prompt(app)
        app.wait_console("EVENT OnNativeAppUpdate")
        self.display.screenshot(os.path.join(screenshot_dir(), "update_prompt.png"))
        self.assertFalse(os.path.exists(self.marker))
        self.answer(wid, "Return")
        wait_for(lambda: os.path.exists(self.marker), what="the installer to run")
        self.assertEqual(app.proc.wait(30), 0)
        app.wait_log("Closing the Application - posting WM_CLOSE")
        # Through the quit road: the page was asked first.
        self.assertIn("EVENT OnBeforeAppQuit", app.console_log())
        self.assertEqual(len(self.server.installer_requests()), 1)
        self.assertEqual(os.stat(installer).st_mode & 0o111, 0o100)  # executable for the user only

    def test_next_run_prompts_without_downloading_and_refuses_a_file_swapped_in_meanwhile(self):
        self.server.publish(NEWER, self.installer)
        first = self.new_app()
        first.start()
        self.wait_verified(first)
        self.assertEqual(first.terminate(), 0)

        second = self.new_app(home=first.home)
        second.start()
        wid = self.prompt(second)
        installer = os.path.join(self.folder(second), INSTALLER)
        with open(installer, "wb") as f:
            f.write(self.installer.replace(b"installer ran", b"intruder ran"))
        self.answer(wid, "Return")
        second.wait_log("the installer changed after it was verified; not started")
        wait_for(lambda: not os.path.exists(self.folder(second)), what="the update folder removed")
        self.assertFalse(os.path.exists(self.marker))
        self.assertTrue(second.alive())
        self.assertEqual(len(self.server.installer_requests()), 1)

    def test_dismissed_prompt_keeps_the_installer_and_blocks_further_checks(self):
        self.server.publish(NEWER, self.installer)
        # The page sets the appcast address every half second: each time a check is asked for.
        app = self.new_app(query="&repeat=500")
        app.start()
        prompt = self.prompt(app)
        skip = "Update activity already is in progress : skip."
        # The page and the checks go on while the prompt waits.
        wait_for(lambda: app.log_text().count(skip) >= 3, what="checks skipped while the prompt is up")
        # Its close box dismisses it.
        self.display.run("wmctrl", "-i", "-c", prompt)
        app.wait_log("Skipping Installer Launch")
        skipped = app.log_text().count(skip)
        wait_for(lambda: app.log_text().count(skip) >= skipped + 3, what="later checks skipped")
        self.assertEqual(app.log_text().count("Launch installer if checksum is valid"), 1)
        self.assertTrue(os.path.exists(os.path.join(self.folder(app), INSTALLER)))
        self.assertFalse(os.path.exists(self.marker))


    def test_a_newer_appcast_replaces_a_recorded_download(self):
        self.server.publish(NEWER, self.installer)
        first = self.new_app()
        first.start()
        self.wait_verified(first)
        self.assertEqual(first.terminate(), 0)

        self.server.publish("1.2.10.0", self.installer + b"# 1.2.10.0\n")
        second = self.new_app(home=first.home)
        second.start()
        second.wait_log("A newer Version is available in Appcast. Flusing this update")
        wait_for(lambda: len(self.server.installer_requests()) == 2, what="the newer installer requested")
        self.wait_verified(second)
        with open(self.state_file(second)) as f:
            self.assertIn(" 8 1.2.10.0 ", f.read())

    def test_a_record_naming_a_file_outside_the_update_folder_is_dropped_and_the_update_fetched_again(self):
        self.server.publish(NEWER, self.installer)
        app = self.new_app()
        outside = os.path.join(self.work, INSTALLER)
        with open(outside, "wb") as f:
            f.write(self.installer)
        os.makedirs(self.folder(app))
        with open(self.state_file(app), "w") as f:
            f.write("22 serialization::archive 18 0 0 7 %s %d %s 3\n" % (NEWER, len(outside), outside))
        app.start()
        app.wait_log("the record names another state or file")
        wait_for(lambda: self.server.installer_requests(), what="a fresh download")
        self.wait_verified(app)
        with open(self.state_file(app)) as f:
            self.assertNotIn(outside, f.read())


class UpdateRefusalTest(UpdateCase):
    def refused(self, publish, log_line, installer_downloaded=True):
        publish()
        app = self.new_app()
        app.start()
        app.wait_log(log_line)
        wait_for(lambda: not os.path.exists(self.folder(app)), what="the update folder removed")
        self.assertEqual(bool(self.server.installer_requests()), installer_downloaded)
        self.assertFalse(os.path.exists(self.marker))
        # The next trigger checks again.
        self.close_box(app)
        app.wait_log("Current-State=4")
        self.assertEqual(app.terminate(), 0)
        return app

    def test_wrong_or_upper_case_checksum_is_refused_and_the_folder_removed(self):
        for checksum in (hashlib.sha1(b"another file").hexdigest(), hashlib.sha1(self.installer).hexdigest().upper()):
            with self.subTest(checksum=checksum):
                self.server.requests.clear()
                self.refused(lambda: self.server.publish(NEWER, self.installer, checksum=checksum),
                             "ValidateChecksum: Checksum doesnot match")

    def test_installer_cut_off_half_way_fails_the_update_and_is_not_checked(self):
        self.server.cut_off.add("/bin/" + INSTALLER)
        app = self.refused(lambda: self.server.publish(NEWER, self.installer * 2000),
                           "Download failed. Invalid state")
        self.assertNotIn("ValidateChecksum", app.log_text())

    def test_unreadable_appcasts_are_refused_and_the_program_runs_on(self):
        # Within the appcast's size limit: a larger body is cut off while it downloads.
        garbage = bytes(range(256)) * (512 * 1024 // 256)
        cases = {
            "512 KB of garbage": lambda: self.server.files.update({"/appcast/Appcast.json": garbage}),
            "truncated": lambda: self.server.files.update({"/appcast/Appcast.json": b'{"Title": "T", "Vers'}),
            "no checksum": lambda: (self.server.publish(NEWER, self.installer),
                                    self.server.files.update({"/appcast/Appcast.json":
                                        self.server.files["/appcast/Appcast.json"].replace(b'"Checksum"', b'"X"')})),
        }
        for what, publish in cases.items():
            with self.subTest(what):
                self.server.requests.clear()
                self.refused(publish, "Could Not Parse Json File", installer_downloaded=False)

    def test_unwritable_update_folder_fails_the_check_and_the_program_runs_on(self):
        self.server.publish(NEWER, self.installer)
        app = self.new_app()
        app.block_folder(self.folder(app))
        app.start()
        app.wait_log("Download failed. Invalid state")
        self.close_box(app)
        app.wait_log("Current-State=4")
        self.assertEqual(app.terminate(), 0)

    def test_installer_address_must_be_on_the_web(self):
        self.refused(lambda: self.server.publish(NEWER, self.installer,
                                                 extra={"Downloadpath": "file:///bin/sh"}),
                     "is not an http(s) address", installer_downloaded=False)


class DownloadLimitTest(UpdateCase):
    STALL_MS = 1500
    DEADLINE_MS = 4000

    def new_app(self, home=None, args=(), query=""):
        # Short limits keep the stalled and the trickling cases quick.
        return super().new_app(home, ["--download-stall-timeout-ms=%d" % self.STALL_MS,
                                      "--download-deadline-ms=%d" % self.DEADLINE_MS] + list(args), query)

    def test_downloads_past_a_limit_are_cancelled_at_once_and_fail_the_update(self):
        appcast, installer = "/appcast/Appcast.json", "/bin/" + INSTALLER
        cases = {
            "an endless appcast": (lambda: self.server.endless.add(appcast), appcast,
                                   "larger than its limit of 1048576 bytes"),
            "an installer announcing 600 MiB": (lambda: self.server.announced.update({installer: 600 << 20}),
                                                installer, "larger than its limit of"),
            "an installer that stops sending": (lambda: (self.server.stalled.add(installer),
                                                         self.server.announced.update({installer: 1 << 20})),
                                                installer, "no data for %d ms" % self.STALL_MS),
            "an appcast trickling a byte at a time": (lambda: (self.server.trickled.add(appcast),
                                                               self.server.announced.update({appcast: 1 << 16})),
                                                      appcast, "not done within %d ms" % self.DEADLINE_MS),
            "an installer trickling a byte at a time": (lambda: (self.server.trickled.add(installer),
                                                                 self.server.announced.update({installer: 1 << 20})),
                                                        installer, "not done within %d ms" % self.DEADLINE_MS),
        }
        for what, (arrange, path, refusal) in cases.items():
            with self.subTest(what):
                self.server = UpdateServer()
                self.addCleanup(self.server.close)
                self.server.publish(NEWER, self.installer)
                arrange()
                app = self.refused(lambda: None, "Download failed. Invalid state",
                                   installer_downloaded=path == installer)
                log = app.log_text()
                self.assertIn(refusal, log)
                # Cut off near the limit, not at network speed.
                self.assertLess(self.server.sent.get(path, 0), 64 << 20)
                # Progress is written at most once a second.
                self.assertLess(log.count("Downloading....."), 10)
                self.assertNotIn("ValidateChecksum", log)

    refused = UpdateRefusalTest.refused


class PlantedLinkTest(UpdateCase):
    def test_links_planted_for_the_update_folder_or_its_files_lead_nowhere(self):
        def folder_link(app, user):
            os.makedirs(os.path.dirname(self.folder(app)))
            os.symlink(user, self.folder(app))

        def appcast_link(app, user):
            os.makedirs(self.folder(app))
            os.symlink(os.path.join(user, "precious.txt"), os.path.join(self.folder(app), "Appcast.json"))

        self.server.publish(RUNNING_VERSION, self.installer)
        for what, plant in {"the update folder a link to the user's folder": folder_link,
                            "the appcast a link to the user's file": appcast_link}.items():
            with self.subTest(what):
                user = tempfile.mkdtemp(dir=self.work)
                with open(os.path.join(user, "precious.txt"), "w") as f:
                    f.write("mine")
                app = self.new_app()
                plant(app, user)
                app.start()
                app.wait_log("App is Up-to-Date or is at Newer Version")
                wait_for(lambda: not os.path.lexists(self.folder(app)), what="the update folder removed")
                self.assertEqual(os.listdir(user), ["precious.txt"])
                with open(os.path.join(user, "precious.txt")) as f:
                    self.assertEqual(f.read(), "mine")
                self.assertEqual(app.terminate(), 0)


class InstallerLaunchTest(UpdateCase):
    def test_a_file_renamed_over_the_installer_after_ok_never_runs(self):
        # Large enough that checking it takes a while: the swap lands while the program reads.
        self.server.publish(NEWER, self.installer + b"#" * (16 << 20) + b"\n")
        app = self.new_app()
        app.start()
        self.wait_verified(app)
        self.close_box(app)
        prompt = self.prompt(app)
        installer = os.path.join(self.folder(app), INSTALLER)
        intruder_marker = os.path.join(self.work, "intruder-ran")

        def swap():
            other = installer + ".other"
            with open(other, "wb") as f:
                f.write(installer_script(intruder_marker))
            os.chmod(other, 0o755)
            os.rename(other, installer)
        swapped = FirstOpen(installer, swap)
        self.answer(prompt, "Return")
        wait_for(swapped.done.is_set, what="the installer swapped")
        wait_for(lambda: os.path.exists(self.marker) or os.path.exists(intruder_marker),
                 what="an installer to run")
        self.assertFalse(os.path.exists(intruder_marker))
        self.assertTrue(os.path.exists(self.marker))
        self.assertEqual(app.proc.wait(30), 0)

    def test_a_verified_file_that_is_no_program_fails_the_launch_once_and_the_program_stays(self):
        self.server.publish(NEWER, b"this is no program\n")
        # The page asks for a check every half second.
        app = self.new_app(query="&repeat=500")
        app.start()
        self.answer(self.prompt(app), "Return")
        app.wait_log("the installer could not be started")
        self.answer(self.prompt(app), "Return")  # the box that tells the user, under the same caption
        not_again = "could not be started in this run; not fetched again"
        wait_for(lambda: app.log_text().count(not_again) >= 3, what="later checks refused")
        self.assertEqual(app.log_text().count("the installer could not be started"), 1)
        self.assertEqual(len(self.server.installer_requests()), 1)
        self.assertTrue(app.alive())
        self.assertEqual(app.terminate(), 0)


class SignedUpdateTest(UpdateCase):
    """A key given on the command line pins it as a build option would (the build pins none)."""

    def setUp(self):
        super().setUp()
        self.maker = SigningKey(self.work, "maker")

    def new_app(self, home=None, args=(), query=""):
        return super().new_app(home, ["--update-public-key=" + self.maker.public_base64] + list(args), query)

    def test_unsigned_installer_is_not_even_downloaded(self):
        self.server.publish(NEWER, self.installer)
        app = self.new_app()
        app.start()
        app.wait_log("the appcast carries no Signature and this build requires signed installers")
        self.close_box(app)
        app.wait_log("Current-State=4")
        self.assertEqual(self.server.installer_requests(), [])

    def test_installer_signed_by_another_key_is_refused(self):
        other = SigningKey(self.work, "other")
        self.server.publish(NEWER, self.installer, signature=other.sign(self.installer, self.work))
        app = self.new_app()
        app.start()
        app.wait_log("installer refused: the signature does not match the file")
        wait_for(lambda: not os.path.exists(self.folder(app)), what="the update folder removed")
        self.assertEqual(len(self.server.installer_requests()), 1)

    def test_installer_signed_by_the_maker_is_launched(self):
        self.server.publish(NEWER, self.installer, signature=self.maker.sign(self.installer, self.work))
        app = self.new_app()
        app.start()
        self.wait_verified(app)
        self.close_box(app)
        self.answer(self.prompt(app), "Return")
        wait_for(lambda: os.path.exists(self.marker), what="the installer to run")
        self.assertEqual(app.proc.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
