#include "export/AleWriter.h"

#include "export/LogExportText.h"

namespace LogExport {

namespace {

// A rough row size, so that the text grows by few reallocations.
constexpr qsizetype bytesPerRowGuess = 192;

void appendKeywords(QString& out, const QStringList& tags)
{
    bool first = true;
    for (const QString& tag : tags) {
        const QString cleaned = clean(tag);
        if (cleaned.isEmpty())
            continue;
        if (!first)
            out += QLatin1String(", ");
        out += cleaned;
        first = false;
    }
}

} // namespace

QString ale(const QList<LoggableMarker>& markers, const QString& fps, const QString& videoFormat,
            const std::optional<QString>& tape,
            const std::function<std::optional<qint64>(const QString&)>& timecodeToFrames,
            const std::function<QString(qint64)>& framesToTimecode)
{
    const QString tapeName = tape ? clean(*tape) : QString();
    const bool withTape = !tapeName.isEmpty();

    QString out;
    out.reserve(256 + markers.size() * bytesPerRowGuess);
    out += QLatin1String("Heading\n"
                         "FIELD_DELIM\tTABS\n"
                         "VIDEO_FORMAT\t");
    out += clean(videoFormat);
    out += QLatin1String("\nAUDIO_FORMAT\t48khz\n"
                         "FPS\t");
    out += clean(fps);
    out += QLatin1String("\n\n"
                         "Column\n"
                         "Name\tTracks\tStart\tEnd\t");
    if (withTape)
        out += QLatin1String("Tape\t");
    out += QLatin1String("Comments\tType\tKeywords\tSpeaker\tNote\tQuote\n"
                         "\n"
                         "Data\n");

    for (qsizetype i = 0; timecodeToFrames && framesToTimecode && i < markers.size(); ++i) {
        const LoggableMarker& marker = markers[i];
        // Readers refuse the whole log for one Start that is no timecode, or one End before it.
        const std::optional<qint64> parsedStart = timecodeToFrames(clean(marker.timecode));
        if (!parsedStart)
            continue;
        const qint64 start = *parsedStart;
        qint64 end = start;
        if (marker.timecodeOut) {
            const std::optional<qint64> parsedEnd = timecodeToFrames(clean(*marker.timecodeOut));
            if (parsedEnd && *parsedEnd >= start)
                end = *parsedEnd;
        }
        out += firstNonEmpty({marker.summary, marker.quote, marker.markerType});
        out += QLatin1String("\tVA1A2\t");
        out += framesToTimecode(start);
        out += QLatin1Char('\t');
        out += framesToTimecode(end);
        out += QLatin1Char('\t');
        if (withTape) {
            out += tapeName;
            out += QLatin1Char('\t');
        }
        out += firstNonEmpty({marker.manualNote, marker.summary, marker.quote});
        out += QLatin1Char('\t');
        out += clean(marker.markerType);
        out += QLatin1Char('\t');
        appendKeywords(out, marker.tags);
        out += QLatin1Char('\t');
        if (marker.speaker)
            out += clean(*marker.speaker);
        out += QLatin1Char('\t');
        if (marker.manualNote)
            out += clean(*marker.manualNote);
        out += QLatin1Char('\t');
        if (marker.quote)
            out += clean(*marker.quote);
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace LogExport
