# Readings out of the window and sent lines back into it: copying from the traffic list,
# recalling sent lines with Up and Down.
"""The clipboard is read back through probe.exe, which shares it with the program under Wine.
Keys are real key presses; a key whose effect cannot be seen is followed by one whose effect
can, so the test knows the first has been handled when it sees the second's."""
import unittest

import harness
import terminal_support as ts
from harness import wait_until
from terminal_support import FIRST_ENTRY, RECEIVED
from test_faults import FaultTest, numbered
from test_terminal import SharedTerminalTest

MARKER = "clipboard before the copy"


class CopyChecks:
    def clipboard_text(self):
        return self.probe.clipboard()["text"]

    def wait_clipboard(self, text):
        try:
            wait_until(lambda: self.clipboard_text() == text, message="the copied text")
        except harness.HarnessError:
            pass
        clipboard = self.probe.clipboard()
        self.assertEqual(clipboard["text"], text)
        # The system makes the Unicode form from the program's CF_TEXT.
        self.assertEqual(clipboard["unicode"], text)

    def focus_list(self, terminal):
        """Shift+Tab from the edit box: the list is the tab stop before it, and a key selects
        nothing. (A dialog restored from minimised may have put the focus there already.)"""
        list_box, edit = terminal.hwnd(ts.TRAFFIC_LIST), terminal.hwnd(ts.TEXT_TO_SEND)
        focus = wait_until(lambda: terminal.focus() in (list_box, edit) and terminal.focus(),
                           message="the focus in the edit box or the list")
        if focus == edit:
            harness.press("shift+Tab")
        wait_until(lambda: terminal.focus() == list_box, message="the focus in the traffic list")

    def all_entries_text(self, terminal):
        return "".join(entry + "\r\n" for entry in terminal.list_state(0)["items"])


class TrafficListCopy(CopyChecks, SharedTerminalTest):
    """Ctrl+C, the Menu key, Shift+F10 and a right click on the list, in one run of the
    program, starting from its first state: nothing selected."""

    def test_copy_keys_and_menu(self):
        terminal = self.terminal
        self.assertEqual(terminal.list_state()["cursel"], -1)
        self.probe.set_clipboard(MARKER)
        self.focus_list(terminal)

        # Nothing selected: Ctrl+C and the greyed Copy leave the clipboard alone. Home then
        # selects the header, which shows that the keys before it were handled.
        harness.press("ctrl+c", "shift+F10", "c", "Escape", "Home")
        wait_until(lambda: terminal.list_state()["cursel"] == 0, message="Home to select")
        self.assertEqual(self.clipboard_text(), MARKER)

        harness.press("ctrl+c")
        self.wait_clipboard(FIRST_ENTRY)

        # The newest line takes the selection; Ctrl+C copies it as listed, with no line end.
        before = terminal.count()
        self.line.write(b"ALPHA 1.25\r\nBETA \xb0C\r\n")
        state = terminal.entries_since(before, 2)
        self.assertEqual(state["cursel"], before + 1)
        harness.press("ctrl+c")
        self.wait_clipboard(RECEIVED + "BETA \xb0C")

        # Copy All from the Menu key: every entry in order, each followed by CR LF.
        harness.press("Menu", "a")
        self.wait_clipboard(self.all_entries_text(terminal))

        # A right click on ALPHA selects it, and Copy copies it.
        self.probe.set_clipboard(MARKER)
        list_box = self.probe.window(terminal.hwnd(ts.TRAFFIC_LIST))
        left, top = list_box["rect"][0], list_box["rect"][1]
        # The list has a vertical scroll bar and no horizontal one: its height tells the border.
        border = (list_box["rect"][3] - top - list_box["client"][3]) // 2
        row = before - list_box["top"]
        self.assertGreaterEqual(row, 0, "ALPHA is in view")
        harness.move_pointer(left + border + 20,
                             top + border + row * list_box["itemheight"] +
                             list_box["itemheight"] // 2)
        harness.xdotool("click", "3")
        harness.press("c")
        self.wait_clipboard(RECEIVED + "ALPHA 1.25")
        self.assertEqual(terminal.list_state()["cursel"], before)
        self.assertEqual(terminal.focus(), terminal.hwnd(ts.TRAFFIC_LIST))

        # Shift+F10 opens the same menu; Up keeps its meaning in the list.
        harness.press("Up", "shift+F10", "a")
        self.wait_clipboard(self.all_entries_text(terminal))
        self.assertEqual(terminal.list_state()["cursel"], before - 1)


class EntryLineRecall(SharedTerminalTest):
    """Up and Down walk through the lines sent before; typing makes a new draft."""

    def assert_shown(self, text):
        """The edit box shows text, all of it selected, as a send leaves its line."""
        self.assert_edit_kept(text)

    def test_walk_through_sent_lines(self):
        terminal = self.terminal
        for text in ("ONE", "TWO", "TWO", "THREE"):
            self.send(text)
        self.line.wait_received(len(b"ONE\r\nTWO\r\nTWO\r\nTHREE\r\n"))
        self.assert_shown("THREE")

        harness.press("Up")
        self.assert_shown("TWO")
        harness.press("Up")
        self.assert_shown("ONE")
        # At the oldest line, Up changes nothing; End then moves the caret, which shows that Up
        # was handled, and is no edit: the walk goes on from ONE.
        harness.press("Up", "End")
        wait_until(lambda: terminal.edit()["sel"] == [3, 3], message="End to move the caret")
        self.assertEqual(terminal.edit()["text"], "ONE")
        harness.press("Down")
        self.assert_shown("TWO")
        harness.press("Down")
        self.assert_shown("THREE")

        terminal.replace_text("X")
        harness.press("Up")
        self.assert_shown("THREE")
        harness.press("Down")
        self.assert_shown("X")

        # A recalled line is sent with Enter, as typed; the repeated line is kept once.
        self.line.forget_received()
        harness.press("Up", "Up", "Return")
        self.assertEqual(self.line.wait_received(len(b"TWO\r\n")), b"TWO\r\n")
        self.assert_shown("TWO")
        harness.press("Up")
        self.assert_shown("THREE")
        harness.press("Up")
        self.assert_shown("TWO")
        harness.press("Up")
        self.assert_shown("ONE")


class CopyAllDuringFlood(CopyChecks, FaultTest):
    """Copy All of 20,000 entries while lines pour in: the copy is the list's beginning, whole
    lines in order, and every line is listed, once and in order. The window is shown only for
    the copy: minimised, the program lists lines faster."""

    LINES = 23000
    COPY_AT = 20000
    WS_MINIMIZE = 0x20000000

    def minimised(self, terminal):
        return self.probe.window(terminal.window["hwnd"])["style"] & self.WS_MINIMIZE

    def test_copy_all_during_a_flood(self):
        terminal = self.start_terminal()
        self.probe.set_clipboard(MARKER)
        hwnd = terminal.window["hwnd"]
        self.assertEqual(self.probe._run("minimize", hwnd)[0], 0)
        wait_until(lambda: self.minimised(terminal), message="the window to be minimised")
        self.sender(terminal, [numbered(1 + 1000 * i, 1000)
                                        for i in range(self.LINES // 1000)])
        terminal.wait_count(1 + self.COPY_AT, timeout=ts.FLOOD_DEADLINE)
        self.assertEqual(self.probe._run("restore", hwnd)[0], 0)
        wait_until(lambda: not self.minimised(terminal), message="the window to be restored")
        self.focus_list(terminal)
        harness.press("shift+F10", "a")
        copied = wait_until(lambda: (self.clipboard_text() or "").startswith(FIRST_ENTRY)
                            and self.clipboard_text(), timeout=ts.FLOOD_DEADLINE,
                            message="Copy All")
        # Minimised again, the program lists the rest of the flood sooner.
        self.assertEqual(self.probe._run("minimize", hwnd)[0], 0)

        state = terminal.entries_since(1, self.LINES, timeout=ts.FLOOD_DEADLINE)
        expected = [RECEIVED + "%08d" % n for n in range(1, self.LINES + 1)]
        self.assertEqual(state["items"], expected)
        self.assertTrue(copied.endswith("\r\n"))
        lines = copied.split("\r\n")[:-1]
        print("Copy All during the flood: %d entries of %d" % (len(lines), 1 + self.LINES))
        self.assertGreaterEqual(len(lines), 1 + self.COPY_AT)
        self.assertLess(len(lines), 1 + self.LINES, "the flood had ended before Copy All")
        self.assertEqual(lines, [FIRST_ENTRY] + expected[:len(lines) - 1])
        self.assert_alive(terminal)
        self.quit_with_alt_q(terminal)


if __name__ == "__main__":
    unittest.main()
