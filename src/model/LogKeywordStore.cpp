#include "model/LogKeywordStore.h"

LogKeywordStore::LogKeywordStore(Defaults& defaults, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_words(defaults.stringList(key).value_or(QStringList{}))
{
}

void LogKeywordStore::add(const QString& text)
{
    const QStringList pieces = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        const QString word = piece.trimmed();
        if (word.isEmpty() || m_words.contains(word, Qt::CaseInsensitive))
            continue;
        QStringList grown = m_words;
        grown.append(word);
        assign(std::move(grown));
    }
}

void LogKeywordStore::remove(const QString& word)
{
    QStringList kept = m_words;
    kept.removeAll(word);
    assign(std::move(kept));
}

void LogKeywordStore::save()
{
    m_defaults.set(key, m_words);
}

void LogKeywordStore::assign(QStringList words)
{
    m_words = std::move(words);
    // Stored first, so whoever reacts to the change finds it already kept.
    save();
    Q_EMIT wordsChanged();
}
