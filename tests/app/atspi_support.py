#!/usr/bin/python3
# What the whole-program runs share: a session of their own, and helpers that watch korvane-s
# through the accessibility bus (AT-SPI) and type keys to its windows.
#
# Usage: /usr/bin/python3 atspi_support.py COMMAND [ARGS...] runs COMMAND on an Xvfb server of its
# own, inside a private D-Bus session (the accessibility bus is started on it by activation, the
# first time someone asks for it) with a runtime folder of its own: the accessibility bus keeps
# its socket there, and runs side by side must not share it. Its exit status is COMMAND's.

import os
import shutil
import subprocess
import sys
import tempfile
import time


def session(argv):
    runtime = tempfile.mkdtemp(prefix="atspi-run-")
    # Xvfb writes its display number to the descriptor given once it takes clients; it picks a
    # free number itself, so runs side by side never meet on one.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        display = xvfb.stdout.readline().decode().strip()
        if not display:
            return "atspi session: Xvfb did not start"
        env = dict(os.environ, DISPLAY=":" + display, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        return subprocess.run(["dbus-run-session", "--", *argv], env=env).returncode
    finally:
        stop([xvfb])
        shutil.rmtree(runtime, ignore_errors=True)


def stop(procs):
    """Ends the processes, the last started first."""
    for p in reversed(procs):
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()


if __name__ == "__main__":
    sys.exit(session(sys.argv[1:]))

import pyatspi  # noqa: E402 (only inside the session: it talks to the session's buses)
from gi.repository import GLib  # noqa: E402


def poll(check, seconds, pause=0.1):
    """check() until it gives something true, delivering the bus's events between looks; None
    after the deadline (a generous one: a busy machine), never a fixed sleep as proof. A look that
    fails (the tree changes under it while a window opens or closes) counts as nothing yet."""
    deadline = time.monotonic() + seconds
    while True:
        while GLib.MainContext.default().iteration(False):
            pass
        try:
            got = check()
        except Exception:
            got = None
        if got or time.monotonic() >= deadline:
            return got
        time.sleep(pause)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def descendants(node, only_showing=False):
    """Every object below node, depth first; with only_showing, none that is hidden nor any below one."""
    for child in node:
        if child is not None and (not only_showing or showing(child)):
            yield child
            yield from descendants(child, only_showing)


def find(node, role, name=None):
    """The first object below node of that role (a pyatspi.ROLE_ constant) and name."""
    return next((n for n in descendants(node) if n.getRole() == role and name in (None, n.name)), None)


def program(name="korvane-s"):
    return next((a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == name), None)


def window(app, name, role=None):
    """The program's showing window of that name (and role name, if given)."""
    return next((w for w in app or [] if w is not None and showing(w) and role in (None, w.getRoleName())
                 and w.name == name), None)


def x_windows(pattern):
    """The X ids of the visible windows whose titles match the pattern."""
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                          capture_output=True, text=True).stdout.split()


def type_keys(wid, *keys):
    """Gives the X window (if any) the input focus, as a window manager would (there is none on
    the session's X server), then types the keys (if any)."""
    if wid:
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if keys:
        subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=True)


def menu_item(app, type_to, key, item, letter):
    """Alt+key opens a menu and the item's underlined letter chooses it; type_to(*keys) types to
    the window. A menu bar that missed the Alt key (it came while the window was taking the
    focus, on a busy machine) is given Escape and Alt again, as a person would. False when the
    item never showed."""
    def shown():
        return any(o.getRoleName() == 'menu item' and o.name.replace('&', '').startswith(item)
                   for w in app if w is not None for o in descendants(w, True))
    for _ in range(3):
        type_to('alt+' + key)
        if poll(shown, 5, 0.2):
            type_to(letter)
            return True
        type_to('Escape')
    return False
