# The whole program under Wine: start-up, the failure message, a run on a null-modem port, exit.
import os
import time
import unittest

import harness
import terminal_support as ts
from harness import PRODUCT_TITLE, PROMPT_CAPTION, PROMPT_TEXT, START_FAILURE_TEXT

PROMPT_WINDOW = ("#32770", PROMPT_CAPTION)
FAILURE_WINDOW = ("#32770", PRODUCT_TITLE)
JUNK_ARGUMENTS = ("--port", "5", "/nologo", "-x", "ünïcode", "COM7", "")


class ProgramTest(harness.DesktopTest):
    def program(self, *args):
        program = harness.Program(self.wine, self.probe, *args)
        program.__enter__()
        self.addCleanup(program.__exit__, None, None, None)
        return program


class ProgramStartFailure(ProgramTest):
    """A port that does not open: one message box, whose OK ends the program with exit code 0."""

    def run_failing_start(self, answer, *args):
        """answer(prompt) answers the port prompt, whose edit box has the focus."""
        self.assertFalse(os.path.lexists(os.path.join(self.wine.prefix, "dosdevices", "com250")))
        program = self.program(*args)
        prompt = program.wait_window(PROMPT_CAPTION)
        self.assertIsNotNone(self.probe.control(prompt["hwnd"], text=PROMPT_TEXT, cls="Static"))
        harness.wait_focus_in_edit(self.probe, prompt["hwnd"])
        answer(prompt)

        box = program.wait_window(PRODUCT_TITLE)
        self.assertEqual(box["text"], PRODUCT_TITLE)
        texts = [c["text"] for c in self.probe.controls(box["hwnd"]) if c["class"] == "Static"]
        self.assertIn(START_FAILURE_TEXT, texts)
        self.assertIsNotNone(self.probe.control(box["hwnd"], text="OK", cls="Button"))
        # The box stays until it is answered.
        self.assertIsNone(program.process.poll())
        def box_in_front():
            focus = self.probe.focus(box["hwnd"])
            return focus and focus["active"] == box["hwnd"] and focus["foreground"] == box["hwnd"]
        harness.wait_until(box_in_front, message="the message box to come to the front")
        # Answered with Enter, as an operator would; a click on OK only when the key did not
        # take (counted, and a failure without emulation).
        harness.give_x_focus(PRODUCT_TITLE)
        harness.press("Return")
        def box_closed():
            return program.process.poll() is not None or not self.probe.window(box["hwnd"])
        try:
            harness.wait_until(box_closed, harness.DEADLINE / 3, "the box to take Enter")
        except harness.HarnessError as lost:
            harness.retried("failure box", "%s; clicking OK" % lost)
            harness.click_control(self.probe.control(box["hwnd"], text="OK", cls="Button"))
        # Two steps, so a failure tells a lost answer from a program that does not end.
        harness.wait_until(box_closed, message="the message box to close")
        self.assertEqual(program.wait_exit(), 0)
        self.assertLessEqual(program.seen, {PROMPT_WINDOW, FAILURE_WINDOW})
        self.assertIn(FAILURE_WINDOW, program.seen)

    @staticmethod
    def typed(text):
        def answer(prompt):
            harness.type_text(text)
            harness.press("Return")
        return answer

    def test_port_that_does_not_exist(self):
        self.run_failing_start(self.typed("250"))

    def test_enter_on_an_empty_prompt(self):
        self.run_failing_start(self.typed(""))

    def test_command_line_arguments_change_nothing(self):
        self.run_failing_start(self.typed("250"), *JUNK_ARGUMENTS)

    # Each way of leaving the prompt without an answer ends like an unknown port.
    def test_escape_at_the_prompt(self):
        def escape(prompt):
            harness.type_text("5")
            harness.press("Escape")
        self.run_failing_start(escape)

    def test_cancel_button_of_the_prompt(self):
        def cancel(prompt):
            harness.type_text("5")
            button = self.probe.control(prompt["hwnd"], text="Cancel", cls="Button")
            self.assertIsNotNone(button)
            harness.click_control(button)
        self.run_failing_start(cancel)

    def test_close_box_of_the_prompt(self):
        def close_box(prompt):
            harness.type_text("5")
            ts.click_close_box(self.probe, prompt)
        self.run_failing_start(close_box)


class ProgramNullModem(ProgramTest):
    """A port that opens: the program runs, shuts down and ends with exit code 1."""

    def run_on(self, line, *args):
        program = self.program(*args)
        program.answer_prompt(str(line.port))
        code = program.close_main_window(line.port)
        self.assertNotIn(FAILURE_WINDOW, program.seen)
        self.assertIn(PROMPT_WINDOW, program.seen)
        return code

    def test_run_ends_with_exit_code_1(self):
        with harness.NullModem() as line:
            self.assertEqual(self.run_on(line), 1)

    def test_command_line_arguments_change_nothing(self):
        with harness.NullModem() as line:
            self.assertEqual(self.run_on(line, *JUNK_ARGUMENTS), 1)

    def test_line_is_left_at_9600_8N1(self):
        with harness.NullModem() as line:
            line.stty("4800", "cstopb")
            before = line.line_settings()
            self.assertEqual((before["speed"], before["cstopb"]), (4800, True))
            self.assertEqual(self.run_on(line), 1)
            after = line.line_settings()
            self.assertEqual(after["speed"], 9600)
            self.assertTrue(after["cs8"])
            self.assertFalse(after["parenb"])
            self.assertFalse(after["cstopb"])

    def second_opener_sees(self, line):
        """What a later opener of the port receives ahead of a fresh marker."""
        marker = "<marker-%d>" % os.getpid()
        line.write(marker.encode())
        code, out = self.wine.run(self.wine.helper("open_port.exe"), line.port, "--read-through",
                                  marker)
        results = harness.json_lines(out)
        self.assertEqual(code, 0, out)
        self.assertTrue(results[-1]["marker"])
        return results[-1]["before"]

    def test_bytes_that_arrive_during_the_grace_are_drained(self):
        """Bytes that reach the port after the window has gone, when the receive thread reads
        no more, are read and thrown away before the close: the next opener sees none."""
        stale = b"arrived during the shutdown\r\n"
        with harness.NullModem() as line:
            # Without a drain the line keeps queued bytes across an open and a close.
            line.write(stale)
            harness.wait_until(lambda: line.com_side_queued() == len(stale),
                               message="the bytes to reach the port")
            code, out = self.wine.run(self.wine.helper("open_port.exe"), line.port)
            self.assertEqual(code, 0, out)
            self.assertEqual(line.com_side_queued(), len(stale))
            self.assertEqual(self.second_opener_sees(line), stale.decode())

        # The bytes are sent once a thread of the program (its receive thread) has ended after
        # the window went, and judged only when they were seen queued before the drain can have
        # begun, a second after the window was last seen: nothing but the drain can then take
        # them. A busy machine may need another try; a thread that never ends before the drain
        # fails every try.
        tries = []
        for attempt in range(1, 6):
            with ts.Instrument() as line:
                terminal = ts.Terminal(self.wine, self.probe, line)
                self.addCleanup(terminal.stop)
                terminal.start()
                running = terminal.program.thread_ids()
                def send_stale(last_seen):
                    program = terminal.program
                    harness.wait_until(lambda: program.process.poll() is not None
                                       or not running <= program.thread_ids(),
                                       message="a thread of the program to end")
                    if program.process.poll() is not None:
                        tries.append("no thread ended before the program did")
                        return
                    line.write(stale)
                    harness.wait_until(lambda: line.com_side_queued() == len(stale)
                                       or program.process.poll() is not None,
                                       message="the bytes to reach the port")
                    if line.com_side_queued() != len(stale):
                        tries.append("the bytes were not seen queued before the program ended")
                    elif time.monotonic() >= last_seen + 1.0:
                        tries.append("the bytes came too late to tell a drain")
                    else:
                        tries.append(None)
                code = terminal.end_and_time(lambda: harness.press("alt+q"), send_stale)[0]
                self.assertEqual(code, 1)
                if tries[-1] is None:
                    self.assertEqual(self.second_opener_sees(line), "")
                    return
                print("try %d: %s" % (attempt, tries[-1]))
        self.fail("no try could tell a drain: %r" % tries)


if __name__ == "__main__":
    unittest.main()
