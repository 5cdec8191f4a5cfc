#include "audio/TranscriptQueries.h"

#include "audio/StreamSet.h"
#include "audio/TranscriptBook.h"

#include <QStringList>

TranscriptQueries::TranscriptQueries(const TranscriptBook& book, const StreamSet& streams)
    : m_book(book), m_streams(streams)
{
}

QString TranscriptQueries::speakerLine(const DisplaySegment& segment)
{
    return segment.speaker ? *segment.speaker + QStringLiteral(": ") + segment.text : segment.text;
}

QString TranscriptQueries::fullTranscript() const
{
    // Joined when read rather than at every merge: a long transcript makes a long text.
    if (m_stale) {
        QStringList lines;
        lines.reserve(m_book.size());
        for (const DisplaySegment& segment : m_book.rows()) {
            lines.append(speakerLine(segment));
        }
        m_full = lines.join(QLatin1Char('\n'));
        m_stale = false;
    }
    return m_full;
}

std::optional<double> TranscriptQueries::newestWordEnd() const
{
    return m_streams.newestWordEnd();
}

QString TranscriptQueries::recentText(double seconds, bool withSpeakers) const
{
    // Only what streams heard counts (none in the demo).
    const std::optional<double> newest = m_streams.newestWordEnd();
    if (!newest) {
        return {};
    }
    const double cutoff = *newest - seconds;
    QStringList lines;
    // From the first row that may reach the cutoff: a press late in a day reads seconds of it.
    const QList<DisplaySegment>& rows = m_book.rows();
    for (qsizetype row = m_book.firstEndingFrom(cutoff); row < rows.size(); ++row) {
        const DisplaySegment& segment = rows.at(row);
        // A line not yet placed in time has no end to measure (its -1 would pass any early cutoff).
        if (segment.hasTiming() && segment.endSecs >= cutoff) {
            lines.append(withSpeakers ? speakerLine(segment) : segment.text);
        }
    }
    if (!lines.isEmpty()) {
        return lines.join(withSpeakers ? QStringLiteral("\n") : QStringLiteral(" "));
    }
    // Nothing finished that recently: the words still being heard.
    return m_streams.wordsSince(cutoff).join(QLatin1Char(' '));
}

QString TranscriptQueries::textInWindow(double t, double window) const
{
    QStringList lines;
    const QList<DisplaySegment>& rows = m_book.rows();
    for (qsizetype row = m_book.firstEndingFrom(t - window); row < rows.size(); ++row) {
        const DisplaySegment& segment = rows.at(row);
        if (segment.endSecs >= 0.0 && segment.endSecs <= t && segment.endSecs > t - window) {
            lines.append(speakerLine(segment));
        }
    }
    return lines.join(QLatin1Char('\n'));
}
