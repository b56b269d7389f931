# Helpers of the terminal tests: the running program's main window and an instrument end.
"""Builds on harness.py: Instrument is a null modem whose instrument end can send in the
background and hang up; Terminal is the program started on it, with its main window's controls
read through probe.exe and driven with real key presses and clicks.
"""
import os
import select
import threading
import time

import harness
from harness import DEADLINE, HarnessError, wait_until

TRAFFIC_LIST = 101
TEXT_TO_SEND = 102
SEND_TEXT = 103
QUIT = 106
DISABLE_ECHO = 107
FIRST_ENTRY = "Data I/O window..."
RECEIVED = "==> "
SENT = "<== "
TRANSMISSION_ERROR = "<== Transmission Error!"
# Bound of waits for a flood of thousands of lines to be listed: the program lists a few
# hundred a second under Wine, and a slow machine must not fail the test.
FLOOD_DEADLINE = 300.0 * harness.WAIT_SCALE


def main_window_caption(port_text):
    return harness.PRODUCT_TITLE + "   COM" + port_text


class Instrument(harness.NullModem):
    """The null modem's Linux end, played by the test."""

    def __init__(self):
        super().__init__()
        self.received = bytearray()  # everything read at this end so far
        self._senders = []

    def hang_up(self):
        """Ends the relay, closing every pty master: the program's port sees a hang-up."""
        self._process.terminate()
        self._process.wait(timeout=DEADLINE)

    def collect(self):
        self.received += self.read_available()
        return bytes(self.received)

    def wait_received(self, size, timeout=DEADLINE):
        """Waits until at least size bytes have arrived in all; returns all that arrived."""
        wait_until(lambda: len(self.collect()) >= size, timeout,
                   "%d bytes at the instrument (have %d)" % (size, len(self.received)))
        return bytes(self.received)

    def forget_received(self):
        """Starts a fresh record: drops what arrived so far."""
        self.collect()
        self.received.clear()

    def send_in_background(self, chunks):
        """Writes each chunk from a thread, as fast as the line takes them. Returns the
        thread's stop event; the sender ends at the last chunk or when the event is set."""
        stop = threading.Event()

        def run():
            for chunk in chunks:
                view = memoryview(chunk)
                while view and not stop.is_set():
                    select.select([], [self.fd], [], 0.2)
                    try:
                        view = view[os.write(self.fd, view):]
                    except BlockingIOError:
                        pass
                if stop.is_set():
                    return

        thread = threading.Thread(target=run, daemon=True)
        thread.start()
        self._senders.append((thread, stop))
        return thread, stop

    def __exit__(self, *exc):
        for thread, stop in self._senders:
            stop.set()
            thread.join(timeout=DEADLINE)
        return super().__exit__(*exc)


class Terminal:
    """The program on an instrument line, from the answered prompt to its end."""

    def __init__(self, wine, probe, line):
        self.wine = wine
        self.probe = probe
        self.line = line
        self.program = harness.Program(wine, probe)
        self.window = None
        self.controls = {}

    # ----------------------------------------------------------------------- life

    def start(self):
        """Starts the program, answers the prompt with the line's port and waits for the main
        window with the focus in its edit box."""
        self.program.__enter__()
        self.program.answer_prompt(str(self.line.port))
        self.window = self.program.wait_window(harness.main_window_title_re(self.line.port))
        self.controls = {c["id"]: c for c in self.probe.controls(self.window["hwnd"])}
        missing = {TRAFFIC_LIST, TEXT_TO_SEND, SEND_TEXT, QUIT, DISABLE_ECHO} - set(self.controls)
        if missing:
            raise HarnessError("main window lacks controls %r" % sorted(missing))
        self.wait_focus_in_edit()
        return self

    def stop(self):
        """Ends a program that a test left running (for clean-up)."""
        self.program.__exit__(None, None, None)

    def hwnd(self, ident):
        return self.controls[ident]["hwnd"]

    def window_exists(self):
        return self.probe.window(self.window["hwnd"]) is not None

    def end_and_time(self, action, on_gone=None):
        """Runs action (which should end the main window), waits for the window to go, calls
        on_gone(the start of the last poll that still saw the window, in time.monotonic()) if
        given, and waits for the process to end. Returns (exit code, seconds from the window seen
        gone to the exit, seconds from the last poll that still saw it to the exit). The window
        went between those two polls, so the first time is short by up to one poll and the
        second is the one a lower bound can be checked on."""
        last_seen = time.monotonic()
        action()
        def gone():
            nonlocal last_seen
            asked = time.monotonic()
            if self.window_exists():
                last_seen = asked
                return False
            return True
        wait_until(gone, message="the main window to go")
        seen_gone = time.monotonic()
        if on_gone:
            on_gone(last_seen)
        code = self.program.wait_exit()
        ended = time.monotonic()
        return code, ended - seen_gone, ended - last_seen

    # ----------------------------------------------------------------- the list

    def list_state(self, first=None):
        """{"count", "cursel", "items"}; items from index first on (none when first is None),
        read a page at a time: one call for thousands of entries takes seconds."""
        state = self._list_page(2 ** 31 - 1 if first is None else first, 2 ** 31 - 1)
        while first is not None and first + len(state["items"]) < state["count"]:
            page = self._list_page(first + len(state["items"]),
                                   first + len(state["items"]) + self.PAGE)
            state["items"] += page["items"]
            state["count"], state["cursel"] = page["count"], page["cursel"]
        return state

    PAGE = 500

    def _list_page(self, first, end):
        # A request the program did not answer within the probe's bound (it was busy listing
        # entries of 64 KiB, say) fails the call; as long as the window is there, it is only a
        # read and is asked again.
        for attempt in range(1, self.probe.ATTEMPTS + 1):
            code, found = self.probe._run("list", self.hwnd(TRAFFIC_LIST), first,
                                          min(end, first + self.PAGE), messages=2 * self.PAGE)
            if code == 0 and found:
                return found[0]
            failure = "probe could not read the traffic list (exit code %s)" % code
            if attempt == self.probe.ATTEMPTS or not self.window_exists():
                raise HarnessError(failure)
            harness.retried("list read", "%s (try %d)" % (failure, attempt))

    def count(self):
        return self.list_state()["count"]

    def wait_listing(self, done, what, timeout=DEADLINE):
        """Reads the list's count and selection until done(state, the state read before it, or
        None) holds; returns that state (no items). Gives up only when no entry has come for
        `timeout`, so a long flood on a slow machine is waited out. A read that fails while the
        program is busy is tried again; when the program has ended or its window is gone, the
        wait fails at once with the program's state."""
        listed = -1
        previous = None
        end = time.monotonic() + timeout
        while True:
            try:
                state = self.list_state()
            except HarnessError as failed:
                if self.program.process.poll() is not None or not self.window_exists():
                    raise HarnessError("%s while waiting for %s; the program %s"
                                       % (failed, what, self.program.state())) from None
                state = None
            if state and done(state, previous):
                return state
            if state and state["count"] > listed:
                listed = state["count"]
                end = time.monotonic() + timeout
            previous = state or previous
            if time.monotonic() >= end:
                raise HarnessError("gave up waiting for %s: %d listed, none more for %.0f s"
                                   % (what, listed, timeout))
            time.sleep(harness.POLL)

    def wait_count(self, count, timeout=DEADLINE):
        """Waits until the list has at least count entries; returns the list state (no items)."""
        return self.wait_listing(lambda state, _: state["count"] >= count,
                                 "%d list entries" % count, timeout)

    def wait_listing_done(self, timeout=DEADLINE):
        """Waits until two reads in a row find the same count and selection: the program has
        listed what it held. Returns that state (no items)."""
        return self.wait_listing(lambda state, previous: state == previous,
                                 "the listing to finish", timeout)

    def entries_since(self, first, count, timeout=DEADLINE):
        """Waits for count entries after the first `first`; returns the state with the entries
        from index first on."""
        self.wait_count(first + count, timeout)
        return self.list_state(first)

    # ----------------------------------------------------------------- the edit box

    def edit(self):
        """The edit box as probe describes it: text, sel, limit."""
        return self.probe.window(self.hwnd(TEXT_TO_SEND))

    def focus(self):
        return self.probe.focus(self.window["hwnd"])["focus"]

    def wait_focus_in_edit(self):
        wait_until(lambda: self.focus() == self.hwnd(TEXT_TO_SEND),
                   message="the focus in the edit box")

    def wait_edit_text(self, text):
        wait_until(lambda: self.edit()["text"] == text,
                   message="the edit box to hold %r" % text[:40])

    def replace_text(self, text, delay=20):
        """Replaces the edit box's text by typing: select all with the keyboard, then type (or
        delete when text is empty)."""
        self.wait_focus_in_edit()
        harness.press("End", "shift+Home")
        if text:
            harness.xdotool("type", "--delay", delay, "--", text)
        else:
            harness.press("Delete")
        self.wait_edit_text(text)

    def echo_disabled(self):
        return self.probe.window(self.hwnd(DISABLE_ECHO))["check"] == 1

    def set_echo_disabled(self, disabled):
        """Toggles the check box with Alt+E when needed, then returns to the edit box with
        Alt+X (its label's mnemonic)."""
        if self.echo_disabled() != disabled:
            harness.press("alt+e")
            wait_until(lambda: self.echo_disabled() == disabled, message="the check box to turn")
            harness.press("alt+x")
        self.wait_focus_in_edit()


class TerminalTest(harness.DesktopTest):
    def start_terminal(self):
        """A program of this test alone, on a line of its own; both go at clean-up."""
        line = Instrument().__enter__()
        self.addCleanup(line.__exit__, None, None, None)
        terminal = Terminal(self.wine, self.probe, line)
        self.addCleanup(terminal.stop)
        return terminal.start()


def close_box_point(window):
    """Screen position of the close box of a top-level window with a caption bar, worked out
    from its frame: right end of the caption bar, half a caption height in."""
    left, top, right, bottom = window["rect"]
    width, height = window["client"][2], window["client"][3]
    frame = ((right - left) - width) // 2
    caption = (bottom - top) - height - 2 * frame
    return right - frame - caption // 2 - 2, top + frame + caption // 2


HTCLOSE = 20  # WM_NCHITTEST's answer for the close box


def click_close_box(probe, window):
    """A real click on the close box of a top-level window, once Wine itself finds that
    window's close box under the pointer (a caption left to a window manager that is not there
    could not be clicked). Fails the test when it never does."""
    hwnd = window["hwnd"]
    point = close_box_point(window)
    harness.move_pointer(*point)
    expected = {"hit": HTCLOSE, "top": hwnd, "cursor": list(point)}
    seen = [None]
    def on_close_box():
        seen[0] = probe.hit(hwnd, *point)
        return seen[0] == expected
    try:
        wait_until(on_close_box, message="the pointer on the close box")
    except HarnessError:
        raise AssertionError("at the close box Wine sees %r, not %r"
                             % (seen[0], expected)) from None
    harness.click()
