#include "eq20.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <charconv>
#include <cmath>
#include <mutex>
#include <string_view>

namespace korvane {

namespace {

// Far larger than any real band file (20 x 256 numbers); a bigger file is not ours.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

class ItemReader {
public:
    explicit ItemReader(const QByteArray &data) : text_(data.constData(), static_cast<size_t>(data.size())) { }

    // A text item: to the next comma or line end, or a quoted string. Trailing blanks of an
    // unquoted item are dropped.
    std::optional<std::string_view> readText()
    {
        skipBlanksAndLineEnds();
        if (pos_ >= text_.size())
            return std::nullopt;
        std::string_view item;
        if (text_[pos_] == '"') {
            const size_t close = text_.find('"', pos_ + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            item = text_.substr(pos_ + 1, close - pos_ - 1);
            pos_ = close + 1;
            skipBlanks();
            skipSeparator();
        } else {
            const size_t start = pos_;
            while (pos_ < text_.size() && text_[pos_] != ',' && !isLineEnd(text_[pos_]))
                ++pos_;
            item = text_.substr(start, pos_ - start);
            while (!item.empty() && isBlank(item.back()))
                item.remove_suffix(1);
            skipSeparator();
        }
        return item;
    }

    // A decimal number, optionally signed, with optional fraction and exponent, read as a
    // single. Ends at a comma, a line end or a blank.
    std::optional<float> readNumber()
    {
        skipBlanksAndLineEnds();
        const size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ',' && !isLineEnd(text_[pos_]) && !isBlank(text_[pos_]))
            ++pos_;
        std::string_view item = text_.substr(start, pos_ - start);
        skipBlanks();
        skipSeparator();
        if (item.empty())
            return std::nullopt;
        if (item.front() == '+')
            item.remove_prefix(1);
        if (item.empty() || item.front() == '+')
            return std::nullopt;
        // from_chars also accepts "inf" and "nan"; a tap must be a plain decimal number.
        for (char c : item) {
            if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e'
                  || c == 'E'))
                return std::nullopt;
        }
        float value = 0.0f;
        const auto result = std::from_chars(item.data(), item.data() + item.size(), value, std::chars_format::general);
        if (result.ec != std::errc() || result.ptr != item.data() + item.size() || !std::isfinite(value))
            return std::nullopt;
        return value;
    }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t'; }
    static bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

    void skipBlanks()
    {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
    }
    void skipBlanksAndLineEnds()
    {
        while (pos_ < text_.size() && (isBlank(text_[pos_]) || isLineEnd(text_[pos_])))
            ++pos_;
    }
    // One comma or one line end (CR LF counts as one) after an item.
    void skipSeparator()
    {
        if (pos_ >= text_.size())
            return;
        if (text_[pos_] == ',') {
            ++pos_;
        } else if (text_[pos_] == '\r') {
            ++pos_;
            if (pos_ < text_.size() && text_[pos_] == '\n')
                ++pos_;
        } else if (text_[pos_] == '\n') {
            ++pos_;
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// The last band file parsed and its result. The file is still read at every stage, so an
// edited or removed file takes effect at once; only the parse of unchanged bytes (about
// 5000 numbers, most of the cost of an image full of 20-band stages) is skipped.
class ParsedBandFileCache {
public:
    std::optional<BandFilters> parse(const QByteArray &data)
    {
        const std::lock_guard lock(mutex_);
        if (bands_ && data == data_)
            return bands_;
        bands_ = Parse20BandData(data);
        data_ = bands_ ? data : QByteArray();
        return bands_;
    }

private:
    std::mutex mutex_;
    QByteArray data_;
    std::optional<BandFilters> bands_;
};

ParsedBandFileCache &parsedBandFileCache()
{
    static ParsedBandFileCache cache;
    return cache;
}

} // namespace

float BandGainFromDb(int16_t v) { return static_cast<float>(std::pow(10.0, v / -20.0)); }

QString Eq20FileErrorText()
{
    return QStringLiteral("Error reading 20-Band Equalizer coefficient file.") + kCR
        + QStringLiteral("  Filter replaced by empty filter.");
}

std::optional<BandFilters> Parse20BandData(const QByteArray &data)
{
    ItemReader reader(data);
    BandFilters bands{};
    for (auto &band : bands) {
        const auto label = reader.readText();
        if (!label || label->empty() || label->back() != ':')
            return std::nullopt;
        for (float &tap : band) {
            const auto value = reader.readNumber();
            if (!value)
                return std::nullopt;
            tap = *value;
        }
    }
    return bands;
}

int Read20BandCoefficients(const std::array<int16_t, kEqBandCount> &eqBand, Eq20Accumulator &acc, UserDialog &dialog,
                           const QString &path)
{
    acc.fill(0.0f);
    std::optional<BandFilters> bands;
    QFile file(path);
    QString why;
    // readAll() sizes its buffer from the file; read(kMaxFileSize) would allocate all 16 MB
    // for a 60 KB file at every stage.
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
    } else if (file.size() > kMaxFileSize) {
        why = QStringLiteral("the file is larger than 16 MB");
    } else {
        const QByteArray data = file.readAll();
        file.close();
        if (data.size() <= kMaxFileSize)
            bands = parsedBandFileCache().parse(data);
        if (!bands)
            why = QStringLiteral("not 20 bands of a label ending in ':' and 256 numbers");
    }
    if (!bands) {
        dialog.beep();
        dialog.inform(QStringLiteral("File Error"),
                      Eq20FileErrorText() + kCR + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())
                          + QStringLiteral(": ") + why,
                      MessageIcon::Exclamation);
        return -1;
    }
    for (int i = 0; i < kEqBandCount; ++i) {
        const float g = BandGainFromDb(eqBand[i]);
        for (int s = 0; s < kCoefCount; ++s) {
            const float gc = g * (*bands)[i][s];
            const float t = gc * 256.0f;
            acc[s] = t + acc[s];
        }
    }
    return 0;
}

} // namespace korvane
