// Every window of the program, shown as the user sees it with the desktop's font: no visible
// label, button, check box, option button or frame caption may be cut, and every window must
// fit a 1024 x 768 screen. CTest runs it at device pixel ratio 1 and again with
// QT_SCALE_FACTOR=2. With KORVANE_SHOT_DIR set it also saves each window as a PNG there, in
// the desktop palette KORVANE_SHOT_PALETTE names when set ("dark" or "contrast").

#include "../editors/editortesting.h"
#include "app/aboutwindow.h"
#include "app/commwindow.h"
#include "app/helpwindow.h"
#include "app/mainwindow.h"
#include "app/splashwindow.h"
#include "coefgen/spectral.h"
#include "config/settingsfile.h"
#include "datatable.h"
#include "editors/openeditor.h"
#include "editors/spectraleditor.h"
#include "modeltesting.h"
#include "scripteddialog.h"
#include "shotpalette.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace korvane;
using korvane::test::editorModel;
using korvane::test::ScriptedDialog;

namespace {

// The screen every window must fit, less what a window manager adds around a window: a
// title bar and borders of up to 40 pixels in height and 8 in width.
constexpr QSize kScreen{1024, 768};
constexpr QSize kFrame{8, 40};

QString plain(QString text)
{
    // A mnemonic '&' is not drawn; "&&" is one '&'.
    text.replace(QLatin1String("&&"), QString(QChar(0x1)));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(0x1), QLatin1Char('&'));
    return text;
}

QString describe(const QWidget *w)
{
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
}

// Width the text of w needs, or -1 when w shows no text of its own.
void checkText(QWidget *w, QStringList &problems)
{
    const QFontMetrics fm = w->fontMetrics();
    QStyle *st = w->style();
    auto report = [&](const QString &text, int need, int have, const char *what) {
        problems << QStringLiteral("%1 %2 cut: \"%3\" needs %4 px, has %5")
                        .arg(describe(w), QString::fromLatin1(what), text)
                        .arg(need)
                        .arg(have);
    };

    if (auto *l = qobject_cast<QLabel *>(w)) {
        if (l->text().isEmpty())
            return;
        const QRect c = l->contentsRect().marginsRemoved(QMargins(l->margin(), l->margin(), l->margin(), l->margin()));
        const bool rich = l->textFormat() == Qt::RichText
            || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(l->text()));
        if (l->wordWrap() || rich) {
            QTextDocument doc;
            doc.setDefaultFont(l->font());
            doc.setDocumentMargin(0);
            if (rich)
                doc.setHtml(l->text());
            else
                doc.setPlainText(l->text());
            if (l->wordWrap())
                doc.setTextWidth(c.width());
            const int needW = int(std::ceil(doc.idealWidth()));
            const int needH = int(std::ceil(doc.size().height()));
            if (needW > c.width() + 1)
                report(l->text().left(40), needW, c.width(), "text");
            if (needH > c.height() + 1)
                report(l->text().left(40), needH, c.height(), "height");
        } else {
            int need = 0;
            for (const QString &line : plain(l->text()).split(QLatin1Char('\n')))
                need = std::max(need, fm.horizontalAdvance(line));
            const int lines = int(l->text().count(QLatin1Char('\n'))) + 1;
            if (need > c.width())
                report(l->text(), need, c.width(), "text");
            if (lines * fm.height() > c.height() + 1)
                report(l->text(), lines * fm.height(), c.height(), "height");
        }
        return;
    }
    if (auto *g = qobject_cast<QGroupBox *>(w)) {
        if (g->title().isEmpty())
            return;
        const int need = fm.horizontalAdvance(plain(g->title()))
            + 2 * st->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w) + 8;
        if (need > g->width())
            report(g->title(), need, g->width(), "caption");
        return;
    }
    auto *b = qobject_cast<QAbstractButton *>(w);
    if (!b || b->text().isEmpty())
        return;
    if (auto *t = qobject_cast<QToolButton *>(b); t && t->toolButtonStyle() == Qt::ToolButtonIconOnly)
        return;
    const QString text = plain(b->text());
    const int textWidth = fm.horizontalAdvance(text);
    int need = 0;
    if (qobject_cast<QCheckBox *>(b)) {
        need = st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b)
            + st->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, b) + textWidth;
    } else if (qobject_cast<QRadioButton *>(b)) {
        need = st->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, b)
            + st->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, b) + textWidth;
    } else {
        // The margin is shared by both sides, as QPushButton's own size hint has it.
        need = textWidth + st->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b)
            + 2 * st->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
    }
    if (need > b->width())
        report(text, need, b->width(), "text");
    if (fm.height() > b->height())
        report(text, fm.height(), b->height(), "height");
}

// A control that shows text must lie wholly inside its parent, or its parent cuts it.
void checkInsideParent(QWidget *w, QStringList &problems)
{
    QWidget *p = w->parentWidget();
    if (!p || w->isWindow())
        return;
    if (!p->rect().contains(w->geometry()))
        problems << QStringLiteral("%1 at %2,%3 %4x%5 sticks out of %6 (%7x%8)")
                        .arg(describe(w))
                        .arg(w->x())
                        .arg(w->y())
                        .arg(w->width())
                        .arg(w->height())
                        .arg(describe(p))
                        .arg(p->width())
                        .arg(p->height());
}

bool showsText(QWidget *w)
{
    return qobject_cast<QLabel *>(w) || qobject_cast<QGroupBox *>(w) || qobject_cast<QAbstractButton *>(w);
}

} // namespace

class WindowFitTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> work_;
    QString savedCwd_;

    // Checks the window as it is shown now; name: what the failure and the screenshot say.
    // Shows the window first when it is not on screen yet.
    void check(QWidget *window, const QString &name)
    {
        if (!window->isVisible()) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
        }
        QApplication::processEvents();
        QStringList problems;
        const QSize size = window->frameGeometry().size().expandedTo(window->minimumSize());
        if (size.width() + kFrame.width() > kScreen.width() || size.height() + kFrame.height() > kScreen.height())
            problems << QStringLiteral("%1x%2 does not fit %3x%4 with its frame")
                            .arg(size.width())
                            .arg(size.height())
                            .arg(kScreen.width())
                            .arg(kScreen.height());
        const QRect screen = window->screen() ? window->screen()->availableGeometry() : QRect();
        if (window->frameGeometry().left() < screen.left() || window->frameGeometry().top() < screen.top())
            problems << QStringLiteral("opens at %1,%2, off the screen").arg(window->x()).arg(window->y());
        QList<QWidget *> widgets = window->findChildren<QWidget *>();
        widgets.prepend(window);
        for (QWidget *w : widgets) {
            if (!w->isVisibleTo(window) && w != window)
                continue;
            if (!showsText(w))
                continue;
            checkText(w, problems);
            if (w != window)
                checkInsideParent(w, problems);
        }
        const QString shots = qEnvironmentVariable("KORVANE_SHOT_DIR");
        if (!shots.isEmpty())
            window->grab().save(QDir(shots).filePath(name + QStringLiteral(".png")));
        QVERIFY2(problems.isEmpty(),
                 qPrintable(name + QStringLiteral(":\n  ") + problems.join(QStringLiteral("\n  "))));
    }

private slots:
    void initTestCase()
    {
        work_ = std::make_unique<QTemporaryDir>();
        savedCwd_ = QDir::currentPath();
        QDir::setCurrent(work_->path());
        SetKorvanesLocation(qEnvironmentVariable("KORVANE_PROGRAM_DIR"));
        // The 20-band stage's data file is read from the current folder.
        QFile::copy(qEnvironmentVariable("KORVANE_PROGRAM_DIR") + QStringLiteral("/20Band"),
                    work_->filePath(QStringLiteral("20Band")));
        const QString palette = qEnvironmentVariable("KORVANE_SHOT_PALETTE");
        if (!palette.isEmpty()) {
            const std::optional<QPalette> p = test::ShotPalette(palette);
            QVERIFY2(p, qPrintable(QStringLiteral("no palette \"%1\"").arg(palette)));
            QApplication::setPalette(*p);
        }
        qInfo("device pixel ratio %g, font %s %gpt", qApp->devicePixelRatio(),
              qPrintable(QFontInfo(qApp->font()).family()), QFontInfo(qApp->font()).pointSizeF());
    }
    void cleanupTestCase() { QDir::setCurrent(savedCwd_); }

    void mainWindow()
    {
        // A set worth looking at, both stages with a response and an editor, in a settings
        // file that the window opens as File > Open does: the lists, summaries and curves are
        // what the program shows for that file.
        Model file = test::newModelWith({{0, 1, GraphicEq20}, {0, 2, Bandpass}});
        for (int i = 0; i < kEqBandCount; ++i)
            file.stage(0, 1).EqBand[size_t(i)] = int16_t(i > 6 && i < 14 ? 2 * std::min(i - 6, 14 - i) : 0);
        ScriptedDialog dialog;
        const QString path = work_->filePath(QStringLiteral("voice.min"));
        QVERIFY(WriteSettingsFile(file, path, dialog));
        Model model;
        MainWindow window(model, dialog, work_->path());
        window.load();
        QVERIFY(window.openAtStart(path));
        QVERIFY(dialog.messages.empty());
        check(&window, QStringLiteral("main-window"));
    }

    void editors_data()
    {
        test::addColumns<int, int>("type", "bandwidth");
        for (int type = Adaptive1CH; type <= SpectralEq; ++type)
            for (int bw : {0, 2})
                QTest::addRow("%s, bandwidth %d", qPrintable(FilterTypeDisplayText(type)), bw) << type << bw;
    }
    void editors()
    {
        QFETCH(int, type);
        QFETCH(int, bandwidth);
        Model model = editorModel(FilterType(type), bandwidth, 1);
        ScriptedDialog dialog;
        std::unique_ptr<EditorWindow> editor = CreateStageEditor(nullptr, model, dialog, type);
        QVERIFY(editor);
        editor->setWindowTitle(editor->ownCaption() + QStringLiteral(" Stage 1"));
        check(editor.get(), editor->objectName().toLower());
        // Opened on a 1024 x 768 screen it lies wholly on that screen (at twice the pixel
        // ratio that screen is too small for anything and is skipped).
        QScreen *desktop = nullptr;
        for (QScreen *s : QGuiApplication::screens())
            if (s->name() == QLatin1String("desktop") && s->availableGeometry().width() >= kScreen.width())
                desktop = s;
        if (desktop) {
            std::unique_ptr<EditorWindow> onDesktop = CreateStageEditor(nullptr, model, dialog, type);
            onDesktop->move(desktop->geometry().topLeft() + QPoint(40, 40));
            onDesktop->show();
            QVERIFY(QTest::qWaitForWindowExposed(onDesktop.get()));
            QVERIFY2(desktop->availableGeometry().contains(onDesktop->frameGeometry()),
                     qPrintable(QStringLiteral("at %1,%2 %3x%4 on a screen at %5,%6")
                                    .arg(onDesktop->x())
                                    .arg(onDesktop->y())
                                    .arg(onDesktop->width())
                                    .arg(onDesktop->height())
                                    .arg(desktop->geometry().x())
                                    .arg(desktop->geometry().y())));
            onDesktop->reject();
        }
        if (auto *sge = qobject_cast<CtlSGE *>(editor.get())) {
            // While a curve is drawn the Abort button stands in the column.
            sge->findChild<QPushButton *>(QStringLiteral("NewButton"))->click();
            check(editor.get(), QStringLiteral("ctlsge-drawing"));
        }
        editor->reject();
    }

    void dropTraceDialog()
    {
        EDGEDrop drop;
        check(&drop, QStringLiteral("edgedrop"));
    }

    void aboutAndSplash()
    {
        ScriptedDialog dialog;
        AboutWindow about(dialog);
        check(&about, QStringLiteral("about"));
        SplashWindow splash;
        check(&splash, QStringLiteral("splash"));
    }

    void help()
    {
        HelpWindow help;
        QString error;
        const QString doc = qEnvironmentVariable("KORVANE_SOURCE_DIR")
            + QStringLiteral("/app/help/korvane-s-help.html");
        QVERIFY2(help.loadDocument(doc, &error), qPrintable(error));
        help.showContents();
        check(&help, QStringLiteral("help"));
    }

    void progressWindowBothHeights()
    {
        CommWindow comm;
        comm.setStageCaption(QStringLiteral("Uploading Filters"));
        comm.setProbedPort(3);
        comm.ShowPacketInfo();
        comm.setProgressMaximum(224);
        comm.setPacketSent(112);
        comm.HideWarning();
        check(&comm, QStringLiteral("progress-window-short"));
        comm.ShowWarning();
        comm.setStageCaption(QStringLiteral("Reloading Firmware"));
        check(&comm, QStringLiteral("progress-window-tall"));
    }
};

QTEST_MAIN(WindowFitTest)
#include "test_windowfit.moc"
