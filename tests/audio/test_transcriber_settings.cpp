#include "common/TestMain.h"

#include "test_transcriber_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

using namespace transcriber_test;

namespace {

QJsonValue parsed(const char* json)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json));
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

ChannelConfig config(int index, const QString& name, bool on, double fader, bool hidden = false, bool agent = true)
{
    return ChannelConfig{index, name, on, fader, hidden, agent};
}

} // namespace

class TranscriberSettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gainLaw_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<double>("fader");
        QTest::addColumn<bool>("live");
        QTest::addColumn<double>("gain");
        QTest::addColumn<QString>("label");

        QTest::newRow("unity") << true << 40.0 / 46.0 << true << 1.0 << "0 dB";
        QTest::newRow("top") << true << 1.0 << true << std::pow(10.0, 6.0 / 20.0) << "+6 dB";
        QTest::newRow("just above off") << true << 0.0051 << true << std::pow(10.0, (0.0051 * 46 - 40) / 20)
                                        << "-40 dB";
        QTest::newRow("at the off line") << true << 0.005 << false << 0.0 << "Off";
        QTest::newRow("below off") << true << 0.004 << false << 0.0 << "Off";
        QTest::newRow("half") << true << 0.5 << true << std::pow(10.0, -17.0 / 20.0) << "-17 dB";
        QTest::newRow("a half rounds away from zero") << true << 0.75 << true << std::pow(10.0, -5.5 / 20.0) << "-6 dB";
        QTest::newRow("muted keeps its gain") << false << 1.0 << false << std::pow(10.0, 6.0 / 20.0) << "Off";
        QTest::newRow("NaN fader is off") << true << std::nan("") << false << 0.0 << "Off";
        QTest::newRow("past the top stays at +6") << true << 7.0 << true << std::pow(10.0, 6.0 / 20.0) << "+6 dB";
    }
    void gainLaw()
    {
        QFETCH(bool, on);
        QFETCH(double, fader);
        QFETCH(bool, live);
        QFETCH(double, gain);
        QFETCH(QString, label);
        const ChannelConfig c = config(0, QStringLiteral("A"), on, fader);
        QCOMPARE(c.isLive(), live);
        QVERIFY2(std::abs(double(c.gain()) - gain) < 1e-5, qPrintable(QString::number(double(c.gain()))));
        QCOMPARE(c.gainLabel(), label);
    }

    void jsonRoundTrip()
    {
        const QList<ChannelConfig> configs = {config(0, QStringLiteral("Boom"), true, 0.25, true, false),
                                              config(3, QStringLiteral("Ünïcode \"quoted\""), false, 1.0)};
        const QJsonArray encoded = ChannelConfig::encodeList(configs);
        QCOMPARE(encoded.at(0).toObject().keys(), (QStringList{"agent", "fader", "hidden", "index", "name", "on"}));
        const auto decoded = ChannelConfig::decodeList(encoded);
        QVERIFY(decoded);
        QCOMPARE(*decoded, configs);
    }

    // Stored settings decode whole or not at all; a fader out of range is clamped (-1: refused).
    void decode_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<double>("fader");
        const auto one = [](const char* fader) {
            return QByteArray(R"([{"index":1,"name":"x","on":true,"fader":)") + fader +
                   R"(,"hidden":false,"agent":true}])";
        };
        QTest::newRow("missing agent") << QByteArray(R"([{"index":0,"name":"a","on":true,"fader":0.5,"hidden":false}])")
                                       << -1.0;
        QTest::newRow("fader as text") << one(R"("0.5")") << -1.0;
        QTest::newRow("fractional index")
            << QByteArray(R"([{"index":0.5,"name":"a","on":true,"fader":0.5,"hidden":false,"agent":true}])") << -1.0;
        QTest::newRow("huge index")
            << QByteArray(R"([{"index":1e30,"name":"a","on":true,"fader":0.5,"hidden":false,"agent":true}])") << -1.0;
        QTest::newRow("on as number")
            << QByteArray(R"([{"index":0,"name":"a","on":1,"fader":0.5,"hidden":false,"agent":true}])") << -1.0;
        QTest::newRow("element not an object") << QByteArray(R"([3])") << -1.0;
        QTest::newRow("one bad element spoils all") << one("0.5").replace("}]", "},{}]") << -1.0;
        QTest::newRow("object, not array") << QByteArray(R"({"index":0})") << -1.0;
        QTest::newRow("fader above the top") << one("1e300") << 1.0;
        QTest::newRow("fader below zero") << one("-3") << 0.0;
        QTest::newRow("fader inside") << one("0.3") << 0.3;
    }
    void decode()
    {
        QFETCH(QByteArray, json);
        QFETCH(double, fader);
        const auto decoded = ChannelConfig::decodeList(parsed(json.constData()));
        QCOMPARE(decoded.has_value(), fader >= 0.0);
        if (decoded) {
            QCOMPARE(decoded->first().fader, fader);
            QVERIFY(std::isfinite(decoded->first().gain()));
        }
    }

    void defaultNames_data()
    {
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("bare numbers") << QStringList{"1", "2", "3"} << QStringList{"Ch 1", "Ch 2", "Ch 3"};
        QTest::newRow("signed numbers") << QStringList{"+4", "-5", "07"} << QStringList{"Ch 1", "Ch 2", "Ch 3"};
        QTest::newRow("real names") << QStringList{"Boom", "", "Lav 2"} << QStringList{"Boom", "Ch 2", "Lav 2"};
        QTest::newRow("not quite numbers") << QStringList{" 1", "1a", "1.5"} << QStringList{" 1", "1a", "1.5"};
        QTest::newRow("too long for an integer") << QStringList{"123456789012345678901234567890", "x", "y"}
                                                 << QStringList{"123456789012345678901234567890", "x", "y"};
        QTest::newRow("fewer names than channels") << QStringList{"Boom"} << QStringList{"Boom", "Ch 2", "Ch 3"};
    }
    void defaultNames()
    {
        QFETCH(QStringList, reported);
        QFETCH(QStringList, names);
        AudioInputDevice d = device(QStringLiteral("u"), QStringLiteral("Desk"), 3, false, reported);
        const QList<ChannelConfig> configs = ChannelConfig::makeConfigs({}, 3, &d);
        QStringList got;
        for (const ChannelConfig& c : configs) {
            got.append(c.name);
            QCOMPARE(c.on, true);
            QCOMPARE(c.fader, 40.0 / 46.0);
            QCOMPARE(c.hidden, false);
            QCOMPARE(c.agent, true);
        }
        QCOMPARE(got, names);
        QCOMPARE(ChannelConfig::defaultName(5, nullptr), QStringLiteral("Ch 6"));
    }

    void singleMicrophoneHasNoChannels_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("configs");
        QTest::newRow("mono") << 1 << 0;
        QTest::newRow("stereo") << 2 << 0;
        QTest::newRow("three inputs") << 3 << 3;
    }
    void singleMicrophoneHasNoChannels()
    {
        QFETCH(int, inputs);
        QFETCH(int, configs);
        Rig rig;
        rig.setDevices({device(QStringLiteral("mic"), QStringLiteral("Mic"), inputs, true)});
        DesktopTranscriber& engine = rig.make();
        QCOMPARE(engine.channels().size(), configs);
        QCOMPARE(engine.levels().size(), configs);
        QCOMPARE(engine.liveChannelCount(), configs == 0 ? 1 : configs);
        QCOMPARE(engine.currentDevice()->uid, QStringLiteral("mic"));
    }

    void settingsPersistPerDevice()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("desk"), QStringLiteral("Desk"), 4, true),
                        device(QStringLiteral("field"), QStringLiteral("Field"), 6)});
        {
            DesktopTranscriber& engine = rig.make();
            engine.renameChannel(1, QStringLiteral("  Boom  "));
            engine.setFader(2, 0.25);
            engine.setOn(3, false);
            engine.setHidden(0, true);
            engine.setAgent(0, false);

            engine.selectDevice(QStringLiteral("field"));
            QCOMPARE(engine.channels().size(), 6);
            QCOMPARE(engine.channels().at(1).name, QStringLiteral("Ch 2"));
            engine.setFader(5, 2.0);
            QCOMPARE(engine.channels().at(5).fader, 1.0);
            rig.engine.reset();
        }
        QCOMPARE(rig.defaults->string(DesktopTranscriber::kInputDeviceKey), QStringLiteral("field"));
        QVERIFY(rig.defaults->value(QStringLiteral("pindle_log_channels_desk")).isArray());
        QVERIFY(rig.defaults->value(QStringLiteral("pindle_log_channels_field")).isArray());

        // A new engine comes back on the chosen device with its settings.
        DesktopTranscriber& again = rig.make();
        QCOMPARE(again.deviceUID(), std::optional<QString>(QStringLiteral("field")));
        QCOMPARE(again.channels().at(5).fader, 1.0);
        again.selectDevice(std::nullopt);
        QVERIFY(!rig.defaults->contains(DesktopTranscriber::kInputDeviceKey));
        const QList<ChannelConfig> desk = again.channels();
        QCOMPARE(desk.size(), 4);
        QCOMPARE(desk.at(0), config(0, QStringLiteral("Ch 1"), true, 40.0 / 46.0, true, false));
        QCOMPARE(desk.at(1).name, QStringLiteral("Boom"));
        QCOMPARE(desk.at(2).fader, 0.25);
        QCOMPARE(desk.at(3).on, false);
    }

    void renameBlankRestoresDefault()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("d"), QStringLiteral("D"), 3, true, {"Boom", "2", ""})});
        DesktopTranscriber& engine = rig.make();
        engine.renameChannel(0, QStringLiteral("Lav"));
        QCOMPARE(engine.channels().at(0).name, QStringLiteral("Lav"));
        engine.renameChannel(0, QStringLiteral(" \t "));
        QCOMPARE(engine.channels().at(0).name, QStringLiteral("Boom"));
        engine.renameChannel(1, QString());
        QCOMPARE(engine.channels().at(1).name, QStringLiteral("Ch 2"));
        // Unknown channels change nothing.
        const QList<ChannelConfig> before = engine.channels();
        engine.renameChannel(9, QStringLiteral("x"));
        engine.setOn(-1, false);
        engine.setFader(3, 0.0);
        QCOMPARE(engine.channels(), before);
    }

    void storedSettingsMeetTheDevice_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("inputs");
        QTest::addColumn<QStringList>("names");

        QByteArray eight = "[";
        for (int i = 0; i < 8; ++i) {
            eight += QStringLiteral(R"(%1{"index":%2,"name":"N%2","on":true,"fader":0.5,"hidden":false,"agent":true})")
                         .arg(i ? "," : "")
                         .arg(i)
                         .toUtf8();
        }
        eight += "]";
        QTest::newRow("8 stored, 6 present") << eight << 6 << QStringList{"N0", "N1", "N2", "N3", "N4", "N5"};
        QTest::newRow("stored out of order with a gap")
            << QByteArray(R"([{"index":2,"name":"Two","on":true,"fader":0.5,"hidden":false,"agent":true},
                             {"index":0,"name":"Zero","on":true,"fader":0.5,"hidden":false,"agent":true},
                             {"index":0,"name":"Later zero","on":true,"fader":0.5,"hidden":false,"agent":true},
                             {"index":-1,"name":"Minus","on":true,"fader":0.5,"hidden":false,"agent":true}])")
            << 3 << QStringList{"Zero", "Ch 2", "Two"};
        QTest::newRow("undecodable is ignored whole")
            << QByteArray(
                   R"([{"index":0,"name":"Zero","on":true,"fader":0.5,"hidden":false,"agent":true},{"index":1}])")
            << 3 << QStringList{"Ch 1", "Ch 2", "Ch 3"};
        QTest::newRow("a string, not settings")
            << QByteArray(R"("garbage")") << 3 << QStringList{"Ch 1", "Ch 2", "Ch 3"};
        QTest::newRow("empty list") << QByteArray("[]") << 3 << QStringList{"Ch 1", "Ch 2", "Ch 3"};
    }
    void storedSettingsMeetTheDevice()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, inputs);
        QFETCH(QStringList, names);
        Rig rig;
        const QJsonDocument document = QJsonDocument::fromJson("[" + stored + "]");
        QVERIFY(document.isArray());
        rig.defaults->set(QStringLiteral("pindle_log_channels_dev"), document.array().at(0));
        rig.setDevices({device(QStringLiteral("dev"), QStringLiteral("Dev"), inputs, true)});
        DesktopTranscriber& engine = rig.make();
        QStringList got;
        for (int i = 0; i < engine.channels().size(); ++i) {
            QCOMPARE(engine.channels().at(i).index, i);
            got.append(engine.channels().at(i).name);
        }
        QCOMPARE(got, names);
        QCOMPARE(engine.levels(), QList<float>(inputs, 0.0f));
    }

    // Choosing the input while running restarts the run on the new device; choosing the one in
    // use changes nothing.
    void selectingADeviceWhileRunning_data()
    {
        QTest::addColumn<QString>("uid"); // "" for the system default, which is "a"
        QTest::addColumn<int>("captures");
        QTest::addColumn<QList<int>>("streams");
        QTest::newRow("the same") << "" << 1 << QList<int>{0, 1, 2, 3};
        QTest::newRow("another") << "b" << 2 << QList<int>{0, 1, 2};
    }
    void selectingADeviceWhileRunning()
    {
        QFETCH(QString, uid);
        QFETCH(int, captures);
        QFETCH(QList<int>, streams);
        Rig rig;
        rig.setDevices({device(QStringLiteral("a"), QStringLiteral("A"), 4, true),
                        device(QStringLiteral("b"), QStringLiteral("B"), 3)});
        DesktopTranscriber& engine = rig.make();
        engine.start();
        QSignalSpy running(&engine, &DesktopTranscriber::runningChanged);
        engine.selectDevice(uid.isEmpty() ? std::nullopt : std::optional<QString>(uid));
        QVERIFY(engine.running());
        QCOMPARE(running.count(), uid.isEmpty() ? 0 : 2);
        QCOMPARE(rig.capturesOpened, captures);
        QCOMPARE(engine.openStreamChannels(), streams);
        QCOMPARE(rig.streams.first()->stops, captures - 1);
        QCOMPARE(rig.defaults->string(DesktopTranscriber::kInputDeviceKey).value_or(QString()), uid);
    }

    void chosenDeviceAwayFallsBackToDefault()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("a"), QStringLiteral("A"), 4, true),
                        device(QStringLiteral("b"), QStringLiteral("B"), 5)});
        DesktopTranscriber& engine = rig.make();
        engine.selectDevice(QStringLiteral("b"));
        QCOMPARE(engine.channels().size(), 5);
        rig.setDevices({device(QStringLiteral("a"), QStringLiteral("A"), 4, true)});
        QCOMPARE(engine.deviceUID(), std::nullopt);
        QCOMPARE(engine.channels().size(), 4);
        // The stored choice stays, so the device is used again when it returns.
        QCOMPARE(rig.defaults->string(DesktopTranscriber::kInputDeviceKey), QStringLiteral("b"));
    }

    void deviceArrivals_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("scans");
        const auto row = [](const char* name, int channels, bool running, const char* notice, int scans) {
            QTest::newRow(name) << channels << running << QString::fromUtf8(notice)
                                << QString::fromLatin1(scans ? "rack" : "") << scans;
        };
        row("16 channels while idle", 16, false, "Rack connected, 16 channels. Scanning them…", 1);
        row("16 channels while running", 16, true,
            "Rack connected, 16 channels. Stop, then pick it from Input to switch.", 0);
        row("2 channels while idle", 2, false, "", 0);
        row("3 channels while idle", 3, false, "Rack connected, 3 channels. Scanning them…", 1);
    }
    void deviceArrivals()
    {
        QFETCH(int, channels);
        QFETCH(bool, running);
        QFETCH(QString, notice);
        QFETCH(QString, chosen);
        QFETCH(int, scans);
        Rig rig;
        const AudioInputDevice mic = device(QStringLiteral("mic"), QStringLiteral("Mic"), 1, true);
        rig.setDevices({mic});
        DesktopTranscriber& engine = rig.make();
        if (running) {
            engine.start();
        }
        QSignalSpy scanRequests(&engine, &DesktopTranscriber::channelScanRequested);
        QSignalSpy devicesSpy(&engine, &DesktopTranscriber::devicesChanged);
        rig.setDevices({mic, device(QStringLiteral("rack"), QStringLiteral("Rack"), channels)});
        QCOMPARE(devicesSpy.count(), 1);
        QCOMPARE(engine.devices().size(), 2);
        QCOMPARE(engine.notice().value_or(QString()), notice);
        QCOMPARE(engine.deviceUID().value_or(QString()), chosen);
        QCOMPARE(scanRequests.count(), scans);
        QCOMPARE(engine.running(), running);
        if (!chosen.isEmpty()) {
            QCOMPARE(engine.channels().size(), channels);
        }
    }
};

PINDLE_TEST(TranscriberSettingsTest)
#include "test_transcriber_settings.moc"
