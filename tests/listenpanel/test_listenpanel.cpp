// The Listen dock in the main window: it follows the shown set (type lists, tabs), Ctrl+B
// and the button switch A/B, a clip that cannot be read leaves a message, the design
// command's output opens, and a noise region dragged on the spectrogram designs the shown set
// as undo steps. With KORVANE_SHOT_DIR set it also saves screenshots of the window and the
// panel there.

#include "../app/mainwindowrun.h"
#include "clirun.h"
#include "listentesting.h"

#include "app/mainwindow.h"
#include "coefgen/coefimage.h"
#include "coefgen/spectral.h"
#include "edits/edithistory.h"
#include "listenpanel/listenpanel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
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

class TestListenPanel : public MainWindowRun {
    Q_OBJECT

private slots:
    void initTestCase() { SetKorvanesLocation(qEnvironmentVariable("KORVANE_PROGRAM_DIR")); }
    void init()
    {
        beginRun();
        startWindow(work_->path());
        QVERIFY(WriteAudioFile(work_->filePath(QStringLiteral("demo.wav")), demoClip()));
    }
    void cleanup() { endRun(); }

    void followsTheShownSet()
    {
        ListenPanel *panel = window_->listenPanel();
        QVERIFY(panel && panel->isVisible());
        QVERIFY(panel->openFile(work_->filePath(QStringLiteral("demo.wav"))));
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
        ListenPanel *panel = window_->listenPanel();
        QVERIFY(panel->openFile(work_->filePath(QStringLiteral("demo.wav"))));
        auto *ab = panel->findChildren<QPushButton *>().at(2);
        QCOMPARE(ab->text(), QStringLiteral("A: Or&iginal"));
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QTest::keyClick(window_.get(), Qt::Key_B, Qt::ControlModifier);
        QVERIFY(panel->tool().filteredOn());
        QCOMPARE(ab->text(), QStringLiteral("B: F&iltered"));
        ab->click();
        QVERIFY(!panel->tool().filteredOn());
        QCOMPARE(ab->text(), QStringLiteral("A: Or&iginal"));
    }

    // The Loop box and its two times reach playback; unticked, the clip plays through.
    void loopFollowsTheBoxes()
    {
        ListenPanel *panel = window_->listenPanel();
        QVERIFY(panel->openFile(work_->filePath(QStringLiteral("demo.wav"))));
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
        const QString bad = work_->filePath(QStringLiteral("bad.flac"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("fLaC but nothing more");
        f.close();
        ListenPanel *panel = window_->listenPanel();
        QVERIFY(!panel->openFile(bad));
        auto *message = panel->findChild<QLabel *>(QStringLiteral("ListenMessage"));
        QVERIFY(message->text().contains(QLatin1String("Cannot read audio file")));
    }

    // The design command's file opens in the window and builds; then, in the panel, a noise
    // region dragged across the spectrogram, Design from noise and Notch it change the shown
    // set as steps of the window's Edit > Undo.
    void designInTheWindow()
    {
        const QString wav = work_->filePath(QStringLiteral("design.wav"));
        const QString designed = work_->filePath(QStringLiteral("designed.min"));
        QVERIFY(WriteAudioFile(wav, designClip(16000, 1234.5)));
        QCOMPARE(runCli({"new", "base.min"}, work_->path()).exitCode, 0);
        const Run r = runCli(
            {"design", "base.min", "--set", "0", "--audio", wav, "--noise", "0-1.5", "--notch", "-o", designed},
            work_->path());
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(window_->openAtStart(designed));
        QCOMPARE(child<QComboBox>("FilterList1")->currentIndex(), int(SpectralEq));
        QCOMPARE(child<QComboBox>("FilterList2")->currentIndex(), int(Notch));
        QVERIFY(BuildFilterImageBytes(*model_, *dialog_).has_value());

        child<QTabWidget>("TabStrip1")->setCurrentIndex(1); // Pass Thru twice
        ListenPanel *panel = window_->listenPanel();
        QVERIFY(panel->openFile(wav));
        designFromTheSpectrogram(panel);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(model_->stage(1, 1).Type, int16_t(SpectralEq));
        QCOMPARE(child<QComboBox>("FilterList1")->currentIndex(), int(SpectralEq));
        QVERIFY(panel->tool().notes().join('\n').contains(QLatin1String("Stage 1: FIR")));
        QCOMPARE(model_->stage(1, 2).Type, int16_t(Notch));
        QCOMPARE(model_->stage(1, 2).Freq1, int16_t(1235));
        QCOMPARE(window_->editHistory().undoName(), QStringLiteral("Notch of Filter 1 Stage 2"));

        window_->findChild<QAction *>(QStringLiteral("mnuEditUndo"))->trigger();
        QCOMPARE(child<QComboBox>("FilterList2")->currentIndex(), int(PassThru));
        QVERIFY(panel->tool().notes().join('\n').contains(QLatin1String("Stage 2: Pass Thru")));
        QCOMPARE(window_->editHistory().undoName(), QStringLiteral("Design from noise of Filter 1 Stage 1"));
    }

    // Not a check: pictures of the panel for a person to look at.
    void screenshots()
    {
        const QString dir = qEnvironmentVariable("KORVANE_SHOT_DIR");
        if (dir.isEmpty())
            QSKIP("KORVANE_SHOT_DIR not set");
        ListenPanel *panel = window_->listenPanel();
        QVERIFY(panel->openFile(work_->filePath(QStringLiteral("demo.wav"))));
        StageConfig &s1 = model_->stage(0, 1);
        child<QComboBox>("FilterList1")->setCurrentIndex(Bandpass);
        s1.Freq1 = 500;
        s1.Freq2 = 900;
        s1.Slope = 100;
        s1.AttenDb = 50;
        child<QComboBox>("FilterList2")->setCurrentIndex(Notch);
        model_->stage(0, 2).Freq1 = 1600;
        child<QTabWidget>("TabStrip1")->setCurrentIndex(1); // back to set 0: both panels redraw
        child<QTabWidget>("TabStrip1")->setCurrentIndex(0);
        auto spins = panel->findChildren<QDoubleSpinBox *>();
        spins.at(0)->setValue(1.0);
        spins.at(1)->setValue(2.5);
        panel->findChild<QCheckBox *>()->setChecked(true);
        panel->tool().seekSeconds(1.6);
        panel->findChildren<QPushButton *>().at(2)->click();
        QApplication::processEvents();
        QVERIFY(window_->grab().save(QDir(dir).filePath(QStringLiteral("listen-mainwindow.png"))));
        QVERIFY(panel->grab().save(QDir(dir).filePath(QStringLiteral("listen-panel.png"))));

        QVERIFY(WriteAudioFile(work_->filePath(QStringLiteral("design.wav")), designClip(16000, 1234.5)));
        QVERIFY(panel->openFile(work_->filePath(QStringLiteral("design.wav"))));
        designFromTheSpectrogram(panel);
        window_->findChild<QDockWidget *>(QStringLiteral("ListenDock"))->raise();
        QApplication::processEvents();
        QVERIFY(window_->grab().save(QDir(dir).filePath(QStringLiteral("listen-design-mainwindow.png"))));
        QVERIFY(panel->grab().save(QDir(dir).filePath(QStringLiteral("listen-design-panel.png"))));
    }

private:
    // Drags across the first quarter of the original's spectrogram (1.5 s of the 6 s clip),
    // designs, and notches the 1234.5 Hz tone from its row.
    void designFromTheSpectrogram(ListenPanel *panel)
    {
        QWidget *view = panel->findChildren<SpectrogramView *>().at(0);
        const int left = 34, width = view->width() - 36, y = view->height() / 2;
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(left + 1, y));
        QTest::mouseMove(view, QPoint(left + width / 8, y));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(left + width / 4 - 2, y));
        const auto noise = panel->tool().noiseRegion();
        QVERIFY(noise && noise->fromSeconds < 0.05 && noise->toSeconds > 1.3 && noise->toSeconds <= 1.5);
        panel->findChild<QPushButton *>(QStringLiteral("ListenDesign"))->click();
        auto *tones = panel->findChild<QTableWidget *>(QStringLiteral("ListenTones"));
        int row = 0;
        while (row < tones->rowCount() && !tones->item(row, 0)->text().startsWith(QLatin1String("1234.")))
            ++row;
        QVERIFY2(row < tones->rowCount(), qPrintable(panel->tool().message()));
        qobject_cast<QPushButton *>(tones->cellWidget(row, 3))->click();
    }
};

QTEST_MAIN(TestListenPanel)
#include "test_listenpanel.moc"
