#!/usr/bin/python3
# A person with only a keyboard: drives korvane-s by key events alone (xdotool key), and only
# watches it through the accessibility bus (where the focus is, what a field shows, which
# window is up). No clicks and no accessibility actions.
#
#   keyboard_drive.py listen FILE   records what a screen reader is told (notifications as they
#                                   appear, message boxes as they open) in FILE until killed
#   keyboard_drive.py drive         the run: Stage 1 to Lowpass, its editor, 2700 Hz, OK, undo,
#                                   redo, File > Program Korvane-S, Yes, the result, File > Exit
import subprocess
import sys
import time

import pyatspi

MAIN = '^Korvane-S Configuration Utility'
PROGRAM_QUESTION = ('Program All Filters?', 'Programming the Korvane-S updates all 16 filters (0-15).'
                    '  Click Yes if you wish to program all the filters.')
SUCCESS = ('Success', 'Korvane-S successfully programmed')


def fail(why):
    try:  # what was on screen, for the failure report
        app = program()
        for w in app or []:
            if w is not None and showing(w):
                print('keyboard run: showing %s %r' % (w.getRoleName(), w.name), file=sys.stderr)
                for o in descendants(w):
                    if o.getRoleName() in ('menu', 'menu item'):
                        print('keyboard run:   %s %r' % (o.getRoleName(), o.name), file=sys.stderr)
        f = focused(app) if app else None
        print('keyboard run: focus on %s %r' % (f.getRoleName(), f.name) if f else 'keyboard run: no focus',
              file=sys.stderr)
    except Exception:
        pass
    sys.exit('keyboard run: ' + why)


def wait_for(what, probe, seconds=30):
    """probe() once every 0.2 s until it gives something (the deadline is generous: a busy machine)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            found = probe()
        except Exception:  # an object that went away while it was looked at
            found = None
        if found:
            return found
        time.sleep(0.2)
    fail('no ' + what)


def showing(obj):
    return obj.getState().contains(pyatspi.STATE_SHOWING)


def descendants(obj):
    for child in obj:
        if child is not None and showing(child):
            yield child
            yield from descendants(child)


def ancestor_names(obj):
    names = []
    while obj is not None and obj.getRoleName() != 'application':
        names.append(obj.name)
        obj = obj.parent
    return names


def program():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == 'korvane-s':
            return app
    return None


def window(app, role, name):
    return next((w for w in app if w is not None and showing(w) and w.getRoleName() == role and w.name == name), None)


def find(app, role, inside, name=None):
    """The showing object of that role below an object named inside (and of that name)."""
    for w in app:
        if w is None or not showing(w):
            continue
        for o in descendants(w):
            if o.getRoleName() == role and inside in ancestor_names(o.parent) and (name is None or o.name == name):
                return o
    return None


def focused(app):
    for w in app:
        if w is None or not showing(w):
            continue
        for o in descendants(w):
            # A tab bar's current tab reports focus whether or not the bar has it.
            if o.getState().contains(pyatspi.STATE_FOCUSED) and o.getRoleName() != 'page tab':
                return o
    return None


def press(title, *keys):
    """Keys to the window of that title. There is no window manager on the test's X server: the
    window is given the input focus as a window manager would, then the keys are typed."""
    ids = wait_for('window ' + title, lambda: subprocess.run(
        ['xdotool', 'search', '--onlyvisible', '--name', title], capture_output=True, text=True).stdout.split())
    subprocess.run(['xdotool', 'windowfocus', '--sync', ids[0]], check=False)
    subprocess.run(['xdotool', 'key', '--clearmodifiers', *keys], check=True)


def tab_to(app, title, what, is_target, limit=60):
    for presses in range(limit):
        f = focused(app)
        if f is not None and is_target(f):
            print('keyboard run: Tab x%d to %s' % (presses, what))
            return f
        press(title, 'Tab')
        # The next look waits for the focus to move (a busy machine may take a while), so that no
        # Tab is pressed on a stale view of where the focus is.
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and focused(app) == f:
            time.sleep(0.1)
    fail('Tab never reached ' + what)


def menu(app, key, item, letter):
    """Alt+key opens the menu; the item's underlined letter chooses it. A menu bar that missed
    the Alt key (it came while the window was taking the focus) is given Escape and Alt again,
    as a person would."""
    def shown():
        return any(o.getRoleName() == 'menu item' and o.name.replace('&', '').startswith(item)
                   for w in app if w is not None for o in descendants(w))
    for _ in range(3):
        press(MAIN, 'alt+' + key)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and not shown():
            time.sleep(0.2)
        if shown():
            press(MAIN, letter)
            return
        press(MAIN, 'Escape')
    fail('no menu item ' + item)


def message(app, title_text, answer):
    title, text = title_text
    box = wait_for('message "%s"' % title, lambda: window(app, 'alert', title), 90)
    print('keyboard run: message %r read as %r' % (box.name, box.description))
    if not box.description.startswith(text):
        fail('the message "%s" gives a screen reader %r, not its text' % (title, box.description))
    press('^' + title.replace('?', '.') + '$', answer)
    wait_for('end of message "%s"' % title, lambda: window(app, 'alert', title) is None)


def summary(app):
    label = find(app, 'label', 'Stage 1')
    return label.name if label is not None else ''


def drive():
    app = wait_for('program on the accessibility bus', program, 60)
    wait_for('main window', lambda: find(app, 'combo box', 'Stage 1'), 60)

    tab_to(app, MAIN, 'the Stage 1 type list',
           lambda f: f.getRoleName() == 'combo box' and 'Stage 1' in ancestor_names(f.parent))
    press(MAIN, 'l')  # the closed list jumps to the first type that starts with L
    wait_for('Lowpass in Stage 1', lambda: find(app, 'combo box', 'Stage 1', 'Lowpass'))
    tab_to(app, MAIN, 'the Stage 1 Control button',
           lambda f: f.getRoleName() == 'push button' and 'Stage 1' in ancestor_names(f.parent))
    press(MAIN, 'space')

    editor = '^Lowpass Stage 1$'
    wait_for('Lowpass editor', lambda: window(app, 'dialog', 'Lowpass Stage 1'))
    tab_to(app, editor, 'the cutoff frequency field',
           lambda f: f.getRoleName() == 'text' and 'Cutoff Frequency' in ancestor_names(f))
    press(editor, 'ctrl+a', '2', '7', '0', '0', 'Return')
    wait_for('2700 on the cutoff label', lambda: find(app, 'label', 'Cutoff Frequency', '2700'))
    tab_to(app, editor, 'OK', lambda f: f.getRoleName() == 'push button' and f.name.replace('&', '') == 'OK')
    press(editor, 'space')
    wait_for('Stage 1 at 2700 Hz', lambda: summary(app).startswith('Lowpass 2700 Hz'))

    menu(app, 'e', 'Undo', 'u')
    wait_for('the undone editor change', lambda: summary(app).startswith('Lowpass 2500 Hz'))
    menu(app, 'e', 'Redo', 'r')
    wait_for('the redone editor change', lambda: summary(app).startswith('Lowpass 2700 Hz'))
    print('keyboard run: Stage 1 is ' + summary(app))

    menu(app, 'f', 'Program Korvane-S', 'p')
    message(app, PROGRAM_QUESTION, 'Return')  # Yes is the default button
    message(app, SUCCESS, 'Return')
    menu(app, 'f', 'Exit', 'x')


def listen(path):
    out = open(path, 'w', buffering=1)

    def heard(event):
        try:
            role = event.source.getRoleName()
            if event.type.startswith('object:state-changed:showing') and event.detail1 and role == 'notification':
                out.write('NOTICE %s\n' % event.source.name)
            elif event.type.startswith('window:activate') and role == 'alert':
                out.write('ALERT %s | %s\n' % (event.source.name, event.source.description.replace('\n', ' ')))
        except Exception:
            pass

    # As a screen reader does, it listens for name changes too: the program sends only the events
    # someone listens for, and the bus keeps the names it has seen up to date from these.
    pyatspi.Registry.registerEventListener(heard, 'object:state-changed:showing', 'window:activate',
                                           'object:property-change:accessible-name')
    out.write('READY\n')
    pyatspi.Registry.start()


if __name__ == '__main__':
    if sys.argv[1:2] == ['listen']:
        listen(sys.argv[2])
    else:
        drive()
