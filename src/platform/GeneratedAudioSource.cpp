#include "platform/GeneratedAudioSource.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <random>

namespace {

const char* const kCaptureThreadName = "io.pindle.logger.capture";
// A clock other than the system's moves without waking the capture thread: it looks again this often.
constexpr std::chrono::milliseconds kManualClockPoll{1};
constexpr qint64 kNotYetKnown = std::numeric_limits<qint64>::min();
constexpr qint64 kNothingDue = std::numeric_limits<qint64>::max();

} // namespace

GeneratedAudioSource::GeneratedAudioSource(Options options, std::vector<float> interleaved)
    : m_options(std::move(options)), m_mainContext(std::make_unique<QObject>()), m_nextDueNs(kNothingDue)
{
    const int channels = std::max(m_options.channelCount, 1);
    const auto frames = static_cast<qsizetype>(interleaved.size()) / channels;
    interleaved.resize(static_cast<size_t>(frames * channels));
    const bool loop = m_options.loop;
    // The play position lives in the generator; `start` resets it by rebuilding from `audio`.
    auto audio = std::make_shared<const std::vector<float>>(std::move(interleaved));
    m_makeGenerator = [audio, frames, loop]() -> Generator {
        auto position = std::make_shared<qsizetype>(0);
        return [audio, frames, loop, position](float* out, qsizetype wanted, int channels) -> qsizetype {
            qsizetype written = 0;
            while (written < wanted && frames > 0) {
                if (*position == frames) {
                    if (!loop) {
                        break;
                    }
                    *position = 0;
                }
                const qsizetype n = std::min(wanted - written, frames - *position);
                std::copy_n(audio->data() + *position * channels, n * channels, out + written * channels);
                written += n;
                *position += n;
            }
            return written;
        };
    };
}

GeneratedAudioSource::GeneratedAudioSource(Options options, Generator generator)
    : m_options(std::move(options)), m_mainContext(std::make_unique<QObject>()), m_nextDueNs(kNothingDue)
{
    m_makeGenerator = [generator = std::move(generator)] { return generator; };
}

GeneratedAudioSource::~GeneratedAudioSource()
{
    stop();
}

CaptureOpenResult GeneratedAudioSource::open(const std::optional<QString>& /*uid*/)
{
    stop();
    m_format.reset();
    m_error.clear();
    if (!m_options.refuseOpen.isEmpty()) {
        m_error = m_options.refuseOpen;
        return {std::nullopt, m_error};
    }
    if (m_options.channelCount < 1 || m_options.channelCount > kMaxChannels || !std::isfinite(m_options.sampleRate) ||
        m_options.sampleRate <= 0.0) {
        m_error = QStringLiteral("The generated input has no usable format.");
        return {std::nullopt, m_error};
    }
    m_format = CaptureFormat{m_options.sampleRate, m_options.channelCount};
    return {m_format, {}};
}

bool GeneratedAudioSource::start()
{
    if (m_started) {
        return true;
    }
    if (!m_format) {
        m_error = QStringLiteral("Capture was not opened.");
        return false;
    }
    if (!m_options.refuseStart.isEmpty()) {
        m_error = m_options.refuseStart;
        return false;
    }
    m_error.clear();
    m_generator = m_makeGenerator();
    m_chunker.reset(m_format->channelCount, m_format->sampleRate);
    m_stopRequested = false;
    m_framesGenerated = 0;
    m_nextDueNs = kNotYetKnown;
    // The recording starts now, however late the capture thread gets going.
    m_startedAt = Clock::orSystem(m_options.clock).monotonic();
    m_started = true;
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(QString::fromLatin1(kCaptureThreadName));
    m_thread->start();
    return true;
}

void GeneratedAudioSource::stop()
{
    if (!m_started) {
        return;
    }
    m_started = false;
    {
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_stopRequested = true;
    }
    m_wake.notify_all();
    if (m_thread) {
        m_thread->wait();
        m_thread.reset();
    }
    m_chunker.clear();
}

std::optional<CaptureFormat> GeneratedAudioSource::format() const
{
    return m_format;
}

QString GeneratedAudioSource::errorString() const
{
    return m_error;
}

void GeneratedAudioSource::loseDevice(const QString& reason)
{
    {
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_stopRequested = true;
    }
    m_wake.notify_all();
    postToMain([this, reason] {
        if (!m_started) {
            return;
        }
        stop();
        if (onLost) {
            // The handler may destroy this source: nothing is touched after the call.
            const auto handler = onLost;
            handler(reason);
        }
    });
}

void GeneratedAudioSource::postToMain(std::function<void()> call)
{
    QMetaObject::invokeMethod(m_mainContext.get(), std::move(call), Qt::QueuedConnection);
}

bool GeneratedAudioSource::caughtUp() const
{
    return m_nextDueNs.load() > Clock::orSystem(m_options.clock).monotonic().count();
}

void GeneratedAudioSource::run()
{
    deliver();
    m_nextDueNs = kNothingDue;
}

void GeneratedAudioSource::deliver()
{
    const int channels = m_format->channelCount;
    const double rate = m_format->sampleRate;
    const int minSlice = std::max(1, std::min(m_options.minSliceFrames, m_options.maxSliceFrames));
    const int maxSlice = std::max(minSlice, m_options.maxSliceFrames);
    std::mt19937 random(m_options.seed);
    std::uniform_int_distribution<int> sliceFrames(minSlice, maxSlice);
    std::vector<float> slice(static_cast<size_t>(maxSlice) * static_cast<size_t>(channels));

    Clock& clock = Clock::orSystem(m_options.clock);
    const bool polled = &clock != &Clock::system();
    // True once `due` has come, false when stopped first.
    const auto waitUntil = [&](Clock::Duration due) {
        std::unique_lock<std::mutex> lock(m_wakeMutex);
        for (;;) {
            const Clock::Duration left = due - clock.monotonic();
            if (left <= Clock::Duration::zero()) {
                return true;
            }
            const Clock::Duration nap = polled ? std::min<Clock::Duration>(left, kManualClockPoll) : left;
            if (m_wake.wait_for(lock, nap, [this] { return m_stopRequested.load(); })) {
                return false;
            }
        }
    };

    qint64 sent = 0;
    while (!m_stopRequested.load()) {
        const int wanted = sliceFrames(random);
        if (m_options.realTime) {
            // A device hands over a slice once it has been recorded.
            const Clock::Duration due =
                m_startedAt + std::chrono::duration_cast<Clock::Duration>(
                                  std::chrono::duration<double>(static_cast<double>(sent + wanted) / rate));
            m_nextDueNs = due.count();
            if (!waitUntil(due)) {
                return;
            }
        }
        const qsizetype got = std::clamp<qsizetype>(m_generator(slice.data(), wanted, channels), 0, wanted);
        if (got > 0) {
            m_chunker.push(slice.data(), got, onBuffer);
            sent += got;
            m_framesGenerated += got;
        }
        if (got < wanted) {
            postToMain([this] {
                if (!m_started) {
                    return;
                }
                stop();
                if (onFinished) {
                    const auto handler = onFinished;
                    handler();
                }
            });
            return;
        }
    }
}
