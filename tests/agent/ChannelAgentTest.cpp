#include "AgentTestSupport.h"
#include "common/TestMain.h"

#include <QRegularExpression>

using namespace agent_test;
using namespace std::chrono_literals;
using Sensitivity = ChannelAgent::Sensitivity;
using namespace Qt::Literals::StringLiterals;

namespace {

QStringList feedTexts(const ChannelAgent& agent)
{
    QStringList out;
    for (const ChannelAgent::FeedItem& item : agent.feed())
        out.append(item.text);
    return out;
}

// Whether the agent starts asking exactly `after` from now, not a moment before.
bool asksAfter(AgentRig& rig, std::chrono::milliseconds after)
{
    rig.clock.advance(after - 1ms);
    const bool early = rig.agent->asking();
    rig.clock.advance(1ms);
    return !early && rig.agent->asking();
}

} // namespace

class ChannelAgentTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The hop walks the live channels tagged for the agent and stands still while the live lines
    // are open; the ask tick comes at the sensitivity's pace, and a change of sensitivity only
    // stores while stopped but restarts both timers (and hops) while running.
    void timersAndHop()
    {
        AgentRig rig(4);
        ChannelAgent& agent = *rig.agent;
        rig.transcriber().setAgent(1, false);
        rig.transcriber().setOn(3, false);
        rig.run();
        agent.setSensitivity(Sensitivity::High);
        QCOMPARE(rig.rig.defaults->string(ChannelAgent::kSensitivityKey), u"high"_s);
        QCOMPARE(rig.clock.activeTimerCount(), 0);
        agent.start();
        QCOMPARE(agent.mark().agentState(), PindleAgentState::Listening);
        QList<std::optional<int>> focus{agent.focus()};
        for (int i = 0; i < 2; ++i) {
            rig.clock.advance(4s);
            focus.append(agent.focus());
        }
        QCOMPARE(focus, (QList<std::optional<int>>{2, 0, 2}));
        agent.toggleBubble(2);
        rig.clock.advance(4s);
        QCOMPARE(agent.focus(), 2);
        agent.toggleBubble(2);
        rig.say(0, u"1"_s, words(6), 10.0);
        QVERIFY(asksAfter(rig, 3s));
        QCOMPARE(agent.focus(), 0);
        // The request fails (nothing listens): silently back to listening.
        QTRY_VERIFY(!agent.asking());
        QCOMPARE(agent.mark().agentState(), PindleAgentState::Listening);
        rig.clock.advance(1s);
        QCOMPARE(agent.focus(), 0);
        agent.setSensitivity(Sensitivity::Low);
        QCOMPARE(agent.focus(), 2);
        rig.say(0, u"2"_s, words(25), 20.0);
        QVERIFY(asksAfter(rig, 60s));
        agent.setEnabled(false);
        QVERIFY(!agent.asking() && !agent.isRunning());
        QCOMPARE(agent.mark().agentState(), PindleAgentState::Idle);
    }

    // The demo asks 2.5 times as often and answers after 1.5 s with the canned row of the current
    // 15 s slot.
    void demoBriefs()
    {
        AgentRig rig(1);
        rig.makeAgent(true);
        ChannelAgent& agent = *rig.agent;
        QList<int> alerts;
        agent.onNew = [&](int channel, const ChannelAgent::Brief&) { alerts.append(channel); };
        rig.transcriber().startDemo();
        rig.clock.setNow(Date::fromSecondsSince1970(15.0 * 7));
        agent.start();
        QVERIFY(asksAfter(rig, 12s));
        QCOMPARE(agent.mark().agentState(), PindleAgentState::Thinking);
        rig.clock.advance(1500ms);
        QVERIFY(!agent.asking());
        QCOMPARE(agent.briefs().value(0).topic, u"asking if he'll be the last one"_s);
        QCOMPARE(alerts, QList<int>{0});
        rig.clock.advance(900ms);
        QCOMPARE(feedTexts(agent), QStringList{"asking if he'll be the last one"});
    }

    // Each sensitivity's stored raw value, label and minimum, and its pace and minimum in the demo
    // shoot; an agent made later reads the stored choice back.
    void sensitivities_data()
    {
        QTest::addColumn<Sensitivity>("sensitivity");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("demoMinimum");
        QTest::addColumn<int>("demoPaceMs");
        QTest::newRow("low") << Sensitivity::Low << "low"
                             << "Only big moments" << 25 << 12 << 24000;
        QTest::newRow("normal") << Sensitivity::Normal << "normal"
                                << "Normal" << 12 << 6 << 12000;
        QTest::newRow("high") << Sensitivity::High << "high"
                              << "Everything" << 6 << 4 << 6000;
    }
    void sensitivities()
    {
        QFETCH(Sensitivity, sensitivity);
        QFETCH(QString, raw);
        QFETCH(QString, label);
        QFETCH(int, minimum);
        QFETCH(int, demoMinimum);
        QFETCH(int, demoPaceMs);
        AgentRig rig(1);
        rig.agent->setSensitivity(sensitivity);
        QCOMPARE(rig.rig.defaults->string(ChannelAgent::kSensitivityKey), raw);
        QCOMPARE(ChannelAgent::label(sensitivity), label);
        QCOMPARE(rig.agent->minimumWords(), minimum);
        rig.makeAgent(true);
        QCOMPARE(rig.agent->sensitivity(), sensitivity);
        QCOMPARE(rig.agent->minimumWords(), demoMinimum);
        rig.run();
        rig.say(-1, u"1"_s, words(demoMinimum), 5.0);
        rig.agent->start();
        QVERIFY(asksAfter(rig, std::chrono::milliseconds(demoPaceMs)));
    }

    // A stopped engine's lines stay, but the ask tick leaves them alone.
    void tickWaitsForARunningEngine()
    {
        AgentRig rig(1);
        rig.transcriber().startDemo();
        rig.rig.clock.advance(30s);
        rig.transcriber().stop();
        QVERIFY(!rig.transcriber().segments().isEmpty());
        rig.agent->askTick();
        QVERIFY(!rig.agent->asking() && rig.agent->judgedUpTo().isEmpty());
    }

    // The hop leaves the focus on the channel being asked about until the answer is in.
    void hopWaitsForTheAnswer()
    {
        AgentRig rig(4);
        rig.run();
        rig.say(2, u"1"_s, words(12), 5.0);
        rig.agent->askTick();
        QVERIFY(rig.agent->asking());
        rig.agent->hop();
        QCOMPARE(rig.agent->focus(), 2);
        QTRY_VERIFY(!rig.agent->asking());
        rig.agent->hop();
        QCOMPARE(rig.agent->focus(), 1);
    }

    // A brief's fate by sensitivity and by what the channel had before: its bubble, its alert
    // (only after more than 300 s, for each channel apart) and the topic kept. Steps: an optional
    // "c:" for channel c (else 0), verdict, "+" changed or "-" not, "@n" after waiting n s; the
    // k-th brief is topic "t<k>", why "w<k>". One second passes after each step.
    void applyRules_data()
    {
        QTest::addColumn<Sensitivity>("sensitivity");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("alerted");
        QTest::addColumn<QString>("kept");
        QTest::newRow("a second quiet is not shown")
            << Sensitivity::Normal << "quiet+ quiet+" << QStringList{"t1"} << QStringList{} << "t2";
        QTest::newRow("new after new, past the spacing: two bubbles, one alert")
            << Sensitivity::Normal << "new+ new+@300" << QStringList{"t1", "t2"} << QStringList{"t1"} << "t2";
        QTest::newRow("new again 300 s after the alert") << Sensitivity::Normal << "new+ same+ new+@298"
                                                         << QStringList{"t1", "t2", "t3"} << QStringList{"t1"} << "t3";
        QTest::newRow("new again 300.001 s after the alert")
            << Sensitivity::Normal << "new+ same+ new+@298.001" << QStringList{"t1", "t2", "t3"}
            << QStringList{"t1", "t3"} << "t3";
        QTest::newRow("each channel has its own spacing")
            << Sensitivity::Normal << "new+ 1:new+ 1:same+ 1:new+" << QStringList{"t1", "t2", "t3", "t4"}
            << QStringList{"t1", "t2"} << "t4";
        QTest::newRow("unchanged, same verdict: only why and time refresh")
            << Sensitivity::Normal << "same+ same-" << QStringList{"t1"} << QStringList{} << "t1";
        QTest::newRow("unchanged, other verdict: shown with the earlier topic")
            << Sensitivity::Normal << "same+ new-" << QStringList{"t1", "t1"} << QStringList{"t1"} << "t1";
        QTest::newRow("low shows only new")
            << Sensitivity::Low << "same+ quiet+ new+" << QStringList{"t3"} << QStringList{"t3"} << "t3";
        QTest::newRow("high shows quiet again")
            << Sensitivity::High << "quiet+ quiet+" << QStringList{"t1", "t2"} << QStringList{} << "t2";
    }
    void applyRules()
    {
        QFETCH(Sensitivity, sensitivity);
        QFETCH(QString, steps);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, alerted);
        QFETCH(QString, kept);
        AgentRig rig(1);
        ChannelAgent& agent = *rig.agent;
        agent.setSensitivity(sensitivity);
        QStringList alerts;
        agent.onNew = [&](int, const ChannelAgent::Brief& brief) { alerts.append(brief.topic); };
        int k = 0;
        int channel = 0;
        for (const QString& step : steps.split(u' ')) {
            const auto parts = QRegularExpression(u"^(?:(\\d):)?(\\w+)([+-])(?:@([\\d.]+))?$"_s).match(step);
            rig.clock.advance(std::chrono::milliseconds(qRound64(parts.captured(4).toDouble() * 1000)));
            ++k;
            channel = parts.captured(1).toInt();
            agent.apply(channel, {u"t%1"_s.arg(k), parts.captured(2), u"w%1"_s.arg(k), {}}, parts.captured(3) == u'+');
            agent.flushBubbles();
            rig.clock.advance(1s);
        }
        QCOMPARE(feedTexts(agent), shown);
        QCOMPARE(alerts, alerted);
        QCOMPARE(agent.briefs().value(channel).topic, kept);
        QCOMPARE(agent.briefs().value(channel).why, u"w%1"_s.arg(k));
    }

    // Bubbles play in queue order, one every 0.9 s, each with the brief stored when it shows; a
    // new batch, even an empty one, cancels the bubble being waited on and those after it. The
    // feed keeps the newest 30.
    void bubblesAndFeed()
    {
        AgentRig rig(1);
        ChannelAgent& agent = *rig.agent;
        auto brief = [](const QString& topic, const QString& why = {}) {
            return ChannelAgent::Brief{topic, u"new"_s, why, {}};
        };
        for (const int channel : {2, 0, 1})
            agent.apply(channel, brief(u"t%1"_s.arg(channel)), true);
        agent.flushBubbles();
        QCOMPARE(agent.focus(), 2);
        rig.clock.advance(899ms);
        QVERIFY(agent.feed().isEmpty());
        rig.clock.advance(1ms);
        QCOMPARE(agent.focus(), 0);
        agent.apply(0, brief(u"ignored"_s, u"fresh"_s), false);
        rig.clock.advance(900ms);
        QCOMPARE(feedTexts(agent), (QStringList{"t2", "t0"}));
        QCOMPARE(agent.feed().last().detail, u"fresh"_s);
        rig.clock.advance(500ms);
        agent.apply(5, brief(u"t5"_s), true);
        agent.flushBubbles();
        rig.clock.advance(300ms);
        agent.flushBubbles();
        rig.clock.advance(5s);
        QCOMPARE(feedTexts(agent), (QStringList{"t2", "t0"}));
        QCOMPARE(agent.focus(), 5);
        ChannelAgent::FeedItem item;
        for (int i = 1; i <= 31; ++i)
            item.text = QString::number(i), agent.appendFeedItem(item);
        QCOMPARE(agent.feed().size(), ChannelAgent::kFeedLimit);
        QCOMPARE(agent.feed().first().text, u"2"_s);
        QCOMPARE(agent.feed().last().text, u"31"_s);
    }

    // Nothing acts on a transcriber or an agent that is gone: ticks and hops find no channels,
    // and the timers, the demo's answer and the bubble player of a destroyed agent never run.
    void goneObjects()
    {
        AgentRig rig(1);
        rig.makeAgent(true);
        rig.transcriber().startDemo();
        rig.agent->start();
        rig.clock.advance(12s);
        QVERIFY(rig.agent->asking());
        rig.agent->apply(3, {u"t"_s, u"new"_s, {}, {}}, true);
        rig.agent->flushBubbles();
        rig.agent.reset();
        rig.clock.advance(60s);
        QCOMPARE(rig.clock.activeTimerCount(), 0);
        AgentRig mic(1);
        mic.run();
        QCOMPARE(mic.agent->watchedChannels(), (QList<ChannelAgent::Watched>{{-1, u"Mic"_s}}));
        mic.agent->start();
        mic.transcriber().stop();
        mic.rig.engine.reset();
        mic.clock.advance(60s);
        QVERIFY(mic.agent->watchedChannels().isEmpty() && !mic.agent->asking());
        QCOMPARE(mic.agent->focus(), std::nullopt);
        QCOMPARE(mic.agent->channelName(0), u"Mic"_s);
    }
};

PINDLE_TEST(ChannelAgentTest)
#include "ChannelAgentTest.moc"
