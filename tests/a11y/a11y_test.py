#!/usr/bin/python3
# The host on a private Xvfb, in a D-Bus session of its own (dbus-run-session) where the accessibility bus is
# started on demand, read and operated only through the AT-SPI client library, as a screen reader does.
# Usage: a11y_test.py <case>; KX_TEST_BIN names the build folder.
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

warnings.simplefilter("ignore", DeprecationWarning)
TIMEOUT = float(os.environ.get("KX_A11Y_TIMEOUT", "60"))


class Failure(Exception):
    pass


def start_xvfb():
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                             "-noreset"], pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while True:
        c = os.read(r, 1)
        if not c or c == b"\n":
            break
        number += c
    os.close(r)
    if not number:
        proc.kill()
        proc.wait()
        raise Failure("Xvfb did not start")
    return proc, ":" + number.decode()


def pump():
    ctx = GLib.MainContext.default()
    while ctx.iteration(False):
        pass


def wait_for(what, condition, timeout=TIMEOUT):
    """Asks again after short pauses, taking the bus's events meanwhile, until the condition gives a value."""
    end = time.monotonic() + timeout
    while True:
        pump()
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


def fresh(acc):
    try:
        acc.clear_cache()
    except GLib.Error:
        pass
    return acc


def showing(acc):
    try:
        return fresh(acc).get_state_set().contains(Atspi.StateType.SHOWING)
    except GLib.Error:
        return False


def children(acc):
    try:
        n = fresh(acc).get_child_count()
    except GLib.Error:
        return []
    out = []
    for i in range(n):
        try:
            c = acc.get_child_at_index(i)
        except GLib.Error:
            continue
        if c is not None:
            out.append(c)
    return out


def find_all(root, role=None, name=None, only_showing=True):
    found = []
    stack = [root]
    while stack:
        acc = stack.pop()
        try:
            r, n = acc.get_role(), acc.get_name()
        except GLib.Error:
            continue
        if only_showing and acc is not root and not showing(acc):
            continue
        if (role is None or r == role) and (name is None or n == name):
            found.append(acc)
        # A table's cells are read through the table, not walked.
        if r not in (Atspi.Role.TABLE, Atspi.Role.LIST):
            stack.extend(reversed(children(acc)))
    return found


def find(root, role, name=None):
    got = find_all(root, role, name)
    return got[0] if got else None


def application(name):
    def look():
        desktop = Atspi.get_desktop(0)
        for app in children(desktop):
            try:
                if app.get_name() == name:
                    return app
            except GLib.Error:
                pass
        return None
    return look


def window(app_name, title):
    def look():
        app = application(app_name)()
        if not app:
            return None
        for w in children(app):
            try:
                if w.get_name() == title and showing(w):
                    return w
            except GLib.Error:
                pass
        return None
    return look


def press(acc):
    names = [acc.get_action_name(i) for i in range(acc.get_n_actions())]
    if not names:
        raise Failure("%s has no action" % acc.get_name())
    if not acc.do_action(0):
        raise Failure("%s refused %s" % (acc.get_name(), names[0]))
    return names[0]


class Session:
    def __init__(self):
        self.tmp = tempfile.mkdtemp(prefix="kx-a11y-")
        self.xvfb, self.display = start_xvfb()
        self.host = None
        self.events = []
        self.listener = Atspi.EventListener.new(self.heard)
        for kind in ("object:state-changed:focused", "object:state-changed:showing", "object:children-changed",
                     "object:text-changed", "window:create"):
            self.listener.register(kind)

    def heard(self, event):
        try:
            self.events.append((event.type, event.source.get_role(), event.source.get_name(), event.detail1))
        except GLib.Error:
            pass

    def start(self, *args):
        env = dict(os.environ, DISPLAY=self.display, KESMORA_ROOT=self.tmp + "/root", HOME=self.tmp)
        env.pop("KX_HEADLESS", None)
        env.pop("NO_AT_BRIDGE", None)
        self.out = open(self.tmp + "/host.txt", "w")
        self.host = subprocess.Popen([os.environ["KX_TEST_BIN"] + "/bin/kxhost"] + list(args), env=env,
                                     stdout=self.out, stderr=subprocess.STDOUT)

    def output(self):
        try:
            with open(self.tmp + "/host.txt") as f:
                return f.read()
        except OSError:
            return ""

    def wait_host(self):
        end = time.monotonic() + TIMEOUT
        while self.host.poll() is None:
            pump()
            if time.monotonic() > end:
                raise Failure("the host did not end")
            time.sleep(0.05)
        return self.host.returncode

    def close(self):
        try:
            self.listener.deregister("object:state-changed:focused")
        except GLib.Error:
            pass
        if self.host and self.host.poll() is None:
            self.host.kill()
            self.host.wait()
        self.xvfb.send_signal(signal.SIGTERM)
        self.xvfb.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


def signer_wizard(s):
    """The Signer Wizard read by role and name, its welcome page operated by actions, the Files page reached with
    Next, a file name typed through the editable-text interface; focus and page changes arrive as events."""
    s.start("DisplaySignerWizard", "null")
    sheet = wait_for("the Signer Wizard on the bus", window("kxhost", "Signer Wizard"))
    check(sheet.get_role() == Atspi.Role.FRAME, "the sheet's role is %s" % sheet.get_role().value_nick)
    decrypt = wait_for("the welcome page's choices",
                       lambda: find(sheet, Atspi.Role.RADIO_BUTTON, "Decrypt and verify protected files"))
    check(decrypt.get_action_name(0) == "select", "a radio button's action is " + decrypt.get_action_name(0))
    welcome = wait_for("the welcome title", lambda: find(sheet, Atspi.Role.LABEL, "Welcome to the Signer Wizard"))
    check(welcome.get_text(0, -1) == "Welcome to the Signer Wizard", "the label's text is " + welcome.get_text(0, -1))
    nxt = find(sheet, Atspi.Role.PUSH_BUTTON, "Next >")
    check(nxt is not None, "no \"Next >\" button (mnemonic removed) on the sheet")
    check(nxt.get_key_binding(0) == "<Alt>n", "Next's key is %s" % nxt.get_key_binding(0))
    check(find(sheet, Atspi.Role.PUSH_BUTTON, "< Back") is not None, "no Back button")
    states = fresh(find(sheet, Atspi.Role.PUSH_BUTTON, "< Back")).get_state_set()
    check(not states.contains(Atspi.StateType.ENABLED), "Back is enabled on the first page")

    press(decrypt)
    wait_for("the decrypt choice checked",
             lambda: fresh(decrypt).get_state_set().contains(Atspi.StateType.CHECKED))
    s.events.clear()
    check(press(nxt) == "press", "a push button's action is not press")
    edit = wait_for("the Files page's File box", lambda: find(sheet, Atspi.Role.TEXT, "File:"))
    check(not showing(decrypt), "the welcome page's choices still show after Next")
    check(fresh(edit).get_state_set().contains(Atspi.StateType.EDITABLE), "the File box is not editable")
    wait_for("the page change announced", lambda: any(
        e[0].startswith("object:state-changed:showing") and e[2] == "Files" and e[3] == 1 for e in s.events))
    check(edit.grab_focus(), "the File box refused the focus")
    wait_for("the focus announced", lambda: any(
        e[0] == "object:state-changed:focused" and e[3] == 1 and e[1] == Atspi.Role.TEXT and e[2] == "File:"
        for e in s.events))
    wait_for("the File box focused", lambda: fresh(edit).get_state_set().contains(Atspi.StateType.FOCUSED))

    name = s.tmp + "/report – März.txt.Tvx"
    check(edit.set_text_contents(name), "set_text_contents refused")
    wait_for("the typed name in the File box", lambda: fresh(edit).get_text(0, -1) == name)
    check(edit.get_character_count() == len(name), "the character count is %d" % edit.get_character_count())
    wait_for("the text change announced", lambda: any(e[0].startswith("object:text-changed:insert") for e in s.events))
    out = find(sheet, Atspi.Role.TEXT, "Output folder:")
    check(out is not None, "no Output folder box")
    check(out.insert_text(0, "/tmp", 4), "insert_text refused")
    wait_for("the inserted folder", lambda: fresh(out).get_text(0, -1).startswith("/tmp"))

    # Cancel, answered Yes in the question that follows: the host ends.
    press(find(sheet, Atspi.Role.PUSH_BUTTON, "Cancel"))
    question = wait_for("the cancel question", lambda: [
        w for w in children(application("kxhost")()) if w.get_role() == Atspi.Role.DIALOG and showing(w)])[0]
    press(wait_for("its Yes button", lambda: find(question, Atspi.Role.PUSH_BUTTON, "Yes")))
    s.wait_host()


def audit_log(s):
    """The audit log's list read as a table: column headings, rows and cells, the selection."""
    s.start("DisplayAuditEventLog", "null")
    sheet = wait_for("the audit sheet on the bus", window("kxhost", "Auditing and Event Log"))
    table = wait_for("the log's table", lambda: find(sheet, Atspi.Role.TABLE))
    wait_for("the log's rows", lambda: fresh(table).get_n_rows() > 0)
    cols = table.get_n_columns()
    heads = [table.get_column_header(c).get_name() for c in range(cols)]
    check(heads[:2] == ["Operation", "Severity"] and "Message" in heads, "the headings are %s" % heads)
    rows = [[table.get_accessible_at(r, c).get_name() for c in range(cols)] for r in range(table.get_n_rows())]
    message = heads.index("Message")
    opened = [r for r in rows if r[message] == "The audit event log was opened for viewing."]
    check(opened and opened[0][0] == "Audit Event Log", "the rows are %s" % rows)
    cell = table.get_accessible_at(rows.index(opened[0]), 0)
    check(cell.get_role() == Atspi.Role.TABLE_CELL, "a cell's role is %s" % cell.get_role().value_nick)
    check(table.get_child_count() == cols * len(rows), "the table has %d children" % table.get_child_count())
    check(press(cell) == "select", "a cell's action is not select")
    wait_for("the row selected", lambda: fresh(table).is_row_selected(rows.index(opened[0])))
    press(find(sheet, Atspi.Role.PUSH_BUTTON, "Cancel"))
    s.wait_host()


CASES = {"signer_wizard": signer_wizard, "audit_log": audit_log}


def main():
    case = CASES[sys.argv[1]]
    if Atspi.init() not in (0, 1):
        raise Failure("the AT-SPI client cannot start")
    s = Session()
    try:
        case(s)
    except Failure as e:
        print("FAILED: %s" % e)
        print("host output:\n" + s.output())
        print("events: %s" % s.events[-40:])
        return 1
    finally:
        s.close()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
