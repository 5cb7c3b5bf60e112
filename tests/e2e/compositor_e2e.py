#!/usr/bin/env python3
"""End-to-end tests of the lamp's outline with and without a compositing manager, on the session of
nimo_e2e.py: xfwm4 with its compositor, openbox alone, openbox with xcompmgr started and stopped while the
lamp runs (and a dialog is open), and Xwayland on a headless weston. A desktop window of one known colour
lies beneath the lamp, so that every pixel of the lamp's rectangle tells whether it is the lamp's, the
desktop's or a blend of both. Every wait has a deadline.

    compositor_e2e.py --nimo PATH --decode PATH CASE     run one case (exit 0 passed, 1 failed, 77 skipped)
"""

import argparse
import ctypes
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from nimo_e2e import (LAMP_H, LAMP_W, SCREEN_H, SCREEN_W, Failure, Session, check, crop, decoded_bitmap,  # noqa: E402
                      Xlib, expect_at, mask_rows, run_case, shape_rows, skip, wait_for)
from lamp_commands_e2e import new_window, open_menu  # noqa: E402
from send_mail_e2e import check_above_lamp, mail_session, open_send_to_friend, recorded  # noqa: E402

DESKTOP = (255, 0, 255)  # no frame of the blue lamp has this colour
XFWM4 = ("xfwm4", "--compositor=on", "--vblank=off")


def show_desktop(s):
    """A window of the desktop's type filling the screen with DESKTOP, below every other window."""
    x11 = s.xlib.x11
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCreateSimpleWindow.restype = ctypes.c_ulong
    x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                        ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
    x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                    ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
    x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    d = s.xlib.display
    pixel = (DESKTOP[0] << 16) | (DESKTOP[1] << 8) | DESKTOP[2]
    wid = x11.XCreateSimpleWindow(d, x11.XDefaultRootWindow(d), 0, 0, SCREEN_W, SCREEN_H, 0, 0, pixel)
    atom = lambda name: x11.XInternAtom(d, name.encode(), 0)
    kind = (ctypes.c_ulong * 1)(atom("_NET_WM_WINDOW_TYPE_DESKTOP"))
    x11.XChangeProperty(d, wid, atom("_NET_WM_WINDOW_TYPE"), 4, 32, 0, kind, 1)  # XA_ATOM, replace
    def mapped():
        # Asked again while it is not viewable: a window manager still starting up may drop the request.
        x11.XMapWindow(d, wid)
        x11.XSync(d, 0)
        return s.geometry(wid)
    wait_for("the desktop window", mapped, interval=0.2)
    wait_for("the desktop's colour on the screen", lambda: crop(s.screenshot(), 10, SCREEN_H // 2, 1, 1) ==
             bytes(DESKTOP))
    return wid


def matte(args, s, bitmap):
    """The opacity of every pixel of the lamp's rectangle, {(x, y): 0..255}, from the decoded matte."""
    w, h, rgb = decoded_bitmap(args, s.tmp, bitmap)
    check((w, h) == (LAMP_W, LAMP_H), "the matte is %d x %d" % (w, h))
    return {(x, y): rgb[(y * w + x) * 3 + 2] for y in range(h) for x in range(w)}


def inside(args, s):
    return {(x, y) for left, right, y in mask_rows(args, s.tmp) for x in range(left, right)}


def depth(s, wid):
    """The window's depth; None when it is gone (the lamp's old window, while the lamp makes a new one)."""
    found = re.search(r"Depth:\s*(\d+)", s.run("xwininfo", "-id", str(wid)))
    return int(found.group(1)) if found else None


def input_rows(s, wid):
    count, ordering = ctypes.c_int(0), ctypes.c_int(0)
    rects = s.xlib.xext.XShapeGetRectangles(s.xlib.display, wid, 2, ctypes.byref(count), ctypes.byref(ordering))
    result = [(rects[i].x, rects[i].y, rects[i].width, rects[i].height) for i in range(count.value)]
    if rects:
        s.xlib.x11.XFree(rects)
    return shape_rows(result)


def transient_for(s, wid):
    found = re.search(r"window id # (0x[0-9a-f]+)", s.run("xprop", "-id", str(wid), "WM_TRANSIENT_FOR"))
    return int(found.group(1), 16) if found else None


def look(s, x, y, mask, opacity, soft):
    """The lamp at (x, y) over the desktop: inside the outline its own pixels, wholly transparent pixels the
    desktop's exactly; soft: the edge pixels outside the outline that the matte makes at least a quarter
    opaque are blends (not the desktop's colour), hard: every pixel outside the outline is the desktop's."""
    shot = crop(s.screenshot(), x, y, LAMP_W, LAMP_H)
    at = lambda p: shot[(p[1] * LAMP_W + p[0]) * 3:(p[1] * LAMP_W + p[0]) * 3 + 3]
    lamp = [p for p in mask if at(p) == bytes(DESKTOP)]
    if lamp:
        return "%d pixels inside the outline show the desktop, e.g. %r" % (len(lamp), lamp[:3])
    clear = [p for p, a in opacity.items() if p not in mask and (a == 0 or not soft) and at(p) != bytes(DESKTOP)]
    if clear:
        return "%d pixels outside the outline do not show the desktop, e.g. %r = %r" % (
            len(clear), clear[:3], [tuple(at(p)) for p in clear[:3]])
    if soft:
        edge = [p for p, a in opacity.items() if p not in mask and a >= 64]
        blended = [p for p in edge if at(p) != bytes(DESKTOP)]
        if not edge or len(blended) < len(edge) * 9 // 10:
            return "the edge does not blend: %d of %d partly opaque pixels outside the outline" % (len(blended),
                                                                                                    len(edge))
    return None


def expect_look(s, x, y, mask, opacity, soft, when):
    problem = []

    def fine():
        problem[:] = [look(s, x, y, mask, opacity, soft)]
        return problem[0] is None
    try:
        wait_for("the lamp's pixels " + when, fine)
    except Failure:
        raise Failure("%s: %s" % (when, problem[0]))


def drag(s, wid, x, y, dx, dy):
    s.move_to(x + 35, y + 90)
    s.run("xdotool", "mousedown", "1")
    for n in range(1, 11):
        s.move_to(x + 35 + dx * n // 10, y + 90 + dy * n // 10)
    wait_for("the lamp to follow the mouse", lambda: (s.geometry(wid) or (0, 0))[:2] == (x + dx, y + dy))
    s.run("xdotool", "mouseup", "1")
    return x + dx, y + dy


def case_soft_edge_under_xfwm4(args):
    """xfwm4 with its compositor: the lamp has a 32-bit visual; after the splash, after a drag and after
    Configure closed, every pixel of its rectangle outside the matte shows the desktop beneath, the edge
    blends, the inside is the lamp's; the input shape is the mask's outline; it is on every workspace."""
    if not shutil.which("xfwm4"):
        return skip("xfwm4 is missing")
    if not shutil.which("dbus-daemon"):
        return skip("dbus-daemon is missing")
    with Session(args, tray=False, wm=XFWM4, bus=True) as s:
        wait_for("the compositor", lambda: s.xlib.selection_owner("_NET_WM_CM_S0"))
        show_desktop(s)
        mask, opacity = inside(args, s), matte(args, s, 150)
        s.write_settings({"CNimoDlg": {"WndX": 420, "WndY": 300}, "Config": {"Color": 0}})
        s.start_nimo()  # with the splash, which lies over the lamp
        wid = expect_at(s, 420, 300)
        check(depth(s, wid) == 32, "the lamp's depth is %d under a compositor" % depth(s, wid))
        check(input_rows(s, wid) == mask_rows(args, s.tmp), "the input shape is not the mask's outline")
        wait_for("the splash to go", lambda: not s.window_of_size(196, 160))
        expect_look(s, 420, 300, mask, opacity, True, "after the splash")

        x, y = drag(s, wid, 420, 300, -170, 90)
        expect_look(s, x, y, mask, opacity, True, "after a drag")

        open_menu(s, x + 35, y + 100)
        known = {w for w, _ in s.windows()}
        s.run("xdotool", "key", "c")
        dialog, _ = wait_for("the Configure dialog", lambda: new_window(s, known, "Configure..."))
        s.run("xdotool", "key", "Escape")
        wait_for("Configure to close", lambda: not s.geometry(dialog))
        expect_look(s, x, y, mask, opacity, True, "after Configure closed")

        check("_NET_WM_STATE_STICKY" in s.net_wm_state(wid), "not sticky: %r" % s.net_wm_state(wid).strip())
        s.run("xdotool", "set_desktop", "2")
        wait_for("the third workspace", lambda: "= 2" in s.xprop_root("_NET_CURRENT_DESKTOP"))
        check(s.geometry(wid) == (x, y, LAMP_W, LAMP_H), "the lamp left with the workspace: %r" % (s.geometry(wid),))
        check(s.nimo.poll() is None, "nimo ended")


def case_hard_edge_under_openbox(args):
    """openbox without a compositor: a 24-bit lamp cut to the mask, every pixel outside it the desktop's."""
    with Session(args, tray=False) as s:
        check(not s.xlib.selection_owner("_NET_WM_CM_S0"), "a compositor runs")
        show_desktop(s)
        mask, opacity = inside(args, s), matte(args, s, 150)
        s.write_settings({"CNimoDlg": {"WndX": 420, "WndY": 300}, "Config": {"Color": 0}})
        s.start_nimo("-Embedding")
        wid = expect_at(s, 420, 300)
        check(depth(s, wid) == 24, "the lamp's depth is %d without a compositor" % depth(s, wid))
        check(shape_rows(s.xlib.shape_rectangles(wid)) == mask_rows(args, s.tmp), "the shape is not the mask's")
        expect_look(s, 420, 300, mask, opacity, False, "without a compositor")


def case_follows_xcompmgr(args):
    """xcompmgr started while the lamp runs under openbox, Configure open: the lamp becomes a 32-bit window in
    the same place, above, on every workspace, with a soft edge, and the dialog stays open, transient for the
    new window; stopped: a 24-bit window with the hard outline again. Configure closed, the lamp looks the same."""
    if not shutil.which("xcompmgr"):
        return skip("xcompmgr is missing")
    with Session(args, tray=False) as s:
        show_desktop(s)
        mask, opacity = inside(args, s), matte(args, s, 150)
        s.write_settings({"CNimoDlg": {"WndX": 300, "WndY": 200}, "Config": {"Color": 0}})
        s.start_nimo("-Embedding")
        expect_at(s, 300, 200)
        # Centred on the screen, clear of the lamp's rectangle.
        open_menu(s, 335, 300)
        known = {w for w, _ in s.windows()}
        s.run("xdotool", "key", "c")
        dialog, place = wait_for("the Configure dialog", lambda: new_window(s, known, "Configure..."))
        check(transient_for(s, dialog) == s.window_of_size(LAMP_W, LAMP_H)[0], "Configure is not the lamp's")
        for compositing in (True, False):
            if compositing:
                manager = s._spawn(["xcompmgr"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                wait_for("xcompmgr", lambda: s.xlib.selection_owner("_NET_WM_CM_S0"))
            else:
                s.stop_proc(manager)
                wait_for("xcompmgr to go", lambda: not s.xlib.selection_owner("_NET_WM_CM_S0"))
            wanted = 32 if compositing else 24
            try:
                wid, _ = wait_for("a %d-bit lamp" % wanted, lambda: (lambda found: found and found[1][:2] == (300, 200)
                                  and depth(s, found[0]) == wanted and found)(s.window_of_size(LAMP_W, LAMP_H)))
            except Failure:
                raise Failure("no %d-bit lamp at (300, 200): %r" % (wanted, s.window_of_size(LAMP_W, LAMP_H)))
            state = s.net_wm_state(wid)
            for atom in ("_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR"):
                check(atom in state, "%s missing after the switch: %r" % (atom, state.strip()))
            desktop = s.run("xprop", "-id", str(wid), "_NET_WM_DESKTOP")
            check("= 4294967295" in desktop, "not on every workspace after the switch: %r" % desktop.strip())
            # Without a compositor the bounding shape is the outline, and the mouse takes no more than it.
            taken = input_rows(s, wid) if compositing else shape_rows(s.xlib.shape_rectangles(wid))
            check(taken == mask_rows(args, s.tmp), "the mouse does not take the mask's outline")
            expect_look(s, 300, 200, mask, opacity, compositing, "with xcompmgr" if compositing else "after it")
            check(s.geometry(dialog) == place, "Configure did not stay open: %r" % (s.geometry(dialog),))
            check(transient_for(s, dialog) == wid, "Configure is transient for 0x%x, not the lamp's new window 0x%x"
                  % (transient_for(s, dialog) or 0, wid))
        s.run("xdotool", "key", "Escape")
        wait_for("Configure to close", lambda: not s.geometry(dialog))
        expect_look(s, 300, 200, mask, opacity, False, "after Configure closed")
        check(s.nimo.poll() is None, "nimo ended")


def case_question_follows_xcompmgr(args):
    """The question of "Send the lamp to a friend" (a child of the lamp) open while xcompmgr starts: it stays
    open, transient for the lamp's new 32-bit window and above it, and still takes the keyboard."""
    if not shutil.which("xcompmgr"):
        return skip("xcompmgr is missing")
    s = mail_session(args)
    if s is None:
        return skip("no xdg-email or xmodmap")
    try:
        known = open_send_to_friend(s)
        question, place = wait_for("the question", lambda: new_window(s, known, "Question..."))
        s._spawn(["xcompmgr"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        lamp, _ = wait_for("a 32-bit lamp", lambda: (lambda found: found and depth(s, found[0]) == 32 and found)(
            s.window_of_size(LAMP_W, LAMP_H)))
        check(s.geometry(question) == place, "the question did not stay open: %r" % (s.geometry(question),))
        wait_for("the question transient for the new lamp", lambda: transient_for(s, question) == lamp)
        s.lamp_id = lamp
        check_above_lamp(s, question, "the question")
        s.run("xdotool", "windowactivate", "--sync", str(question))
        s.run("xdotool", "key", "Escape")
        wait_for("the question to close", lambda: not s.geometry(question))
        check(recorded(s.browser) is None and recorded(s.mailer) is None, "Escape sent the lamp on its way")
        check(s.nimo.poll() is None, "nimo ended")
    finally:
        s.stop()


class XWaylandSession(Session):
    """Xwayland (rootless, no X window manager) on a headless weston: a Wayland compositor draws every
    window, and no X client owns _NET_WM_CM_S0."""

    def start(self):
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        wayland = dict(os.environ, XDG_RUNTIME_DIR=runtime)
        self._spawn(["weston", "--backend=headless-backend.so", "--socket=wayland-e2e", "--idle-time=0",
                     "--shell=desktop-shell.so"], env=wayland, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("weston", lambda: os.path.exists(os.path.join(runtime, "wayland-e2e")))
        read_fd, write_fd = os.pipe()
        self._spawn(["Xwayland", "-rootless", "-displayfd", str(write_fd), "-nolisten", "tcp", "-noreset"],
                    env=dict(wayland, WAYLAND_DISPLAY="wayland-e2e"), pass_fds=(write_fd,),
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as named:
            self.display = ":" + named.readline().strip()
        check(self.display != ":", "Xwayland did not name its display")
        self.env = self._make_env()
        self.xlib = Xlib(self.display)
        return self


def case_xwayland_without_owner(args):
    """Under Xwayland with no owner of _NET_WM_CM_S0 (as before Xwayland 23.1, which has no XWAYLAND
    extension to ask): the lamp still takes a 32-bit window, and the mouse the mask's outline."""
    if not (shutil.which("weston") and shutil.which("Xwayland")):
        return skip("weston or Xwayland is missing")
    with XWaylandSession(args, tray=False) as s:
        check(not s.xlib.selection_owner("_NET_WM_CM_S0"), "an X client owns _NET_WM_CM_S0")
        s.start_nimo("-Embedding")
        wid, _ = s.lamp()
        check(depth(s, wid) == 32, "the lamp's depth is %d under Xwayland" % depth(s, wid))
        check(input_rows(s, wid) == mask_rows(args, s.tmp), "the input shape is not the mask's outline")
        check(s.nimo.poll() is None, "nimo ended")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--nimo", required=True)
    parser.add_argument("--decode", required=True)
    parser.add_argument("case")
    sys.exit(run_case(CASES, parser.parse_args()))
