#pragma once

#include "model/DisplaySegment.h"

#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The logger's keywords, compiled once per change of the list, and the memory of which
// transcript lines already raised a hit: a line raises at most one hit, ever, even when its text
// grows or a second keyword appears in it.
//
// A keyword matches as a whole word without regard to case: it is lower-cased and trimmed, and
// found between word boundaries in the lower-cased line; its other characters are literal
// ("a+b" matches only "a+b"). Word boundaries follow Unicode, so "café" is a word. Main thread.
class KeywordMatcher {
public:
    // Keeps `keywords` as given (hits report them so) and compiles one pattern each; keywords
    // that are empty once trimmed are skipped.
    void setKeywords(const QStringList& keywords);
    [[nodiscard]] const QStringList& keywords() const { return m_keywords; }
    // No keyword can match.
    [[nodiscard]] bool isEmpty() const { return m_patterns.empty(); }

    // The first keyword in list order found in `text`, as stored; nullopt when none.
    [[nodiscard]] std::optional<QString> firstMatch(const QString& text) const;

    // The hit `segment` raises now: its first matching keyword, unless the line already raised
    // one. A hit is remembered under the line's id.
    [[nodiscard]] std::optional<QString> alertOnce(const DisplaySegment& segment);
    [[nodiscard]] bool wasAlerted(const QString& lineId) const { return m_alerted.contains(lineId); }
    [[nodiscard]] const QSet<QString>& alertedLines() const { return m_alerted; }
    // A new run: every line may raise a hit again.
    void clearAlerted() { m_alerted.clear(); }

private:
    struct Pattern {
        QString keyword;
        QRegularExpression expression;
    };

    QStringList m_keywords;
    std::vector<Pattern> m_patterns;
    QSet<QString> m_alerted;
};
