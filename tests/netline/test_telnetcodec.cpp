// The client's telnet layer for RFC 2217 servers: escaping, negotiation and the server's
// answers to the line settings, however the wire splits them.

#include "netline/telnetcodec.h"

#include <QTest>

using korvane::TelnetCodec;

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (const int b : list)
        out += char(b);
    return out;
}

constexpr int IAC = 255, DONT = 254, DO = 253, WILL = 251, SB = 250, SE = 240;

// What a server says on connection: it agrees to binary and port control, offers echo.
const QByteArray kServerGreeting = bytes(
    {IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, 44});

QByteArray comPortAnswer(int code, const QByteArray &value)
{
    return bytes({IAC, SB, 44, code}) + value + bytes({IAC, SE});
}

} // namespace

class TestTelnetCodec : public QObject {
    Q_OBJECT

private slots:
    // Data with 255 and CR in it, between negotiation and subnegotiation, fed whole and byte by
    // byte: the same data and the same answers either way.
    void decodeSplitAnywhere()
    {
        const QByteArray wire = kServerGreeting + comPortAnswer(101, bytes({0, 0, 0x25, 0x80})) + "Ready\r\n"
            + bytes({IAC, IAC, 0x0D, 0, IAC, 241}) + comPortAnswer(107, bytes({IAC, IAC})) + "x";
        for (const int step : {int(wire.size()), 1, 3}) {
            TelnetCodec codec;
            (void)codec.greeting();
            QByteArray data, answers;
            for (qsizetype i = 0; i < wire.size(); i += step)
                data += codec.decode(wire.mid(i, step), answers);
            QCOMPARE(data, QByteArray("Ready\r\n") + bytes({0xFF, 0x0D, 0}) + "x"); // binary: the NUL stays
            QCOMPARE(answers, bytes({IAC, DONT, 1}));                               // echo refused, nothing else
            QCOMPARE(codec.comPortOption(), TelnetCodec::ComPortOption::Agreed);
            QVERIFY(codec.settingsProblem().isEmpty());
        }
    }

    void encode()
    {
        TelnetCodec codec;
        (void)codec.greeting();
        // Before the server agreed to binary, a lone CR is followed by NUL.
        QCOMPARE(codec.encode(bytes({0x0D, 0x41, 0x0D, 0x0A})), bytes({0x0D, 0, 0x41, 0x0D, 0x0A}));
        QByteArray answers;
        (void)codec.decode(kServerGreeting, answers);
        QCOMPARE(codec.encode(bytes({0x01, 0xFF, 0xFF, 0x0D, 0x00})),
                 bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D, 0x00}));
    }

    void serverAnswers_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("agreed");
        QTest::newRow("as asked") << comPortAnswer(101, bytes({0, 0, 0x25, 0x80})) + comPortAnswer(102, bytes({8}))
                                  << QString() << true;
        QTest::newRow("other baud") << comPortAnswer(101, bytes({0, 0, 0x12, 0xC0})) << "4800 baud" << true;
        QTest::newRow("7 data bits") << comPortAnswer(102, bytes({7})) << "7 data bits" << true;
        QTest::newRow("even parity") << comPortAnswer(103, bytes({3})) << "parity 3" << true;
        QTest::newRow("port control refused") << bytes({IAC, DONT, 44}) << QString() << false;
    }
    void serverAnswers()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, problem);
        QFETCH(bool, agreed);
        TelnetCodec codec;
        (void)codec.greeting();
        QByteArray answers;
        (void)codec.decode(agreed ? bytes({IAC, DO, 44}) + wire : wire, answers);
        QCOMPARE(codec.comPortOption(),
                 agreed ? TelnetCodec::ComPortOption::Agreed : TelnetCodec::ComPortOption::Refused);
        QCOMPARE(codec.settingsProblem().isEmpty(), problem.isEmpty());
        QVERIFY2(codec.settingsProblem().contains(problem), qPrintable(codec.settingsProblem()));
        QVERIFY(answers.isEmpty());
    }

    void lineSettings()
    {
        // Baud rate 9600 as 4 bytes, most significant first, then 8 data bits, no parity, 1 stop
        // bit, no flow control, and the purge of both directions.
        QCOMPARE(TelnetCodec::lineSettings(),
                 comPortAnswer(1, bytes({0, 0, 0x25, 0x80})) + comPortAnswer(2, bytes({8}))
                     + comPortAnswer(3, bytes({1})) + comPortAnswer(4, bytes({1})) + comPortAnswer(5, bytes({1}))
                     + comPortAnswer(12, bytes({3})));
    }
};

QTEST_GUILESS_MAIN(TestTelnetCodec)
#include "test_telnetcodec.moc"
