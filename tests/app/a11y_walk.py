#!/usr/bin/python3
# Walks every window of korvane-s through the accessibility bus (AT-SPI), as a screen reader
# sees them, and fails on any focusable control without a name and on any value control
# (slider, scroll bar, spin box, progress bar) that reports no value. The windows are opened
# as a user opens them: keys, menu mnemonics and the buttons' own press actions.
#
# Usage: /usr/bin/python3 a11y_walk.py PROGDIR, where PROGDIR holds korvane-s, korvane-s-cli,
# korvane-s-sim, libkorvanes.so, korvanes.fwr and 20Band. The walk gets a session bus, an Xvfb
# server and the simulated processor (on COM 1) of its own.

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

if os.environ.get("A11Y_WALK_SESSION") is None:
    # A private session bus, and a runtime folder of its own: the accessibility bus keeps its
    # socket there, and walks run side by side must not share it.
    runtime = tempfile.mkdtemp(prefix="a11y-run-")
    try:
        sys.exit(subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv],
                                env=dict(os.environ, A11Y_WALK_SESSION="1", XDG_RUNTIME_DIR=runtime)).returncode)
    finally:
        shutil.rmtree(runtime, ignore_errors=True)

import pyatspi  # noqa: E402 (inside the session)
from gi.repository import GLib  # noqa: E402

PROG = os.path.abspath(sys.argv[1])
MAIN_TITLE = "Korvane-S Configuration Utility"
EDITOR_TYPES = [  # stage type list index, the editor window's object name (for messages)
    (0, "Ctl1CH"), (1, "CtlLPF"), (2, "CtlHPF"), (3, "CtlBPF"), (4, "CtlBSF"),
    (5, "CtlComb"), (6, "CtlNotch"), (7, "CtlSlot"), (8, "CtlEq"), (9, "CtlSGE")]
VALUE_ROLES = {pyatspi.ROLE_SLIDER, pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_PROGRESS_BAR}

problems = []
seen_windows = []
heard = []  # (event type, source name) of the value and description changes the bus carried


def wait_for(what, check, seconds=60):
    """check() until it returns something true; a generous deadline, never a fixed sleep as proof."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while GLib.MainContext.default().iteration(False):  # deliver the bus's events
            pass
        try:
            got = check()
        except Exception:  # the tree changes under us while a window opens or closes
            got = None
        if got:
            return got
        time.sleep(0.1)
    try:
        state = "; programs on the bus: %s; its windows: %s" % (
            [c.name for c in pyatspi.Registry.getDesktop(0) if c], [w.name for w in windows() if w])
    except Exception as e:  # the report must not hide the time-out
        state = "; %s" % e
    sys.exit("a11y walk: timed out waiting for " + what + state)


def xdo(*args):
    subprocess.run(["xdotool", *args], check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def keys(title, *names):
    """Gives the window whose title starts so the input focus (there is no window manager: a
    changed configuration adds "*" to the main window's) and types."""
    wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + re.escape(title)],
                         capture_output=True, text=True).stdout.split()
    if wid:
        xdo("windowfocus", "--sync", wid[0])
    xdo("key", "--clearmodifiers", *names)


def app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        a = desktop.getChildAtIndex(i)
        if a is not None and a.name == "korvane-s":
            return a
    return None


def windows():
    a = app()
    return [a.getChildAtIndex(i) for i in range(a.childCount)] if a else []


def window(title):
    for w in windows():
        if w is not None and w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
            return w
    return None


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find(node, role, name=None):
    for n in descendants(node):
        if n.getRole() == role and (name is None or n.name == name):
            return n
    return None


def press(node):
    node.queryAction().doAction(0)


def value_text(n):
    """What the control reports as its value: the figure, and the text that goes with it."""
    try:
        v = n.queryValue()
        number = v.currentValue
    except NotImplementedError:
        return None
    return "%g in %g..%g: %s" % (number, v.minimumValue, v.maximumValue, n.description or "")


def walk(label, win):
    """Checks every showing control of the window; returns the setting bars' value texts."""
    seen_windows.append(label)
    values = {}
    for n in descendants(win):
        state = n.getState()
        if not state.contains(pyatspi.STATE_SHOWING):
            continue
        role = n.getRole()
        what = "%s: %s in \"%s\"" % (label, n.getRoleName(), n.parent.name if n.parent else "")
        if state.contains(pyatspi.STATE_FOCUSABLE) and not n.name.strip():
            problems.append("%s (%s) has no name" % (what, n.description or "no description"))
        if role in VALUE_ROLES:
            text = value_text(n)
            if text is None:
                problems.append("%s \"%s\" has no value interface" % (what, n.name))
            elif role == pyatspi.ROLE_SLIDER and not n.description.strip():
                problems.append("%s \"%s\" reports no value text" % (what, n.name))
            else:
                values[n.name] = text
    return values


def open_editor(main, stage2, type_index):
    # A combo box takes no focus from the bus: open its list (its ShowMenu action) and pick
    # the type with the keys, as a user does with the list open.
    keys(MAIN_TITLE)
    combo = find(stage2, pyatspi.ROLE_COMBO_BOX)
    combo.queryAction().doAction(0)
    wait_for("the type list to open", lambda: find(combo, pyatspi.ROLE_LIST).getState().contains(pyatspi.STATE_SHOWING))
    xdo("key", "Home", *(["Down"] * type_index), "Return")
    wait_for("stage 2 type %d" % type_index,
             lambda: find(stage2, pyatspi.ROLE_COMBO_BOX).name.startswith(
                 ["1CH", "Lowpass", "Highpass", "Bandpass", "Bandstop", "Comb", "Notch", "Slot", "20-Band",
                  "Spectral"][type_index]))
    before = {w.name for w in windows()}
    press(find(stage2, pyatspi.ROLE_PUSH_BUTTON, "Control"))
    return wait_for("editor of type %d" % type_index,
                    lambda: next((w for w in windows() if w.name not in before
                                  and w.getState().contains(pyatspi.STATE_SHOWING)), None))


def close(win):
    title = win.name
    keys(title, "Escape")
    wait_for("%s to close" % title, lambda: window(title) is None)


def step_from_keys(ed):
    """PageUp raises the cutoff bar by a large step (50 Hz): the bus carries its new value and
    the new figure of the slope, which follows the cutoff. PageDown puts it back."""
    bar = find(ed, pyatspi.ROLE_SLIDER, "Cutoff Frequency")
    start = bar.queryValue().currentValue
    bar.queryComponent().grabFocus()
    wait_for("the cutoff bar to take the focus", lambda: bar.getState().contains(pyatspi.STATE_FOCUSED))
    del heard[:]
    keys(ed.name, "Prior")
    wait_for("the cutoff bar to move", lambda: bar.queryValue().currentValue != start)
    expected = "%d Hz" % (start + 50)
    if bar.description != expected:
        problems.append("%s: PageUp on the cutoff bar reads \"%s\", not \"%s\"" % (ed.name, bar.description, expected))
    for event in (("object:property-change:accessible-value", "Cutoff Frequency"),
                  ("object:property-change:accessible-description", "Transition Slope")):
        # Events come after the change; a missing one is reported after a generous wait.
        deadline = time.monotonic() + 30
        while event not in heard and time.monotonic() < deadline:
            GLib.MainContext.default().iteration(False)
            time.sleep(0.05)
        if event not in heard:
            problems.append("%s: no %s event from %s after PageUp" % (ed.name, event[0], event[1]))
    keys(ed.name, "Next")
    wait_for("the cutoff bar to move back", lambda: bar.queryValue().currentValue == start)


def editor_pass(main, bandwidth, with_drop_dialog):
    stage2 = wait_for("Stage 2 frame", lambda: find(main, pyatspi.ROLE_PANEL, "Stage 2"))
    lowpass_range = None
    for type_index, name in EDITOR_TYPES:
        ed = open_editor(main, stage2, type_index)
        label = "%s (%s) at %s" % (name, ed.name, bandwidth)
        values = walk(label, ed)
        if name == "CtlLPF":
            lowpass_range = values
            step_from_keys(ed)
        if name == "CtlSGE" and with_drop_dialog:
            press(find(ed, pyatspi.ROLE_PUSH_BUTTON, "Edit"))
            drop = wait_for("drop-trace dialog", lambda: window("Spectral Graphic Edit"))
            walk("EDGEDrop (Spectral Graphic Edit)", drop)
            close(drop)
        close(ed)
    return lowpass_range


def main():
    tmp = tempfile.mkdtemp(prefix="a11y-walk-")
    procs = []
    try:
        for d in ("prog", "work", "config", "com"):
            os.mkdir(os.path.join(tmp, d))
        for f in ("korvane-s", "libkorvanes.so", "korvanes.fwr", "20Band"):
            shutil.copy2(os.path.join(PROG, f), os.path.join(tmp, "prog", f))
        # A settings file read at start is validated to the 7.5 kHz bandwidth; File > New
        # later gives 5.0 kHz: the editors are walked at both.
        subprocess.run([os.path.join(PROG, "korvane-s-cli"), "new", os.path.join(tmp, "work", "default.min")],
                       check=True, stdout=subprocess.DEVNULL)

        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        procs.append(xvfb)
        display = xvfb.stdout.readline().decode().strip()
        if not display:
            sys.exit("a11y walk: Xvfb did not start")
        env = dict(os.environ, DISPLAY=":" + display, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   KORVANE_COM_DIR=os.path.join(tmp, "com"), XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                   XDG_STATE_HOME=os.path.join(tmp, "state"), KORVANE_ALLOW_STANDIN_FIRMWARE="1")
        os.environ.update(DISPLAY=env["DISPLAY"])
        # Asking for the desktop starts the accessibility bus and its registry (D-Bus
        # activation on the session bus) before the program looks for them.
        wait_for("the accessibility bus", lambda: pyatspi.Registry.getDesktop(0) is not None)
        pyatspi.Registry.registerEventListener(lambda e: heard.append((e.type, e.source.name if e.source else "")),
                                               "object:property-change:accessible-value",
                                               "object:property-change:accessible-description")
        # Paced: the upload takes long enough to walk the progress window while it runs.
        sim = subprocess.Popen([os.path.join(PROG, "korvane-s-sim"), "--com", "1", "--filters", "4", "--pace", "9600"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        procs.append(sim)
        while b"LINK" not in sim.stdout.readline():
            pass
        procs.append(subprocess.Popen([os.path.join(tmp, "prog", "korvane-s")], cwd=os.path.join(tmp, "work"),
                                      env=env, stdout=subprocess.DEVNULL, stderr=None))

        # The splash window comes first: wait for the main window's own controls.
        main_win = wait_for("main window", lambda: (w := window(MAIN_TITLE)) and find(w, pyatspi.ROLE_PANEL, "Stage 2")
                            and w)
        # The Listen tab's dock is in the tree, showing, beside the response panel's.
        walk("main window", main_win)

        wide = editor_pass(main_win, "7.5 kHz", True)
        keys(MAIN_TITLE, "ctrl+n")
        question = wait_for("save question", lambda: next((w for w in windows() if w.name.startswith("Save")
                                                           and w.getState().contains(pyatspi.STATE_SHOWING)), None))
        walk("question (%s)" % question.name, question)
        press(find(question, pyatspi.ROLE_PUSH_BUTTON, "No"))
        wait_for("the question to close", lambda: window(question.name) is None)
        narrow = editor_pass(main_win, "5.0 kHz", False)
        if wide == narrow:
            problems.append("the two bandwidths showed the Lowpass editor alike: %s" % wide)

        keys(MAIN_TITLE, "alt+h", "a")
        about = wait_for("About", lambda: window("About Korvane"))
        walk("About", about)
        close(about)

        keys(MAIN_TITLE, "ctrl+p")
        ask = wait_for("programming question", lambda: window("Program All Filters?"))
        walk("question (Program All Filters?)", ask)
        keys("Program All Filters?", "Return")
        comm = wait_for("progress window", lambda: window("Transferring Filters"))
        # Walked once the upload runs (the bar has moved), then cancelled.
        bar = wait_for("upload under way", lambda: (b := find(comm, pyatspi.ROLE_PROGRESS_BAR))
                       and b.queryValue().currentValue > 0 and b)
        walk("progress window (Transferring Filters)", comm)
        try:
            press(find(comm, pyatspi.ROLE_PUSH_BUTTON, "Cancel"))
        except Exception:  # the walk is done; the program is ended below either way
            pass
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(tmp, ignore_errors=True)

    print("walked: " + "; ".join(seen_windows))
    print("Lowpass editor's bars at 7.5 kHz: %s\n                     at 5.0 kHz: %s" % (wide, narrow))
    for p in problems:
        print("FAIL " + p)
    print("%d problems" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
