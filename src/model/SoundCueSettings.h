#pragma once

#include "platform/Defaults.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

// Which sound cues (laughter, applause ...) the detector marks and how sure it must be. Read
// once when created; nothing in the application changes them afterwards, so there is no setter
// and no change signal. Main thread only.
class SoundCueSettings : public QObject {
    Q_OBJECT

public:
    static inline const QString enKey = QStringLiteral("pindle_sound_cues");
    static inline const QString thKey = QStringLiteral("pindle_sound_threshold");
    static constexpr double defaultThreshold = 0.7;

    explicit SoundCueSettings(Defaults& defaults = Defaults::shared(), QObject* parent = nullptr);

    [[nodiscard]] static QSet<QString> defaultCues();

    // A set: the detector asks only whether a label is in it, and order has no meaning.
    [[nodiscard]] const QSet<QString>& enabled() const { return m_enabled; }
    // In (0, 1]; a stored value outside reads as the default.
    [[nodiscard]] double threshold() const { return m_threshold; }

private:
    QSet<QString> m_enabled;
    double m_threshold = defaultThreshold;
};
