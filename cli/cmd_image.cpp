// build-image and inspect: the coefficient image without the programming run.

#include "clidialog.h"
#include "commands.h"

#include "coefgen/coefimage.h"
#include "coefgen/imageinspect.h"
#include "coefgen/spectral.h"
#include "config/settingsfile.h"
#include "messages/usermessages.h"

#include <QFile>

namespace korvane::cli {

namespace {

const char *kindName(DecodedStageHeader::Kind kind)
{
    switch (kind) {
    case DecodedStageHeader::Kind::Adaptive:
        return "adaptive";
    case DecodedStageHeader::Kind::PassThru:
        return "pass-through";
    case DecodedStageHeader::Kind::Comb:
        return "comb";
    case DecodedStageHeader::Kind::Fir:
        return "fir";
    case DecodedStageHeader::Kind::Unknown:
        break;
    }
    return "unknown";
}

// The decoded image as JSON; the text is the library's description of the same decoding.
Record imageRecord(const QString &path, const DecodedImage &image)
{
    Record r;
    r.value(QStringLiteral("file"), path)
        .value(QStringLiteral("size"), image.size)
        .value(QStringLiteral("sizeOk"), image.sizeOk())
        .value(QStringLiteral("wellFormed"), image.wellFormed());
    QJsonArray blocks;
    for (const DecodedBlock &b : image.blocks) {
        QJsonObject block{{QStringLiteral("index"), b.index},
                          {QStringLiteral("size"), b.size},
                          {QStringLiteral("complete"), b.complete()},
                          {QStringLiteral("wellFormed"), b.wellFormed()}};
        if (b.complete()) {
            QJsonArray stages;
            for (int i = 0; i < 2; ++i) {
                const DecodedStageHeader &h = b.headers[i];
                QJsonObject stage{
                    {QStringLiteral("stage"), i + 1},
                    {QStringLiteral("kind"), QLatin1String(kindName(h.kind))},
                    {QStringLiteral("header"),
                     QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(h.bytes.data()), 8).toHex(' '))},
                    {QStringLiteral("firstTap"), b.firstTap[i]},
                    {QStringLiteral("centreTap"), b.centreTap[i]},
                    {QStringLiteral("combDelay"), b.combDelay[i]},
                    {QStringLiteral("combFeedback"), b.combFeedback[i]}};
                if (h.kind == DecodedStageHeader::Kind::Adaptive) {
                    stage.insert(QStringLiteral("filterSize"), h.filterSize);
                    stage.insert(QStringLiteral("predictionSpan"), h.predictionSpan);
                    stage.insert(QStringLiteral("adaptRate"), h.adaptRate);
                    stage.insert(QStringLiteral("residueOutput"), h.residueOutput);
                    stage.insert(QStringLiteral("autoMode"), h.autoMode);
                }
                stages.append(stage);
            }
            block.insert(QStringLiteral("magicOk"), b.magicOk);
            block.insert(QStringLiteral("checksumOk"), b.checksumOk);
            block.insert(QStringLiteral("storedChecksum"), b.storedChecksum);
            block.insert(QStringLiteral("computedChecksum"), b.computedChecksum);
            block.insert(QStringLiteral("agcByte"), b.agcByte);
            block.insert(QStringLiteral("bandwidth"), b.bandwidth);
            block.insert(QStringLiteral("noiseFlag"), b.noiseFlag);
            block.insert(QStringLiteral("stages"), stages);
        }
        blocks.append(block);
    }
    r.value(QStringLiteral("blocks"), blocks);
    r.line(DescribeFilterImage(image).chopped(1)); // the description ends in a line break
    return r;
}

int runBuildImage(Invocation &call)
{
    CliDialog dialog;
    Model model;
    if (!ReadSettingsLikeFileOpen(model, call.argument(0), dialog))
        return kFailed;
    if (call.isSet("lib-dir"))
        SetKorvanesLocation(call.value("lib-dir"));
    if (!BuildFilterImage(model, call.value("o"), dialog)) {
        QString why;
        if (!BindCalculateIfft(&why))
            call.out().note(QStringLiteral("korvane-s-cli: korvanes: ") + why);
        ProgrammingReport report;
        report.outcome = ProgrammingReport::Outcome::ImageNotWritten;
        ShowProgrammingReport(dialog, report);
        return kFailed;
    }
    return kSuccess;
}

int runInspect(Invocation &call)
{
    const QString path = call.argument(0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return call.out().failed(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    // A real image is 28672 bytes; read a little more so an oversized file shows as such.
    const QByteArray data = file.read(4 * kFilterImageSize);
    const DecodedImage image = DecodeFilterImage(data);
    call.out().write(imageRecord(path, image));
    if (file.size() > data.size())
        return call.out().failed(
            QStringLiteral("%1 is %2 bytes; an image is %3").arg(path).arg(file.size()).arg(kFilterImageSize));
    return image.wellFormed() ? kSuccess : kFailed;
}

} // namespace

const Command kBuildImageCommand{
    .name = "build-image",
    .summary = "build the coefficient image",
    .arguments = {{"FILE.min"}},
    .options = {{.name = "o", .valueName = "OUT.bin", .help = "the image file to write", .required = true},
                LibDirOption()},
    .description = "Reads FILE.min as File > Open does and builds the coefficient image into OUT.bin\n"
                   "(16 blocks of 1792 bytes). The 20-band equalizer file \"20Band\" is the current\n"
                   "folder's, else the program's own.\n",
    .exitStatus = "0 built, 1 the settings file or the image failed, 2 usage error.",
    .run = runBuildImage,
};

const Command kInspectCommand{
    .name = "inspect",
    .summary = "decode a coefficient image",
    .arguments = {{"IMAGE.bin"}},
    .options = {JsonOption()},
    .description = "Decodes a coefficient image: per block the magic word, AGC and bandwidth bytes, both\n"
                   "stage headers, the first and centre taps, comb words, noise flag and checksum.\n",
    .exitStatus = "0 well formed, 1 unreadable or malformed (size, magic or checksum), 2 usage error.",
    .run = runInspect,
};

} // namespace korvane::cli
