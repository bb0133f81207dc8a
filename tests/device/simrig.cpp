#include "simrig.h"

#include "device/comroutines.h"
#include "device/qtserialline.h"
#include "messages/usermessages.h"

#include <QFile>
#include <QRandomGenerator>

namespace korvane::test {

SimRig::SimRig()
{
    qputenv("KORVANE_COM_DIR", comDir.path().toLocal8Bit());
    model.ComPort = 1;
    options.programFolder = programFolder.path();
    options.firmwarePath = qEnvironmentVariable("KORVANE_PROGRAM_DIR") + QStringLiteral("/korvanes.fwr");
    options.present = [this](const ProgrammingReport &r) {
        reports.push_back(r);
        ShowProgrammingReport(dialog, r);
    };
}

std::vector<ProgrammingReport::Outcome> SimRig::outcomes() const
{
    std::vector<ProgrammingReport::Outcome> out;
    for (const ProgrammingReport &r : reports)
        out.push_back(r.outcome);
    return out;
}

SimRig::~SimRig()
{
    m_sequence.reset();
    sims.clear();
    qunsetenv("KORVANE_COM_DIR");
    QtSerialLine idle;
    ClearCancelAndClosePort(idle);
}

bool SimRig::startSim(int port, const QStringList &arguments)
{
    QStringList args{QStringLiteral("--com"), QString::number(port)};
    args += arguments;
    sims.push_back(std::make_unique<SimProcess>(args));
    return sims.back()->isReady();
}

QByteArray SimRig::writeFilterImage()
{
    QRandomGenerator gen(42);
    QByteArray image(28672, '\0');
    for (auto &c : image)
        c = static_cast<char>(gen.bounded(256));
    QFile f(programFolder.filePath(QStringLiteral("filter.bin")));
    if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
        return {};
    return image;
}

ProgrammingSequence &SimRig::sequence()
{
    if (!m_sequence) {
        m_sequence = std::make_unique<ProgrammingSequence>(model, dialog, options);
        auto *s = m_sequence.get();
        auto log = [this](const QString &e) { signalLog << e; };
        QObject::connect(s, &ProgrammingSequence::stageChanged, [log](const QString &c) { log("stage:" + c); });
        QObject::connect(s, &ProgrammingSequence::portProbed, [log](int p) { log(QStringLiteral("port:%1").arg(p)); });
        QObject::connect(s, &ProgrammingSequence::comPortChanged,
                         [log](int p) { log(QStringLiteral("comport:%1").arg(p)); });
        QObject::connect(s, &ProgrammingSequence::warningVisibleChanged,
                         [log](bool v) { log(QStringLiteral("warning:%1").arg(int(v))); });
        QObject::connect(s, &ProgrammingSequence::packetInfoVisibleChanged,
                         [log](bool v) { log(QStringLiteral("packetinfo:%1").arg(int(v))); });
        QObject::connect(s, &ProgrammingSequence::cancelEnabledChanged,
                         [log](bool v) { log(QStringLiteral("cancel:%1").arg(int(v))); });
        QObject::connect(s, &ProgrammingSequence::progressMaximumChanged,
                         [log](int n) { log(QStringLiteral("max:%1").arg(n)); });
    }
    return *m_sequence;
}

} // namespace korvane::test
