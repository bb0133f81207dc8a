// The Listen dock in the main window: it follows the shown set (type lists, tabs), Ctrl+B
// and the button switch A/B, and a clip that cannot be read leaves a message. With
// KORVANE_SHOT_DIR set it also saves screenshots of the window and the panel there.

#include "listentesting.h"

#include "app/mainwindow.h"
#include "coefgen/spectral.h"
#include "listen/listenpanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace korvane;
using namespace korvane::test;

namespace {

// A sweep under noise with a keyed 700 Hz tone: what a CW filter is meant to pick out.
AudioClip demoClip()
{
    AudioClip c;
    c.sampleRate = 44100;
    c.channels = 1;
    std::mt19937 rng(4);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    const size_t n = 44100 * 6;
    double phase = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 44100;
        phase += 2 * std::numbers::pi * (200 + 1200 * t) / 44100; // 200 Hz rising 1200 Hz a second
        const bool key = std::fmod(t, 0.5) < 0.3;
        c.samples.push_back(
            static_cast<float>(0.25 * std::sin(phase) + (key ? 0.3 * std::sin(2 * std::numbers::pi * 700 * t) : 0.0))
            + noise(rng));
    }
    return c;
}

} // namespace

class TestListenPanel : public QObject {
    Q_OBJECT

private:
    QString m_cwd;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<Model> m_model;
    std::unique_ptr<ScriptedDialog> m_dialog;
    std::unique_ptr<MainWindow> m_window;

    template <typename T> T *child(const char *name)
    {
        T *w = m_window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }

private slots:
    void initTestCase() { SetKorvanesLocation(qEnvironmentVariable("KORVANE_PROGRAM_DIR")); }
    void init()
    {
        m_cwd = QDir::currentPath();
        m_work = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(m_work->path());
        m_model = std::make_unique<Model>();
        m_dialog = std::make_unique<ScriptedDialog>();
        m_window = std::make_unique<MainWindow>(*m_model, *m_dialog, m_work->path());
        m_window->load();
        m_window->show();
        QVERIFY(WriteAudioFile(m_work->filePath(QStringLiteral("demo.wav")), demoClip()));
    }
    void cleanup()
    {
        m_window.reset();
        QDir::setCurrent(m_cwd);
    }

    void followsTheShownSet()
    {
        ListenPanel *panel = m_window->listenPanel();
        QVERIFY(panel && panel->isVisible());
        QVERIFY(panel->openFile(m_work->filePath(QStringLiteral("demo.wav"))));
        ListenTool &tool = panel->tool();
        QCOMPARE(tool.clipName(), QStringLiteral("demo.wav"));
        QSignalSpy rendered(&tool, &ListenTool::filteredChanged);

        child<QComboBox>("FilterList1")->setCurrentIndex(Bandpass);
        QCOMPARE(rendered.count(), 1);
        const std::vector<float> bandpass = tool.filteredSamples();
        QVERIFY(tool.notes().join('\n').contains(QLatin1String("Stage 1: FIR")));

        child<QComboBox>("FilterList2")->setCurrentIndex(Comb);
        QCOMPARE(rendered.count(), 2);
        QVERIFY(tool.filteredSamples() != bandpass);
        QVERIFY(tool.notes().join('\n').contains(QLatin1String("Stage 2: Comb")));

        child<QTabWidget>("TabStrip1")->setCurrentIndex(1); // set 1: Pass Thru twice
        QCOMPARE(rendered.count(), 3);
        // Over the first 3 s, where the sweep is inside the set's 6 kHz band (12000 Hz after a
        // reset); only the noise above it is lost.
        const double r = correlation(tool.filteredSamples().data(), tool.originalSamples().data(), 3 * 44100);
        QVERIFY2(r > 0.97, qPrintable(QString::number(r) + tool.notes().join('\n')));

        const qsizetype before = rendered.count();
        child<QTabWidget>("TabStrip1")->setCurrentIndex(0);
        QCOMPARE(rendered.count(), before + 1);
        QCOMPARE(tool.filteredSamples().size(), tool.originalSamples().size());
    }

    void abByKeyAndButton()
    {
        ListenPanel *panel = m_window->listenPanel();
        QVERIFY(panel->openFile(m_work->filePath(QStringLiteral("demo.wav"))));
        auto *ab = panel->findChildren<QPushButton *>().at(2);
        QCOMPARE(ab->text(), QStringLiteral("A: Original"));
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_B, Qt::ControlModifier);
        QVERIFY(panel->tool().filteredOn());
        QCOMPARE(ab->text(), QStringLiteral("B: Filtered"));
        ab->click();
        QVERIFY(!panel->tool().filteredOn());
        QCOMPARE(ab->text(), QStringLiteral("A: Original"));
    }

    // The Loop box and its two times reach playback; unticked, the clip plays through.
    void loopFollowsTheBoxes()
    {
        ListenPanel *panel = m_window->listenPanel();
        QVERIFY(panel->openFile(m_work->filePath(QStringLiteral("demo.wav"))));
        ListenTool &tool = panel->tool();
        auto *loop = panel->findChild<QCheckBox *>();
        const auto times = panel->findChildren<QDoubleSpinBox *>();
        QVERIFY(loop && times.size() == 2);
        times[0]->setValue(1.0);
        times[1]->setValue(1.5);
        QVERIFY(!tool.looping());
        loop->setChecked(true);
        QVERIFY(tool.looping());
        QCOMPARE(tool.positionSeconds(), 1.0);
        loop->setChecked(false);
        QVERIFY(!tool.looping());
    }

    void unreadableClipIsAMessage()
    {
        const QString bad = m_work->filePath(QStringLiteral("bad.flac"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("fLaC but nothing more");
        f.close();
        ListenPanel *panel = m_window->listenPanel();
        QVERIFY(!panel->openFile(bad));
        auto *message = panel->findChild<QLabel *>(QStringLiteral("ListenMessage"));
        QVERIFY(message->text().contains(QLatin1String("Cannot read audio file")));
    }

    // Not a check: pictures of the panel for a person to look at.
    void screenshots()
    {
        const QString dir = qEnvironmentVariable("KORVANE_SHOT_DIR");
        if (dir.isEmpty())
            QSKIP("KORVANE_SHOT_DIR not set");
        ListenPanel *panel = m_window->listenPanel();
        QVERIFY(panel->openFile(m_work->filePath(QStringLiteral("demo.wav"))));
        StageConfig &s1 = m_model->stage(0, 1);
        child<QComboBox>("FilterList1")->setCurrentIndex(Bandpass);
        s1.Freq1 = 500;
        s1.Freq2 = 900;
        s1.Slope = 100;
        s1.AttenDb = 50;
        child<QComboBox>("FilterList2")->setCurrentIndex(Notch);
        m_model->stage(0, 2).Freq1 = 1600;
        child<QTabWidget>("TabStrip1")->setCurrentIndex(1); // back to set 0: both panels redraw
        child<QTabWidget>("TabStrip1")->setCurrentIndex(0);
        auto spins = panel->findChildren<QDoubleSpinBox *>();
        spins.at(0)->setValue(1.0);
        spins.at(1)->setValue(2.5);
        panel->findChild<QCheckBox *>()->setChecked(true);
        panel->tool().seekSeconds(1.6);
        panel->findChildren<QPushButton *>().at(2)->click();
        QApplication::processEvents();
        QVERIFY(m_window->grab().save(QDir(dir).filePath(QStringLiteral("listen-mainwindow.png"))));
        QVERIFY(panel->grab().save(QDir(dir).filePath(QStringLiteral("listen-panel.png"))));
    }
};

QTEST_MAIN(TestListenPanel)
#include "test_listenpanel.moc"
