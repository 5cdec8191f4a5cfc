#include "model/LogTagStore.h"

#include "model/StoredStrings.h"
#include "platform/TextCuts.h"

LogTagStore::LogTagStore(Defaults& defaults, QObject* parent) : QObject(parent), m_defaults(defaults)
{
    // Tags from the file meet the rules of `add`: trimmed, not empty, none twice.
    for (const QString& text : storedStrings(defaults.value(key)).value_or(QStringList{})) {
        const QString tag = TextCuts::trimSpacesAndTabs(text);
        if (!tag.isEmpty() && !m_available.contains(tag))
            m_available.append(tag);
    }
    // An empty palette would leave the tag bar with nothing to offer, so it loads the defaults.
    if (m_available.isEmpty())
        m_available = defaultTags();
}

QStringList LogTagStore::defaultTags()
{
    return {QStringLiteral("Interview"), QStringLiteral("Piece to camera"),
            QStringLiteral("B-roll"),    QStringLiteral("GV"),
            QStringLiteral("Sync"),      QStringLiteral("Archive"),
            QStringLiteral("Emotion"),   QStringLiteral("Key fact"),
            QStringLiteral("Location"),  QStringLiteral("Person")};
}

void LogTagStore::add(const QString& text)
{
    const QString tag = TextCuts::trimSpacesAndTabs(text);
    if (tag.isEmpty() || m_available.contains(tag))
        return;
    m_available.append(tag);
    // Stored first, so whoever reacts to the change finds it already kept.
    save();
    Q_EMIT availableChanged();
}

void LogTagStore::save()
{
    m_defaults.set(key, m_available);
}
