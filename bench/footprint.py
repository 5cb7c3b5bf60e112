#!/usr/bin/env python3
"""The running lamp's footprint beside oneko and a bare Qt 6 window of the lamp's size, side by side in one
X session of their own (Xvfb, openbox, trayer), each with its own temporary HOME and XDG folders.

    bench/footprint.py [--seconds 60] [--runs 3] [--build build/default] [--nimo PROGRAM] [--compositor]

With --compositor, xcompmgr composites the session, so the lamp runs as a 32-bit window with its soft edge.

For each program it prints CPU % of one core, wake-ups per second (voluntary context switches of all its
threads) and peak resident memory, then the ratios the lamp is held to; with several runs, the medians.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import nimo_e2e  # noqa: E402  the e2e session: display, window manager, tray, temporary folders

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
    parser.add_argument("--compositor", action="store_true", help="run xcompmgr in the session")
    args = parser.parse_args()
    args.nimo = args.nimo or os.path.join(args.build, "app", "nimo")
    args.bare = os.path.join(args.build, "bench", "nimo-bench-bare-window")
    # Debian installs oneko among the games, outside the usual PATH.
    args.oneko = shutil.which("oneko") or shutil.which("oneko", path="/usr/games")
    needed = ["xcompmgr"] if args.compositor and not shutil.which("xcompmgr") else []
    for tool in nimo_e2e.missing_tools() + ([] if args.oneko else ["oneko"]) + needed:
        print("missing " + tool)
        return 77
    for path in (args.nimo, args.bare):
        if not os.access(path, os.X_OK):
            print("not built: " + path)
            return 1
    print("machine: %d cores, %s" % (os.cpu_count(), platform_name()))
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
