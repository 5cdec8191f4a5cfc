#include "common/TestMain.h"

#include "test_transcriber_support.h"

#include <QFile>

using namespace transcriber_test;

namespace {

QString onStates(const DesktopTranscriber& engine)
{
    QString state;
    for (const ChannelConfig& config : engine.channels()) {
        state += config.on ? u'1' : u'0';
    }
    return state;
}

// The keys of every object in the array stored under `key` in a defaults file, in the order the
// file writes them.
QList<QStringList> keyOrders(const QByteArray& file, const QByteArray& key)
{
    QList<QStringList> objects;
    qsizetype i = file.indexOf('"' + key + '"');
    if (i < 0) {
        return objects;
    }
    i = file.indexOf('[', i);
    int depth = 0;
    for (; i >= 0 && i < file.size(); ++i) {
        const char c = file.at(i);
        if (c == '"') {
            qsizetype end = i + 1;
            while (end < file.size() && file.at(end) != '"') {
                end += file.at(end) == '\\' ? 2 : 1;
            }
            qsizetype next = end + 1;
            while (next < file.size() && std::isspace(static_cast<unsigned char>(file.at(next)))) {
                ++next;
            }
            if (depth == 2 && next < file.size() && file.at(next) == ':') {
                objects.last().append(QString::fromUtf8(file.mid(i + 1, end - i - 1)));
            }
            i = end;
        } else if (c == '[' || c == '{') {
            ++depth;
            if (c == '{' && depth == 2) {
                objects.append(QStringList());
            }
        } else if ((c == ']' || c == '}') && --depth == 0) {
            break;
        }
    }
    return objects;
}

} // namespace

// The engine's remaining faults around a run: the mixer of the running device, the first run's
// silence check, the recent-text query, messages naming devices, and stored settings.
class EngineFaultsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // While logging, the mixer stays the running device's whatever the system's default does;
    // its edits are stored for that device. After the stop it follows the default again.
    void mixerStaysTheRunningDevices_data()
    {
        QTest::addColumn<bool>("arrives");
        QTest::addColumn<QString>("notice");
        QTest::newRow("the default moves to another device") << false << QString();
        QTest::newRow("a new device arrives as the default")
            << true << QStringLiteral("Field connected, 6 channels. Stop, then pick it from Input to switch.");
    }
    void mixerStaysTheRunningDevices()
    {
        QFETCH(bool, arrives);
        QFETCH(QString, notice);
        Rig rig;
        const QStringList deskNames{"Boom", "Lav", "Plant", "Mix"};
        const auto desk = [&](bool isDefault) {
            return device(QStringLiteral("a"), QStringLiteral("Desk"), 4, isDefault, deskNames);
        };
        const AudioInputDevice field = device(QStringLiteral("b"), QStringLiteral("Field"), 6, true);
        rig.setDevices(arrives ? QList<AudioInputDevice>{desk(true)}
                               : QList<AudioInputDevice>{desk(true), device(field.uid, field.name, 6)});
        DesktopTranscriber& engine = rig.make();
        engine.start();
        rig.play(100ms);
        const QList<ChannelConfig> running = engine.channels();
        QSignalSpy channels(&engine, &DesktopTranscriber::channelsChanged);

        rig.setDevices({desk(false), field});
        QVERIFY(engine.running());
        QCOMPARE(engine.channels(), running);
        QCOMPARE(channels.count(), 0);
        QCOMPARE(engine.notice().value_or(QString()), notice);

        engine.setOn(1, false);
        engine.renameChannel(2, QStringLiteral("Cart"));
        engine.renameChannel(2, QStringLiteral(" "));
        QCOMPARE(engine.channels().at(2).name, QStringLiteral("Plant"));
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 2, 3}));
        QVERIFY(!rig.defaults->contains(DesktopTranscriber::channelsKey(field.uid)));
        const auto stored =
            ChannelConfig::decodeList(rig.defaults->value(DesktopTranscriber::channelsKey(QStringLiteral("a"))));
        QVERIFY(stored);
        QCOMPARE(*stored, engine.channels());

        engine.stop();
        QCOMPARE(engine.channels().size(), 6);
        QCOMPARE(engine.currentDevice()->uid, field.uid);
        QCOMPARE(onStates(engine), QStringLiteral("111111"));
    }

    // A first run mutes the channels that stayed silent, judging only those the device delivers.
    void silenceCheckJudgesDeliveredChannels_data()
    {
        QTest::addColumn<int>("delivered");
        QTest::addColumn<QList<int>>("silent");
        QTest::addColumn<QString>("on");
        QTest::addColumn<QString>("notice");
        QTest::newRow("4 of 6 delivered, all sounding") << 4 << QList<int>{} << "111111"
                                                        << "";
        QTest::newRow("4 of 6 delivered, one silent") << 4 << QList<int>{2} << "110111"
                                                      << "Muted Ch 3: no sound on it.";
        QTest::newRow("8 delivered for 6") << 8 << QList<int>{1, 7} << "101111"
                                           << "Muted Ch 2: no sound on it.";
        QTest::newRow("6 of 6 delivered") << 6 << QList<int>{0, 5} << "011110"
                                          << "Muted Ch 1, Ch 6: no sound on them.";
    }
    void silenceCheckJudgesDeliveredChannels()
    {
        QFETCH(int, delivered);
        QFETCH(QList<int>, silent);
        QFETCH(QString, on);
        QFETCH(QString, notice);
        Rig rig;
        rig.captureChannels = delivered;
        for (const int c : silent) {
            rig.voices[c] = tone(0.0f);
        }
        rig.setDevices({device(QStringLiteral("d"), QStringLiteral("Rack"), 6, true)});
        DesktopTranscriber& engine = rig.make(600);
        engine.start();
        rig.play(650ms);
        QCOMPARE(onStates(engine), on);
        QCOMPARE(engine.notice().value_or(QString()), notice);
        QCOMPARE(engine.openStreamChannels().size(), on.count(u'1'));
    }

    // Lines not yet placed in time are never "recent": they have no end to measure.
    void recentTextLeavesUntimedLinesOut_data()
    {
        QTest::addColumn<bool>("mic");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("window reaching back past the start") << false << 30.0 << "Ch 1: timed\nCh 2: late";
        QTest::newRow("window of the newest line") << false << 1.0 << "Ch 2: late";
        QTest::newRow("empty window") << false << 0.0 << "Ch 2: late";
        QTest::newRow("single microphone") << true << 30.0 << "timed late";
    }
    void recentTextLeavesUntimedLinesOut()
    {
        QFETCH(bool, mic);
        QFETCH(double, seconds);
        QFETCH(QString, expected);
        Rig rig;
        DesktopTranscriber& engine = rig.desk(mic ? 1 : 3);
        engine.start();
        ScriptedStream* a = rig.open(mic ? -1 : 0);
        ScriptedStream* b = rig.open(mic ? -1 : 1);
        QVERIFY(a && b);
        const Date t0 = engine.engineStart();
        a->put("1", "timed", 2.0, 4.0, t0);
        b->put("2", "untimed", -1.0, -1.0, t0.addingSeconds(3.0));
        b->put("3", "late", 5.0, 6.0, t0);
        a->put("4", "pending", -1.0, -1.0, t0.addingSeconds(7.0));
        a->announce("x");
        b->announce("y");
        QCOMPARE(engine.segments().size(), 4);
        QCOMPARE(engine.recentText(seconds), expected);
    }

    // A name holding "%" and digits reaches the text as it is.
    void messagesKeepNamesAsTheyAre_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("name");
        QTest::newRow("arrival while logging") << "arrive-running"
                                               << "Rig %2 %1 100%";
        QTest::newRow("arrival while idle") << "arrive-idle"
                                            << "Rig %1%2 %3";
        QTest::newRow("fewer channels than set") << "fewer"
                                                 << "Rig %2 %3 %1";
        QTest::newRow("refused input") << "refused"
                                       << "Rig %1 50%";
    }
    void messagesKeepNamesAsTheyAre()
    {
        QFETCH(QString, what);
        QFETCH(QString, name);
        Rig rig;
        if (what == QLatin1String("fewer")) {
            rig.captureChannels = 4;
            rig.setDevices({device(QStringLiteral("r"), name, 6, true)});
            DesktopTranscriber& engine = rig.make();
            engine.start();
            QCOMPARE(engine.status(), name + QStringLiteral(" is giving 4 of 6 channels"));
            return;
        }
        if (what == QLatin1String("refused")) {
            rig.refuseOpen = QStringLiteral("Busy.");
            rig.setDevices({device(QStringLiteral("r"), name, 6, true)});
            DesktopTranscriber& engine = rig.make();
            engine.start();
            QCOMPARE(engine.status(), QStringLiteral("Couldn't open ") + name);
            return;
        }
        DesktopTranscriber& engine = rig.desk(3);
        const bool running = what == QLatin1String("arrive-running");
        if (running) {
            engine.start();
        }
        rig.setDevices(
            {device(QStringLiteral("d"), QStringLiteral("Desk"), 3, true), device(QStringLiteral("r"), name, 6)});
        QCOMPARE(engine.notice(),
                 std::optional<QString>(name + (running ? QStringLiteral(" connected, 6 channels. Stop, then "
                                                                         "pick it from Input to switch.")
                                                        : QStringLiteral(" connected, 6 channels. Scanning "
                                                                         "them…"))));
    }

    // The stored settings carry each channel's keys in the order the record documents, and read
    // back to the same mixer, awkward names included.
    void storedSettingsKeepTheirKeyOrder()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(3);
        engine.renameChannel(1, QStringLiteral("Boom \"A\" \\ {x} [y], ünï"));
        engine.setFader(2, 0.25);
        engine.setAgent(0, false);
        QVERIFY(rig.defaults->flush());

        QFile file(rig.defaults->filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QList<QStringList> orders = keyOrders(bytes, "pindle_log_channels_d");
        QCOMPARE(orders.size(), 3);
        for (const QStringList& keys : orders) {
            QCOMPARE(keys, (QStringList{"index", "name", "on", "fader", "hidden", "agent"}));
        }

        Defaults reread(rig.defaults->filePath());
        QVERIFY(reread.value(DesktopTranscriber::channelsKey(QStringLiteral("d"))).isArray());
        const auto stored =
            ChannelConfig::decodeList(reread.value(DesktopTranscriber::channelsKey(QStringLiteral("d"))));
        QVERIFY(stored);
        QCOMPARE(*stored, engine.channels());
        QCOMPARE(stored->at(1).name, QStringLiteral("Boom \"A\" \\ {x} [y], ünï"));
    }
};

PINDLE_TEST(EngineFaultsTest)
#include "test_engine_faults.moc"
