#!/usr/bin/env python3
"""End-to-end test of what a screen reader and a keyboard-only user get: the running program's accessibility
tree read over AT-SPI (pyatspi) on a private session bus with its own accessibility bus, on the session of
nimo_e2e.py (Xvfb, openbox, trayer). Keys go in through the X server as a user's would. Every wait has a
deadline; no fixed sleeps.

    accessibility_e2e.py --nimo PATH CASE     run one case (exit 0 passed, 1 failed, 77 skipped)
"""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from nimo_e2e import Failure, Session, check, run_case, skip, tray_icon, wait_for  # noqa: E402
from send_mail_e2e import install_program, recorded, register_handler  # noqa: E402

LAMP_X, LAMP_Y = 200, 150
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

# Nothing is started on demand: the accessibility bus is started by the test, and a desktop portal that the
# bus would start could take the mail its own way.
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%s</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class ScreenReaderDesktop:
    """A private session bus, the accessibility bus on it with IsEnabled set, as a screen reader sets it, and
    pyatspi talking to them."""

    def __init__(self, s):
        self.s = s
        bus = os.path.join(s.tmp, "runtime", "bus")
        config = os.path.join(s.tmp, "bus.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG % bus)
        s.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + bus
        s._spawn(["dbus-daemon", "--config-file=" + config, "--nofork"], stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)
        wait_for("the session bus", lambda: os.path.exists(bus))
        # The launcher reads its settings' schemas from the system's data folders, and keeps them in memory.
        launcher_env = dict(s.env, XDG_DATA_DIRS="/usr/local/share:/usr/share", GSETTINGS_BACKEND="memory")
        s._spawn([LAUNCHER, "--launch-immediately"], env=launcher_env, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)
        wait_for("the accessibility bus", lambda: self.set_enabled())
        # libatspi reads the bus and the display from the environment once, when it is loaded.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = s.env["DBUS_SESSION_BUS_ADDRESS"]
        os.environ["DISPLAY"] = s.display
        import pyatspi
        from gi.repository import Atspi, GLib
        self.atspi = pyatspi
        self.context = GLib.MainContext.default()
        # Popup menus are no children of the application: a screen reader meets them by their focus events.
        self.focus_events = []
        self.listener = Atspi.EventListener.new(
            lambda event: self.focus_events.append(event.source) if event.detail1 else None)
        self.listener.register("object:state-changed:focused")

    def set_enabled(self):
        result = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                                 "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                                 "variant:boolean:true"], env=self.s.env, capture_output=True, timeout=10)
        return result.returncode == 0

    def app(self):
        def find():
            for app in self.atspi.Registry.getDesktop(0):
                if app is not None and app.name == "Nimo":
                    # Read afresh at every question: states and children change under the test.
                    app.set_cache_mask(0)
                    return app
            return None
        return wait_for("the program on the accessibility bus", find)

    def states(self, obj):
        return {self.atspi.stateToString(state) for state in obj.getState().getStates()}

    def descendants(self, root, depth=6):
        if root is None or depth == 0:
            return
        for child in root:
            if child is not None:
                yield child
                yield from self.descendants(child, depth - 1)

    def find(self, what, predicate, deadline=None):
        def probe():
            for obj in self.descendants(self.app()):
                try:
                    if predicate(obj):
                        return obj
                except Exception:  # an object that went away while it was read
                    continue
            return None
        return wait_for(what, probe) if deadline is None else wait_for(what, probe, deadline)

    def window(self, role, name=None):
        def probe():
            for window in self.app():
                if window is not None and window.getRoleName() == role and (name is None or window.name == name) \
                        and "showing" in self.states(window):
                    return window
            return None
        try:
            return wait_for("a %s %r" % (role, name), probe)
        except Failure:
            seen = [(w.getRoleName(), w.name, "showing" in self.states(w)) for w in self.app() if w is not None]
            raise Failure("no %s %r among the program's windows %r" % (role, name, seen))

    def next_focus(self, what, predicate):
        """The next object that takes the focus and satisfies predicate."""
        def probe():
            while self.context.iteration(False):
                pass
            while self.focus_events:
                source = self.focus_events.pop(0)
                try:
                    if predicate(source):
                        return source
                except Exception:
                    continue
            return None
        return wait_for(what, probe)

    def focused(self):
        return self.find("the focused object", lambda o: "focused" in self.states(o))

    def labels_of(self, obj):
        return [r.getTarget(0).name for r in obj.getRelationSet()
                if r.getRelationType() == self.atspi.RELATION_LABELLED_BY]

    def actions_of(self, obj):
        try:
            action = obj.queryAction()
        except NotImplementedError:
            return []
        return [action.getName(i) for i in range(action.nActions)]


def key(s, *keys):
    s.run("xdotool", "key", *keys)


def case_screen_reader_tree(args):
    """Lamp named and focused after a click and after each dialog; the menu from the Menu key with its ticks;
    Configure's colour group; the About links; the send-mail fields named by their labels."""
    missing = [t for t in (LAUNCHER, "dbus-daemon", "dbus-send", "xdg-email") if not shutil.which(t)]
    if missing:
        return skip("missing " + ", ".join(missing))
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        return skip("no pyatspi (python3-pyatspi)")
    with Session(args) as s:
        d = ScreenReaderDesktop(s)
        for name in ("MAILER", "BROWSER"):
            s.env.pop(name, None)
        mailer = install_program(s, "record-mail")
        register_handler(s, "mailto", mailer)
        browser = install_program(s, "record-page")
        register_handler(s, "http", browser)
        s.write_settings({"CNimoDlg": {"WndX": LAMP_X, "WndY": LAMP_Y}, "Config": {"Color": 4}})
        s.start_nimo("-Embedding")
        s.lamp()

        # 1. The lamp: a named frame (a top-level window), not an unnamed filler, focused once clicked.
        lamp = d.window("frame", "Nimo motion lamp")
        check("focusable" in d.states(lamp), "the lamp cannot take the focus")
        s.move_to(LAMP_X + 35, LAMP_Y + 90)
        s.run("xdotool", "click", "1")
        wait_for("the lamp to have the focus after a click", lambda: "focused" in d.states(lamp))

        def lamp_focused_again(after):
            wait_for("the lamp to have the focus again after " + after, lambda: "focused" in d.states(lamp))

        def open_menu(keys):
            d.focus_events.clear()
            key(s, keys)
            first = d.next_focus("an item of the menu to have the focus", lambda o: o.getRoleName() == "menu item")
            check(first.name == "Exit", "the menu opened from the keyboard starts on %r, expected Exit" % first.name)
            menu = first.parent
            items = [item for item in menu if item is not None and item.getRoleName() != "separator"
                     and item.name]
            check(len(items) == 6, "the menu has %d items, expected 6" % len(items))
            return menu, items

        # 5. The XEmbed tray's menu reads its tick item as one while off.
        _, (x, y, w, h) = tray_icon(s)
        s.move_to(x + w // 2, y + h // 2)
        s.run("xdotool", "click", "3")
        wait_for("the tray menu", lambda: [g for _, g in s.windows() if g[3] > 100 and g[2:] != (70, 180)])
        d.focus_events.clear()
        key(s, "Down")
        first = d.next_focus("an item of the tray menu to have the focus", lambda o: o.getRoleName() == "menu item")
        tray_items = {item.name: item.getRoleName() for item in first.parent if item is not None and item.name}
        check(tray_items.get("Run on system start up") == "check box"
              and "checked" not in d.states([i for i in first.parent if i and i.name == "Run on system start up"][0]),
              "the tray menu reads %r" % tray_items)
        key(s, "Escape")
        # Activated by the window manager, the lamp has the keyboard again.
        s.run("xdotool", "windowactivate", "--sync", str(s.lamp()[0]))
        wait_for("the lamp to have the focus once activated", lambda: "focused" in d.states(lamp))

        # The Menu key opens the menu at the lamp; its tick item is read as one while off (a check box: the
        # bridge of Qt 6.4 drops the checkable state).
        menu, items = open_menu("Menu")
        run_item = [i for i in items if i.name == "Run on system start up"]
        check(run_item and run_item[0].getRoleName() == "check box" and "checked" not in d.states(run_item[0]),
              "'Run on system start up' is not read as something to tick while off: %r"
              % [(i.getRoleName(), i.name, sorted(d.states(i))) for i in items])
        check([i.getRoleName() for i in items].count("menu item") == 5, "the other items are no plain menu items")
        # Down to "Run on system start up" and tick it; Shift+F10 shows it ticked.
        key(s, "Down", "Down", "Down", "Return")
        wait_for("the autostart entry", lambda: os.path.exists(os.path.join(s.tmp, "config", "autostart",
                                                                             "nimo.desktop")))
        menu, items = open_menu("shift+F10")
        run_item = [i for i in items if i.name == "Run on system start up"][0]
        check(run_item.getRoleName() == "check box" and "checked" in d.states(run_item),
              "the ticked item reads %r %r" % (run_item.getRoleName(), sorted(d.states(run_item))))

        # 4. Configure: the colours are a group named by its frame; Tab enters it on the stored colour.
        key(s, "Down", "Down", "Down", "Down", "Return")
        configure = d.window("dialog", "Configure...")
        green = d.find("the Green button", lambda o: o.getRoleName() == "radio button" and o.name == "Green")
        check(d.labels_of(green) == ["Color"], "the colour buttons are labelled by %r, expected the group 'Color'"
              % d.labels_of(green))
        frames = [o for o in d.descendants(configure) if o.getRoleName() == "panel" and o.name == "Color"]
        check(frames, "no group named 'Color' in the Configure dialog")
        reached = []
        for _ in range(4):
            key(s, "Tab")
            now = d.focused()
            reached.append(now.name)
            if now.getRoleName() == "radio button":
                break
        check(reached[-1] == "Green", "Tab reached %r; the group should be entered on the chosen Green" % reached)
        key(s, "Escape")
        lamp_focused_again("Configure")

        # 2. About: two links reached with Tab, read as links with a press action, opened with Enter.
        key(s, "Menu", "Up", "Return")
        about = d.window("dialog", "About Nimo...")
        links = [o for o in d.descendants(about) if o.getRoleName() == "link"]
        check(sorted(link.name for link in links) == ["http://nimo.kestrelward.example",
                                                      "http://www.kestrelward.example"],
              "the About links read %r" % [(o.getRoleName(), o.name) for o in d.descendants(about)])
        for link in links:
            check("Press" in d.actions_of(link) and "focusable" in d.states(link),
                  "the link %s has the actions %r and states %r" % (link.name, d.actions_of(link),
                                                                    sorted(d.states(link))))
        check(d.focused().name == "OK", "the About box does not open on OK")
        key(s, "Tab")
        check(d.focused().name == "http://www.kestrelward.example", "Tab from OK reached %r" % d.focused().name)
        key(s, "Return")
        wait_for("the first link to open", lambda: os.path.exists(browser + ".args"))
        with open(browser + ".args", "rb") as f:
            check(b"http://www.kestrelward.example" in f.read(), "the link opened another address")
        key(s, "Escape")
        lamp_focused_again("About")

        # 3. Sending: the question's ways are a group named by its frame; the fields are named by their labels
        # and the first one has the focus.
        key(s, "Menu", "Down", "Down", "Return")
        d.window("dialog", "Question...")
        way = d.find("the mail client way", lambda o: o.getRoleName() == "radio button"
                     and o.name == "Use my mail client")
        check(d.labels_of(way) == ["Send Nimo to a friend : "], "the ways are labelled by %r" % d.labels_of(way))
        key(s, "Tab", "Tab")
        check(d.focused().name == "Use Nimo's home page (recomended)",
              "Tab did not enter the ways on the chosen one: %r" % d.focused().name)
        key(s, "Down", "Return")
        mail = d.window("dialog", "Send mail...")
        fields = {}
        for obj in d.descendants(mail):
            if obj.getRoleName() in ("text", "entry"):
                fields[obj.name] = (d.labels_of(obj), "focused" in d.states(obj))
        check(fields == {"To:": (["To:"], True), "Subject:": (["Subject:"], False), "Text:": (["Text:"], False)},
              "the send-mail fields read %r" % fields)
        # Filled and sent from the keyboard; the lamp takes input again once the mail client has the mail (the
        # keyboard then belongs to the client's compose window, which this stand-in does not open).
        s.run("xdotool", "type", "anna@example.com")
        key(s, "Return")
        wait_for("the mail client to have the mail", lambda: recorded(mailer))
        check("anna@example.com" in recorded(mailer)[-1], "the mail went elsewhere: %r" % recorded(mailer))
        wait_for("the lamp to take input again", lambda: "sensitive" in d.states(lamp))
        check(s.nimo.poll() is None, "nimo ended")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        # pyatspi comes with the system's Python; another one first on PATH does not have it.
        if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath(
                "/usr/bin/python3") and not os.environ.get("NIMO_E2E_REEXEC"):
            os.environ["NIMO_E2E_REEXEC"] = "1"
            os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    import argparse
    parser = argparse.ArgumentParser()
    parser.add_argument("--nimo", required=True)
    parser.add_argument("case")
    sys.exit(run_case(CASES, parser.parse_args()))
