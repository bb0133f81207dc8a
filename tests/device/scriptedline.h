#pragma once
// An in-memory serial line for protocol tests. What the code under test writes is recorded;
// a responder sees every write and schedules replies, which arrive as timer events of the
// current clock (real time, or a test's ManualClock) so the code's event pumping is exercised
// as on a real port.

#include "device/comroutines.h"
#include "device/serialline.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>

#include <functional>

namespace korvane::test {

class ScriptedLine : public SerialLine {
public:
    ScriptedLine();
    ~ScriptedLine() override;

    void setPortNumber(int port) override;
    int portNumber() const override { return m_port; }
    QString deviceName() const override { return QStringLiteral("scripted:%1").arg(m_port); }
    bool isOpen() const override { return m_open; }
    void open() override;
    void close() override;
    void write(const QByteArray &bytes) override;
    qint64 bytesWaitingOut() const override { return 0; }
    bool hasError() const override { return !m_error.isEmpty(); }
    QString errorText() const override { return m_error; }
    void clearError() override { m_error.clear(); }

    // Bytes arrive on the line after delayMs on the current clock (0: at the next event pass);
    // deliveries due at the same time arrive in call order.
    void deliver(const QByteArray &bytes, int delayMs = 0);
    // The line fails after delayMs on the current clock, as when the adapter is pulled out:
    // from then on hasError() holds with this text until cleared.
    void failAfter(int delayMs, const QString &text);

    // Called with the port number and each block written; schedules replies with deliver().
    std::function<void(ScriptedLine &, int port, const QByteArray &)> responder;
    // Ports that can be opened; empty = every port.
    QSet<int> presentPorts;

    QList<QByteArray> writes; // every write() while open, in order
    QList<int> openedPorts;   // every successful or failed open, by port number
    [[nodiscard]] int countWrites(const QByteArray &bytes) const;

protected:
    QByteArray readAvailable() override;
    qint64 bytesAvailable() const override { return m_input.size(); }

private:
    QObject m_context; // owns the pending deliveries; destroyed with the line
    QByteArray m_input;
    QString m_error;
    int m_port = 1;
    bool m_open = false;
};

// A protocol test whose every function starts and ends with no cancel pending and the
// port closed, as the program is between two runs.
class PortResetTest : public QObject {
    Q_OBJECT

protected slots:
    void init() { ClearCancelAndClosePort(dummy_); }
    void cleanup() { ClearCancelAndClosePort(dummy_); }

protected:
    ScriptedLine dummy_;
};

} // namespace korvane::test
