#!/usr/bin/python3
# Walks every window of korvane-s through the accessibility bus (AT-SPI), as a screen reader
# sees them, and fails on any focusable control without a name and on any value control
# (slider, scroll bar, spin box, progress bar) that reports no value. The windows are opened
# as a user opens them: keys, menu mnemonics and the buttons' own press actions.
#
# Usage: /usr/bin/python3 atspi_support.py /usr/bin/python3 a11y_walk.py PROGDIR (a session bus
# and an Xvfb server of its own), where PROGDIR holds korvane-s, korvane-s-cli, korvane-s-sim,
# libkorvanes.so, korvanes.fwr and 20Band. The walk starts the simulated processor on COM 1.

import os
import re
import shutil
import subprocess
import sys
import tempfile

import atspi_support as at
import pyatspi

PROG = os.path.abspath(sys.argv[1])
MAIN_TITLE = "Korvane-S Configuration Utility"
EDITOR_TYPES = [  # stage type list index, the editor window's object name (for messages)
    (0, "Ctl1CH"), (1, "CtlLPF"), (2, "CtlHPF"), (3, "CtlBPF"), (4, "CtlBSF"),
    (5, "CtlComb"), (6, "CtlNotch"), (7, "CtlSlot"), (8, "CtlEq"), (9, "CtlSGE")]
VALUE_ROLES = {pyatspi.ROLE_SLIDER, pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_PROGRESS_BAR}

problems = []
seen_windows = []
heard = []  # (event type, source name) of the value and description changes the bus carried
find = at.find


def wait_for(what, check, seconds=60):
    got = at.poll(check, seconds)
    if got:
        return got
    try:
        state = "; programs on the bus: %s; its windows: %s" % (
            [c.name for c in pyatspi.Registry.getDesktop(0) if c], [w.name for w in windows()])
    except Exception as e:  # the report must not hide the time-out
        state = "; %s" % e
    sys.exit("a11y walk: timed out waiting for " + what + state)


def keys(title, *names):
    """Types to the window whose title starts so (a changed configuration adds "*" to the main window's)."""
    at.type_keys((at.x_windows("^" + re.escape(title)) or [None])[0], *names)


def windows():
    return [w for w in at.program() or [] if w is not None]


def window(title):
    return at.window(at.program(), title)


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
    for n in at.descendants(win):
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
    wait_for("the type list to open", lambda: at.showing(find(combo, pyatspi.ROLE_LIST)))
    at.type_keys(None, "Home", *(["Down"] * type_index), "Return")
    wait_for("stage 2 type %d" % type_index,
             lambda: find(stage2, pyatspi.ROLE_COMBO_BOX).name.startswith(
                 ["1CH", "Lowpass", "Highpass", "Bandpass", "Bandstop", "Comb", "Notch", "Slot", "20-Band",
                  "Spectral"][type_index]))
    before = {w.name for w in windows()}
    press(find(stage2, pyatspi.ROLE_PUSH_BUTTON, "Control"))
    return wait_for("editor of type %d" % type_index,
                    lambda: next((w for w in windows() if w.name not in before and at.showing(w)), None))


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
        if not at.poll(lambda: event in heard, 30):
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

        env = dict(os.environ, KORVANE_COM_DIR=os.path.join(tmp, "com"), XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                   XDG_STATE_HOME=os.path.join(tmp, "state"), KORVANE_ALLOW_STANDIN_FIRMWARE="1")
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
        question = wait_for("save question",
                            lambda: next((w for w in windows() if w.name.startswith("Save") and at.showing(w)), None))
        walk("question (%s)" % question.name, question)
        press(find(question, pyatspi.ROLE_PUSH_BUTTON, "No"))
        wait_for("the question to close", lambda: window(question.name) is None)
        narrow = editor_pass(main_win, "5.0 kHz", False)
        if wide == narrow:
            problems.append("the two bandwidths showed the Lowpass editor alike: %s" % wide)

        if not at.menu_item(at.program(), lambda *k: keys(MAIN_TITLE, *k), "h", "About", "a"):
            sys.exit("a11y walk: the Help menu's About item never showed")
        about = wait_for("About", lambda: window("About Korvane"))
        walk("About", about)
        close(about)

        keys(MAIN_TITLE, "ctrl+p")
        ask = wait_for("programming question", lambda: window("Program All Filters?"))
        walk("question (Program All Filters?)", ask)
        keys("Program All Filters?", "Return")
        comm = wait_for("progress window", lambda: window("Transferring Filters"))
        # Walked once the upload runs (the bar has moved), then cancelled.
        wait_for("upload under way", lambda: (b := find(comm, pyatspi.ROLE_PROGRESS_BAR))
                       and b.queryValue().currentValue > 0 and b)
        walk("progress window (Transferring Filters)", comm)
        try:
            press(find(comm, pyatspi.ROLE_PUSH_BUTTON, "Cancel"))
        except Exception:  # the walk is done; the program is ended below either way
            pass
    finally:
        at.stop(procs)
        shutil.rmtree(tmp, ignore_errors=True)

    print("walked: " + "; ".join(seen_windows))
    print("Lowpass editor's bars at 7.5 kHz: %s\n                     at 5.0 kHz: %s" % (wide, narrow))
    for p in problems:
        print("FAIL " + p)
    print("%d problems" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
