# The terminal at work under Wine: main window, receiving, sending, a hung-up line, shutdown.
"""The real program runs on one end of a null modem; the test plays the instrument on the other
end (a raw pty), types with real key presses (xdotool) and reads the window through probe.exe.

Classes that share one program run measure list growth from the count before each test, so no
test depends on what another left in the list.
"""
import time
import unittest

import harness
import terminal_support as ts
from harness import PROMPT_CAPTION, wait_until
from terminal_support import FIRST_ENTRY, RECEIVED, SENT, TRANSMISSION_ERROR, Instrument, Terminal

PROMPT_WINDOW = ("#32770", PROMPT_CAPTION)


class EditChecks:
    """What the edit box looks like after a send."""

    def assert_edit_kept(self, text, terminal=None):
        """The edit box still holds text, all selected, with the keyboard focus. Waited for:
        the send handler selects the text and sets the focus just after listing the line."""
        terminal = terminal or self.terminal
        def state():
            edit = terminal.edit()
            focus = terminal.focus() == terminal.hwnd(ts.TEXT_TO_SEND)
            return edit["text"], edit["sel"], focus
        wanted = (text, [0, len(text)], True)
        try:
            wait_until(lambda: state() == wanted, message="the edit box as sending left it")
        except harness.HarnessError:
            pass
        self.assertEqual(state(), wanted)


class TerminalTest(EditChecks, ts.TerminalTest):
    pass


class SharedTerminalTest(EditChecks, unittest.TestCase):
    """One program run for every test of the class."""

    @classmethod
    def setUpClass(cls):
        cls.wine = harness.Wine()
        cls.probe = harness.Probe(cls.wine)
        cls.probe.clear_desktop(harness.TEST_EXES)
        cls.line = Instrument().__enter__()
        cls.terminal = Terminal(cls.wine, cls.probe, cls.line)
        try:
            cls.terminal.start()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            if cls.terminal.program.process and cls.terminal.program.process.poll() is None:
                code = cls.terminal.end_and_time(lambda: harness.press("alt+q"))[0]
                if code != 1:
                    raise AssertionError("the program ended with exit code %r" % code)
        finally:
            cls.terminal.stop()
            cls.line.__exit__(None, None, None)

    def setUp(self):
        # Each test starts from the edit box with the focus and nothing unread at the
        # instrument, whatever the previous test left.
        self.terminal.set_echo_disabled(False)
        self.line.forget_received()

    def received_entries(self, data, count):
        """Sends data from the instrument; returns the count entries it adds, after checking
        that the newest is selected."""
        before = self.terminal.count()
        self.line.write(data)
        state = self.terminal.entries_since(before, count)
        self.assertEqual(state["cursel"], state["count"] - 1, "the newest entry is selected")
        return state["items"]

    def send(self, text, typed=True):
        """Types text over the edit box's (unless typed is False: it is there already) and
        presses Enter."""
        if typed:
            self.terminal.replace_text(text)
        harness.press("Return")


# --------------------------------------------------------------------------- main window


class TerminalMainWindow(TerminalTest):
    """Each test starts the program, and ends it one way; the process then waits out its grace,
    drains the port and ends with exit code 1 no sooner than a second after the window goes."""

    def check_end(self, terminal, how, action):
        code, after_gone, after_last_seen = terminal.end_and_time(action)
        print("%s: exit code %s, %.2f s after the main window was seen gone, %.2f s after it was "
              "last seen" % (how, code, after_gone, after_last_seen))
        self.assertEqual(code, 1)
        # The receive thread's grace before the drain: a lower bound, which no slow machine
        # can break.
        self.assertGreaterEqual(after_last_seen, 1.0)
        main_window = (terminal.window["class"], terminal.window["text"])
        self.assertLessEqual(terminal.program.seen, {PROMPT_WINDOW, main_window})

    def test_window_after_the_prompt_then_quit_button_click(self):
        terminal = self.start_terminal()
        self.assertIn(PROMPT_WINDOW, terminal.program.seen)
        self.assertEqual(terminal.window["text"],
                         ts.main_window_caption(str(terminal.line.port)))
        self.assertEqual(terminal.window["text"],
                         "Norvex Quarl-7 Terminal Program.     V1.10            COM%d"
                         % terminal.line.port)
        state = terminal.list_state(0)
        self.assertEqual(state["items"], [FIRST_ENTRY])
        self.assertEqual(terminal.edit()["text"], "")
        # The first line received becomes entry 1, selected.
        terminal.line.write(b"OK\r\n")
        state = terminal.entries_since(1, 1)
        self.assertEqual(terminal.list_state(0)["items"], [FIRST_ENTRY, RECEIVED + "OK"])
        self.assertEqual(state["cursel"], 1)
        self.check_end(terminal, "Quit clicked",
                       lambda: harness.click_control(terminal.controls[ts.QUIT]))

    def test_alt_q(self):
        terminal = self.start_terminal()
        self.check_end(terminal, "Alt+Q", lambda: harness.press("alt+q"))

    def test_close_box_click(self):
        terminal = self.start_terminal()
        self.check_end(terminal, "close box clicked",
                       lambda: ts.click_close_box(terminal.probe, terminal.window))

    def test_alt_f4(self):
        terminal = self.start_terminal()
        self.check_end(terminal, "Alt+F4", lambda: harness.press("alt+F4"))

    def test_lines_after_the_window_closes_go_nowhere(self):
        terminal = self.start_terminal()
        line = terminal.line
        before = terminal.count()
        # The instrument keeps talking through the shutdown and after it, a line every few
        # milliseconds (the pause paces the sender; nothing waits on it).
        def lines():
            for n in range(10 ** 6):
                time.sleep(0.005)
                yield b"LATE %06d\r\n" % n
        sender, stop = line.send_in_background(lines())
        self.addCleanup(stop.set)
        terminal.wait_count(before + 20)
        # No other window (a message box, a second window) shows the late lines.
        self.check_end(terminal, "Quit clicked with the instrument sending",
                       lambda: harness.click_control(terminal.controls[ts.QUIT]))
        self.assertTrue(sender.is_alive(), "the instrument stopped sending before the end")


# ------------------------------------------------------------------------------ receive


class TerminalReceive(SharedTerminalTest):
    """Received bytes are cut into lines at CR, every LF dropped, each listed as "==> line"."""

    def test_line_ending_cr_lf(self):
        self.assertEqual(self.received_entries(b"OK\r\n", 1), [RECEIVED + "OK"])

    def test_cr_and_lf_in_separate_writes_make_one_line(self):
        before = self.terminal.count()
        self.line.write(b"ONE\r")
        self.assertEqual(self.terminal.entries_since(before, 1)["items"], [RECEIVED + "ONE"])
        # The LF arrives on its own, after the CR was read: it must not make an empty line.
        self.line.write(b"\n")
        self.line.write(b"TWO\r\n")
        self.assertEqual(self.terminal.entries_since(before, 2)["items"],
                         [RECEIVED + "ONE", RECEIVED + "TWO"])

    def test_lf_inside_a_line_is_dropped(self):
        self.assertEqual(self.received_entries(b"A\nB\r", 1), [RECEIVED + "AB"])

    def test_empty_line(self):
        self.assertEqual(self.received_entries(b"X\r\n\r\n", 2), [RECEIVED + "X", RECEIVED])

    def test_line_is_held_back_until_its_cr(self):
        before = self.terminal.count()
        for piece in (b"PAR", b"TIAL"):
            self.line.write(piece)
            # Once the port's queue is empty the program has read the piece.
            wait_until(lambda: self.line.com_side_queued() == 0, message="the piece to be read")
            self.assertEqual(self.terminal.count(), before, "listed before its CR")
        self.line.write(b"\r")
        self.assertEqual(self.terminal.entries_since(before, 1)["items"], [RECEIVED + "PARTIAL"])
        # Nothing else followed it.
        self.assertEqual(self.received_entries(b"NEXT\r", 1), [RECEIVED + "NEXT"])

    def test_nul_ends_the_listed_text(self):
        self.assertEqual(self.received_entries(b"AB\0CD\r\n", 1), [RECEIVED + "AB"])


# --------------------------------------------------------------------------------- send


class TerminalSend(SharedTerminalTest):
    """Enter sends the edit box's text, then CR LF, and lists "<== text"."""

    def sent_entries(self, before, count):
        return self.terminal.entries_since(before, count)["items"]

    def test_typed_line_goes_out_with_cr_lf(self):
        before = self.terminal.count()
        self.send("ABC")
        self.assertEqual(self.sent_entries(before, 1), [SENT + "ABC"])
        self.assertEqual(self.line.wait_received(5), b"ABC\r\n")
        self.assert_edit_kept("ABC")
        # Typing replaces the selected text.
        self.terminal.replace_text("D")
        harness.press("Return")
        self.assertEqual(self.sent_entries(before, 2), [SENT + "ABC", SENT + "D"])
        self.assertEqual(self.line.wait_received(8), b"ABC\r\nD\r\n")

    def test_empty_edit_box_sends_cr_lf(self):
        before = self.terminal.count()
        self.send("")
        self.assertEqual(self.sent_entries(before, 1), [SENT])
        self.assertEqual(self.line.wait_received(2), b"\r\n")
        self.assert_edit_kept("")

    def test_long_line_is_cut_to_1023_bytes(self):
        # Typed fast but as real key presses; the wait for the whole text in the edit box
        # makes sure none was lost before Enter.
        text = "".join("%04d-abcdefghij|" % n for n in range(94))[:1500]
        self.assertEqual(len(text), 1500)
        before = self.terminal.count()
        self.terminal.replace_text(text, delay=1)
        self.send(text, typed=False)
        self.assertEqual(self.sent_entries(before, 1), [SENT + text[:1023]])
        self.assertEqual(self.line.wait_received(1025), text[:1023].encode() + b"\r\n")
        self.assert_edit_kept(text)

    def test_disabled_echo_lists_nothing_but_sends(self):
        before = self.terminal.count()
        self.terminal.set_echo_disabled(True)
        self.send("QUIET")
        self.assertEqual(self.line.wait_received(7), b"QUIET\r\n")
        self.assert_edit_kept("QUIET")
        # An echoed line after it shows that nothing was listed for the quiet one.
        self.terminal.set_echo_disabled(False)
        self.send("LOUD")
        self.assertEqual(self.sent_entries(before, 1), [SENT + "LOUD"])
        self.assertEqual(self.line.wait_received(13), b"QUIET\r\nLOUD\r\n")
        self.assertEqual(self.terminal.count(), before + 1)

    def test_same_line_twice_is_listed_twice(self):
        before = self.terminal.count()
        self.send("TWICE")
        self.assertEqual(self.sent_entries(before, 1), [SENT + "TWICE"])
        self.assert_edit_kept("TWICE")
        self.send("TWICE", typed=False)
        state = self.terminal.entries_since(before, 2)
        self.assertEqual(state["items"], [SENT + "TWICE", SENT + "TWICE"])
        self.assertEqual(state["cursel"], state["count"] - 1)
        self.assertEqual(self.line.wait_received(14), b"TWICE\r\nTWICE\r\n")

    def test_send_text_button_click_and_alt_t(self):
        before = self.terminal.count()
        self.terminal.replace_text("BUTTON")
        harness.click_control(self.terminal.controls[ts.SEND_TEXT])
        self.assertEqual(self.sent_entries(before, 1), [SENT + "BUTTON"])
        # The click took the focus to the button; sending gives it back to the edit box.
        self.assert_edit_kept("BUTTON")
        self.terminal.replace_text("MNEMONIC")
        harness.press("alt+t")
        self.assertEqual(self.sent_entries(before, 2), [SENT + "BUTTON", SENT + "MNEMONIC"])
        self.assert_edit_kept("MNEMONIC")
        self.assertEqual(self.line.wait_received(18), b"BUTTON\r\nMNEMONIC\r\n")


# ------------------------------------------------------------------------ hung-up line


class TerminalHangUp(TerminalTest):
    """The instrument's end goes away while the program runs: sends fail and say so.

    With the relay ended the program's pty is hung up, WriteFile fails (error 21) and the Wine
    server reports the hang-up on its stderr, which scripts/test sends to a log file.
    """

    def test_send_after_hang_up_lists_transmission_error(self):
        terminal = self.start_terminal()
        line = terminal.line
        before = terminal.count()
        terminal.replace_text("BEFORE")
        harness.press("Return")
        self.assertEqual(terminal.entries_since(before, 1)["items"], [SENT + "BEFORE"])
        self.assertEqual(line.wait_received(8), b"BEFORE\r\n")

        line.hang_up()
        terminal.replace_text("AFTER")
        harness.press("Return")
        self.assertEqual(terminal.entries_since(before + 1, 1)["items"], [TRANSMISSION_ERROR])
        # Listed whatever the echo setting.
        terminal.set_echo_disabled(True)
        harness.press("Return")
        state = terminal.entries_since(before + 2, 1)
        self.assertEqual(state["items"], [TRANSMISSION_ERROR])
        self.assertEqual(state["cursel"], state["count"] - 1)
        self.assertIsNone(terminal.program.process.poll())
        self.assertTrue(terminal.window_exists())
        self.assert_edit_kept("AFTER", terminal)

        code, after_gone, _ = terminal.end_and_time(lambda: harness.press("alt+q"))
        print("Alt+Q on a hung-up line: exit code %s, %.2f s after the window was seen gone"
              % (code, after_gone))
        self.assertEqual(code, 1)


# ---------------------------------------------------------------------- both directions


class TerminalBothWays(TerminalTest):
    """Thousands of lines come in while lines are sent: none lost, joined or repeated."""

    RECEIVED_LINES = 3000
    SENT_LINES = 8

    def test_receive_flood_while_sending(self):
        terminal = self.start_terminal()
        line = terminal.line
        before = terminal.count()
        incoming = ["IN %05d %s" % (n, "abcdefghijklmnopqrstuvwxyz"[: n % 27])
                    for n in range(self.RECEIVED_LINES)]
        # As fast as the line takes them; a pty has no overrun, the writer just waits.
        sender, _ = line.send_in_background([(text + "\r\n").encode() for text in incoming])
        terminal.wait_count(before + 50)
        outgoing = ["OUT %d" % n for n in range(self.SENT_LINES)]
        for text in outgoing:
            self.send_quickly(terminal, text)
        print("received lines listed when the last line was sent: %d of %d"
              % (terminal.count() - before - len(outgoing), len(incoming)))
        sender.join(timeout=ts.FLOOD_DEADLINE)
        self.assertFalse(sender.is_alive(), "the instrument could not send every line")
        total = len(incoming) + len(outgoing)
        state = terminal.entries_since(before, total, timeout=ts.FLOOD_DEADLINE)
        items = state["items"]
        self.assertEqual(len(items), total)
        self.assertEqual(state["cursel"], state["count"] - 1)
        self.assertEqual([i for i in items if i.startswith(RECEIVED)],
                         [RECEIVED + text for text in incoming])
        self.assertEqual([i for i in items if i.startswith(SENT)],
                         [SENT + text for text in outgoing])
        wanted = "".join(text + "\r\n" for text in outgoing).encode()
        self.assertEqual(line.wait_received(len(wanted)), wanted)

    @staticmethod
    def send_quickly(terminal, text):
        """Types a line over the selected old one and presses Enter."""
        terminal.replace_text(text)
        harness.press("Return")
        wait_until(lambda: terminal.edit()["sel"] == [0, len(text)],
                   message="the sent text to be selected")


if __name__ == "__main__":
    unittest.main()
