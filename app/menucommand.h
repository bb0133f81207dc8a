#pragma once
// The one way the main window puts a command on a menu.

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace korvane {

// Adds text to menu as an action named name (its form name, by which the help and the tests
// find it), with the shortcut key (none when key is empty), that runs slot on receiver.
template <typename Receiver, typename Slot>
QAction *AddMenuCommand(QMenu *menu, const char *name, const QString &text, const QKeySequence &key, Receiver *receiver,
                        Slot slot)
{
    QAction *a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty())
        a->setShortcut(key);
    QObject::connect(a, &QAction::triggered, receiver, slot);
    return a;
}

} // namespace korvane
