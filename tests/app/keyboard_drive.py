#!/usr/bin/python3
# A person with only a keyboard: drives korvane-s by key events alone (xdotool key), and only
# watches it through the accessibility bus (where the focus is, what a field shows, which
# window is up). No clicks and no accessibility actions.
#
#   keyboard_drive.py listen FILE   records what a screen reader is told (notifications as they
#                                   appear, message boxes as they open) in FILE until killed
#   keyboard_drive.py drive         the run: Stage 1 to Lowpass, its editor, 2700 Hz, OK, undo,
#                                   redo, File > Program Korvane-S, Yes, the result, File > Exit
import sys

import atspi_support as at
import pyatspi

MAIN = '^Korvane-S Configuration Utility'
PROGRAM_QUESTION = ('Program All Filters?', 'Programming the Korvane-S updates all 16 filters (0-15).'
                    '  Click Yes if you wish to program all the filters.')
SUCCESS = ('Success', 'Korvane-S successfully programmed')


def fail(why):
    try:  # what was on screen, for the failure report
        app = at.program()
        for w in app or []:
            if w is not None and at.showing(w):
                print('keyboard run: showing %s %r' % (w.getRoleName(), w.name), file=sys.stderr)
                for o in at.descendants(w, True):
                    if o.getRoleName() in ('menu', 'menu item'):
                        print('keyboard run:   %s %r' % (o.getRoleName(), o.name), file=sys.stderr)
        f = focused(app) if app else None
        print('keyboard run: focus on %s %r' % (f.getRoleName(), f.name) if f else 'keyboard run: no focus',
              file=sys.stderr)
    except Exception:
        pass
    sys.exit('keyboard run: ' + why)


def wait_for(what, probe, seconds=30):
    return at.poll(probe, seconds, 0.2) or fail('no ' + what)


def controls(app):
    """Every showing object in the program's showing windows."""
    return (o for w in app if w is not None and at.showing(w) for o in at.descendants(w, True))


def ancestor_names(obj):
    names = []
    while obj is not None and obj.getRoleName() != 'application':
        names.append(obj.name)
        obj = obj.parent
    return names


def find(app, role, inside, name=None):
    """The showing object of that role below an object named inside (and of that name)."""
    return next((o for o in controls(app) if o.getRoleName() == role and inside in ancestor_names(o.parent)
                 and name in (None, o.name)), None)


def focused(app):
    # A tab bar's current tab reports focus whether or not the bar has it.
    return next((o for o in controls(app) if o.getState().contains(pyatspi.STATE_FOCUSED)
                 and o.getRoleName() != 'page tab'), None)


def press(title, *keys):
    """Keys to the window whose title matches."""
    at.type_keys(wait_for('window ' + title, lambda: at.x_windows(title))[0], *keys)


def tab_to(app, title, what, is_target, limit=60):
    for presses in range(limit):
        f = focused(app)
        if f is not None and is_target(f):
            print('keyboard run: Tab x%d to %s' % (presses, what))
            return f
        press(title, 'Tab')
        # The next look waits for the focus to move (a busy machine may take a while), so that no
        # Tab is pressed on a stale view of where the focus is.
        at.poll(lambda: focused(app) != f, 5)
    fail('Tab never reached ' + what)


def menu(app, key, item, letter):
    if not at.menu_item(app, lambda *keys: press(MAIN, *keys), key, item, letter):
        fail('no menu item ' + item)


def message(app, title_text, answer):
    title, text = title_text
    box = wait_for('message "%s"' % title, lambda: at.window(app, title, 'alert'), 90)
    print('keyboard run: message %r read as %r' % (box.name, box.description))
    if not box.description.startswith(text):
        fail('the message "%s" gives a screen reader %r, not its text' % (title, box.description))
    press('^' + title.replace('?', '.') + '$', answer)
    wait_for('end of message "%s"' % title, lambda: at.window(app, title, 'alert') is None)


def summary(app):
    label = find(app, 'label', 'Stage 1')
    return label.name if label is not None else ''


def drive():
    app = wait_for('program on the accessibility bus', at.program, 60)
    wait_for('main window', lambda: find(app, 'combo box', 'Stage 1'), 60)

    tab_to(app, MAIN, 'the Stage 1 type list',
           lambda f: f.getRoleName() == 'combo box' and 'Stage 1' in ancestor_names(f.parent))
    press(MAIN, 'l')  # the closed list jumps to the first type that starts with L
    wait_for('Lowpass in Stage 1', lambda: find(app, 'combo box', 'Stage 1', 'Lowpass'))
    tab_to(app, MAIN, 'the Stage 1 Control button',
           lambda f: f.getRoleName() == 'push button' and 'Stage 1' in ancestor_names(f.parent))
    press(MAIN, 'space')

    editor = '^Lowpass Stage 1$'
    wait_for('Lowpass editor', lambda: at.window(app, 'Lowpass Stage 1', 'dialog'))
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
