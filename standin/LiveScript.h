#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

namespace standin {

// One step of a script that a test hands the streaming socket instead of the recogniser. Values
// that end up in the frame ("id", "text", "speaker", "words", "code", "message") are passed on as
// given, wrong types included, so that a test can send the client anything.
struct ScriptStep {
    enum class Kind {
        Interim, // a "live_transcript" with "interim": true
        Final,   // a "live_transcript" with "interim": false
        Error,   // {"type": "error", "code", "message"?}; the socket stays open
        Raw,     // "text" sent as one text frame as it is
        Binary,  // "pad_bytes" zero bytes as one binary frame
        Close,   // a close frame with "close_code" (1011 unless given)
        Abort,   // the connection cut without a close frame
    };

    Kind kind = Kind::Final;
    // When the step is played: this long after the start message was accepted, or once this much
    // audio (at 16 kHz) has arrived. Exactly one of them is set.
    std::optional<int> afterMs;
    std::optional<qint64> afterAudioMs;
    // The step's own fields, as the test sent them.
    QJsonObject fields;
    // Spaces (or zero bytes for Binary) added to the frame: JSON stays valid, the frame grows.
    qsizetype padBytes = 0;
    int closeCode = 1011;

    // Interim and final steps without an "id" take the connection's utterance under way.
    [[nodiscard]] bool needsUtteranceId() const;
    // The text frame of an Interim, Final, Error or Raw step; `utteranceId` fills a missing "id".
    [[nodiscard]] QByteArray textFrame(const QJsonValue& utteranceId) const;
};

// The speaker of every result the stand-in makes up, the recogniser's and a script's alike.
inline constexpr const char* kDefaultSpeaker = "Speaker 1";

// Reads {"results": [step, ...]}. Each step: "type" ("interim", "final", "error", "raw",
// "binary", "close", "abort"); "after_ms" or "after_audio_ms" (0 when neither); "id", "text",
// "speaker", "words" (sent as "wordTimings"), "omit" (frame keys to leave out), "code",
// "message", "pad_bytes", "close_code".
[[nodiscard]] std::optional<QList<ScriptStep>> parseScript(const QJsonObject& body, QString& problem);

} // namespace standin
