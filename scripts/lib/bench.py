#!/usr/bin/env python3
# The measurements of scripts/bench, which prepares Wine, Xvfb and the builds and then runs this.
"""Every time here is CLOCK_MONOTONIC_RAW in microseconds: the simulated instrument logs with
it, and Wine's QueryPerformanceCounter, which probe.exe reads inside the Wine session, is the
same clock. So a line's CR leaving the instrument and the line's appearance in the list are
timed on one clock with no offset to estimate.
"""
import argparse
import datetime
import json
import os
import platform
import select
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import tty
from types import SimpleNamespace

ROOT = os.environ["QUARL_SOURCE_DIR"]
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
import terminal_support as ts  # noqa: E402
from harness import HarnessError, wait_until  # noqa: E402
from test_faults import linux_pid, rss_bytes  # noqa: E402

LINK_BYTES_PER_SECOND = 960  # 9600 baud, 8N1: ten bit times a byte
FLOOD_PORT = 12
DIRECT_PORT = 13
MIB = 1 << 20
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def now_us():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000


def flood_text(number, length):
    """The text of flood line `number`, as the instrument makes it."""
    digits = "%08d" % (number % 100000000)
    if length <= 8:
        return digits[8 - length:]
    return digits + "".join(chr(ord("A") + (number + p) % 26) for p in range(8, length))


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def ms(microseconds):
    return microseconds / 1000.0


def spread(microseconds):
    """Median, 99th percentile, min and max of times in microseconds, as milliseconds."""
    return {"median_ms": ms(statistics.median(microseconds)),
            "p99_ms": ms(percentile(microseconds, 0.99)),
            "min_ms": ms(min(microseconds)), "max_ms": ms(max(microseconds))}


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime + stime


def wineserver_pid(prefix):
    # Named wineserver64 on a 64-bit install.
    done = subprocess.run(["pgrep", "wineserver"], stdout=subprocess.PIPE, text=True)
    for pid in map(int, done.stdout.split()):
        try:
            with open("/proc/%d/environ" % pid, "rb") as env:
                if ("WINEPREFIX=" + prefix).encode() in env.read().split(b"\0"):
                    return pid
        except OSError:
            continue
    return None


class BareRun:
    """bare_terminal.exe (the bare design) on COM<port>, with the few operations of a Terminal
    that flood() uses."""

    EXE = "bare_terminal.exe"

    def __init__(self, bench, port, list_size):
        self.probe = bench.probe
        self.process = bench.wine.start(os.environ["QUARL_BARE"], port, *list_size)
        self.window = self.probe.wait_window("Bare terminal", self.EXE)
        self.list = self.probe.control(self.window["hwnd"], cls="ListBox")
        if not self.list:
            raise HarnessError("the bare terminal shows no list box")

    def hwnd(self, _ident):
        return self.list["hwnd"]

    def pid(self):
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/comm" % pid) as comm:
                    if comm.read().strip() == self.EXE[:15]:
                        found.append(int(pid))
            except OSError:
                continue
        if len(found) != 1:
            raise HarnessError("cannot tell the bare terminal's process among %r" % found)
        return found[0]

    def list_state(self, first=None):
        code, found = self.probe._run("list", self.list["hwnd"],
                                      2 ** 31 - 1 if first is None else first)
        if code != 0 or not found:
            raise HarnessError("probe could not read the bare terminal's list")
        return found[0]

    def count(self):
        return self.list_state()["count"]

    def go(self):
        self.probe.key(self.window["hwnd"], 13)

    def quit(self):
        self.probe.close(self.window["hwnd"])
        self.process.wait(timeout=60)

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Bench:
    def __init__(self, quick):
        self.quick = quick
        self.wine = harness.Wine()
        self.probe = harness.Probe(self.wine)
        self.server = wineserver_pid(self.wine.prefix)
        self.work = tempfile.mkdtemp(prefix="bench-", dir=os.path.join(ROOT, "build"))
        self.results = {}

    # ------------------------------------------------------------------ helpers

    def probe_process(self, *args):
        return subprocess.Popen([self.wine.loader, self.probe.exe, *map(str, args)],
                                env=self.wine.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)

    def start_watch(self, list_hwnd, seconds, target, interval_ms):
        """probe watch on the list, returned once it is polling (its first line is read)."""
        watch = self.probe_process("watch", list_hwnd, seconds, target, interval_ms)
        first = json.loads(watch.stdout.readline())
        watch.first = first
        return watch

    @staticmethod
    def watch_changes(watch, timeout):
        out, _ = watch.communicate(timeout=timeout)
        lines = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
        changes = [watch.first] + [line for line in lines if "count" in line]
        polls = next((line for line in lines if "polls" in line), {})
        return changes, polls

    @staticmethod
    def listed_times(changes, base, count):
        """For k = 1..count, the first watch time at which the list held base + k entries."""
        times = [None] * (count + 1)
        k = 1
        for change in changes:
            while k <= count and change["count"] >= base + k:
                times[k] = change["t"]
                k += 1
        return times

    def settle(self, terminal, watch, target):
        """After the flood: lets the watch run until the list holds target entries, or ends
        it once the list has stopped growing for 10 s (lines were lost)."""
        last, still_since = -1, time.monotonic()
        while watch.poll() is None:
            count = terminal.count()
            if count >= target:
                return
            if count != last:
                last, still_since = count, time.monotonic()
            elif time.monotonic() - still_since > 10:
                watch.terminate()
                return
            time.sleep(1.0)

    def terminal(self, port):
        terminal = ts.Terminal(self.wine, self.probe, SimpleNamespace(port=port))
        terminal.program = harness.Program(self.wine, self.probe, watch_windows=False)
        return terminal.start()

    def quit(self, terminal):
        code = terminal.end_and_time(lambda: self.probe.click(terminal.hwnd(ts.QUIT)))[0]
        if code != 1:
            raise HarnessError("the program ended with exit code %s, not 1" % code)

    def minimise(self, terminal):
        self.probe._run("minimize", terminal.window["hwnd"])
        wait_until(lambda: self.probe.window(terminal.window["hwnd"])["style"] & 0x20000000,
                   message="the window to be minimised")

    # ------------------------------------------------------------------ floods

    def flood(self, name, length, count, rate=None, minimised=False, interval_ms=5, bare=False):
        """Starts the program (or with bare, the bare design) on the instrument, has it send
        "GO" (the instrument floods once it receives a line), and times and checks every line.
        rate None: as fast as the pty takes the bytes."""
        run = os.path.join(self.work, name)
        os.makedirs(run, exist_ok=True)
        send_log, summary = os.path.join(run, "sent.log"), os.path.join(run, "summary.json")
        options = ["--flood", count, "--length", length, "--wait-line", "--send-log", send_log,
                   "--summary", summary]
        # Beyond the link's rate the instrument waits for the pty (--lossless), as hardware
        # flow control would make it: the run measures the program, not a dropped byte.
        options += ["--rate", rate] if rate else ["--max-rate", "--lossless"]
        instrument = Instrument(self.wine.prefix, FLOOD_PORT, options)
        terminal = None
        try:
            if bare:
                terminal = BareRun(self, FLOOD_PORT, self.list_size)
                pid = terminal.pid()
            else:
                terminal = self.terminal(FLOOD_PORT)
                pid = linux_pid(terminal)
                left, top, right, bottom = terminal.controls[ts.TRAFFIC_LIST]["rect"]
                self.list_size = (right - left, bottom - top)
            if minimised:
                self.minimise(terminal)
            before = terminal.count()
            # The program's echo of "GO" comes first, then the flood.
            base = before + (0 if bare else 1)
            expected_seconds = count * (length + 2) / rate if rate else count / 200.0
            # Only a bound: the list may fill far slower than the link (about 100 lines a
            # second with the window shown).
            bound = max(2 * expected_seconds, count / 50.0) + 120
            watch = self.start_watch(terminal.hwnd(ts.TRAFFIC_LIST), bound, base + count,
                                     interval_ms)
            cpu_before = cpu_seconds(pid)
            server_before = cpu_seconds(self.server) if self.server else 0.0
            if bare:
                terminal.go()
            else:
                terminal.replace_text("GO")
                harness.press("Return")
            instrument.wait_done(bound)
            self.settle(terminal, watch, base + count)
            changes, polls = self.watch_changes(watch, 60)
            cpu = cpu_seconds(pid) - cpu_before
            server = (cpu_seconds(self.server) - server_before) if self.server else 0.0
            rss = rss_bytes(pid)
            entries = terminal.list_state(before)["items"]
            terminal.quit() if bare else self.quit(terminal)
            terminal = None
        finally:
            if terminal:
                terminal.stop()
            instrument.stop()
        sent = {}
        with open(send_log) as log:
            for line in log:
                at, number = map(int, line.split())
                sent[number] = at
        with open(summary) as text:
            totals = json.loads(text.read())

        received = [e[len(ts.RECEIVED):] for e in entries if e.startswith(ts.RECEIVED)]
        expected = [flood_text(n, length) for n in range(1, count + 1)]
        wrong = sum(1 for got, want in zip(received, expected) if got != want)
        listed = self.listed_times(changes, base, count)
        done = [k for k in range(1, count + 1) if listed[k] is not None and k in sent]
        latencies = [listed[k] - sent[k] for k in done]
        first, last = done[0], done[-1]
        result = {
            "length": length, "count": count, "rate": rate, "minimised": minimised, "bare": bare,
            "listed": len(received), "lost": max(0, count - len(received)),
            "extra": max(0, len(received) - count), "wrong": wrong,
            "overrun_bytes": totals["bytes_overrun"], "damaged_at_source": totals["lines_damaged"],
            "sent_per_s": (last - first) / ((sent[last] - sent[first]) / 1e6)
            if sent[last] > sent[first] else 0.0,
            "listed_per_s": (last - first) / ((listed[last] - listed[first]) / 1e6)
            if listed[last] > listed[first] else 0.0,
            "lag_ms": ms(listed[last] - sent[last]) if last == count else None,
            "latency_median_ms": ms(statistics.median(latencies)),
            "latency_p99_ms": ms(percentile(latencies, 0.99)),
            "cpu_us_per_line": cpu / count * 1e6, "server_us_per_line": server / count * 1e6,
            "wall_us_per_line": (listed[last] - listed[first]) / max(1, last - first),
            "rss_mib": rss / MIB, "polls": polls.get("polls"),
        }
        print("  %s: %s" % (name, json.dumps(result)), flush=True)
        return result

    # ------------------------------------------------------------------ a quiet link

    def quiet_latency(self, lines):
        """One line at a time, 150 to 250 ms apart: CR written to the list entry seen."""
        with DirectLine(self.wine.prefix, DIRECT_PORT) as line:
            terminal = self.terminal(DIRECT_PORT)
            try:
                before = terminal.count()
                watch = self.start_watch(terminal.hwnd(ts.TRAFFIC_LIST), lines * 0.3 + 60,
                                         before + lines, 1)
                written = []
                for n in range(1, lines + 1):
                    data = b"Q%07d 12.345 mV\r\n" % n
                    os.write(line.master, data)
                    written.append(now_us())
                    time.sleep(0.15 + (n * 37 % 100) / 1000.0)
                changes, polls = self.watch_changes(watch, lines * 0.3 + 90)
                entries = terminal.list_state(before)["items"]
                self.quit(terminal)
            except BaseException:
                terminal.stop()
                raise
        listed = self.listed_times(changes, before, lines)
        latencies = [listed[k] - written[k - 1] for k in range(1, lines + 1) if listed[k]]
        ok = entries == [ts.RECEIVED + "Q%07d 12.345 mV" % n for n in range(1, lines + 1)]
        result = {"lines": lines, "measured": len(latencies), "all_listed_in_order": ok,
                  **spread(latencies), "polls": polls.get("polls")}
        print("  quiet latency: %s" % json.dumps(result), flush=True)
        return result

    def transmit(self, sends):
        """Enter pressed (xdotool started) to the LF of the line read at the instrument's end."""
        with DirectLine(self.wine.prefix, DIRECT_PORT) as line:
            terminal = self.terminal(DIRECT_PORT)
            try:
                reader = line.start_reader()
                times = []
                for n in range(1, sends + 1):
                    text = "T%04d" % n
                    terminal.replace_text(text, delay=5)
                    mark = len(reader.chunks)
                    pressed = now_us()
                    harness.press("Return")
                    want = (text + "\r\n").encode()
                    arrived = wait_until(lambda: reader.arrival(mark, want), message=text)
                    times.append(arrived - pressed)
                self.quit(terminal)
            except BaseException:
                terminal.stop()
                raise
            finally:
                line.stop_reader()
        result = {"sends": sends, **spread(times)}
        print("  transmit: %s" % json.dumps(result), flush=True)
        return result

    # ------------------------------------------------------------------ start, idle, quit

    def lifecycle(self, runs, idle_seconds):
        """Start-up to the prompt, idle CPU with the main window up, and quit time."""
        starts, quits, clicks, idle = [], [], [], None
        with DirectLine(self.wine.prefix, DIRECT_PORT):
            for run in range(runs):
                awaiting = self.probe_process("await", harness.PROMPT_CAPTION, 60)
                time.sleep(1.0)  # the probe is polling by then
                started = now_us()
                program = harness.Program(self.wine, self.probe, watch_windows=False)
                program.__enter__()
                try:
                    out, _ = awaiting.communicate(timeout=90)
                    starts.append(json.loads(out)["t"] - started)
                    program.answer_prompt(str(DIRECT_PORT))
                    window = program.wait_window(harness.main_window_title_re(DIRECT_PORT))
                    if run == 0:
                        pid = linux_pid(SimpleNamespace(wine=self.wine, program=program))
                        time.sleep(2.0)  # past the start-up work
                        cpu_before = cpu_seconds(pid)
                        server_before = cpu_seconds(self.server) if self.server else 0.0
                        time.sleep(idle_seconds)
                        idle = {"seconds": idle_seconds,
                                "cpu_s": cpu_seconds(pid) - cpu_before,
                                "server_cpu_s": (cpu_seconds(self.server) - server_before)
                                if self.server else None,
                                "rss_mib": rss_bytes(pid) / MIB}
                    controls = {c["id"]: c for c in self.probe.controls(window["hwnd"])}
                    gone = self.probe_process("awaitgone", window["hwnd"], 60)
                    time.sleep(1.0)
                    exited = {}
                    waiter = threading.Thread(
                        target=lambda: exited.update(code=program.process.wait(), t=now_us()))
                    waiter.start()
                    clicked = now_us()
                    self.probe.click(controls[ts.QUIT]["hwnd"])
                    out, _ = gone.communicate(timeout=90)
                    waiter.join(timeout=90)
                    gone_at = json.loads(out)["t"]
                    if exited.get("code") != 1:
                        raise HarnessError("exit code %r after Quit" % exited.get("code"))
                    quits.append(exited["t"] - gone_at)
                    clicks.append(gone_at - clicked)
                finally:
                    program.__exit__(None, None, None)
        result = {"runs": runs,
                  "startup_median_ms": ms(statistics.median(starts)),
                  "startup_max_ms": ms(max(starts)),
                  "quit_median_ms": ms(statistics.median(quits)), "quit_max_ms": ms(max(quits)),
                  "click_to_gone_median_ms": ms(statistics.median(clicks)), "idle": idle}
        print("  lifecycle: %s" % json.dumps(result), flush=True)
        return result

    def copy_all(self, counts):
        """Copy All of the traffic list's own code on a list of each size, in both widths: the
        32-bit figures are those of the release code, run emulated here."""
        result = {}
        for width, folder in (("64-bit", os.environ["QUARL_E2E_BIN"]),
                              ("32-bit", os.environ["QUARL_BENCH32_BIN"])):
            exe = os.path.join(folder, "..", "bench", "copy_all_bench.exe")
            code, out = self.wine.run(exe, *counts, timeout=600)
            rows = harness.json_lines(out)
            if code != 0 or len(rows) != len(counts):
                raise HarnessError("copy_all_bench (%s) failed: exit code %s" % (width, code))
            result[width] = rows
        print("  copy all: %s" % json.dumps(result), flush=True)
        return result

    # ------------------------------------------------------------------ the bare design

    def side_by_side(self, count):
        """The program and the bare design against the same flood of 8-byte lines, each with
        the window shown and minimised, one after the other."""
        result = {}
        for minimised in (False, True):
            label = "minimised" if minimised else "shown"
            program = self.flood("program-%s-8" % label, 8, count, minimised=minimised)
            bare = self.flood("bare-%s-8" % label, 8, count, minimised=minimised, bare=True)
            result[label] = {"program": program, "bare": bare,
                             "ratio": program["wall_us_per_line"] / bare["wall_us_per_line"]}
            print("  %s: program %.0f µs a line, bare design %.0f µs a line, ratio %.3f" % (
                label, program["wall_us_per_line"], bare["wall_us_per_line"],
                result[label]["ratio"]), flush=True)
        return result

    # ------------------------------------------------------------------ all

    def run(self):
        quick = self.quick
        seconds = 10 if quick else 60
        r = self.results
        print("sustained receive at %d bytes a second, %d s each" % (LINK_BYTES_PER_SECOND,
                                                                     seconds), flush=True)
        r["paced"] = [self.flood("paced-%d" % length, length,
                                 seconds * LINK_BYTES_PER_SECOND // (length + 2),
                                 rate=LINK_BYTES_PER_SECOND) for length in (0, 8, 32)]
        print("as fast as the pty takes them", flush=True)
        fast_count = 3000 if quick else 5000
        r["fast"] = [self.flood("fast-%d" % length, length, fast_count) for length in (0, 8, 32)]
        print("display path with the window minimised", flush=True)
        r["minimised"] = self.flood("minimised-8", 8, fast_count, minimised=True)
        print("beside the bare design", flush=True)
        r["side_by_side"] = self.side_by_side(fast_count)
        print("quiet link", flush=True)
        r["quiet"] = self.quiet_latency(40 if quick else 200)
        print("transmit", flush=True)
        r["transmit"] = self.transmit(10 if quick else 50)
        print("start-up, idle, quit", flush=True)
        r["lifecycle"] = self.lifecycle(2 if quick else 5, 10 if quick else 30)
        print("memory", flush=True)
        big = 10000 if quick else 100000
        r["memory"] = self.flood("memory-%d" % big, 8, big, minimised=True, interval_ms=50)
        r["exe_bytes"] = os.path.getsize(os.environ["QUARL_RELEASE"])
        print("copy all", flush=True)
        r["copy_all"] = self.copy_all([10000, 100000])
        return r


class Instrument:
    """The simulated instrument (tools/instrument) on COM<port>, in flood mode."""

    def __init__(self, prefix, port, options):
        self.process = subprocess.Popen(
            [os.environ["QUARL_INSTRUMENT"], "--prefix", prefix, "--port", str(port),
             *map(str, options)],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            text=True)
        ready = self.process.stdout.readline().split()
        if len(ready) != 3 or ready[0] != "ready":
            self.stop()
            raise HarnessError("the instrument did not start: %r" % ready)
        self.done = threading.Event()
        threading.Thread(target=self._read_output, daemon=True).start()
        link = os.path.join(prefix, "dosdevices", "com%d" % port)
        if os.readlink(link) != ready[2]:
            os.remove(link)
            os.symlink(ready[2], link)

    def _read_output(self):
        for line in self.process.stdout:
            if line.strip() == "flood done":
                self.done.set()

    def wait_done(self, timeout):
        if not self.done.wait(timeout):
            raise HarnessError("the flood did not end within %.0f s" % timeout)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=60)


class DirectLine:
    """A pty whose slave is COM<port>; the bench writes and reads the master, with no relay
    between it and the program."""

    def __init__(self, prefix, port):
        self.link = os.path.join(prefix, "dosdevices", "com%d" % port)
        self.master = self.slave = None
        self._reader = None

    def __enter__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        if os.path.lexists(self.link):
            os.remove(self.link)
        os.symlink(os.ttyname(self.slave), self.link)
        return self

    def __exit__(self, *exc):
        self.stop_reader()
        os.remove(self.link)
        os.close(self.master)
        os.close(self.slave)
        return False

    def start_reader(self):
        reader = SimpleNamespace(chunks=[], stop=False)

        def arrival(mark, wanted):
            data = b"".join(c for _, c in reader.chunks[mark:])
            end = data.find(wanted)
            if end < 0:
                return None
            end += len(wanted)
            seen = 0
            for at, chunk in reader.chunks[mark:]:
                seen += len(chunk)
                if seen >= end:
                    return at
            return None

        def read():
            while not reader.stop:
                ready, _, _ = select.select([self.master], [], [], 0.1)
                if ready:
                    try:
                        chunk = os.read(self.master, 4096)
                    except (BlockingIOError, OSError):
                        continue
                    reader.chunks.append((now_us(), chunk))

        reader.arrival = arrival
        reader.thread = threading.Thread(target=read, daemon=True)
        reader.thread.start()
        self._reader = reader
        return reader

    def stop_reader(self):
        if self._reader:
            self._reader.stop = True
            self._reader.thread.join()
            self._reader = None


# ---------------------------------------------------------------------------- the report


def verdict(ok):
    return "meets it" if ok else "does not meet it"


def duration(milliseconds):
    """A lag or latency: milliseconds below ten seconds, seconds above."""
    if milliseconds is None:
        return "n/a"
    if milliseconds >= 10000:
        return "%.1f s" % (milliseconds / 1000.0)
    return "%.0f ms" % milliseconds


def keeps_up(row, link_lines):
    """Whether a paced run listed lines as fast as the link brought them, and none went wrong."""
    offered = link_lines[row["length"]]
    faults = row["lost"] + row["extra"] + row["wrong"] + row["overrun_bytes"]
    return row["listed_per_s"] >= 0.97 * min(offered, row["sent_per_s"] or offered) and not faults


def report(r, quick):
    link_lines = {length: LINK_BYTES_PER_SECOND / (length + 2) for length in (0, 8, 32)}
    out = []
    w = out.append
    w("# Performance")
    w("")
    w("Figures of `scripts/bench`%s, taken on %s (%s, %d CPUs) on %s, with the 64-bit build "
      "of the program (`build/win64/quarl7term.exe`) under Wine 8.0's 64-bit loader on an Xvfb "
      "display: the 32-bit release program runs here only under CPU emulation, which would "
      "distort every timing. Windows on real hardware will differ; the figures say what the "
      "program's own design costs under these conditions. Reproduce with `scripts/bench` (about 35 minutes); `scripts/bench --report "
      "build/bench-*/results.json` writes this page again from a run's raw figures." % (
          " --quick (shortened runs)" if quick else "", platform.node() or "this machine",
          platform.machine(), os.cpu_count() or 0, datetime.date.today().isoformat()))
    w("")
    w("The yardstick is the link: 9600 baud with 8N1 framing carries 960 bytes a second. A line "
      "ended by a bare CR is at least 1 byte, so the link carries at most 960 lines a second "
      "(1,042 µs a line); the instrument ends its lines with CR LF, so it sends at most 480 "
      "empty lines, 96 lines of 8 bytes or 28 lines of 32 bytes a second.")
    w("")
    paced = {row["length"]: row for row in r["paced"]}
    m = r["minimised"]
    lossless = all(row["lost"] + row["extra"] + row["wrong"] == 0
                   for row in r["paced"] + r["fast"] + [m, r["memory"]])
    w("## Against the link")
    w("")
    w("- Lines lost, joined or changed: %s (%s lines, each checked against what was sent)." % (
        "none in any run" if lossless else "SOME", "{:,}".format(sum(
            row["count"] for row in r["paced"] + r["fast"] + [m, r["memory"]]))))
    for length in sorted(paced):
        row = paced[length]
        w("- %d-byte lines at the link's full rate (%.0f a second), window shown: %s (%.0f "
          "listed a second)." % (length, link_lines[length],
                                 verdict(keeps_up(row, link_lines)), row["listed_per_s"]))
    w("- Display path alone (window minimised) against 960 lines a second: %s ({:,.0f} µs a "
      "line against 1,042 µs).".format(m["wall_us_per_line"]) % verdict(
          m["wall_us_per_line"] <= 1e6 / 960))
    w("- Transmit: the 7 bytes of a 5-character line take 7.3 ms on the wire; the program "
      "adds a median of %.1f ms from the key press (xdotool's own start-up included)." %
      r["transmit"]["median_ms"])
    w("")
    w("Why some figures fall short: under Wine every request that the receive thread makes to "
      "the list (three per line) is a round trip through the wineserver process, and with the "
      "window shown each line also repaints the list through Wine's X11 driver into Xvfb's "
      "software renderer, about 10 ms a line here (section 2 gives the CPU time per line of "
      "the program's process and of the wineserver). When the program falls behind it does "
      "not drop a line: it lists the backlog later (section 1).")
    w("")
    w("How it is measured: the simulated instrument (`tools/instrument`) sits on a pty linked "
      "as a COM port and logs the moment each line's CR is written. `probe.exe watch` polls "
      "the traffic list's entry count from inside the Wine session and logs each change. Both "
      "use CLOCK_MONOTONIC_RAW (Wine's QueryPerformanceCounter is that clock), so a line's "
      "latency is the time its entry appeared minus the time its CR was written. Every "
      "received entry is then read back and compared with the text the instrument sent.")
    w("")
    w("## 1. Sustained receive")
    w("")
    w("| line text | offered | lines | listed/s | lost or joined | wrong | pty overrun "
      "| lag after the end | latency median | latency p99 |")
    w("|---|---|---|---|---|---|---|---|---|---|")
    for row in r["paced"] + r["fast"]:
        offered = ("%d B/s (%.0f lines/s)" % (row["rate"], row["sent_per_s"]) if row["rate"]
                   else "as fast as the pty takes them")
        w("| %d bytes | %s | {:,} | %.0f | %d | %d | %d B | %s | %s | %s |".format(row["count"]) % (
            row["length"], offered, row["listed_per_s"],
            row["lost"] + row["extra"], row["wrong"], row["overrun_bytes"],
            duration(row["lag_ms"]), duration(row["latency_median_ms"]),
            duration(row["latency_p99_ms"])))
    w("")
    w("Latency in these rows is under load (the line waits behind the lines before it). "
      "\"lost or joined\" counts entries missing or extra against the lines sent, \"wrong\" "
      "entries whose text differs from the line sent at that place; both must be 0.")
    w("")
    for row in r["paced"]:
        offered = link_lines[row["length"]]
        faults = row["lost"] + row["extra"] + row["wrong"] + row["overrun_bytes"]
        if keeps_up(row, link_lines):
            w("- %d-byte lines at the link's rate (%.0f a second): the program keeps up; every "
              "line listed, in order, %.0f ms after the last one was sent." % (
                  row["length"], offered, row["lag_ms"] or 0))
        else:
            w("- %d-byte lines at the link's rate (%.0f a second): the program does not keep "
              "up with the window shown; it lists %.0f a second. The receive thread still "
              "takes the bytes out of the port as they arrive, so the lines wait in the "
              "program, and the last is listed %.1f s after it was sent. %s" % (
                  row["length"], offered, row["listed_per_s"], (row["lag_ms"] or 0) / 1000.0,
                  "None was lost or damaged in this run." if not faults else
                  "%d lines were lost or damaged: the queue outgrew the pty's buffer, as it "
                  "would outgrow a UART's receive queue." % (row["lost"] + row["wrong"])))
    w("")
    fast_lines = {row["length"]: row["listed_per_s"] for row in r["fast"]}
    w("Beyond the link's rate, with the instrument writing 5,000 lines as fast as the pty "
      "takes the bytes, the receive thread empties the port as the bytes come, and the program "
      "lists %s lines a second with the window shown; the lag is the time it takes to list "
      "that backlog. Every line was checked again: %s." % (
          ", ".join("%.0f (%d-byte)" % (fast_lines[k], k) for k in sorted(fast_lines)),
          "none lost, joined or changed" if all(
              row["lost"] + row["extra"] + row["wrong"] == 0 for row in r["fast"])
          else "SOME WERE LOST OR CHANGED"))
    w("")
    w("Why the shown window is slow here: each received line is one add and one selection "
      "change in the list box, and with the window shown every selection change scrolls the "
      "list and repaints it and its scroll bar. Under Wine that painting goes through its X11 "
      "driver to Xvfb's software renderer, about 10 ms a line on this machine; section 2 "
      "shows the same path without painting. The program's design (one append per line, "
      "synchronously from the receive thread) is kept; a line is never dropped by the program "
      "itself: it waits in the receive thread's queue until the list takes it.")
    w("")
    q = r["quiet"]
    w("**Latency on a quiet link** (%d single lines 150–250 ms apart, written to a pty linked "
      "straight to the COM port): median %.1f ms, 99th percentile %.1f ms (min %.1f, max "
      "%.1f); all listed in order: %s. The receive thread asks the port for waiting bytes and, "
      "when there are none, sleeps 100 ms, so a line that arrives on an idle link waits up to "
      "one such pause: about 50 ms on average, 100 ms at most, plus the append. On a busy link "
      "the thread reads without pausing." % (
          q["lines"], q["median_ms"], q["p99_ms"], q["min_ms"], q["max_ms"],
          "yes" if q["all_listed_in_order"] else "NO"))
    w("")
    w("## 2. Cost of the display path")
    w("")
    visible = next(row for row in r["fast"] if row["length"] == 8)
    w("| window | lines | listed/s | wall per line | program CPU per line "
      "| wineserver CPU per line |")
    w("|---|---|---|---|---|---|")
    for label, row in (("shown", visible), ("minimised", m)):
        w("| %s | {:,} | %.0f | {:,.0f} µs | {:,.0f} µs | {:,.0f} µs |".format(
            row["count"], row["wall_us_per_line"], row["cpu_us_per_line"],
            row["server_us_per_line"]) % (label, row["listed_per_s"]))
    w("")
    w("8-byte lines as fast as the pty takes them. Minimised, nothing is painted, so what "
      "remains is the message loop and the three messages each received line sends across "
      "threads (count, add, select), each a round trip through the wineserver. The link needs "
      "at most 1,042 µs per line (960 empty lines a second): the minimised path %s with "
      "{:,.0f} µs; the wineserver's CPU time per line in the table shows how much of it goes "
      "to those round trips.".format(m["wall_us_per_line"]) % verdict(
          m["wall_us_per_line"] <= 1e6 / 960))
    w("")
    if "side_by_side" in r:
        sbs = r["side_by_side"]
        w("**Beside the bare design** (`tools/bench/bare_terminal.cpp`: a list box of the same "
          "size, one thread that polls the port as the program's does and sends the same three "
          "messages per line, and a blocking message loop), against the same flood in the same "
          "run. The goal is to stay within 5 % of it.")
        w("")
        w("| window | program per line | bare design per line | ratio | within 5 % |")
        w("|---|---|---|---|---|")
        for label in ("shown", "minimised"):
            row = sbs[label]
            w("| %s | {:,.0f} µs | {:,.0f} µs | %.3f | %s |".format(
                row["program"]["wall_us_per_line"], row["bare"]["wall_us_per_line"]) % (
                    label, row["ratio"], "yes" if row["ratio"] <= 1.05 else "no"))
        w("")
    t = r["transmit"]
    w("## 3. Transmit")
    w("")
    w("From Enter (the moment `xdotool key Return` is started, its own start-up included) to "
      "the LF of the line arriving at the instrument's end, %d sends of 5 characters: median "
      "%.1f ms, 99th percentile %.1f ms (min %.1f, max %.1f). At 9600 baud the 7 bytes would "
      "take 7.3 ms on the wire; a pty has no baud rate, so that time is not in these figures "
      "and adds to them on a real port." % (
          t["sends"], t["median_ms"], t["p99_ms"], t["min_ms"], t["max_ms"]))
    w("")
    life, mem = r["lifecycle"], r["memory"]
    idle = life["idle"]
    w("## 4. Start-up, idle, quit, memory, size")
    w("")
    w("| figure | value | how |")
    w("|---|---|---|")
    w("| start-up to the prompt | median %.0f ms, max %.0f ms | %d starts; from starting "
      "`wine64 quarl7term.exe` to the prompt window being visible (`probe await`, polled every "
      "millisecond); includes Wine's process start |" % (
          life["startup_median_ms"], life["startup_max_ms"], life["runs"]))
    w("| quit time | median {:,.0f} ms, max {:,.0f} ms | from the main window being destroyed "
      "(`probe awaitgone`) to the process exit; the shutdown waits 1 s for the receive thread "
      "before closing the port |".format(life["quit_median_ms"], life["quit_max_ms"]))
    w("| Quit to window gone | median %.0f ms | from starting `probe.exe click` on the Quit "
      "button (a Wine process start, then BM_CLICK) to the window being destroyed |"
      % life["click_to_gone_median_ms"])
    if idle:
        w("| CPU while idle | %.2f s in %d s (%.2f %%); wineserver %.2f s | utime + stime of "
          "the process with the main window up and no traffic |" % (
              idle["cpu_s"], idle["seconds"], 100.0 * idle["cpu_s"] / idle["seconds"],
              idle["server_cpu_s"] or 0.0, ))
        w("| memory at start | %.1f MiB resident | the Wine process, with its DLLs |"
          % idle["rss_mib"])
    w("| memory after {:,} lines | %.1f MiB resident | 8-byte lines, window minimised; all "
      "{:,} listed, lost or joined %d, wrong %d |".format(mem["count"], mem["listed"]) % (
          mem["rss_mib"], mem["lost"] + mem["extra"], mem["wrong"]))
    w("| 32-bit release .exe | {:,} bytes ({:,.0f} KiB) | `build/win32/quarl7term.exe`, "
      "static, stripped |".format(r["exe_bytes"], r["exe_bytes"] / 1024.0))
    w("")
    if "copy_all" in r:
        w(copy_all_section(r["copy_all"]))
    return "\n".join(out)


COPY_ALL_GOAL_S = 0.5


def copy_all_section(copy_all):
    """Section 5 of the page, also printed alone by `--only copyall`."""
    out = ["## 5. Copy All", "",
           "| build | entries | text on the clipboard | fastest | slowest |", "|---|---|---|---|---|"]
    for width, rows in copy_all.items():
        for row in rows:
            out.append("| %s | {:,} | {:,} bytes | {:,.0f} ms | {:,.0f} ms |".format(
                row["entries"], row["bytes"], 1000 * row["fastest_s"],
                1000 * row["slowest_s"]) % width)
    native = max(copy_all["64-bit"], key=lambda row: row["entries"])
    emulated = max(copy_all["32-bit"], key=lambda row: row["entries"])

    def verdict(row):
        return "meets it" if row["slowest_s"] < COPY_ALL_GOAL_S else "does not meet it"

    out += ["", "Three copies of each list: the time from the menu command to the text on the "
            "clipboard (`tests/bench/copy_all_bench.cpp` fills the main window's list box with "
            "8-byte received lines and calls the program's own Copy All). The goal is {:,} "
            "entries in under {:.1f} s on this machine. The 64-bit build, native code under Wine "
            "like every other figure on this page, takes {:,.0f} ms at the slowest and {}. The "
            "32-bit release code runs emulated here by qemu-user, {:.1f} times as slow for the "
            "same work, and takes {:,.0f} ms: it {} under emulation; a PC runs it "
            "natively, without that cost.".format(
                native["entries"], COPY_ALL_GOAL_S, 1000 * native["slowest_s"], verdict(native),
                emulated["fastest_s"] / native["fastest_s"], 1000 * emulated["slowest_s"],
                verdict(emulated)),
            ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--only", choices=["minimised", "copyall", "side-by-side"],
                        help="take one measurement and print it; write no report")
    parser.add_argument("--report", metavar="RESULTS_JSON",
                        help="write the report from an earlier run's figures; measure nothing")
    args = parser.parse_args()
    if args.report:
        with open(args.report) as raw:
            results = json.load(raw)
        with open(args.out, "w") as doc:
            doc.write(report(results, results.get("quick", args.quick)))
        print("written: %s" % args.out)
        return
    bench = Bench(args.quick)
    if args.only == "copyall":
        print(copy_all_section(bench.copy_all([10000, 100000])))
        return
    if args.only == "minimised":
        print(json.dumps(bench.flood("minimised-8", 8, 3000 if args.quick else 5000,
                                     minimised=True)))
        return
    if args.only == "side-by-side":
        result = bench.side_by_side(1000 if args.quick else 5000)
        print(json.dumps({label: row["ratio"] for label, row in result.items()}))
        return
    results = bench.run()
    with open(os.path.join(bench.work, "results.json"), "w") as raw:
        json.dump(results, raw, indent=1)
    text = report(results, args.quick)
    with open(args.out, "w") as doc:
        doc.write(text)
    print()
    print(text)
    print("\nwritten: %s (raw figures in %s)" % (args.out, bench.work))


if __name__ == "__main__":
    main()
