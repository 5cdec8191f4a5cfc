#pragma once

#include "model/DisplaySegment.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

// The JSON frames of the service's transcription socket: the messages the logger sends, and the
// checked reading of what it receives. Every received frame is untrusted: it is size-capped,
// every field is type-checked and length-capped, malformed word entries are skipped, and times
// must be finite and plausible. Reading never throws.
namespace StreamMessages {

// Frames larger than this are ignored unread.
inline constexpr qsizetype kMaxFrameBytes = 256 * 1024;
// Longer text is cut between two user-perceived characters (TextCuts::cutToUnits).
inline constexpr qsizetype kMaxTextChars = 10000;
// A longer utterance id makes the result unusable (a cut id could merge two utterances).
inline constexpr qsizetype kMaxIdChars = 200;
// A longer speaker is cut; a longer refusal code makes the refusal unusable.
inline constexpr qsizetype kMaxSpeakerChars = 200;
inline constexpr qsizetype kMaxCodeChars = 200;
// A word of more characters is skipped; words beyond this count are skipped.
inline constexpr qsizetype kMaxWordChars = 200;
inline constexpr qsizetype kMaxWords = 5000;
// Word times are seconds from the start of the stream's audio: a word must satisfy
// 0 <= start <= end <= this (about 11.5 days, far beyond any shoot day).
inline constexpr double kMaxWordSeconds = 1.0e6;

// {"type": "error", "code": ...}: the service refuses to transcribe.
struct Refusal {
    QString code;
    // The service's explanation, when it sent a string (cut like a text).
    std::optional<QString> message;
};

// {"type": "live_transcript", ...}: one interim or final result of one utterance. The words keep
// the service's times (seconds from the start of the stream's audio).
struct TranscriptResult {
    QString id = QStringLiteral("0");
    bool interim = false;
    // Trimmed of blanks (not line breaks), as trimSpacesAndTabs.
    QString text;
    // Absent when missing or empty.
    std::optional<QString> speaker;
    QList<Word> words;
};

// A frame of no use to the logger (another type, not an object, too large, malformed).
struct Ignored {};

using Received = std::variant<Ignored, Refusal, TranscriptResult>;

// Reads one received text frame (UTF-8).
[[nodiscard]] Received parse(QByteArrayView utf8);

// The first text message of a stream. "resume" is sent only when the stream does not count as
// the start of the shoot's session; "token" only when there is one (an empty one as "").
[[nodiscard]] QByteArray startMessage(bool countsAsStart, const std::optional<QString>& token);
// The last text message of a stream.
[[nodiscard]] QByteArray stopMessage();

// Trims blanks, not line breaks, from both ends: TextCuts' rule (tabs and every Unicode space).
[[nodiscard]] QString trimSpacesAndTabs(const QString& text);

} // namespace StreamMessages
