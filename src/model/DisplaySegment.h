#pragma once

#include "platform/Date.h"

#include <QList>
#include <QString>

#include <optional>
#include <utility>

// One timed word of a transcript line, in seconds since the engine's start.
//
// A day holds hundreds of thousands of timed words but only thousands of different ones, and a
// string handle of its own would cost a word more than its timings: a word points at the word
// pool's one copy of its text (WordPool), and only a word the pool does not take holds a copy.
class Word {
public:
    Word() = default;
    Word(const QString& text, double start, double end);
    Word(const Word& other);
    Word(Word&& other) noexcept : start(other.start), end(other.end), m_text(std::exchange(other.m_text, 0)) {}
    Word& operator=(const Word& other);
    Word& operator=(Word&& other) noexcept;
    ~Word();

    [[nodiscard]] const QString& text() const;

    double start = 0.0;
    double end = 0.0;

    friend bool operator==(const Word& a, const Word& b)
    {
        return a.start == b.start && a.end == b.end && a.text() == b.text();
    }

private:
    // The pool's string, or (lowest bit set) one this word owns; 0 for the empty word.
    quintptr m_text = 0;
};

// One transcript line as the transcription engine publishes it.
struct DisplaySegment {
    // Unique within the engine's transcript: cloud lines "<channel>-<utterance>", demo lines
    // "<channel>-D<n>", on-device lines their own scheme.
    QString id;
    // The channel's name when the line was made; absent when neither stream nor service named one.
    std::optional<QString> speaker;
    QString text;
    // Wall-clock time of day "HH:MM:SS" when first seen; empty for demo lines.
    QString timecode;
    // Seconds since the engine start of the first word's start and the last word's end;
    // -1 when the line has no word timing.
    double startSecs = -1.0;
    double endSecs = -1.0;
    Date firstSeen;
    // Input channel index; -1 for the whole input in single-microphone mode.
    int channel = 0;
    // Beside the channel, in the room its alignment leaves: a day holds several copies of each line.
    bool onDevice = false;
    QList<Word> words;

    [[nodiscard]] bool hasTiming() const { return startSecs >= 0.0; }

    // The line's moment: engine start + startSecs when timed, else when it was first seen.
    [[nodiscard]] Date moment(Date engineStart) const
    {
        return hasTiming() ? engineStart.addingSeconds(startSecs) : firstSeen;
    }

    // The line's end: engine start + endSecs when timed, else `now`; never before its moment.
    [[nodiscard]] Date end(Date engineStart, Date now) const
    {
        const Date start = moment(engineStart);
        const Date candidate = endSecs >= 0.0 ? engineStart.addingSeconds(endSecs) : now;
        return candidate < start ? start : candidate;
    }

    friend bool operator==(const DisplaySegment&, const DisplaySegment&) = default;
};

// Lines move by memcpy when a long transcript grows or takes a late line in the middle.
Q_DECLARE_TYPEINFO(Word, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(DisplaySegment, Q_RELOCATABLE_TYPE);
