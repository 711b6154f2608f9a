"""Start-up, single instance, folders, logs, autostart entry and the end of the program."""
import os
import shutil
import signal
import subprocess
import unittest

from tvc_harness import App, AppTestCase, Display, EXECUTABLE, free_port, page_url, wait_for


def listening(port):
    """The local addresses listening on `port` (TCP), from ss."""
    out = subprocess.run(["ss", "-Hltn", "sport = :%d" % port], capture_output=True, text=True).stdout
    return sorted(line.split()[3].rsplit(":", 1)[0].strip("[]") for line in out.splitlines() if line.strip())


class StartupTest(AppTestCase):
    def test_window_is_created_hidden_and_logs_name_the_version(self):
        app = self.launch(url=page_url("basic.html"))
        wid = app.window_id()
        self.assertEqual(app.map_state(wid), "IsUnMapped")
        self.assertIn("CEFCLIENT", app.xprop(wid, "WM_CLASS"))
        app.wait_log("PRODUCT VERSION 1.2.8.362")
        app.wait_log("PRODUCT VERSION 1.2.8.362", prefix="RENDER_PROCESS_LOG_")
        self.assertEqual(len(app.log_files("BROWSER_PROCESS_LOG_")), 1)
        self.assertTrue(os.path.isdir(os.path.join(app.tree, "Cache")))
        self.assertTrue(os.path.isdir(os.path.join(app.tree, "Resources")))

    def test_show_on_launch_maps_the_window_with_its_minimum_size(self):
        app = self.launch(url=page_url("basic.html"), args=["--show-on-launch"])
        wid = app.window_id()
        wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
        hints = app.xprop(wid, "WM_NORMAL_HINTS")
        self.assertIn("minimum size: 400 by 300", hints)

    def test_second_start_exits_with_1_and_the_first_runs_on(self):
        first = self.launch(url=page_url("basic.html"))
        first.window_id()
        second = App(self.display, home=first.home, url=page_url("basic.html"))
        self.apps.append(second)
        self.assertEqual(second.run_to_end(), 1)
        self.assertTrue(first.alive())
        first.window_id()
        self.assertEqual(first.terminate(), 0)

    def test_without_a_runtime_folder_the_lock_is_still_taken_in_a_fresh_tree(self):
        first = App(self.display, url=page_url("basic.html"))
        del first.env["XDG_RUNTIME_DIR"]
        self.apps.append(first)
        first.start()
        first.window_id()
        second = App(self.display, home=first.home, url=page_url("basic.html"))
        second.env = first.env
        self.apps.append(second)
        self.assertEqual(second.run_to_end(), 1)
        self.assertTrue(first.alive())

    def test_sighup_takes_the_quit_road_of_sigterm(self):
        app = self.launch(url=page_url("basic.html"))
        app.wait_log("PRODUCT VERSION 1.2.8.362", prefix="RENDER_PROCESS_LOG_")
        app.proc.send_signal(signal.SIGHUP)
        self.assertEqual(app.proc.wait(20), 0)
        self.assertIn("termination signal received", app.log_text())

    def test_sigterm_ends_the_program_with_0_and_its_web_process_with_it(self):
        app = self.launch(url=page_url("basic.html"))
        app.wait_log("PRODUCT VERSION 1.2.8.362", prefix="RENDER_PROCESS_LOG_")
        web = wait_for(app.web_process_pids, what="a web process")
        self.assertEqual(app.terminate(), 0)
        self.assertIn("loop already exited", app.log_text() + app.stderr())
        wait_for(lambda: not any(os.path.exists("/proc/%d" % p) for p in web), what="the web process to end")

    def test_restart_purges_old_browser_logs(self):
        app = self.launch(url=page_url("basic.html"))
        app.wait_log("PRODUCT VERSION 1.2.8.362")
        old = app.log_files("BROWSER_PROCESS_LOG_")
        self.assertEqual(app.terminate(), 0)
        again = App(self.display, home=app.home, url=page_url("basic.html"))
        self.apps.append(again)
        again.start()
        new = wait_for(lambda: [f for f in again.log_files("BROWSER_PROCESS_LOG_") if f not in old],
                       what="the new browser log")
        self.assertEqual(again.log_files("BROWSER_PROCESS_LOG_"), new, "the old browser log was purged")
        again.wait_log("PRODUCT VERSION 1.2.8.362")


class EngineTest(AppTestCase):
    def test_user_agent_carries_the_product_part(self):
        app = self.launch(url=page_url("basic.html"))
        app.wait_console("Chrome/39.0.2171.36 TavistoForWeb/1.2.8.362")

    def test_remote_inspector_only_with_its_switch_and_only_on_loopback(self):
        port = free_port()
        app = self.launch(url=page_url("basic.html"), args=["--remote-debugging-port=%d" % port])
        wait_for(lambda: listening(port), what="the inspector on port %d" % port)
        self.assertEqual(listening(port), ["127.0.0.1"])
        self.assertEqual(app.terminate(), 0)
        plain = self.launch(url=page_url("basic.html"))
        plain.wait_console("basic-page-loaded")
        self.assertEqual(listening(port), [])


class AutostartTest(AppTestCase):
    def test_autostart_entry_is_placed_once_and_never_overwritten(self):
        app = self.launch(url=page_url("basic.html"))
        wait_for(lambda: os.path.exists(app.autostart), what="the autostart entry")
        with open(app.autostart) as f:
            text = f.read()
        self.assertIn("Exec=", text)
        self.assertIn(EXECUTABLE, text)
        self.assertEqual(app.terminate(), 0)
        with open(app.autostart, "a") as f:
            f.write("Hidden=true\n")
        again = App(self.display, home=app.home, url=page_url("basic.html"))
        self.apps.append(again)
        again.start()
        # The entry is looked at once the page is loading.
        wait_for(lambda: "filesystem::copy_file exception" in again.log_text() + again.stderr(), what="the refused copy")
        with open(app.autostart) as f:
            self.assertTrue(f.read().endswith("Hidden=true\n"))

    def test_autostart_folder_that_cannot_be_made_is_logged_and_startup_goes_on(self):
        app = App(self.display, url=page_url("basic.html"))
        self.apps.append(app)
        app.block_folder(os.path.join(app.env["XDG_CONFIG_HOME"], "autostart"))
        app.start()
        app.wait_log("PRODUCT VERSION 1.2.8.362")
        wait_for(lambda: "cannot create the autostart folder" in app.stderr(), what="the logged failure")
        self.assertEqual(app.terminate(), 0)


class DisplayLossTest(unittest.TestCase):
    def test_losing_the_display_exits_with_its_own_code_after_saving_the_placement(self):
        display = Display()
        app = App(display, url=page_url("basic.html"), args=["--show-on-launch"])
        try:
            app.start()
            wid = app.window_id()
            wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
            display.close()
            code = app.proc.wait(20)
            self.assertNotIn(code, (0, 1))
            self.assertEqual(code, 5)
            self.assertIn("lost the connection to the display", app.stderr())
            with open(app.prefs) as f:
                self.assertIn("[windowpos]", f.read())
        finally:
            app.cleanup()
            display.close()


class BadEnvironmentTest(AppTestCase):
    def test_no_display_exits_with_a_clear_message(self):
        app = App(None, url=page_url("basic.html"))
        self.apps.append(app)
        code = app.run_to_end()
        self.assertNotIn(code, (0, 1))
        self.assertIn("cannot open the display", app.stderr())

    def test_unwritable_user_folder_still_runs(self):
        app = App(self.display, url=page_url("basic.html"))
        self.apps.append(app)
        app.block_folder(os.path.join(app.env["XDG_DATA_HOME"], "CorvaneMedia"))
        app.start()
        app.window_id()
        self.assertTrue(app.alive())
        self.assertEqual(app.terminate(), 0)

    def test_garbage_preferences_file_does_not_stop_start_up(self):
        app = App(self.display, url=page_url("basic.html"), args=["--show-on-launch"])
        self.apps.append(app)
        os.makedirs(os.path.dirname(app.prefs))
        with open(app.prefs, "wb") as f:
            f.write(b"\x00\xff[windowpos\nx=\x01\n[[[\n" * 100)
        app.start()
        wid = app.window_id()
        wait_for(lambda: app.map_state(wid) == "IsViewable", what="the window on screen")
        self.assertEqual(app.terminate(), 0)

    def copy_program_without(self, app, missing):
        folder = os.path.join(app.home, "bin")
        os.makedirs(folder)
        for name in ("TavistoForWeb", "libTavistoWebExtension.so", "libTavistoEngine.so",
                     "TavistoForWebShortcut.desktop", "cef_js_app.html"):
            if name != missing:
                shutil.copy2(os.path.join(os.path.dirname(EXECUTABLE), name), folder)
        app.args = [os.path.join(folder, "TavistoForWeb")] + app.args[1:]

    def test_missing_engine_module_ends_with_the_engine_code_and_says_why(self):
        app = App(self.display, url=page_url("basic.html"), args=["--show-on-launch"])
        self.apps.append(app)
        self.copy_program_without(app, "libTavistoEngine.so")
        self.assertEqual(app.run_to_end(), 3)
        self.assertIn("the browser engine did not start", app.stderr())
        self.assertIn("libTavistoEngine.so", app.stderr())

    def test_missing_start_page_is_logged(self):
        app = App(self.display)
        self.apps.append(app)
        self.copy_program_without(app, "cef_js_app.html")
        app.start()
        app.wait_log("cef_js_app.html is missing")
        app.window_id()
        self.assertTrue(app.alive())
        self.assertEqual(app.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
