#include "platform/AudioCapture.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstring>

// --- CaptureChunker ---------------------------------------------------------------------------

void CaptureChunker::reset(int channels, double sampleRate)
{
    m_channels = std::clamp(channels, 0, AudioCaptureSource::kMaxChannels);
    m_rate = sampleRate;
    m_filled = 0;
    m_buffer.assign(static_cast<size_t>(kFrames) * static_cast<size_t>(m_channels), 0.0f);
}

void CaptureChunker::push(const float* interleaved, qsizetype frames, const Handler& handler)
{
    if (interleaved == nullptr || m_channels <= 0) {
        return;
    }
    const auto channels = static_cast<qsizetype>(m_channels);
    while (frames > 0) {
        if (m_filled == 0 && frames >= kFrames) {
            // A whole buffer inside the slice goes out as it is, without a copy.
            if (handler) {
                handler(interleaved, kFrames, m_channels, m_rate);
            }
            interleaved += kFrames * channels;
            frames -= kFrames;
            continue;
        }
        const qsizetype n = std::min<qsizetype>(frames, kFrames - m_filled);
        std::memcpy(m_buffer.data() + static_cast<qsizetype>(m_filled) * channels, interleaved,
                    static_cast<size_t>(n * channels) * sizeof(float));
        m_filled += static_cast<int>(n);
        interleaved += n * channels;
        frames -= n;
        if (m_filled == kFrames) {
            m_filled = 0;
            if (handler) {
                handler(m_buffer.data(), kFrames, m_channels, m_rate);
            }
        }
    }
}

// --- DeviceCaptureSource ----------------------------------------------------------------------

namespace {

// Frames read from the sound server per read: a device's largest slice.
constexpr int kReadFrames = 8192;
constexpr double kFallbackRate = 48000.0;
constexpr std::chrono::milliseconds kPresenceInterval{500};
const char* const kCaptureThreadName = "io.pindle.logger.capture";

int nativeChannels(const QAudioDevice& device)
{
    // The sound server reports its own channel limit as every device's maximum; the preferred
    // format carries the device's own count.
    const int preferred = device.preferredFormat().channelCount();
    if (preferred > 0) {
        return std::min(preferred, AudioCaptureSource::kMaxChannels);
    }
    return std::clamp(device.maximumChannelCount(), 0, AudioCaptureSource::kMaxChannels);
}

std::optional<QAudioDevice> findInput(const std::optional<QString>& uid)
{
    if (!uid) {
        const QAudioDevice device = QMediaDevices::defaultAudioInput();
        if (device.isNull()) {
            return std::nullopt;
        }
        return device;
    }
    const QByteArray wanted = uid->toUtf8();
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& input : inputs) {
        if (input.id() == wanted) {
            return input;
        }
    }
    return std::nullopt;
}

QString deviceLabel(const QAudioDevice& device)
{
    const QString name = device.description().trimmed();
    return name.isEmpty() ? QStringLiteral("The input") : name;
}

} // namespace

// Lives on the capture thread: owns the QAudioSource and reads it there.
struct DeviceCaptureSource::Worker : QObject {
    QAudioDevice device;
    QAudioFormat format;
    QAudioSource* source = nullptr;
    QIODevice* io = nullptr;
    CaptureChunker chunker;
    std::vector<char> readBuffer;
    qsizetype carried = 0;
    const CaptureChunker::Handler* handler = nullptr;
    std::function<void(const QString&)> lost;
    bool stopping = false;

    // Capture thread.
    QString begin()
    {
        const int channels = format.channelCount();
        chunker.reset(channels, format.sampleRate());
        readBuffer.assign(static_cast<size_t>(kReadFrames) * static_cast<size_t>(format.bytesPerFrame()), 0);
        carried = 0;
        stopping = false;
        source = new QAudioSource(device, format, this);
        QObject::connect(source, &QAudioSource::stateChanged, this, [this](QAudio::State state) {
            if (state == QAudio::StoppedState && !stopping && source->error() != QAudio::NoError) {
                stopping = true;
                lost(QStringLiteral("%1 stopped delivering audio.").arg(deviceLabel(device)));
            }
        });
        io = source->start();
        if (io == nullptr || source->error() != QAudio::NoError) {
            end();
            return QStringLiteral("Couldn't start audio from %1.").arg(deviceLabel(device));
        }
        QObject::connect(io, &QIODevice::readyRead, this, [this] { drain(); });
        return {};
    }

    // Capture thread: everything the server has for us, in slices of at most kReadFrames.
    void drain()
    {
        const int frameBytes = format.bytesPerFrame();
        if (io == nullptr || frameBytes <= 0) {
            return;
        }
        const auto capacity = static_cast<qsizetype>(readBuffer.size());
        for (;;) {
            const qint64 got = io->read(readBuffer.data() + carried, capacity - carried);
            if (got <= 0) {
                return;
            }
            const qsizetype total = carried + static_cast<qsizetype>(got);
            const qsizetype frames = total / frameBytes;
            chunker.push(reinterpret_cast<const float*>(readBuffer.data()), frames, *handler);
            // A read may end inside a frame: keep its bytes for the next read.
            carried = total - frames * frameBytes;
            if (carried > 0) {
                std::memmove(readBuffer.data(), readBuffer.data() + frames * frameBytes, static_cast<size_t>(carried));
            }
        }
    }

    // Capture thread.
    void end()
    {
        stopping = true;
        if (source != nullptr) {
            source->disconnect(this);
            source->stop();
            delete source;
        }
        source = nullptr;
        io = nullptr;
        chunker.clear();
    }
};

DeviceCaptureSource::DeviceCaptureSource() : m_mainContext(std::make_unique<QObject>())
{
}

DeviceCaptureSource::~DeviceCaptureSource()
{
    stop();
}

CaptureOpenResult DeviceCaptureSource::open(const std::optional<QString>& uid)
{
    stop();
    m_format.reset();
    m_error.clear();
    const std::optional<QAudioDevice> device = findInput(uid);
    if (!device) {
        m_error = uid ? QStringLiteral("The input device \"%1\" is not present.").arg(*uid)
                      : QStringLiteral("No microphone input found.");
        return {std::nullopt, m_error};
    }
    const int channels = nativeChannels(*device);
    const int preferredRate = device->preferredFormat().sampleRate();
    const double rate = preferredRate > 0 ? preferredRate : kFallbackRate;
    if (channels < 1) {
        m_error = QStringLiteral("%1 has no input channels.").arg(deviceLabel(*device));
        return {std::nullopt, m_error};
    }
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Float);
    format.setSampleRate(static_cast<int>(rate));
    format.setChannelCount(channels);
    if (!device->isFormatSupported(format)) {
        m_error = QStringLiteral("%1 can't deliver %2 channels of 32-bit float audio at %3 Hz.")
                      .arg(deviceLabel(*device))
                      .arg(channels)
                      .arg(static_cast<int>(rate));
        return {std::nullopt, m_error};
    }

    m_worker = std::make_unique<Worker>();
    m_worker->device = *device;
    m_worker->format = format;
    m_uid = QString::fromUtf8(device->id());
    m_format = CaptureFormat{rate, channels};
    return {m_format, {}};
}

bool DeviceCaptureSource::start()
{
    if (m_started) {
        return true;
    }
    if (!m_worker || !m_format) {
        m_error = QStringLiteral("Capture was not opened.");
        return false;
    }
    m_error.clear();
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QString::fromLatin1(kCaptureThreadName));
    m_worker->moveToThread(m_thread.get());
    m_worker->handler = &onBuffer;
    m_worker->lost = [this](const QString& reason) {
        QMetaObject::invokeMethod(
            m_mainContext.get(), [this, reason] { reportLost(reason); }, Qt::QueuedConnection);
    };
    m_thread->start();

    QString failure;
    QMetaObject::invokeMethod(
        m_worker.get(), [this, &failure] { failure = m_worker->begin(); }, Qt::BlockingQueuedConnection);
    m_started = true;
    if (!failure.isEmpty()) {
        stop();
        m_error = failure;
        return false;
    }

    // An unplugged device does not fail the stream: the sound server moves it to another input
    // and it goes on delivering. Watch the list (its change signal is not always emitted).
    auto* watch = new QTimer(m_mainContext.get());
    watch->setInterval(kPresenceInterval);
    QObject::connect(watch, &QTimer::timeout, m_mainContext.get(), [this] {
        const QByteArray wanted = m_uid.toUtf8();
        const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
        const bool present =
            std::any_of(inputs.cbegin(), inputs.cend(), [&wanted](const QAudioDevice& d) { return d.id() == wanted; });
        if (!present && m_worker) {
            // Reported once the timer's signal has returned: the handler may destroy this source.
            const QString reason = QStringLiteral("%1 was disconnected.").arg(deviceLabel(m_worker->device));
            QMetaObject::invokeMethod(
                m_mainContext.get(), [this, reason] { reportLost(reason); }, Qt::QueuedConnection);
        }
    });
    watch->start();
    return true;
}

void DeviceCaptureSource::reportLost(const QString& reason)
{
    if (!m_started) {
        return;
    }
    stop();
    if (onLost) {
        // The handler may destroy this source: nothing is touched after the call.
        const auto handler = onLost;
        handler(reason);
    }
}

void DeviceCaptureSource::stop()
{
    if (!m_started) {
        return;
    }
    m_started = false;
    // The presence watch goes first, so no loss report follows a stop (m_started guards one
    // already queued from the capture thread).
    qDeleteAll(m_mainContext->findChildren<QTimer*>(Qt::FindDirectChildrenOnly));
    if (m_thread) {
        QThread* const home = QThread::currentThread();
        // Runs after the buffer in hand, so no onBuffer call follows. The worker comes back to
        // this thread so that a later start can move it again.
        QMetaObject::invokeMethod(
            m_worker.get(),
            [this, home] {
                m_worker->end();
                m_worker->moveToThread(home);
            },
            Qt::BlockingQueuedConnection);
        m_thread->quit();
        m_thread->wait();
        m_thread.reset();
    }
}

std::optional<CaptureFormat> DeviceCaptureSource::format() const
{
    return m_format;
}

QString DeviceCaptureSource::errorString() const
{
    return m_error;
}
