// Every window by keys alone: Tab visits each control that takes the focus in the order the
// window is laid out and comes back round to the first (nothing keeps the focus), and every
// caption, menu entry and labelled field has a key of its own.
//
// Layout order: a vertical box top to bottom, a row left to right, a grid row by row; children
// placed by hand in reading order (top to bottom, then left to right).
// The main window: its client area, then the docks.

#include "app/aboutwindow.h"
#include "app/helpwindow.h"
#include "app/mainwindow.h"
#include "app/programminglogdialog.h"
#include "editors/openeditor.h"
#include "editors/spectraleditor.h"
#include "scripteddialog.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QDockWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace korvane;

namespace {

// An exclusive group of option buttons is one stop: its checked button (the first when none is).
bool standsForItsGroup(const QAbstractButton *b)
{
    QList<QAbstractButton *> group;
    if (b->group() && b->group()->exclusive())
        group = b->group()->buttons();
    else if (b->autoExclusive() && b->parentWidget())
        for (auto *s : b->parentWidget()->findChildren<QAbstractButton *>(Qt::FindDirectChildrenOnly))
            if (s->autoExclusive())
                group << s;
    if (group.isEmpty())
        return true;
    const auto checked = std::find_if(group.begin(), group.end(), [](auto *g) { return g->isChecked(); });
    return checked != group.end() ? *checked == b : group.first() == b;
}

bool isTabStop(const QWidget *w)
{
    if (auto *b = qobject_cast<const QAbstractButton *>(w); b && b->isCheckable() && !standsForItsGroup(b))
        return false;
    return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy() && w->isVisible() && w->isEnabled();
}

void collect(QWidget *w, QList<QWidget *> &out);

void byReadingOrder(QList<QWidget *> &widgets)
{
    std::stable_sort(widgets.begin(), widgets.end(), [](QWidget *a, QWidget *b) {
        const QPoint pa = a->geometry().topLeft(), pb = b->geometry().topLeft();
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
}

// The widgets a layout holds, in the order it lays them out.
void layoutWidgets(QLayout *layout, QList<QWidget *> &out)
{
    struct Item {
        int row, column;
        QLayoutItem *item;
    };
    QList<Item> items;
    for (int i = 0; i < layout->count(); ++i) {
        int row = i, column = 0, span1 = 0, span2 = 0;
        if (auto *grid = qobject_cast<QGridLayout *>(layout))
            grid->getItemPosition(i, &row, &column, &span1, &span2);
        items.push_back({row, column, layout->itemAt(i)});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
        return std::tie(a.row, a.column) < std::tie(b.row, b.column);
    });
    for (const Item &i : items) {
        if (QWidget *w = i.item->widget())
            out << w;
        else if (QLayout *inner = i.item->layout())
            layoutWidgets(inner, out);
    }
}

// The tab stops of w and everything inside it, in layout order.
void collect(QWidget *w, QList<QWidget *> &out)
{
    if (isTabStop(w))
        out << w;
    QList<QWidget *> children;
    if (auto *main = qobject_cast<QMainWindow *>(w)) {
        children << main->centralWidget();
    } else if (w->layout()) {
        layoutWidgets(w->layout(), children);
    }
    QList<QWidget *> placed; // by hand, or beside the layout (a main window's docks)
    for (QObject *o : w->children())
        if (auto *c = qobject_cast<QWidget *>(o); c && !children.contains(c))
            placed << c;
    byReadingOrder(placed);
    // Docks tabbed into one place: Qt keeps the tab behind "visible", moved off the window, so
    // Tab visits both in the order of their tabs, before the tab bar itself.
    if (auto *bar = w->findChild<QTabBar *>(QString(), Qt::FindDirectChildrenOnly);
        bar && qobject_cast<QMainWindow *>(w)) {
        const auto key = [bar](QWidget *c) {
            for (int i = 0; i < bar->count(); ++i)
                if (qobject_cast<QDockWidget *>(c) && bar->tabText(i) == c->windowTitle())
                    return std::tuple(bar->geometry().y() - 1, bar->geometry().x(), i);
            return std::tuple(c->geometry().y(), c->geometry().x(), 0);
        };
        std::stable_sort(placed.begin(), placed.end(), [&](QWidget *a, QWidget *b) { return key(a) < key(b); });
    }
    for (QWidget *c : children + placed)
        if (!c->isWindow() && c->isVisible())
            collect(c, out);
}

QStringList names(const QList<QWidget *> &widgets)
{
    QStringList n;
    for (const QWidget *w : widgets)
        n << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
    return n;
}

// Presses Tab from first until the focus is back on it; what held the focus, a control held
// over several presses (the links of a document) counted once. Empty when the focus never came
// back: something keeps it.
QList<QWidget *> tabWalk(QWidget *first)
{
    first->setFocus(Qt::TabFocusReason);
    QList<QWidget *> visited{first};
    for (int i = 0; i < 1000; ++i) {
        QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        if (now == first)
            return visited;
        if (now && now != visited.last())
            visited << now;
    }
    return {};
}

// What a caption's key is ("&Save As..." is S), upper case; none when it has no '&'.
QString keyOf(const QString &text)
{
    const QKeySequence k = QKeySequence::mnemonic(text);
    return k.isEmpty() ? QString() : k.toString().toUpper();
}

} // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;
    Model model_;
    test::ScriptedDialog dialog_;

    // The window a row names, shown and active.
    std::unique_ptr<QWidget> open(const QString &name)
    {
        std::unique_ptr<QWidget> w;
        if (name == QLatin1String("frmMain")) {
            auto main = std::make_unique<MainWindow>(model_, dialog_, folder_.path());
            for (int stage = 1; stage <= 2; ++stage) {
                model_.stage(0, stage).Type = int16_t(stage == 1 ? Lowpass : Notch);
                model_.CurrentStage = int16_t(stage);
                model_.ApplyTypeDefaults(stage);
            }
            main->UpdateStageFilterList();
            w = std::move(main);
        } else if (name == QLatin1String("EDGEDrop")) {
            w = std::make_unique<EDGEDrop>();
        } else if (name == QLatin1String("frmAbout")) {
            w = std::make_unique<AboutWindow>(dialog_);
        } else if (name == QLatin1String("frmHelp")) {
            auto help = std::make_unique<HelpWindow>();
            QString why;
            if (!help->loadDocument(
                    qEnvironmentVariable("KORVANE_PROGRAM_DIR") + QStringLiteral("/korvane-s-help.html"), &why))
                qWarning("%s", qPrintable(why));
            w = std::move(help);
        } else if (name == QLatin1String("ProgrammingLog")) {
            const QString log = folder_.filePath(QStringLiteral("log.jsonl"));
            QFile f(log);
            if (f.open(QIODevice::WriteOnly))
                f.write("{\"result\":\"ok\"}\n{\"result\":\"failed\"}\n");
            f.close();
            w = std::make_unique<ProgrammingLogDialog>(nullptr, log);
        } else {
            model_.CurrentSet = 3;
            model_.CurrentStage = 1;
            model_.stage(3, 1).Type = int16_t(name.toInt());
            model_.ApplyTypeDefaults(1);
            w = CreateStageEditor(nullptr, model_, dialog_, name.toInt());
        }
        w->show();
        if (!QTest::qWaitForWindowActive(w.get()))
            return nullptr;
        return w;
    }

    void addWindowRows()
    {
        QTest::addColumn<QString>("window");
        for (const char *w : {"frmMain", "EDGEDrop", "frmAbout", "frmHelp", "ProgrammingLog"})
            QTest::newRow(w) << QString::fromLatin1(w);
        for (int type = Adaptive1CH; type <= SpectralEq; ++type)
            QTest::newRow(qPrintable(FilterTypeDisplayText(type))) << QString::number(type);
    }

private slots:
    void tabFollowsLayoutAndComesBack_data() { addWindowRows(); }
    void tabFollowsLayoutAndComesBack()
    {
        QFETCH(QString, window);
        const std::unique_ptr<QWidget> w = open(window);
        QVERIFY(w);
        QList<QWidget *> expected;
        collect(w.get(), expected);
        QVERIFY(!expected.isEmpty());
        const QList<QWidget *> walked = tabWalk(expected.first());
        QVERIFY2(!walked.isEmpty(), "Tab never came back to the first control");
        QCOMPARE(names(walked), names(expected));
    }

    void everyCaptionHasItsOwnKey_data() { addWindowRows(); }
    void everyCaptionHasItsOwnKey()
    {
        QFETCH(QString, window);
        const std::unique_ptr<QWidget> w = open(window);
        QVERIFY(w);
        // The window's keys: its buttons, labelled fields, frames and menu bar.
        QStringList captions;
        for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
            auto *tool = qobject_cast<QToolButton *>(b);
            if (b->isVisible() && !b->text().isEmpty() && !(tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
                captions << b->text();
        }
        for (QLabel *l : w->findChildren<QLabel *>())
            if (l->buddy() && l->isVisible())
                captions << l->text();
        for (QGroupBox *g : w->findChildren<QGroupBox *>())
            if (g->isVisible() && g->title().contains(QLatin1Char('&')))
                captions << g->title();
        // Each menu, and each control's own context menu, is a set of keys of its own.
        QList<QList<QAction *>> menus;
        for (QMenuBar *bar : w->findChildren<QMenuBar *>())
            for (QAction *a : bar->actions())
                captions << a->text();
        for (QMenu *m : w->findChildren<QMenu *>())
            menus << m->actions();
        for (QWidget *c : w->findChildren<QWidget *>())
            if (c->contextMenuPolicy() == Qt::ActionsContextMenu)
                menus << c->actions();
        auto checkUnique = [](const QStringList &texts, const char *where) {
            QHash<QString, QString> byKey;
            for (const QString &t : texts) {
                const QString key = keyOf(t);
                QVERIFY2(!key.isEmpty(), qPrintable(QStringLiteral("no key: %1 (%2)").arg(t, where)));
                QVERIFY2(!byKey.contains(key),
                         qPrintable(QStringLiteral("%1 and %2 share %3 (%4)").arg(byKey[key], t, key, where)));
                byKey.insert(key, t);
            }
        };
        checkUnique(captions, "window");
        for (const QList<QAction *> &menu : menus) {
            QStringList texts;
            for (QAction *a : menu)
                if (!a->isSeparator() && !a->text().isEmpty())
                    texts << a->text();
            checkUnique(texts, "menu");
        }
    }
};

QTEST_MAIN(KeyboardTest)
#include "test_keyboard.moc"
