#include "filterpath.h"

#include "coefgen/coefimage.h"
#include "coefgen/fixedpoint.h"
#include "coefgen/imageinspect.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

constexpr float kTapScale = 1.0f / 8388608.0f;   // 2^-23: the processor's Q23 fraction
constexpr size_t kTile = 2048;                   // outputs per pass over the taps (fits L1)
constexpr size_t kPiece = 1 << 16;               // samples between progress reports
constexpr double kAdaptStepUnit = 1.0 / 16384.0; // AdaptRate x 2^-14

// y[i] = sum over m of hr[m] * x[i + m] for the listed m, i = 0 .. n - 1. The loop over i is
// the inner one so that it runs on vectors without reordering a sum the compiler may not
// reorder; four taps are added per pass ((t0 + t1) + (t2 + t3), then onto y) so y goes
// through memory a quarter as often. Each output adds its terms in the same order whatever
// the tile, so pieces of any size give the same samples. Built for AVX2 as well as the
// baseline; the loader picks the one the processor has.
__attribute__((target_clones("avx2", "default"))) void firTile(const float *x, const float *hr, const int *nonZero,
                                                               size_t used, float *y, size_t n)
{
    std::fill(y, y + n, 0.0f);
    size_t t = 0;
    for (; t + 4 <= used; t += 4) {
        const float h0 = hr[nonZero[t]], h1 = hr[nonZero[t + 1]], h2 = hr[nonZero[t + 2]], h3 = hr[nonZero[t + 3]];
        const float *x0 = x + nonZero[t], *x1 = x + nonZero[t + 1], *x2 = x + nonZero[t + 2], *x3 = x + nonZero[t + 3];
        for (size_t i = 0; i < n; ++i)
            y[i] += (h0 * x0[i] + h1 * x1[i]) + (h2 * x2[i] + h3 * x3[i]);
    }
    for (; t < used; ++t) {
        const float h = hr[nonZero[t]];
        const float *xm = x + nonZero[t];
        for (size_t i = 0; i < n; ++i)
            y[i] += h * xm[i];
    }
}

bool validRate(int rate) { return rate == 9000 || rate == 12000 || rate == 17200; }

} // namespace

QString PathStage::describe(int sampleRate) const
{
    switch (kind) {
    case Kind::Fir:
        return QStringLiteral("FIR, 256 taps");
    case Kind::Comb:
        return QStringLiteral("Comb: 256-tap lowpass, then a loop of %1 samples (notches every %2 Hz), feedback %3")
            .arg(comb.loop)
            .arg(static_cast<double>(sampleRate) / comb.loop, 0, 'f', 1)
            .arg(comb.feedback, 0, 'f', 5);
    case Kind::PassThru:
        return QStringLiteral("Pass Thru");
    case Kind::Adaptive:
        return QStringLiteral(
                   "1CH Adaptive (approximation: %1 predictor of %2 taps, span %3, mu %4 x 2^-14, %5 output)")
            .arg(adaptive.autoMode ? QStringLiteral("normalised LMS") : QStringLiteral("LMS"))
            .arg(adaptive.filterSize)
            .arg(adaptive.predictionSpan)
            .arg(adaptive.adaptRate)
            .arg(adaptive.residueOutput ? QStringLiteral("residue") : QStringLiteral("predict"));
    }
    return {};
}

std::optional<FilterPath> FilterPath::FromBlock(std::span<const uint8_t> block, int sampleRate, QString *why)
{
    auto fail = [why](const QString &text) {
        if (why)
            *why = text;
        return std::nullopt;
    };
    if (!validRate(sampleRate))
        return fail(
            QStringLiteral("sample rate %1 Hz is not one of the processor's 9000, 12000 or 17200 Hz").arg(sampleRate));
    if (block.size() != static_cast<size_t>(kFilterSetBlockSize))
        return fail(
            QStringLiteral("a filter-set block is %1 bytes, not %2").arg(kFilterSetBlockSize).arg(block.size()));
    const DecodedImage decoded = DecodeFilterImage(
        QByteArray(reinterpret_cast<const char *>(block.data()), kFilterSetBlockSize));
    const DecodedBlock &b = decoded.blocks.front();
    if (!b.magicOk)
        return fail(QStringLiteral("the block does not start with its magic word"));
    if (!b.checksumOk)
        return fail(QStringLiteral("the block's checksum does not match its bytes"));

    FilterPath path;
    path.m_rate = sampleRate;
    path.m_agc = (b.agcByte >> 4) & 3;
    path.m_noise = b.noiseFlag != 0;
    for (int s = 0; s < 2; ++s) {
        const DecodedStageHeader &h = b.headers[s];
        PathStage &st = path.m_stages[s];
        switch (h.kind) {
        case DecodedStageHeader::Kind::PassThru:
            st.kind = PathStage::Kind::PassThru;
            break;
        case DecodedStageHeader::Kind::Adaptive:
            st.kind = PathStage::Kind::Adaptive;
            break;
        case DecodedStageHeader::Kind::Comb:
            st.kind = PathStage::Kind::Comb;
            break;
        case DecodedStageHeader::Kind::Fir:
            st.kind = PathStage::Kind::Fir;
            break;
        case DecodedStageHeader::Kind::Unknown:
            return fail(QStringLiteral("stage %1 has a header the processor does not know").arg(s + 1));
        }
        if (st.kind == PathStage::Kind::Fir || st.kind == PathStage::Kind::Comb) {
            const uint8_t *p = block.data() + kStageTapsOffset[s];
            for (int k = 0; k < kPathTapCount; ++k) {
                st.rawTaps[k] = DecodeTap24(p + 3 * k);
                st.taps[k] = static_cast<float>(st.rawTaps[k]) * kTapScale;
            }
        }
        if (st.kind == PathStage::Kind::Comb)
            st.comb = CombModel::FromWords(b.combDelay[s], b.combFeedback[s]);
        if (st.kind == PathStage::Kind::Adaptive) {
            st.adaptive.filterSize = h.filterSize;
            st.adaptive.predictionSpan = h.predictionSpan;
            st.adaptive.adaptRate = h.adaptRate;
            st.adaptive.residueOutput = h.residueOutput;
            st.adaptive.autoMode = h.autoMode;
        }
    }
    return path;
}

std::optional<FilterPath> FilterPathForSet(const Model &model, int set, UserDialog &dialog, QString *why)
{
    if (set < 0 || set >= kFilterSetCount) {
        if (why)
            *why = QStringLiteral("filter set %1 does not exist (0..15)").arg(set);
        return std::nullopt;
    }
    std::array<uint8_t, kFilterSetBlockSize> block{};
    if (!BuildFilterSetBlock(model, set, block, dialog)) {
        if (why)
            *why = QStringLiteral("filter set %1 cannot be built into the coefficient image").arg(set);
        return std::nullopt;
    }
    return FilterPath::FromBlock(block, model.SampleRate(set), why);
}

QStringList FilterPath::notes() const
{
    QStringList out;
    for (int s = 0; s < 2; ++s) {
        if (m_stages[s].kind == PathStage::Kind::Adaptive)
            out << QStringLiteral("Stage %1: 1CH Adaptive is an approximation (normalised-LMS predictor); the "
                                  "processor's own adaptation is not known")
                       .arg(s + 1);
    }
    if (m_agc != 0)
        out << QStringLiteral("AGC (%1 dB) is passed through: the processor's AGC is not modelled").arg(10 * m_agc);
    if (m_noise)
        out << QStringLiteral("Broadband Noise Filter is passed through: it is not modelled");
    return out;
}

bool FilterPath::process(std::span<float> samples, StageSelection which, const ProgressFn &progress) const
{
    std::vector<int> order;
    if (which != StageSelection::Stage2)
        order.push_back(0);
    if (which != StageSelection::Stage1)
        order.push_back(1);
    std::erase_if(order, [this](int s) { return m_stages[s].kind == PathStage::Kind::PassThru; });
    if (order.empty())
        return !progress || progress(1.0);

    const size_t total = samples.size() * order.size();
    size_t done = 0;
    for (int s : order) {
        StageRunner runner(m_stages[s]);
        for (size_t at = 0; at < samples.size(); at += kPiece) {
            const size_t n = std::min(kPiece, samples.size() - at);
            runner.run(samples.data() + at, samples.data() + at, n);
            done += n;
            if (progress && !progress(static_cast<double>(done) / static_cast<double>(total)))
                return false;
        }
    }
    return true;
}

StageRunner::StageRunner(const PathStage &stage) : m_stage(stage)
{
    if (stage.kind == PathStage::Kind::Fir || stage.kind == PathStage::Kind::Comb) {
        m_reversed.resize(kPathTapCount);
        for (int m = 0; m < kPathTapCount; ++m) {
            m_reversed[m] = stage.taps[kPathTapCount - 1 - m];
            if (m_reversed[m] != 0.0f)
                m_nonZero.push_back(m);
        }
        m_work.assign(kPathTapCount - 1, 0.0f);
    }
    if (stage.kind == PathStage::Kind::Comb)
        m_combLoop.assign(static_cast<size_t>(std::max(1, stage.comb.loop)), 0.0);
    if (stage.kind == PathStage::Kind::Adaptive) {
        m_weights.assign(static_cast<size_t>(stage.adaptive.filterSize), 0.0);
        m_adaptHistory.assign(static_cast<size_t>(stage.adaptive.filterSize + stage.adaptive.predictionSpan), 0.0);
    }
}

void StageRunner::run(const float *in, float *out, size_t n)
{
    switch (m_stage.kind) {
    case PathStage::Kind::PassThru:
        if (in != out)
            std::copy(in, in + n, out);
        break;
    case PathStage::Kind::Fir:
        runFir(in, out, n);
        break;
    case PathStage::Kind::Comb:
        runFir(in, out, n);
        runComb(out, n);
        break;
    case PathStage::Kind::Adaptive:
        runAdaptive(in, out, n);
        break;
    }
}

// m_work holds the last 255 inputs (oldest first) followed by this piece, so output i sees
// its 256 inputs at m_work[i .. i + 255].
void StageRunner::runFir(const float *in, float *out, size_t n)
{
    constexpr size_t keep = kPathTapCount - 1;
    m_work.resize(keep + n);
    std::copy(in, in + n, m_work.begin() + keep);
    for (size_t at = 0; at < n; at += kTile) {
        const size_t len = std::min(kTile, n - at);
        firTile(m_work.data() + at, m_reversed.data(), m_nonZero.data(), m_nonZero.size(), out + at, len);
    }
    std::copy(m_work.end() - keep, m_work.end(), m_work.begin());
    m_work.resize(keep);
}

// y[n] = (1 - |a|) x[n] + a y[n - (D + 1)], the ring holding the last D + 1 outputs.
void StageRunner::runComb(float *io, size_t n)
{
    const CombModel &c = m_stage.comb;
    const size_t loop = m_combLoop.size();
    for (size_t i = 0; i < n; ++i) {
        const double y = c.inputGain * io[i] + c.feedback * m_combLoop[m_combPos];
        m_combLoop[m_combPos] = y;
        m_combPos = m_combPos + 1 == loop ? 0 : m_combPos + 1;
        io[i] = static_cast<float>(y);
    }
}

void StageRunner::runAdaptive(const float *in, float *out, size_t n)
{
    const AdaptiveSettings &a = m_stage.adaptive;
    const size_t size = m_weights.size();
    const size_t span = static_cast<size_t>(a.predictionSpan);
    const double mu = a.adaptRate * kAdaptStepUnit;
    const double normalised = std::min(1.0, mu * static_cast<double>(size));
    const double eps = 1e-6 * static_cast<double>(size);
    // m_adaptHistory: past inputs, oldest first; its last element is x[n - 1]. It grows by the
    // piece and is cut back to what the predictor needs afterwards.
    const size_t need = size + span;
    for (size_t i = 0; i < n; ++i) {
        // u[k] = x[n - span - k] = m_adaptHistory[last - (span - 1) - k]
        const double *u = m_adaptHistory.data() + (m_adaptHistory.size() - span);
        double prediction = 0.0, power = 0.0;
        for (size_t k = 0; k < size; ++k) {
            const double v = *(u - k);
            prediction += m_weights[k] * v;
            power += v * v;
        }
        const double x = in[i];
        const double e = x - prediction;
        if (!std::isfinite(prediction)) {
            // A fixed step too large for a loud input diverges; start again from rest.
            std::fill(m_weights.begin(), m_weights.end(), 0.0);
            out[i] = a.residueOutput ? static_cast<float>(x) : 0.0f;
        } else {
            const double step = a.autoMode ? normalised / (eps + power) : mu;
            for (size_t k = 0; k < size; ++k)
                m_weights[k] += step * e * *(u - k);
            out[i] = static_cast<float>(a.residueOutput ? e : prediction);
        }
        m_adaptHistory.push_back(x);
    }
    if (m_adaptHistory.size() > need)
        m_adaptHistory.erase(m_adaptHistory.begin(), m_adaptHistory.end() - static_cast<std::ptrdiff_t>(need));
}

} // namespace korvane
