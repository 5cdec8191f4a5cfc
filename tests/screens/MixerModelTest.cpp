#include "common/TestMain.h"

#include "audio/test_transcriber_support.h"
#include "screens/MixerModel.h"
#include "service/APIService.h"
#include "service/CookieStore.h"

#include <QSignalSpy>

#include <limits>

using namespace transcriber_test;
using Layout = MixerModel::Layout;

namespace {

// 32 steps of 50 ms: every play(50ms) moves the sweep one step.
constexpr auto kScan = 1600ms;

// An engine on one interface of `inputs` channels whose capture delivers `delivered`, the agent
// watching it (unless `withAgent` is false) and the mixer over both.
struct MixerRig : Rig {
    explicit MixerRig(int inputs, bool withAgent = true, int delivered = -1)
    {
        captureChannels = delivered < 0 ? inputs : delivered;
        env.scanDurationMs = int(kScan.count());
        // No real headphone output in tests.
        env.makeMonitorSink = [] { return std::unique_ptr<MonitorSink>(); };
        desk(inputs);
        if (withAgent) {
            agent = std::make_unique<ChannelAgent>(AgentEnvironment{defaults.get(), &service, &clock});
            agent->setTranscriber(engine.get());
        }
        mixer = std::make_unique<MixerModel>(*engine, agent.get(), *defaults, clock);
    }

    // Hops the agent round its watched channels until it stands on `index`.
    bool focusOn(int index)
    {
        for (int i = 0; i < 64 && agent->focus() != index; ++i)
            agent->hop();
        return agent->focus() == index;
    }
    [[nodiscard]] ChannelConfig at(int index) const { return engine->channels().at(index); }

    InMemoryCookieStore store;
    APIService service{QStringLiteral("http://127.0.0.1:9"), store, &clock};
    std::unique_ptr<ChannelAgent> agent;
    std::unique_ptr<MixerModel> mixer;
};

} // namespace

class MixerModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The layout at a channel count, and whatever the file holds, two toggles come back to it
    // and each toggle is what a fresh store on the same file reads.
    void layoutAndOpen_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<int>("layout");
        const QJsonValue absent(QJsonValue::Undefined);
        QTest::newRow("8, nothing stored") << 8 << absent << int(Layout::Strips);
        QTest::newRow("9, nothing stored") << 9 << absent << int(Layout::Compact);
        QTest::newRow("32, stored open") << 32 << QJsonValue(true) << int(Layout::Compact);
        QTest::newRow("8, stored closed") << 8 << QJsonValue(false) << int(Layout::Collapsed);
        QTest::newRow("9, stored closed") << 9 << QJsonValue(false) << int(Layout::Collapsed);
        QTest::newRow("text is no answer") << 8 << QJsonValue(QStringLiteral("false")) << int(Layout::Strips);
        QTest::newRow("number is no answer") << 9 << QJsonValue(0) << int(Layout::Compact);
    }
    void layoutAndOpen()
    {
        QFETCH(int, inputs);
        QFETCH(QJsonValue, stored);
        QFETCH(int, layout);
        MixerRig r(inputs);
        if (!stored.isUndefined())
            r.defaults->set(MixerModel::kOpenKey, stored);
        MixerModel& m = *r.mixer;
        QCOMPARE(m.channelCount(), inputs);
        QCOMPARE(int(m.layout()), layout);
        const bool open = m.isOpen();
        const auto reread = [&r] {
            r.defaults->flush();
            return Defaults(r.defaults->filePath()).boolValue(MixerModel::kOpenKey);
        };
        QSignalSpy opened(&m, &MixerModel::openChanged);
        m.toggleOpen();
        QCOMPARE(m.isOpen(), !open);
        QCOMPARE(m.layout() == Layout::Collapsed, open);
        QCOMPARE(reread(), std::optional<bool>(!open));
        m.toggleOpen();
        QCOMPARE(int(m.layout()), layout);
        QCOMPARE(reread(), std::optional<bool>(open));
        m.setOpen(open);
        QCOMPARE(opened.size(), 2);
    }

    void pinBand_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<bool>("withAgent");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("scanning");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("shows");
        QTest::newRow("agent on") << 8 << true << true << false << true << true;
        QTest::newRow("agent off") << 8 << true << false << false << true << false;
        QTest::newRow("agent off, scanning") << 8 << true << false << true << true << true;
        QTest::newRow("rows, agent on") << 9 << true << true << false << true << false;
        QTest::newRow("rows, scanning") << 9 << true << false << true << true << false;
        QTest::newRow("no agent, scanning") << 8 << false << false << true << true << false;
        QTest::newRow("collapsed, agent on") << 8 << true << true << true << false << false;
    }
    void pinBand()
    {
        QFETCH(int, inputs);
        QFETCH(bool, withAgent);
        QFETCH(bool, enabled);
        QFETCH(bool, scanning);
        QFETCH(bool, open);
        QFETCH(bool, shows);
        MixerRig r(inputs, withAgent);
        if (withAgent && !enabled)
            r.agent->setEnabled(false);
        if (scanning)
            r.engine->scanChannels();
        QCOMPARE(r.engine->scanning(), scanning);
        r.mixer->setOpen(open);
        QCOMPARE(r.mixer->showsPinBand(), shows);
    }

    void pinFollowsScanThenAgent()
    {
        MixerRig r(8);
        MixerModel& m = *r.mixer;
        MixerModel bare(*r.engine, nullptr, *r.defaults, r.clock);
        QSignalSpy moved(&m, &MixerModel::pinChanged);
        QVERIFY(r.focusOn(5));
        QVERIFY(!moved.isEmpty());
        QCOMPARE(m.pinPosition(), std::optional<int>(5));
        QCOMPARE(bare.pinPosition(), std::nullopt);

        r.engine->scanChannels();
        QList<int> swept;
        while (r.engine->scanning() && swept.size() < 64) {
            r.play(50ms);
            if (!r.engine->scanning())
                break;
            QVERIFY(r.engine->scanFocus());
            QCOMPARE(m.pinPosition(), r.engine->scanFocus());
            QCOMPARE(bare.pinPosition(), r.engine->scanFocus());
            swept.append(*m.pinPosition());
        }
        QVERIFY(!r.engine->scanning());
        QVERIFY(swept.contains(0) && swept.contains(7));
        QVERIFY(std::is_sorted(swept.cbegin(), swept.cend()));
        // Back on the agent once the sweep is over.
        QCOMPARE(m.pinPosition(), std::optional<int>(5));
        QCOMPARE(bare.pinPosition(), std::nullopt);

        // The agent still stands on channel 5 of an input that now has four.
        r.setDevices({device(QStringLiteral("d"), QStringLiteral("Desk"), 8, true),
                      device(QStringLiteral("s"), QStringLiteral("Small"), 4)});
        r.engine->selectDevice(QStringLiteral("s"));
        QCOMPARE(m.channelCount(), 4);
        QCOMPARE(r.agent->focus(), std::optional<int>(5));
        QCOMPARE(m.pinPosition(), std::nullopt);
        for (const MixerModel::Channel& channel : m.channels())
            QVERIFY(!channel.focused);
    }

    void pinX_data()
    {
        QTest::addColumn<double>("position");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("x");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("first strip") << 0.0 << 1000.0 << 27.0;
        QTest::newRow("halfway between strips") << 0.5 << 1000.0 << 64.0;
        QTest::newRow("pin just fits") << 2.0 << 189.0 << 175.0;
        QTest::newRow("narrow band clamps") << 3.0 << 100.0 << 86.0;
        QTest::newRow("band as wide as the pin") << 0.0 << 14.0 << 0.0;
        QTest::newRow("band narrower than the pin") << 1.0 << 10.0 << 0.0;
        QTest::newRow("huge position") << double(std::numeric_limits<int>::max()) << 500.0 << 486.0;
        QTest::newRow("negative position") << -1.0 << 500.0 << 0.0;
        QTest::newRow("minus endless position") << -inf << 500.0 << 0.0;
        QTest::newRow("endless band") << 1.0 << inf << 101.0;
        QTest::newRow("NaN band") << 1.0 << std::nan("") << 0.0;
    }
    void pinX()
    {
        QFETCH(double, position);
        QFETCH(double, width);
        QFETCH(double, x);
        QCOMPARE(MixerModel::pinX(position, width), x);
    }

    void scanLineOnlyWhileOpenAndScanning()
    {
        MixerRig r(8);
        MixerModel& m = *r.mixer;
        m.setOpen(false);
        r.engine->scanChannels();
        QVERIFY(r.engine->scanning());
        QVERIFY(!m.showsScanLine());
        QSignalSpy changed(&m, &MixerModel::changed);
        m.setOpen(true);
        QVERIFY(m.showsScanLine());
        r.play(kScan);
        QVERIFY(!r.engine->scanning());
        QVERIFY(!m.showsScanLine());
        QVERIFY(changed.size() >= 2);
    }

    // The capture gives fewer or more channels than the device reported.
    void levelsStayInRange_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("delivered");
        QTest::newRow("fewer delivered") << 8 << 4;
        QTest::newRow("more delivered") << 4 << 6;
        QTest::newRow("as many") << 3 << 3;
    }
    void levelsStayInRange()
    {
        QFETCH(int, inputs);
        QFETCH(int, delivered);
        MixerRig r(inputs, true, delivered);
        MixerModel& m = *r.mixer;
        r.engine->scanChannels();
        const auto metered = [&] { return r.engine->levels().size() == delivered && r.engine->levels().first() > 0; };
        for (int i = 0; i < 20 && !metered(); ++i)
            r.play(50ms);
        QVERIFY(metered());
        for (int index = -2; index < std::max(inputs, delivered) + 2; ++index) {
            const bool fed = index >= 0 && index < delivered;
            QCOMPARE(m.level(index) > 0.0f, fed);
            if (fed)
                QCOMPARE(m.level(index), r.engine->levels().at(index));
        }
        m.toggleMute(1);
        QVERIFY(!r.at(1).on);
        QVERIFY(m.level(1) > 0.0f);
        QCOMPARE(m.collapsedLevel(r.at(1)), 0.0f);
        QCOMPARE(m.collapsedLevel(r.at(0)), m.level(0));
        QCOMPARE(m.collapsedLevel(r.at(inputs - 1)), inputs - 1 < delivered ? m.level(inputs - 1) : 0.0f);
    }

    // One fader move, with the live count it leaves on a four-channel desk.
    void faderValueAndCount_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("muted");
        QTest::addColumn<double>("fader");
        QTest::addColumn<QString>("count");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("at the off line") << 0.005 << false << 0.005 << "3 of 4 live";
        QTest::newRow("just above it") << 0.0051 << false << 0.0051 << "4 of 4 live";
        QTest::newRow("muted at the top") << 1.0 << true << 1.0 << "3 of 4 live";
        QTest::newRow("below zero") << -0.5 << false << 0.0 << "3 of 4 live";
        QTest::newRow("above one") << 1.5 << false << 1.0 << "4 of 4 live";
        QTest::newRow("minus infinity") << -inf << false << 0.0 << "3 of 4 live";
        QTest::newRow("infinity") << inf << false << 1.0 << "4 of 4 live";
        QTest::newRow("NaN is ignored") << std::nan("") << false << ChannelConfig::kUnityFader << "4 of 4 live";
    }
    void faderValueAndCount()
    {
        QFETCH(double, value);
        QFETCH(bool, muted);
        QFETCH(double, fader);
        QFETCH(QString, count);
        MixerRig r(4);
        QCOMPARE(r.mixer->countText(), QStringLiteral("4 of 4 live"));
        r.mixer->moveFader(2, value);
        r.mixer->finishFader(2);
        if (muted)
            r.mixer->toggleMute(2);
        QCOMPARE(r.at(2).fader, fader);
        QCOMPARE(r.mixer->countText(), count);
    }

    // 0: mute, 1: watch-only, 2: agent.
    void toggles_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("mute") << 0;
        QTest::newRow("watch") << 1;
        QTest::newRow("agent") << 2;
    }
    void toggles()
    {
        QFETCH(int, which);
        MixerRig r(4);
        MixerModel& m = *r.mixer;
        const auto act = [&](int i) {
            which == 0 ? m.toggleMute(i) : which == 1 ? m.toggleWatch(i) : m.toggleAgent(i);
        };
        const auto flag = [&](int i) { return which == 0 ? r.at(i).on : which == 1 ? r.at(i).hidden : r.at(i).agent; };
        const bool before = flag(1);
        act(1);
        QCOMPARE(flag(1), !before);
        QCOMPARE(flag(0), before);
        act(1);
        QCOMPARE(flag(1), before);

        const QList<ChannelConfig> configs = r.engine->channels();
        QSignalSpy written(r.engine.get(), &DesktopTranscriber::channelsChanged);
        QSignalSpy renamed(&m, &MixerModel::renameRequested);
        for (const int unknown : {-1, 4, 99}) {
            act(unknown);
            m.toggleListen(unknown);
            m.moveFader(unknown, 0.2);
            m.rename(unknown);
        }
        QVERIFY(written.isEmpty());
        QVERIFY(renamed.isEmpty());
        QCOMPARE(r.engine->channels(), configs);
        QCOMPARE(r.engine->monitorChannel(), std::nullopt);
    }

    void listenMovesOrStops()
    {
        MixerRig r(4);
        MixerModel& m = *r.mixer;
        m.toggleListen(1);
        QCOMPARE(r.engine->monitorChannel(), std::optional<int>(1));
        m.toggleListen(3);
        QCOMPARE(r.engine->monitorChannel(), std::optional<int>(3));
        QVERIFY(m.channel(3).monitoring && !m.channel(1).monitoring);
        m.toggleListen(7);
        QCOMPARE(r.engine->monitorChannel(), std::optional<int>(3));
        m.toggleListen(3);
        QCOMPARE(r.engine->monitorChannel(), std::nullopt);
    }

    void faderIsPaced()
    {
        MixerRig r(4);
        MixerModel& m = *r.mixer;
        QSignalSpy writes(r.engine.get(), &DesktopTranscriber::channelsChanged);
        m.moveFader(0, 0.10);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(r.at(0).fader, 0.10);

        // Moves inside the interval wait; the last one lands when it is up, a NaN among them
        // changes nothing.
        for (int step = 1; step <= 9; ++step) {
            r.clock.advance(5ms);
            m.moveFader(0, 0.10 + 0.05 * step);
        }
        m.moveFader(0, std::nan(""));
        r.clock.advance(4ms);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(r.at(0).fader, 0.10);
        // Another channel's first move is not held back by this one's interval.
        m.moveFader(1, 0.3);
        QCOMPARE(r.at(1).fader, 0.3);
        writes.clear();
        r.clock.advance(1ms);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(r.at(0).fader, 0.55);

        // A steady 1 ms drag writes once per interval.
        for (int step = 0; step < 100; ++step) {
            m.moveFader(0, 0.2 + 0.005 * step);
            r.clock.advance(1ms);
        }
        QCOMPARE(writes.size(), 3);
        QCOMPARE(r.at(0).fader, 0.695);
        r.clock.advance(MixerModel::kFaderInterval * 3);
        QCOMPARE(writes.size(), 3);

        // A quiet fader answers at once again; the drag's end lands what still waits.
        m.moveFader(0, 0.8);
        QCOMPARE(r.at(0).fader, 0.8);
        m.moveFader(0, 0.6);
        QCOMPARE(r.at(0).fader, 0.8);
        m.finishFader(0);
        QCOMPARE(r.at(0).fader, 0.6);
        QCOMPARE(writes.size(), 5);
        r.clock.advance(MixerModel::kFaderInterval * 2);
        QCOMPARE(writes.size(), 5);
        m.moveFader(0, 0.7);
        QCOMPARE(r.at(0).fader, 0.7);
    }

    // A finished drag and one cut short by the band going away both reach the device's stored
    // settings, and only that device's.
    void faderPersistsPerDevice()
    {
        MixerRig r(4);
        r.mixer->moveFader(2, 0.3);
        r.mixer->moveFader(2, 0.42);
        r.mixer->finishFader(2);
        r.mixer->moveFader(3, 0.6);
        r.mixer->moveFader(3, 0.25);
        QCOMPARE(r.at(3).fader, 0.6);
        r.mixer.reset();
        QCOMPARE(r.at(3).fader, 0.25);

        r.agent.reset();
        r.engine->stop();
        r.engine.reset();
        const QString file = r.defaults->filePath();
        r.defaults.reset();
        r.defaults = std::make_unique<Defaults>(file);
        r.env.defaults = r.defaults.get();
        r.setDevices({device(QStringLiteral("d"), QStringLiteral("Desk"), 4, true),
                      device(QStringLiteral("e"), QStringLiteral("Other"), 4)});
        DesktopTranscriber& again = r.make();
        QCOMPARE(again.channels().at(2).fader, 0.42);
        QCOMPARE(again.channels().at(3).fader, 0.25);
        again.selectDevice(QStringLiteral("e"));
        QCOMPARE(again.channels().at(2).fader, ChannelConfig::kUnityFader);

        // A drag still waiting when the input changes stays with the input it was made on.
        MixerModel late(again, nullptr, *r.defaults, r.clock);
        late.moveFader(1, 0.1);
        late.moveFader(1, 0.9);
        again.selectDevice(QStringLiteral("d"));
        r.clock.advance(MixerModel::kFaderInterval);
        QCOMPARE(again.channels().at(1).fader, ChannelConfig::kUnityFader);
        again.selectDevice(QStringLiteral("e"));
        QCOMPARE(again.channels().at(1).fader, 0.1);
    }

    void channelValues()
    {
        MixerRig r(8);
        MixerModel& m = *r.mixer;
        QVERIFY(r.focusOn(2));
        const ChannelAgent::Brief brief{QStringLiteral("Lunch order"), QStringLiteral("new"),
                                        QStringLiteral("food talk"), r.clock.now()};
        r.agent->apply(3, brief, true);
        m.toggleListen(6);

        const QList<MixerModel::Channel> idle = m.channels();
        QCOMPARE(idle.size(), 8);
        for (int p = 0; p < idle.size(); ++p) {
            const MixerModel::Channel& c = idle.at(p);
            QCOMPARE(c.config, r.at(p));
            QCOMPARE(c.focused, p == 2);
            QVERIFY(!c.scanningThis && !c.scan);
            QCOMPARE(c.monitoring, p == 6);
            QCOMPARE(c.brief, p == 3 ? std::optional(brief) : std::nullopt);
        }
        QVERIFY(m.channel(-1) == MixerModel::Channel{});
        QVERIFY(m.channel(8) == MixerModel::Channel{});

        // While scanning, focus is the scan's channel, not the agent's.
        r.engine->scanChannels();
        r.play(50ms);
        QCOMPARE(r.engine->scanFocus(), std::optional<int>(0));
        QVERIFY(m.channel(0).focused && m.channel(0).scanningThis);
        QVERIFY(!m.channel(2).focused && !m.channel(2).scanningThis);

        r.play(kScan);
        QVERIFY(!r.engine->scanning());
        QVERIFY(!r.engine->scanResults().isEmpty());
        for (const MixerModel::Channel& c : m.channels()) {
            QVERIFY(c.scan && *c.scan == r.engine->scanResults().value(c.config.index));
            QVERIFY(!c.scanningThis);
            QCOMPARE(c.focused, c.config.index == 2);
        }
    }
};

PINDLE_TEST(MixerModelTest)

#include "MixerModelTest.moc"
