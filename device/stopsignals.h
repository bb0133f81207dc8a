#pragma once
// Ctrl-C (SIGINT), SIGTERM (a polite kill, a logout, a shutdown) and SIGHUP (a closed
// terminal, a dropped session) as requests to stop, delivered through the event loop: the
// handler only writes the signal's number as one byte into a pipe, and a socket notifier on
// the other end emits received() from the thread of the event loop. Nothing but that byte
// happens in the handler, so a signal can arrive at any moment, also while a wait of the
// device link pumps events.
//
// Both programs use it around a programming run; what a request does to a run is
// ProgrammingSequence::requestStop() (cancel, or held while the firmware is reloaded).

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace korvane {

class StopSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers of SIGINT, SIGTERM and SIGHUP, and ignores SIGPIPE (after a
    // hang-up stderr may be gone: a write there must not end the process). One object at a
    // time; a second one installs nothing (isInstalled() false).
    explicit StopSignals(QObject *parent = nullptr);
    // Puts back the dispositions found at construction.
    ~StopSignals() override;
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // False when the pipe could not be made or another object holds the handlers: the
    // signals then keep their previous effect.
    [[nodiscard]] bool isInstalled() const { return notifier_ != nullptr; }

signals:
    // One per signal received, in arrival order: SIGINT, SIGTERM or SIGHUP.
    void received(int signal);

private:
    void drain();

    std::unique_ptr<QSocketNotifier> notifier_;
};

// "SIGINT", "SIGTERM", "SIGHUP"; "signal N" for any other number.
[[nodiscard]] QString StopSignalName(int signal);

} // namespace korvane
