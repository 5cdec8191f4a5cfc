#include "platform/MotionPreference.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

// Variants nest: a portal wraps the setting's value in one or two of them.
constexpr int kMostWrappings = 4;

} // namespace

MotionPreference::MotionPreference(bool reduce, QObject* parent) : QObject(parent), m_reduce(reduce)
{
}

MotionPreference& MotionPreference::shared()
{
    static MotionPreference preference;
    return preference;
}

void MotionPreference::setReduceMotion(bool reduce)
{
    if (reduce == m_reduce)
        return;
    m_reduce = reduce;
    Q_EMIT reduceMotionChanged(reduce);
}

std::optional<bool> MotionPreference::animationsEnabled(const QVariant& answer)
{
    QVariant value = answer;
    for (int i = 0; i < kMostWrappings; ++i) {
        if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
            value = value.value<QDBusVariant>().variant();
            continue;
        }
        if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
            const auto argument = value.value<QDBusArgument>();
            if (argument.currentType() != QDBusArgument::VariantType)
                return std::nullopt;
            value = qdbus_cast<QDBusVariant>(argument).variant();
            continue;
        }
        break;
    }
    if (value.metaType() != QMetaType::fromType<bool>())
        return std::nullopt;
    return value.toBool();
}

void MotionPreference::followDesktop(const QDBusConnection& bus)
{
    if (m_following || !bus.isConnected())
        return;
    m_following = true;
    QDBusConnection(bus).connect(kPortalService, kPortalPath, kSettingsInterface, QStringLiteral("SettingChanged"),
                                 this, SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface, QStringLiteral("Read"));
    read << kNamespace << kAnimationsKey;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        if (const std::optional<bool> enabled = animationsEnabled(reply.arguments().constFirst()))
            setReduceMotion(!*enabled);
    });
}

void MotionPreference::settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group != kNamespace || key != kAnimationsKey)
        return;
    if (const std::optional<bool> enabled = animationsEnabled(QVariant::fromValue(value)))
        setReduceMotion(!*enabled);
}
