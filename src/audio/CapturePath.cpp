#include "audio/CapturePath.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QObject>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr double kSilenceFloor = 1e-12;
constexpr float kLevelFloorDb = -60.0f;
// Frames split out at a time: at 32 channels 16 KB, well inside the first-level cache.
constexpr int kSplitFrames = 128;

// One channel of `frames` interleaved frames of `stride` channels into `out`.
void splitOne(const float* interleaved, int frames, size_t stride, size_t channel, float* out)
{
    const float* in = interleaved + channel;
    for (int f = 0; f < frames; ++f) {
        out[f] = in[static_cast<size_t>(f) * stride];
    }
}

using Four = float __attribute__((vector_size(16)));

Four loadFour(const float* at)
{
    Four four;
    std::memcpy(&four, at, sizeof four);
    return four;
}

void storeFour(float* at, Four four)
{
    std::memcpy(at, &four, sizeof four);
}

// Channels `first`...`first` + 3 into their rows (`rowLength` apart from `rows`): four frames at a
// time as a 4 x 4 transpose, four loads and four stores in place of sixteen of each.
void splitFour(const float* interleaved, int frames, size_t stride, size_t first, float* rows, size_t rowLength)
{
    float* out0 = rows + first * rowLength;
    float* out1 = out0 + rowLength;
    float* out2 = out1 + rowLength;
    float* out3 = out2 + rowLength;
    int f = 0;
    for (; f + 4 <= frames; f += 4) {
        const float* in = interleaved + static_cast<size_t>(f) * stride + first;
        const Four a = loadFour(in);
        const Four b = loadFour(in + stride);
        const Four c = loadFour(in + 2 * stride);
        const Four d = loadFour(in + 3 * stride);
        const Four abLow = __builtin_shufflevector(a, b, 0, 4, 1, 5);
        const Four abHigh = __builtin_shufflevector(a, b, 2, 6, 3, 7);
        const Four cdLow = __builtin_shufflevector(c, d, 0, 4, 1, 5);
        const Four cdHigh = __builtin_shufflevector(c, d, 2, 6, 3, 7);
        storeFour(out0 + f, __builtin_shufflevector(abLow, cdLow, 0, 1, 4, 5));
        storeFour(out1 + f, __builtin_shufflevector(abLow, cdLow, 2, 3, 6, 7));
        storeFour(out2 + f, __builtin_shufflevector(abHigh, cdHigh, 0, 1, 4, 5));
        storeFour(out3 + f, __builtin_shufflevector(abHigh, cdHigh, 2, 3, 6, 7));
    }
    for (; f < frames; ++f) {
        const float* in = interleaved + static_cast<size_t>(f) * stride + first;
        out0[f] = in[0];
        out1[f] = in[1];
        out2[f] = in[2];
        out3[f] = in[3];
    }
}

// A fader's gain, clamped to full scale; gain 1 leaves the samples as they are, over-range too.
void applyGain(float* samples, int count, float gain)
{
    if (gain == 1.0f) {
        return;
    }
    for (int f = 0; f < count; ++f) {
        samples[f] = std::clamp(samples[f] * gain, -1.0f, 1.0f);
    }
}

float decibels(double meanSquare)
{
    return static_cast<float>(10.0 * std::log10(std::max(meanSquare, kSilenceFloor)));
}

float levelOf(float db)
{
    return std::clamp((db - kLevelFloorDb) / -kLevelFloorDb, 0.0f, 1.0f);
}

} // namespace

CapturePath::CapturePath(LevelsHandler onLevels, Clock* clock)
    : m_onLevels(std::move(onLevels)), m_clock(Clock::orSystem(clock)), m_mainContext(std::make_unique<QObject>())
{
}

CapturePath::~CapturePath() = default;

void CapturePath::setMeteringEnabled(bool enabled)
{
    QMutexLocker locker(&m_lock);
    m_metering = enabled;
}

bool CapturePath::meteringEnabled() const
{
    QMutexLocker locker(&m_lock);
    return m_metering;
}

CapturePath::StreamMap CapturePath::streams() const
{
    QMutexLocker locker(&m_lock);
    return m_streams;
}

std::shared_ptr<TranscriptStream> CapturePath::stream(int index) const
{
    QMutexLocker locker(&m_lock);
    return m_streams.value(index);
}

std::shared_ptr<TranscriptStream> CapturePath::insertStream(int index, std::shared_ptr<TranscriptStream> stream)
{
    std::shared_ptr<TranscriptStream> old;
    std::vector<std::shared_ptr<void>> released;
    {
        QMutexLocker locker(&m_lock);
        old = m_streams.take(index);
        if (stream) {
            m_streams.insert(index, std::move(stream));
        }
        retireLocked(old);
        collectLocked(released);
    }
    return old;
}

std::shared_ptr<TranscriptStream> CapturePath::takeStream(int index)
{
    return insertStream(index, nullptr);
}

CapturePath::StreamMap CapturePath::setStreams(StreamMap streams)
{
    StreamMap old;
    std::vector<std::shared_ptr<void>> released;
    {
        QMutexLocker locker(&m_lock);
        old = std::exchange(m_streams, std::move(streams));
        for (const auto& stream : std::as_const(old)) {
            retireLocked(stream);
        }
        collectLocked(released);
    }
    return old;
}

void CapturePath::setMonitorIndex(std::optional<int> index)
{
    QMutexLocker locker(&m_lock);
    m_monitorIndex = index;
}

std::optional<int> CapturePath::monitorIndex() const
{
    QMutexLocker locker(&m_lock);
    return m_monitorIndex;
}

void CapturePath::setMonitorHook(MonitorHook hook)
{
    auto fresh = hook ? std::make_shared<MonitorHook>(std::move(hook)) : nullptr;
    std::vector<std::shared_ptr<void>> released;
    QMutexLocker locker(&m_lock);
    retireLocked(std::exchange(m_monitorHook, std::move(fresh)));
    collectLocked(released);
    locker.unlock();
}

void CapturePath::setSoundCueHook(SoundCueHook hook)
{
    auto fresh = hook ? std::make_shared<SoundCueHook>(std::move(hook)) : nullptr;
    std::vector<std::shared_ptr<void>> released;
    QMutexLocker locker(&m_lock);
    retireLocked(std::exchange(m_soundCueHook, std::move(fresh)));
    collectLocked(released);
    locker.unlock();
}

void CapturePath::setScanActive(bool active)
{
    QMutexLocker locker(&m_lock);
    if (active) {
        m_scan = {};
    }
    m_scanActive = active;
}

bool CapturePath::scanActive() const
{
    QMutexLocker locker(&m_lock);
    return m_scanActive;
}

ScanStatistics CapturePath::takeScanStatistics()
{
    QMutexLocker locker(&m_lock);
    return std::exchange(m_scan, {});
}

void CapturePath::armPeakSinceStart(int channelCount)
{
    QMutexLocker locker(&m_lock);
    m_peakSinceStart = QList<float>(std::max(channelCount, 0), 0.0f);
}

QList<float> CapturePath::peakSinceStart() const
{
    QMutexLocker locker(&m_lock);
    return m_peakSinceStart;
}

void CapturePath::retireLocked(std::shared_ptr<void> object)
{
    if (!object) {
        return;
    }
    ++m_generation;
    m_retired.push_back({std::move(object), m_generation});
}

void CapturePath::collectLocked(std::vector<std::shared_ptr<void>>& out)
{
    // Safe to release: everything when the capture thread holds no snapshot, else what was
    // retired before its snapshot was taken (so it is not in it).
    const auto safe = [this](const Retired& r) { return !m_holding || r.generation <= m_heldGeneration; };
    for (auto& retired : m_retired) {
        if (safe(retired)) {
            out.push_back(std::move(retired.object));
        }
    }
    std::erase_if(m_retired, [](const Retired& r) { return !r.object; });
}

void CapturePath::collectRetired()
{
    std::vector<std::shared_ptr<void>> released;
    QMutexLocker locker(&m_lock);
    m_collectPosted = false;
    collectLocked(released);
    locker.unlock();
    // `released` goes out of scope here, on the main thread.
}

void CapturePath::splitChannels(const float* interleaved, int frames, int channels, bool metering, int rawChannel)
{
    const auto count = static_cast<size_t>(channels);
    const auto rowLength = static_cast<size_t>(frames);
    if (m_planar.size() < rowLength * count) {
        m_planar.resize(rowLength * count);
    }
    if (metering) {
        if (m_sumSquares.size() < count) {
            m_sumSquares.resize(count);
            m_crossings.resize(count);
            m_negative.resize(count);
            m_db.resize(count);
            m_level.resize(count);
            m_zcr.resize(count);
        }
        std::fill_n(m_sumSquares.begin(), count, 0.0);
        std::fill_n(m_crossings.begin(), count, 0);
        std::fill_n(m_negative.begin(), count, static_cast<unsigned char>(0));
    }
    const bool everyChannel = m_wanted.size() == count;

    // Piece by piece: the piece's frames stay in the nearest cache while the wanted channels are
    // gathered from them, and each row's piece is metered and scaled while it is still there.
    for (int start = 0; start < frames; start += kSplitFrames) {
        const int n = std::min(kSplitFrames, frames - start);
        const float* piece = interleaved + static_cast<size_t>(start) * count;
        float* rows = m_planar.data() + static_cast<size_t>(start);
        if (everyChannel) {
            int c = 0;
            for (; c + 4 <= channels; c += 4) {
                splitFour(piece, n, count, static_cast<size_t>(c), rows, rowLength);
            }
            for (; c < channels; ++c) {
                splitOne(piece, n, count, static_cast<size_t>(c), rows + static_cast<size_t>(c) * rowLength);
            }
        } else {
            for (const int c : m_wanted) {
                splitOne(piece, n, count, static_cast<size_t>(c), rows + static_cast<size_t>(c) * rowLength);
            }
        }
        for (const int c : m_wanted) {
            float* samples = rows + static_cast<size_t>(c) * rowLength;
            if (metering) {
                meterPiece(static_cast<size_t>(c), samples, n);
            }
            if (c != rawChannel) {
                applyGain(samples, n, m_gains[static_cast<size_t>(c)]);
            }
        }
    }

    if (metering) {
        for (size_t c = 0; c < count; ++c) {
            m_db[c] = decibels(m_sumSquares[c] / frames);
            m_level[c] = levelOf(m_db[c]);
            m_zcr[c] = static_cast<float>(m_crossings[c]) / static_cast<float>(frames);
        }
    }
}

void CapturePath::meterPiece(size_t channel, const float* samples, int count)
{
    // Four running sums instead of one chain of dependent additions; they differ from a single
    // sum in the last bits only.
    std::array<double, 4> sums{};
    int f = 0;
    for (; f + 4 <= count; f += 4) {
        for (size_t k = 0; k < 4; ++k) {
            const double x = samples[f + static_cast<int>(k)];
            sums[k] += x * x;
        }
    }
    for (; f < count; ++f) {
        const double x = samples[f];
        sums[0] += x * x;
    }
    m_sumSquares[channel] += (sums[0] + sums[1]) + (sums[2] + sums[3]);

    int crossings = (samples[0] < 0.0f ? 1 : 0) != m_negative[channel] ? 1 : 0;
    for (f = 1; f < count; ++f) {
        crossings += (samples[f] < 0.0f) != (samples[f - 1] < 0.0f) ? 1 : 0;
    }
    m_crossings[channel] += crossings;
    m_negative[channel] = samples[count - 1] < 0.0f ? 1 : 0;
}

void CapturePath::updateMeters(int channels)
{
    // Under m_lock.
    const auto count = static_cast<size_t>(channels);
    if (m_scanActive) {
        if (m_scan.db.size() != channels) {
            m_scan.db = QList<QList<float>>(channels);
            m_scan.zcr = QList<QList<float>>(channels);
        }
        for (size_t c = 0; c < count; ++c) {
            m_scan.db[static_cast<qsizetype>(c)].append(m_db[c]);
            m_scan.zcr[static_cast<qsizetype>(c)].append(m_zcr[c]);
        }
    }
    if (m_pendingLevels.size() != count) {
        m_pendingLevels.assign(m_level.begin(), m_level.begin() + channels);
    } else {
        for (size_t c = 0; c < count; ++c) {
            m_pendingLevels[c] = std::max(m_pendingLevels[c] * kPeakFall, m_level[c]);
        }
    }
    if (m_peakSinceStart.size() == channels) {
        for (size_t c = 0; c < count; ++c) {
            auto& peak = m_peakSinceStart[static_cast<qsizetype>(c)];
            peak = std::max(peak, m_level[c]);
        }
    }
}

std::span<float> CapturePath::row(int channel, int frames)
{
    return {m_planar.data() + static_cast<size_t>(channel) * static_cast<size_t>(frames), static_cast<size_t>(frames)};
}

std::span<const float> CapturePath::downmix(const float* interleaved, int frames, int channels)
{
    if (channels == 1) {
        return {interleaved, static_cast<size_t>(frames)};
    }
    float* out = m_mono.data();
    const float scale = 1.0f / static_cast<float>(channels);
    const float* frame = interleaved;
    for (int f = 0; f < frames; ++f, frame += channels) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c) {
            sum += frame[c];
        }
        out[f] = sum * scale;
    }
    return {out, static_cast<size_t>(frames)};
}

void CapturePath::handleBuffer(const float* interleaved, int frames, int channels, double sampleRate)
{
    if (interleaved == nullptr || frames <= 0 || channels <= 0) {
        return;
    }
    if (m_mono.size() < static_cast<size_t>(frames)) {
        m_mono.resize(static_cast<size_t>(frames));
    }

    std::optional<int> monitorIndex;
    bool metering = false;
    {
        QMutexLocker locker(&m_lock);
        m_snapshot.clear();
        for (auto it = m_streams.cbegin(); it != m_streams.cend(); ++it) {
            m_snapshot.push_back({it.key(), it.value()});
        }
        m_heldMonitor = m_monitorHook;
        m_heldSoundCue = m_soundCueHook;
        monitorIndex = m_monitorIndex;
        metering = m_metering;
        m_heldGeneration = m_generation;
        m_holding = true;
    }

    // Every channel when metering, else only the ones heard.
    const bool monitoring =
        m_heldMonitor && *m_heldMonitor && monitorIndex && *monitorIndex >= 0 && *monitorIndex < channels;
    m_gains.assign(static_cast<size_t>(channels), 1.0f);
    m_wanted.clear();
    for (const Entry& entry : m_snapshot) {
        if (entry.index >= 0 && entry.index < channels) {
            m_gains[static_cast<size_t>(entry.index)] = entry.stream->gain();
            m_wanted.push_back(entry.index);
        }
    }
    if (monitoring && std::find(m_wanted.begin(), m_wanted.end(), *monitorIndex) == m_wanted.end()) {
        m_wanted.push_back(*monitorIndex);
    }
    if (metering) {
        m_wanted.clear();
        for (int c = 0; c < channels; ++c) {
            m_wanted.push_back(c);
        }
    }
    splitChannels(interleaved, frames, channels, metering, monitoring ? *monitorIndex : -1);

    if (monitoring) {
        const std::span<float> heard = row(*monitorIndex, frames);
        (*m_heldMonitor)(heard, sampleRate);
        applyGain(heard.data(), frames, m_gains[static_cast<size_t>(*monitorIndex)]);
    }

    for (const Entry& entry : m_snapshot) {
        if (entry.index == -1) {
            entry.stream->append(downmix(interleaved, frames, channels), sampleRate);
        } else if (entry.index >= 0 && entry.index < channels) {
            entry.stream->append(row(entry.index, frames), sampleRate);
        }
    }

    if (m_heldSoundCue && *m_heldSoundCue) {
        (*m_heldSoundCue)(interleaved, frames, channels, sampleRate);
    }

    // Drop the snapshot's references while the retired list still holds anything taken out of
    // the path, so the last reference is never this thread's.
    m_snapshot.clear();
    m_heldMonitor.reset();
    m_heldSoundCue.reset();

    QList<float> publish;
    bool postCollect = false;
    {
        QMutexLocker locker(&m_lock);
        m_holding = false;
        if (!m_retired.empty() && !m_collectPosted) {
            m_collectPosted = true;
            postCollect = true;
        }
        if (metering) {
            updateMeters(channels);
            const Clock::Duration now = m_clock.monotonic();
            if (m_onLevels &&
                (!m_lastLevelPush || std::chrono::duration<double>(now - *m_lastLevelPush).count() > kLevelInterval)) {
                m_lastLevelPush = now;
                publish = QList<float>(m_pendingLevels.begin(), m_pendingLevels.end());
            }
        }
    }

    if (postCollect) {
        QMetaObject::invokeMethod(
            m_mainContext.get(), [this] { collectRetired(); }, Qt::QueuedConnection);
    }
    if (!publish.isEmpty()) {
        QMetaObject::invokeMethod(
            m_mainContext.get(), [this, levels = std::move(publish)] { m_onLevels(levels); }, Qt::QueuedConnection);
    }
}
