#include "response.h"

#include "coefimage.h"
#include "combmodel.h"
#include "fixedpoint.h"
#include "imageinspect.h"
#include "spectral.h"

#include "config/userdialog.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <span>

namespace korvane {

namespace {

constexpr double kFloorMagnitude = 1e-8; // kResponseFloorDb

double toDb(double magnitude) { return 20.0 * std::log10(std::max(magnitude, kFloorMagnitude)); }

// Collects what the image builder would show instead of showing it: a live response must
// never open a message box.
class SilentDialog : public UserDialog {
public:
    MessageAnswer showMessage(const QString &title, const QString &text, MessageIcon, MessageButtons buttons) override
    {
        QString line = title + QStringLiteral(": ") + text;
        line.replace(kCR, QStringLiteral(" "));
        line = line.simplified();
        if (!messages.contains(line))
            messages << line;
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
    }
    void beep() override { }
    std::optional<QString> askFileName(const FileDialogRequest &) override { return std::nullopt; }
    [[noreturn]] void endProgram() override { std::abort(); } // the builder never ends the program

    QStringList messages;
};

// Lowest and highest cosine over the phases from .. to (radians, from <= to).
std::pair<double, double> cosineRange(double from, double to)
{
    constexpr double pi = std::numbers::pi;
    double lo = std::min(std::cos(from), std::cos(to));
    double hi = std::max(std::cos(from), std::cos(to));
    if (std::floor(to / (2 * pi)) > std::floor(from / (2 * pi)) || std::fmod(from, 2 * pi) == 0.0)
        hi = 1.0; // a multiple of 2 pi inside
    if (std::floor((to - pi) / (2 * pi)) > std::floor((from - pi) / (2 * pi)))
        lo = -1.0; // an odd multiple of pi inside
    return {lo, hi};
}

int roundedPoints(int points)
{
    int grid = 1024;
    while (grid < 2 * (points - 1) && grid < (1 << 15))
        grid *= 2;
    return grid / 2 + 1;
}

} // namespace

double TapsMagnitudeDb(const std::array<double, kCoefCount> &taps, double hz, double fs)
{
    const double w = 2.0 * std::numbers::pi * hz / fs;
    double re = 0, im = 0;
    for (int k = 0; k < kCoefCount; ++k) {
        re += taps[k] * std::cos(w * k);
        im -= taps[k] * std::sin(w * k);
    }
    return toDb(std::hypot(re, im));
}

double CombMagnitudeDb(int delay, int16_t feedback, double hz, double fs)
{
    return toDb(CombModel::FromWords(delay, feedback).magnitude(hz, fs));
}

QString StageResponse::note() const
{
    switch (kind) {
    case Kind::Adaptive:
        return QStringLiteral("no fixed response");
    case Kind::Unavailable:
        return QStringLiteral("not available");
    default:
        return {};
    }
}

double StageResponse::combSpacingHz(int sampleRate) const { return static_cast<double>(sampleRate) / (combDelay + 1); }

double StageResponse::combDepthDb() const { return CombModel::FromWords(combDelay, combFeedback).depthDb(); }

ResponseEngine::ResponseEngine(int points) : points_(roundedPoints(points)), grid_(2 * (points_ - 1))
{
    cos_.resize(grid_);
    sin_.resize(grid_);
    for (int i = 0; i < grid_; ++i) {
        const double w = 2.0 * std::numbers::pi * i / grid_;
        cos_[i] = std::cos(w);
        sin_[i] = std::sin(w);
    }
}

SetResponse ResponseEngine::setResponse(const Model &model, int set)
{
    if (set < 0 || set >= kFilterSetCount)
        return {};
    scratch_.FilterData[set] = model.FilterData[set];
    return compute(scratch_, set);
}

SetResponse ResponseEngine::stageResponse(const Model &model, int set, int stage, const StageConfig &edited)
{
    if (set < 0 || set >= kFilterSetCount || stage < 1 || stage > 2)
        return {};
    scratch_.FilterData[set] = model.FilterData[set];
    scratch_.FilterData[set][stage] = edited;
    return compute(scratch_, set);
}

// The DFT of the decoded taps on the grid, by the twiddle table: e^(-i 2 pi j k / grid) is
// table entry (j k) mod grid. Zero taps (most designs leave the ends empty) are skipped.
void ResponseEngine::fillStage(StageResponse &r)
{
    using Kind = StageResponse::Kind;
    r.db.clear();
    if (r.kind == Kind::Adaptive || r.kind == Kind::Unavailable)
        return;
    r.db.assign(points_, 0.0);
    r.dbLow.clear();
    r.dbHigh.clear();
    if (r.kind == Kind::Comb) {
        r.dbLow.assign(points_, 0.0);
        r.dbHigh.assign(points_, 0.0);
    }
    if (r.kind == Kind::PassThru)
        return;

    int index[kCoefCount];
    double value[kCoefCount];
    int used = 0;
    for (int k = 0; k < kCoefCount; ++k) {
        if (r.taps[k] != 0.0) {
            index[used] = k;
            value[used++] = r.taps[k];
        }
    }
    const int mask = grid_ - 1;
    const CombModel comb = CombModel::FromWords(r.combDelay, r.combFeedback);
    const int loop = comb.loop;
    for (int j = 0; j < points_; ++j) {
        double re = 0, im = 0;
        for (int t = 0; t < used; ++t) {
            const int i = (j * index[t]) & mask;
            re += value[t] * cos_[i];
            im -= value[t] * sin_[i];
        }
        double magnitude = std::sqrt(re * re + im * im);
        if (r.kind == Kind::Comb) {
            const double c = cos_[(static_cast<int64_t>(j) * loop) & mask];
            const double fir = toDb(magnitude);
            magnitude *= comb.gainAtLoopCosine(c);
            // The loop phase w (D + 1) over the cell j - 1/2 .. j + 1/2 when the grid resolves
            // the comb (eight points or more per repetition), else over a whole repetition.
            const double step = 2.0 * std::numbers::pi * loop / grid_;
            const double half = step <= std::numbers::pi / 4 ? step / 2 : std::numbers::pi;
            const double from = std::max(0.0, j * step - half);
            const double to = std::min((points_ - 1) * step, j * step + half);
            const auto [cLow, cHigh] = cosineRange(from, to);
            // The gain rises with c when a > 0 and falls when a < 0.
            const double g1 = comb.gainAtLoopCosine(cLow), g2 = comb.gainAtLoopCosine(cHigh);
            r.dbLow[j] = fir + toDb(std::min(g1, g2));
            r.dbHigh[j] = fir + toDb(std::max(g1, g2));
        }
        r.db[j] = toDb(magnitude);
    }
}

namespace {

StageResponse::Kind responseKind(DecodedStageHeader::Kind header)
{
    using Kind = StageResponse::Kind;
    switch (header) {
    case DecodedStageHeader::Kind::Adaptive:
        return Kind::Adaptive;
    case DecodedStageHeader::Kind::PassThru:
        return Kind::PassThru;
    case DecodedStageHeader::Kind::Comb:
        return Kind::Comb;
    case DecodedStageHeader::Kind::Fir:
        return Kind::Fir;
    case DecodedStageHeader::Kind::Unknown:
        break;
    }
    return Kind::Unavailable;
}

// The kind, taps (full scale 1.0) and comb words of a stage as the block carries them.
void readStage(StageResponse &r, const std::array<uint8_t, kFilterSetBlockSize> &block, const DecodedBlock &decoded,
               int stageIndex)
{
    using Kind = StageResponse::Kind;
    r.kind = responseKind(decoded.headers[stageIndex].kind);
    if (r.kind == Kind::Fir || r.kind == Kind::Comb) {
        const uint8_t *p = block.data() + kStageTapsOffset[stageIndex];
        for (int k = 0; k < kCoefCount; ++k)
            r.taps[k] = DecodeTap24(p + 3 * k) / 8388607.0;
    }
    if (r.kind == Kind::Comb) {
        r.combDelay = decoded.combDelay[stageIndex];
        r.combFeedback = decoded.combFeedback[stageIndex];
    }
}

// The two stages in series: the sum in dB of the stages with a fixed response, and the band
// of a comb carried through (the other stage, if fixed, at the point). Left empty when a
// stage is unavailable.
void fillCascade(SetResponse &out, int points)
{
    using Kind = StageResponse::Kind;
    const StageResponse &s1 = out.stages[0];
    const StageResponse &s2 = out.stages[1];
    if (s1.kind == Kind::Unavailable || s2.kind == Kind::Unavailable)
        return;
    if (s1.hasFixedResponse() && s2.hasFixedResponse()) {
        out.cascade.resize(points);
        for (int j = 0; j < points; ++j)
            out.cascade[j] = s1.db[j] + s2.db[j];
    } else if (s1.hasFixedResponse()) {
        out.cascade = s1.db;
    } else if (s2.hasFixedResponse()) {
        out.cascade = s2.db;
    }
    const bool band1 = !s1.dbLow.empty(), band2 = !s2.dbLow.empty();
    if (out.cascade.empty() || (!band1 && !band2))
        return;
    out.cascadeLow.resize(points);
    out.cascadeHigh.resize(points);
    for (int j = 0; j < points; ++j) {
        const double lo1 = band1 ? s1.dbLow[j] : (s1.db.empty() ? 0.0 : s1.db[j]);
        const double hi1 = band1 ? s1.dbHigh[j] : (s1.db.empty() ? 0.0 : s1.db[j]);
        const double lo2 = band2 ? s2.dbLow[j] : (s2.db.empty() ? 0.0 : s2.db[j]);
        const double hi2 = band2 ? s2.dbHigh[j] : (s2.db.empty() ? 0.0 : s2.db[j]);
        out.cascadeLow[j] = lo1 + lo2;
        out.cascadeHigh[j] = hi1 + hi2;
    }
}

// Called when the set's block cannot be built: finds the stage that cannot by building the
// block again in probe (a scratch model) with one stage at a time replaced by Pass Thru, so
// that the other stage can still be shown (block then holds that build). Returns which
// stages are available, by stageIndex; problems says why each other stage fails.
std::array<bool, 2> findBuildableStage(const Model &model, Model &probe, int set,
                                       std::array<uint8_t, kFilterSetBlockSize> &block, QStringList &problems)
{
    const FilterSet original = model.FilterData[set];
    std::array<bool, 2> available = {false, false};
    for (int failing = 2; failing >= 1; --failing) {
        probe.FilterData[set] = original;
        probe.FilterData[set][failing].Type = PassThru;
        SilentDialog quiet;
        if (BuildFilterSetBlock(probe, set, block, quiet)) {
            available[2 - failing] = true; // the other stage built
            break;
        }
    }
    probe.FilterData[set] = original;
    for (int s = 0; s < 2; ++s) {
        if (available[s])
            continue;
        const StageConfig &st = original[s + 1];
        QString why;
        if (st.Type == SpectralEq && !BindCalculateIfft(&why))
            problems << QStringLiteral("Stage %1: korvanes: %2").arg(s + 1).arg(why);
        else
            problems << QStringLiteral("Stage %1: the coefficients cannot be computed from these settings").arg(s + 1);
    }
    return available;
}

} // namespace

// Builds the set's block as the image carries it, decodes it and computes each stage's
// response from the decoded taps, then the cascade.
SetResponse ResponseEngine::compute(const Model &model, int set)
{
    SetResponse out;
    out.set = set;
    out.sampleRate = model.SampleRate(set);
    out.frequency.resize(points_);
    for (int j = 0; j < points_; ++j)
        out.frequency[j] = static_cast<double>(j) * out.sampleRate / grid_;

    std::array<uint8_t, kFilterSetBlockSize> block{};
    SilentDialog dialog;
    out.blockBuilt = BuildFilterSetBlock(model, set, block, dialog);
    std::array<bool, 2> available = {true, true};
    if (!out.blockBuilt)
        available = findBuildableStage(model, scratch_, set, block, out.problems);
    for (const QString &m : dialog.messages)
        out.problems << m;

    const DecodedImage decoded = DecodeFilterImage(
        QByteArray(reinterpret_cast<const char *>(block.data()), kFilterSetBlockSize));
    for (int s = 0; s < 2; ++s) {
        StageResponse &r = out.stages[s];
        if (!available[s]) {
            r.kind = StageResponse::Kind::Unavailable;
            continue;
        }
        readStage(r, block, decoded.blocks.front(), s);
        fillStage(r);
    }
    fillCascade(out, points_);
    return out;
}

} // namespace korvane
