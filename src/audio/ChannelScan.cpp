#include "audio/ChannelScan.h"

#include "audio/ChannelSettings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

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

// A timer delay from a configured one: never negative, never past what a Qt timer takes.
std::chrono::milliseconds delay(qint64 ms)
{
    return std::chrono::milliseconds(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max()));
}

} // namespace

ChannelScan::ChannelScan(const ChannelSettings& settings, Clock& clock, QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(clock)
{
}

bool ChannelScan::begin()
{
    if (m_scanning) {
        return false;
    }
    ++m_generation;
    m_scanning = true;
    Q_EMIT scanningChanged();
    setProgress(0.0);
    if (!m_results.isEmpty()) {
        m_results.clear();
        Q_EMIT resultsChanged();
    }
    return true;
}

void ChannelScan::listen(int durationMs)
{
    const qint64 duration = std::max(durationMs, 0);
    const quint64 generation = m_generation;
    for (int step = 1; step <= kSteps; ++step) {
        // Bound to the scan: steps still pending when it goes away are dropped, and so are those
        // of a scan that was called off.
        m_clock.singleShot(delay(qint64(step) * duration / kSteps), this, [this, step, generation] {
            if (generation == m_generation) {
                advance(step);
            }
        });
    }
}

void ChannelScan::advance(int step)
{
    setProgress(double(step) / double(kSteps));
    const QList<ChannelConfig>& channels = m_settings.channels();
    if (!channels.isEmpty()) {
        setFocus(channels.at(sweepPosition(step, kSteps, channels.size())).index);
    }
    if (step == kSteps && onListened) {
        onListened();
    }
}

void ChannelScan::pretend(const QList<int>& indices, int stepMs, int settleMs, const QMap<int, ScanKind>& verdicts)
{
    const qsizetype n = indices.size();
    const quint64 generation = m_generation;
    const qint64 every = std::max(stepMs, 0);
    for (qsizetype i = 0; i < n; ++i) {
        const int index = indices.at(i);
        const double progress = double(i + 1) / double(n);
        m_clock.singleShot(delay(qint64(i) * every), this, [this, generation, index, progress] {
            if (generation != m_generation) {
                return;
            }
            setFocus(index);
            setProgress(progress);
        });
    }
    const qint64 settle = qint64(n) * every + std::max(settleMs, 0);
    m_clock.singleShot(delay(settle), this, [this, generation, verdicts] {
        if (generation != m_generation) {
            return;
        }
        setResults(verdicts);
        if (onJudged) {
            onJudged();
        }
    });
}

void ChannelScan::setResults(const QMap<int, ScanKind>& results)
{
    m_results = results;
    Q_EMIT resultsChanged();
}

void ChannelScan::end()
{
    m_scanning = false;
    Q_EMIT scanningChanged();
    setFocus(std::nullopt);
}

void ChannelScan::setFocus(std::optional<int> focus)
{
    if (m_focus == focus) {
        return;
    }
    m_focus = focus;
    Q_EMIT focusChanged();
}

void ChannelScan::setProgress(double progress)
{
    // Every step announces itself, a repeated value too.
    m_progress = progress;
    Q_EMIT progressChanged();
}

qsizetype ChannelScan::sweepPosition(int step, int total, qsizetype count)
{
    if (total <= 0 || count <= 0) {
        return 0;
    }
    return qsizetype((qint64(step) * qint64(count) / total) % qint64(count));
}

QMap<int, ScanKind> ChannelScan::classify(const QList<QList<float>>& db, const QList<QList<float>>& zcr,
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
            if (correlation(db.at(c), db.at(o)) > kCopyCorrelationAbove) {
                verdicts.insert(c, ScanKind::copy(o));
                break;
            }
        }
    }
    return verdicts;
}

float ChannelScan::correlation(const QList<float>& a, const QList<float>& b)
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

QList<ChannelScan::Mute> ChannelScan::mutesFor(const QList<ChannelConfig>& channels,
                                               const QMap<int, ScanKind>& verdicts)
{
    QList<Mute> mutes;
    for (const ChannelConfig& config : channels) {
        const auto verdict = verdicts.constFind(config.index);
        if (verdict == verdicts.cend() || keepsOwnVoice(*verdict) || !config.on) {
            continue;
        }
        mutes.append(Mute{config.index, config.name, *verdict});
    }
    return mutes;
}

QString ChannelScan::summary(qsizetype channelCount, const QMap<int, ScanKind>& verdicts, const QList<Mute>& muted)
{
    const auto speech = std::count_if(verdicts.cbegin(), verdicts.cend(),
                                      [](const ScanKind& v) { return v.kind == ScanKind::Kind::Speech; });
    const QString scanned = QStringLiteral("Scanned %1 channels: %2 with speech")
                                .arg(QString::number(channelCount), QString::number(qsizetype(speech)));
    if (muted.isEmpty()) {
        return scanned + QStringLiteral(", nothing to switch off.");
    }
    QStringList names;
    names.reserve(muted.size());
    for (const Mute& mute : muted) {
        names.append(QStringLiteral("%1 (%2)").arg(mute.name, mute.verdict.description().toLower()));
    }
    return scanned + QStringLiteral(". Muted ") + names.join(QStringLiteral(", ")) +
           QStringLiteral(". Unmute any it got wrong.");
}

QString ChannelScan::abandoned(const QString& why)
{
    return QStringLiteral("Couldn't finish the scan: ") + why + QStringLiteral(" Nothing was muted.");
}
