#!/usr/bin/env python3
"""End-to-end tests of the lamp's popup menu and its dialogs, on the session of nimo_e2e.py (Xvfb, openbox,
trayer, temporary HOME and XDG folders). Every wait has a deadline; no fixed sleeps.

    lamp_commands_e2e.py --nimo PATH CASE     run one case (exit 0 passed, 1 failed, 77 skipped)
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from nimo_e2e import LAMP_H, LAMP_W, Session, check, crop, script_main, wait_for  # noqa: E402

LAMP_X, LAMP_Y = 200, 150


def new_window(s, known, name=None):
    """A window of the program not in known (and, when given, with that exact title), else None."""
    if name is not None:
        ids = s.run("xdotool", "search", "--onlyvisible", "--pid", str(s.nimo.pid), "--name",
                    "^%s$" % name.replace(".", "\\.")).split()
        for wid in ids:
            geometry = s.geometry(int(wid))
            if geometry and int(wid) not in known:
                return int(wid), geometry
        return None
    for wid, geometry in s.windows():
        if wid not in known and geometry[2:] != (LAMP_W, LAMP_H):
            return wid, geometry
    return None


def open_menu(s, px, py):
    """Right click at the screen point; the menu that opens, checked to stand with its corner there."""
    known = {w for w, _ in s.windows()}
    # No --sync: it would wait forever when the pointer already stands there. The server keeps the order.
    s.run("xdotool", "mousemove", str(px), str(py), "click", "3")
    wid, (mx, my, mw, mh) = wait_for("the popup menu", lambda: new_window(s, known))
    check((mx, my) == (px, py), "menu at (%d, %d), expected its corner at the pointer (%d, %d)" % (mx, my, px, py))
    check(mh > 100 and mw > 60, "the menu is %d x %d, too small for its nine items" % (mw, mh))
    return wid


def green_pixels(picture):
    """Pixels that only the green lamp has: blue equal to red, clearly more green."""
    _, _, rgb = picture
    return sum(1 for i in range(0, len(rgb), 3) if rgb[i] == rgb[i + 2] and rgb[i + 1] >= rgb[i] + 40)


def lamp_inside(s, wid):
    rects = s.xlib.shape_rectangles(wid)
    check(rects, "the lamp has no outline")
    return [(x, r[1]) for r in rects for x in range(r[0], r[0] + r[2])]


def lamp_is_green(s, inside):
    """Every pixel inside the outline obeys the green rule (blue byte = red byte) and some are coloured."""
    shot = crop(s.screenshot(), LAMP_X, LAMP_Y, LAMP_W, LAMP_H)
    coloured = 0
    for x, y in inside:
        i = (y * LAMP_W + x) * 3
        if shot[i] != shot[i + 2]:
            return False
        coloured += shot[i + 1] > shot[i] + 40
    return coloured > 100


def case_configure_green(args):
    """Right click opens the menu at the pointer; Configure, Green and OK turn the blue lamp green."""
    with Session(args) as s:
        s.write_settings({"CNimoDlg": {"WndX": LAMP_X, "WndY": LAMP_Y}, "Config": {"Color": 0}})
        s.start_nimo("-Embedding")
        lamp, _ = s.lamp()
        inside = lamp_inside(s, lamp)
        check(not lamp_is_green(s, inside), "the blue lamp already looks green")

        dialog = pick_green_in_configure(s)
        check(not lamp_is_green(s, inside), "the lamp changed colour before OK")
        s.run("xdotool", "key", "Return")
        wait_for("the dialog to close", lambda: not s.geometry(dialog))
        wait_for("the lamp to turn green", lambda: lamp_is_green(s, inside))
        check(s.read_settings().get("Config", {}).get("Color") == 4,
              "Color stored as %r, expected 4" % s.read_settings().get("Config"))
        check(s.nimo.poll() is None, "nimo ended")


def pick_green_in_configure(s):
    """Opens Configure from the lamp's menu and picks Green; the dialog, once its preview shows green."""
    open_menu(s, LAMP_X + 35, LAMP_Y + 110)
    known = {w for w, _ in s.windows()}
    s.run("xdotool", "key", "c")
    dialog, geometry = wait_for("the Configure dialog", lambda: new_window(s, known, "Configure..."))
    s.run("xdotool", "windowactivate", "--sync", str(dialog))
    s.run("xdotool", "key", "alt+g")
    # The preview turns green on its next frame: then the choice has been taken.
    wait_for("the preview to turn green",
             lambda: green_pixels((geometry[2], geometry[3], crop(s.screenshot(), *geometry))) > 500)
    return dialog


def case_configure_cancel(args):
    """Cancel after picking another colour leaves the stored colour and the lamp as they were."""
    with Session(args) as s:
        s.write_settings({"CNimoDlg": {"WndX": LAMP_X, "WndY": LAMP_Y}, "Config": {"Color": 0}})
        s.start_nimo("-Embedding")
        lamp, _ = s.lamp()
        inside = lamp_inside(s, lamp)
        dialog = pick_green_in_configure(s)
        s.run("xdotool", "key", "Escape")
        wait_for("the dialog to close", lambda: not s.geometry(dialog))
        before = crop(s.screenshot(), LAMP_X, LAMP_Y, LAMP_W, LAMP_H)
        wait_for("the lamp to show another frame",
                 lambda: crop(s.screenshot(), LAMP_X, LAMP_Y, LAMP_W, LAMP_H) != before)
        check(not lamp_is_green(s, inside), "the lamp turned green although the dialog was cancelled")
        check(s.read_settings().get("Config", {}).get("Color") == 0, "Cancel changed the stored colour")


def case_about_and_exit(args):
    """About opens from the menu and closes with Enter; Exit from the menu ends the program."""
    with Session(args) as s:
        s.write_settings({"CNimoDlg": {"WndX": LAMP_X, "WndY": LAMP_Y}, "Config": {"Color": 0}})
        s.start_nimo("-Embedding")
        s.lamp()
        open_menu(s, LAMP_X + 30, LAMP_Y + 90)
        known = {w for w, _ in s.windows()}
        s.run("xdotool", "key", "b")
        about, geometry = wait_for("the About box", lambda: new_window(s, known, "About Nimo..."))
        check(geometry[2] > 300 and geometry[3] > 250, "the About box is only %d x %d" % geometry[2:])
        s.run("xdotool", "windowactivate", "--sync", str(about))
        s.run("xdotool", "key", "Return")
        wait_for("the About box to close", lambda: not s.geometry(about))
        check(s.nimo.poll() is None, "closing the About box ended the program")

        open_menu(s, LAMP_X + 30, LAMP_Y + 90)
        s.run("xdotool", "key", "e")
        check(s.wait_exit() == 0, "Exit from the lamp's menu did not end the program cleanly")
        check("CNimoDlg" in s.read_settings(), "Exit from the lamp's menu did not store the position")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


if __name__ == "__main__":
    sys.exit(script_main(CASES))
