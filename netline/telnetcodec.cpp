#include "telnetcodec.h"

#include <initializer_list>

namespace korvane {

namespace {

constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;

// COM-PORT-OPTION commands (the server answers with the same plus 100).
constexpr std::uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5,
                       kFlowSuspend = 8, kFlowResume = 9, kPurgeData = 12;
constexpr std::uint8_t kServer = 100;
constexpr quint32 kBaud = 9600;
constexpr std::uint8_t kDataBits = 8, kNoParity = 1, kOneStopBit = 1, kNoFlowControl = 1, kPurgeBoth = 3;

QByteArray bytes(std::initializer_list<std::uint8_t> list)
{
    QByteArray out;
    for (const std::uint8_t b : list)
        out += char(b);
    return out;
}

QByteArray command(std::uint8_t verb, std::uint8_t option) { return bytes({kIac, verb, option}); }

QByteArray comPortCommand(std::uint8_t code, const QByteArray &value)
{
    QByteArray out = bytes({kIac, kSb, kComPort, code});
    for (const char c : value) {
        out += c;
        if (std::uint8_t(c) == kIac)
            out += c;
    }
    out += char(kIac);
    out += char(kSe);
    return out;
}

bool acceptedOnOurSide(std::uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

bool acceptedOnServerSide(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

} // namespace

QByteArray TelnetCodec::greeting()
{
    QByteArray out;
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
        us_[option] = Side::WantYes;
        out += command(kWill, option);
    }
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        him_[option] = Side::WantYes;
        out += command(kDo, option);
    }
    return out;
}

QByteArray TelnetCodec::lineSettings()
{
    const QByteArray baud = bytes(
        {std::uint8_t(kBaud >> 24), std::uint8_t(kBaud >> 16), std::uint8_t(kBaud >> 8), std::uint8_t(kBaud)});
    return comPortCommand(kSetBaudRate, baud) + comPortCommand(kSetDataSize, QByteArray(1, char(kDataBits)))
        + comPortCommand(kSetParity, QByteArray(1, char(kNoParity)))
        + comPortCommand(kSetStopSize, QByteArray(1, char(kOneStopBit)))
        + comPortCommand(kSetControl, QByteArray(1, char(kNoFlowControl)))
        + comPortCommand(kPurgeData, QByteArray(1, char(kPurgeBoth)));
}

QByteArray TelnetCodec::encode(const QByteArray &data) const
{
    const bool binary = us_[kBinary] == Side::Yes;
    QByteArray out;
    out.reserve(data.size() + data.size() / 64 + 8);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data[i];
        out += c;
        if (std::uint8_t(c) == kIac)
            out += c;
        else if (c == '\r' && !binary && (i + 1 >= data.size() || data[i + 1] != '\n'))
            out += '\0';
    }
    return out;
}

QByteArray TelnetCodec::decode(const QByteArray &wire, QByteArray &answers)
{
    QByteArray data;
    data.reserve(wire.size());
    for (const char ch : wire) {
        const auto b = std::uint8_t(ch);
        switch (state_) {
        case State::Data:
            if (b == kIac) {
                state_ = State::Iac;
                break;
            }
            if (b == 0 && afterCr_ && him_[kBinary] != Side::Yes) {
                afterCr_ = false;
                break;
            }
            afterCr_ = ch == '\r';
            data += ch;
            break;
        case State::Iac:
            state_ = State::Data;
            if (b == kIac) {
                afterCr_ = false;
                data += ch;
            } else if (b == kDo || b == kDont || b == kWill || b == kWont) {
                verb_ = b;
                state_ = State::Verb;
            } else if (b == kSb) {
                sub_.clear();
                state_ = State::Sub;
            } // NOP, GA, a stray SE and the rest carry nothing for a serial line
            break;
        case State::Verb:
            state_ = State::Data;
            negotiate(verb_, b, answers);
            break;
        case State::Sub:
            if (b == kIac)
                state_ = State::SubIac;
            else
                sub_ += ch;
            break;
        case State::SubIac:
            if (b == kIac) {
                sub_ += ch;
                state_ = State::Sub;
            } else {
                // IAC SE ends it; anything else after IAC ends it as well (a broken server).
                state_ = State::Data;
                subnegotiation();
            }
            break;
        }
    }
    return data;
}

void TelnetCodec::negotiate(std::uint8_t verb, std::uint8_t option, QByteArray &answers)
{
    // Each side of each option is No, Yes, or asked for by us (WantYes). An answer is sent
    // only when the request changes the state, so two ends never loop.
    const bool serverSide = verb == kWill || verb == kWont;
    Side &side = serverSide ? him_[option] : us_[option];
    const bool enable = verb == kWill || verb == kDo;
    const std::uint8_t yes = serverSide ? kDo : kWill;
    const std::uint8_t no = serverSide ? kDont : kWont;
    if (enable) {
        if (side == Side::WantYes) {
            side = Side::Yes;
        } else if (side == Side::No) {
            const bool accepted = serverSide ? acceptedOnServerSide(option) : acceptedOnOurSide(option);
            side = accepted ? Side::Yes : Side::No;
            answers += command(accepted ? yes : no, option);
        }
    } else {
        if (side == Side::Yes)
            answers += command(no, option);
        side = Side::No;
    }
    if (!serverSide && option == kComPort)
        comPort_ = us_[kComPort] == Side::Yes ? ComPortOption::Agreed : ComPortOption::Refused;
}

void TelnetCodec::subnegotiation()
{
    if (sub_.size() < 2 || std::uint8_t(sub_[0]) != kComPort)
        return;
    const auto code = std::uint8_t(sub_[1]);
    const QByteArray value = sub_.mid(2);
    auto byteValue = [&value] { return value.isEmpty() ? -1 : int(std::uint8_t(value[0])); };
    auto differs = [this](const QString &what) {
        if (settingsProblem_.isEmpty())
            settingsProblem_ = what;
    };
    // A value of 0 in an answer means the server did not say; only a different value counts.
    switch (code) {
    case kServer + kSetBaudRate:
        if (value.size() == 4) {
            quint32 baud = 0;
            for (const char c : value)
                baud = (baud << 8) | std::uint8_t(c);
            if (baud != 0 && baud != kBaud)
                differs(QStringLiteral("the server set %1 baud, not %2").arg(baud).arg(kBaud));
        }
        break;
    case kServer + kSetDataSize:
        if (byteValue() > 0 && byteValue() != kDataBits)
            differs(QStringLiteral("the server set %1 data bits, not %2").arg(byteValue()).arg(kDataBits));
        break;
    case kServer + kSetParity:
        if (byteValue() > 0 && byteValue() != kNoParity)
            differs(QStringLiteral("the server set parity %1, not none").arg(byteValue()));
        break;
    case kServer + kSetStopSize:
        if (byteValue() > 0 && byteValue() != kOneStopBit)
            differs(QStringLiteral("the server set stop size %1, not 1 stop bit").arg(byteValue()));
        break;
    case kServer + kFlowSuspend:
        suspended_ = true;
        break;
    case kServer + kFlowResume:
        suspended_ = false;
        break;
    default:
        break; // line and modem state notices, mask and control answers: nothing waits on them
    }
}

} // namespace korvane
