// Screenshots of the editors' live response plots for the documentation:
//   response-shots <output folder>
// Run it under an X server (xvfb-run): each window is shown at the screen's top left and the
// screen itself is captured, so the picture is what a user sees.

#include "editortesting.h"

#include "coefgen/spectral.h"
#include "editors/responseplot.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QThread>

#include <cstdio>

using namespace korvane;
using namespace korvane::test;

namespace {

void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(15);
    }
}

bool shoot(QWidget *w, const QString &folder, const QString &name)
{
    w->move(0, 0);
    settle();
    const QRect frame = w->frameGeometry();
    const QPixmap shot = w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (shot.isNull() || !shot.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// Opens the editor of type for set 3 stage 2, lets prepare move its controls, shoots it.
template <typename F> bool editorShot(int type, const QString &folder, const QString &name, F &&prepare)
{
    SilentDialog dialog;
    Model m = editorModel(FilterType(type));
    if (type == SpectralEq)
        for (int k = 0; k < kSpectralPointCount; ++k)
            m.stage(3, 2).SpectralGain[std::size_t(k)] = k < 20 ? 0.0f : k < 50 ? -12.0f : k < 70 ? -3.0f : -25.0f;
    auto w = showEditor(m, dialog, type);
    if (!w)
        return false;
    w->setWindowTitle(w->ownCaption() + QStringLiteral(" Stage 2"));
    prepare(m, *w);
    settle();
    const bool ok = shoot(w.get(), folder, name);
    w->reject();
    return ok;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: response-shots <output folder>\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString programDir = qEnvironmentVariable("KORVANE_PROGRAM_DIR", QStringLiteral(KORVANE_PROGRAM_DIR));
    SetKorvanesLocation(programDir);
    QDir::setCurrent(programDir);

    bool ok = true;
    ok &= editorShot(Lowpass, folder, QStringLiteral("response-lowpass-live"), [](Model &, EditorWindow &w) {
        bar(&w, QStringLiteral("HScroll1"))->setValue(1500);
        bar(&w, QStringLiteral("HScroll3"))->setValue(45);
    });
    ok &= editorShot(Comb, folder, QStringLiteral("response-comb"), [](Model &, EditorWindow &) {});
    ok &= editorShot(GraphicEq20, folder, QStringLiteral("response-eq20-live"), [](Model &, EditorWindow &w) {
        const int cuts[20] = {0, 0, 3, 6, 9, 12, 9, 6, 3, 0, 0, 0, 10, 20, 30, 20, 10, 0, 0, 0};
        for (int i = 0; i < 20; ++i)
            if (SettingBar *b = w.findChild<SettingBar *>(QStringLiteral("GainSlider%1").arg(i)))
                b->setValue(cuts[i]);
    });
    ok &= editorShot(Notch, folder, QStringLiteral("response-notch-live"),
                     [](Model &, EditorWindow &w) { bar(&w, QStringLiteral("HScroll1"))->setValue(1200); });
    ok &= editorShot(SpectralEq, folder, QStringLiteral("response-spectral"),
                     [](Model &m, EditorWindow &) { (void)m; });
    return ok ? 0 : 1;
}
