#include "agent/AgentTestSupport.h"
#include "common/TestMain.h"

#include "screens/AgentPanelModel.h"

#include <QSignalSpy>

using namespace agent_test;
using namespace std::chrono_literals;
using Sensitivity = ChannelAgent::Sensitivity;
using FeedItem = ChannelAgent::FeedItem;
using Kind = FeedItem::Kind;
using Role = AgentDot::Role;

namespace {

FeedItem item(Kind kind, std::optional<int> channel, const QString& payload, const QString& text,
              const QString& detail = {})
{
    return agent_test::feedItem(kind, channel, payload, text, detail);
}

DisplaySegment line(const QString& id, int channel)
{
    DisplaySegment segment;
    segment.id = id;
    segment.text = u"text of "_s + id;
    segment.channel = channel;
    return segment;
}

QStringList ids(const QList<AgentLiveLine>& lines)
{
    QStringList out;
    for (const AgentLiveLine& l : lines)
        out.append(l.id);
    return out;
}

QStringList rowKeys(const AgentChatRows& rows)
{
    QStringList out;
    for (const AgentChatRow& row : rows.rows())
        out.append(row.kind == AgentChatRow::Kind::Bubble ? row.bubble.sentence : row.key());
    return out;
}

// The agent on an engine of `channels`, and the panel over both, recording what it opens.
struct PanelRig {
    explicit PanelRig(int channels)
        : rig(channels), model(*rig.agent, rig.transcriber(), [this](std::optional<int> c) { opened.append(c); })
    {
    }
    ChannelAgent& agent() { return *rig.agent; }

    AgentRig rig;
    QList<std::optional<int>> opened;
    AgentPanelModel model;
};

} // namespace

Q_DECLARE_METATYPE(AgentDot)
Q_DECLARE_METATYPE(QList<DisplaySegment>)

class AgentPanelModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // First match wins: a brief under way, then a scan, then the focus, else listening.
    void status_data()
    {
        QTest::addColumn<bool>("asking");
        QTest::addColumn<bool>("scanning");
        QTest::addColumn<bool>("focus");
        QTest::addColumn<QString>("expected");
        QTest::newRow("idle") << false << false << false << u"Listening"_s;
        QTest::newRow("focus") << false << false << true << u"On Ch 2"_s;
        QTest::newRow("scan over focus") << false << true << true << u"Scanning\u2026"_s;
        QTest::newRow("asking over scan") << true << true << true << u"Reading\u2026"_s;
    }
    void status()
    {
        QFETCH(bool, asking);
        QFETCH(bool, scanning);
        QFETCH(bool, focus);
        QFETCH(QString, expected);
        PanelRig p(4);
        QSignalSpy changes(&p.model, &AgentPanelModel::statusChanged);
        p.rig.run();
        if (asking) {
            p.rig.say(0, u"1"_s, words(12), 10.0);
            p.agent().askTick();
            QVERIFY(p.agent().asking());
        }
        if (scanning) {
            p.rig.transcriber().scanChannels();
            QVERIFY(p.rig.transcriber().scanning());
        }
        if (focus && !asking)
            p.agent().hop();
        QCOMPARE(p.model.status(), expected);
        QCOMPARE(changes.isEmpty(), !(asking || scanning || focus));
    }

    // The watched count is of live channels tagged for the agent: a fader at exactly 0.005 is off.
    void emptyText_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QList<int>>("muted");
        QTest::addColumn<QList<int>>("faded");
        QTest::addColumn<QList<int>>("untagged");
        QTest::addColumn<QString>("expected");
        const QString start = u"Press Start logging and I'll keep an eye on the channels for you."_s;
        const QString mic = u"I'm keeping an eye on your mic. I'll message you here when something's worth a look."_s;
        const auto count = [](int n) {
            return u"I'm keeping an eye on %1 channels. I'll message you here when something's worth a look."_s.arg(n);
        };
        QTest::newRow("not running") << false << 4 << QList<int>{} << QList<int>{} << QList<int>{} << start;
        QTest::newRow("not running, mic") << false << 0 << QList<int>{} << QList<int>{} << QList<int>{} << start;
        QTest::newRow("mic") << true << 0 << QList<int>{} << QList<int>{} << QList<int>{} << mic;
        QTest::newRow("all watched") << true << 4 << QList<int>{} << QList<int>{} << QList<int>{} << count(4);
        QTest::newRow("muted, faded, untagged")
            << true << 6 << QList<int>{0} << QList<int>{1} << QList<int>{2} << count(3);
        QTest::newRow("none tagged") << true << 3 << QList<int>{} << QList<int>{} << QList<int>{0, 1, 2} << count(0);
    }
    void emptyText()
    {
        QFETCH(bool, running);
        QFETCH(int, channels);
        QFETCH(QList<int>, muted);
        QFETCH(QList<int>, faded);
        QFETCH(QList<int>, untagged);
        QFETCH(QString, expected);
        QList<ChannelConfig> configs(channels);
        for (int i = 0; i < channels; ++i)
            configs[i].index = i;
        for (int i : muted)
            configs[i].on = false;
        for (int i : faded)
            configs[i].fader = ChannelConfig::kOffFader;
        for (int i : untagged)
            configs[i].agent = false;
        QCOMPARE(AgentPanelModel::emptyTextFor(running, configs), expected);
    }

    // The empty state follows the engine's run and leaves with the first item; a fader just
    // above off counts.
    void emptyStateFollowsEngineAndFeed()
    {
        PanelRig p(4);
        QSignalSpy changes(&p.model, &AgentPanelModel::emptyTextChanged);
        QVERIFY(p.model.emptyText()->startsWith(u"Press Start"_s));
        p.rig.transcriber().setFader(1, 0.006);
        p.rig.transcriber().setAgent(2, false);
        p.rig.run();
        QCOMPARE(p.model.emptyText()->left(25), u"I'm keeping an eye on 3 c"_s);
        QCOMPARE(p.model.rows().rowCount(), 1);
        QCOMPARE(p.model.rows().at(0).text, *p.model.emptyText());
        p.agent().appendFeedItem(item(Kind::Scan, std::nullopt, {}, u"4 channels"_s));
        QCOMPARE(p.model.emptyText(), std::nullopt);
        QCOMPARE(p.model.rows().rowCount(), 1);
        QCOMPARE(p.model.rows().at(0).kind, AgentChatRow::Kind::Bubble);
        QVERIFY(changes.size() >= 3);
    }

    void bubble_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("channel"); // -99: none
        QTest::addColumn<QString>("payload");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("italic");
        const int brief = int(Kind::Brief);
        const int keyword = int(Kind::Keyword);
        QTest::newRow("new") << brief << 2 << u"new"_s << u"the boat"_s << u"A turn"_s
                             << u"Boom's on to something new: the boat."_s << u"New"_s << false;
        QTest::newRow("quiet") << brief << 2 << u"quiet"_s << u"crew chat"_s << QString()
                               << u"Boom's gone quiet: crew chat."_s << QString() << false;
        QTest::newRow("same") << brief << 2 << u"same"_s << u"the quota"_s << QString()
                              << u"Boom's still on the quota. You've got that covered."_s << QString() << false;
        QTest::newRow("unknown verdict") << brief << 2 << u"maybe"_s << u"the quota"_s << QString()
                                         << u"Boom's still on the quota. You've got that covered."_s << QString()
                                         << false;
        QTest::newRow("verdict case") << brief << 2 << u"New"_s << u"x"_s << QString()
                                      << u"Boom's still on x. You've got that covered."_s << QString() << false;
        QTest::newRow("keyword quoted") << keyword << 2 << u"boat"_s << u"\"boat\""_s << u"sell the boat"_s
                                        << u"Heads up, \"boat\" on Boom."_s << u"Alert"_s << true;
        QTest::newRow("keyword doubly quoted") << keyword << 2 << u"boat"_s << u"\"\"boat\"\""_s << u"line"_s
                                               << u"Heads up, \"boat\" on Boom."_s << u"Alert"_s << true;
        QTest::newRow("keyword bare") << keyword << 2 << u"boat"_s << u"boat"_s << u"line"_s
                                      << u"Heads up, \"boat\" on Boom."_s << u"Alert"_s << true;
        QTest::newRow("keyword other text") << keyword << 2 << u"boat"_s << u"the boat"_s << u"line"_s
                                            << u"Heads up, \"boat\" on Boom."_s << u"Alert"_s << false;
        QTest::newRow("keyword case") << keyword << 2 << u"boat"_s << u"\"Boat\""_s << u"line"_s
                                      << u"Heads up, \"boat\" on Boom."_s << u"Alert"_s << false;
        QTest::newRow("keyword no detail") << keyword << 2 << u"boat"_s << u"\"boat\""_s << QString()
                                           << u"Heads up, \"boat\" on Boom."_s << u"Alert"_s << false;
        QTest::newRow("scan") << int(Kind::Scan) << -99 << QString() << u"4 channels, 2 with speech"_s
                              << u"Muted Ch 3 silent"_s << u"Scanned the channels: 4 channels, 2 with speech."_s
                              << QString() << false;
    }
    void bubble()
    {
        QFETCH(int, kind);
        QFETCH(int, channel);
        QFETCH(QString, payload);
        QFETCH(QString, text);
        QFETCH(QString, detail);
        QFETCH(QString, sentence);
        QFETCH(QString, tag);
        QFETCH(bool, italic);
        const std::optional<int> ch = channel == -99 ? std::nullopt : std::optional<int>(channel);
        const FeedItem fed = item(Kind(kind), ch, payload, text, detail);
        const AgentBubble b = AgentPanelModel::bubbleFor(fed, u"Boom"_s);
        QCOMPARE(b.id, fed.id);
        QCOMPARE(b.sentence, sentence);
        QCOMPARE(b.tag, tag);
        QCOMPARE(b.bell, Kind(kind) == Kind::Keyword);
        QCOMPARE(b.detail, detail);
        QCOMPARE(b.detailItalic, italic);
        // An item of no channel has no name, no dot and no help.
        QCOMPARE(b.showsDot(), ch.has_value());
        QCOMPARE(b.help, ch ? u"Listen to Boom and jump to its latest line"_s : QString());
    }

    void dot_data()
    {
        QTest::addColumn<int>("channel"); // -99: none
        QTest::addColumn<AgentDot>("expected");
        QTest::newRow("none") << -99 << AgentDot{Role::Muted, 0};
        QTest::newRow("mic") << -1 << AgentDot{Role::Coral, 0};
        QTest::newRow("first") << 0 << AgentDot{Role::Channel, 0};
        QTest::newRow("beyond the table") << 9 << AgentDot{Role::Channel, 9};
    }
    void dot()
    {
        QFETCH(int, channel);
        QFETCH(AgentDot, expected);
        const std::optional<int> ch = channel == -99 ? std::nullopt : std::optional<int>(channel);
        QCOMPARE(AgentPanelModel::bubbleFor(item(Kind::Brief, ch, u"new"_s, u"x"_s), u"A"_s).dot, expected);
    }

    // The time of day alone, short, in the locale.
    void time_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << u"3:04 PM"_s;
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << u"15:04"_s;
    }
    void time()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        FeedItem fed = item(Kind::Scan, std::nullopt, {}, u"x"_s);
        fed.at = Date::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(15, 4, 9)));
        QString shown = AgentPanelModel::bubbleFor(fed, {}, locale).time;
        shown.replace(QChar(0x202F), u' ');
        QCOMPARE(shown, expected);
    }

    void liveLines_data()
    {
        QTest::addColumn<QList<DisplaySegment>>("segments");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QStringList>("expected");
        const QList<DisplaySegment> mixed{line(u"a"_s, 1), line(u"b"_s, 2), line(u"c"_s, 1), line(u"d"_s, 1),
                                          line(u"e"_s, 2), line(u"f"_s, 1), line(u"g"_s, -1)};
        QTest::newRow("none yet") << mixed << 3 << QStringList{};
        QTest::newRow("fewer than three") << mixed << 2 << QStringList{u"b"_s, u"e"_s};
        QTest::newRow("last three in order") << mixed << 1 << QStringList{u"c"_s, u"d"_s, u"f"_s};
        QTest::newRow("mic") << mixed << -1 << QStringList{u"g"_s};
        QTest::newRow("empty transcript") << QList<DisplaySegment>{} << 1 << QStringList{};
    }
    void liveLines()
    {
        QFETCH(QList<DisplaySegment>, segments);
        QFETCH(int, channel);
        QFETCH(QStringList, expected);
        QCOMPARE(ids(AgentPanelModel::liveLines(segments, channel)), expected);
    }

    // Two taps on the focused channel open and close its live lines; the panel's header comes
    // alone until the channel speaks, and its lines follow the transcript. No focus, no tap.
    void tapOpensThenCloses()
    {
        PanelRig p(4);
        QSignalSpy scrolls(&p.model, &AgentPanelModel::scrollToLiveRequested);
        p.model.tapCharacter();
        QCOMPARE(p.agent().bubble(), std::nullopt);
        p.rig.run();
        p.agent().hop();
        QCOMPARE(p.agent().focus(), 1);
        p.model.tapCharacter();
        QCOMPARE(p.agent().bubble(), 1);
        QCOMPARE(scrolls.size(), 1);
        QVERIFY(p.model.live());
        QCOMPARE(p.model.live()->title, u"Live on Ch 2"_s);
        QCOMPARE(p.model.live()->dot, (AgentDot{Role::Channel, 1}));
        QVERIFY(p.model.live()->lines.isEmpty());
        QCOMPARE(p.model.rows().rows().constLast().kind, AgentChatRow::Kind::Live);

        QSignalSpy liveChanges(&p.model, &AgentPanelModel::liveChanged);
        p.rig.say(0, u"1"_s, u"elsewhere"_s, 2.0);
        QCOMPARE(liveChanges.size(), 0);
        p.rig.say(1, u"2"_s, u"here"_s, 3.0);
        QCOMPARE(liveChanges.size(), 1);
        QCOMPARE(ids(p.model.live()->lines), QStringList{u"1-2"_s});

        p.model.tapCharacter();
        QCOMPARE(p.agent().bubble(), std::nullopt);
        QCOMPARE(p.model.live(), std::nullopt);
        QCOMPARE(scrolls.size(), 1);
        QCOMPARE(p.model.rows().rowOf(u"live"_s), std::nullopt);

        // Open on another channel, a tap moves the live lines to the focus; Close shuts them.
        p.agent().setBubble(3);
        p.model.tapCharacter();
        QCOMPARE(p.agent().bubble(), 1);
        p.model.closeLive();
        QCOMPARE(p.agent().bubble(), std::nullopt);
    }

    // A bubble opens its item's channel, a scan item none; an id no longer in the feed nothing.
    void openBubble()
    {
        PanelRig p(4);
        const FeedItem brief = item(Kind::Brief, 2, u"new"_s, u"x"_s);
        const FeedItem scan = item(Kind::Scan, std::nullopt, {}, u"y"_s);
        p.agent().appendFeedItem(brief);
        p.agent().appendFeedItem(scan);
        p.model.openBubble(brief.id);
        p.model.openBubble(scan.id);
        p.model.openBubble(QUuid::createUuid());
        QCOMPARE(p.opened, (QList<std::optional<int>>{2, std::nullopt}));
    }

    // Bubbles in feed order with the live panel last; a full feed moves on by one removal and one
    // insertion, asks to show the newest, and never resets the rows.
    void rowsFollowTheFeed()
    {
        PanelRig p(4);
        p.agent().setBubble(0);
        QSignalSpy scrolls(&p.model, &AgentPanelModel::scrollToItemRequested);
        QSignalSpy resets(&p.model.rows(), &QAbstractItemModel::modelReset);
        QSignalSpy inserts(&p.model.rows(), &QAbstractItemModel::rowsInserted);
        QSignalSpy removals(&p.model.rows(), &QAbstractItemModel::rowsRemoved);
        for (int i = 1; i <= ChannelAgent::kFeedLimit + 1; ++i)
            p.agent().appendFeedItem(item(Kind::Scan, std::nullopt, {}, QString::number(i)));
        QCOMPARE(scrolls.size(), ChannelAgent::kFeedLimit + 1);
        QCOMPARE(scrolls.constLast().at(0).toUuid(), p.agent().feed().constLast().id);
        QCOMPARE(resets.size(), 0);
        // The empty state, then the oldest item.
        QCOMPARE(removals.size(), 2);
        QCOMPARE(inserts.size(), ChannelAgent::kFeedLimit + 1);
        const QStringList keys = rowKeys(p.model.rows());
        QCOMPARE(keys.size(), ChannelAgent::kFeedLimit + 1);
        QCOMPARE(keys.constFirst(), u"Scanned the channels: 2."_s);
        QCOMPARE(keys.at(keys.size() - 2), u"Scanned the channels: 31."_s);
        QCOMPARE(keys.constLast(), u"live"_s);
    }

    // Rows that come back in another order are taken whole.
    void rowsReorderResets()
    {
        AgentChatRows rows;
        QList<AgentChatRow> list;
        for (int i = 0; i < 3; ++i) {
            AgentChatRow row{AgentChatRow::Kind::Bubble, {}, {}, {}};
            row.bubble.id = QUuid::createUuid();
            list.append(row);
        }
        rows.setRows(list);
        QSignalSpy resets(&rows, &QAbstractItemModel::modelReset);
        std::swap(list[0], list[2]);
        rows.setRows(list);
        QCOMPARE(resets.size(), 1);
        QCOMPARE(rows.rows(), list);
    }

    // A renamed channel is renamed in its bubbles, the status and the live panel.
    void renameFollows()
    {
        PanelRig p(4);
        p.rig.run();
        p.agent().hop();
        p.agent().setBubble(1);
        p.agent().appendFeedItem(item(Kind::Brief, 1, u"quiet"_s, u"x"_s));
        p.rig.transcriber().renameChannel(1, u"Boom"_s);
        QCOMPARE(p.model.status(), u"On Boom"_s);
        QCOMPARE(p.model.bubbles().constFirst().sentence, u"Boom's gone quiet: x."_s);
        QCOMPARE(p.model.live()->title, u"Live on Boom"_s);
        QCOMPARE(p.model.rows().at(0).bubble.sentence, u"Boom's gone quiet: x."_s);
    }

    // The three choices in order, the agent's checked; a choice is stored, and while the agent
    // runs its timers restart at the new pace.
    void sensitivity()
    {
        PanelRig p(4);
        QSignalSpy changes(&p.model, &AgentPanelModel::sensitivityChanged);
        const QList<AgentPanelModel::SensitivityChoice> choices = p.model.sensitivityChoices();
        QCOMPARE(choices.size(), 3);
        QCOMPARE(choices.at(0), (AgentPanelModel::SensitivityChoice{Sensitivity::Low, u"Only big moments"_s, false}));
        QCOMPARE(choices.at(1), (AgentPanelModel::SensitivityChoice{Sensitivity::Normal, u"Normal"_s, true}));
        QCOMPARE(choices.at(2), (AgentPanelModel::SensitivityChoice{Sensitivity::High, u"Everything"_s, false}));

        p.model.chooseSensitivity(Sensitivity::Low);
        QCOMPARE(p.model.sensitivityLabel(), u"Only big moments"_s);
        QCOMPARE(p.rig.rig.defaults->string(ChannelAgent::kSensitivityKey), u"low"_s);
        QCOMPARE(p.rig.clock.activeTimerCount(), 0);
        QCOMPARE(changes.size(), 1);

        p.rig.run();
        p.agent().start();
        p.rig.say(0, u"1"_s, words(6), 10.0);
        p.rig.clock.advance(20s);
        QVERIFY(!p.agent().asking());
        p.model.chooseSensitivity(Sensitivity::High);
        QVERIFY(p.model.sensitivityChoices().at(2).checked);
        // Restarted: the first ask comes 15 s after the choice, not on the old 60 s beat.
        p.rig.clock.advance(15s - 1ms);
        QVERIFY(!p.agent().asking());
        p.rig.clock.advance(1ms);
        QVERIFY(p.agent().asking());
        QCOMPARE(p.model.status(), u"Reading\u2026"_s);
    }
};

PINDLE_TEST(AgentPanelModelTest)
#include "AgentPanelModelTest.moc"
