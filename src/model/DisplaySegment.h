#pragma once

#include "platform/Date.h"

#include <QList>
#include <QString>

#include <optional>

// One timed word of a transcript line, in seconds since the engine's start.
struct Word {
    QString text;
    double start = 0.0;
    double end = 0.0;

    friend bool operator==(const Word&, const Word&) = default;
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
