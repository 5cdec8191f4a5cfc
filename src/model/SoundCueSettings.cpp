#include "model/SoundCueSettings.h"

#include "model/StoredStrings.h"

SoundCueSettings::SoundCueSettings(Defaults& defaults, QObject* parent) : QObject(parent)
{
    // An empty stored array is a choice (no cues), unlike a missing or mistyped value or an
    // array with no cue left to read.
    const QJsonValue cues = defaults.value(enKey);
    const std::optional<QStringList> stored = storedStrings(cues);
    if (stored && (!stored->isEmpty() || cues.toArray().isEmpty()))
        m_enabled = QSet<QString>(stored->cbegin(), stored->cend());
    else
        m_enabled = defaultCues();

    // A confidence: above 1 nothing would ever be marked.
    const auto threshold = defaults.number(thKey);
    m_threshold = threshold && *threshold > 0 && *threshold <= 1 ? *threshold : defaultThreshold;
}

QSet<QString> SoundCueSettings::defaultCues()
{
    return {QStringLiteral("laughter"), QStringLiteral("applause"), QStringLiteral("cheering")};
}
