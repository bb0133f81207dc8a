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

bool wantsHelp(const QStringList &args, const char *usage)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(usage, stdout);
        return true;
    }
    return false;
}

bool ReadSettingsLikeFileOpen(Model &model, const QString &path, UserDialog &dialog)
{
    model.LoadingAtStartup = false;
    if (ReadSettingsFile(model, path, dialog))
        return true;
    std::fprintf(stderr, "korvane-s-cli: cannot read settings file %s\n", qPrintable(path));
    return false;
}

int usageError(const char *usage, const QString &problem)
{
    if (!problem.isEmpty())
        std::fprintf(stderr, "korvane-s-cli: %s\n", qPrintable(problem));
    std::fputs(usage, stderr);
    return 2;
}

} // namespace korvane::cli

namespace {

struct Command {
    const char *name;
    int (*run)(const QStringList &);
    const char *summary;
};

const Command kCommands[] = {
    {"show", korvane::cli::cmdShow, "show FILE                      print every filter set of a settings file"},
    {"convert", korvane::cli::cmdConvert, "convert IN OUT                 read IN as File > Open does, write OUT"},
    {"new", korvane::cli::cmdNew, "new OUT                        write the model as File > New leaves it"},
    {"import-coef", korvane::cli::cmdImportCoef, "import-coef FILE SET STAGE COEF OUT  import a coefficient text file"},
    {"build-image", korvane::cli::cmdBuildImage, "build-image FILE -o OUT        build the coefficient image"},
    {"inspect", korvane::cli::cmdInspect, "inspect IMAGE                  decode a coefficient image"},
    {"ports", korvane::cli::cmdPorts, "ports                          COM 1..9 and the device behind each"},
    {"probe", korvane::cli::cmdProbe, "probe [--port N|--device P]    find the processor"},
    {"program", korvane::cli::cmdProgram, "program FILE [options]         program the processor"},
    {"response", korvane::cli::cmdResponse, "response FILE --set N ...      frequency response of a filter set"},
    {"render", korvane::cli::cmdRender, "render FILE --set N IN OUT     play an audio file through a filter set"},
};

void printUsage(FILE *to)
{
    std::fputs("usage: korvane-s-cli COMMAND [ARGS]   (COMMAND --help for details)\n"
               "       korvane-s-cli --version\n\ncommands:\n",
               to);
    for (const auto &c : kCommands)
        std::fprintf(to, "  %s\n", c.summary);
}

} // namespace

int main(int argc, char **argv)
{
    // Text in a PNG needs the fonts of a QGuiApplication; it draws offscreen, with no display.
    bool drawsPng = argc > 1 && std::strcmp(argv[1], "response") == 0;
    if (drawsPng) {
        drawsPng = false;
        for (int i = 2; i < argc; ++i)
            drawsPng = drawsPng || std::strcmp(argv[i], "--png") == 0;
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
        printUsage(stderr);
        return 2;
    }
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        printUsage(stdout);
        return 0;
    }
    if (name == QLatin1String("--version")) {
        std::printf("korvane-s-cli %s\n", KORVANE_VERSION);
        return 0;
    }
    for (const auto &c : kCommands) {
        if (name != QLatin1String(c.name))
            continue;
        try {
            return c.run(args);
        } catch (const std::bad_alloc &) {
            // The readers bound what a file can ask for; this is a machine short of memory
            // (or a limit set on this process).
            std::fprintf(stderr,
                         "korvane-s-cli: %s stopped: the system gave it no more memory. Close other programs, "
                         "or work on a shorter file.\n",
                         c.name);
            return 1;
        }
    }
    std::fprintf(stderr, "korvane-s-cli: unknown command '%s'\n", qPrintable(name));
    printUsage(stderr);
    return 2;
}
