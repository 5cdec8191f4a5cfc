#include "platform/MonitorSink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Above any rate a sound server offers; keeps the queue's size sane for a corrupt format.
constexpr double kMaxRate = 768000.0;

} // namespace

// --- MonitorQueue ---

MonitorQueue::MonitorQueue(qsizetype capacity) : m_ring(static_cast<size_t>(std::max<qsizetype>(capacity, 1)), 0.0f)
{
}

qsizetype MonitorQueue::capacityFor(double sampleRate)
{
    if (!(sampleRate > 0.0)) {
        return 1;
    }
    const double frames = std::round(std::min(sampleRate, kMaxRate) * kMaxSeconds);
    return std::max<qsizetype>(static_cast<qsizetype>(frames), 1);
}

void MonitorQueue::push(std::span<const float> samples)
{
    const auto capacity = static_cast<qsizetype>(m_ring.size());
    auto count = static_cast<qsizetype>(samples.size());
    const std::lock_guard lock(m_mutex);
    if (count > capacity) {
        // Only the newest `capacity` samples can be kept.
        m_dropped += count - capacity;
        samples = samples.last(static_cast<size_t>(capacity));
        count = capacity;
    }
    const qsizetype overflow = m_size + count - capacity;
    if (overflow > 0) {
        m_head = (m_head + overflow) % capacity;
        m_size -= overflow;
        m_dropped += overflow;
    }
    qsizetype tail = (m_head + m_size) % capacity;
    qsizetype written = 0;
    while (written < count) {
        const qsizetype run = std::min(count - written, capacity - tail);
        std::copy_n(samples.data() + written, run, m_ring.data() + tail);
        written += run;
        tail = (tail + run) % capacity;
    }
    m_size += count;
}

qsizetype MonitorQueue::pull(char* out, qsizetype maxFrames)
{
    const auto capacity = static_cast<qsizetype>(m_ring.size());
    const std::lock_guard lock(m_mutex);
    const qsizetype count = std::min(std::max<qsizetype>(maxFrames, 0), m_size);
    qsizetype read = 0;
    while (read < count) {
        const qsizetype run = std::min(count - read, capacity - m_head);
        std::memcpy(out + read * qsizetype(sizeof(float)), m_ring.data() + m_head, size_t(run) * sizeof(float));
        read += run;
        m_head = (m_head + run) % capacity;
    }
    m_size -= count;
    return count;
}

qsizetype MonitorQueue::size() const
{
    const std::lock_guard lock(m_mutex);
    return m_size;
}

qint64 MonitorQueue::dropped() const
{
    const std::lock_guard lock(m_mutex);
    return m_dropped;
}

// --- DeviceMonitorSink ---

namespace {

// What the sink pulls from: the queue, padded with silence when it runs dry.
class QueueReader final : public QIODevice {
public:
    explicit QueueReader(std::shared_ptr<MonitorQueue> queue) : m_queue(std::move(queue)) {}

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return QIODevice::bytesAvailable() + 4096 * qint64(sizeof(float)); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 frames = maxSize / qint64(sizeof(float));
        const qsizetype got = m_queue->pull(data, qsizetype(frames));
        const qint64 filled = qint64(got) * qint64(sizeof(float));
        const qint64 wanted = frames * qint64(sizeof(float));
        std::memset(data + filled, 0, size_t(wanted - filled));
        return wanted;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::shared_ptr<MonitorQueue> m_queue;
};

} // namespace

struct DeviceMonitorSink::Player {
    std::unique_ptr<QueueReader> reader;
    std::unique_ptr<QAudioSink> sink;
};

DeviceMonitorSink::DeviceMonitorSink() = default;

DeviceMonitorSink::~DeviceMonitorSink()
{
    stop();
}

bool DeviceMonitorSink::start(std::shared_ptr<MonitorQueue> queue, double sampleRate)
{
    stop();
    m_error.clear();
    if (!queue) {
        m_error = QStringLiteral("Nothing to play.");
        return false;
    }
    if (!(sampleRate >= 1.0 && sampleRate <= kMaxRate)) {
        m_error = QStringLiteral("The input's sample rate can't be played.");
        return false;
    }
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull()) {
        m_error = QStringLiteral("No audio output is available.");
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(static_cast<int>(std::lround(sampleRate)));
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Float);
    if (!output.isFormatSupported(format)) {
        m_error = QStringLiteral("%1 can't play %2 Hz mono audio.").arg(output.description()).arg(format.sampleRate());
        return false;
    }

    auto player = std::make_unique<Player>();
    player->reader = std::make_unique<QueueReader>(std::move(queue));
    player->reader->open(QIODevice::ReadOnly);
    player->sink = std::make_unique<QAudioSink>(output, format);
    // A short device buffer: the queue already bounds the delay, the output should add little.
    player->sink->setBufferSize(static_cast<qsizetype>(sampleRate * 0.05) * qsizetype(sizeof(float)));
    player->sink->start(player->reader.get());
    if (player->sink->error() != QAudio::NoError || player->sink->state() == QAudio::StoppedState) {
        m_error = QStringLiteral("%1 would not start.").arg(output.description());
        player->sink->stop();
        return false;
    }
    m_player = std::move(player);
    return true;
}

void DeviceMonitorSink::stop()
{
    if (!m_player) {
        return;
    }
    m_player->sink->stop();
    m_player->sink.reset();
    m_player->reader->close();
    m_player.reset();
}
