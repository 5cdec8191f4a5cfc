#!/usr/bin/python3
"""The logging screen over the real accessibility bus, driven as a screen reader drives it.

Starts its own X server (Xvfb, on a free display), a private session bus, the accessibility bus,
the stand-in service with a fixed sign-in code and the app on the demo shoot. Then, through the
accessibility tree only (text fields' EditableText, actions, and one Return key sent through the
accessibility registry): signs in, starts logging, presses a marker button, ticks and saves lines
in the picker, opens the composer under a line, types a note and presses Return, and reads the
resulting rows with their texts, cells and actions, the column captions and the running timecode.
Then keeps a marker with no lines and notes it, searches this log and reads the hits' rows as
they are drawn, and reads the mixer band's header with its live count as a channel is muted.
It also listens to what the app tells a screen reader: a new row announced on the log table, a
row's changed name, and the clock's digits once a second rather than every frame.

Every wait polls against a deadline; every process started here is stopped on the way out.
Usage: accessibility_e2e.py --app <pindle-logger> --standin <pindle-standin>
"""

import argparse
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

STEP_TIMEOUT_S = 20
SIGN_IN_CODE = "123456"
EMAIL = "ada@example.com"
NOTE = "wide on the boat"
EDITED_NOTE = "boat in frame"
# The note of a marker kept without lines: nothing else in the demo says "slate".
BARE_NOTE = "tail slate"
SEARCH_PROMPT = "Find a word, a name, a tag"
MIXER_COUNT = re.compile(r"^CHANNELS, (\d+) of (\d+) live$")
TIMECODE = re.compile(r"^\d\d:\d\d:\d\d[:;]\d\d$")
XK_RETURN = 0xFF0D
# A session bus of our own that activates nothing (no keyring, no settings daemon).
SESSION_BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={dir}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class Failure(Exception):
    pass


def die_with_parent():
    # The children go when this script goes, however it goes (a CTest timeout kills it).
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Processes:
    """Everything started here, stopped in reverse order, each with its process group."""

    def __init__(self, logs):
        self.logs = logs
        self.started = []

    def start(self, name, argv, env, pass_fds=(), stdout=None):
        log = open(os.path.join(self.logs, name + ".log"), "wb")
        process = subprocess.Popen(argv, env=env, pass_fds=pass_fds, stdin=subprocess.DEVNULL,
                                   stdout=stdout if stdout is not None else log, stderr=log,
                                   start_new_session=True, preexec_fn=die_with_parent)
        self.started.append((name, process, log))
        return process

    def alive(self, process):
        return process.poll() is None

    def stop_all(self):
        for name, process, log in reversed(self.started):
            for sig, grace in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
                try:
                    os.killpg(process.pid, sig)
                except ProcessLookupError:
                    pass
                try:
                    process.wait(timeout=grace)
                    break
                except subprocess.TimeoutExpired:
                    continue
            log.close()
        self.started.clear()

    def tail(self, name, lines=40):
        path = os.path.join(self.logs, name + ".log")
        try:
            with open(path, "rb") as f:
                return b"\n".join(f.read().splitlines()[-lines:]).decode(errors="replace")
        except OSError:
            return ""


def read_until(fd, pattern, timeout, what):
    """Reads from `fd` until `pattern` matches what was read; returns the match."""
    deadline = time.monotonic() + timeout
    seen = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        chunk = os.read(fd, 4096)
        if not chunk:
            break
        seen += chunk
        match = re.search(pattern, seen)
        if match:
            return match
    raise Failure(f"{what}: nothing matching {pattern!r} within {timeout} s (read {seen!r})")


class Tree:
    """The accessibility tree as pyatspi sees it, polled with deadlines."""

    def __init__(self, pyatspi, glib):
        self.at = pyatspi
        self.glib = glib
        self.events = []

    def pump(self):
        context = self.glib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def wait(self, what, probe, timeout=STEP_TIMEOUT_S):
        deadline = time.monotonic() + timeout
        while True:
            self.pump()
            try:
                found = probe()
            except Exception:  # the tree moves under a walk: a node may go mid-read
                found = None
            if found:
                return found
            if time.monotonic() > deadline:
                raise Failure(f"timed out after {timeout} s waiting for {what}")
            time.sleep(0.05)

    def listen(self, *kinds):
        self.at.Registry.registerEventListener(self._heard, *kinds)

    def _heard(self, event):
        try:
            self.events.append((event.type, event.source, event.detail1, event.any_data))
        except Exception:
            pass

    def app(self, name):
        desktop = self.at.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            child = desktop.getChildAtIndex(i)
            if child is not None and child.name == name:
                return child
        return None

    def walk(self, root, depth=0, limit=60):
        yield root, depth
        if depth >= limit:
            return
        for i in range(root.childCount):
            child = root.getChildAtIndex(i)
            if child is not None:
                yield from self.walk(child, depth + 1, limit)

    def find(self, root, role, name=None, test=None):
        for node, _ in self.walk(root):
            if node.getRole() == role and (name is None or node.name == name) and (test is None or test(node)):
                return node
        return None

    def children(self, node):
        return [node.getChildAtIndex(i) for i in range(node.childCount)]

    def actions(self, node):
        action = node.queryAction()
        return [action.getName(i) for i in range(action.nActions)]

    def act(self, node, name):
        action = node.queryAction()
        for i in range(action.nActions):
            if action.getName(i) == name:
                if not action.doAction(i):
                    raise Failure(f"{name!r} on {node.name!r} was refused")
                return
        raise Failure(f"{node.name!r} offers no {name!r}: {self.actions(node)}")

    def text(self, node):
        text = node.queryText()
        return text.getText(0, text.characterCount)

    def write(self, node, text):
        if not node.queryEditableText().setTextContents(text):
            raise Failure(f"{node.name!r} refused the text")

    def has(self, node, state):
        return node.getState().contains(state)

    def dump(self, node, depth=0, limit=6, out=None):
        lines = out if out is not None else []
        try:
            extra = ""
            try:
                text = self.text(node)
                if text and text != node.name:
                    extra += f" text={text!r}"
            except NotImplementedError:
                pass
            try:
                names = self.actions(node)
                if names:
                    extra += f" actions={names}"
            except NotImplementedError:
                pass
            if node.description:
                extra += f" description={node.description!r}"
            lines.append("  " * depth + f"[{node.getRoleName()}] {node.name!r}{extra}")
            if depth < limit:
                for child in self.children(node):
                    self.dump(child, depth + 1, limit, lines)
        except Exception as error:  # a node gone mid-dump
            lines.append("  " * depth + f"(gone: {error})")
        return lines


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(args, work, processes):
    env = dict(os.environ)
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    for key, sub in (("XDG_DATA_HOME", "data"), ("XDG_CONFIG_HOME", "config"), ("XDG_CACHE_HOME", "cache")):
        env[key] = os.path.join(work, sub)
        os.mkdir(env[key])
    env["XDG_RUNTIME_DIR"] = runtime
    env["HOME"] = work
    for key in ("AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_ACCESSIBILITY"):
        env.pop(key, None)

    # An X server on a display it picks itself: it writes the number once it is ready.
    read_end, write_end = os.pipe()
    processes.start("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1400x900x24",
                             "-nolisten", "tcp"], env, pass_fds=(write_end,))
    os.close(write_end)
    display = ":" + read_until(read_end, rb"(\d+)\n", STEP_TIMEOUT_S, "Xvfb").group(1).decode()
    os.close(read_end)
    env["DISPLAY"] = display

    config = os.path.join(work, "session.conf")
    with open(config, "w") as f:
        f.write(SESSION_BUS_CONFIG.format(dir=runtime))
    read_end, write_end = os.pipe()
    processes.start("session-bus", ["dbus-daemon", "--config-file=" + config, "--nofork",
                                    "--print-address=" + str(write_end)], env, pass_fds=(write_end,))
    os.close(write_end)
    env["DBUS_SESSION_BUS_ADDRESS"] = read_until(read_end, rb"(\S+)\n", STEP_TIMEOUT_S,
                                                 "session bus").group(1).decode()
    os.close(read_end)

    processes.start("a11y-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env)
    from gi.repository import Gio, GLib

    session = Gio.DBusConnection.new_for_address_sync(
        env["DBUS_SESSION_BUS_ADDRESS"],
        Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)

    def a11y_address():
        try:
            reply = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                                      GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 2000, None)
            return reply.unpack()[0]
        except GLib.Error:
            return None

    deadline = time.monotonic() + STEP_TIMEOUT_S
    address = a11y_address()
    while not address:
        if time.monotonic() > deadline:
            raise Failure("the accessibility bus did not come up")
        time.sleep(0.05)
        address = a11y_address()
    # This side is told the bus outright. The app finds it as an application does: told, Qt's
    # bridge connects to it but never registers the application.
    os.environ.update({key: env[key] for key in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR")})
    os.environ["AT_SPI_BUS_ADDRESS"] = address
    import pyatspi

    tree = Tree(pyatspi, GLib)
    roles = pyatspi

    read_end, write_end = os.pipe()
    processes.start("standin", [args.standin, "--port", "0", "--code", SIGN_IN_CODE, "--test-control"], env,
                    stdout=write_end)
    os.close(write_end)
    url = read_until(read_end, rb"listening on (http://127\.0\.0\.1:\d+)", STEP_TIMEOUT_S,
                     "stand-in").group(1).decode()
    os.close(read_end)

    app_env = dict(env, PINDLE_SERVICE_URL=url, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    # xkbcommon copies the X server's key names with strndup from buffers that are not
    # terminated, which is allowed but trips the sanitizer's strict string checks.
    asan = [o for o in env.get("ASAN_OPTIONS", "").split(":") if o and not o.startswith("strict_string_checks")]
    app_env["ASAN_OPTIONS"] = ":".join(asan + ["strict_string_checks=0"])
    app_process = processes.start("app", [args.app, "--demo"], app_env)
    app = tree.wait("the app on the accessibility bus", lambda: tree.app(os.path.basename(args.app)))

    # What the app tells a screen reader, from here on.
    tree.listen("object:children-changed", "object:text-changed", "object:property-change:accessible-name",
                "object:property-change:accessible-description")

    # Sign in: the address, its code, each written into its field and sent with the button.
    email = tree.wait("the email field", lambda: tree.find(app, roles.ROLE_TEXT, "you@example.com"))
    tree.write(email, EMAIL)
    send = tree.wait("the send button, enabled", lambda: tree.find(
        app, roles.ROLE_PUSH_BUTTON, "Email me a code", lambda n: tree.has(n, roles.STATE_ENABLED)))
    tree.act(send, "Press")
    code = tree.wait("the code field", lambda: tree.find(
        app, roles.ROLE_TEXT, "6-digit code", lambda n: tree.has(n, roles.STATE_SHOWING)))
    tree.write(code, SIGN_IN_CODE)
    sign_in = tree.wait("the sign-in button, enabled", lambda: tree.find(
        app, roles.ROLE_PUSH_BUTTON, "Sign in", lambda n: tree.has(n, roles.STATE_ENABLED)))
    tree.act(sign_in, "Press")
    start = tree.wait("the logging screen", lambda: tree.find(
        app, roles.ROLE_PUSH_BUTTON, "Start logging", lambda n: tree.has(n, roles.STATE_SHOWING)))

    # The column captions, and the clock's digits as text.
    captions = tree.wait("the column captions", lambda: tree.find(
        app, roles.ROLE_TABLE_ROW, None,
        lambda n: [c.name for c in tree.children(n)] == ["TYPE", "TIMECODE", "WHO", "WHAT WAS SAID", "NOTE"]))
    check(all(c.getRole() == roles.ROLE_TABLE_COLUMN_HEADER for c in tree.children(captions)),
          "the captions are not column headers")
    clock = tree.find(app, roles.ROLE_LABEL, "Timecode")
    check(clock is not None and TIMECODE.match(tree.text(clock)), "the timecode reads no timecode")
    log = tree.find(app, roles.ROLE_TABLE, "Log")
    transcript = tree.find(app, roles.ROLE_LIST, "Transcript")
    check(log is not None and transcript is not None, "no log table or no transcript list")

    tree.act(start, "Press")
    tree.wait("two transcript lines", lambda: transcript.childCount >= 2)

    # The clock is told of about once a second, not once a frame (25 a second here).
    tree.events.clear()
    began = time.monotonic()

    def clock_news():
        return [e for e in tree.events if e[0] == "object:text-changed:insert" and e[1] == clock]

    tree.wait("the clock announced twice", lambda: len(clock_news()) >= 2)
    took = time.monotonic() - began
    check(len(clock_news()) <= took + 2, f"the clock was announced {len(clock_news())} times in {took:.1f} s")

    # A marker press: its picker opens with the window's lines ticked.
    marker = tree.find(app, roles.ROLE_PUSH_BUTTON, None, lambda n: n.description.startswith("Grabs the last"))
    check(marker is not None, "no marker button")
    kind = marker.name
    tree.events.clear()
    tree.act(marker, "Press")
    picker = tree.wait("the line picker", lambda: tree.find(
        app, roles.ROLE_DIALOG, "Pick the lines for " + kind, lambda n: tree.has(n, roles.STATE_SHOWING)))
    boxes = tree.wait("ticked lines", lambda: [n for n, _ in tree.walk(picker) if n.getRole() == roles.ROLE_CHECK_BOX])
    check(all(tree.has(n, roles.STATE_CHECKED) and n.name.startswith("Ticked: ") for n in boxes),
          "the picker's lines are not all ticked")
    lines = [n.name[len("Ticked: "):] for n in boxes]
    check(tree.find(picker, roles.ROLE_PUSH_BUTTON, "Keep the last few seconds") is not None, "no keep button")
    save = tree.find(picker, roles.ROLE_PUSH_BUTTON, "Save lines")
    check(save is not None, "no Save lines button")
    # Untick and tick the first line again: the screen keeps the ticks.
    first = boxes[0]
    tree.act(first, "Toggle")
    tree.wait("the first line unticked", lambda: not tree.has(first, roles.STATE_CHECKED) and first.name == lines[0])
    tree.act(first, "Toggle")
    tree.wait("the first line ticked again", lambda: tree.has(first, roles.STATE_CHECKED))
    tree.act(save, "Press")
    tree.wait("the picker gone", lambda: tree.find(app, roles.ROLE_DIALOG, None,
                                                    lambda n: tree.has(n, roles.STATE_SHOWING)) is None)

    saved = tree.wait("the saved entry's row", lambda: log.getChildAtIndex(0) if log.childCount == 1 else None)
    tree.wait("the row announced on the log table", lambda: any(
        e[0] == "object:children-changed:add" and e[1] == log for e in tree.events))
    cells = [c.name for c in tree.children(saved)]
    check(saved.getRole() == roles.ROLE_TABLE_ROW, "the log's row is not a table row")
    check(len(cells) == 5 and cells[0] == kind and TIMECODE.match(cells[1]), f"the row's cells read {cells}")
    check(all(line in cells[3] for line in lines), f"what was said ({cells[3]!r}) lacks the picked lines")
    check(tree.actions(saved) == ["Select", "+ Note", "Delete"], f"the row offers {tree.actions(saved)}")
    check(saved.name.startswith(kind + ", " + cells[1]), f"the row reads {saved.name!r}")

    # The composer under the newest line no entry holds: a note typed in, Return.
    def free_line():
        items = tree.children(transcript)
        free = [n for n in items if not n.name.endswith(", Selected")]
        return free[-1] if free else None

    line = tree.wait("a line no entry holds", free_line)
    line_text = line.name
    tree.act(line, "Select")
    composer = tree.wait("the composer under its line", lambda: line.getChildAtIndex(0) if line.childCount else None)
    field = tree.find(composer, roles.ROLE_TEXT, "Add a note, then press Enter")
    chips = [n for n, _ in tree.walk(composer) if n.getRole() == roles.ROLE_CHECK_BOX]
    check(field is not None and tree.find(composer, roles.ROLE_PUSH_BUTTON, "Log") is not None,
          "the composer has no note field or no Log button")
    check(any(c.name == kind and tree.has(c, roles.STATE_CHECKED) for c in chips),
          f"the composer's chips {[c.name for c in chips]} do not pick {kind}")
    composer_dump = tree.dump(line, limit=4)
    tree.write(field, NOTE)
    check(tree.text(field) == NOTE, f"the note field holds {tree.text(field)!r}")
    # Return goes to the field with the keyboard. With no window manager to give the window
    # back the keyboard after the picker, X sends keys to the window under the pointer: the
    # pointer goes to the field, as a screen reader's "route the pointer here" does.
    tree.act(field, "SetFocus")
    x, y, width, height = field.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, pyatspi.MOUSE_ABS)
    pyatspi.Registry.generateKeyboardEvent(XK_RETURN, None, pyatspi.KEY_SYM)
    noted = tree.wait("the composer's row", lambda: log.getChildAtIndex(1) if log.childCount == 2 else None)
    cells = [c.name for c in tree.children(noted)]
    check(cells[0] == kind and TIMECODE.match(cells[1]) and cells[4] == NOTE, f"the composer's row reads {cells}")
    check(cells[3] and cells[3] in line_text, f"the composer's row says {cells[3]!r}, the line {line_text!r}")
    check(tree.actions(noted) == ["Select", "Edit note", "Delete"], f"the noted row offers {tree.actions(noted)}")
    tree.wait("the composer closed", lambda: line.childCount == 0)

    # "+ Note" on the first row opens its note field in its note cell; what is written there is
    # the note, and the row's new name is announced.
    tree.events.clear()
    tree.act(saved, "+ Note")
    note_cell = saved.getChildAtIndex(4)
    note_field = tree.wait("the note field in its cell", lambda: note_cell.getChildAtIndex(0)
                           if note_cell.childCount else None)
    check(note_field.getRole() == roles.ROLE_TEXT and note_field.name == "Note", "the note cell holds no note field")
    tree.write(note_field, EDITED_NOTE)
    tree.wait("the note in its cell", lambda: note_cell.name == EDITED_NOTE)
    tree.wait("the row's new name announced", lambda: any(
        e[0].startswith("object:property-change:accessible-name") and e[1] == saved for e in tree.events))
    check(saved.name.endswith("Note: " + EDITED_NOTE), f"the row reads {saved.name!r}")

    # A marker kept without its lines (the demo grabs no words), then found only by its note.
    tree.act(marker, "Press")
    picker = tree.wait("the line picker again", lambda: tree.find(
        app, roles.ROLE_DIALOG, "Pick the lines for " + kind, lambda n: tree.has(n, roles.STATE_SHOWING)))
    tree.act(tree.find(picker, roles.ROLE_PUSH_BUTTON, "Keep the last few seconds"), "Press")
    bare = tree.wait("the kept marker's row", lambda: log.getChildAtIndex(2) if log.childCount == 3 else None)
    tree.act(bare, "+ Note")
    bare_note = tree.wait("the kept marker's note field", lambda: bare.getChildAtIndex(4).getChildAtIndex(0)
                          if bare.getChildAtIndex(4).childCount else None)
    tree.write(bare_note, BARE_NOTE)
    tree.wait("the kept marker's note", lambda: bare.getChildAtIndex(4).name == BARE_NOTE)
    search_dump = search_this_log(tree, roles, app, log, transcript)

    # The mixer header names its action and describes its caption and live count, and tells
    # of a new count when a channel is muted.
    header = tree.find(app, roles.ROLE_PUSH_BUTTON, "Collapse channels")
    check(header is not None, "no mixer header named for its action")
    count = MIXER_COUNT.match(header.description)
    check(count is not None, f"the mixer header describes {header.description!r}")
    live, total = int(count.group(1)), int(count.group(2))
    mute = tree.find(app, roles.ROLE_PUSH_BUTTON, None, lambda n: n.name.startswith("Mute "))
    check(mute is not None, "no channel to mute")
    tree.events.clear()
    tree.act(mute, "Press")
    fewer = f"CHANNELS, {live - 1} of {total} live"
    tree.wait("the mixer header's new count", lambda: header.description == fewer)
    tree.wait("the new count announced", lambda: any(
        e[0].startswith("object:property-change:accessible-description") and e[1] == header for e in tree.events))
    tree.act(header, "Press")
    tree.wait("the header renamed as collapsed", lambda: header.name == "Expand channels")
    check(header.description == fewer, f"collapsed, the header describes {header.description!r}")
    tree.act(header, "Press")
    tree.wait("the header renamed as open", lambda: header.name == "Collapse channels")
    mixer_dump = tree.dump(header, limit=0)

    check(processes.alive(app_process), "the app died")
    print("\n".join(["Log pane:"] + tree.dump(captions, limit=1) + tree.dump(log, limit=3) +
                    ["Transcript line with its composer:"] + composer_dump +
                    ["Clock:"] + tree.dump(clock, limit=0) + ["Search:"] + search_dump +
                    ["Mixer header:"] + mixer_dump))


def search_this_log(tree, roles, app, log, transcript):
    """Opens the search sheet from the header, reads the hits of two queries, closes it."""
    pill = tree.find(app, roles.ROLE_PUSH_BUTTON, "Search", lambda n: tree.has(n, roles.STATE_SHOWING))
    check(pill is not None, "no Search pill in the header")
    tree.act(pill, "Press")
    sheet = tree.wait("the search sheet", lambda: tree.find(
        app, roles.ROLE_DIALOG, "Search", lambda n: tree.has(n, roles.STATE_SHOWING)))
    field = tree.find(sheet, roles.ROLE_TEXT, SEARCH_PROMPT)
    hits = tree.find(sheet, roles.ROLE_LIST)
    check(field is not None and hits is not None, "the search sheet has no field or no hit list")

    # The composer's line, by its words: the entry made from it (its header, then its summary or
    # words), then the line itself, read as the transcript reads it.
    noted = tree.children(log.getChildAtIndex(1))
    timecode, who, said = noted[1].name, noted[2].name, noted[3].name
    check(who != "" and said != "", f"the composer's row reads {[c.name for c in noted]}")
    tree.write(field, said)
    rows = tree.wait("the hits for the composer's line", lambda: tree.children(hits) if hits.childCount == 2 else None)
    header = f"{timecode}, {who}, SELECT, "
    check(rows[0].name.startswith(header) and len(rows[0].name) > len(header),
          f"the entry's hit reads {rows[0].name!r}, its row shows {header!r} over its text")
    parts = rows[1].name.split(", ", 2)
    check(len(parts) == 3 and TIMECODE.match(parts[0]) and parts[1] == who and parts[2] == said,
          f"the line's hit reads {rows[1].name!r}")
    check(any(t.name == rows[1].name or t.name.startswith(rows[1].name + ", ") for t in tree.children(transcript)),
          f"the line's hit reads {rows[1].name!r}, its transcript line otherwise")
    dump = tree.dump(hits, limit=1)

    # The kept marker has no words: its hit reads the header it shows, never nothing.
    bare = tree.children(log.getChildAtIndex(2))
    tree.write(field, "slate")
    row = tree.wait("the hit for slate", lambda: hits.getChildAtIndex(0) if hits.childCount == 1 else None)
    shown = ", ".join(c.name for c in (bare[1], bare[2]) if c.name) + ", SELECT"
    check(row.name == shown, f"the kept marker's hit reads {row.name!r}, its row shows {shown!r}")
    dump += tree.dump(hits, limit=1)

    tree.act(tree.find(sheet, roles.ROLE_PUSH_BUTTON, "Done"), "Press")
    tree.wait("the search sheet gone", lambda: tree.find(app, roles.ROLE_DIALOG, "Search",
                                                           lambda n: tree.has(n, roles.STATE_SHOWING)) is None)
    return dump


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--app", required=True)
    parser.add_argument("--standin", required=True)
    args = parser.parse_args()
    for tool in ("Xvfb", "dbus-daemon"):
        if not shutil.which(tool):
            print(f"{tool} is missing", file=sys.stderr)
            return 1
    # Stopped from outside (a timeout), the processes are still stopped on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    work = tempfile.mkdtemp(prefix="pindle-a11y-")
    processes = Processes(work)
    started = time.monotonic()
    try:
        run(args, work, processes)
        print(f"passed in {time.monotonic() - started:.1f} s")
        return 0
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        for name in ("app", "standin", "a11y-bus"):
            print(f"--- {name} log (last lines) ---\n{processes.tail(name)}", file=sys.stderr)
        return 1
    finally:
        processes.stop_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
