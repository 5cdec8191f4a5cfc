// Keyword hits and the queries that pick transcript text for a marked moment.
#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"

#include <algorithm>

namespace {

QString speakerLine(const DisplaySegment& segment)
{
    return segment.speaker ? *segment.speaker + QStringLiteral(": ") + segment.text : segment.text;
}

// The newest word end any of `open` knows.
std::optional<double> newestWordEnd(const CapturePath::StreamMap& open)
{
    std::optional<double> newest;
    for (const auto& stream : open) {
        const std::optional<double> end = stream->lastWordEnd();
        if (end && (!newest || *end > *newest)) {
            newest = end;
        }
    }
    return newest;
}

} // namespace

void DesktopTranscriber::transcriptChanged()
{
    m_fullTranscriptStale = true;
    Q_EMIT fullTranscriptChanged();
    Q_EMIT segmentsChanged();
}

QString DesktopTranscriber::fullTranscript() const
{
    // Joined when read rather than at every merge: a long transcript makes a long text.
    if (m_fullTranscriptStale) {
        QStringList lines;
        lines.reserve(m_book.size());
        for (const DisplaySegment& segment : m_book.rows()) {
            lines.append(speakerLine(segment));
        }
        m_fullTranscript = lines.join(QLatin1Char('\n'));
        m_fullTranscriptStale = false;
    }
    return m_fullTranscript;
}

void DesktopTranscriber::setKeywords(const QStringList& keywords)
{
    if (keywords == m_keywords.keywords()) {
        return;
    }
    m_keywords.setKeywords(keywords);
    m_recheckKeywords = true;
}

void DesktopTranscriber::setOnKeyword(KeywordHandler handler)
{
    m_onKeyword = std::move(handler);
    m_recheckKeywords = true;
}

void DesktopTranscriber::checkKeywords(const QStringList& ids)
{
    if (m_keywords.isEmpty() || !m_onKeyword || m_book.size() == 0) {
        return;
    }
    struct Hit {
        int channel;
        QString keyword;
        DisplaySegment line;
    };
    QList<Hit> hits;
    const auto check = [this, &hits](const DisplaySegment& segment) {
        if (std::optional<QString> keyword = m_keywords.alertOnce(segment)) {
            hits.append({segment.channel, *keyword, segment});
        }
    };
    if (m_recheckKeywords) {
        // New words (or a new listener) look at every line once, as a whole merge would.
        m_recheckKeywords = false;
        for (const DisplaySegment& segment : m_book.rows()) {
            check(segment);
        }
    } else {
        QList<qsizetype> rows;
        rows.reserve(ids.size());
        for (const QString& id : ids) {
            if (const auto row = m_book.rowOf(id)) {
                rows.append(*row);
            }
        }
        std::sort(rows.begin(), rows.end());
        for (const qsizetype row : std::as_const(rows)) {
            check(m_book.rows().at(row));
        }
    }
    // Reported after the walk: a listener may change the transcript.
    const KeywordHandler handler = m_onKeyword;
    for (const Hit& hit : std::as_const(hits)) {
        handler(hit.channel, hit.keyword, hit.line);
    }
}

std::optional<double> DesktopTranscriber::currentTranscriptTime() const
{
    if (m_isDemo) {
        // The demo has no streams: its newest line ends where the clock stood when it played.
        std::optional<double> newest;
        for (const DisplaySegment& segment : m_demoSegs) {
            if (!newest || segment.endSecs > *newest) {
                newest = segment.endSecs;
            }
        }
        return newest;
    }
    return newestWordEnd(m_path->streams());
}

QString DesktopTranscriber::recentText(double seconds) const
{
    // Only what streams heard counts (none in the demo).
    const std::optional<double> newest = newestWordEnd(m_path->streams());
    if (!newest) {
        return {};
    }
    const double cutoff = *newest - seconds;
    const bool withSpeakers = !m_channels.isEmpty();
    QStringList lines;
    for (const DisplaySegment& segment : m_book.rows()) {
        // A line not yet placed in time has no end to measure (its -1 would pass any early cutoff).
        if (segment.hasTiming() && segment.endSecs >= cutoff) {
            lines.append(withSpeakers ? speakerLine(segment) : segment.text);
        }
    }
    if (!lines.isEmpty()) {
        return lines.join(withSpeakers ? QStringLiteral("\n") : QStringLiteral(" "));
    }
    // Nothing finished that recently: the words still being heard.
    QStringList words;
    for (const int channel : openStreamChannels()) {
        if (const auto stream = m_path->stream(channel)) {
            words.append(stream->wordsSince(cutoff));
        }
    }
    return words.join(QLatin1Char(' '));
}

QString DesktopTranscriber::textInWindow(double t, double window) const
{
    QStringList lines;
    for (const DisplaySegment& segment : m_book.rows()) {
        if (segment.endSecs >= 0.0 && segment.endSecs <= t && segment.endSecs > t - window) {
            lines.append(speakerLine(segment));
        }
    }
    return lines.join(QLatin1Char('\n'));
}
