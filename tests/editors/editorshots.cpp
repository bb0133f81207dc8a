// Renders every editor window, with typical settings, to PNG files for the documentation:
//   editor-shots [--palette dark|contrast] <output folder>
// --palette shows them in a dark or a high-contrast desktop palette (shotpalette.h).
// Run it under a display (or QT_QPA_PLATFORM=offscreen); it uses the same input simulation
// as the tests to draw a curve in the spectral editor.

#include "editortesting.h"
#include "shotpalette.h"

#include "coefgen/spectral.h"
#include "editors/spectraleditor.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>

using namespace korvane;
using namespace korvane::test;
using G = SpectralPlotGeometry;

namespace {

bool save(QWidget *w, const QString &folder, const QString &name)
{
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

void clickPoint(QWidget *plot, int k, float dB)
{
    const double x = k >= kLastPoint ? 6900.0 : 500 + (k + 0.5) * 6400.0 / 114.0;
    const QPointF local(x / G::kUnitsPerPixel, (-dB * 2380.0 / 40.0 + 90.0) / G::kUnitsPerPixel);
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, local, plot->mapToGlobal(local), Qt::LeftButton,
                      t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(plot, &e);
    }
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    const std::optional<QPalette> palette = args.size() == 3 && args[0] == QLatin1String("--palette")
        ? test::ShotPalette(args[1])
        : std::nullopt;
    if (args.size() != 1 && !palette) {
        std::fprintf(stderr, "usage: editor-shots [--palette dark|contrast] <output folder>\n");
        return 2;
    }
    if (palette)
        QApplication::setPalette(*palette);
    const QString folder = args.last();
    // Run from the program folder: the spectral stage's library and the 20-band data are there.
    SetKorvanesLocation(QDir::currentPath());
    QDir().mkpath(folder);
    SilentDialog dialog;
    bool ok = true;

    const char *const names[9] = {"ctl1ch",  "ctllpf",   "ctlhpf",  "ctlbpf", "ctlbsf",
                                  "ctlcomb", "ctlnotch", "ctlslot", "ctleq"};
    for (int type = 0; type < 9; ++type) {
        Model m = editorModel(FilterType(type));
        if (type == GraphicEq20)
            for (int i = 0; i < 20; ++i)
                m.currentStage().EqBand[std::size_t(i)] = int16_t((i * 7) % 23);
        auto w = showEditor(m, dialog, type);
        if (w)
            w->setWindowTitle(w->ownCaption() + QStringLiteral(" Stage 2"));
        ok = w && save(w.get(), folder, QString::fromLatin1(names[type])) && ok;
    }

    {
        Model m = editorModel(SpectralEq);
        m.currentStage().SpectralGain.fill(-20.0f);
        // As the main window opens it: with the live response plot under the curve.
        std::unique_ptr<EditorWindow> editor = CreateStageEditor(nullptr, m, dialog, SpectralEq);
        CtlSGE &w = *static_cast<CtlSGE *>(editor.get());
        w.setWindowTitle(w.ownCaption() + QStringLiteral(" Stage 2"));
        w.show();
        auto *plot = named<SpectralPlot>(&w, QStringLiteral("FilterDisplay"));
        click(&w, QStringLiteral("NewButton"));
        const std::pair<int, float> points[] = {{0, -30.0f}, {8, -6.0f},    {30, -2.0f},  {55, -12.0f},
                                                {80, -4.0f}, {100, -25.0f}, {114, -38.0f}};
        for (auto [k, db] : points)
            clickPoint(plot, k, db);
        QTest::mouseMove(plot, G::pixelForPoint(57, 1200));
        ok = save(&w, folder, QStringLiteral("ctlsge")) && ok;

        QTimer::singleShot(50, [&] {
            if (QWidget *drop = QApplication::activeModalWidget()) {
                click(drop, QStringLiteral("DropSelect2"));
                ok = save(drop, folder, QStringLiteral("edgedrop")) && ok;
                click(drop, QStringLiteral("Command1"));
            }
        });
        click(&w, QStringLiteral("EditButton"));
        clickPoint(plot, 30, 0.0f);
        clickPoint(plot, 75, 0.0f);
        clickPoint(plot, 40, -8.0f);
        clickPoint(plot, 52, -16.0f);
        ok = save(&w, folder, QStringLiteral("ctlsge-edit")) && ok;
    }
    return ok ? 0 : 1;
}
