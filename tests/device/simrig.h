#pragma once
// One programming run against the simulated processor attached as COM n through a private
// port folder: the sequence under test, the reports it made, the dialog that records the
// messages they became (shown as the program's views show them), and a log of every signal
// it emitted.

#include "device/programmingsequence.h"
#include "scripteddialog.h"
#include "simprocess.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace korvane::test {

class SimRig {
public:
    // Sets KORVANE_COM_DIR to a fresh folder; call before starting sims.
    SimRig();
    ~SimRig();

    // Starts a sim as COM port with extra arguments; false when it did not come up.
    [[nodiscard]] bool startSim(int port, const QStringList &arguments = {});
    [[nodiscard]] SimProcess &sim(int i = 0) { return *sims.at(i); }

    // Writes a deterministic 28672-byte image to the program folder's filter.bin.
    [[nodiscard]] QByteArray writeFilterImage();
    [[nodiscard]] ProgrammingSequence &sequence();

    QTemporaryDir comDir;
    QTemporaryDir programFolder;
    ScriptedDialog dialog;
    std::vector<ProgrammingReport> reports;
    Model model;
    ProgrammingOptions options;
    QStringList signalLog; // "stage:Finding Korvane-S", "port:3", "warning:1", ...
    [[nodiscard]] std::vector<ProgrammingReport::Outcome> outcomes() const;
    std::vector<std::unique_ptr<SimProcess>> sims;

private:
    std::unique_ptr<ProgrammingSequence> m_sequence;
};

} // namespace korvane::test
