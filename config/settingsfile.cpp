#include "settingsfile.h"

#include "bytereader.h"
#include "numbertext.h"
#include "replacefile.h"

#include <QBuffer>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

namespace korvane {

namespace {

const char kLineEnd[] = "\r\n";

// Longest field accepted. Real fields are a few characters (a path at most a few thousand);
// the limit keeps a wrong file (a device, a huge binary) from growing memory without bound.
constexpr qsizetype kMaxFieldLength = 65536;

// ---------------------------------------------------------------------------- writing

void putLine(QByteArray &out, std::string_view text)
{
    out.append(text.data(), static_cast<qsizetype>(text.size()));
    out.append(kLineEnd);
}

void putInt(QByteArray &out, int value)
{
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    putLine(out, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

void putSingle(QByteArray &out, float value) { putLine(out, FormatSingle(value)); }

void putQuoted(QByteArray &out, const QByteArray &text)
{
    out.append('"');
    out.append(text);
    out.append('"');
    out.append(kLineEnd);
}

// A quoted field has no escape: a name holding a double quote or a line break could not be
// read back (and would make the whole file unreadable), so such a name is stored empty. So is
// a name longer than the reader takes: one read from an older file as 8-bit text grows when
// written as UTF-8, and must not turn a readable file into an unreadable one.
QByteArray storableFileName(const QString &name)
{
    if (name.contains(QLatin1Char('"')) || name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')))
        return {};
    QByteArray utf8 = name.toUtf8();
    if (utf8.size() >= kMaxFieldLength)
        return {};
    return utf8;
}

void putStage(QByteArray &out, const StageConfig &s)
{
    putInt(out, s.Type);
    putQuoted(out, storableFileName(s.CoefFileName));
    for (float c : s.Coef)
        putSingle(out, c);
    putInt(out, s.Bandwidth);
    putInt(out, s.Agc);
    putInt(out, s.FilterSize);
    putInt(out, s.AdaptRate);
    putInt(out, s.PredictionSpan);
    putInt(out, s.ModeOption);
    putInt(out, s.OutputOption);
    putInt(out, s.Freq1);
    putInt(out, s.Freq2);
    putInt(out, s.Slope);
    putInt(out, s.AttenDb);
    for (int16_t band : s.EqBand)
        putInt(out, band);
    for (float g : s.SpectralGain)
        putSingle(out, g);
    putLine(out, s.NoiseFilter != kFalse ? "#TRUE#" : "#FALSE#");
}

// ---------------------------------------------------------------------------- reading

// Splits a settings file into fields: line ends and commas separate fields, spaces and tabs
// around an unquoted value are ignored, a quoted field runs to the next double quote (what
// follows it up to the separator is ignored). Reads the device in blocks.
class FieldReader : public BufferedByteReader {
public:
    explicit FieldReader(QIODevice &device) : BufferedByteReader(device, 65536) { }

    // The next field's text, or nullptr at the end of the file, on a read error, on an
    // unterminated quoted field or a field beyond kMaxFieldLength. The text stays valid until
    // the next call: one buffer serves every field, as a settings file has some 13000.
    const QByteArray *next()
    {
        while (peek() == ' ' || peek() == '\t')
            take();
        if (peek() < 0)
            return nullptr;
        QByteArray &field = field_;
        field.truncate(0); // keeps the buffer's capacity
        // Both kinds of field are copied in runs of buffered bytes rather than byte by byte.
        if (peek() == '"') {
            take();
            for (;;) {
                const std::string_view rest = buffered();
                size_t n = 0;
                while (n < rest.size() && rest[n] != '"')
                    ++n;
                // Another byte is always taken after these: the closing quote, more text, or
                // the end, so a quoted text is at most kMaxFieldLength - 1 bytes.
                if (rest.empty() || field.size() + static_cast<qsizetype>(n) >= kMaxFieldLength)
                    return nullptr;
                field.append(rest.data(), static_cast<qsizetype>(n));
                consume(n);
                if (n < rest.size()) {
                    consume(1);
                    break;
                }
            }
            for (qsizetype skipped = 0; !isSeparatorOrEnd(peek()); ++skipped) {
                if (skipped >= kMaxFieldLength)
                    return nullptr;
                take();
            }
        } else {
            for (;;) {
                const std::string_view rest = buffered();
                size_t n = 0;
                while (n < rest.size() && rest[n] != ',' && rest[n] != '\r' && rest[n] != '\n')
                    ++n;
                if (field.size() + static_cast<qsizetype>(n) > kMaxFieldLength)
                    return nullptr;
                field.append(rest.data(), static_cast<qsizetype>(n));
                consume(n);
                if (n < rest.size() || rest.empty())
                    break;
            }
            while (!field.isEmpty() && (field.back() == ' ' || field.back() == '\t'))
                field.chop(1);
        }
        if (failed())
            return nullptr;
        const int sep = take();
        if (sep == '\r' && peek() == '\n')
            take();
        return &field_;
    }

private:
    static bool isSeparatorOrEnd(int c) { return c < 0 || c == ',' || c == '\r' || c == '\n'; }

    QByteArray field_;
};

// Paths are stored as UTF-8; older files hold an 8-bit code page, read here as Latin-1.
QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

class StageParser {
public:
    explicit StageParser(FieldReader &reader) : reader_(reader) { }

    bool int16(int16_t &out) { return number(out, ParseInt16); }
    bool single(float &out) { return number(out, ParseSingle); }
    bool text(QString &out)
    {
        const auto f = reader_.next();
        if (!f)
            return false;
        out = decodeText(*f);
        return true;
    }
    bool boolean(int16_t &out)
    {
        const auto f = reader_.next();
        if (!f)
            return false;
        if (*f == "#TRUE#")
            out = kTrue;
        else if (*f == "#FALSE#")
            out = kFalse;
        else
            return false;
        return true;
    }

    bool stage(StageConfig &s)
    {
        if (!int16(s.Type) || !text(s.CoefFileName))
            return false;
        for (float &c : s.Coef)
            if (!single(c))
                return false;
        for (int16_t *field : {&s.Bandwidth, &s.Agc, &s.FilterSize, &s.AdaptRate, &s.PredictionSpan, &s.ModeOption,
                               &s.OutputOption, &s.Freq1, &s.Freq2, &s.Slope, &s.AttenDb})
            if (!int16(*field))
                return false;
        for (int16_t &band : s.EqBand)
            if (!int16(band))
                return false;
        for (float &g : s.SpectralGain)
            if (!single(g))
                return false;
        return boolean(s.NoiseFilter);
    }

private:
    // The next field as a number; out is left as it was when the field is missing or not one.
    template <typename T> bool number(T &out, std::optional<T> (*parse)(std::string_view))
    {
        const auto f = reader_.next();
        if (!f)
            return false;
        const std::optional<T> v = parse(std::string_view(f->constData(), static_cast<size_t>(f->size())));
        if (!v)
            return false;
        out = *v;
        return true;
    }

    FieldReader &reader_;
};

struct ParsedFile {
    int setCount = 0;
    int16_t port = 0;
    std::array<FilterSet, kFilterSetCount> sets{};
};

std::optional<ParsedFile> parseSettingsFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    FieldReader reader(file);
    StageParser parser(reader);
    ParsedFile parsed;

    const auto header = reader.next();
    if (!header)
        return std::nullopt;
    if (*header == kSettingsHeader)
        parsed.setCount = kFilterSetCount;
    else if (*header == kOldSettingsHeader)
        parsed.setCount = kOldFormatSetCount;
    else
        return std::nullopt;

    if (!parser.int16(parsed.port))
        return std::nullopt;
    parsed.port = std::clamp<int16_t>(parsed.port, 1, 9);

    for (int set = 0; set < parsed.setCount; ++set)
        if (!parser.stage(parsed.sets[set].Stage1) || !parser.stage(parsed.sets[set].Stage2))
            return std::nullopt;
    return parsed;
}

} // namespace

QByteArray SettingsFileContent(const Model &model)
{
    QByteArray out;
    out.reserve(96 * 1024);
    putQuoted(out, QByteArray(kSettingsHeader));
    putInt(out, model.ComPort);
    for (const FilterSet &set : model.FilterData) {
        putStage(out, set.Stage1);
        putStage(out, set.Stage2);
    }
    return out;
}

bool WriteSettingsFile(const Model &model, const QString &path, UserDialog &dialog, SettingsWriteOptions options)
{
    const QByteArray content = SettingsFileContent(model);
    QString why;
    const bool ok = ReplaceFile(
        path, [&](QIODevice &file) { return file.write(content) == content.size(); }, &why);
    if (!ok && !options.silent) {
        dialog.beep();
        // The fixed text first, then the system's reason.
        dialog.inform(QStringLiteral("Unable to Store File."),
                      QStringLiteral("Error writing file ") + path + kCR
                          + QStringLiteral(".  Disk may be full or write protected") + kCR + why,
                      MessageIcon::Exclamation);
    }
    return ok;
}

bool ReadSettingsFile(Model &model, const QString &path, UserDialog &dialog, SettingsFileInfo *info)
{
    return ReadSettingsFile(model, path, dialog, SettingsReadOptions{}, info);
}

bool ReadSettingsFile(Model &model, const QString &path, UserDialog &dialog, SettingsReadOptions options,
                      SettingsFileInfo *info)
{
    const std::optional<ParsedFile> parsed = parseSettingsFile(path);
    if (!parsed) {
        if (options.startup) {
            // A missing default.min on the first start is normal: start from a clean model.
            model.ResetAllFilterSets();
            model.ComPort = 1;
        } else {
            dialog.beep();
            dialog.inform(QStringLiteral("Unable to read file"),
                          QStringLiteral("Error reading file ") + path + kCR
                              + QStringLiteral(".  Invalid settings file."),
                          MessageIcon::Exclamation, MessageButtons::OkCancel);
        }
        return false;
    }

    model.ResetAllFilterSets();
    for (int set = 0; set < parsed->setCount; ++set)
        model.FilterData[set] = parsed->sets[set];
    for (int set = 0; set < kFilterSetCount; ++set) {
        model.ValidateStage(set, 1);
        model.ValidateStage(set, 2);
    }
    // Opening a file never changes the port in use; only the start-up load takes it.
    if (options.startup)
        model.ComPort = parsed->port;
    if (info) {
        info->setCount = parsed->setCount;
        info->filePort = parsed->port;
    }
    return true;
}

QByteArray StageBlocksText(const QByteArray &header, const std::vector<StageConfig> &stages)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(stages.size()) * 4096 + 64);
    putQuoted(out, header);
    for (const StageConfig &s : stages)
        putStage(out, s);
    return out;
}

std::optional<std::vector<StageConfig>> ParseStageBlocks(const QByteArray &text, const QByteArray &header, int count)
{
    QBuffer buffer;
    buffer.setData(text);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    FieldReader reader(buffer);
    const QByteArray *first = reader.next();
    if (!first || *first != header)
        return std::nullopt;
    StageParser parser(reader);
    std::vector<StageConfig> stages(static_cast<size_t>(std::max(0, count)));
    for (StageConfig &s : stages)
        if (!parser.stage(s))
            return std::nullopt;
    return stages;
}

} // namespace korvane
