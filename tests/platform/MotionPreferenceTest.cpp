#include "platform/MotionPreference.h"
#include "common/TestMain.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

namespace {

QVariant wrapped(const QVariant& value, int times)
{
    QVariant result = value;
    for (int i = 0; i < times; ++i)
        result = QVariant::fromValue(QDBusVariant(result));
    return result;
}

// A settings portal of the test's own on its own connection to the session bus: it answers Read
// for the animations key with what it is given (wrapped twice, as the portal's Read does) and
// announces changes as the portal does.
class PortalServer final : public QDBusVirtualObject {
public:
    explicit PortalServer(QVariant animations)
        : m_animations(std::move(animations)),
          m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("portal")))
    {
        m_ready = m_bus.isConnected() && m_bus.registerVirtualObject(MotionPreference::kPortalPath, this) &&
                  m_bus.registerService(MotionPreference::kPortalService);
    }
    ~PortalServer() override
    {
        m_bus.unregisterService(MotionPreference::kPortalService);
        m_bus.unregisterObject(MotionPreference::kPortalPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    }

    [[nodiscard]] bool isReady() const { return m_ready; }
    [[nodiscard]] int reads() const { return m_reads; }

    void announce(const QString& group, const QString& key, const QVariant& value)
    {
        QDBusMessage message = QDBusMessage::createSignal(
            MotionPreference::kPortalPath, MotionPreference::kSettingsInterface, QStringLiteral("SettingChanged"));
        message.setArguments({group, key, QVariant::fromValue(QDBusVariant(value))});
        m_bus.send(message);
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("Read") || message.arguments().size() != 2)
            return false;
        ++m_reads;
        if (message.arguments().at(0).toString() != MotionPreference::kNamespace ||
            message.arguments().at(1).toString() != MotionPreference::kAnimationsKey)
            return connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                                                            QStringLiteral("no such setting")));
        return connection.send(message.createReply(wrapped(m_animations, 2)));
    }

private:
    QVariant m_animations;
    QDBusConnection m_bus;
    int m_reads = 0;
    bool m_ready = false;
};

} // namespace

// Whether motion is reduced, from the desktop's settings portal over a real session bus.
class MotionPreferenceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void animationsEnabled_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<int>("enabled");
        QTest::newRow("bare true") << QVariant(true) << 1;
        QTest::newRow("bare false") << QVariant(false) << 0;
        QTest::newRow("wrapped once") << wrapped(false, 1) << 0;
        QTest::newRow("wrapped twice") << wrapped(true, 2) << 1;
        QTest::newRow("wrapped too deep") << wrapped(false, 6) << -1;
        QTest::newRow("a text") << wrapped(QStringLiteral("false"), 1) << -1;
        QTest::newRow("a number") << wrapped(0, 2) << -1;
        QTest::newRow("nothing") << QVariant() << -1;
    }

    // The portal's value, however it is wrapped; anything but a boolean means no answer.
    void animationsEnabled()
    {
        QFETCH(QVariant, answer);
        QFETCH(int, enabled);
        const std::optional<bool> read = MotionPreference::animationsEnabled(answer);
        QCOMPARE(read.has_value(), enabled >= 0);
        if (read)
            QCOMPARE(*read, enabled == 1);
    }

    // Animations off on the desktop reduce motion; a change of the setting follows, other settings
    // and malformed values do not; setting the same value again says nothing.
    void followsThePortal()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus (scripts/test runs one)");
        PortalServer portal(false);
        QVERIFY(portal.isReady());
        MotionPreference preference;
        QSignalSpy changed(&preference, &MotionPreference::reduceMotionChanged);
        preference.followDesktop();
        QTRY_VERIFY(preference.reduceMotion());
        QCOMPARE(changed.size(), 1);
        preference.followDesktop();
        QCOMPARE(portal.reads(), 1);

        // Signals arrive in order: a key or value taken wrongly would flip the preference
        // back and forth and show in the count.
        portal.announce(MotionPreference::kNamespace, QStringLiteral("gtk-enable-animations"), true);
        portal.announce(QStringLiteral("org.example"), MotionPreference::kAnimationsKey, true);
        portal.announce(MotionPreference::kNamespace, MotionPreference::kAnimationsKey, QStringLiteral("yes"));
        portal.announce(MotionPreference::kNamespace, MotionPreference::kAnimationsKey, false);
        portal.announce(MotionPreference::kNamespace, MotionPreference::kAnimationsKey, true);
        QTRY_VERIFY(!preference.reduceMotion());
        QCOMPARE(changed.size(), 2);
        preference.setReduceMotion(false);
        QCOMPARE(changed.size(), 2);
    }
};

PINDLE_TEST(MotionPreferenceTest)
#include "MotionPreferenceTest.moc"
