#include "responsedescription.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

constexpr double kEdgeDb = 3.0;  // a passband lies within this of the curve's highest level
constexpr size_t kMostBands = 4; // passbands named one by one; more are counted
constexpr size_t kMostDips = 4;  // notches and stop bands named one by one, the deepest first

// 2987.4 -> "2990"; 47.6 -> "48".
QString hzText(double hz)
{
    const long step = hz < 100 ? 1 : 10;
    return QString::number(std::lround(hz / double(step)) * step);
}

QString dbText(double db) { return QString::number(std::lround(db)); }

// An absolute level: "30 dB down", "0 dB", "6 dB".
QString levelText(double db)
{
    return db <= -0.5 ? QStringLiteral("%1 dB down").arg(dbText(-db)) : QStringLiteral("%1 dB").arg(dbText(db));
}

QString joined(const QStringList &items)
{
    if (items.size() < 2)
        return items.join(QString());
    return items.mid(0, items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + items.last();
}

// The level a stop band reaches: its lowest tenth, so that neither the slope down to it nor
// a few narrow nulls in it decide.
double stopLevel(std::vector<double> values)
{
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 10);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

// A run of points within kEdgeDb of the highest level, points first..last, with its -3 dB
// edges in Hz (0 and fs/2 where it reaches the axis' ends).
struct Passband {
    size_t first, last;
    double lowHz, highHz;
};

// A dip between two passbands.
struct Dip {
    double lowHz, highHz; // the passbands' -3 dB edges either side
    double deepestDb, stopDb;
};

class CurveReader {
public:
    CurveReader(const std::vector<double> &hz, const std::vector<double> &db, double maxHz)
        : hz_(hz), db_(db), n_(std::min(hz.size(), db.size())), maxHz_(maxHz)
    {
        peak_ = *std::max_element(db.begin(), db.begin() + static_cast<std::ptrdiff_t>(n_));
        const double edge = peak_ - kEdgeDb;
        for (size_t j = 0; j < n_;) {
            if (db_[j] < edge) {
                ++j;
                continue;
            }
            size_t k = j;
            while (k + 1 < n_ && db_[k + 1] >= edge)
                ++k;
            bands_.push_back(
                {j, k, j == 0 ? 0.0 : crossing(j - 1, j, edge), k + 1 == n_ ? maxHz_ : crossing(k, k + 1, edge)});
            j = k + 1;
        }
    }

    [[nodiscard]] QString text() const
    {
        if (bands_.size() == 1 && bands_[0].first == 0 && bands_[0].last + 1 == n_)
            return QStringLiteral("passes all frequencies at ") + levelText(peak_);
        QStringList parts{passText()};
        for (const QString &dip : dipTexts())
            parts << dip;
        if (bands_.front().first > 0)
            parts << QStringLiteral("below %1 Hz falls to %2")
                         .arg(hzText(bands_.front().lowHz), levelText(stopLevelOf(0, bands_.front().first)));
        if (bands_.back().last + 1 < n_)
            parts << QStringLiteral("above %1 Hz falls to %2")
                         .arg(hzText(bands_.back().highHz), levelText(stopLevelOf(bands_.back().last + 1, n_)));
        return parts.join(QStringLiteral("; "));
    }

private:
    // Where the curve crosses level between points a and a + 1 = b, linearly between them.
    [[nodiscard]] double crossing(size_t a, size_t b, double level) const
    {
        return hz_[a] + (level - db_[a]) / (db_[b] - db_[a]) * (hz_[b] - hz_[a]);
    }

    [[nodiscard]] double stopLevelOf(size_t from, size_t to) const
    {
        return stopLevel(std::vector<double>(db_.begin() + static_cast<std::ptrdiff_t>(from),
                                             db_.begin() + static_cast<std::ptrdiff_t>(to)));
    }

    [[nodiscard]] QString passText() const
    {
        QString where;
        int edges = 0;
        if (bands_.size() > kMostBands) {
            where = QStringLiteral("%1 bands from %2 to %3 Hz")
                        .arg(bands_.size())
                        .arg(hzText(bands_.front().lowHz), hzText(bands_.back().highHz));
            edges = 2;
        } else {
            QStringList items;
            for (const Passband &b : bands_) {
                const bool fromZero = b.first == 0, toTop = b.last + 1 == n_;
                edges += (fromZero ? 0 : 1) + (toTop ? 0 : 1);
                items << (fromZero    ? QStringLiteral("up to %1 Hz").arg(hzText(b.highHz))
                              : toTop ? QStringLiteral("from %1 Hz up").arg(hzText(b.lowHz))
                                      : QStringLiteral("%1 to %2 Hz").arg(hzText(b.lowHz), hzText(b.highHz)));
            }
            where = joined(items);
        }
        const QString level = std::abs(peak_) >= 0.5 ? QStringLiteral(" at %1 dB").arg(dbText(peak_)) : QString();
        return QStringLiteral("passes ") + where + level
            + (edges == 1 ? QStringLiteral(" (-3 dB edge)") : QStringLiteral(" (-3 dB edges)"));
    }

    // The deepest kMostDips dips in order of frequency, then how many more there are.
    [[nodiscard]] QStringList dipTexts() const
    {
        std::vector<Dip> dips;
        for (size_t i = 0; i + 1 < bands_.size(); ++i) {
            const size_t from = bands_[i].last + 1, to = bands_[i + 1].first;
            const auto deepest = std::min_element(db_.begin() + static_cast<std::ptrdiff_t>(from),
                                                  db_.begin() + static_cast<std::ptrdiff_t>(to));
            dips.push_back({bands_[i].highHz, bands_[i + 1].lowHz, *deepest, stopLevelOf(from, to)});
        }
        const size_t more = dips.size() > kMostDips ? dips.size() - kMostDips : 0;
        std::stable_sort(dips.begin(), dips.end(),
                         [](const Dip &a, const Dip &b) { return a.deepestDb < b.deepestDb; });
        dips.resize(dips.size() - more);
        std::sort(dips.begin(), dips.end(), [](const Dip &a, const Dip &b) { return a.lowHz < b.lowHz; });
        QStringList texts;
        for (const Dip &d : dips) {
            // Narrower than an octave: a person hears one frequency taken out, the one midway
            // between the edges (the points alone are too coarse to place it).
            if (d.highHz < 2 * d.lowHz)
                texts << QStringLiteral("notch at %1 Hz, %2 dB deep")
                             .arg(hzText((d.lowHz + d.highHz) / 2), dbText(peak_ - d.deepestDb));
            else
                texts << QStringLiteral("stops %1 to %2 Hz, %3")
                             .arg(hzText(d.lowHz), hzText(d.highHz), levelText(d.stopDb));
        }
        if (more > 0)
            texts << QStringLiteral("%1 more dips").arg(more);
        return texts;
    }

    const std::vector<double> &hz_, &db_;
    size_t n_;
    double maxHz_;
    double peak_ = 0;
    std::vector<Passband> bands_;
};

bool endsSentence(const QString &s)
{
    return s.endsWith(QLatin1Char('.')) || s.endsWith(QLatin1Char('!')) || s.endsWith(QLatin1Char('?'));
}

} // namespace

QString ResponseDescription::curveText(const std::vector<double> &hz, const std::vector<double> &db, double maxHz)
{
    if (std::min(hz.size(), db.size()) < 2)
        return {};
    return CurveReader(hz, db, maxHz).text();
}

ResponseDescription::ResponseDescription(const ResponseChart &chart, const QStringList &stageLines)
{
    name_ = QStringLiteral("Response of ") + chart.title;
    QStringList sentences{chart.title};
    sentences << stageLines;
    if (!chart.curves.empty()) {
        const ChartCurve &c = chart.curves.back();
        const QString what = curveText(chart.frequency, c.high.empty() ? c.db : c.high, chart.maxHz);
        if (!what.isEmpty())
            sentences << c.label + QStringLiteral(": ") + what;
    }
    for (const QString &note : chart.notes)
        sentences << QString(note).replace(QLatin1Char('\r'), QLatin1Char(' ')).simplified();
    for (QString &s : sentences)
        if (!endsSentence(s))
            s += QLatin1Char('.');
    text_ = sentences.join(QLatin1Char(' '));
}

} // namespace korvane
