#pragma once

#include "model/DisplaySegment.h"

#include <QString>

#include <optional>

class StreamSet;
class TranscriptBook;

// The transcript as text, for the screen and for a marked moment: the whole of it, the lines of
// a time window, the newest words. Reads the book and the open streams; keeps only the joined
// whole, made again when read after a change. Times are seconds since the engine's start.
// Main thread only.
class TranscriptQueries {
public:
    TranscriptQueries(const TranscriptBook& book, const StreamSet& streams);

    // The book changed.
    void invalidate() { m_stale = true; }
    // One "speaker: text" (or text) per line, joined by newlines.
    [[nodiscard]] QString fullTranscript() const;
    // The newest word end any open stream knows; nullopt before the first word.
    [[nodiscard]] std::optional<double> newestWordEnd() const;
    // The timed lines ending in the last `seconds` before the newest word (with their speakers,
    // one per line, when `withSpeakers`; else the texts joined by spaces); when none, the words
    // still being heard in that time.
    [[nodiscard]] QString recentText(double seconds, bool withSpeakers) const;
    // The lines ending in (t - window, t], one per line.
    [[nodiscard]] QString textInWindow(double t, double window) const;

    [[nodiscard]] static QString speakerLine(const DisplaySegment& segment);

private:
    const TranscriptBook& m_book;
    const StreamSet& m_streams;
    mutable QString m_full;
    mutable bool m_stale = false;
};
