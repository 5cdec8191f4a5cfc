#include "audio/KeywordAlerts.h"

#include "audio/TranscriptBook.h"

#include <algorithm>

KeywordAlerts::KeywordAlerts(const TranscriptBook& book) : m_book(book)
{
}

void KeywordAlerts::setKeywords(const QStringList& keywords)
{
    if (keywords == m_matcher.keywords()) {
        return;
    }
    m_matcher.setKeywords(keywords);
    m_recheck = true;
}

void KeywordAlerts::setHandler(Handler handler)
{
    m_handler = std::move(handler);
    m_recheck = true;
}

void KeywordAlerts::check(const QStringList& ids)
{
    if (m_matcher.isEmpty() || !m_handler || m_book.size() == 0) {
        return;
    }
    struct Hit {
        int channel;
        QString keyword;
        DisplaySegment line;
    };
    QList<Hit> hits;
    const auto check = [this, &hits](const DisplaySegment& segment) {
        if (std::optional<QString> keyword = m_matcher.alertOnce(segment)) {
            hits.append({segment.channel, *keyword, segment});
        }
    };
    if (m_recheck) {
        m_recheck = false;
        for (const DisplaySegment& segment : m_book.rows()) {
            check(segment);
        }
    } else {
        QList<qsizetype> rows;
        rows.reserve(ids.size());
        for (const QString& id : ids) {
            if (const auto row = m_book.rowOf(id)) {
                rows.append(*row);
            }
        }
        std::sort(rows.begin(), rows.end());
        for (const qsizetype row : std::as_const(rows)) {
            check(m_book.rows().at(row));
        }
    }
    const Handler handler = m_handler;
    for (const Hit& hit : std::as_const(hits)) {
        handler(hit.channel, hit.keyword, hit.line);
    }
}
