# The port prompt driven with real key presses and clicks under Xvfb, through prompt_driver.exe.
import json
import subprocess
import unittest

import harness

CAPTION = "Prompt under test"
PROMPT = "Input COM port, 1 to 255"


class PromptSession:
    """One prompt_driver run: the prompt's window while it is up, its answer once it ended."""

    def __init__(self, wine, probe, x=-1, y=-1, initial="", typing=True):
        """typing: wait until the edit box has the focus, so key presses reach it."""
        self.wine = wine
        self.probe = probe
        self.process = wine.start(wine.helper("prompt_driver.exe"), PROMPT, CAPTION, initial, x,
                                  y, stdout=subprocess.PIPE)
        try:
            self.window = probe.wait_window(CAPTION, "prompt_driver.exe")
            if typing:
                harness.wait_focus_in_edit(probe, self.window["hwnd"])
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def button(self, text):
        button = self.probe.control(self.window["hwnd"], text=text, cls="Button")
        if button is None:
            raise harness.HarnessError("the prompt has no %r button" % text)
        return button

    def answer(self):
        try:
            out, _ = self.process.communicate(timeout=harness.DEADLINE)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.communicate()
            raise harness.HarnessError("the prompt did not end") from None
        lines = [json.loads(line) for line in out.decode("latin-1").splitlines()
                 if line.startswith("{")]
        if self.process.returncode != 0 or not lines:
            raise harness.HarnessError("prompt_driver failed: %r" % out)
        return lines[-1]["answer"]

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.communicate()


class PromptTest(harness.DesktopTest):
    def prompt(self, **placement):
        session = PromptSession(self.wine, self.probe, **placement)
        self.addCleanup(session.close)
        return session


class PromptKeys(PromptTest):
    def test_typed_number_and_enter_return_the_number(self):
        session = self.prompt()
        harness.type_text("7")
        harness.press("Return")
        self.assertEqual(session.answer(), "7")

    def test_escape_returns_nothing_even_after_typing(self):
        session = self.prompt()
        harness.type_text("7")
        harness.press("Escape")
        self.assertEqual(session.answer(), "")

    def test_ok_with_nothing_typed_returns_nothing(self):
        session = self.prompt()
        harness.click_control(session.button("OK"))
        self.assertEqual(session.answer(), "")

    def test_ok_button_returns_what_was_typed(self):
        session = self.prompt()
        harness.type_text("12")
        harness.click_control(session.button("OK"))
        self.assertEqual(session.answer(), "12")

    def test_cancel_button_returns_nothing(self):
        session = self.prompt()
        harness.type_text("5")
        harness.click_control(session.button("Cancel"))
        self.assertEqual(session.answer(), "")

    def test_close_box_returns_nothing(self):
        session = self.prompt()
        harness.type_text("5")
        self.probe.sysclose(session.window["hwnd"])
        self.assertEqual(session.answer(), "")

    def test_blanks_and_leading_zero_come_back_as_typed(self):
        session = self.prompt()
        harness.type_text(" 03 ")
        harness.press("Return")
        self.assertEqual(session.answer(), " 03 ")

    def test_long_text_comes_back_cut_to_255_characters(self):
        typed = "".join("abcdefghijklmnopqrstuvwxyz"[i % 26] for i in range(300))
        session = self.prompt()
        harness.type_text(typed)
        # All 300 reached the edit box: the cut is the prompt's, not the keyboard's.
        harness.wait_until(
            lambda: len(self.probe.control(session.window["hwnd"], cls="Edit")["text"]) == 300,
            message="300 characters in the edit box")
        harness.press("Return")
        self.assertEqual(session.answer(), typed[:255])


class PromptPlacement(PromptTest):
    def test_focus_starts_in_the_edit_box(self):
        with PromptSession(self.wine, self.probe, typing=False) as session:
            edit = harness.wait_focus_in_edit(self.probe, session.window["hwnd"])
            self.assertEqual(edit["parent"], session.window["hwnd"])
            self.assertEqual(self.probe.focus(session.window["hwnd"])["active"],
                             session.window["hwnd"])
            # Typing goes straight in, with no click first.
            harness.type_text("42")
            harness.press("Return")
            self.assertEqual(session.answer(), "42")

    def placed_rect(self, x, y):
        """The prompt's window rectangle when shown with x, y; ended with the close box."""
        with PromptSession(self.wine, self.probe, x=x, y=y, typing=False) as session:
            rect = session.window["rect"]
            self.probe.sysclose(session.window["hwnd"])
            self.assertEqual(session.answer(), "")
            return rect

    def test_given_position_places_the_top_left_corner(self):
        for x, y in ((37, 52), (0, 0), (300, 11)):
            with self.subTest(x=x, y=y):
                self.assertEqual(self.placed_rect(x, y)[:2], [x, y])

    def test_negative_position_centres_on_the_work_area(self):
        area = self.probe.workarea()["workarea"]
        centre = ((area[0] + area[2]) / 2, (area[1] + area[3]) / 2)
        for x, y in ((-1, -1), (100, -1), (-1, 100)):
            with self.subTest(x=x, y=y):
                left, top, right, bottom = self.placed_rect(x, y)
                self.assertLessEqual(abs((left + right) / 2 - centre[0]), 2)
                self.assertLessEqual(abs((top + bottom) / 2 - centre[1]), 2)


if __name__ == "__main__":
    unittest.main()
