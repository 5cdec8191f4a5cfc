#include "audio/SoundEventDetector.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

bool acceptableRate(double sampleRate)
{
    return std::isfinite(sampleRate) && sampleRate >= 8000.0 && sampleRate <= 400000.0;
}

} // namespace

const QStringList& SoundEventDetector::cueWords()
{
    static const QStringList words = {QStringLiteral("laughter"), QStringLiteral("applause"),
                                      QStringLiteral("cheering"), QStringLiteral("clapping"), QStringLiteral("crowd")};
    return words;
}

QString SoundEventDetector::cueFor(const QString& identifier)
{
    const QString lower = identifier.toLower();
    for (const QString& word : cueWords()) {
        if (lower.contains(word)) {
            return word;
        }
    }
    return {};
}

SoundEventDetector::SoundEventDetector(std::unique_ptr<SoundClassifier> classifier, Clock* clock)
    : m_classifier(classifier ? std::move(classifier) : std::make_unique<FeatureSoundClassifier>()),
      m_clock(Clock::orSystem(clock)), m_mainContext(std::make_unique<QObject>()), m_slots(size_t(kQueueSlots)),
      m_downmix(size_t(kSlotFrames))
{
    for (Slot& slot : m_slots) {
        slot.mono.resize(size_t(kSlotFrames));
    }
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("io.pindle.soundanalysis"));
    m_thread->start();
}

SoundEventDetector::~SoundEventDetector()
{
    {
        std::lock_guard guard(m_lock);
        m_controls.push_front({Command::Quit, 0.0, 0, 0});
    }
    m_wake.notify_all();
    m_thread->wait();
    delete m_thread;
}

void SoundEventDetector::start(double sampleRate, int channels)
{
    {
        std::lock_guard guard(m_lock);
        m_controls.push_back({Command::Start, sampleRate, channels, m_handed});
    }
    m_wake.notify_all();
}

void SoundEventDetector::stop()
{
    {
        std::lock_guard guard(m_lock);
        m_controls.push_back({Command::Stop, 0.0, 0, m_handed});
    }
    m_wake.notify_all();
}

void SoundEventDetector::feed(const float* interleaved, int frames, int channels, double sampleRate)
{
    if (!interleaved || frames <= 0 || channels <= 0) {
        return;
    }
    for (int done = 0; done < frames; done += kSlotFrames) {
        const int count = std::min(kSlotFrames, frames - done);
        const float* in = interleaved + size_t(done) * size_t(channels);
        const float scale = 1.0f / float(channels);
        for (int i = 0; i < count; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < channels; ++c) {
                sum += in[size_t(i) * size_t(channels) + size_t(c)];
            }
            m_downmix[size_t(i)] = sum * scale;
        }
        {
            std::lock_guard guard(m_lock);
            if (m_count == kQueueSlots) {
                ++m_dropped;
                continue;
            }
            Slot& slot = m_slots[size_t((m_head + m_count) % kQueueSlots)];
            std::memcpy(slot.mono.data(), m_downmix.data(), size_t(count) * sizeof(float));
            slot.frames = count;
            slot.sampleRate = sampleRate;
            ++m_count;
            ++m_handed;
        }
        m_wake.notify_one();
    }
}

bool SoundEventDetector::waitUntilIdle(int timeoutMs)
{
    std::unique_lock guard(m_lock);
    return m_idle.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_controls.empty() && m_count == 0 && !m_busy; });
}

long long SoundEventDetector::droppedBuffers() const
{
    std::lock_guard guard(m_lock);
    return m_dropped;
}

void SoundEventDetector::run()
{
    std::unique_lock guard(m_lock);
    for (;;) {
        m_idle.notify_all();
        m_wake.wait(guard, [this] { return !m_controls.empty() || m_count > 0; });
        // A command runs once every buffer handed over before it was analysed.
        const long long taken = m_handed - m_count;
        if (!m_controls.empty() && (m_controls.front().after <= taken || m_controls.front().command == Command::Quit)) {
            const Control control = m_controls.front();
            m_controls.pop_front();
            if (control.command == Command::Quit) {
                return;
            }
            m_busy = true;
            guard.unlock();
            apply(control);
            guard.lock();
            m_busy = false;
            continue;
        }
        // The slot stays counted while it is analysed, so the capture thread never refills it.
        const Slot& slot = m_slots[size_t(m_head)];
        m_busy = true;
        guard.unlock();
        analyse(slot);
        guard.lock();
        m_busy = false;
        m_head = (m_head + 1) % kQueueSlots;
        --m_count;
    }
}

void SoundEventDetector::apply(const Control& control)
{
    m_lastFired.clear();
    m_listening = false;
    m_framePos = 0;
    m_windowFill = 0;
    if (control.command != Command::Start || !acceptableRate(control.sampleRate) || control.channels < 1) {
        return;
    }
    const double window = m_classifier->windowSeconds();
    const double hop = m_classifier->hopSeconds();
    if (!(window > 0.0 && window <= 10.0 && hop > 0.0 && hop <= window)) {
        return;
    }
    m_window.assign(size_t(std::lround(window * control.sampleRate)), 0.0f);
    m_hop = std::max<size_t>(1, size_t(std::lround(hop * control.sampleRate)));
    m_sampleRate = control.sampleRate;
    m_listening = true;
}

void SoundEventDetector::analyse(const Slot& slot)
{
    // A buffer of another rate than the one started with would be misread: skip it.
    if (!m_listening || slot.sampleRate != m_sampleRate) {
        return;
    }
    m_framePos += slot.frames;
    size_t done = 0;
    const size_t frames = size_t(slot.frames);
    while (done < frames) {
        const size_t n = std::min(frames - done, m_window.size() - m_windowFill);
        std::copy_n(slot.mono.begin() + std::ptrdiff_t(done), n, m_window.begin() + std::ptrdiff_t(m_windowFill));
        m_windowFill += n;
        done += n;
        if (m_windowFill == m_window.size()) {
            handleResult(m_classifier->classify(m_window, m_sampleRate));
            const size_t keep = m_window.size() - std::min(m_hop, m_window.size());
            std::copy(m_window.end() - std::ptrdiff_t(keep), m_window.end(), m_window.begin());
            m_windowFill = keep;
        }
    }
}

void SoundEventDetector::handleResult(const QList<SoundClassification>& classifications)
{
    for (const SoundClassification& c : classifications) {
        const QString cue = cueFor(c.identifier);
        if (cue.isEmpty() || !(c.confidence >= kMinConfidence)) {
            continue;
        }
        const double now = m_clock.now().sinceReferenceDate;
        const auto last = m_lastFired.constFind(cue);
        if (last != m_lastFired.constEnd() && now - last.value() < kDebounce) {
            continue;
        }
        m_lastFired.insert(cue, now);
        const double confidence = std::clamp(c.confidence, 0.0, 1.0);
        QMetaObject::invokeMethod(
            m_mainContext.get(),
            [this, cue, confidence] {
                if (onEvent) {
                    onEvent(cue, confidence);
                }
            },
            Qt::QueuedConnection);
        return;
    }
}
