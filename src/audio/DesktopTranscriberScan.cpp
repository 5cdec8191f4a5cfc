// Channel scan: listen to every channel for a while, judge each one, mute those without speech.
#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// Verdict thresholds, in dB of a buffer's mean square.
constexpr double kSilentBelowDb = -60.0;
constexpr double kTimecodeAboveDb = -35.0;
constexpr double kTimecodeSpreadBelow = 1.5;
constexpr double kTimecodeZcrAbove = 0.03;
constexpr double kSpeechSpreadAbove = 5.0;
constexpr double kSpeechAboveDb = -50.0;
constexpr float kCopyCorrelationAbove = 0.95f;
constexpr qsizetype kMinCopyValues = 5;

double mean(const QList<float>& series, double empty)
{
    if (series.isEmpty()) {
        return empty;
    }
    double sum = 0.0;
    for (const float v : series) {
        sum += double(v);
    }
    return sum / double(series.size());
}

// Population standard deviation; 0 for an empty series.
double spread(const QList<float>& series)
{
    if (series.isEmpty()) {
        return 0.0;
    }
    const double m = mean(series, 0.0);
    double squares = 0.0;
    for (const float v : series) {
        const double d = double(v) - m;
        squares += d * d;
    }
    return std::sqrt(squares / double(series.size()));
}

bool keepsOwnVoice(const ScanKind& verdict)
{
    return verdict.kind == ScanKind::Kind::Speech || verdict.kind == ScanKind::Kind::Quiet;
}

} // namespace

void DesktopTranscriber::scanChannels()
{
    if (m_channels.isEmpty() || m_scanning) {
        return;
    }
    ++m_scanGeneration;
    m_scanning = true;
    Q_EMIT scanningChanged();
    m_scanProgress = 0.0;
    Q_EMIT scanProgressChanged();
    if (!m_scanResults.isEmpty()) {
        m_scanResults.clear();
        Q_EMIT scanResultsChanged();
    }
    if (m_isDemo) {
        demoScan();
        return;
    }
    m_path->setScanActive(true);

    if (m_capture) {
        // Logging already captures the device: the scan only listens along.
        scheduleScanSteps();
        return;
    }
    // Idle: the scan opens the input itself and closes it at its end, unless a start takes the
    // capture over in between.
    if (!openCapture()) {
        m_path->setScanActive(false);
        m_scanning = false;
        Q_EMIT scanningChanged();
        setStatus(QStringLiteral("Couldn't open the input to scan it."));
        return;
    }
    m_scanOwnsCapture = true;
    scheduleScanSteps();
}

void DesktopTranscriber::scheduleScanSteps()
{
    const int duration = std::max(m_env.scanDurationMs, 0);
    const quint64 generation = m_scanGeneration;
    for (int step = 1; step <= kScanSteps; ++step) {
        const int at = int(qint64(step) * duration / kScanSteps);
        // Bound to the engine: steps still pending when it goes away are dropped, and so are
        // those of a scan that was called off.
        m_clock.singleShot(std::chrono::milliseconds(at), this, [this, step, generation] {
            if (generation == m_scanGeneration) {
                scanStep(step, kScanSteps);
            }
        });
    }
}

void DesktopTranscriber::cancelScan()
{
    if (!m_scanning) {
        return;
    }
    ++m_scanGeneration;
    m_path->setScanActive(false);
    if (m_scanOwnsCapture) {
        closeCapture();
        setLevels(QList<float>(m_levels.size(), 0.0f));
    }
    m_scanning = false;
    Q_EMIT scanningChanged();
    if (m_scanFocus) {
        m_scanFocus.reset();
        Q_EMIT scanFocusChanged();
    }
}

void DesktopTranscriber::abandonScan(const QString& why)
{
    if (!m_scanning) {
        return;
    }
    cancelScan();
    setNotice(QStringLiteral("Couldn't finish the scan: ") + why + QStringLiteral(" Nothing was muted."));
}

void DesktopTranscriber::scanStep(int step, int total)
{
    if (total <= 0) {
        return;
    }
    m_scanProgress = double(step) / double(total);
    Q_EMIT scanProgressChanged();
    if (!m_channels.isEmpty()) {
        const qint64 count = m_channels.size();
        const qint64 position = (qint64(step) * count / total) % count;
        const std::optional<int> focus = m_channels.at(position).index;
        if (m_scanFocus != focus) {
            m_scanFocus = focus;
            Q_EMIT scanFocusChanged();
        }
    }
    if (step == total) {
        finishScan();
    }
}

void DesktopTranscriber::finishScan()
{
    m_path->setScanActive(false);
    const ScanStatistics statistics = m_path->takeScanStatistics();
    if (m_scanOwnsCapture) {
        // Also stops monitoring and clears the ownership.
        closeCapture();
        setLevels(QList<float>(m_levels.size(), 0.0f));
    }
    QList<int> indices;
    indices.reserve(m_channels.size());
    for (const ChannelConfig& config : std::as_const(m_channels)) {
        indices.append(config.index);
    }
    m_scanResults = classifyScan(statistics.db, statistics.zcr, indices);
    Q_EMIT scanResultsChanged();
    applyScanResults();
}

QMap<int, ScanKind> DesktopTranscriber::classifyScan(const QList<QList<float>>& db, const QList<QList<float>>& zcr,
                                                     const QList<int>& indices)
{
    QMap<int, ScanKind> verdicts;
    for (const int index : indices) {
        if (index < 0 || index >= db.size()) {
            continue;
        }
        const QList<float>& series = db.at(index);
        const double meanDb = mean(series, -120.0);
        const double deviation = spread(series);
        const bool hasZcr = index < zcr.size() && !zcr.at(index).isEmpty();
        const double meanZcr = hasZcr ? mean(zcr.at(index), 0.0) : 0.0;
        if (meanDb < kSilentBelowDb) {
            verdicts.insert(index, ScanKind::silent());
        } else if (hasZcr && meanDb > kTimecodeAboveDb && deviation < kTimecodeSpreadBelow &&
                   meanZcr > kTimecodeZcrAbove) {
            // Loud, steady and buzzing.
            verdicts.insert(index, ScanKind::timecode());
        } else if (deviation > kSpeechSpreadAbove && meanDb > kSpeechAboveDb) {
            verdicts.insert(index, ScanKind::speech());
        } else {
            verdicts.insert(index, ScanKind::quiet());
        }
    }

    // A channel that follows an earlier one is the same microphone on two inputs. Verdicts
    // changed in this pass count: a copy is never the source of another copy.
    for (const int c : indices) {
        const auto verdict = verdicts.constFind(c);
        if (verdict == verdicts.cend() || !keepsOwnVoice(*verdict)) {
            continue;
        }
        for (const int o : indices) {
            if (o >= c) {
                continue;
            }
            const auto other = verdicts.constFind(o);
            if (other == verdicts.cend() || !keepsOwnVoice(*other)) {
                continue;
            }
            if (scanCorrelation(db.at(c), db.at(o)) > kCopyCorrelationAbove) {
                verdicts.insert(c, ScanKind::copy(o));
                break;
            }
        }
    }
    return verdicts;
}

float DesktopTranscriber::scanCorrelation(const QList<float>& a, const QList<float>& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    if (n < kMinCopyValues) {
        return 0.0f;
    }
    double meanA = 0.0;
    double meanB = 0.0;
    for (qsizetype i = 0; i < n; ++i) {
        meanA += double(a.at(i));
        meanB += double(b.at(i));
    }
    meanA /= double(n);
    meanB /= double(n);
    double cross = 0.0;
    double squaresA = 0.0;
    double squaresB = 0.0;
    for (qsizetype i = 0; i < n; ++i) {
        const double dx = double(a.at(i)) - meanA;
        const double dy = double(b.at(i)) - meanB;
        cross += dx * dy;
        squaresA += dx * dx;
        squaresB += dy * dy;
    }
    if (!(squaresA > 0.0) || !(squaresB > 0.0)) {
        return 0.0f;
    }
    const double r = cross / std::sqrt(squaresA * squaresB);
    return std::isfinite(r) ? float(std::clamp(r, -1.0, 1.0)) : 0.0f;
}

void DesktopTranscriber::applyScanResults()
{
    QStringList muted;
    const QList<ChannelConfig> configs = m_channels;
    for (const ChannelConfig& config : configs) {
        const auto verdict = m_scanResults.constFind(config.index);
        if (verdict == m_scanResults.cend() || keepsOwnVoice(*verdict) || !config.on) {
            continue;
        }
        // While logging this also closes the channel's stream.
        setOn(config.index, false);
        muted.append(QStringLiteral("%1 (%2)").arg(config.name, verdict->description().toLower()));
    }
    m_freshConfig = false;
    m_scanning = false;
    Q_EMIT scanningChanged();
    if (m_scanFocus) {
        m_scanFocus.reset();
        Q_EMIT scanFocusChanged();
    }

    const auto speech = std::count_if(m_scanResults.cbegin(), m_scanResults.cend(),
                                      [](const ScanKind& v) { return v.kind == ScanKind::Kind::Speech; });
    const qsizetype total = m_channels.size();
    const QString scanned = QStringLiteral("Scanned %1 channels: %2 with speech")
                                .arg(QString::number(total), QString::number(qsizetype(speech)));
    if (muted.isEmpty()) {
        setNotice(scanned + QStringLiteral(", nothing to switch off."));
    } else {
        setNotice(scanned + QStringLiteral(". Muted ") + muted.join(QStringLiteral(", ")) +
                  QStringLiteral(". Unmute any it got wrong."));
    }
}
