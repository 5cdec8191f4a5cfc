#include "model/LogKeywordStore.h"

#include "model/StoredStrings.h"

namespace {

// The words of `text` that `words` lacks, as `add` takes them.
QStringList newWords(const QStringList& words, const QString& text)
{
    QStringList found;
    for (const QString& piece : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString word = piece.trimmed();
        if (!word.isEmpty() && !words.contains(word, Qt::CaseInsensitive) && !found.contains(word, Qt::CaseInsensitive))
            found.append(word);
    }
    return found;
}

} // namespace

LogKeywordStore::LogKeywordStore(Defaults& defaults, QObject* parent) : QObject(parent), m_defaults(defaults)
{
    // Words from the file meet the rules of `add`: trimmed, no commas, none twice ignoring case.
    for (const QString& stored : storedStrings(defaults.value(key)).value_or(QStringList{}))
        m_words.append(newWords(m_words, stored));
}

void LogKeywordStore::add(const QString& text)
{
    for (const QString& word : newWords(m_words, text)) {
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
