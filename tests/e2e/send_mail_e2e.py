#!/usr/bin/env python3
"""End-to-end tests of sending the lamp to a friend: the real program, the real xdg-email and xdg-open or the
real desktop portal (xdg-desktop-portal with its GTK backend on a private session bus), and a recording
mail client registered as the default x-scheme-handler/mailto handler in the test's XDG folders, on the
session of nimo_e2e.py (Xvfb, openbox, trayer). Every wait has a deadline; no fixed sleeps.

    send_mail_e2e.py --nimo PATH CASE     run one case (exit 0 passed, 1 failed, 77 skipped)
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from nimo_e2e import (DEADLINE, LAMP_H, LAMP_W, Failure, Session, check, crop, run_case, skip, tray_icon,  # noqa: E402
                      wait_for)
from lamp_commands_e2e import new_window, open_menu  # noqa: E402

LAMP_X, LAMP_Y = 200, 150
HOST = "http://www.kestrelward.example"

# Records its arguments, each ended by a NUL byte, in <program>.args; runs on while <program>.hold exists (at
# most 60 s), as a mail client's compose window would; exits with the status in <program>.status and leaves
# <program>.exited.
RECORDER = """#!/bin/sh
printf '%s\\0' "$@" > "$0.args.tmp"
mv "$0.args.tmp" "$0.args"
n=0
while [ -e "$0.hold" ] && [ $n -lt 600 ]; do sleep 0.1; n=$((n + 1)); done
touch "$0.exited"
exit $(cat "$0.status")
"""
# What the user types in the send-mail dialog, and what the mail client must get.
TO = "anna@example.org; Bob <bob@example.com>"
SUBJECT = "Grüße & Fragen? #1 zu 100%"
LINES = ["Hallo Jörg,", "sieh dir das an: A&B? #tag 50% ÄÖÜß"]
HOLD = 3.0  # seconds the lamp may be held while the mail client runs on


# A mail client that opens its compose window (an ordinary window) over the lamp, then two notices (dialogs): one
# beside the lamp, one over it. Records its arguments as RECORDER does.
NOTICE_CLIENT = """#!%s
import os, sys, tkinter
with open(sys.argv[0] + ".args", "wb") as f:
    f.write(b"".join(os.fsencode(a) + b"\\0" for a in sys.argv[1:]))
root = tkinter.Tk()
root.title("Compose")
root.geometry("400x300+%d+%d")

def notice(title, place):
    window = tkinter.Toplevel(root)
    window.title(title)
    window.wm_attributes("-type", "dialog")
    window.geometry(place)

root.wait_visibility()
root.after(200, notice, "Beside", "200x100+700+500")
root.after(200, notice, "Notice", "300x120+%d+%d")
root.after(60000, root.destroy)
root.mainloop()
"""


def install_program(s, name, status=0, script=None):
    folder = os.path.join(s.tmp, "bin")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write(script or RECORDER)
    with open(path + ".status", "w") as f:
        f.write("%d\n" % status)
    os.chmod(path, 0o755)
    return path


def register_handler(s, scheme, program):
    """A desktop entry for program as the default handler of x-scheme-handler/<scheme>."""
    entry_id = "recording-%s.desktop" % scheme
    applications = os.path.join(s.tmp, "data", "applications")
    os.makedirs(applications, exist_ok=True)
    with open(os.path.join(applications, entry_id), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Recording %s\nExec=%s %%u\nMimeType=x-scheme-handler/%s;\n"
                % (scheme, program, scheme))
    lines = ["[Default Applications]"]
    mimeapps = os.path.join(s.tmp, "config", "mimeapps.list")
    if os.path.exists(mimeapps):
        with open(mimeapps) as f:
            lines = f.read().splitlines()
    lines.append("x-scheme-handler/%s=%s" % (scheme, entry_id))
    with open(mimeapps, "w") as f:
        f.write("\n".join(lines) + "\n")


def recorded(program):
    path = program + ".args"
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return [a.decode(errors="surrogateescape") for a in f.read().split(b"\0")[:-1]]


def decode_mailto(address):
    """A mailto: address as (recipients, {field: [values]}), every part percent-decoded, CR LF read as LF.
    Address lists are split at commas after decoding, as mail clients read them; blanks around an address
    do not count."""
    check(address.startswith("mailto:"), "the mail client got %r, not a mailto: address" % address)
    head, _, query = address[len("mailto:"):].partition("?")
    recipients = [r.strip() for r in urllib.parse.unquote(head, errors="strict").split(",") if r.strip()]
    fields = {}
    for pair in query.split("&") if query else []:
        name, _, value = pair.partition("=")
        # A file's name need not be text; every other field must be UTF-8.
        errors = "surrogateescape" if name.lower() in ("attach", "attachment") else "strict"
        value = urllib.parse.unquote(value, errors=errors).replace("\r\n", "\n")
        if name.lower() == "to":
            recipients += [r.strip() for r in value.split(",") if r.strip()]
        else:
            fields.setdefault(name.lower(), []).append(value)
    return recipients, fields


def attachment_bytes(value):
    """The bytes of the file an attach= field names (a path or a file: URI)."""
    path = urllib.parse.unquote(value[len("file://"):]) if value.startswith("file://") else value
    with open(path, "rb") as f:
        return f.read()


def map_umlauts(s):
    """Puts the umlauts and ß on free keys: xdotool would otherwise remap a key for each of them while it
    types, and the program may read the key before the new mapping."""
    free = [int(k) for k in re.findall(r"^keycode\s+(\d+) =\s*$", s.run("xmodmap", "-pke"), re.M) if int(k) > 8]
    symbols = ["adiaeresis Adiaeresis", "odiaeresis Odiaeresis", "udiaeresis Udiaeresis", "ssharp"]
    check(len(free) >= len(symbols), "no free keys for the umlauts")
    expressions = []
    for key, symbol in zip(free, symbols):
        expressions += ["-e", "keycode %d = %s" % (key, symbol)]
    s.run("xmodmap", *expressions)


PORTAL = "/usr/libexec/xdg-desktop-portal"
PORTAL_GTK = "/usr/libexec/xdg-desktop-portal-gtk"


def start_portal(s):
    """A private session bus on which the desktop portal (and its GTK backend) is started on demand, with
    the test's folders, so that the backend finds the recording mail client as the default handler."""
    bus = os.path.join(s.tmp, "runtime", "bus")
    data_dirs = s.env["XDG_DATA_DIRS"] + ":/usr/local/share:/usr/share"
    bus_env = dict(s.env, DBUS_SESSION_BUS_ADDRESS="unix:path=" + bus, XDG_DATA_DIRS=data_dirs, NO_AT_BRIDGE="1",
                   GTK_USE_PORTAL="0")
    s._spawn(["dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus], env=bus_env,
             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("the session bus", lambda: os.path.exists(bus))
    s.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + bus


def mail_session(args, locale="C", status=0, way=0, portal=False, client="record-mail", program=None, script=None):
    """A session with the mail recorder as mailto handler, a page recorder as http handler and the lamp up;
    way is the stored bMapi (the question's preselected way); portal puts the desktop portal on a session
    bus, else there is none; client names the recording mail client's program; program is the lamp's
    program file (a copy somewhere else), the one built when None; script is the mail client's, the
    recorder when None."""
    s = Session(args).start()
    try:
        wanted = [PORTAL, PORTAL_GTK, shutil.which("dbus-daemon")] if portal else [
            shutil.which("xdg-email", path=s.env["PATH"])]
        if not all(p and os.access(p, os.X_OK) for p in wanted) or not shutil.which("xmodmap"):
            s.stop()
            return None
        for name in ("MAILER", "BROWSER"):
            s.env.pop(name, None)
        s.env.update({"LC_ALL": locale, "LANG": locale})
        map_umlauts(s)
        s.mailer = install_program(s, client, status, script)
        s.browser = install_program(s, "record-page")
        register_handler(s, "mailto", s.mailer)
        register_handler(s, "http", s.browser)
        if portal:
            start_portal(s)
        s.write_settings({"CNimoDlg": {"WndX": LAMP_X, "WndY": LAMP_Y}, "Config": {"Color": 0},
                          "CMailQuestionDlg": {"bMapi": way}})
        s.start_nimo("-Embedding", program=program(s) if program else None)
        s.lamp_id, _ = s.lamp()
        return s
    except BaseException:
        s.stop()
        raise


def stacking(s):
    text = s.xprop_root("_NET_CLIENT_LIST_STACKING")
    return [int(w, 16) for w in text.split("#", 1)[-1].replace(",", " ").split()] if "#" in text else []


def check_above_lamp(s, wid, what):
    order = wait_for("%s in the stacking list" % what, lambda: (lambda o: o if wid in o else None)(stacking(s)))
    check(s.lamp_id in order, "the lamp is not in the stacking list")
    check(order.index(wid) > order.index(s.lamp_id), "%s stands below the lamp: %r" % (what, order))


class DialogUnits:
    """Points inside a template dialog from its rectangles in dialog units, scaled by its client size."""

    def __init__(self, geometry, width_units, height_units):
        self.x, self.y, w, h = geometry
        self.sx, self.sy = w / width_units, h / height_units

    def centre(self, left, top, width, height):
        return int(self.x + (left + width / 2) * self.sx), int(self.y + (top + height / 2) * self.sy)

    def left_middle(self, left, top, width, height):
        """Near the left end: a radio button takes clicks on its mark and text only."""
        return int(self.x + (left + 5) * self.sx), int(self.y + (top + height / 2) * self.sy)


def type_text(s, text):
    """Types text with xdotool, which reads it in the locale's encoding: UTF-8 whatever the program's locale."""
    subprocess.run(["xdotool", "type", "--delay", "20", text], env=dict(s.env, LC_ALL="C.UTF-8"),
                   capture_output=True, timeout=DEADLINE, check=True)


def click(s, point):
    s.run("xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1")


def open_send_to_friend(s):
    open_menu(s, LAMP_X + 35, LAMP_Y + 110)
    known = {w for w, _ in s.windows()}
    s.run("xdotool", "key", "s")
    return known


def fill_and_send(s, known, title, to, subject, text_lines):
    """Fills the send-mail dialog (found by its title) by typing and clicks Send; the time of the click."""
    dialog, geometry = wait_for("the send-mail dialog", lambda: new_window(s, known, title))
    check_above_lamp(s, dialog, "the send-mail dialog")
    units = DialogUnits(geometry, 320, 164)
    send = units.centre(103, 143, 50, 14)
    click(s, units.centre(65, 39, 221, 14))
    type_text(s, to)
    if subject is not None:
        click(s, units.centre(65, 55, 221, 14))
        s.run("xdotool", "key", "ctrl+a")
        type_text(s, subject)
    click(s, units.centre(65, 70, 221, 58))
    for n, line in enumerate(text_lines):
        if n:
            s.run("xdotool", "key", "Return")
        type_text(s, line)
    check(s.geometry(dialog), "Enter in the text closed the dialog")
    click(s, send)
    sent = time.monotonic()
    wait_for("the send-mail dialog to close", lambda: not s.geometry(dialog))
    return sent


def send_the_stored_way(s, question_title, send_title, to, text):
    """Opens the command, takes the preselected way in the question with Enter, fills in the send-mail
    dialog, sends it; the windows known before."""
    known = open_send_to_friend(s)
    question, _ = wait_for("the question", lambda: new_window(s, known, question_title))
    check_above_lamp(s, question, "the question")
    s.run("xdotool", "windowactivate", "--sync", str(question))
    s.run("xdotool", "key", "Return")
    fill_and_send(s, known, send_title, to, None, [text] if isinstance(text, str) else text)
    return known


def release_and_stop(s):
    """Lets a held mail client end (it may not be ours to stop: the portal starts it), then ends the session."""
    if os.path.exists(s.mailer + ".hold"):
        os.remove(s.mailer + ".hold")
    s.stop()


def lamp_takes_clicks(s):
    """Whether a right click on the lamp opens its menu now (closed again at once): a held lamp takes none."""
    known = {w for w, _ in s.windows()}
    s.run("xdotool", "mousemove", str(LAMP_X + 35), str(LAMP_Y + 110), "click", "3")
    try:
        menu, _ = wait_for("the popup menu", lambda: new_window(s, known), deadline=0.4)
    except Failure:
        return False
    s.run("xdotool", "key", "Escape")
    wait_for("the popup menu to close", lambda: not s.geometry(menu))
    return True


def check_mail_while_client_runs(s, args, sent, portal):
    """The mail client has every part of the mail and still runs; the lamp was let go within a few seconds
    and plays on. portal: whether the mail went through the portal (else through xdg-email)."""
    arguments = wait_for("the mail client", lambda: recorded(s.mailer))
    wait_for("the lamp to take clicks again", lambda: lamp_takes_clicks(s), deadline=HOLD + 10)
    held = time.monotonic() - sent
    check(held < HOLD + 4, "the lamp was held %.1f s" % held)
    check(os.path.exists(s.mailer + ".hold") and not os.path.exists(s.mailer + ".exited"),
          "the mail client ended before the lamp was let go")
    before = crop(s.screenshot(), LAMP_X, LAMP_Y, LAMP_W, LAMP_H)
    wait_for("the lamp to play while the mail client runs",
             lambda: crop(s.screenshot(), LAMP_X, LAMP_Y, LAMP_W, LAMP_H) != before)
    check(len(arguments) == 1, "the mail client got %r" % arguments)
    recipients, fields = decode_mailto(arguments[0])
    # The portal takes bare addresses only: the display name stays behind.
    expected = ["anna@example.org", "bob@example.com" if portal else "Bob <bob@example.com>"]
    check(recipients == expected, "recipients %r, expected %r" % (recipients, expected))
    check(fields.get("subject") == [SUBJECT], "subject %r" % fields.get("subject"))
    body = "\n".join(LINES) + "\n\n" + HOST + "/en/wexodownload.html "
    check(fields.get("body") == [body], "body %r, expected %r" % (fields.get("body"), body))
    # xdg-email names the field "attach", the portal's GTK backend "attachment".
    attached = fields.get("attach", []) + fields.get("attachment", [])
    check(len(attached) == 1, "attachments %r" % attached)
    with open(args.nimo, "rb") as f:
        check(attachment_bytes(attached[0]) == f.read(), "the attachment %r is not the program" % attached[0])
    return held


def send_through(args, portal, client="record-mail", through_portal=None):
    s = mail_session(args, way=1, portal=portal, client=client)
    if s is None:
        return skip("no desktop portal with a GTK backend" if portal else "no xdg-email or xmodmap")
    try:
        hold = s.mailer + ".hold"
        open(hold, "w").close()
        known = open_send_to_friend(s)
        question, _ = wait_for("the question", lambda: new_window(s, known, "Question..."))
        s.run("xdotool", "windowactivate", "--sync", str(question))
        s.run("xdotool", "key", "Return")
        sent = fill_and_send(s, known, "Send mail...", TO, SUBJECT, LINES)
        held = check_mail_while_client_runs(s, args, sent, portal if through_portal is None else through_portal)
        print("lamp held %.1f s" % held)
        os.remove(hold)
        wait_for("the mail client to end", lambda: os.path.exists(s.mailer + ".exited"))
        check(s.read_settings().get("CMailQuestionDlg", {}).get("bMapi") == 1, "the way was not stored")
        check(recorded(s.browser) is None, "a web page opened as well")
        # A mail client that ends well gives no message.
        check(wait_for_new_window(s, known, 1.0) is None, "a window followed the mail")
        check(s.nimo.poll() is None, "nimo ended")
    finally:
        release_and_stop(s)


def wait_for_new_window(s, known, seconds):
    try:
        return wait_for("a new window", lambda: new_window(s, known), deadline=seconds)
    except Failure:
        return None


def case_mail_reaches_client(args):
    """xdg-email without a portal: every recipient, the subject, the text and the program byte for byte reach
    a mail client that runs on, and the lamp is let go within a few seconds."""
    return send_through(args, portal=False)


def case_portal_mail_reaches_client(args):
    """The same through the desktop portal's Email interface, the program passed as a file descriptor."""
    return send_through(args, portal=True)


def case_portal_left_for_claws_mail(args):
    """With Claws Mail as the mail client the portal is left aside for xdg-email: Claws takes no
    "attachment=" field, the form the portal's GTK backend gives it."""
    return send_through(args, portal=True, client="claws-mail", through_portal=False)


def case_late_failure_told_once(args):
    """A mail client that fails after the lamp was let go: the failure is told once, above the lamp."""
    s = mail_session(args, status=4, way=1)
    if s is None:
        return skip("no xdg-email or xmodmap")
    try:
        hold = s.mailer + ".hold"
        open(hold, "w").close()
        known = send_the_stored_way(s, "Question...", "Send mail...", "anna@example.org", "Hi")
        wait_for("the mail client", lambda: recorded(s.mailer))
        wait_for("the lamp to take clicks again", lambda: lamp_takes_clicks(s), deadline=HOLD + 10)
        check(new_window(s, known) is None, "a window showed before the mail client failed")
        os.remove(hold)
        box, _ = wait_for("the message", lambda: new_window(s, known, "nimo"))
        check_above_lamp(s, box, "the message")
        s.run("xdotool", "windowactivate", "--sync", str(box))
        s.run("xdotool", "key", "Return")
        wait_for("the message to close", lambda: not s.geometry(box))
        check(wait_for_new_window(s, known, 1.5) is None, "the failure was told twice")
        check(s.nimo.poll() is None, "nimo ended")
    finally:
        release_and_stop(s)


def case_session_end_during_hand_off(args):
    """SIGTERM while the mail is being handed over: the program ends at once and keeps the lamp's place; the
    mail client runs on."""
    s = mail_session(args, way=1)
    if s is None:
        return skip("no xdg-email or xmodmap")
    try:
        open(s.mailer + ".hold", "w").close()
        send_the_stored_way(s, "Question...", "Send mail...", "anna@example.org", "Hi")
        wait_for("the mail client", lambda: recorded(s.mailer))
        s.nimo.send_signal(signal.SIGTERM)
        s.wait_exit(deadline=10)
        stored = s.read_settings().get("CNimoDlg", {})
        check((stored.get("WndX"), stored.get("WndY")) == (LAMP_X, LAMP_Y), "place stored: %r" % stored)
        check(not os.path.exists(s.mailer + ".exited"), "the mail client ended with the lamp")
    finally:
        release_and_stop(s)


def case_mail_program_fails(args):
    """A mail program that ends with status 4 gives the failure message, and nothing else happens."""
    s = mail_session(args, status=4, way=1)
    if s is None:
        return skip("no xdg-email or xmodmap")
    try:
        known = send_the_stored_way(s, "Question...", "Send mail...", "anna@example.com", "Hi")
        wait_for("the mail client", lambda: recorded(s.mailer))
        # The text itself is the unit tests' to check: X shows no window's text.
        box, (_, _, width, height) = wait_for("the message", lambda: new_window(s, known, "nimo"))
        check(width < 500 and height < 200, "the message is %d x %d, not a message box" % (width, height))
        check_above_lamp(s, box, "the message")
        s.run("xdotool", "windowactivate", "--sync", str(box))
        s.run("xdotool", "key", "Return")
        wait_for("the message to close", lambda: not s.geometry(box))
        check(new_window(s, known) is None, "another window followed the message")
        check(recorded(s.browser) is None, "a web page opened")
        check(s.nimo.poll() is None, "nimo ended")
    finally:
        release_and_stop(s)


def copy_to_name_not_text(args):
    """A maker of the program's copy in a folder whose name is no UTF-8 text."""
    def make(s):
        folder = os.path.join(os.fsencode(s.tmp), b"lamp-\xff\xfe")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, b"nimo")
        shutil.copy2(args.nimo, path)
        s.program_copy = path
        return path
    return make


def name_not_text_refused(args, portal):
    """A program path that is no UTF-8 text is refused with a message, and no mail client is started: xdg-email
    gets text only, and the portal's GTK backend hands the client "[Invalid UTF-8]" for such a name."""
    s = mail_session(args, way=1, portal=portal, program=copy_to_name_not_text(args))
    if s is None:
        return skip("no desktop portal with a GTK backend" if portal else "no xdg-email or xmodmap")
    try:
        known = send_the_stored_way(s, "Question...", "Send mail...", "anna@example.org", "Hi")
        box, _ = wait_for("the message", lambda: new_window(s, known, "nimo"))
        check_above_lamp(s, box, "the message")
        s.run("xdotool", "windowactivate", "--sync", str(box))
        s.run("xdotool", "key", "Return")
        wait_for("the message to close", lambda: not s.geometry(box))
        check(recorded(s.mailer) is None, "the mail client was started")
        check(lamp_takes_clicks(s), "the lamp stays held")
    finally:
        release_and_stop(s)


def case_tray_exit_during_hand_off(args):
    """A double click on the tray icon right after Send, while the lamp is held: the program ends at once and
    keeps the lamp's place; the mail client runs on."""
    s = mail_session(args, way=1)
    if s is None:
        return skip("no xdg-email or xmodmap")
    try:
        open(s.mailer + ".hold", "w").close()
        _, (x, y, w, h) = tray_icon(s)
        send_the_stored_way(s, "Question...", "Send mail...", "anna@example.org", "Hi")
        s.move_to(x + w // 2, y + h // 2)
        s.run("xdotool", "click", "--repeat", "2", "--delay", "60", "1")
        code = s.wait_exit(deadline=10)
        check(code == 0, "nimo did not end cleanly: %r %s" % (code, s.nimo_stderr()[-3000:]))
        stored = s.read_settings().get("CNimoDlg", {})
        check((stored.get("WndX"), stored.get("WndY")) == (LAMP_X, LAMP_Y), "place stored: %r" % stored)
        wait_for("the mail client", lambda: recorded(s.mailer))
        check(not os.path.exists(s.mailer + ".exited"), "the mail client ended with the lamp")
    finally:
        release_and_stop(s)


def case_name_not_text_refused(args):
    return name_not_text_refused(args, portal=False)


def case_name_not_text_refused_with_portal(args):
    return name_not_text_refused(args, portal=True)


def case_german_mail(args):
    """Under a German locale the dialogs are German, the subject preset is "Nimolampe" and the download
    address German."""
    s = mail_session(args, locale="de_DE.UTF-8", way=1)
    if s is None:
        return skip("no xdg-email or xmodmap")
    try:
        send_the_stored_way(s, "Frage...", "Als Email verschicken...", "anna@example.com", "Schau mal")
        arguments = wait_for("the mail client", lambda: recorded(s.mailer))
        recipients, fields = decode_mailto(arguments[0])
        check(recipients == ["anna@example.com"], "recipients %r" % recipients)
        check(fields.get("subject") == ["Nimolampe"], "subject %r" % fields.get("subject"))
        check(fields.get("body") == ["Schau mal\n\n" + HOST + "/de/wexodownload.html "],
              "body %r" % fields.get("body"))
    finally:
        release_and_stop(s)


def case_notice_not_covered(args):
    """The mail client's notice that opens over the lamp after Send stands above it, while its compose window
    (an ordinary window over the lamp too) and a notice beside the lamp stay below it: the notice is taken
    into the keep-above layer, and the lamp stays there."""
    if subprocess.run([sys.executable, "-c", "import tkinter"], capture_output=True).returncode != 0:
        return skip("no tkinter (python3-tk)")
    script = NOTICE_CLIENT % (sys.executable, LAMP_X - 100, LAMP_Y - 50, LAMP_X - 50, LAMP_Y + 20)
    s = mail_session(args, way=1, script=script)
    if s is None:
        return skip("no xdg-email or xmodmap")
    try:
        send_the_stored_way(s, "Question...", "Send mail...", "anna@example.org", "Hi")

        def client_window(title):
            ids = s.run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title).split()
            return int(ids[0]) if ids else None

        compose, beside, notice = (wait_for("the %s window" % t, lambda t=t: client_window(t))
                                   for t in ("Compose", "Beside", "Notice"))

        def notice_above_others_below():
            ids = stacking(s)
            if not all(w in ids for w in (s.lamp_id, compose, beside, notice)):
                return False
            return ids.index(compose) < ids.index(s.lamp_id) < ids.index(notice) and ids.index(beside) < ids.index(
                s.lamp_id)

        wait_for("the notice above the lamp, the compose window and the other notice below it",
                 notice_above_others_below)
        check("_NET_WM_STATE_ABOVE" in s.net_wm_state(s.lamp_id), "the lamp is no longer kept above")
        check("_NET_WM_STATE_ABOVE" not in s.net_wm_state(beside), "the notice beside the lamp was lifted too")
        check(s.nimo.poll() is None, "nimo ended")
    finally:
        release_and_stop(s)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nimo", required=True)
    parser.add_argument("case")
    args = parser.parse_args()
    return run_case(CASES, args)

if __name__ == "__main__":
    sys.exit(main())
