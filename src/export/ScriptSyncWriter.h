#pragma once

#include "model/LoggableMarker.h"
#include "platform/Date.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

// Plain-text scripts for Avid ScriptSync: the words of the selected moments, and the whole
// transcript as speaker turns with filler words and stutters taken out. LF line ends.
namespace LogExport {

// One speaker turn of the transcript, as the logging screen hands it over.
struct TranscriptTurn {
    std::optional<QString> speaker;
    QString text;

    friend bool operator==(const TranscriptTurn&, const TranscriptTurn&) = default;
};

// The upper-cased title, then each marker's quoted words (else its summary) as a paragraph.
[[nodiscard]] QString scriptSyncSelects(const QList<LoggableMarker>& markers, const QString& title);

// The upper-cased title, "Recorded <long date>", then the turns cleaned of fillers; consecutive
// turns of one speaker merge into one paragraph. The date is in the user's locale and zone.
[[nodiscard]] QString cleanTranscript(const QList<TranscriptTurn>& turns, const QString& title, Date date);

// As above, with the date written in `locale` and the time zone `timeZoneId` (the system zone
// when empty).
[[nodiscard]] QString cleanTranscript(const QList<TranscriptTurn>& turns, const QString& title, Date date,
                                      const QLocale& locale, const QByteArray& timeZoneId);

// One turn's text without filler words (um, uh, erm, er, ah; hm and mm standing alone) and
// stutters ("the the" -> "the"; "had had" and "that that" stay), spaced like prose, with a
// capital first letter. A text of nothing but fillers gives "".
[[nodiscard]] QString removeFillers(const QString& text);

} // namespace LogExport
