// korvane-s-cli: the configuration utility's operations without windows.

#include "commands.h"

#include "config/settingsfile.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace korvane::cli {

bool ReadSettingsLikeFileOpen(Model &model, const QString &path, UserDialog &dialog)
{
    if (ReadSettingsFile(model, path, dialog))
        return true;
    std::fprintf(stderr, "korvane-s-cli: cannot read settings file %s\n", qPrintable(path));
    return false;
}

} // namespace korvane::cli

namespace {

using namespace korvane::cli;

// In the order --help lists them.
const QList<const Command *> kCommands = {
    &kShowCommand,    &kConvertCommand,  &kNewCommand,    &kImportCoefCommand, &kBuildImageCommand,
    &kInspectCommand, &kPortsCommand,    &kProbeCommand,  &kProgramCommand,    &kVerifyCommand,
    &kLogCommand,     &kResponseCommand, &kRenderCommand, &kAnalyzeCommand,    &kDesignCommand,
};

const Command *findCommand(const QString &name)
{
    for (const Command *c : kCommands)
        if (name == QLatin1String(c->name))
            return c;
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    // Text in a PNG needs the fonts of a QGuiApplication; it draws offscreen, with no display.
    bool drawsPng = argc > 1 && std::strcmp(argv[1], "response") == 0;
    if (drawsPng) {
        drawsPng = false;
        for (int i = 2; i < argc; ++i)
            drawsPng = drawsPng || std::strcmp(argv[i], "--png") == 0 || std::strncmp(argv[i], "--png=", 6) == 0;
    }
    if (drawsPng && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's plain Unix event dispatcher instead of the GLib one: the tool runs no GLib code,
    // and the plain dispatcher hands a serial-port wake-up to the XMODEM sender in about
    // half the time (some 15 us instead of 30 on every one of the 224 blocks of an image).
    // QT_NO_GLIB set to anything, even empty (which brings GLib back), is left as it is.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    std::unique_ptr<QCoreApplication> app;
    if (drawsPng)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-s-cli"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        WriteText(CommandListText(kCommands), stderr);
        return kUsageError;
    }
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        // "help COMMAND" is "COMMAND --help".
        if (const Command *c = args.isEmpty() ? nullptr : findCommand(args.first()))
            return RunCommand(*c, {QStringLiteral("--help")});
        WriteText(CommandListText(kCommands), stdout);
        return kSuccess;
    }
    if (name == QLatin1String("--version")) {
        std::printf("korvane-s-cli %s\n", KORVANE_VERSION);
        return kSuccess;
    }
    if (const Command *c = findCommand(name))
        return RunCommand(*c, args);
    std::fprintf(stderr, "korvane-s-cli: unknown command '%s'\n", qPrintable(name));
    WriteText(CommandListText(kCommands), stderr);
    return kUsageError;
}
