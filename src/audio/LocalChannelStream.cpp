#include "audio/LocalChannelStream.h"

#include "audio/SegmentOrder.h"

#include <cmath>

LocalChannelStream::LocalChannelStream(int channel, std::optional<QString> label, double offset,
                                       std::shared_ptr<LocalLineCounters> counters, RecogniserFactory factory,
                                       Clock* clock)
    : TranscriptStream(channel), m_offset(offset),
      m_counters(counters ? std::move(counters) : std::make_shared<LocalLineCounters>()),
      m_factory(factory ? std::move(factory) : OnDeviceModel::pocketsphinxFactory()), m_clock(Clock::orSystem(clock))
{
    this->label = std::move(label);
}

LocalChannelStream::~LocalChannelStream()
{
    // The main thread does not wait for a model load or a decode in progress.
    OnDeviceEngine::release(std::move(m_engine));
    OnDeviceEngine::release(std::move(m_finishing));
}

void LocalChannelStream::start()
{
    if (m_started)
        return;
    m_started = true;
    const std::weak_ptr<LocalChannelStream> self = weak_from_this();
    OnDeviceEngine::Callbacks callbacks;
    callbacks.onResult = [self](const OnDeviceEngine::Result& result) {
        if (const auto stream = self.lock())
            stream->publish(result.text, result.isFinal, result.origin + result.start, result.origin + result.end);
    };
    callbacks.onError = [self](const QString& message) {
        if (const auto stream = self.lock())
            stream->reportError(message);
    };
    auto engine = std::make_unique<OnDeviceEngine>(m_factory, std::move(callbacks), &m_clock);
    const std::lock_guard lock(m_engineMutex);
    m_engine = std::move(engine);
}

void LocalChannelStream::stop()
{
    std::unique_ptr<OnDeviceEngine> engine;
    {
        const std::lock_guard lock(m_engineMutex);
        engine = std::move(m_engine);
    }
    if (!engine)
        return;
    engine->finish();
    m_finishing = std::move(engine);
}

void LocalChannelStream::append(std::span<const float> mono, double sampleRate)
{
    const std::lock_guard lock(m_engineMutex);
    if (m_engine)
        m_engine->feed(mono, sampleRate);
}

void LocalChannelStream::publish(const QString& text, bool isFinal, double start, double end)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return;
    const Date now = m_clock.now();
    DisplaySegment line;
    line.id = QStringLiteral("%1-L%2").arg(channel()).arg(m_counters->current(channel()));
    line.speaker = label;
    line.text = trimmed;
    line.firstSeen = m_provisional ? m_provisional->firstSeen : now;
    line.timecode = m_provisional ? m_provisional->timecode : wallClockTimecode(line.firstSeen);
    line.startSecs = m_offset + (std::isfinite(start) ? start : 0.0);
    line.endSecs = m_offset + (std::isfinite(end) ? end : 0.0);
    line.channel = channel();
    line.onDevice = true;

    m_changedFrom = m_finals.size();
    if (isFinal) {
        // The shown lines are kept apart from the finals, never shared with them: a shared list
        // would be copied whole by the next guess, a long day's lines on every utterance.
        if (m_display.size() > m_finals.size())
            m_display.last() = line;
        else
            m_display.append(line);
        m_finals.append(std::move(line));
        m_provisional.reset();
        m_counters->advance(channel());
    } else {
        m_provisional = std::move(line);
        if (m_display.size() > m_finals.size())
            m_display.last() = *m_provisional;
        else
            m_display.append(*m_provisional);
    }
    if (onUpdate)
        onUpdate(trimmed);
}

void LocalChannelStream::reportError(const QString& message)
{
    if (!onError)
        return;
    onError(label ? *label + QStringLiteral(": ") + message : message);
}

std::optional<double> LocalChannelStream::lastWordEnd() const
{
    if (m_provisional)
        return m_provisional->endSecs;
    if (!m_finals.isEmpty())
        return m_finals.last().endSecs;
    return std::nullopt;
}

QStringList LocalChannelStream::wordsSince(double cutoff) const
{
    QStringList words;
    for (const DisplaySegment& line : m_display) {
        if (line.endSecs >= cutoff)
            words.append(line.text.split(u' ', Qt::SkipEmptyParts));
    }
    return words;
}
