#!/usr/bin/env python3
"""End-to-end tests of the real nimo program on a real X server (Xvfb), window manager (openbox) and
notification area (trayer). Every case starts its own display and its own temporary HOME and XDG folders,
waits for conditions with deadlines, and stops every process it started, also when it fails.

    nimo_e2e.py --nimo PATH --decode PATH CASE     run one case (exit 0 passed, 1 failed, 77 skipped)
    nimo_e2e.py --nimo PATH --decode PATH --list   name the cases
    nimo_e2e.py --nimo PATH --footprint SECONDS    measure CPU time and peak memory of a running lamp
"""

import argparse
import ctypes
import ctypes.util
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import traceback

SCREEN_W, SCREEN_H = 1024, 768
LAMP_W, LAMP_H = 70, 180
SPLASH_W, SPLASH_H = 196, 160
DEADLINE = 15.0  # seconds for any one condition; generous for a loaded machine and ASan builds


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, deadline=DEADLINE, interval=0.05):
    """Polls probe() until it returns something truthy; fails with what after the deadline."""
    end = time.monotonic() + deadline
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


# --- a little Xlib through ctypes: selection owners, shapes and stacking, which no command-line tool tells


class XRectangle(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort), ("height", ctypes.c_ushort)]


class Xlib:
    def __init__(self, display_name):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xext = ctypes.CDLL(ctypes.util.find_library("Xext") or "libXext.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XInternAtom.restype = ctypes.c_ulong
        self.x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x11.XGetSelectionOwner.restype = ctypes.c_ulong
        self.x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xext.XShapeGetRectangles.restype = ctypes.POINTER(XRectangle)
        self.xext.XShapeGetRectangles.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                                  ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
        self.display = self.x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise Failure("cannot open display " + display_name)

    def close(self):
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None

    def selection_owner(self, name):
        atom = self.x11.XInternAtom(self.display, name.encode(), 0)
        self.x11.XSync(self.display, 0)
        return self.x11.XGetSelectionOwner(self.display, atom)

    def shape_rectangles(self, window):
        count, ordering = ctypes.c_int(0), ctypes.c_int(0)
        rects = self.xext.XShapeGetRectangles(self.display, window, 0, ctypes.byref(count), ctypes.byref(ordering))
        result = [(rects[i].x, rects[i].y, rects[i].width, rects[i].height) for i in range(count.value)]
        if rects:
            self.x11.XFree(rects)
        return result


# --- the session: display, window manager, tray, temporary folders, the program


class Session:
    def __init__(self, args, tray=True, screen=(SCREEN_W, SCREEN_H), wm=("openbox", "--sm-disable"), bus=False):
        self.args = args
        self.tray = tray
        self.wm = wm
        self.bus = bus  # a private session bus, for a window manager that keeps its settings there (xfwm4)
        self.screen = screen
        self.tray_proc = None
        self.procs = []
        self.tmp = tempfile.mkdtemp(prefix="nimo-e2e-")
        self.env = None
        self.display = None
        self.xlib = None
        self.nimo = None
        self.nimo_err = None

    # Folders: nothing of the real desktop is ever read or written.
    def _make_env(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_", "DBUS_", "QT_", "WAYLAND"))}
        for name in ("home", "config", "etc-xdg", "data", "share", "runtime"):
            os.makedirs(os.path.join(self.tmp, name), exist_ok=True)
        os.chmod(os.path.join(self.tmp, "runtime"), 0o700)
        env.update({
            "HOME": os.path.join(self.tmp, "home"),
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "config"),
            "XDG_CONFIG_DIRS": os.path.join(self.tmp, "etc-xdg"),
            "XDG_DATA_HOME": os.path.join(self.tmp, "data"),
            "XDG_DATA_DIRS": os.path.join(self.tmp, "share"),
            "XDG_RUNTIME_DIR": os.path.join(self.tmp, "runtime"),
            # No session bus: Qt falls back to the XEmbed tray that trayer offers.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.tmp, "no-bus"),
            "QT_QPA_PLATFORM": "xcb",
            "LC_ALL": "C",
            "LANG": "C",
            "DISPLAY": self.display,
        })
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        env.setdefault("LSAN_OPTIONS", "suppressions=" + os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan.supp"))
        return env

    def _spawn(self, argv, env=None, **kw):
        proc = subprocess.Popen(argv, env=env or self.env, stdin=subprocess.DEVNULL, start_new_session=True, **kw)
        self.procs.append(proc)
        return proc

    def start(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "%dx%dx24" % self.screen,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(xvfb)
        os.close(write_fd)
        number = b""
        end = time.monotonic() + DEADLINE
        while not number.endswith(b"\n"):
            check(time.monotonic() < end and xvfb.poll() is None, "Xvfb did not start")
            chunk = os.read(read_fd, 16)
            check(chunk, "Xvfb did not name its display")
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()
        self.env = self._make_env()
        self.xlib = Xlib(self.display)

        if self.bus:
            bus = os.path.join(self.tmp, "runtime", "bus")
            self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + bus
            self._spawn(["dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for("the session bus", lambda: os.path.exists(bus))
        # The window manager reads its installed configuration and theme, and writes only below HOME.
        wm_env = dict(self.env, XDG_CONFIG_DIRS="/etc/xdg", XDG_DATA_DIRS="/usr/local/share:/usr/share")
        wm = self._spawn(list(self.wm), env=wm_env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the window manager", lambda: "window id" in self.xprop_root("_NET_SUPPORTING_WM_CHECK")
                 and "_NET_WORKAREA(" in self.xprop_root("_NET_WORKAREA"))
        check(wm.poll() is None, "%s ended at start" % self.wm[0])
        if self.tray:
            self.start_tray()
        return self

    def start_tray(self):
        """Starts trayer, an XEmbed notification area, and waits until it owns the tray selection."""
        self.tray_proc = self._spawn(["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
                                      "--height", "24", "--SetDockType", "true", "--SetPartialStrut", "true",
                                      "--transparent", "false"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the notification area", lambda: self.xlib.selection_owner("_NET_SYSTEM_TRAY_S0"))

    def stop_tray(self):
        self.stop_proc(self.tray_proc)
        wait_for("the notification area to go", lambda: not self.xlib.selection_owner("_NET_SYSTEM_TRAY_S0"))

    def stop_proc(self, proc, sig=signal.SIGTERM):
        """Ends one process (and its group) this session started."""
        if proc.poll() is None:
            os.killpg(proc.pid, sig)
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()

    def stop(self):
        if self.xlib:
            self.xlib.close()
        # Reverse order: the program, then the tray and the window manager, then the X server.
        for proc in reversed(self.procs):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait()
        if self.nimo_err:
            self.nimo_err.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def __enter__(self):
        try:
            return self.start()
        except BaseException:
            self.stop()
            raise

    def __exit__(self, *exc):
        self.stop()

    # --- the program

    def settings_path(self):
        return os.path.join(self.tmp, "config", "Kestrel Ward", "nimo.conf")

    def write_settings(self, sections):
        os.makedirs(os.path.dirname(self.settings_path()), exist_ok=True)
        with open(self.settings_path(), "w") as f:
            for section, values in sections.items():
                f.write("[%s]\n" % section)
                for name, value in values.items():
                    f.write("%s=%d\n" % (name, value))

    def read_settings(self):
        result, section = {}, None
        if not os.path.exists(self.settings_path()):
            return result
        with open(self.settings_path()) as f:
            for line in f:
                line = line.strip()
                if line.startswith("["):
                    section = line[1:-1]
                elif "=" in line:
                    name, value = line.split("=", 1)
                    result.setdefault(section, {})[name] = int(value)
        return result

    def start_nimo(self, *switches, program=None, env=None):
        if self.nimo_err:
            self.nimo_err.close()
        self.nimo_err = open(os.path.join(self.tmp, "nimo.err"), "w+")
        self.nimo = self._spawn([program or self.args.nimo, *switches], env=env, stdout=subprocess.DEVNULL,
                                stderr=self.nimo_err)
        return self.nimo

    def nimo_stderr(self):
        self.nimo_err.flush()
        self.nimo_err.seek(0)
        return self.nimo_err.read()

    def wait_exit(self, deadline=DEADLINE):
        try:
            return self.nimo.wait(deadline)
        except subprocess.TimeoutExpired:
            raise Failure("nimo did not end in time")

    # --- looking at windows

    def run(self, *argv):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=DEADLINE).stdout

    def xprop_root(self, prop):
        return self.run("xprop", "-root", prop)

    def windows(self):
        """Viewable windows of the program as (id, geometry), geometry = (x, y, width, height)."""
        ids = self.run("xdotool", "search", "--onlyvisible", "--pid", str(self.nimo.pid)).split()
        result = []
        for wid in ids:
            geometry = self.geometry(int(wid))
            if geometry:
                result.append((int(wid), geometry))
        return result

    def geometry(self, wid):
        info = self.run("xwininfo", "-id", str(wid))
        fields = dict(re.findall(r"^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height|Map State):\s*(\S+)",
                                 info, re.M))
        if fields.get("Map State") != "IsViewable":
            return None
        return tuple(int(fields[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def window_of_size(self, w, h):
        for wid, geometry in self.windows():
            if geometry[2:] == (w, h):
                return wid, geometry
        return None

    def lamp(self):
        return wait_for("the lamp window", lambda: self.window_of_size(LAMP_W, LAMP_H))

    def move_to(self, x, y):
        """Moves the pointer and waits until it is there; xdotool's own wait never ends when the pointer is
        already at the place."""
        here = dict(re.findall(r"^(X|Y)=(\d+)", self.run("xdotool", "getmouselocation", "--shell"), re.M))
        if (int(here.get("X", -1)), int(here.get("Y", -1))) != (x, y):
            self.run("xdotool", "mousemove", "--sync", str(x), str(y))

    def net_wm_state(self, wid):
        return self.run("xprop", "-id", str(wid), "_NET_WM_STATE")

    def screenshot(self):
        """The whole screen as (width, height, rgb bytes)."""
        data = subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                              capture_output=True, timeout=DEADLINE).stdout
        return read_pnm(data)


# --- pictures


def read_pnm(data):
    """A binary PPM (P6) or PAM (P7, RGB_ALPHA) as (width, height, rgb bytes)."""
    if data.startswith(b"P6"):
        parts = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        w, h = int(parts.group(1)), int(parts.group(2))
        check(parts.group(3) == b"255", "the screenshot is not 8 bits per sample")
        return w, h, data[parts.end():parts.end() + w * h * 3]
    if data.startswith(b"P7"):
        end = data.index(b"ENDHDR\n") + len(b"ENDHDR\n")
        header = dict(re.findall(rb"(\w+) (\S+)", data[:end]))
        w, h = int(header[b"WIDTH"]), int(header[b"HEIGHT"])
        rgba = data[end:end + w * h * 4]
        rgb = bytearray(w * h * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = rgba[0::4], rgba[1::4], rgba[2::4]
        return w, h, bytes(rgb)
    raise Failure("not a PPM or PAM picture")


def crop(picture, x, y, w, h):
    pw, _, rgb = picture
    return b"".join(rgb[((y + row) * pw + x) * 3:((y + row) * pw + x + w) * 3] for row in range(h))


def tint(rgb, color):
    """The lamp's colour rule on red, green, blue triples (the rule is stated on blue, green, red bytes)."""
    out = bytearray(rgb)
    r, g, b = rgb[0::3], rgb[1::3], rgb[2::3]
    if color == 1:    # orange: red and blue exchanged
        out[0::3], out[2::3] = b, r
    elif color == 2:  # pink: red becomes blue
        out[0::3] = b
    elif color == 3:  # violet: red and green exchanged
        out[0::3], out[1::3] = g, r
    elif color == 4:  # green: blue becomes red
        out[2::3] = r
    elif color == 5:  # turquoise: blue becomes green
        out[2::3] = g
    elif color == 6:  # mistyrose: red becomes green
        out[0::3] = g
    return bytes(out)


# --- the cases


def shape_rows(rects):
    """Shape rectangles as sorted one-row runs (left, right, y)."""
    rows = []
    for x, y, w, h in rects:
        rows.extend((x, x + w, row) for row in range(y, y + h))
    return sorted(rows, key=lambda r: (r[2], r[0]))


def decoded_bitmap(args, tmp, bitmap):
    out = os.path.join(tmp, "bitmap-%d.pam" % bitmap)
    subprocess.run([args.decode, "--bitmap", str(bitmap), out], check=True, capture_output=True, timeout=DEADLINE)
    with open(out, "rb") as f:
        return read_pnm(f.read())


def mask_rows(args, tmp, bitmap=144):
    """The one-row runs of non-black pixels (any channel above 16) of a mask bitmap (the lamp's: 144)."""
    w, h, rgb = decoded_bitmap(args, tmp, bitmap)
    rows = []
    for y in range(h):
        x = 0
        while x < w:
            x0 = x
            while x < w and max(rgb[(y * w + x) * 3:(y * w + x) * 3 + 3]) > 16:
                x += 1
            if x > x0:
                rows.append((x0, x, y))
            x += 1
    return rows


def expect_at(session, x, y):
    wid, geometry = session.lamp()
    check(geometry[:2] == (x, y), "lamp opened at %s, expected (%d, %d)" % (geometry[:2], x, y))
    return wid


def case_first_run_window(args):
    """First run: centre of the screen, 70 x 180, shaped, above, out of task bar and pager."""
    with Session(args) as s:
        s.start_nimo("-Embedding")
        wid = expect_at(s, SCREEN_W // 2, SCREEN_H // 2)
        state = s.net_wm_state(wid)
        for atom in ("_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"):
            check(atom in state, "%s missing from %r" % (atom, state.strip()))
        # openbox has no sticky state: a window on every workspace is one whose desktop is 0xFFFFFFFF.
        desktop = s.run("xprop", "-id", str(wid), "_NET_WM_DESKTOP")
        check("= 4294967295" in desktop, "the lamp is not on every workspace: %r" % desktop.strip())
        # The X server keeps a shape as bands and joins rows with equal runs, so the shape is compared
        # row by row with the one-row rectangles the mask gives.
        runs = shape_rows(s.xlib.shape_rectangles(wid))
        expected = mask_rows(args, s.tmp)
        check(len(expected) == 177, "the mask gives %d one-row rectangles, expected 177" % len(expected))
        check(runs == expected, "the window's shape is not the mask's 177 rectangles: %d rows, first %r"
              % (len(runs), runs[:3]))
        left = min(r[0] for r in runs)
        right = max(r[1] for r in runs)
        top, bottom = runs[0][2], runs[-1][2] + 1
        check((left, top, right - left, bottom - top) == (5, 1, 61, 177),
              "outline extents %r, expected 61 x 177 at +5+1" % ((left, top, right - left, bottom - top),))
        # An ordinary window brought to the front over the lamp does not hide it.
        other = s._spawn(["xmessage", "-geometry", "300x300+%d+%d" % (SCREEN_W // 2 - 100, SCREEN_H // 2 - 50),
                          "in front"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # xmessage does not name its process on its window; it is the only one of its class here.
        other_wid = int(wait_for("the other window", lambda: s.run(
            "xdotool", "search", "--onlyvisible", "--class", "Xmessage").split()[:1] or None)[0])
        check(other.poll() is None, "xmessage ended")
        s.run("xdotool", "windowactivate", "--sync", str(other_wid))

        def lamp_above_other():
            stacking = re.findall(r"0x[0-9a-f]+", s.xprop_root("_NET_CLIENT_LIST_STACKING"))
            ids = [int(w, 16) for w in stacking]
            return other_wid in ids and wid in ids and ids.index(wid) > ids.index(other_wid)

        wait_for("the lamp to stay above the active window", lamp_above_other)
        check(s.nimo.poll() is None, "nimo ended early")
        # Another workspace: the window manager unmaps the other window, the lamp stays mapped where it was.
        s.run("xdotool", "set_desktop", "1")
        wait_for("the second workspace", lambda: "= 1" in s.xprop_root("_NET_CURRENT_DESKTOP"))
        wait_for("the other window to go with its workspace", lambda: not s.geometry(other_wid))
        check(s.geometry(wid) == (SCREEN_W // 2, SCREEN_H // 2, LAMP_W, LAMP_H),
              "the lamp left with the workspace: %r" % (s.geometry(wid),))
        s.run("xdotool", "set_desktop", "0")
        # No task-bar button: the program's only managed windows are the lamp (and nothing else listed).
        listed = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", s.xprop_root("_NET_CLIENT_LIST"))]
        ours = [w for w, _ in s.windows()]
        check([w for w in listed if w in ours] == [wid], "windows of ours managed besides the lamp")


def case_stored_position(args):
    """Opens where it was left, including a negative x and a value equal to the screen size."""
    for (x, y), expected in [((100, 150), (100, 150)), ((-20, 300), (-20, 300))]:
        with Session(args) as s:
            s.write_settings({"CNimoDlg": {"WndX": x, "WndY": y}, "Config": {"Color": 0}})
            s.start_nimo("/automation")
            expect_at(s, *expected)


def case_position_off_screen(args):
    """A stored value beyond the screen is replaced by that axis' centre; the other axis stays."""
    for (x, y), expected in [((3000, 100), (SCREEN_W // 2, 100)), ((200, 5000), (200, SCREEN_H // 2))]:
        with Session(args) as s:
            s.write_settings({"CNimoDlg": {"WndX": x, "WndY": y}})
            s.start_nimo("-EMBEDDING")
            expect_at(s, *expected)


def case_drag_then_escape(args):
    """Dragging with the left button moves the lamp; Escape stores where it was left and ends the program."""
    with Session(args) as s:
        s.write_settings({"CNimoDlg": {"WndX": 300, "WndY": 200}})
        s.start_nimo("-Embedding")
        wid = expect_at(s, 300, 200)
        grab_x, grab_y = 300 + 35, 200 + 90
        s.move_to(grab_x, grab_y)
        s.run("xdotool", "mousedown", "1")
        for step in range(1, 11):
            s.move_to(grab_x + 17 * step, grab_y + 9 * step)
        # The button is held until the lamp has caught up with the pointer, as a user's hand would.
        try:
            wait_for("the lamp to follow the mouse",
                     lambda: (lambda g: g and g[:2] == (470, 290))(s.geometry(wid)))
        except Failure:
            raise Failure("the dragged lamp is at %r, expected (470, 290)" % (s.geometry(wid),))
        s.run("xdotool", "mouseup", "1")
        moved = s.geometry(wid)
        check(moved[:2] == (470, 290), "the lamp moved on after the button was released: %r" % (moved,))
        s.run("xdotool", "windowactivate", "--sync", str(wid))
        s.run("xdotool", "windowfocus", "--sync", str(wid))
        s.run("xdotool", "key", "--window", str(wid), "Escape")
        code = s.wait_exit()
        check(code == 0, "nimo ended with %d" % code)
        stored = s.read_settings().get("CNimoDlg", {})
        check((stored.get("WndX"), stored.get("WndY")) == moved[:2],
              "stored position %r, lamp was at %r" % (stored, moved[:2]))
        check(s.read_settings().get("Config", {}).get("RunOnStartup") == 0, "RunOnStartup not stored at exit")


def case_enter_ends_program(args):
    """Enter with the lamp focused runs the same exit path as Escape. The program removes the legacy log-on
    entries and writes nothing but its settings file, all inside the test's own folders."""
    with Session(args) as s:
        legacy = [os.path.join(s.tmp, "config", "autostart", "NimoLampe.desktop"),
                  os.path.join(s.tmp, "etc-xdg", "autostart", "NimoLampe.desktop")]
        for path in legacy:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write("[Desktop Entry]\nType=Application\nName=NimoLampe\nExec=/old/nimo\n")
        s.start_nimo("-Embedding")
        wid, _ = s.lamp()
        check(not any(os.path.exists(p) for p in legacy), "a legacy log-on entry is still there")
        s.run("xdotool", "windowactivate", "--sync", str(wid))
        s.run("xdotool", "key", "--window", str(wid), "Return")
        check(s.wait_exit() == 0, "nimo did not end cleanly")
        stored = s.read_settings()
        check((stored["CNimoDlg"]["WndX"], stored["CNimoDlg"]["WndY"]) == (SCREEN_W // 2, SCREEN_H // 2),
              "position not stored: %r" % stored)
        check(stored["Config"]["RunOnStartup"] == 0, "RunOnStartup not stored")
        written = sorted(os.path.relpath(os.path.join(root, name), s.tmp)
                         for folder in ("config", "etc-xdg", "data", "share")
                         for root, _, names in os.walk(os.path.join(s.tmp, folder)) for name in names
                         if "openbox" not in root)
        check(written == [os.path.join("config", "Kestrel Ward", "nimo.conf")],
              "files written besides the settings: %r" % written)


def tray_icon(s):
    """The program's icon window embedded in the notification area."""
    def find():
        for wid, geometry in s.windows():
            if geometry[2:] != (LAMP_W, LAMP_H) and geometry[3] <= 64 and geometry[1] >= SCREEN_H - 64:
                return wid, geometry
        return None
    return wait_for("the tray icon", find)


def case_tray_double_click_exits(args):
    """The tray icon is embedded; a single click does nothing; a double click ends through SaveAndClose."""
    with Session(args) as s:
        s.write_settings({"CNimoDlg": {"WndX": 40, "WndY": 60}, "Config": {"RunOnStartup": 0}})
        s.start_nimo("-Embedding")
        s.lamp()
        wid, (x, y, w, h) = tray_icon(s)
        s.move_to(x + w // 2, y + h // 2)
        s.run("xdotool", "click", "1")
        lamp_still = s.lamp()
        check(s.nimo.poll() is None, "a single click on the tray icon ended the program")
        # Move the lamp through the stored settings' path: a double click must store where it stands.
        s.run("xdotool", "windowmove", "--sync", str(lamp_still[0]), "250", "120")
        wait_for("the lamp to move", lambda: (s.geometry(lamp_still[0]) or (0, 0))[:2] == (250, 120))
        s.move_to(x + w // 2, y + h // 2)
        s.run("xdotool", "click", "--repeat", "2", "--delay", "60", "1")
        check(s.wait_exit() == 0, "nimo did not end cleanly")
        stored = s.read_settings()
        check((stored["CNimoDlg"]["WndX"], stored["CNimoDlg"]["WndY"]) == (250, 120),
              "double click did not store the position: %r" % stored)
        # The icon left the notification area with the program: nothing stays embedded in trayer.
        check(not s.run("xdotool", "search", "--onlyvisible", "--pid", str(s.nimo.pid)).split(),
              "a window of the program is still shown")


def case_tray_menu(args):
    """A right-button release opens the tray menu at the pointer; its Exit item ends the program."""
    with Session(args) as s:
        s.start_nimo("-Embedding")
        s.lamp()
        wid, (x, y, w, h) = tray_icon(s)
        px, py = x + w // 2, y + h // 2
        s.move_to(px, py)
        known = {w for w, _ in s.windows()}
        s.run("xdotool", "mousedown", "3")

        def menu():
            for mw, g in s.windows():
                if mw not in known and g[3] > 100:
                    return mw, g
            return None

        # Pressing alone opens nothing: the menu waits for the release.
        end = time.monotonic() + 0.7
        while time.monotonic() < end:
            check(menu() is None, "the tray menu opened at the press of the right button")
            time.sleep(0.05)
        s.run("xdotool", "mouseup", "3")
        _, (mx, my, mw_, mh) = wait_for("the tray menu", menu)
        check(mx <= px + 1 and mx + mw_ >= px - 1 and (my <= py + 1 and my + mh >= py - 1 or my + mh <= py + 1),
              "menu at %r is not at the pointer (%d, %d)" % ((mx, my, mw_, mh), px, py))
        # The default item, Exit, is the first one.
        item_y = my + 12
        s.move_to(mx + 20, item_y)
        s.run("xdotool", "click", "1")
        check(s.wait_exit() == 0, "Exit from the tray menu did not end the program")
        check("CNimoDlg" in s.read_settings(), "Exit from the tray menu did not store the position")


def case_splash_shows_two_seconds(args):
    """The splash shows centred on the work area and goes away by itself after about two seconds."""
    with Session(args) as s:
        started = time.monotonic()
        s.start_nimo("--some", "/other", "switches")
        wid, geometry = wait_for("the splash", lambda: s.window_of_size(SPLASH_W, SPLASH_H))
        shown = time.monotonic()
        area = [int(v) for v in re.findall(r"-?\d+", s.xprop_root("_NET_WORKAREA").split("=", 1)[-1])[:4]]
        if len(area) == 4:
            cx, cy = area[0] + area[2] // 2, area[1] + area[3] // 2
            check(abs(geometry[0] + SPLASH_W // 2 - cx) <= 1 and abs(geometry[1] + SPLASH_H // 2 - cy) <= 1,
                  "splash at %r is not centred on the work area %r" % (geometry, area))
        wait_for("the splash to go", lambda: s.geometry(wid) is None, deadline=10)
        gone = time.monotonic()
        check(1.5 <= gone - started and gone - shown <= 3.5,
              "splash showed for %.2f s (%.2f s since start)" % (gone - shown, gone - started))
        check(s.nimo.poll() is None, "nimo ended with the splash")
        s.lamp()


def case_splash_click_only_removes_it(args):
    """A press while the splash is up removes it and nothing else: the lamp neither moves nor closes."""
    with Session(args) as s:
        s.write_settings({"CNimoDlg": {"WndX": 100, "WndY": 100}})
        s.start_nimo()
        splash, _ = wait_for("the splash", lambda: s.window_of_size(SPLASH_W, SPLASH_H))
        shown = time.monotonic()
        wid = expect_at(s, 100, 100)
        s.move_to(135, 190)
        s.run("xdotool", "mousedown", "1")
        wait_for("the splash to go at the press", lambda: s.geometry(splash) is None, deadline=1.5)
        if time.monotonic() - shown > 1.9:
            return skip("the machine was too slow to press before the splash's own time ran out")
        for step in range(1, 6):
            s.move_to(135 + 20 * step, 190 + 10 * step)
        s.run("xdotool", "mouseup", "1")
        # A key press on a lamp is swallowed the same way; only the splash's press is consumed, so a
        # later Escape would end the program: the lamp has stayed where it was.
        check(s.geometry(wid)[:2] == (100, 100), "the press that removed the splash dragged the lamp")
        check(s.nimo.poll() is None, "the press that removed the splash ended the program")


def case_splash_key_only_removes_it(args):
    """A key press while the splash is up is consumed: Escape removes the splash but does not exit."""
    with Session(args) as s:
        s.start_nimo()
        splash, _ = wait_for("the splash", lambda: s.window_of_size(SPLASH_W, SPLASH_H))
        shown = time.monotonic()
        wid, _ = s.lamp()
        s.run("xdotool", "windowactivate", "--sync", str(wid))
        s.run("xdotool", "key", "Escape")
        wait_for("the splash to go at the key", lambda: s.geometry(splash) is None, deadline=1.5)
        if time.monotonic() - shown > 1.9:
            return skip("the machine was too slow to press before the splash's own time ran out")
        # Had the key reached the lamp, SaveAndClose would store the position and end the program.
        end = time.monotonic() + 0.5
        while time.monotonic() < end:
            check(s.nimo.poll() is None and "CNimoDlg" not in s.read_settings(),
                  "the key that removed the splash reached the lamp")
            time.sleep(0.05)
        # The next Escape does reach it.
        s.run("xdotool", "key", "Escape")
        check(s.wait_exit() == 0 and "CNimoDlg" in s.read_settings(), "the second Escape did not end the program")


def decoded_frames(args, tmp, first=129):
    frames = []
    for n in range(100):
        out = os.path.join(tmp, "frame-%d.pam" % (first + n))
        subprocess.run([args.decode, "--resource", str(first + n), out], check=True, capture_output=True,
                       timeout=DEADLINE)
        with open(out, "rb") as f:
            frames.append(read_pnm(f.read()))
    return frames


def interpreter(program):
    """The dynamic loader an ELF64 program names (PT_INTERP), or None."""
    with open(program, "rb") as f:
        data = f.read(1 << 16)
    if data[:5] != b"\x7fELF\x02":
        return None
    phoff, = struct.unpack_from("<Q", data, 0x20)
    phentsize, phnum = struct.unpack_from("<HH", data, 0x36)
    for n in range(phnum):
        kind, _, offset, _, _, size = struct.unpack_from("<IIQQQQ", data, phoff + n * phentsize)
        if kind == 3:
            with open(program, "rb") as f:
                f.seek(offset)
                return f.read(size).rstrip(b"\0").decode()
    return None


def case_screenshot_shows_tinted_frame(args):
    """Mid-animation the lamp shows one of the decoded frames, tinted as Color says, inside its outline; also
    when started through the dynamic loader ("ld.so ./nimo"), where /proc/self/exe is the loader."""
    loader = interpreter(args.nimo)
    check(loader and os.access(loader, os.X_OK), "no dynamic loader named in %s" % args.nimo)
    with tempfile.TemporaryDirectory() as tmp:
        frames = decoded_frames(args, tmp)
    for color, through_loader in ((1, False), (4, False), (4, True)):
        with Session(args) as s:
            s.write_settings({"CNimoDlg": {"WndX": 200, "WndY": 150}, "Config": {"Color": color}})
            if through_loader:
                # The settings keep the program's name (the colour below shows they were read).
                s.start_nimo(args.nimo, "-Embedding", program=loader)
            else:
                s.start_nimo("-Embedding")
            wid = expect_at(s, 200, 150)
            rects = s.xlib.shape_rectangles(wid)
            check(rects, "the lamp has no outline")
            inside = [(x, r[1]) for r in rects for x in range(r[0], r[0] + r[2])]
            first = crop(s.screenshot(), 200, 150, LAMP_W, LAMP_H)
            # Mid-animation: wait until the picture has changed at least once.
            shot = wait_for("the lamp to animate",
                            lambda: (lambda c: c if c != first else None)(crop(s.screenshot(), 200, 150, LAMP_W, LAMP_H)))

            def distance(reference):
                total = 0
                for x, y in inside:
                    i = (y * LAMP_W + x) * 3
                    total += abs(shot[i] - reference[i]) + abs(shot[i + 1] - reference[i + 1]) + \
                        abs(shot[i + 2] - reference[i + 2])
                return total / len(inside)

            tinted = [distance(tint(f[2], color)) for f in frames]
            plain = [distance(f[2]) for f in frames]
            best = min(range(100), key=lambda n: tinted[n])
            check(tinted[best] == 0, "colour %d: closest tinted frame %d differs by %.2f per pixel"
                  % (color, best, tinted[best]))
            check(min(plain) > 5, "colour %d: the lamp shows an untinted frame" % color)


def case_scale_two_shows_fine_pictures(args):
    """At a scale factor of 2 the splash and the About box show the 2x product picture, the lamp's shape is
    the 2x mask at device pixels and the lamp shows the 2x frames, tinted."""
    color, scale = 5, 2
    w, h = LAMP_W * scale, LAMP_H * scale
    with Session(args) as s:
        # Clear of the centred splash: the lamp is looked at while the splash is still up.
        s.write_settings({"CNimoDlg": {"WndX": 20, "WndY": 20}, "Config": {"Color": color}})
        s.start_nimo(env=dict(s.env, QT_SCALE_FACTOR=str(scale)))

        picture = decoded_bitmap(args, s.tmp, 1135)
        check(picture[:2] == (SPLASH_W * scale, SPLASH_H * scale), "the 2x product picture is %dx%d" % picture[:2])
        _, at = wait_for("the splash at 2x", lambda: s.window_of_size(*picture[:2]))
        wait_for("the splash to show the 2x picture",
                 lambda: crop(s.screenshot(), at[0], at[1], *picture[:2]) == picture[2], deadline=3)

        wid, geometry = wait_for("the lamp at 2x", lambda: s.window_of_size(w, h))
        check(geometry[:2] == (20 * scale, 20 * scale), "lamp at %r, expected (40, 40)" % (geometry[:2],))
        runs = shape_rows(s.xlib.shape_rectangles(wid))
        expected = mask_rows(args, s.tmp, 1144)
        check(runs == expected, "the window's shape is not the 2x mask's %d rows: %d rows, first %r"
              % (len(expected), len(runs), runs[:3]))
        # Rows and edges a doubled 1x outline cannot have: the shape is in device pixels.
        check(any(r[0] % 2 or r[1] % 2 for r in runs) and any(a[:2] != b[:2] for a, b in zip(runs[0::2], runs[1::2])),
              "the shape steps two device pixels at a time")

        # Compared inside the outline, one run of pixels at a time.
        spans = [((y * w + x0) * 3, (y * w + x1) * 3) for x0, x1, y in runs]
        plain = decoded_frames(args, s.tmp, 1129)
        check(all(f[:2] == (w, h) for f in plain), "the 2x frames are not %dx%d" % (w, h))
        frames = [tint(f[2], color) for f in plain]

        def shown_frame():
            shot = crop(s.screenshot(), geometry[0], geometry[1], w, h)
            for n, frame in enumerate(frames):
                if all(shot[a:b] == frame[a:b] for a, b in spans):
                    return (n, shot)
            return None

        first, shot = wait_for("the lamp to show a tinted 2x frame", shown_frame)
        differing = sum(shot[a:b] != plain[first][2][a:b] for a, b in spans)
        check(differing > len(spans) // 2, "the lamp shows frame %d untinted" % first)
        # Mid-animation: another tinted 2x frame follows.
        wait_for("the next tinted 2x frame", lambda: (lambda f: f and f[0] != first)(shown_frame()))

        # The About box from the lamp's menu shows the 2x product picture, one pixel on one device pixel.
        wait_for("the splash to go", lambda: not s.window_of_size(*picture[:2]))
        known = {wid for wid, _ in s.windows()}
        s.run("xdotool", "mousemove", str(geometry[0] + 60), str(geometry[1] + 180), "click", "3")
        wait_for("the popup menu", lambda: [w for w, _ in s.windows() if w not in known])
        s.run("xdotool", "key", "b")

        def about_box():
            for found in s.run("xdotool", "search", "--onlyvisible", "--pid", str(s.nimo.pid), "--name",
                               r"^About Nimo\.\.\.$").split():
                box = s.geometry(int(found))
                # The tray icon's window bears the same title.
                if box and int(found) not in known:
                    return box
            return None

        box = wait_for("the About box", about_box)
        pw, ph, pixels = picture

        # Qt's way to the screen leaves the label's colours a step or two off; the 1x picture doubled
        # differs by up to 134.
        def near(a, b):
            return max(abs(p - q) for p, q in zip(a, b)) <= 4

        samples = [(x, y) for y in range(0, ph, 23) for x in range(0, pw, 29)]

        def picture_in_box():
            area = crop(s.screenshot(), box[0], box[1], box[2], box[3])

            def at(x, y):
                i = (y * box[2] + x) * 3
                return area[i:i + 3]

            r, g, b = pixels[:3]
            for y0 in range(box[3] - ph + 1):
                for x0 in range(box[2] - pw + 1):
                    i = (y0 * box[2] + x0) * 3
                    # The corner first: a quick way past the dialog's own pixels.
                    if abs(area[i] - r) > 4 or abs(area[i + 1] - g) > 4 or abs(area[i + 2] - b) > 4:
                        continue
                    if all(near(at(x0 + x, y0 + y), pixels[(y * pw + x) * 3:(y * pw + x) * 3 + 3])
                           for x, y in samples):
                        return near(crop((box[2], box[3], area), x0, y0, pw, ph), pixels)
            return False

        wait_for("the About box to show the 2x picture", picture_in_box)


def frame_log(path):
    """The frame indices the lamp has drawn so far, from its NIMO_FRAME_LOG file."""
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [int(line) for line in f.read().split()]


def wait_still(what, probe, quiet=1.5, deadline=DEADLINE):
    """Waits until probe() has returned the same value for quiet seconds; returns that value."""
    end = time.monotonic() + deadline
    value, since = probe(), time.monotonic()
    while time.monotonic() - since < quiet:
        check(time.monotonic() < end, "timed out waiting for " + what)
        time.sleep(0.1)
        now = probe()
        if now != value:
            value, since = now, time.monotonic()
    return value


def case_screen_saver_pauses_frames(args):
    """No frame is drawn while the screen saver is on; afterwards the lamp goes on at the frame it would have
    reached meanwhile."""
    interval = 0.19
    with Session(args) as s:
        log = os.path.join(s.tmp, "frames.log")
        s.env["NIMO_FRAME_LOG"] = log
        s.start_nimo("-Embedding")
        s.lamp()
        wait_for("frames being drawn", lambda: len(frame_log(log)) >= 5)

        s.run("xset", "s", "activate")
        paused = wait_still("the frames to stop", lambda: frame_log(log))
        paused_at = time.monotonic()
        # Ten frames' time with the screen saver on: nothing may be drawn.
        time.sleep(10 * interval)
        check(frame_log(log) == paused, "frames were drawn while the screen saver was on: %s"
              % frame_log(log)[len(paused):])

        s.run("xset", "s", "reset")
        resumed = wait_for("frames again after the screen saver", lambda: frame_log(log)[len(paused):])
        resumed_at = time.monotonic()
        # The first frame after the pause is the one the clock has reached, not the one after the last shown.
        # The last frame came at most 1.5 s + one interval before paused_at (the quiet wait above).
        skipped = (resumed[0] - paused[-1]) % 100
        least = int((resumed_at - paused_at) / interval) - 3
        most = int((resumed_at - paused_at + 1.5 + interval) / interval) + 3
        check(least <= skipped <= most, "resumed at frame %d after %d, %d frames on; %d to %d were due"
              % (resumed[0], paused[-1], skipped, least, most))
        check(s.nimo.poll() is None, "nimo ended")


def case_install(args):
    """cmake --install puts the program, the decoder, the desktop entry, the AppStream metadata, the manual
    pages and the theme icons under the prefix, so that a desktop menu built from that prefix lists the
    program with its icon."""
    if not args.build or not shutil.which("cmake"):
        return skip("no build folder to install from")
    prefix = tempfile.mkdtemp(prefix="nimo-install-")
    try:
        result = subprocess.run(["cmake", "--install", args.build, "--prefix", prefix], capture_output=True,
                                text=True, timeout=120)
        check(result.returncode == 0, "cmake --install failed: " + result.stderr)
        for program in ("nimo", "nimo-decode"):
            path = os.path.join(prefix, "bin", program)
            check(os.access(path, os.X_OK), "%s is not installed as a program" % path)
        entry_path = os.path.join(prefix, "share", "applications", "example.kestrelward.Nimo.desktop")
        check(os.path.exists(entry_path), "no desktop entry")
        for path in (("metainfo", "example.kestrelward.Nimo.metainfo.xml"), ("man", "man1", "nimo.1.gz"),
                     ("man", "man1", "nimo-decode.1.gz")):
            check(os.path.exists(os.path.join(prefix, "share", *path)), "missing " + "/".join(path))
        entry = {}
        with open(entry_path, encoding="utf-8") as f:
            check(f.readline().strip() == "[Desktop Entry]", "the desktop entry does not start with its group")
            for line in f:
                if "=" in line and not line.startswith("#"):
                    key, value = line.rstrip("\n").split("=", 1)
                    entry[key] = value
        for key, value in (("Type", "Application"), ("Exec", "nimo"), ("Icon", "nimo"), ("Terminal", "false")):
            check(entry.get(key) == value, "desktop entry %s is %r, expected %r" % (key, entry.get(key), value))
        check(entry.get("Name") and entry.get("Categories", "").endswith(";"), "desktop entry lacks Name or Categories")
        for size in (16, 24, 48, 64, 128, 256):
            icon = os.path.join(prefix, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps", "nimo.png")
            check(os.path.exists(icon), "missing icon " + icon)
            with open(icon, "rb") as f:
                header = f.read(24)
            check(header[:8] == b"\x89PNG\r\n\x1a\n", icon + " is not a PNG")
            width, height = int.from_bytes(header[16:20], "big"), int.from_bytes(header[20:24], "big")
            check((width, height) == (size, size), "%s is %dx%d" % (icon, width, height))
    finally:
        shutil.rmtree(prefix, ignore_errors=True)


def skip(reason):
    print("SKIPPED: " + reason)
    return 77


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def footprint(args, seconds):
    """CPU time per minute and peak resident memory of the lamp running for the given time."""
    with Session(args) as s:
        s.start_nimo("-Embedding")
        s.lamp()
        tick = os.sysconf("SC_CLK_TCK")

        def cpu():
            with open("/proc/%d/stat" % s.nimo.pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / tick

        start_cpu, start = cpu(), time.monotonic()
        end = start + seconds
        while time.monotonic() < end:
            check(s.nimo.poll() is None, "nimo ended while being measured")
            time.sleep(min(1.0, max(0.0, end - time.monotonic())))
        used, elapsed = cpu() - start_cpu, time.monotonic() - start
        with open("/proc/%d/status" % s.nimo.pid) as f:
            status = dict(line.split(":", 1) for line in f if ":" in line)
        print("ran %.1f s: CPU %.2f s (%.2f s per minute, %.1f %% of one core); peak resident %s; now %s"
              % (elapsed, used, used * 60 / elapsed, 100 * used / elapsed, status["VmHWM"].strip(),
                 status["VmRSS"].strip()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nimo", required=True)
    parser.add_argument("--decode")
    parser.add_argument("--build", help="the build folder, for the install case")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--footprint", type=float)
    parser.add_argument("case", nargs="?")
    args = parser.parse_args()
    if args.list:
        print("\n".join(CASES))
        return 0
    if args.footprint:
        missing = missing_tools()
        if missing:
            return skip("missing " + ", ".join(missing))
        footprint(args, args.footprint)
        return 0
    return run_case(CASES, args)


def missing_tools():
    return [t for t in ("Xvfb", "openbox", "trayer", "xdotool", "xprop", "xwininfo", "import", "xmessage", "xset")
            if not shutil.which(t)]


def script_main(cases):
    """The command line of a script that runs one of its cases: --nimo PATH CASE."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--nimo", required=True)
    parser.add_argument("case")
    return run_case(cases, parser.parse_args())


def run_case(cases, args):
    """Runs the case args.case of cases: 0 passed, 1 failed, 2 unknown, 77 skipped."""
    missing = missing_tools()
    if missing:
        return skip("missing " + ", ".join(missing))
    if args.case not in cases:
        print("unknown case %r; cases: %s" % (args.case, ", ".join(cases)))
        return 2
    try:
        result = cases[args.case](args)
    except Failure as failure:
        print("FAILED: %s: %s" % (args.case, failure))
        return 1
    except Exception:
        traceback.print_exc()
        return 1
    if result == 77:
        return 77
    print("passed: " + args.case)
    return 0

if __name__ == "__main__":
    sys.exit(main())
