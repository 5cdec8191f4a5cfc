#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

// Whether the person at the desktop asked for less motion. Views that animate read it when a
// motion would start and put things at their end state instead; the frame clock hands it out.
//
// The desktop's own setting comes from the settings portal: GNOME's "enable-animations" turned
// off means reduced motion. Without a portal (or before it answers) motion is not reduced.
//
// Main thread only.
class MotionPreference : public QObject {
    Q_OBJECT

public:
    static inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
    static inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
    static inline const QString kSettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
    static inline const QString kNamespace = QStringLiteral("org.gnome.desktop.interface");
    static inline const QString kAnimationsKey = QStringLiteral("enable-animations");

    explicit MotionPreference(bool reduce = false, QObject* parent = nullptr);

    // The application's preference; it follows the desktop once followDesktop() ran.
    static MotionPreference& shared();

    [[nodiscard]] bool reduceMotion() const { return m_reduce; }
    void setReduceMotion(bool reduce);

    // Reads the desktop's setting from the portal on `bus` and follows its changes. Never waits.
    void followDesktop(const QDBusConnection& bus = QDBusConnection::sessionBus());

    // The portal's answer for the animations key: a boolean, possibly wrapped in variants (the
    // portal's Read wraps its value once more than ReadOne does). Anything else: none.
    [[nodiscard]] static std::optional<bool> animationsEnabled(const QVariant& answer);

Q_SIGNALS:
    void reduceMotionChanged(bool reduce);

private Q_SLOTS:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    bool m_reduce;
    bool m_following = false;
};
