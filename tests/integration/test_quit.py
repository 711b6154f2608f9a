"""Quitting from outside: the page is asked and given its turn, and the program always ends, with
exit code 0, its placement and listening port stored."""
import os
import signal

from tvc_harness import AppTestCase, free_port, page_url, wait_for

SIGTERM_BIT = 1 << (signal.SIGTERM - 1)


def catches_sigterm(pid):
    """Whether the process has installed its SIGTERM handler (the SigCgt mask in /proc)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    return int(line.split()[1], 16) & SIGTERM_BIT
    except OSError:
        pass
    return False

RENDER_LOG = "RENDER_PROCESS_LOG_"


class QuitTest(AppTestCase):
    def start(self, query):
        port = free_port()
        app = self.launch(url=page_url("quit.html") + query, args=["--ws-ports=%d" % port])
        app.wait_console("PAGE ready")
        app.wait_log("listening on 127.0.0.1:%d" % port)
        return app, port

    def assert_ended_cleanly(self, app, port):
        log = app.log_text()
        self.assertIn("WndProc : WM_CLOSE: allow-close", log)  # the second close, which saves
        self.assertIn("last browser closed, ending the message loop", log)
        self.assertNotIn("engaging PROCESS KILL", log)
        with open(app.prefs) as f:
            prefs = f.read()
        self.assertIn("[windowpos]", prefs)
        self.assertIn("lastListenedWSPort=%d" % port, prefs)

    def test_page_answering_at_once(self):
        app, port = self.start("?answer=now")
        self.assertEqual(app.terminate(), 0)
        self.assert_ended_cleanly(app, port)
        self.assertIn("breaking on JS appQuit property", app.log_text(RENDER_LOG))
        self.assertIn("calling HandleJSQuitCompletion", app.log_text())

    def test_page_answering_from_a_timer_is_heard(self):
        app, port = self.start("?answer=later&ms=1000")
        self.assertEqual(app.terminate(), 0)
        console = app.console_log()
        self.assertLess(console.index("QUIT asked"), console.index("QUIT answering"))
        self.assertIn("breaking on JS appQuit property", app.log_text(RENDER_LOG))
        self.assertNotIn("no answer from the page", app.log_text())
        self.assert_ended_cleanly(app, port)

    def test_page_that_never_answers_and_repeated_requests(self):
        app, port = self.start("?answer=never")
        app.proc.send_signal(signal.SIGTERM)
        app.wait_console("QUIT asked")
        app.proc.send_signal(signal.SIGINT)
        app.proc.send_signal(signal.SIGTERM)
        self.assertEqual(app.proc.wait(30), 0)
        self.assertIn("wait-end: ExitCounter=0", app.log_text(RENDER_LOG))
        log = app.log_text()
        self.assertIn("CAppQuitHandler::StartQuitSequence : incorrect state "
                      "eQuitHander_State_Waiting_ForTVDJS", log)
        self.assertEqual(log.count("SendProcessMessage : sending browser_to_v8.app-before-quit"), 1)
        self.assert_ended_cleanly(app, port)

    def test_open_popup_does_not_keep_the_program(self):
        app, port = self.start("?answer=now&popup=1")
        app.wait_console("POPUP loaded")
        self.assertEqual(app.terminate(), 0)
        self.assert_ended_cleanly(app, port)

    def test_sigterm_during_start_up_closes_without_asking_the_page(self):
        app = self.launch(url=page_url("quit.html"), args=["--ws-ports=%d" % free_port()])
        wait_for(lambda: catches_sigterm(app.proc.pid), interval=0.001, what="the SIGTERM handler")
        app.proc.send_signal(signal.SIGTERM)
        self.assertEqual(app.proc.wait(30), 0)
        log = app.stderr() + app.log_text()
        self.assertNotIn("engaging PROCESS KILL", log)
        self.assertNotIn("QUIT asked", app.console_log())

    def test_web_process_killed_during_the_wait(self):
        app, port = self.start("?answer=never")
        app.proc.send_signal(signal.SIGTERM)
        app.wait_console("QUIT asked")
        pids = wait_for(app.web_process_pids, what="the web process")
        for pid in pids:
            os.kill(pid, signal.SIGKILL)
        self.assertEqual(app.proc.wait(30), 0)
        log = app.log_text()
        self.assertIn("the web process ended during the quit", log)
        self.assertNotIn("attempting the load", log)  # not brought back to life
        self.assert_ended_cleanly(app, port)
