#include "export/EdlWriter.h"

#include "export/LogExportText.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace LogExport {

namespace {

constexpr int reelWidth = 8;
constexpr int reelMaxCharacters = 32;
constexpr int titleMaxCharacters = 60;
constexpr int clipNameMaxCharacters = 80;
// Event line, clip-name and comment lines of a typical marker.
constexpr qsizetype bytesPerEventGuess = 224;

using ToFrames = std::function<std::optional<qint64>(const QString&)>;
using ToText = std::function<QString(qint64)>;

// The reel field: one token (every kind of space becomes "_", as readers split fields at any of
// them), at most 32 characters, padded to 8.
QString reelField(const QString& reel)
{
    QString name = clean(reel);
    for (QChar& c : name) {
        if (c.isSpace())
            c = QLatin1Char('_');
    }
    name = name.isEmpty() ? QStringLiteral("AX") : leftCharacters(name, reelMaxCharacters);
    const int characters = characterCount(name, reelWidth);
    if (characters < reelWidth)
        name += QString(reelWidth - characters, QLatin1Char(' '));
    return name;
}

// "%03d": at least three digits.
void appendEventNumber(QString& out, qint64 number)
{
    if (number < 10)
        out += QLatin1String("00");
    else if (number < 100)
        out += QLatin1Char('0');
    out += QString::number(number);
}

// The frame after the last one the conversions name. Timecodes name the frames of one day, from
// frame 0: a later frame formats as a label early in the day, which reads back as another frame.
// Nothing when frame 0 has no label or no frame is past the day.
std::optional<qint64> dayEnd(const ToFrames& timecodeToFrames, const ToText& framesToTimecode)
{
    const auto labelled = [&](qint64 frames) { return timecodeToFrames(framesToTimecode(frames)) == frames; };
    qint64 inside = 0;
    qint64 past = std::numeric_limits<qint64>::max();
    if (!labelled(inside) || labelled(past))
        return std::nullopt;
    while (past - inside > 1) {
        const qint64 middle = inside + (past - inside) / 2;
        (labelled(middle) ? inside : past) = middle;
    }
    return past;
}

// Source in and out frames of a marker; nothing when its timecode does not convert or the frames
// leave the 64-bit range.
std::optional<EdlEvent> eventOf(const LoggableMarker& marker, qsizetype index, qint64 handle,
                                const ToFrames& timecodeToFrames, std::optional<qint64> dayEnd)
{
    const std::optional<qint64> sourceIn = timecodeToFrames(marker.timecode);
    if (!sourceIn)
        return std::nullopt;
    qint64 sourceOut = *sourceIn;
    if (marker.timecodeOut) {
        if (const auto out = timecodeToFrames(*marker.timecodeOut))
            sourceOut = *out;
    }
    qint64 in = 0;
    qint64 oneFrameOn = 0;
    qint64 out = 0;
    if (__builtin_sub_overflow(*sourceIn, handle, &in) || __builtin_add_overflow(*sourceIn, 1, &oneFrameOn) ||
        __builtin_add_overflow(std::max(oneFrameOn, sourceOut), handle, &out))
        return std::nullopt;
    in = std::max<qint64>(in, 0);
    // Only a converter that hands out negative frames could leave the cut shorter than a frame.
    // in is at most max(source in, 0), and source in + 1 did not overflow: neither does in + 1.
    if (out <= in)
        out = in + 1;
    // An out past the day's last label would read as a time before the in, and readers refuse
    // the whole list: the event ends on that label, and one starting there starts a frame early.
    if (dayEnd && in < *dayEnd && out >= *dayEnd) {
        out = *dayEnd - 1;
        if (out <= in)
            in = std::max<qint64>(out - 1, 0);
    }
    return EdlEvent{in, out, index};
}

} // namespace

QList<EdlEvent> sortEvents(QList<EdlEvent> events)
{
    std::stable_sort(events.begin(), events.end(), [](const EdlEvent& a, const EdlEvent& b) { return a.in < b.in; });
    return events;
}

std::optional<qint64> eventTimecodeFrames(const CameraTimecode::Format& format, const QString& text)
{
    return format.parseFrames(text);
}

QString eventTimecodeText(const CameraTimecode::Format& format, qint64 frames)
{
    return format.formatFrames(frames);
}

QString edl(const QList<LoggableMarker>& markers, const QString& title, const QString& reel, bool dropFrame, int handle,
            qint64 recordStart, const std::function<std::optional<qint64>(const QString&)>& timecodeToFrames,
            const std::function<QString(qint64)>& framesToTimecode)
{
    const qint64 handleFrames = std::max(handle, 0);
    const std::optional<qint64> pastTheDay =
        timecodeToFrames && framesToTimecode ? dayEnd(timecodeToFrames, framesToTimecode) : std::nullopt;
    QList<EdlEvent> events;
    events.reserve(markers.size());
    // Without both conversions no marker can be placed.
    for (qsizetype i = 0; timecodeToFrames && framesToTimecode && i < markers.size(); ++i) {
        if (const auto event = eventOf(markers[i], i, handleFrames, timecodeToFrames, pastTheDay))
            events.append(*event);
    }
    events = sortEvents(std::move(events));

    // The reel field and the fixed track and transition columns are the same on every line.
    const QString reelColumns = QLatin1String("  ") + reelField(reel) + QLatin1String(" AA/V  C        ");
    auto appendTimecode = [&](QString& out, QString text) {
        // A non-drop list must not carry the drop-frame separator.
        if (!dropFrame)
            text.replace(QLatin1Char(';'), QLatin1Char(':'));
        out += text;
    };

    QString out;
    out.reserve(128 + events.size() * bytesPerEventGuess);
    out += QLatin1String("TITLE: ");
    out += leftCharacters(plainPunctuation(clean(title)).toUpper(), titleMaxCharacters);
    out += dropFrame ? QLatin1String("\r\nFCM: DROP FRAME\r\n") : QLatin1String("\r\nFCM: NON-DROP FRAME\r\n");

    qint64 cursor = recordStart;
    qint64 number = 0;
    for (const EdlEvent& event : std::as_const(events)) {
        qint64 recordOut = 0;
        if (__builtin_add_overflow(cursor, event.out - event.in, &recordOut))
            continue;
        // The record side is one day of labels as well: the sequence stops at its last label.
        qint64 sourceOut = event.out;
        if (pastTheDay && cursor < *pastTheDay && recordOut >= *pastTheDay) {
            recordOut = *pastTheDay - 1;
            if (recordOut <= cursor)
                break;
            sourceOut = event.in + (recordOut - cursor);
        }
        const LoggableMarker& marker = markers[event.marker];
        out += QLatin1String("\r\n");
        appendEventNumber(out, ++number);
        out += reelColumns;
        appendTimecode(out, framesToTimecode(event.in));
        out += QLatin1Char(' ');
        appendTimecode(out, framesToTimecode(sourceOut));
        out += QLatin1Char(' ');
        appendTimecode(out, framesToTimecode(cursor));
        out += QLatin1Char(' ');
        appendTimecode(out, framesToTimecode(recordOut));

        out += QLatin1String("\r\n* FROM CLIP NAME: ");
        out += leftCharacters(plainPunctuation(firstNonEmpty({marker.summary, marker.quote, marker.markerType})),
                              clipNameMaxCharacters);

        out += QLatin1String("\r\n* COMMENT: ");
        out += plainPunctuation(clean(marker.markerType)).toUpper();
        if (marker.speaker) {
            const QString speaker = clean(*marker.speaker);
            if (!speaker.isEmpty()) {
                out += QLatin1String(" | ");
                out += plainPunctuation(speaker);
            }
        }
        // A note that is there but blank still shows its separator.
        if (marker.manualNote) {
            out += QLatin1String(" | ");
            out += plainPunctuation(clean(*marker.manualNote));
        }
        out += QLatin1String("\r\n");
        cursor = recordOut;
    }
    return out;
}

} // namespace LogExport
