#pragma once

#include "audio/KeywordMatcher.h"
#include "model/DisplaySegment.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class TranscriptBook;

// Keyword alerts on the published transcript: the keywords, the handler, and which lines have
// alerted (each line once per run). A change of the words or of the handler makes the next check
// look at every line again, as a whole merge would. Main thread only.
class KeywordAlerts {
public:
    using Handler = std::function<void(int channel, const QString& keyword, const DisplaySegment& line)>;

    explicit KeywordAlerts(const TranscriptBook& book);

    [[nodiscard]] const QStringList& keywords() const { return m_matcher.keywords(); }
    void setKeywords(const QStringList& keywords);
    void setHandler(Handler handler);
    [[nodiscard]] const QSet<QString>& alertedLines() const { return m_matcher.alertedLines(); }
    void clearAlerted() { m_matcher.clearAlerted(); }

    // Checks the lines `ids` (added or changed in the book) and reports each first hit, in book
    // order, after the walk: a handler may change the transcript.
    void check(const QStringList& ids);

private:
    const TranscriptBook& m_book;
    KeywordMatcher m_matcher;
    Handler m_handler;
    bool m_recheck = false;
};
