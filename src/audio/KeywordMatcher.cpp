#include "audio/KeywordMatcher.h"

void KeywordMatcher::setKeywords(const QStringList& keywords)
{
    m_keywords = keywords;
    m_patterns.clear();
    m_patterns.reserve(static_cast<size_t>(keywords.size()));
    for (const QString& keyword : keywords) {
        const QString word = keyword.toLower().trimmed();
        if (word.isEmpty()) {
            continue;
        }
        QRegularExpression expression(QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(word)),
                                      QRegularExpression::UseUnicodePropertiesOption);
        expression.optimize();
        m_patterns.push_back({keyword, std::move(expression)});
    }
}

std::optional<QString> KeywordMatcher::firstMatch(const QString& text) const
{
    if (m_patterns.empty()) {
        return std::nullopt;
    }
    const QString lowered = text.toLower();
    for (const Pattern& pattern : m_patterns) {
        if (pattern.expression.match(lowered).hasMatch()) {
            return pattern.keyword;
        }
    }
    return std::nullopt;
}

std::optional<QString> KeywordMatcher::alertOnce(const DisplaySegment& segment)
{
    if (m_patterns.empty() || m_alerted.contains(segment.id)) {
        return std::nullopt;
    }
    std::optional<QString> hit = firstMatch(segment.text);
    if (hit) {
        m_alerted.insert(segment.id);
    }
    return hit;
}
