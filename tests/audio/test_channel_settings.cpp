#include "common/TestMain.h"

#include "audio/ChannelSettings.h"
#include "platform/Defaults.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <memory>

namespace {

AudioInputDevice desk(int channels, const QString& uid = QStringLiteral("desk"), QStringList names = {})
{
    AudioInputDevice d;
    d.uid = uid;
    d.name = QStringLiteral("Desk");
    d.channelCount = channels;
    d.channelNames = names.isEmpty() ? QStringList(channels, QString()) : names;
    return d;
}

// Settings on a defaults file of their own; `stored` (JSON text) is what the device had.
struct SettingsRig {
    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults = std::make_unique<Defaults>(dir.filePath(QStringLiteral("defaults.json")));
    ChannelSettings settings{*defaults};

    void store(const QString& uid, const QByteArray& json)
    {
        defaults->setJson(ChannelSettings::storageKey(uid), json);
    }
    void show(const std::optional<AudioInputDevice>& device) { settings.setChannels(settings.load(device)); }
    // What a later start reads back for `uid`.
    QList<ChannelConfig> reread(const QString& uid) const
    {
        defaults->flush();
        const Defaults again(dir.filePath(QStringLiteral("defaults.json")));
        return ChannelConfig::decodeList(again.value(ChannelSettings::storageKey(uid)))
            .value_or(QList<ChannelConfig>{});
    }
};

} // namespace

// The mixer's settings on their own: what a device loads, what each edit changes and stores, and
// that the demo's pretend mixer never reaches a real device's stored settings.
class ChannelSettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void load_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("fresh");
        QTest::addColumn<QString>("firstName");

        QTest::newRow("no device") << -1 << QByteArray() << 0 << false << QString();
        QTest::newRow("stereo is a single microphone") << 2 << QByteArray() << 0 << false << QString();
        QTest::newRow("three inputs, nothing stored") << 3 << QByteArray() << 3 << true << "Ch 1";
        QTest::newRow("stored first channel")
            << 4 << QByteArray(R"([{"index":0,"name":"Boom","on":false,"fader":0.5,"hidden":false,"agent":true}])") << 4
            << false << "Boom";
        QTest::newRow("stored beyond the inputs is left out")
            << 3 << QByteArray(R"([{"index":7,"name":"Far","on":true,"fader":0.5,"hidden":false,"agent":true}])") << 3
            << false << "Ch 1";
        QTest::newRow("stored list that does not decode counts as none")
            << 3 << QByteArray(R"([{"index":"zero"}])") << 3 << true << "Ch 1";
        QTest::newRow("stored empty list is fresh") << 5 << QByteArray("[]") << 5 << true << "Ch 1";
    }
    void load()
    {
        QFETCH(int, inputs);
        QFETCH(QByteArray, stored);
        QFETCH(int, count);
        QFETCH(bool, fresh);
        QFETCH(QString, firstName);
        SettingsRig rig;
        if (!stored.isEmpty()) {
            rig.store(QStringLiteral("desk"), stored);
        }
        const std::optional<AudioInputDevice> device =
            inputs < 0 ? std::nullopt : std::optional<AudioInputDevice>(desk(inputs));
        QSignalSpy published(&rig.settings, &ChannelSettings::channelsChanged);
        const QList<ChannelConfig> loaded = rig.settings.load(device);
        // Loading is not showing: the engine publishes the meters first.
        QCOMPARE(published.count(), 0);
        QCOMPARE(loaded.size(), count);
        QCOMPARE(rig.settings.isFresh(), fresh);
        QCOMPARE(rig.settings.deviceUid(), device ? std::optional<QString>(device->uid) : std::nullopt);
        if (count > 0) {
            QCOMPARE(loaded.first().name, firstName);
        }
        rig.settings.setChannels(loaded);
        QCOMPARE(published.count(), count > 0 ? 1 : 0);
        QCOMPARE(rig.settings.liveCount(), count > 0 ? int(std::count_if(loaded.cbegin(), loaded.cend(),
                                                                         [](const auto& c) { return c.isLive(); }))
                                                     : 1);
    }

    // Each edit: whether it reports, what the channel becomes, whether it settles fresh settings,
    // and that what it stored reads back the same.
    void edits_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("index");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("reports");
        QTest::addColumn<bool>("settles");
        QTest::addColumn<double>("fader");
        QTest::addColumn<bool>("on");

        const double unity = ChannelConfig::kUnityFader;
        QTest::newRow("mute") << "on" << 1 << QVariant(false) << true << true << unity << false;
        QTest::newRow("unmute an unmuted channel") << "on" << 1 << QVariant(true) << false << false << unity << true;
        QTest::newRow("mute an unknown channel") << "on" << 9 << QVariant(false) << false << false << unity << true;
        QTest::newRow("fader") << "fader" << 1 << QVariant(0.25) << true << true << 0.25 << true;
        QTest::newRow("fader to the same value still reports")
            << "fader" << 1 << QVariant(unity) << true << true << unity << true;
        QTest::newRow("fader above the top") << "fader" << 1 << QVariant(3.0) << true << true << 1.0 << true;
        QTest::newRow("fader below the bottom") << "fader" << 1 << QVariant(-0.5) << true << true << 0.0 << true;
        QTest::newRow("NaN fader is all the way down")
            << "fader" << 1 << QVariant(std::numeric_limits<double>::quiet_NaN()) << true << true << 0.0 << true;
        QTest::newRow("infinite fader is the top")
            << "fader" << 1 << QVariant(std::numeric_limits<double>::infinity()) << true << true << 1.0 << true;
        QTest::newRow("fader of an unknown channel")
            << "fader" << -1 << QVariant(0.5) << false << false << unity << true;
        QTest::newRow("watch only") << "hidden" << 1 << QVariant(true) << true << false << unity << true;
        QTest::newRow("watch only again") << "hidden" << 1 << QVariant(false) << false << false << unity << true;
        QTest::newRow("agent off") << "agent" << 1 << QVariant(false) << true << false << unity << true;
        QTest::newRow("agent unchanged still reports")
            << "agent" << 1 << QVariant(true) << true << false << unity << true;
    }
    void edits()
    {
        QFETCH(QString, edit);
        QFETCH(int, index);
        QFETCH(QVariant, value);
        QFETCH(bool, reports);
        QFETCH(bool, settles);
        QFETCH(double, fader);
        QFETCH(bool, on);
        SettingsRig rig;
        rig.show(desk(3));
        QVERIFY(rig.settings.isFresh());
        const std::optional<ChannelConfig> was = rig.settings.channel(1);

        std::optional<ChannelConfig> before;
        if (edit == QLatin1String("on")) {
            before = rig.settings.setOn(index, value.toBool());
        } else if (edit == QLatin1String("fader")) {
            before = rig.settings.setFader(index, value.toDouble());
        } else if (edit == QLatin1String("hidden")) {
            before = rig.settings.setHidden(index, value.toBool());
        } else {
            before = rig.settings.setAgent(index, value.toBool());
        }
        QCOMPARE(before.has_value(), reports);
        if (before) {
            QCOMPARE(*before, *was);
        }
        QCOMPARE(rig.settings.isFresh(), !settles);
        const ChannelConfig now = *rig.settings.channel(1);
        QCOMPARE(now.fader, fader);
        QCOMPARE(now.on, on);
        if (reports) {
            QCOMPARE(rig.reread(QStringLiteral("desk")), rig.settings.channels());
        } else {
            QVERIFY(!rig.defaults->contains(ChannelSettings::storageKey(QStringLiteral("desk"))));
        }
    }

    // Unmuting a channel whose fader sits at the off line brings it back to unity, or it would
    // stay silent; a fader just above the line is left alone.
    void unmuteLiftsAClosedFader_data()
    {
        QTest::addColumn<double>("fader");
        QTest::addColumn<double>("after");
        QTest::newRow("at the off line") << ChannelConfig::kOffFader << ChannelConfig::kUnityFader;
        QTest::newRow("all the way down") << 0.0 << ChannelConfig::kUnityFader;
        QTest::newRow("just above the line") << 0.006 << 0.006;
    }
    void unmuteLiftsAClosedFader()
    {
        QFETCH(double, fader);
        QFETCH(double, after);
        SettingsRig rig;
        rig.show(desk(3));
        QVERIFY(rig.settings.setOn(0, false));
        QVERIFY(rig.settings.setFader(0, fader));
        const std::optional<ChannelConfig> before = rig.settings.setOn(0, true);
        QVERIFY(before && !before->isLive());
        QCOMPARE(rig.settings.channel(0)->fader, after);
        QVERIFY(rig.settings.channel(0)->isLive());
    }

    void rename_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("given");
        QTest::newRow("plain") << "Boom"
                               << "Boom";
        QTest::newRow("trimmed") << "  Lav 2 \t"
                                 << "Lav 2";
        QTest::newRow("blank takes the device's name back") << " \n "
                                                            << "Mic B";
        QTest::newRow("empty takes the device's name back") << ""
                                                            << "Mic B";
        QTest::newRow("markers stay as typed") << "%1 and %2"
                                               << "%1 and %2";
    }
    void rename()
    {
        QFETCH(QString, name);
        QFETCH(QString, given);
        SettingsRig rig;
        rig.show(desk(3, QStringLiteral("desk"), {QStringLiteral("Mic A"), QStringLiteral("Mic B"), QString()}));
        QCOMPARE(rig.settings.rename(1, name), std::optional<QString>(given));
        QCOMPARE(rig.settings.channel(1)->name, given);
        QCOMPARE(rig.reread(QStringLiteral("desk")).at(1).name, given);
        QCOMPARE(rig.settings.rename(5, name), std::nullopt);
    }

    // Once the demo showed its mixer nothing reaches the defaults, not even edits of a real
    // device's settings loaded afterwards.
    void pretendSettingsAreNeverStored()
    {
        SettingsRig rig;
        rig.show(desk(4));
        rig.settings.showPretend({ChannelConfig{0, QStringLiteral("Host"), true, 0.5, false, true},
                                  ChannelConfig{1, QStringLiteral("Guest"), true, 0.5, false, true}});
        QCOMPARE(rig.settings.channels().size(), 2);
        QVERIFY(!rig.settings.isFresh());
        QVERIFY(rig.settings.setOn(1, false));
        QVERIFY(rig.settings.rename(0, QStringLiteral("Anchor")));
        rig.show(desk(4));
        QVERIFY(rig.settings.setFader(2, 0.1));
        QVERIFY(!rig.defaults->contains(ChannelSettings::storageKey(QStringLiteral("desk"))));
    }

    // Edits are stored for the device the list was loaded for, never another.
    void editsGoToTheLoadedDevice()
    {
        SettingsRig rig;
        rig.show(desk(3, QStringLiteral("a")));
        QVERIFY(rig.settings.setOn(2, false));
        rig.show(desk(3, QStringLiteral("b")));
        QVERIFY(rig.settings.channel(2)->on);
        QVERIFY(rig.settings.setHidden(0, true));
        QVERIFY(!rig.reread(QStringLiteral("a")).at(2).on);
        QVERIFY(!rig.reread(QStringLiteral("a")).at(0).hidden);
        QVERIFY(rig.reread(QStringLiteral("b")).at(0).hidden);
    }

    // Only channels that are on, delivered and quieter than the threshold are silent.
    void silentChannels_data()
    {
        QTest::addColumn<QList<float>>("peaks");
        QTest::addColumn<QList<int>>("silent");
        const float t = 0.1f;
        QTest::newRow("all loud") << QList<float>{0.5f, 0.5f, 0.5f, 0.5f} << QList<int>{};
        QTest::newRow("one quiet") << QList<float>{0.5f, 0.01f, 0.5f, 0.5f} << QList<int>{1};
        QTest::newRow("at the threshold is heard") << QList<float>{t, 0.5f, 0.5f, 0.5f} << QList<int>{};
        QTest::newRow("just below it is not")
            << QList<float>{std::nextafter(t, 0.0f), 0.5f, 0.5f, 0.5f} << QList<int>{0};
        QTest::newRow("a muted channel is not judged") << QList<float>{0.5f, 0.5f, 0.0f, 0.5f} << QList<int>{};
        QTest::newRow("fewer delivered than configured") << QList<float>{0.0f, 0.0f} << QList<int>{0, 1};
        QTest::newRow("nothing delivered") << QList<float>{} << QList<int>{};
        QTest::newRow("more delivered than configured")
            << QList<float>{0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f} << QList<int>{3};
    }
    void silentChannels()
    {
        QFETCH(QList<float>, peaks);
        QFETCH(QList<int>, silent);
        SettingsRig rig;
        rig.show(desk(4));
        QVERIFY(rig.settings.setOn(2, false));
        QList<int> found;
        for (const ChannelConfig& config : rig.settings.silentChannels(peaks, 0.1f)) {
            found.append(config.index);
        }
        QCOMPARE(found, silent);
    }
};

PINDLE_TEST(ChannelSettingsTest)
#include "test_channel_settings.moc"
