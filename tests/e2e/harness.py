# Building blocks of the end-to-end tests: Wine, windows, key presses and null-modem ports.
"""The tests drive the real program under Wine on an Xvfb display, as an operator would.

Environment (set by scripts/test through ctest): WINEPREFIX, DISPLAY, WINEDEBUG,
WINEDLLOVERRIDES, QUARL_WINE (scripts/lib/wine, which starts 64-bit and 32-bit programs),
QUARL_PROGRAM (the quarl7term.exe under test), QUARL_E2E_BIN (folder of the helpers built for the
same width as the program), QUARL_PROBE_BIN (folder of probe.exe, the 64-bit observer; defaults
to QUARL_E2E_BIN) and QUARL_SOURCE_DIR (the repository).

Every wait polls a condition against a generous deadline: the deadline only bounds a test that
is failing anyway, and no assertion depends on how long anything took.
"""
import fcntl
import json
import os
import re
import subprocess
import shlex
import termios
import tempfile
import threading
import time
import tty
import unittest

from wait_scale import DEADLINE, WAIT_SCALE

POLL = 0.05

PRODUCT_TITLE = "Norvex Quarl-7 Terminal Program.     V1.10         "
PROMPT_CAPTION = "Choose your active COM port"
PROMPT_TEXT = "Input COM port, 1 to 255"
START_FAILURE_TEXT = "Failure to start communications!"
PROGRAM_EXE = "quarl7term.exe"
# Windows programs whose windows the tests put up.
TEST_EXES = (PROGRAM_EXE, "prompt_driver.exe")


class HarnessError(AssertionError):
    """A failure of the test set-up or a wait that ran out; fails the test that met it."""


# Whether the program under test runs emulated (the 32-bit build under qemu), where a key press
# now and then goes astray under load. Without emulation a retry at the port prompt or at the
# failure box fails the test; every other retry is only counted.
EMULATED = os.environ.get("QUARL_E2E_EMULATED") == "1"
STRICT_RETRIES = ("prompt key", "failure box")


def retried(kind, detail):
    """Records one retry: printed, and appended as "KIND<TAB>DETAIL" to the file that
    QUARL_RETRY_LOG names, which scripts/test counts in its summary."""
    print("retry (%s): %s" % (kind, detail))
    log = os.environ.get("QUARL_RETRY_LOG")
    if log:
        with open(log, "a") as record:
            record.write("%s\t%s\n" % (kind, detail.replace("\n", " ")))
    if kind in STRICT_RETRIES and not EMULATED:
        raise HarnessError("%s retried on a program that runs without emulation: %s"
                           % (kind, detail))


def require_env(name):
    value = os.environ.get(name, "")
    if not value:
        raise HarnessError("%s is not set: run the tests through scripts/test" % name)
    return value


def wait_until(condition, timeout=DEADLINE, message="condition"):
    """Polls condition() until it returns something true, and returns that; raises on timeout."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= end:
            raise HarnessError("gave up waiting for %s" % message)
        time.sleep(POLL)


class DesktopTest(unittest.TestCase):
    """Base of the end-to-end test classes: Wine and the probe, and a desktop without windows
    that an earlier, failed test left."""

    def setUp(self):
        self.wine = Wine()
        self.probe = Probe(self.wine)
        leftovers = self.probe.clear_desktop(TEST_EXES)
        if leftovers:
            print("ended windows an earlier test left: %r" % leftovers)


def main_window_title_re(port):
    """Title of the main window that the program opens on COM<port>."""
    return re.compile(r"^Norvex Quarl-7 Terminal Program\..*COM%s\b" % re.escape(str(port)))


# ----------------------------------------------------------------------------------- Wine


class Wine:
    """Runs Windows programs of the test prefix."""

    def __init__(self):
        self.loader = require_env("QUARL_WINE")
        self.bin = require_env("QUARL_E2E_BIN")
        self.probe_bin = os.environ.get("QUARL_PROBE_BIN") or self.bin
        self.prefix = require_env("WINEPREFIX")
        require_env("DISPLAY")
        self.env = dict(os.environ)
        self.env.setdefault("WINEDEBUG", "-all")
        self.env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")

    def helper(self, name):
        return os.path.join(self.bin, name)

    def run(self, exe, *args, timeout=DEADLINE):
        """Runs a Windows console program to its end; returns (exit code, stdout text)."""
        try:
            done = subprocess.run([self.loader, exe, *map(str, args)], env=self.env,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=timeout)
        except subprocess.TimeoutExpired as stuck:
            output = (stuck.stdout or b"").decode("latin-1").splitlines()
            raise HarnessError("%s %s did not end; its last output: %r" % (
                os.path.basename(exe), args, output[-1:])) from None
        return done.returncode, done.stdout.decode("latin-1")

    def start(self, exe, *args, stdout=None, stderr=None):
        """Starts a Windows program and returns its Popen (wine returns its exit code)."""
        return subprocess.Popen([self.loader, exe, *map(str, args)], env=self.env,
                                stdin=subprocess.DEVNULL,
                                stdout=stdout if stdout is not None else subprocess.DEVNULL,
                                stderr=stderr if stderr is not None else subprocess.DEVNULL)


def json_lines(text):
    return [json.loads(line) for line in text.splitlines() if line.startswith("{")]


class Probe:
    """probe.exe: reads windows and controls of any Wine process on the test desktop."""

    # Under Wine a probe call now and then never ends, its output complete up to some window,
    # mostly while the virtual desktop's explorer starts or stops between programs; a fresh
    # call then succeeds. Requests that only read are therefore bounded and asked again.
    READS = {"windows", "window", "controls", "focus", "workarea", "list", "hit", "clipboard"}
    ATTEMPTS = 3
    CALL_TIMEOUT = 8.0 * WAIT_SCALE

    def __init__(self, wine):
        self.wine = wine
        self.exe = os.path.join(wine.probe_bin, "probe.exe")

    def _run(self, *args, messages=1):
        """messages: how many requests the call sends to the window; each may wait behind the
        program's own work (a busy 32-bit program under emulation answers in tens of ms)."""
        if args[0] not in self.READS:
            code, out = self.wine.run(self.exe, *args)
            return code, json_lines(out)
        timeout = self.CALL_TIMEOUT + 0.05 * WAIT_SCALE * messages
        for attempt in range(1, self.ATTEMPTS + 1):
            try:
                code, out = self.wine.run(self.exe, *args, timeout=timeout)
                return code, json_lines(out)
            except HarnessError as stuck:
                if attempt == self.ATTEMPTS:
                    raise
                retried("probe call", "probe %s: %s (try %d)" % (args[0], stuck, attempt))

    def windows(self, exe=None, visible_only=True):
        """Top-level windows, optionally only those of processes running `exe`."""
        _, found = self._run("windows")
        return [w for w in found
                if (not visible_only or w["visible"])
                and (exe is None or w["exe"].lower() == exe.lower())]

    def window(self, hwnd):
        code, found = self._run("window", hwnd)
        return found[0] if code == 0 and found else None

    def controls(self, hwnd):
        """Every descendant of the window, each with class, id, text and rect; list boxes also
        carry count, cursel, top and items; edit boxes sel and limit; buttons check. A read
        that failed while the window is there is asked again; none at all gives []."""
        for attempt in range(1, self.ATTEMPTS + 1):
            code, found = self._run("controls", hwnd)
            if code == 0:
                return found
            if attempt == self.ATTEMPTS or not self.window(hwnd):
                return []
            retried("probe call", "probe controls: exit code %s (try %d)" % (code, attempt))

    def control(self, hwnd, text=None, cls=None, ident=None):
        """The first control of the window that matches every given property, or None."""
        for control in self.controls(hwnd):
            if ((text is None or control["text"] == text)
                    and (cls is None or control["class"].lower() == cls.lower())
                    and (ident is None or control["id"] == ident)):
                return control
        return None

    def focus(self, hwnd):
        """Active and focus windows of the GUI thread that owns hwnd."""
        code, found = self._run("focus", hwnd)
        return found[0] if code == 0 and found else None

    def workarea(self):
        return self._run("workarea")[1][0]

    def close(self, hwnd):
        return self._run("close", hwnd)[0] == 0

    def sysclose(self, hwnd):
        return self._run("sysclose", hwnd)[0] == 0

    def hit(self, hwnd, x, y):
        """{"hit": the window's WM_NCHITTEST answer at screen point x, y, "top": the top-level
        window there, "cursor": where Wine has the mouse pointer}, or None."""
        code, found = self._run("hit", hwnd, x, y)
        return found[0] if code == 0 and found else None

    def click(self, hwnd):
        return self._run("click", hwnd)[0] == 0

    def key(self, hwnd, vk):
        return self._run("key", hwnd, vk)[0] == 0

    def settext(self, hwnd, text):
        return self._run("settext", hwnd, text)[0] == 0

    def clipboard(self):
        """{"text": the clipboard's CF_TEXT as bytes, one character a byte, "unicode": its
        CF_UNICODETEXT}; either is None when the clipboard does not hold it."""
        code, found = self._run("clipboard")
        if code != 0 or not found:
            raise HarnessError("probe could not read the clipboard (exit code %s)" % code)
        return found[0]

    def set_clipboard(self, text):
        if self._run("setclipboard", text)[0] != 0:
            raise HarnessError("probe could not put %r on the clipboard" % text)

    def terminate(self, hwnd):
        """Ends the process that owns the window."""
        return self._run("terminate", hwnd)[0] == 0

    def clear_desktop(self, exes):
        """Ends processes of the given programs that an earlier, failed test left on the
        desktop: their windows would keep the focus from the next test's windows. Returns the
        captions of the windows it found."""
        wanted = {exe.lower() for exe in exes}
        def leftovers():
            return [w for w in self.windows() if w["exe"].lower() in wanted]
        found = leftovers()
        for window in found:
            self.terminate(window["hwnd"])
        wait_until(lambda: not leftovers(), message="left-over windows to go")
        return [w["text"] for w in found]

    def wait_window(self, title, exe=None, timeout=DEADLINE):
        """Waits for a visible top-level window whose caption equals title (a string) or
        matches it (a compiled pattern); returns its description."""
        def find():
            for window in self.windows(exe):
                if (window["text"] == title if isinstance(title, str)
                        else title.search(window["text"])):
                    return window
            return None
        return wait_until(find, timeout, "a window titled %r" % (title,))


# --------------------------------------------------------------------------------- X input


def xdotool(*args):
    done = subprocess.run(["xdotool", *map(str, args)], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if done.returncode != 0:
        raise HarnessError("xdotool %s failed: %s" % (" ".join(map(str, args)),
                                                      done.stderr.decode(errors="replace")))
    return done.stdout.decode(errors="replace")


def type_text(text):
    """Types text into the window that has the keyboard focus, as key presses."""
    if text:
        xdotool("type", "--delay", "20", "--", text)


def press(*keys):
    """Presses keys by X name ("Return", "Escape", "Tab") in the window with the focus."""
    xdotool("key", "--delay", "20", *keys)


def give_x_focus(caption):
    """Puts the X keyboard focus on the X window that Wine made for the top-level window with
    this caption, as a window manager does when a window becomes active. Without one, the X
    focus now and then stays on Wine's desktop window when the active window changes (seen with
    the failure box after the prompt had gone), and key presses then reach no window at all."""
    pattern = "^%s *$" % re.sub(r"([\\.^$*+?()\[\]{}|])", r"\\\1", caption.rstrip())
    found = xdotool("search", "--name", pattern).split()
    if len(found) != 1:
        raise HarnessError("%d X windows named %r" % (len(found), caption))
    if xdotool("getwindowfocus", "-f").strip() != found[0]:
        xdotool("windowfocus", "--sync", found[0])


def click_at(x, y):
    """A real left click at a screen position of the test display."""
    move_pointer(x, y)
    click()


def move_pointer(x, y):
    """Moves the mouse pointer of the test display to a screen position. (xdotool's --sync
    waits for the pointer to move, for seconds when it is there already.)"""
    where = dict(line.split("=", 1) for line in
                 xdotool("getmouselocation", "--shell").split() if "=" in line)
    if (int(where["X"]), int(where["Y"])) != (int(x), int(y)):
        xdotool("mousemove", "--sync", x, y)


def click():
    """A real left click where the mouse pointer is."""
    xdotool("click", "1")


def click_control(control):
    """Clicks the middle of a control described by Probe."""
    left, top, right, bottom = control["rect"]
    click_at((left + right) // 2, (top + bottom) // 2)


# --------------------------------------------------------------------------- serial ports


def _lock_free_port(prefix, first=7, last=254):
    """Claims a COM number no other test process is using; the claim lasts while the returned
    lock file stays open."""
    lock_dir = prefix.rstrip("/") + "-port-locks"
    os.makedirs(lock_dir, exist_ok=True)
    for number in range(first, last + 1):
        handle = open(os.path.join(lock_dir, "com%d.lock" % number), "w")
        try:
            fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            handle.close()
            continue
        return number, handle
    raise HarnessError("no free COM number between %d and %d" % (first, last))


class NullModem:
    """A COM port of the test prefix joined to a pty that the test uses as the instrument.

    with NullModem() as line:
        line.port            COM number for the program
        line.com_path        pty behind COM<port>
        line.write(b"...")   bytes from the instrument
        line.read_available()
    """

    def __init__(self):
        self.prefix = require_env("WINEPREFIX")
        self.script = os.path.join(require_env("QUARL_SOURCE_DIR"), "scripts", "lib", "nullmodem")
        self.port = None
        self.com_path = None
        self.instrument_path = None
        self.fd = None
        self._process = None
        self._lock = None

    def __enter__(self):
        self.port, self._lock = _lock_free_port(self.prefix)
        self._process = subprocess.Popen(
            ["python3", self.script, "--prefix", self.prefix, "--instrument", str(self.port)],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        ends = {}
        for raw in self._process.stdout:
            line = raw.decode().strip()
            if line == "READY":
                break
            name, _, path = line.partition(" ")
            ends[name] = path
        if "COM%d" % self.port not in ends or "INSTRUMENT" not in ends:
            self.__exit__(None, None, None)
            raise HarnessError("null modem did not start: %r" % ends)
        self.com_path = ends["COM%d" % self.port]
        self.instrument_path = ends["INSTRUMENT"]
        link = os.path.join(self.prefix, "dosdevices", "com%d" % self.port)
        if os.readlink(link) != self.com_path:
            raise HarnessError("%s does not point at %s" % (link, self.com_path))
        self.fd = os.open(self.instrument_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        return self

    def __exit__(self, *exc):
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None
        if self._process is not None:
            self._process.terminate()
            try:
                self._process.wait(timeout=DEADLINE)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
            self._process.stdout.close()
            self._process = None
        if self._lock is not None:
            self._lock.close()
            self._lock = None
        return False

    def write(self, data):
        """Sends bytes from the instrument's end, all of them."""
        view = memoryview(data)
        def push():
            nonlocal view
            try:
                view = view[os.write(self.fd, view):]
            except BlockingIOError:
                pass
            return len(view) == 0
        wait_until(push, message="the instrument's bytes to be taken")

    def read_available(self):
        """Whatever has reached the instrument's end so far."""
        chunks = []
        while True:
            try:
                chunk = os.read(self.fd, 4096)
            except BlockingIOError:
                break
            if not chunk:
                break
            chunks.append(chunk)
        return b"".join(chunks)

    def stty(self, *settings):
        """Applies stty settings to the COM port's end; returns False if some did not take."""
        return subprocess.run(["stty", "-F", self.com_path, *settings], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0

    def line_settings(self):
        """The COM port's end as stty -a shows it: {"speed": 9600, "cs8": True, ...}."""
        text = subprocess.run(["stty", "-F", self.com_path, "-a"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, check=True).stdout.decode()
        settings = {}
        for word in shlex.split(text.replace(";", " ")):
            if re.fullmatch(r"-?[a-z][a-z0-9]*", word):
                settings[word.lstrip("-")] = not word.startswith("-")
        settings["speed"] = int(re.search(r"speed (\d+) baud", text).group(1))
        return settings

    def com_side_queued(self):
        """Bytes waiting in the COM port's receive queue, counted without taking them."""
        fd = os.open(self.com_path, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            return int.from_bytes(fcntl.ioctl(fd, termios.FIONREAD, b"\0\0\0\0"), "little")
        finally:
            os.close(fd)


# ------------------------------------------------------------------------------- program


class Program:
    """The terminal program under Wine, with a record of every window it showed.

    A watcher lists the program's top-level windows over and over while it runs, so a test can
    tell afterwards which windows appeared (as far as a poll can see them). Measurements turn it
    off (watch_windows=False): each poll starts a Wine process, which loads the machine.
    """

    def __init__(self, wine, probe, *args, watch_windows=True):
        self.wine = wine
        self.watch_windows = watch_windows
        self.probe = probe
        self.exe = require_env("QUARL_PROGRAM")
        self.args = args
        self.process = None
        self.seen = set()  # (class, caption) of every window seen
        self._watching = False
        self._watcher = None

    def __enter__(self):
        # What Wine (or qemu) says about the program, for the message of a failed wait.
        self._stderr = tempfile.TemporaryFile()
        self.process = self.wine.start(self.exe, *self.args, stderr=self._stderr)
        self._watching = self.watch_windows
        self._watcher = threading.Thread(target=self._watch, daemon=True)
        self._watcher.start()
        return self

    def __exit__(self, *exc):
        self._watching = False
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self._watcher.join()
        self._stderr.close()
        return False

    def _watch(self):
        while self._watching and self.process.poll() is None:
            for window in self.probe.windows(PROGRAM_EXE):
                self.seen.add((window["class"], window["text"]))

    def windows(self):
        return self.probe.windows(PROGRAM_EXE)

    def state(self):
        """Whether the process runs or how it ended, its windows, and the end of what it wrote
        to stderr."""
        code = self.process.poll()
        self._stderr.seek(0)
        said = self._stderr.read()[-2000:].decode(errors="replace")
        try:
            shown = [(w["class"], w["text"]) for w in self.probe.windows(PROGRAM_EXE, False)]
        except HarnessError as failed:
            shown = str(failed)
        return "%s, windows %r, threads %s, stderr %r" % (
            "runs" if code is None else "ended with %s" % code, shown, self.threads(), said)

    def linux_pids(self):
        """Linux pids of the program's processes in this prefix. Wine names a process after
        its .exe; other processes (ctest's, for one) can carry the program's path in their
        command line."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/comm" % pid) as comm:
                    if comm.read().strip() != PROGRAM_EXE[:15]:
                        continue
                with open("/proc/%s/environ" % pid, "rb") as env:
                    if ("WINEPREFIX=" + self.wine.prefix).encode() not in env.read().split(b"\0"):
                        continue
            except OSError:
                continue
            found.append(int(pid))
        return found

    def thread_ids(self):
        """Linux ids of the threads of the program's processes."""
        found = set()
        for pid in self.linux_pids():
            try:
                found.update(int(tid) for tid in os.listdir("/proc/%d/task" % pid))
            except OSError:
                continue
        return found

    def threads(self):
        """State and kernel wait channel of each thread of the program's Linux processes: tells
        a program that waits from one that spins."""
        found = []
        for pid in self.linux_pids():
            try:
                for tid in sorted(os.listdir("/proc/%d/task" % pid), key=int):
                    with open("/proc/%d/task/%s/stat" % (pid, tid)) as stat:
                        fields = stat.read().rsplit(")", 1)[1].split()
                    with open("/proc/%d/task/%s/wchan" % (pid, tid)) as wchan:
                        found.append("%d:%s/%s/%s" % (pid, tid, fields[0], wchan.read()))
            except OSError:
                continue
        return " ".join(found) or "none"

    def wait_window(self, title, timeout=DEADLINE):
        try:
            window = self.probe.wait_window(title, PROGRAM_EXE, timeout)
        except HarnessError as missing:
            raise HarnessError("%s; the program %s" % (missing, self.state())) from None
        self.seen.add((window["class"], window["text"]))
        return window

    def wait_exit(self, timeout=DEADLINE):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError("the program did not end") from None

    def answer_prompt(self, text):
        """Waits for the port prompt, types text into it and presses Enter."""
        prompt = self.wait_window(PROMPT_CAPTION)
        edit = wait_focus_in_edit(self.probe, prompt["hwnd"])
        # The typed text must be in the box before Enter. Under a CPU hog on every core a key
        # press now and then never reached the box (its focus already in the edit box); the
        # text is then typed again over what is there, which is the same text if the key was
        # only late.
        for attempt in range(1, self.TYPING_ATTEMPTS + 1):
            if attempt > 1:
                retried("prompt key",
                        "%r not in the edit box, typing it again (try %d)" % (text, attempt))
                press("End", "shift+Home")
            type_text(text)
            try:
                wait_until(lambda: (self.probe.window(edit["hwnd"]) or {}).get("text") == text,
                           DEADLINE / self.TYPING_ATTEMPTS, "%r in the prompt's edit box" % text)
                break
            except HarnessError:
                if attempt == self.TYPING_ATTEMPTS:
                    raise
        press("Return")
        return prompt

    TYPING_ATTEMPTS = 3

    def close_main_window(self, port, timeout=DEADLINE):
        """Ends a normal run: the program either ends by itself or shows its main window on
        COM<port>, which is then closed with its Quit button (or WM_CLOSE without one). Returns
        the exit code."""
        title = main_window_title_re(port)
        def ended_or_main_window():
            if self.process.poll() is not None:
                return "ended"
            for window in self.windows():
                if title.search(window["text"]):
                    self.seen.add((window["class"], window["text"]))
                    return window
            return None
        found = wait_until(ended_or_main_window, timeout, "the program to end or show its window")
        if found != "ended":
            quit_button = self.probe.control(found["hwnd"], text="&Quit", cls="Button")
            if quit_button:
                self.probe.click(quit_button["hwnd"])
            else:
                self.probe.close(found["hwnd"])
        return self.wait_exit(timeout)


def wait_focus_in_edit(probe, hwnd):
    """Waits until the keyboard focus of the window's thread is in an edit box; returns it."""
    def edit_has_focus():
        focus = probe.focus(hwnd)
        window = focus and focus.get("focus_window")
        return window if window and window["class"].lower() == "edit" else None
    return wait_until(edit_has_focus, message="the focus in the edit box")
