// The streams of a run: opening, closing and re-routing single channels, their callbacks, and
// the merge of their lines into the published transcript.
#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"
#include "audio/ChannelStream.h"
#include "audio/LocalChannelStream.h"
#include "platform/AudioCapture.h"
#include "service/APIService.h"

#include <QPointer>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <span>

namespace {

// Brings `shownIds` (the ids merged last time) up to `display` and gives the lines to upsert and
// the ids that left. Rows before `from` are known to be unchanged. The book holds the last merged
// version of every line and leaves equal ones alone, so every row from `from` on is handed over.
void followDisplay(QStringList& shownIds, const QList<DisplaySegment>& display, qsizetype from,
                   std::span<const DisplaySegment>& changed, QStringList& gone)
{
    from = std::clamp<qsizetype>(from, 0, std::min(shownIds.size(), display.size()));
    changed = std::span<const DisplaySegment>(display.constData() + from, size_t(display.size() - from));

    bool same = shownIds.size() <= display.size();
    for (qsizetype row = from; same && row < shownIds.size(); ++row) {
        same = shownIds.at(row) == display.at(row).id;
    }
    if (!same) {
        QSet<QString> present;
        for (qsizetype row = from; row < display.size(); ++row) {
            present.insert(display.at(row).id);
        }
        for (qsizetype row = from; row < shownIds.size(); ++row) {
            if (!present.contains(shownIds.at(row))) {
                gone.append(shownIds.at(row));
            }
        }
    }
    shownIds.resize(from);
    for (qsizetype row = from; row < display.size(); ++row) {
        shownIds.append(display.at(row).id);
    }
}

// How many leading rows of the stream's display its last change left alone.
qsizetype unchangedRows(const TranscriptStream& stream)
{
    return stream.displayChangedFrom();
}

} // namespace

std::shared_ptr<TranscriptStream> DesktopTranscriber::makeStream(const StreamRequest& request)
{
    if (m_env.makeStream) {
        return m_env.makeStream(request);
    }
    if (request.onDevice) {
        if (!m_localLineCounters)
            m_localLineCounters = std::make_shared<LocalLineCounters>();
        return std::make_shared<LocalChannelStream>(request.channel, request.label, request.offset, m_localLineCounters,
                                                    nullptr, &m_clock);
    }
    APIService& service = m_env.service != nullptr ? *m_env.service : APIService::shared();
    return std::make_shared<ChannelStream>(request.channel, request.offset, request.countsAsStart, service, &m_clock);
}

bool DesktopTranscriber::usesOnDevice(int index) const
{
    if (index < 0 || !m_env.onDeviceAvailable.value_or(false) || m_monitorChannel == index) {
        return false;
    }
    const qsizetype position = positionOf(index);
    return position >= 0 && m_channels.at(position).hidden;
}

std::shared_ptr<TranscriptStream> DesktopTranscriber::stream(int index) const
{
    return m_path->stream(index);
}

QList<int> DesktopTranscriber::openStreamChannels() const
{
    QList<int> channels = m_path->streams().keys();
    std::sort(channels.begin(), channels.end());
    return channels;
}

void DesktopTranscriber::openStream(int index, const std::optional<QString>& label, float gain)
{
    // The demo's voices are scripted: nothing is transcribed.
    if (m_isDemo) {
        return;
    }
    StreamRequest request;
    request.channel = index;
    request.label = label;
    request.offset = now().secondsSince(m_engineStart);
    // The first stream of a run opens the service's session; every later one resumes it.
    request.countsAsStart = m_path->streams().isEmpty();
    request.onDevice = usesOnDevice(index);

    std::shared_ptr<TranscriptStream> stream = makeStream(request);
    if (!stream) {
        return;
    }
    QPointer<DesktopTranscriber> self(this);
    const TranscriptStream* identity = stream.get();
    stream->label = label;
    stream->shootToken = m_shootToken;
    stream->onRefused = [self, index, identity](const QString& code) {
        if (self) {
            self->handleRefusal(index, identity, code);
        }
    };
    stream->setGain(gain);
    stream->onUpdate = [self, index, identity](const QString& text) {
        if (self) {
            self->streamUpdated(index, identity, text);
        }
    };
    stream->onError = [self, index, identity](const QString& message) {
        if (self) {
            self->streamFailed(index, identity, message);
        }
    };

    const std::shared_ptr<TranscriptStream> replaced = m_path->insertStream(index, stream);
    m_views.insert(index, StreamView{identity, {}});
    if (replaced) {
        stopStreams({replaced});
    }
    stream->start();
}

void DesktopTranscriber::closeStream(int index)
{
    const std::shared_ptr<TranscriptStream> closed = m_path->takeStream(index);
    m_views.remove(index);
    if (closed) {
        stopStreams({closed});
    }
}

void DesktopTranscriber::syncChannelStream(qsizetype position, bool wasLive)
{
    if (!m_running || m_channels.isEmpty() || position < 0 || position >= m_channels.size()) {
        return;
    }
    const ChannelConfig config = m_channels.at(position);
    if (config.isLive() == wasLive) {
        return;
    }
    if (wasLive) {
        closeStream(config.index);
    } else {
        openStream(config.index, config.name, config.gain());
    }
    rebuildTranscript();
}

void DesktopTranscriber::rerouteChannel(int index)
{
    const qsizetype position = positionOf(index);
    if (!m_running || position < 0 || !m_channels.at(position).isLive()) {
        return;
    }
    const std::shared_ptr<TranscriptStream> open = m_path->stream(index);
    if (!open || open->onDevice() == usesOnDevice(index)) {
        return;
    }
    const ChannelConfig config = m_channels.at(position);
    closeStream(index);
    openStream(config.index, config.name, config.gain());
    rebuildTranscript();
}

void DesktopTranscriber::rebuildTranscript()
{
    // A mixer change during the demo leaves the demo transcript in place.
    if (m_isDemo) {
        const QStringList touched = m_book.replaceAll(m_demoSegs);
        checkKeywords(touched);
        return;
    }
    const CapturePath::StreamMap open = m_path->streams();
    QList<DisplaySegment> all;
    for (auto it = open.cbegin(); it != open.cend(); ++it) {
        const QList<DisplaySegment>& display = it.value()->display();
        all.append(display);
        QStringList shownIds;
        shownIds.reserve(display.size());
        for (const DisplaySegment& segment : display) {
            shownIds.append(segment.id);
        }
        m_views.insert(it.key(), StreamView{it.value().get(), std::move(shownIds)});
    }
    const QStringList touched = m_book.replaceAll(all);
    checkKeywords(touched);
}

void DesktopTranscriber::streamUpdated(int index, const TranscriptStream* stream, const QString& text)
{
    const auto view = m_views.find(index);
    const std::shared_ptr<TranscriptStream> open = m_path->stream(index);
    // A stream that was closed meanwhile no longer speaks for its channel.
    if (view == m_views.end() || !open || open.get() != stream || view->stream != stream) {
        return;
    }
    const QList<DisplaySegment>& display = open->display();
    std::span<const DisplaySegment> changed;
    QStringList gone;
    // Read after display(), which may itself rebuild the lines (a new label).
    followDisplay(view->shownIds, display, unchangedRows(*open), changed, gone);
    // A copy of the few changed lines: a listener of the book might make the stream rebuild.
    const QList<DisplaySegment> lines(changed.begin(), changed.end());
    if (!gone.isEmpty()) {
        m_book.remove(gone);
    }
    const QStringList touched = m_book.upsert(lines);
    checkKeywords(touched);

    if (m_running) {
        setStatus(QStringLiteral("Listening…"));
    }
    setLatestLine(text);
}

void DesktopTranscriber::streamFailed(int index, const TranscriptStream* stream, const QString& message)
{
    const std::shared_ptr<TranscriptStream> open = m_path->stream(index);
    if (!open || open.get() != stream) {
        return;
    }
    if (m_running) {
        setStatus(message);
    }
}

void DesktopTranscriber::handleRefusal(int index, const TranscriptStream* stream, const QString& code)
{
    const std::shared_ptr<TranscriptStream> open = m_path->stream(index);
    if (!open || open.get() != stream) {
        return;
    }
    if (code == QLatin1String("shoot_ended") || code == QLatin1String("shoot_required")) {
        // The screen stops and starts again with a new shoot token.
        if (onShootEnded) {
            onShootEnded();
        }
        return;
    }
    setStatus(QStringLiteral("Pindle refused transcription (") + code + QStringLiteral(")."));
}

void DesktopTranscriber::scheduleSilenceCheck()
{
    // Armed for the channels the device delivers: the path only gathers peaks when the counts
    // match, and a device giving fewer (or more) channels than its settings is common.
    const std::optional<CaptureFormat> format = m_capture ? m_capture->format() : std::nullopt;
    m_path->armPeakSinceStart(format ? format->channelCount : int(m_channels.size()));
    const quint64 run = m_runGeneration;
    m_clock.singleShot(std::chrono::milliseconds(std::max(m_env.silenceCheckDelayMs, 0)), this,
                       [this, run] { muteSilentChannels(run); });
}

void DesktopTranscriber::muteSilentChannels(quint64 run)
{
    if (run != m_runGeneration || !m_running || !m_freshConfig) {
        return;
    }
    const QList<float> peaks = m_path->peakSinceStart();
    QStringList muted;
    // setOn changes the list; walk a copy.
    const QList<ChannelConfig> configs = m_channels;
    for (const ChannelConfig& config : configs) {
        // A channel the device does not deliver was not heard at all: nothing to judge.
        if (config.index < 0 || config.index >= peaks.size()) {
            continue;
        }
        if (config.on && peaks.at(config.index) < kSilentPeak) {
            setOn(config.index, false);
            muted.append(config.name);
        }
    }
    m_freshConfig = false;
    if (!muted.isEmpty()) {
        setNotice(QStringLiteral("Muted %1: no sound on %2.")
                      .arg(muted.join(QStringLiteral(", ")),
                           muted.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    }
}
