#!/usr/bin/env python3
"""The running lamp's footprint beside oneko and a bare Qt 6 window of the lamp's size, side by side in one
X session of their own (Xvfb, openbox, trayer), each with its own temporary HOME and XDG folders.

    bench/footprint.py [--seconds 60] [--runs 3] [--build build/default] [--nimo PROGRAM] [--compositor]
    bench/footprint.py --dialogs 300 [--heaptrack] [--build build/default] [--nimo PROGRAM]

With --compositor, xcompmgr composites the session, so the lamp runs as a 32-bit window with its soft edge.

For each program it prints CPU % of one core, wake-ups per second (voluntary context switches of all its
threads) and peak resident memory, then the ratios the lamp is held to; with several runs, the medians.

--dialogs N opens Configure, About and the send-mail dialog N times each from the lamp's menu, closing each
with Escape, and prints for each how much resident memory grew per open after the first 30 (goal: under
0.5 KB). With --heaptrack, heaptrack is attached to the lamp after those 30 and the lamp is killed after the
last open: the heap allocated since and still live, divided by the opens, is the growth without malloc's
fragmentation (heaptrack's own buffers then inflate the resident figures). The status is 1 when a dialog
misses the goal.
"""

import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import nimo_e2e  # noqa: E402  the e2e session: display, window manager, tray, temporary folders
from lamp_commands_e2e import new_window, open_menu  # noqa: E402
from send_mail_e2e import install_program, register_handler  # noqa: E402

LAMP_X, LAMP_Y = 200, 150
WARM_UP = 30
# Menu key and window title of each dialog; the send-mail dialog comes straight, the question answered
# once and for all in the settings.
DIALOGS = (("Configure", "c", "Configure..."), ("About", "b", "About Nimo..."), ("send-mail", "s", "Send mail..."))

def cpu_seconds(pid):
    """CPU time of all the process's threads, in nanoseconds as the scheduler counts it: the clock ticks of
    /proc/PID/stat are 10 ms, as coarse as a whole minute of the lamp's work at these rates."""
    total = 0
    task = "/proc/%d/task" % pid
    for tid in os.listdir(task):
        try:
            with open(os.path.join(task, tid, "schedstat")) as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total / 1e9


def wakeups(pid):
    """Voluntary context switches summed over the process's threads: how often it went to sleep."""
    total = 0
    task = "/proc/%d/task" % pid
    for tid in os.listdir(task):
        try:
            with open(os.path.join(task, tid, "status")) as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total


def peak_rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def open_and_close(s, key, title):
    """Opens one dialog from the lamp's menu and closes it with Escape, waiting for each step."""
    s.opens += 1
    open_menu(s, LAMP_X + 35, LAMP_Y + 110)
    known = {w for w, _ in s.windows()}
    s.run("xdotool", "key", key)
    dialog, _ = nimo_e2e.wait_for("the dialog " + title, lambda: new_window(s, known, title))
    s.run("xdotool", "windowactivate", "--sync", str(dialog))
    s.run("xdotool", "key", "Escape")
    nimo_e2e.wait_for("the dialog %s to close" % title, lambda: not s.geometry(dialog))


def attach_heaptrack(s):
    """Attaches heaptrack to the running lamp; its record file's path once the lamp runs with it."""
    path = os.path.join(s.tmp, "heaptrack.nimo")
    log = open(os.path.join(s.tmp, "heaptrack.log"), "w+")
    attach = s._spawn(["heaptrack", "-o", path, "--pid", str(s.nimo.pid)], stdout=log, stderr=subprocess.STDOUT)

    def injected():
        nimo_e2e.check(attach.poll() is None, "heaptrack ended: " + open(log.name).read())
        return "injection finished" in open(log.name).read()
    nimo_e2e.wait_for("heaptrack to attach", injected, deadline=120, interval=0.2)
    return attach, path


def live_heap_kib(s, attach, path):
    """Kills the lamp heaptrack is attached to and reads what was allocated after the attach and is still
    live: killed, the lamp frees nothing on the way out."""
    os.kill(s.nimo.pid, signal.SIGKILL)
    s.nimo.wait()
    attach.wait(120)
    record = next(path + ext for ext in (".zst", ".gz", "") if os.path.exists(path + ext))
    text = subprocess.run(["heaptrack_print", "--print-leaks", "0", "--print-peaks", "0", "--print-allocators",
                           "0", "--print-temporary", "0", "-f", record], capture_output=True, text=True).stdout
    found = re.search(r"total memory leaked: ([0-9.]+)([KMG]?)B?", text)
    nimo_e2e.check(found, "heaptrack_print gave no total: " + text[-500:])
    return float(found.group(1)) * {"": 1 / 1024, "K": 1, "M": 1024, "G": 1024 * 1024}[found.group(2)]


def dialogs_run(args, name, key, title):
    """One dialog opened args.dialogs times on a fresh lamp: its growth per open after the warm-up, in KiB
    (the live heap's with --heaptrack, else the resident memory's)."""
    with nimo_e2e.Session(args) as s:
        # The mail way chosen once and for all, and a mail client to hand the mail to.
        register_handler(s, "mailto", install_program(s, "record-mail"))
        s.write_settings({"CNimoDlg": {"WndX": LAMP_X, "WndY": LAMP_Y, "CMailQuestionDlg": 1},
                          "Config": {"Color": 0}, "CMailQuestionDlg": {"bMapi": 1}})
        s.start_nimo("-Embedding")
        s.lamp()
        s.opens = 0
        for _ in range(WARM_UP):
            open_and_close(s, key, title)
        attach, path = attach_heaptrack(s) if args.heaptrack else (None, None)
        samples = [rss_kib(s.nimo.pid)]
        measured = args.dialogs - WARM_UP
        for n in range(1, measured + 1):
            open_and_close(s, key, title)
            if n % 60 == 0 or n == measured:
                samples.append(rss_kib(s.nimo.pid))
        rss = (samples[-1] - samples[0]) / measured
        line = "%-10s RSS %s KiB%s: %+.2f KiB an open over %d opens" % (
            name, " ".join(str(v) for v in samples), " (heaptrack's own included)" if attach else "", rss, measured)
        growth = rss
        if attach:
            heap = live_heap_kib(s, attach, path)
            growth = heap / measured
            line += "; live heap left %.1f KiB, %+.2f KiB an open" % (heap, growth)
        print(line, flush=True)
        return growth


def one_run(args, seconds):
    with nimo_e2e.Session(args) as s:
        if args.compositor:
            s._spawn(["xcompmgr"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            nimo_e2e.wait_for("the compositor", lambda: s.xlib.selection_owner("_NET_WM_CM_S0"))
        s.start_nimo("-Embedding")
        s.lamp()
        others = {
            "oneko": s._spawn([args.oneko], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
            "bare Qt": s._spawn([args.bare], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
        }
        procs = {"lamp": s.nimo, **others}
        # Start-up is not what is measured: wait until the bare window is on screen, then settle.
        nimo_e2e.wait_for("the bare window", lambda: s.run("xdotool", "search", "--onlyvisible", "--pid",
                                                           str(others["bare Qt"].pid)).split())
        time.sleep(1.0)
        start = {name: (cpu_seconds(p.pid), wakeups(p.pid)) for name, p in procs.items()}
        begin = time.monotonic()
        end = begin + seconds
        while time.monotonic() < end:
            for name, p in procs.items():
                nimo_e2e.check(p.poll() is None, name + " ended while being measured")
            time.sleep(min(1.0, max(0.0, end - time.monotonic())))
        elapsed = time.monotonic() - begin
        result = {}
        for name, p in procs.items():
            cpu0, wake0 = start[name]
            result[name] = {
                "cpu": 100 * (cpu_seconds(p.pid) - cpu0) / elapsed,
                "wake": (wakeups(p.pid) - wake0) / elapsed,
                "rss": peak_rss_kib(p.pid) / 1024,
            }
        return result


def report(title, result):
    print(title)
    print("  %-8s %8s %12s %12s" % ("", "CPU %", "wake-ups/s", "peak RSS MB"))
    for name, r in result.items():
        print("  %-8s %8.3f %12.1f %12.1f" % (name, r["cpu"], r["wake"], r["rss"]))
    oneko = result["oneko"]["cpu"]
    ratio = result["lamp"]["cpu"] / oneko if oneko > 0 else float("inf")
    print("  lamp / oneko CPU %.2f (target <= 1); lamp - bare Qt peak RSS %+.1f MB (target <= +2)"
          % (ratio, result["lamp"]["rss"] - result["bare Qt"]["rss"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=60.0, help="length of each run (default 60)")
    parser.add_argument("--runs", type=int, default=3, help="runs; the medians are reported (default 3)")
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "default"))
    parser.add_argument("--nimo", help="the lamp to measure (default: the build's)")
    parser.add_argument("--dialogs", type=int, default=0,
                        help="open and close each dialog this many times and print the growth per open")
    parser.add_argument("--heaptrack", action="store_true", help="with --dialogs: the live heap by heaptrack")
    parser.add_argument("--compositor", action="store_true", help="run xcompmgr in the session")
    args = parser.parse_args()
    args.nimo = args.nimo or os.path.join(args.build, "app", "nimo")
    args.bare = os.path.join(args.build, "bench", "nimo-bench-bare-window")
    # Debian installs oneko among the games, outside the usual PATH.
    args.oneko = shutil.which("oneko") or shutil.which("oneko", path="/usr/games")
    others = not args.dialogs
    needed = (["oneko"] if others and not args.oneko else []) + \
        [tool for tool in ("heaptrack", "gdb") if args.heaptrack and not shutil.which(tool)] + \
        (["xcompmgr"] if args.compositor and not shutil.which("xcompmgr") else [])
    for tool in nimo_e2e.missing_tools() + needed:
        print("missing " + tool)
        return 77
    for path in (args.nimo, args.bare) if others else (args.nimo,):
        if not os.access(path, os.X_OK):
            print("not built: " + path)
            return 1
    print("machine: %d cores, %s" % (os.cpu_count(), platform_name()))
    if args.dialogs:
        if args.dialogs <= WARM_UP:
            print("--dialogs must be more than the warm-up of %d" % WARM_UP)
            return 2
        growth = [dialogs_run(args, *dialog) for dialog in DIALOGS]
        return 0 if all(g < 0.5 for g in growth) else 1
    runs = []
    for n in range(args.runs):
        runs.append(one_run(args, args.seconds))
        report("run %d of %d (%.0f s)" % (n + 1, args.runs, args.seconds), runs[-1])
    if len(runs) > 1:
        median = {name: {k: statistics.median(r[name][k] for r in runs) for k in ("cpu", "wake", "rss")}
                  for name in runs[0]}
        report("median of %d runs" % len(runs), median)
    return 0


def platform_name():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "unknown CPU"


if __name__ == "__main__":
    sys.exit(main())
