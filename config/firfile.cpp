#include "firfile.h"

#include "bytereader.h"
#include "numbertext.h"

#include <QFile>

#include <optional>
#include <string_view>

namespace korvane {

namespace {

// A longer line cannot be a sensible coefficient; the limit keeps a wrong file (a binary
// without carriage returns) from growing memory without bound.
constexpr qsizetype kMaxLineLength = 4096;

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// Reads lines ended by CR LF, a lone CR or a lone LF (files written on Linux).
class LineReader : public BufferedByteReader {
public:
    explicit LineReader(QIODevice &device) : BufferedByteReader(device, 16384) { }

    [[nodiscard]] bool atEnd() { return peek() < 0; }

    // The next line without its end, or nullopt after a read error or beyond kMaxLineLength.
    std::optional<QByteArray> line()
    {
        QByteArray out;
        for (;;) {
            const int c = take();
            if (c < 0)
                break;
            if (c == '\r') {
                if (peek() == '\n')
                    take();
                break;
            }
            if (c == '\n')
                break;
            if (out.size() >= kMaxLineLength)
                return std::nullopt;
            out.append(static_cast<char>(c));
        }
        if (failed())
            return std::nullopt;
        return out;
    }
};

// One coefficient line: drop one trailing non-digit, then spaces around the number.
std::optional<float> parseLine(QByteArray line)
{
    if (line.isEmpty())
        return std::nullopt;
    if (!IsAsciiDigit(line.back()))
        line.chop(1);
    std::string_view t(line.constData(), static_cast<size_t>(line.size()));
    while (!t.empty() && isSpace(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && isSpace(t.back()))
        t.remove_suffix(1);
    return ParseSingle(t);
}

// The coefficients of the file with the clipped flag, or nullopt when the file is not valid.
struct ReadResult {
    std::array<float, kCoefCount> coef{};
    bool clipped = false;
};

std::optional<ReadResult> readCoefficients(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    LineReader reader(file);
    ReadResult r;
    for (int n = 0; n < kCoefCount && !reader.atEnd(); ++n) {
        const auto text = reader.line();
        if (!text)
            return std::nullopt;
        const auto value = parseLine(*text);
        if (!value)
            return std::nullopt;
        float v = *value;
        if (v > 1.0f) {
            v = 1.0f;
            r.clipped = true;
        } else if (v < -1.0f) {
            v = -1.0f;
            r.clipped = true;
        }
        r.coef[n] = v;
    }
    if (reader.failed())
        return std::nullopt;
    return r;
}

} // namespace

bool ReadFirFile(Model &model, int stage, const QString &path, UserDialog &dialog)
{
    const std::optional<ReadResult> r = readCoefficients(path);
    if (!r) {
        dialog.beep();
        dialog.inform(QStringLiteral("File Open Error"), path + kCR + QStringLiteral(" is not valid coefficient file."),
                      MessageIcon::Exclamation);
        return false;
    }
    StageConfig &s = model.stage(model.CurrentSet, stage);
    s.Coef = r->coef;
    if (r->clipped)
        dialog.inform(QStringLiteral("Coefficients Out of Bounds"),
                      QStringLiteral("One or more coefficients exceeded -1.0 or +1.0") + kCR
                          + QStringLiteral("and were clipped to keep within the valid range."),
                      MessageIcon::Information);
    s.CoefFileName = path;
    return true;
}

} // namespace korvane
