#pragma once
// Helpers for driving the real editor windows offscreen: finding their named controls and
// clicking parts of our scroll bars.

#include "coefgen/spectral.h"
#include "currentfolder.h"
#include "editors/openeditor.h"
#include "editors/settingbar.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <optional>

namespace korvane::test {

// For the screenshot programs, which run without a person: says nothing, answers Cancel and
// chooses no file.
class SilentDialog : public UserDialog {
public:
    MessageAnswer showMessage(const QString &, const QString &, MessageIcon, MessageButtons) override
    {
        return MessageAnswer::Cancel;
    }
    void beep() override { }
    std::optional<QString> askFileName(const FileDialogRequest &) override { return std::nullopt; }
    [[noreturn]] void endProgram() override { std::exit(1); }
};

// The live responses of the 20-band and spectral stages read the program folder's band data
// by relative name and load its IFFT library: a test object holds one of these to be in that
// folder for its whole run (initTestCase checks that it got there).
class InProgramFolder : public CurrentFolder {
public:
    InProgramFolder() : CurrentFolder(qEnvironmentVariable("KORVANE_PROGRAM_DIR"))
    {
        SetKorvanesLocation(qEnvironmentVariable("KORVANE_PROGRAM_DIR"));
    }
};

// A model whose current stage is set 3, `stage` (both stages of `type`), with its defaults, at
// the bandwidth index given (2 gives 7000 Hz / 17200 Hz, 0 gives 3400 / 9000).
inline Model editorModel(FilterType type, int bandwidth = 2, int stage = 2)
{
    Model m;
    m.CurrentSet = 3;
    m.CurrentStage = static_cast<int16_t>(stage);
    for (int st = 1; st <= 2; ++st) {
        m.stage(3, st).Bandwidth = int16_t(bandwidth);
        m.stage(3, st).Type = type;
    }
    m.ApplyTypeDefaults(stage);
    return m;
}

// Creates and shows the editor of `type`, as the main window would, but without blocking.
inline std::unique_ptr<EditorWindow> showEditor(Model &m, UserDialog &d, int type)
{
    std::unique_ptr<EditorWindow> w = CreateStageEditor(nullptr, m, d, type);
    if (w) {
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
    }
    return w;
}

template <typename T = QWidget> T *named(QWidget *w, const QString &name)
{
    T *c = w->findChild<T *>(name);
    if (!c)
        qWarning("no control named %s", qPrintable(name));
    return c;
}

inline QString textOf(QWidget *w, const QString &name)
{
    QLabel *l = named<QLabel>(w, name);
    return l ? l->text() : QStringLiteral("<missing>");
}

inline SettingBar *bar(QWidget *w, const QString &name) { return named<SettingBar>(w, name); }

inline void click(QWidget *w, const QString &name)
{
    QWidget *b = named(w, name);
    if (!b)
        return;
    // Option buttons react only on their indicator and text, which sit at the left.
    const bool option = b->inherits("QRadioButton") || b->inherits("QCheckBox");
    QTest::mouseClick(b, Qt::LeftButton, {}, option ? QPoint(8, b->height() / 2) : b->rect().center());
}

// The arrow at the Max end (right or bottom) and the one at the Min end.
inline void clickTowardsMax(SettingBar *b, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(b, Qt::LeftButton, {}, b->increaseArrowRect().center());
}
inline void clickTowardsMin(SettingBar *b, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(b, Qt::LeftButton, {}, b->decreaseArrowRect().center());
}
// A trough click just past the thumb on its Max side, or just before it on its Min side.
inline void clickTroughTowardsMax(SettingBar *b)
{
    const QRect t = b->thumbRect();
    const QPoint p = b->orientation() == Qt::Horizontal ? QPoint(t.right() + 3, t.center().y())
                                                        : QPoint(t.center().x(), t.bottom() + 3);
    QTest::mouseClick(b, Qt::LeftButton, {}, p);
}
inline void clickTroughTowardsMin(SettingBar *b)
{
    const QRect t = b->thumbRect();
    const QPoint p = b->orientation() == Qt::Horizontal ? QPoint(t.left() - 3, t.center().y())
                                                        : QPoint(t.center().x(), t.top() - 3);
    QTest::mouseClick(b, Qt::LeftButton, {}, p);
}
// Drags the thumb by dx pixels along the bar, in steps so every movement is seen.
inline void dragThumb(SettingBar *b, int dx)
{
    const QPoint start = b->thumbRect().center();
    QTest::mousePress(b, Qt::LeftButton, {}, start);
    const int steps = 4;
    for (int i = 1; i <= steps; ++i) {
        const int d = dx * i / steps;
        QTest::mouseMove(b, b->orientation() == Qt::Horizontal ? start + QPoint(d, 0) : start + QPoint(0, d));
    }
    const QPoint end = b->orientation() == Qt::Horizontal ? start + QPoint(dx, 0) : start + QPoint(0, dx);
    QTest::mouseRelease(b, Qt::LeftButton, {}, end);
}

} // namespace korvane::test
