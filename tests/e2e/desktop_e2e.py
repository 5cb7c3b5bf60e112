#!/usr/bin/env python3
"""End-to-end tests of the lamp on a real Linux desktop, on the session of nimo_e2e.py (Xvfb, openbox,
trayer, temporary HOME and XDG folders): dialogs above the lamp, a lamp without a tray, the session's end,
screen layouts, one program per session, fast clicks. Cases are grouped by start-up; every wait has a
deadline.

    desktop_e2e.py --nimo PATH CASE     run one case (exit 0 passed, 1 failed, 77 skipped)
"""

import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from nimo_e2e import (LAMP_H, LAMP_W, SCREEN_H, SCREEN_W, Failure, Session, check, crop, expect_at,  # noqa: E402
                      script_main, skip, tray_icon, wait_for)
from lamp_commands_e2e import new_window, open_menu  # noqa: E402


def stacking(s):
    return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", s.xprop_root("_NET_CLIENT_LIST_STACKING"))]


def check_above(s, dialog, lamp, what):
    def above():
        ids = stacking(s)
        return dialog in ids and lamp in ids and ids.index(dialog) > ids.index(lamp)
    try:
        wait_for("%s above the lamp" % what, above)
    except Failure:
        raise Failure("%s is stacked under the lamp: %r (dialog %#x, lamp %#x)" % (what, stacking(s), dialog, lamp))
    transient = s.run("xprop", "-id", str(dialog), "WM_TRANSIENT_FOR")
    check("%#x" % lamp in transient, "%s is not transient for the lamp: %r" % (what, transient.strip()))


def check_centred_on_work_area(s, wid):
    """The window (its frame's decorations aside) stands in the middle of the work area, which the tray's
    strut makes shorter than the screen."""
    area = [int(v) for v in re.findall(r"\d+", s.xprop_root("_NET_WORKAREA").split("=", 1)[1])[:4]]
    x, y, w, h = s.geometry(wid)
    centre, wanted = (x + w // 2, y + h // 2), (area[0] + area[2] // 2, area[1] + area[3] // 2)
    check(abs(centre[0] - wanted[0]) <= 16 and abs(centre[1] - wanted[1]) <= 24,
          "the About box's centre %r is not the work area's %r (%r)" % (centre, wanted, area))


def fake_program(s, name, record):
    """A program on PATH that writes its arguments and its environment into record (.args, .env)."""
    folder = os.path.join(s.tmp, "bin")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\nenv > '%s.env'\nprintf '%%s\\n' \"$@\" > '%s.args'\n" % (record, record))
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
    return folder


def read_lines(path):
    with open(path) as f:
        return f.read().splitlines()


def case_dialogs_above_and_fast_clicks(args):
    """At the default place the lamp covers the middle of the screen: Configure and About open above it
    and a click on Configure's "Random" reaches the button. A double click sent within 40 ms opens the
    product page; the browser gets the environment the lamp was started with (no QT_QPA_PLATFORM)."""
    with Session(args) as s:
        s.write_settings({"Config": {"Color": 0}})
        record = os.path.join(s.tmp, "opened")
        env = {k: v for k, v in s.env.items() if k != "QT_QPA_PLATFORM"}
        env["PATH"] = fake_program(s, "xdg-open", record) + os.pathsep + env.get("PATH", "")
        s.start_nimo("-Embedding", env=env)
        lamp = expect_at(s, SCREEN_W // 2, SCREEN_H // 2)
        lx, ly = SCREEN_W // 2, SCREEN_H // 2

        open_menu(s, lx + 35, ly + 100)
        known = {w for w, _ in s.windows()}
        s.run("xdotool", "key", "c")
        dialog, (dx, dy, dw, dh) = wait_for("the Configure dialog", lambda: new_window(s, known, "Configure..."))
        check_above(s, dialog, lamp, "Configure")
        # "&Random" lies at 77, 101 (43 x 10) in the template's 136 x 159 dialog units; the lamp stands over it.
        rx, ry = dx + (77 + 8) * dw // 136, dy + (101 + 5) * dh // 159
        s.run("xdotool", "mousemove", "--sync", str(rx), str(ry), "click", "1")
        s.run("xdotool", "key", "Return")
        wait_for("the dialog to close", lambda: not s.geometry(dialog))
        # The choice is stored once the dialog's loop has returned, a moment after its window is gone.
        try:
            wait_for("Random to be stored", lambda: s.read_settings().get("Config", {}).get("Color") == 7)
        except Failure:
            raise Failure("the click on Random did not reach it: Color %r" % s.read_settings().get("Config"))

        open_menu(s, lx + 30, ly + 90)
        known = {w for w, _ in s.windows()}
        s.run("xdotool", "key", "b")
        about, _ = wait_for("the About box", lambda: new_window(s, known, "About Nimo..."))
        check_above(s, about, lamp, "About")
        check_centred_on_work_area(s, about)
        s.run("xdotool", "windowactivate", "--sync", str(about))
        s.run("xdotool", "key", "Return")
        wait_for("the About box to close", lambda: not s.geometry(about))

        # Two clicks 40 ms apart: no window-manager move may swallow the second.
        s.run("xdotool", "mousemove", "--sync", str(lx + 35), str(ly + 120))
        s.run("xdotool", "click", "--repeat", "2", "--delay", "40", "1")
        wait_for("the product page to be opened", lambda: os.path.exists(record + ".args"))
        opened = wait_for("the address", lambda: read_lines(record + ".args"))
        check(len(opened) == 1 and opened[0].startswith("http://"), "opened %r" % opened)
        child = dict(line.split("=", 1) for line in read_lines(record + ".env") if "=" in line)
        check("QT_QPA_PLATFORM" not in child, "the browser inherited QT_QPA_PLATFORM=%s" % child.get("QT_QPA_PLATFORM"))
        check(child.get("DISPLAY") == s.display, "the browser lost DISPLAY")
        check(s.geometry(lamp)[:2] == (lx, ly), "the double click moved the lamp")
        check(s.nimo.poll() is None, "nimo ended")


def tray_menu_opens_on_release(s):
    """A right press on the embedded icon opens nothing; the release opens the tray menu, which Escape closes."""
    _, (x, y, w, h) = tray_icon(s)
    px, py = x + w // 2, y + h // 2
    s.move_to(px, py)
    known = {wid for wid, _ in s.windows()}

    def menu():
        for wid, g in s.windows():
            if wid not in known and g[3] > 100:
                return wid, g
        return None

    s.run("xdotool", "mousedown", "3")
    end = time.monotonic() + 0.7
    while time.monotonic() < end:
        check(menu() is None, "the tray menu opened at the press of the right button")
        time.sleep(0.05)
    s.run("xdotool", "mouseup", "3")
    wid, _ = wait_for("the tray menu", menu)
    s.run("xdotool", "key", "Escape")
    wait_for("the tray menu to close", lambda: not s.geometry(wid))


def case_tray_appears_late_and_comes_back(args):
    """Without a notification area the lamp starts and plays, and one line says the icon waits; a tray
    started 3 s later gets the icon, and a restarted one gets it back, with its menu on the release."""
    with Session(args, tray=False) as s:
        s.write_settings({"CNimoDlg": {"WndX": 200, "WndY": 150}, "Config": {"Color": 0}})
        s.start_nimo("-Embedding")
        expect_at(s, 200, 150)
        first = crop(s.screenshot(), 200, 150, LAMP_W, LAMP_H)
        wait_for("the lamp to play", lambda: crop(s.screenshot(), 200, 150, LAMP_W, LAMP_H) != first)
        lines = [line for line in s.nimo_stderr().splitlines() if "notification area" in line]
        check(len(lines) == 1 and "waits" in lines[0], "expected one line about the waiting icon: %r" % s.nimo_stderr())

        time.sleep(3)  # a panel that comes up late, as at log-in
        s.start_tray()
        tray_icon(s)
        tray_menu_opens_on_release(s)

        s.stop_tray()
        wait_for("the icon to leave with the tray", lambda: not any(
            g[2:] != (LAMP_W, LAMP_H) and g[1] >= SCREEN_H - 64 for _, g in s.windows()))
        s.start_tray()
        tray_icon(s)
        tray_menu_opens_on_release(s)
        check(s.nimo.poll() is None, "nimo ended")


def case_session_end_keeps_everything(args):
    """Dragged, "Run on system start up" switched on, the program file replaced (an upgrade), then SIGTERM:
    position, RunOnStartup and the autostart entry (with the path as it was at start-up) are kept; a new
    start and Exit keep the entry."""
    with Session(args) as s:
        s.write_settings({"CNimoDlg": {"WndX": 300, "WndY": 200}, "Config": {"Color": 0}})
        folder = os.path.join(s.tmp, "bin")
        os.makedirs(folder)
        program = os.path.join(folder, "nimo")
        shutil.copy2(args.nimo, program)
        s.start_nimo("-Embedding", program=program)
        wid = expect_at(s, 300, 200)

        grab = (300 + 35, 200 + 90)
        s.move_to(*grab)
        s.run("xdotool", "mousedown", "1")
        for n in range(1, 11):
            s.move_to(grab[0] + 17 * n, grab[1] + 9 * n)
        wait_for("the lamp to follow the mouse", lambda: (s.geometry(wid) or (0, 0))[:2] == (470, 290))
        s.run("xdotool", "mouseup", "1")

        open_menu(s, 470 + 35, 290 + 100)
        s.run("xdotool", "key", "r")
        entry = os.path.join(s.tmp, "config", "autostart", "nimo.desktop")
        wait_for("the autostart entry", lambda: os.path.exists(entry))

        # An upgrade replaces the file while the program runs.
        shutil.copy2(args.nimo, program + ".new")
        os.replace(program + ".new", program)

        s.nimo.send_signal(signal.SIGTERM)
        check(s.wait_exit() == 0, "nimo did not end cleanly at SIGTERM")
        stored = s.read_settings()
        check((stored.get("CNimoDlg", {}).get("WndX"), stored.get("CNimoDlg", {}).get("WndY")) == (470, 290),
              "position at SIGTERM not stored: %r" % stored)
        check(stored.get("Config", {}).get("RunOnStartup") == 1, "RunOnStartup not stored: %r" % stored)
        check(os.path.exists(entry), "the autostart entry is gone")
        with open(entry) as f:
            execs = [line for line in f.read().splitlines() if line.startswith("Exec=")]
        check(execs == ["Exec=" + program], "autostart entry says %r, expected Exec=%s" % (execs, program))

        s.start_nimo("-Embedding", program=program)
        expect_at(s, 470, 290)
        open_menu(s, 470 + 30, 290 + 90)
        s.run("xdotool", "key", "e")
        check(s.wait_exit() == 0, "Exit did not end the program cleanly")
        check(os.path.exists(entry), "the next Exit removed the autostart entry")


LEFT = (0, 0, 1280, 1024)
PRIMARY = (1280, 0, 1024, 768)


def case_two_screens_primary_on_the_right(args):
    """Two monitors side by side with the primary on the right: the first start opens at the primary's
    centre, a stored place on the other monitor is kept, one on no monitor gives the primary's centre."""
    if not shutil.which("xrandr"):
        return skip("xrandr is missing")
    with Session(args, tray=False, screen=(LEFT[2] + PRIMARY[2], LEFT[3])) as s:
        def monitor(name, r):
            return [name, "%d/%dx%d/%d+%d+%d" % (r[2], r[2] * 254 // 960, r[3], r[3] * 254 // 960, r[0], r[1])]
        result = subprocess.run(["xrandr", "--setmonitor", *monitor("*right", PRIMARY), "screen"], env=s.env,
                                capture_output=True, text=True, timeout=15)
        check(result.returncode == 0, "xrandr --setmonitor failed: " + result.stderr)
        subprocess.run(["xrandr", "--setmonitor", *monitor("left", LEFT), "none"], env=s.env, check=True,
                       capture_output=True, timeout=15)
        listed = s.run("xrandr", "--listmonitors")
        check("*right" in listed or "+*right" in listed, "no primary monitor: " + listed)
        centre = (PRIMARY[0] + PRIMARY[2] // 2, PRIMARY[1] + PRIMARY[3] // 2)
        for settings, expected in [({}, centre),
                                   ({"CNimoDlg": {"WndX": 100, "WndY": 800}}, (100, 800)),
                                   ({"CNimoDlg": {"WndX": -3000, "WndY": 300}}, centre)]:
            if os.path.exists(s.settings_path()):
                os.remove(s.settings_path())
            s.write_settings(dict(settings, Config={"Color": 0}))
            s.start_nimo("-Embedding")
            expect_at(s, *expected)
            s.stop_proc(s.nimo)


def case_second_start_shows_the_first(args):
    """A second start in the same session ends with status 0 within 2 s and shows the first one's lamp
    (iconified before); one lamp and one tray icon remain. A socket left by a killed run is no obstacle."""
    with Session(args) as s:
        runtime = os.path.join(s.tmp, "runtime")
        first = s.start_nimo("-Embedding")
        wid, _ = s.lamp()
        tray_icon(s)
        s.run("xdotool", "windowminimize", "--sync", str(wid))
        wait_for("the lamp to be iconified", lambda: s.geometry(wid) is None)

        started = time.monotonic()
        second = subprocess.run([args.nimo, "-Embedding"], env=s.env, capture_output=True, timeout=15)
        took = time.monotonic() - started
        check(second.returncode == 0, "the second start ended with %d" % second.returncode)
        check(took < 2.0, "the second start took %.2f s" % took)
        wait_for("the first lamp to show again", lambda: s.geometry(wid))
        check(first.poll() is None, "the first program ended")
        ours = [w for w, g in s.windows()]
        lamps = [w for w, g in s.windows() if g[2:] == (LAMP_W, LAMP_H)]
        check(lamps == [wid], "lamps shown: %r" % lamps)
        icons = [w for w in ours if w != wid]
        check(len(icons) == 1, "tray icons: %r" % icons)

        # A crashed run leaves its socket behind; the next start takes over.
        s.stop_proc(first, signal.SIGKILL)
        check(any(name.startswith("nimo-") for name in os.listdir(runtime)), "no socket in the runtime folder")
        s.start_nimo("-Embedding")
        s.lamp()


PANEL_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""


class StatusNotifierDesktop:
    """A private session bus in the test's runtime folder and XFCE's panel with its Status Tray on it, its
    configuration written into the test's folders first so that no first-run question appears."""

    def __init__(self, s):
        self.s = s
        bus = os.path.join(s.tmp, "runtime", "bus")
        self.env = dict(s.env, DBUS_SESSION_BUS_ADDRESS="unix:path=" + bus, NO_AT_BRIDGE="1")
        folder = os.path.join(s.tmp, "config", "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "xfce4-panel.xml"), "w") as f:
            f.write(PANEL_CONFIG)
        # The bus starts the panel's settings service itself, with this environment.
        s._spawn(["dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus], env=self.env,
                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the session bus", lambda: os.path.exists(bus))

    def start_panel(self):
        # The panel finds its plugins in the system's data folders; its settings stay in the test's.
        env = dict(self.env, XDG_DATA_DIRS="/usr/local/share:/usr/share")
        self.s._spawn(["xfce4-panel"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the status notifier watcher", lambda: "StatusNotifierWatcher" in self.call(
            "org.freedesktop.DBus", "/", "org.freedesktop.DBus.ListNames"))

    def call(self, dest, path, method, *arguments, timeout=5000):
        result = subprocess.run(["dbus-send", "--session", "--print-reply", "--reply-timeout=%d" % timeout,
                                 "--dest=" + dest, path, method, *arguments], env=self.env, capture_output=True,
                                text=True, timeout=DEADLINE_CALL)
        return result.stdout if result.returncode == 0 else ""

    def get(self, dest, path, interface, name):
        return self.call(dest, path, "org.freedesktop.DBus.Properties.Get", "string:" + interface, "string:" + name)

    def items(self):
        reply = self.get("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                         "RegisteredStatusNotifierItems")
        return re.findall(r'string "([^"]+)"', reply)

    def panel(self):
        ids = self.s.run("xdotool", "search", "--onlyvisible", "--class", "xfce4-panel").split()
        for wid in ids:
            geometry = self.s.geometry(int(wid))
            if geometry and geometry[2] > 100:
                return geometry
        return None

    def icon_centre(self):
        """The centre of the one item in the panel: the first run of columns, in the panel's middle rows,
        with pixels other than the panel's background (its edges draw lines of their own)."""
        x, y, w, h = wait_for("the panel", self.panel)

        def find():
            pw, _, rgb = self.s.screenshot()
            rows = range(h // 4, 3 * h // 4)
            pixel = lambda col, row: rgb[((y + row) * pw + x + col) * 3:((y + row) * pw + x + col) * 3 + 3]
            background = pixel(w // 2, h // 2)
            cols = [col for col in range(2, w - 2) if any(pixel(col, row) != background for row in rows)]
            if len(cols) < 4:
                return None
            end = 0
            while end + 1 < len(cols) and cols[end + 1] == cols[end] + 1:
                end += 1
            return x + (cols[0] + cols[end]) // 2, y + h // 2
        return wait_for("the item's icon in the panel", find)


DEADLINE_CALL = 15


def startup_toggle(desktop, service, menu_object):
    """The (toggle-type, toggle-state) that the exported menu gives "Run on system start up", None for each
    property it lacks."""
    layout = desktop.call(service, menu_object, "com.canonical.dbusmenu.GetLayout", "int32:0", "int32:-1",
                          "array:string:label,toggle-type,toggle-state")
    start = layout.find("Run on system start up")
    if start < 0:
        return None
    end = layout.find('string "label"', start)
    item = layout[start:end if end >= 0 else len(layout)]
    kind = re.search(r'string "toggle-type"\s*variant\s*string "(\w+)"', item)
    state = re.search(r'string "toggle-state"\s*variant\s*int32 (-?\d+)', item)
    return kind and kind.group(1), state and int(state.group(1))


def case_status_notifier_tray(args):
    """XFCE's Status Tray, started 5 s after the lamp on a private session bus, gets the item: titled
    "Nimo", with its menu exported; the host's ContextMenu call returns at once; a right click shows our
    menu (About opens above the lamp); a double click ends the program through the Exit path."""
    if not shutil.which("xfce4-panel") or not shutil.which("dbus-daemon") or not shutil.which("dbus-send"):
        return skip("xfce4-panel or D-Bus tools missing")
    with Session(args, tray=False) as s:
        desktop = StatusNotifierDesktop(s)
        s.write_settings({"CNimoDlg": {"WndX": 200, "WndY": 300}, "Config": {"Color": 0}})
        s.start_nimo("-Embedding", env=desktop.env)
        lamp = expect_at(s, 200, 300)
        time.sleep(5)  # the panel comes up late, as at log-in
        desktop.start_panel()
        item = wait_for("our item to register", lambda: desktop.items())[0]
        service, path = item.split("/", 1) if not item.startswith("/") else (item, "/StatusNotifierItem")
        path = "/" + path
        title = desktop.get(service, path, "org.kde.StatusNotifierItem", "Title")
        check('"Nimo"' in title, "item title %r" % title.strip())
        menu_path = desktop.get(service, path, "org.kde.StatusNotifierItem", "Menu")
        check("/NO_DBUSMENU" not in menu_path and "object path" in menu_path, "no menu exported: %r" % menu_path)

        # "Run on system start up" carries its check mark over DBusMenu and follows the setting.
        menu_object = re.search(r'object path "([^"]+)"', menu_path).group(1)
        check(startup_toggle(desktop, service, menu_object) == ("checkmark", 0),
              "the start-up item's toggle before: %r" % (startup_toggle(desktop, service, menu_object),))
        open_menu(s, 200 + 35, 300 + 100)
        s.run("xdotool", "key", "r")
        wait_for("the start-up item to be checked over D-Bus",
                 lambda: startup_toggle(desktop, service, menu_object) == ("checkmark", 1))

        known = {w for w, _ in s.windows()}
        started = time.monotonic()
        reply = desktop.call(service, path, "org.kde.StatusNotifierItem.ContextMenu", "int32:300", "int32:200",
                             timeout=5000)
        took = time.monotonic() - started
        check(reply, "the ContextMenu call failed")
        check(took < 1.0, "the ContextMenu call took %.2f s" % took)
        menu, _ = wait_for("our menu", lambda: new_window(s, known))
        s.run("xdotool", "key", "Escape")
        wait_for("the menu to close", lambda: not s.geometry(menu))

        ix, iy = desktop.icon_centre()
        # The host draws the menu it got from us below the icon (its windows are the panel's, not ours).
        below = (ix, iy + 20, 60, 60)
        before = crop(s.screenshot(), *below)
        s.move_to(ix, iy)
        s.run("xdotool", "click", "3")
        wait_for("the host's menu", lambda: crop(s.screenshot(), *below) != before)
        known = {w for w, _ in s.windows()}
        # Ours, not the panel's own: its last item is "About Nimo...".
        s.run("xdotool", "key", "Up", "Return")
        about, _ = wait_for("the About box from the host's menu", lambda: new_window(s, known, "About Nimo..."))
        check_above(s, about, lamp, "About")
        s.run("xdotool", "windowactivate", "--sync", str(about))
        s.run("xdotool", "key", "Return")
        wait_for("the About box to close", lambda: not s.geometry(about))

        s.move_to(ix, iy)
        s.run("xdotool", "click", "--repeat", "2", "--delay", "80", "1")
        check(s.wait_exit() == 0, "a double click on the item did not end the program cleanly")
        check("CNimoDlg" in s.read_settings(), "the double click did not take the Exit path")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


if __name__ == "__main__":
    sys.exit(script_main(CASES))
