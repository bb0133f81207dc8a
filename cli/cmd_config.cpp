// Settings file commands: show, convert, new, import-coef.

#include "clidialog.h"
#include "commands.h"

#include "config/firfile.h"
#include "config/model.h"
#include "config/numbertext.h"
#include "config/settingsfile.h"

#include <QFileInfo>

#include <cmath>

namespace korvane::cli {

namespace {

QString num(float v) { return QString::fromStdString(FormatSingle(v)); }

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

// --port N, else with --keep-port the number stored in the file read, else as it is.
void applyPort(Model &m, Invocation &call, const SettingsFileInfo &info)
{
    if (const auto port = call.optionInt("port"))
        m.ComPort = static_cast<int16_t>(*port);
    else if (call.isSet("keep-port"))
        m.ComPort = info.filePort;
}

QString onOff(int16_t flag) { return flag != kFalse ? QStringLiteral("on") : QStringLiteral("off"); }

// Values as "label [  0] v v v ..." lines of perRow values, and as a JSON array of numbers.
void addRow(Record &r, const QString &key, const QString &label, const QStringList &values, int perRow)
{
    QJsonArray numbers;
    for (const QString &v : values)
        numbers.append(v.toDouble());
    r.value(key, numbers);
    for (int i = 0; i < values.size(); i += perRow) {
        const QString head = i == 0 ? label : QString(label.size(), QLatin1Char(' '));
        r.line(
            QStringLiteral("      %1 [%2] %3").arg(head).arg(i, 3).arg(values.mid(i, perRow).join(QLatin1Char(' '))));
    }
}

void hzField(Record &r, const QString &key, const QString &label, int v)
{
    r.field(key, v, label, QStringLiteral("%1 Hz").arg(v));
}

void dbField(Record &r, const QString &key, const QString &label, int v)
{
    r.field(key, v, label, QStringLiteral("%1 dB").arg(v));
}

void adaptiveFields(Record &r, const StageConfig &s)
{
    r.field(QStringLiteral("filterSize"), s.FilterSize, QStringLiteral("Filter size"),
            QStringLiteral("%1 taps").arg(s.FilterSize));
    r.field(QStringLiteral("adaptationRate"), s.AdaptRate, QStringLiteral("Adaptation rate"));
    r.field(QStringLiteral("predictionSpan"), s.PredictionSpan, QStringLiteral("Prediction span"),
            QStringLiteral("%1 samples").arg(s.PredictionSpan));
    r.field(QStringLiteral("adaptMode"), s.ModeOption == 2 ? QStringLiteral("Fixed") : QStringLiteral("Auto"),
            QStringLiteral("Adapt mode"));
    r.field(QStringLiteral("output"), s.OutputOption == 2 ? QStringLiteral("Predict") : QStringLiteral("Residue"),
            QStringLiteral("Output"));
}

// Freq1 is the fundamental setting: the fundamental is the set's sample rate / (Freq1 + 1) Hz.
void combFields(Record &r, const Model &m, int set, const StageConfig &s)
{
    const int f0 = static_cast<int>(std::nearbyint(static_cast<double>(m.SampleRate(set)) / (s.Freq1 + 1)));
    static const char *const harmonics[] = {"All", "Odd", "Even"};
    r.value(QStringLiteral("fundamentalHz"), f0);
    r.field(QStringLiteral("fundamentalSetting"), s.Freq1, QStringLiteral("Fundamental setting"),
            QStringLiteral("%1 (fundamental %2 Hz)").arg(s.Freq1).arg(f0));
    hzField(r, QStringLiteral("notchLimitHz"), QStringLiteral("Notch limit"), s.Freq2);
    dbField(r, QStringLiteral("notchDepthDb"), QStringLiteral("Notch depth"), s.AttenDb);
    r.field(QStringLiteral("harmonics"),
            s.ModeOption >= 3 && s.ModeOption <= 5 ? QString::fromLatin1(harmonics[s.ModeOption - 3])
                                                   : QString::number(s.ModeOption),
            QStringLiteral("Harmonics"));
}

// The stages that are a list of values: the 20 bands, the gain curve, the imported taps.
void listFields(Record &r, const Model &m, int set, const StageConfig &s)
{
    switch (s.Type) {
    case GraphicEq20: {
        QStringList bands;
        for (int16_t b : s.EqBand)
            bands << QString::number(b);
        addRow(r, QStringLiteral("bands"), QStringLiteral("Band settings"), bands, 10);
        break;
    }
    case SpectralEq: {
        QStringList gains;
        for (float g : s.SpectralGain)
            gains << num(g);
        r.field(QStringLiteral("sampleRateHz"), m.SampleRate(set), QStringLiteral("Gain curve"),
                QStringLiteral("dB at point k = k x %1 / 256 Hz").arg(m.SampleRate(set)));
        addRow(r, QStringLiteral("gainsDb"), QStringLiteral("Gain"), gains, 10);
        break;
    }
    case ImportedCoef: {
        r.field(QStringLiteral("coefficientFile"), s.CoefFileName, QStringLiteral("Coefficient file"),
                QLatin1Char('"') + s.CoefFileName + QLatin1Char('"'));
        QStringList coefs;
        for (float c : s.Coef)
            coefs << num(c);
        addRow(r, QStringLiteral("coefficients"), QStringLiteral("Coef"), coefs, 8);
        break;
    }
    default:
        break;
    }
}

// One stage: its type and the parameters that type uses.
Record stageRecord(const Model &m, int set, int stageNo)
{
    const StageConfig &s = m.stage(set, stageNo);
    Record r(QStringLiteral("      "));
    r.value(QStringLiteral("stage"), stageNo).value(QStringLiteral("type"), FilterTypeDisplayText(s.Type));
    r.line(QStringLiteral("    Stage %1: %2").arg(stageNo).arg(FilterTypeDisplayText(s.Type)));
    switch (s.Type) {
    case Adaptive1CH:
        adaptiveFields(r, s);
        break;
    case Lowpass:
    case Highpass:
        hzField(r, QStringLiteral("cutoffHz"), QStringLiteral("Cutoff frequency"), s.Freq1);
        r.field(QStringLiteral("slope"), s.Slope, QStringLiteral("Slope"));
        dbField(r, QStringLiteral("attenuationDb"), QStringLiteral("Attenuation"), s.AttenDb);
        break;
    case Bandpass:
    case Bandstop:
        hzField(r, QStringLiteral("lowerCutoffHz"), QStringLiteral("Lower cutoff"), s.Freq1);
        hzField(r, QStringLiteral("upperCutoffHz"), QStringLiteral("Upper cutoff"), s.Freq2);
        r.field(QStringLiteral("slope"), s.Slope, QStringLiteral("Slope"));
        dbField(r, QStringLiteral("attenuationDb"), QStringLiteral("Attenuation"), s.AttenDb);
        break;
    case Comb:
        combFields(r, m, set, s);
        break;
    case Notch:
    case Slot:
        hzField(r, QStringLiteral("centreHz"), QStringLiteral("Centre frequency"), s.Freq1);
        r.field(QStringLiteral("widthSetting"), s.Freq2, QStringLiteral("Width setting"));
        dbField(r, QStringLiteral("depthDb"), QStringLiteral("Depth"), s.AttenDb);
        break;
    case GraphicEq20:
    case SpectralEq:
    case ImportedCoef:
        listFields(r, m, set, s);
        break;
    default:
        break;
    }
    return r;
}

bool writeOut(const Model &m, const QString &path, CliDialog &dialog) { return WriteSettingsFile(m, path, dialog); }

int runShow(Invocation &call)
{
    const QString path = call.argument(0);
    CliDialog dialog;
    Model m = startupModel();
    SettingsFileInfo info;
    if (!openLikeFileOpen(m, path, dialog, info))
        return kFailed;
    Record r;
    r.field(QStringLiteral("file"), path, QStringLiteral("File"));
    r.value(QStringLiteral("setCount"), info.setCount);
    r.field(QStringLiteral("format"),
            QLatin1String(info.setCount == kFilterSetCount ? kSettingsHeader : kOldSettingsHeader),
            QStringLiteral("Format"),
            info.setCount == kFilterSetCount
                ? QStringLiteral("\"%1\", 16 filter sets").arg(QLatin1String(kSettingsHeader))
                : QStringLiteral("\"%1\" (older form), 10 filter sets; sets 10..15 pass through")
                      .arg(QLatin1String(kOldSettingsHeader)));
    r.field(QStringLiteral("portInFile"), info.filePort, QStringLiteral("Port in file"),
            QStringLiteral("COM %1 (File > Open keeps the port in use)").arg(info.filePort));
    for (int set = 0; set < kFilterSetCount; ++set) {
        const StageConfig &s1 = m.stage(set, 1);
        Record sr;
        sr.line(QString());
        sr.value(QStringLiteral("set"), set);
        sr.value(QStringLiteral("agc"), AgcDisplayText(s1.Agc));
        sr.value(QStringLiteral("bandwidth"), BandwidthDisplayText(s1.Bandwidth));
        sr.value(QStringLiteral("noiseFilter"), s1.NoiseFilter != kFalse);
        sr.line(QStringLiteral("Filter %1: %2, %3, Broadband Noise Filter %4")
                    .arg(set)
                    .arg(AgcDisplayText(s1.Agc), BandwidthDisplayText(s1.Bandwidth), onOff(s1.NoiseFilter)));
        sr.append(QStringLiteral("stages"), stageRecord(m, set, 1));
        sr.append(QStringLiteral("stages"), stageRecord(m, set, 2));
        r.append(QStringLiteral("sets"), sr);
    }
    call.out().write(r);
    return kSuccess;
}

int runConvert(Invocation &call)
{
    CliDialog dialog;
    Model m = startupModel();
    SettingsFileInfo info;
    if (!openLikeFileOpen(m, call.argument(0), dialog, info))
        return kFailed;
    applyPort(m, call, info);
    return writeOut(m, call.argument(1), dialog) ? kSuccess : kFailed;
}

int runNew(Invocation &call)
{
    CliDialog dialog;
    Model m = startupModel();
    applyPort(m, call, SettingsFileInfo{});
    return writeOut(m, call.argument(0), dialog) ? kSuccess : kFailed;
}

int runImportCoef(Invocation &call)
{
    const int set = call.argumentInt(1);
    const int stageNo = call.argumentInt(2);
    CliDialog dialog;
    Model m = startupModel();
    SettingsFileInfo info;
    if (!openLikeFileOpen(m, call.argument(0), dialog, info))
        return kFailed;
    // The main window's type list then its "Control" button: the type's defaults (a unit
    // impulse, no file name) first, then the file.
    m.CurrentSet = static_cast<int16_t>(set);
    m.CurrentStage = static_cast<int16_t>(stageNo);
    m.stage(set, stageNo).Type = ImportedCoef;
    m.ApplyTypeDefaults(stageNo);
    if (!ReadFirFile(m, stageNo, QFileInfo(call.argument(3)).absoluteFilePath(), dialog))
        return kFailed;
    applyPort(m, call, info);
    return writeOut(m, call.argument(4), dialog) ? kSuccess : kFailed;
}

const char kWritePortHelp[] = "write port N (1..9) into the file (default 1, the port of a\n"
                              "program started without a default.min)";
const char kKeepPortHelp[] = "write the port stored in the file read (clamped into 1..9)";

} // namespace

const Command kShowCommand{
    .name = "show",
    .summary = "print every filter set of a settings file",
    .arguments = {{"FILE"}},
    .options = {JsonOption()},
    .description = "Reads FILE as a settings file exactly as File > Open does (every stage validated, so\n"
                   "every set reads back as 7.5 kHz) and prints each filter set: AGC, bandwidth, noise\n"
                   "filter and, per stage, the filter type and the parameters that type uses. The port\n"
                   "number stored in the file is shown but, as with File > Open, not applied.\n",
    .exitStatus = "0 shown, 1 FILE cannot be read, 2 usage error.",
    .run = runShow,
};

const Command kConvertCommand{
    .name = "convert",
    .summary = "read IN as File > Open does, write OUT",
    .arguments = {{"IN"}, {"OUT"}},
    .options = {PortOption(kWritePortHelp), {.name = "keep-port", .help = kKeepPortHelp}},
    .exclusive = {{"port", "keep-port"}},
    .description = "Reads IN as File > Open does (a 16-set or an older 10-set file; every stage validated)\n"
                   "and writes OUT as File > Save As does, always in the 16-set form.\n",
    .exitStatus = "0 written, 1 IN cannot be read or OUT cannot be written, 2 usage error.",
    .run = runConvert,
};

const Command kNewCommand{
    .name = "new",
    .summary = "write the model as File > New leaves it",
    .arguments = {{"OUT"}},
    .options = {PortOption(kWritePortHelp)},
    .description = "Writes OUT with the model as File > New leaves it: every stage \"Pass Thru Filter\",\n"
                   "\"No AGC\", \"5.0 kHz\", noise filter off.\n",
    .exitStatus = "0 written, 1 OUT cannot be written, 2 usage error.",
    .run = runNew,
};

const Command kImportCoefCommand{
    .name = "import-coef",
    .summary = "import a coefficient text file into a stage",
    .arguments = {{"FILE"}, {"SET", {0, kFilterSetCount - 1}}, {"STAGE", {1, 2}}, {"COEF"}, {"OUT"}},
    .options = {PortOption(kWritePortHelp), {.name = "keep-port", .help = kKeepPortHelp}},
    .exclusive = {{"port", "keep-port"}},
    .description = "Reads the settings file FILE as File > Open does, makes stage STAGE (1 or 2) of filter\n"
                   "set SET (0..15) an \"Imported Coefficient File\" stage, reads the coefficient text file\n"
                   "COEF into it (one number per line, up to 256, each clipped into -1..+1) and writes OUT.\n",
    .exitStatus = "0 written, 1 FILE or COEF cannot be read or OUT cannot be written (OUT is\n"
                  "then not written), 2 usage error.",
    .run = runImportCoef,
};

} // namespace korvane::cli
