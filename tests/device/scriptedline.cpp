#include "scriptedline.h"

#include "device/clock.h"

namespace korvane::test {

ScriptedLine::ScriptedLine() = default;
ScriptedLine::~ScriptedLine() = default;

void ScriptedLine::setPortNumber(int port)
{
    if (m_open && port != m_port) {
        m_error = QStringLiteral("port number changed while open");
        return;
    }
    m_port = port;
}

void ScriptedLine::open()
{
    openedPorts << m_port;
    if (!presentPorts.isEmpty() && !presentPorts.contains(m_port)) {
        m_error = QStringLiteral("no such port");
        return;
    }
    m_open = true;
    m_input.clear();
    dropUnread();
}

void ScriptedLine::close()
{
    m_open = false;
    dropUnread();
}

void ScriptedLine::write(const QByteArray &bytes)
{
    if (!m_open) {
        m_error = QStringLiteral("write on a closed port");
        return;
    }
    writes << bytes;
    if (responder)
        responder(*this, m_port, bytes);
}

QByteArray ScriptedLine::readAvailable()
{
    QByteArray out;
    out.swap(m_input);
    return out;
}

void ScriptedLine::deliver(const QByteArray &bytes, int delayMs)
{
    const int port = m_port;
    CurrentClock().callAfter(delayMs, &m_context, [this, bytes, port] {
        if (m_open && m_port == port)
            m_input += bytes;
    });
}

void ScriptedLine::failAfter(int delayMs, const QString &text)
{
    CurrentClock().callAfter(delayMs, &m_context, [this, text] { m_error = text; });
}

int ScriptedLine::countWrites(const QByteArray &bytes) const
{
    int n = 0;
    for (const auto &w : writes)
        n += (w == bytes);
    return n;
}

} // namespace korvane::test
