// Settings file commands: show, convert, new, import-coef.

#include "clidialog.h"
#include "commands.h"

#include "config/firfile.h"
#include "config/model.h"
#include "config/numbertext.h"
#include "config/settingsfile.h"

#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <optional>

namespace korvane::cli {

namespace {

const char kShowUsage[] = "usage: korvane-s-cli show FILE\n"
                          "\n"
                          "Reads FILE as a settings file exactly as File > Open does (every stage validated, so\n"
                          "every set reads back as 7.5 kHz) and prints each filter set: AGC, bandwidth, noise\n"
                          "filter and, per stage, the filter type and the parameters that type uses. The port\n"
                          "number stored in the file is shown but, as with File > Open, not applied.\n"
                          "Exit status: 0 shown, 1 FILE cannot be read, 2 usage error.\n";

const char kConvertUsage[] = "usage: korvane-s-cli convert IN OUT [--port N | --keep-port]\n"
                             "\n"
                             "Reads IN as File > Open does (a 16-set or an older 10-set file; every stage validated)\n"
                             "and writes OUT as File > Save As does, always in the 16-set form.\n"
                             "Port written: File > Open keeps the port in use, and the program started without a\n"
                             "default.min uses COM 1, so OUT gets port 1 unless --port N (1..9) names another or\n"
                             "--keep-port keeps the number stored in IN (clamped into 1..9).\n"
                             "Exit status: 0 written, 1 IN cannot be read or OUT cannot be written, 2 usage error.\n";

const char kNewUsage[] = "usage: korvane-s-cli new OUT [--port N]\n"
                         "\n"
                         "Writes OUT with the model as File > New leaves it: every stage \"Pass Thru Filter\",\n"
                         "\"No AGC\", \"5.0 kHz\", noise filter off; port 1 unless --port N (1..9).\n"
                         "Exit status: 0 written, 1 OUT cannot be written, 2 usage error.\n";

const char kImportUsage[] = "usage: korvane-s-cli import-coef FILE SET STAGE COEF OUT [--port N | --keep-port]\n"
                            "\n"
                            "Reads the settings file FILE as File > Open does, makes stage STAGE (1 or 2) of filter\n"
                            "set SET (0..15) an \"Imported Coefficient File\" stage, reads the coefficient text file\n"
                            "COEF into it (one number per line, up to 256, each clipped into -1..+1) and writes OUT.\n"
                            "Port written: as for convert, 1 unless --port N or --keep-port.\n"
                            "Exit status: 0 written, 1 FILE or COEF cannot be read or OUT cannot be written (OUT is\n"
                            "then not written), 2 usage error.\n";

void out(const QString &text) { std::fputs(qPrintable(text + QLatin1Char('\n')), stdout); }

QString num(float v) { return QString::fromStdString(FormatSingle(v)); }

// Options shared by the commands that write a file.
struct WriteOptions {
    std::optional<int16_t> port;
    bool keepPort = false;
};

// Splits args into positional words and the port options; false (with problem set) on a
// malformed or unknown option.
bool parseArgs(QStringList args, bool allowKeepPort, QStringList &positional, WriteOptions &opts, QString &problem)
{
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--port")) {
            if (args.isEmpty()) {
                problem = QStringLiteral("--port needs a number 1..9");
                return false;
            }
            bool ok = false;
            const int p = args.takeFirst().toInt(&ok);
            if (!ok || p < 1 || p > 9) {
                problem = QStringLiteral("--port needs a number 1..9");
                return false;
            }
            opts.port = static_cast<int16_t>(p);
        } else if (allowKeepPort && a == QLatin1String("--keep-port")) {
            opts.keepPort = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            problem = QStringLiteral("unknown option '%1'").arg(a);
            return false;
        } else {
            positional << a;
        }
    }
    if (opts.port && opts.keepPort) {
        problem = QStringLiteral("--port and --keep-port exclude each other");
        return false;
    }
    return true;
}

// The model of a program that started without a default.min: reset, COM 1.
Model startupModel()
{
    Model m;
    m.ResetAllFilterSets();
    m.CurrentSet = 0;
    m.ComPort = 1;
    return m;
}

// File > Open: the model keeps its port; a bad file prints "Unable to read file".
bool openLikeFileOpen(Model &m, const QString &path, CliDialog &dialog, SettingsFileInfo &info)
{
    if (!ReadSettingsFile(m, path, dialog, &info))
        return false;
    m.CurrentSet = 0;
    return true;
}

void applyPort(Model &m, const WriteOptions &opts, const SettingsFileInfo &info)
{
    if (opts.port)
        m.ComPort = *opts.port;
    else if (opts.keepPort)
        m.ComPort = info.filePort;
}

QString onOff(int16_t flag) { return flag != kFalse ? QStringLiteral("on") : QStringLiteral("off"); }

void printRow(const QString &label, const QStringList &values, int perRow)
{
    for (int i = 0; i < values.size(); i += perRow) {
        const QString head = i == 0 ? label : QString(label.size(), QLatin1Char(' '));
        out(QStringLiteral("      %1 [%2] %3").arg(head).arg(i, 3).arg(values.mid(i, perRow).join(QLatin1Char(' '))));
    }
}

void printStage(const Model &m, int set, int stageNo)
{
    const StageConfig &s = m.stage(set, stageNo);
    out(QStringLiteral("    Stage %1: %2").arg(stageNo).arg(FilterTypeDisplayText(s.Type)));
    auto line = [](const QString &name, const QString &value) { out(QStringLiteral("      %1: %2").arg(name, value)); };
    auto hz = [](int v) { return QStringLiteral("%1 Hz").arg(v); };
    auto db = [](int v) { return QStringLiteral("%1 dB").arg(v); };
    switch (s.Type) {
    case Adaptive1CH:
        line(QStringLiteral("Filter size"), QStringLiteral("%1 taps").arg(s.FilterSize));
        line(QStringLiteral("Adaptation rate"), QString::number(s.AdaptRate));
        line(QStringLiteral("Prediction span"), QStringLiteral("%1 samples").arg(s.PredictionSpan));
        line(QStringLiteral("Adapt mode"), s.ModeOption == 2 ? QStringLiteral("Fixed") : QStringLiteral("Auto"));
        line(QStringLiteral("Output"), s.OutputOption == 2 ? QStringLiteral("Predict") : QStringLiteral("Residue"));
        break;
    case Lowpass:
    case Highpass:
        line(QStringLiteral("Cutoff frequency"), hz(s.Freq1));
        line(QStringLiteral("Slope"), QString::number(s.Slope));
        line(QStringLiteral("Attenuation"), db(s.AttenDb));
        break;
    case Bandpass:
    case Bandstop:
        line(QStringLiteral("Lower cutoff"), hz(s.Freq1));
        line(QStringLiteral("Upper cutoff"), hz(s.Freq2));
        line(QStringLiteral("Slope"), QString::number(s.Slope));
        line(QStringLiteral("Attenuation"), db(s.AttenDb));
        break;
    case Comb: {
        const int f0 = static_cast<int>(std::nearbyint(static_cast<double>(m.SampleRate(set)) / (s.Freq1 + 1)));
        static const char *const harmonics[] = {"All", "Odd", "Even"};
        line(QStringLiteral("Fundamental setting"), QStringLiteral("%1 (fundamental %2 Hz)").arg(s.Freq1).arg(f0));
        line(QStringLiteral("Notch limit"), hz(s.Freq2));
        line(QStringLiteral("Notch depth"), db(s.AttenDb));
        line(QStringLiteral("Harmonics"),
             s.ModeOption >= 3 && s.ModeOption <= 5 ? QString::fromLatin1(harmonics[s.ModeOption - 3])
                                                    : QString::number(s.ModeOption));
        break;
    }
    case Notch:
    case Slot:
        line(QStringLiteral("Centre frequency"), hz(s.Freq1));
        line(QStringLiteral("Width setting"), QString::number(s.Freq2));
        line(QStringLiteral("Depth"), db(s.AttenDb));
        break;
    case GraphicEq20: {
        QStringList bands;
        for (int16_t b : s.EqBand)
            bands << QString::number(b);
        printRow(QStringLiteral("Band settings"), bands, 10);
        break;
    }
    case SpectralEq: {
        QStringList gains;
        for (float g : s.SpectralGain)
            gains << num(g);
        line(QStringLiteral("Gain curve"), QStringLiteral("dB at point k = k x %1 / 256 Hz").arg(m.SampleRate(set)));
        printRow(QStringLiteral("Gain"), gains, 10);
        break;
    }
    case ImportedCoef: {
        line(QStringLiteral("Coefficient file"), QLatin1Char('"') + s.CoefFileName + QLatin1Char('"'));
        QStringList coefs;
        for (float c : s.Coef)
            coefs << num(c);
        printRow(QStringLiteral("Coef"), coefs, 8);
        break;
    }
    default:
        break;
    }
}

bool writeOut(const Model &m, const QString &path, CliDialog &dialog) { return WriteSettingsFile(m, path, dialog); }

} // namespace

int cmdShow(const QStringList &args)
{
    if (wantsHelp(args, kShowUsage))
        return 0;
    QStringList pos;
    WriteOptions opts;
    QString problem;
    if (!parseArgs(args, false, pos, opts, problem) || opts.port)
        return usageError(kShowUsage, problem.isEmpty() ? QStringLiteral("show takes no options") : problem);
    if (pos.size() != 1)
        return usageError(kShowUsage, QStringLiteral("show needs exactly one FILE"));

    CliDialog dialog;
    Model m = startupModel();
    SettingsFileInfo info;
    if (!openLikeFileOpen(m, pos[0], dialog, info))
        return 1;
    out(QStringLiteral("File: %1").arg(pos[0]));
    out(info.setCount == kFilterSetCount
            ? QStringLiteral("Format: \"%1\", 16 filter sets").arg(QLatin1String(kSettingsHeader))
            : QStringLiteral("Format: \"%1\" (older form), 10 filter sets; sets 10..15 pass through")
                  .arg(QLatin1String(kOldSettingsHeader)));
    out(QStringLiteral("Port in file: COM %1 (File > Open keeps the port in use)").arg(info.filePort));
    for (int set = 0; set < kFilterSetCount; ++set) {
        const StageConfig &s1 = m.stage(set, 1);
        out(QString());
        out(QStringLiteral("Filter %1: %2, %3, Broadband Noise Filter %4")
                .arg(set)
                .arg(AgcDisplayText(s1.Agc), BandwidthDisplayText(s1.Bandwidth), onOff(s1.NoiseFilter)));
        printStage(m, set, 1);
        printStage(m, set, 2);
    }
    return 0;
}

int cmdConvert(const QStringList &args)
{
    if (wantsHelp(args, kConvertUsage))
        return 0;
    QStringList pos;
    WriteOptions opts;
    QString problem;
    if (!parseArgs(args, true, pos, opts, problem))
        return usageError(kConvertUsage, problem);
    if (pos.size() != 2)
        return usageError(kConvertUsage, QStringLiteral("convert needs IN and OUT"));

    CliDialog dialog;
    Model m = startupModel();
    SettingsFileInfo info;
    if (!openLikeFileOpen(m, pos[0], dialog, info))
        return 1;
    applyPort(m, opts, info);
    return writeOut(m, pos[1], dialog) ? 0 : 1;
}

int cmdNew(const QStringList &args)
{
    if (wantsHelp(args, kNewUsage))
        return 0;
    QStringList pos;
    WriteOptions opts;
    QString problem;
    if (!parseArgs(args, false, pos, opts, problem))
        return usageError(kNewUsage, problem);
    if (pos.size() != 1)
        return usageError(kNewUsage, QStringLiteral("new needs exactly one OUT"));

    CliDialog dialog;
    Model m = startupModel();
    applyPort(m, opts, SettingsFileInfo{});
    return writeOut(m, pos[0], dialog) ? 0 : 1;
}

int cmdImportCoef(const QStringList &args)
{
    if (wantsHelp(args, kImportUsage))
        return 0;
    QStringList pos;
    WriteOptions opts;
    QString problem;
    if (!parseArgs(args, true, pos, opts, problem))
        return usageError(kImportUsage, problem);
    if (pos.size() != 5)
        return usageError(kImportUsage, QStringLiteral("import-coef needs FILE SET STAGE COEF OUT"));
    bool setOk = false;
    bool stageOk = false;
    const int set = pos[1].toInt(&setOk);
    const int stageNo = pos[2].toInt(&stageOk);
    if (!setOk || set < 0 || set >= kFilterSetCount)
        return usageError(kImportUsage, QStringLiteral("SET must be 0..15"));
    if (!stageOk || (stageNo != 1 && stageNo != 2))
        return usageError(kImportUsage, QStringLiteral("STAGE must be 1 or 2"));

    CliDialog dialog;
    Model m = startupModel();
    SettingsFileInfo info;
    if (!openLikeFileOpen(m, pos[0], dialog, info))
        return 1;
    // The main window's type list then its "Control" button: the type's defaults (a unit
    // impulse, no file name) first, then the file.
    m.CurrentSet = static_cast<int16_t>(set);
    m.CurrentStage = static_cast<int16_t>(stageNo);
    m.stage(set, stageNo).Type = ImportedCoef;
    m.ApplyTypeDefaults(stageNo);
    if (!ReadFirFile(m, stageNo, QFileInfo(pos[3]).absoluteFilePath(), dialog))
        return 1;
    applyPort(m, opts, info);
    return writeOut(m, pos[4], dialog) ? 0 : 1;
}

} // namespace korvane::cli
