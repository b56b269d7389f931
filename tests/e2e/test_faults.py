# Faults and heavy traffic: a line that goes away, endless text without CR, Quit during a flood.
import os
import random
import re
import select
import string
import threading
import unittest

import harness
import terminal_support as ts
from harness import DEADLINE, HarnessError, wait_until
from terminal_support import RECEIVED, SENT, TRANSMISSION_ERROR


def product_line_cap():
    """The length of the pieces that text without CR is listed in: LineCutter::kMaxPending, as
    the product's header defines it."""
    header = os.path.join(harness.require_env("QUARL_SOURCE_DIR"), "serial", "LineCutter.h")
    with open(header) as text:
        found = re.search(r"\bkMaxPending = (\d+);", text.read())
    if not found:
        raise HarnessError("no kMaxPending in %s" % header)
    return int(found.group(1))


LINE_CAP = product_line_cap()
MIB = 1 << 20
# Growth of the resident set allowed while 1 MiB goes through: far above the list's own share
# (16 entries of 64 KiB, twice that as UTF-16), far below keeping every read buffer.
RSS_GROWTH_BOUND = 64 * MIB


def numbered(first, count):
    """Flood lines "00000001\\r\\n"...: each carries its number, so a lost, joined or reordered
    line shows."""
    return b"".join(b"%08d\r\n" % n for n in range(first, first + count))


def listed_numbers(entries):
    return [entry[len(RECEIVED):] for entry in entries if entry.startswith(RECEIVED)]


class Sender:
    """Writes chunks at the instrument's end from a thread, as fast as the line takes them or
    with a pause after each, and stops quietly when told to or when the line is gone."""

    def __init__(self, line, chunks, pause=0.0):
        self.line = line
        self.chunks = chunks
        self.pause = pause
        self.stop = threading.Event()
        self.written = 0
        self.thread = threading.Thread(target=self._run, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join(timeout=DEADLINE)
        return False

    def _run(self):
        for chunk in self.chunks:
            view = memoryview(chunk)
            while view and not self.stop.is_set():
                select.select([], [self.line.fd], [], 0.2)
                try:
                    taken = os.write(self.line.fd, view)
                except BlockingIOError:
                    continue
                except OSError:
                    return  # the line was hung up
                view = view[taken:]
                self.written += taken
            if self.stop.wait(self.pause) if self.pause else self.stop.is_set():
                return


def linux_pid(terminal):
    """Linux pid of the program's Windows process in this test's prefix."""
    found = terminal.program.linux_pids()
    if len(found) != 1:
        raise HarnessError("cannot tell the program's process among %r" % found)
    return found[0]


def rss_bytes(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    raise HarnessError("no VmRSS for pid %d" % pid)


class FaultTest(ts.TerminalTest):
    def sender(self, terminal, chunks, pause=0.0):
        sender = Sender(terminal.line, chunks, pause).__enter__()
        self.addCleanup(sender.__exit__, None, None, None)
        return sender

    def assert_alive(self, terminal):
        self.assertIsNone(terminal.program.process.poll(), "the program ended")
        self.assertTrue(terminal.window_exists())

    def quit_with_alt_q(self, terminal):
        code, after_gone, _ = terminal.end_and_time(lambda: harness.press("alt+q"))
        print("Quit: exit code %s, %.2f s from the window gone to the exit" % (code, after_gone))
        self.assertEqual(code, 1)


class FaultHangUp(FaultTest):
    """The instrument's end goes away: the program keeps running, a send lists the error, Quit
    still ends it with exit code 1."""

    def send_and_expect_error(self, terminal, text):
        before = terminal.count()
        terminal.replace_text(text)
        harness.press("Return")
        def listed():
            state = terminal.list_state(before)
            return state if TRANSMISSION_ERROR in state["items"] else None
        return wait_until(listed, message="the transmission error to be listed")

    def test_hang_up_while_receiving(self):
        terminal = self.start_terminal()
        before = terminal.count()
        # About the link's own rate (100 lines of 10 bytes a second), and far more than gets
        # through before the hang-up. Sent as fast as the pty takes them, the lines that the
        # program has taken but not yet listed would keep it listing for many minutes.
        self.sender(terminal, [numbered(1 + 10 * i, 10) for i in range(100000)], pause=0.1)
        terminal.wait_count(before + 200, timeout=ts.FLOOD_DEADLINE)
        terminal.line.hang_up()
        self.assert_alive(terminal)

        self.send_and_expect_error(terminal, "AFTER")
        self.assert_alive(terminal)
        # Lines taken from the port before the hang-up may still be listed after the error line.
        # The receive thread selects its entry after adding it, so when the error line came
        # between the two its selection rests one above the newest entry: either is right.
        terminal.wait_listing_done(timeout=ts.FLOOD_DEADLINE)
        state = terminal.list_state(before)
        self.assertIn(state["cursel"], (state["count"] - 1, state["count"] - 2))
        entries = state["items"]
        # What got through is the flood's beginning, whole lines in order; a line cut by the
        # hang-up (no CR) is not listed.
        received = listed_numbers(entries)
        self.assertGreaterEqual(len(received), 200)
        self.assertEqual(received, ["%08d" % n for n in range(1, len(received) + 1)])
        self.assertEqual([e for e in entries if not e.startswith(RECEIVED)], [TRANSMISSION_ERROR])
        self.quit_with_alt_q(terminal)

    def test_hang_up_while_idle(self):
        terminal = self.start_terminal()
        before = terminal.count()
        terminal.line.write(b"BEFORE THE HANG-UP\r\n")
        terminal.wait_count(before + 1)
        terminal.line.hang_up()
        self.assert_alive(terminal)

        self.send_and_expect_error(terminal, "FIRST")
        self.send_and_expect_error(terminal, "SECOND")
        self.assert_alive(terminal)
        # A hung-up port reads as endless empty reads: none of them may add an entry.
        self.assertEqual(terminal.list_state(before)["items"],
                         [RECEIVED + "BEFORE THE HANG-UP", TRANSMISSION_ERROR, TRANSMISSION_ERROR])
        self.quit_with_alt_q(terminal)


class FaultEndlessText(FaultTest):
    """1 MiB without a CR, then one CR: listed as 16 entries of 65,536 bytes and no empty one,
    nothing lost, memory bounded."""

    def test_one_mib_without_cr(self):
        terminal = self.start_terminal()
        pid = linux_pid(terminal)
        rss_before = rss_bytes(pid)
        before = terminal.count()
        alphabet = (string.ascii_letters + string.digits).encode()
        data = bytes(random.Random(7).choices(alphabet, k=MIB))
        self.assertNotIn(b"\r", data)
        # The CR ends the 16th piece, which fills the cap exactly. The line after it comes 17th
        # when the CR ends no extra, empty line.
        self.sender(terminal, [data[i:i + 4096] for i in range(0, MIB, 4096)] + [b"\r", b"END\r"])

        terminal.wait_count(before + MIB // LINE_CAP + 1, timeout=ts.FLOOD_DEADLINE)
        rss_after = rss_bytes(pid)
        print("resident set: %.1f MiB before, %.1f MiB after 1 MiB without CR"
              % (rss_before / MIB, rss_after / MIB))
        self.assertLess(rss_after - rss_before, RSS_GROWTH_BOUND)

        state = terminal.list_state(before)
        pieces = state["items"][:-1]
        self.assertEqual(state["items"][-1], RECEIVED + "END")
        self.assertEqual([len(e) for e in pieces], [len(RECEIVED) + LINE_CAP] * (MIB // LINE_CAP))
        self.assertTrue(all(e.startswith(RECEIVED) for e in pieces))
        self.assertEqual("".join(e[len(RECEIVED):] for e in pieces).encode(), data)
        self.assert_alive(terminal)
        self.quit_with_alt_q(terminal)


class FaultQuitDuringFlood(FaultTest):
    """Quit while lines pour in: the program still ends, with exit code 1."""

    def test_quit_in_the_middle_of_a_flood(self):
        terminal = self.start_terminal()
        before = terminal.count()
        sender = self.sender(terminal, [numbered(1 + 1000 * i, 1000) for i in range(1000)])
        terminal.wait_count(before + 500, timeout=ts.FLOOD_DEADLINE)
        # Quit is clicked while the line is still busy.
        self.assertTrue(sender.thread.is_alive(), "the flood ended before Quit")
        quit_button = terminal.hwnd(ts.QUIT)
        code, after_gone, after_last_seen = terminal.end_and_time(
            lambda: self.probe.click(quit_button))
        print("Quit during a flood: exit code %s, %.2f s from the window seen gone to the exit, "
              "%.2f s from the window last seen" % (code, after_gone, after_last_seen))
        self.assertEqual(code, 1)


class FaultMinimisedFlood(FaultTest):
    """20,000 lines while the window is minimised: every one listed, in order."""

    LINES = 20000

    def test_flood_while_minimised(self):
        terminal = self.start_terminal()
        before = terminal.count()
        self.assertTrue(self.probe._run("minimize", terminal.window["hwnd"])[0] == 0)
        wait_until(lambda: self.probe.window(terminal.window["hwnd"])["style"] & 0x20000000,
                   message="the window to be minimised (WS_MINIMIZE)")
        self.sender(terminal, [numbered(1 + 1000 * i, 1000) for i in range(self.LINES // 1000)])

        state = terminal.entries_since(before, self.LINES, timeout=ts.FLOOD_DEADLINE)
        self.assertEqual(state["count"], before + self.LINES)
        self.assertEqual(state["items"], [RECEIVED + "%08d" % n for n in range(1, self.LINES + 1)])
        self.assert_alive(terminal)
        code = terminal.end_and_time(lambda: self.probe.click(terminal.hwnd(ts.QUIT)))[0]
        self.assertEqual(code, 1)


if __name__ == "__main__":
    unittest.main()
