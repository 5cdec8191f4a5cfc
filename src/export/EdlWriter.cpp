#include "export/EdlWriter.h"

#include "export/LogExportText.h"

#include <algorithm>
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

// Timecodes name the frames of one day: a frame past the day's last label formats as a label
// early in the day (the converter wraps), and reading that back gives another frame.
bool isLabelled(qint64 frames, const QString& text, const ToFrames& timecodeToFrames)
{
    return timecodeToFrames(text) == frames;
}

// The last labelled frame from `labelled` on, before `unlabelled`; frames are labelled up to the
// day's end and not after it.
qint64 lastLabelled(qint64 labelled, qint64 unlabelled, const ToFrames& timecodeToFrames,
                    const ToText& framesToTimecode)
{
    while (unlabelled - labelled > 1) {
        const qint64 middle = labelled + (unlabelled - labelled) / 2;
        (isLabelled(middle, framesToTimecode(middle), timecodeToFrames) ? labelled : unlabelled) = middle;
    }
    return labelled;
}

// Source in and out frames of a marker; nothing when its timecode does not convert or the frames
// leave the 64-bit range.
std::optional<EdlEvent> eventOf(const LoggableMarker& marker, qsizetype index, qint64 handle,
                                const ToFrames& timecodeToFrames, const ToText& framesToTimecode)
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
    if (out != sourceOut && !isLabelled(out, framesToTimecode(out), timecodeToFrames) &&
        isLabelled(in, framesToTimecode(in), timecodeToFrames)) {
        out = lastLabelled(in, out, timecodeToFrames, framesToTimecode);
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
    QList<EdlEvent> events;
    events.reserve(markers.size());
    // Without both conversions no marker can be placed.
    for (qsizetype i = 0; timecodeToFrames && framesToTimecode && i < markers.size(); ++i) {
        if (const auto event = eventOf(markers[i], i, handleFrames, timecodeToFrames, framesToTimecode))
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
    bool cursorLabelled = !events.isEmpty() && isLabelled(cursor, framesToTimecode(cursor), timecodeToFrames);
    qint64 number = 0;
    for (const EdlEvent& event : std::as_const(events)) {
        qint64 recordOut = 0;
        if (__builtin_add_overflow(cursor, event.out - event.in, &recordOut))
            continue;
        QString recordOutText = framesToTimecode(recordOut);
        // The record side is one day of labels as well: the sequence stops at its last label.
        qint64 sourceOut = event.out;
        if (cursorLabelled && !isLabelled(recordOut, recordOutText, timecodeToFrames)) {
            recordOut = lastLabelled(cursor, recordOut, timecodeToFrames, framesToTimecode);
            if (recordOut == cursor)
                break;
            recordOutText = framesToTimecode(recordOut);
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
        appendTimecode(out, std::move(recordOutText));

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
