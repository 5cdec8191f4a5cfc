#include "ScreenRig.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "screens/HeaderModel.h"

#include <QJsonArray>

using screen_test::kWaitMs;

namespace {

using Item = HeaderMenuItem;

// A screen and its header on the rig's parts; `inputs` replaces the rig's one microphone.
struct HeaderRig : screen_test::RigParts {
    HeaderRig(const QUrl& base, const QString& cookie, bool demo,
              const std::optional<QList<AudioInputDevice>>& inputs = std::nullopt)
        : RigParts(base, cookie, 3000)
    {
        // The demo's own scan at the start ends 10 ms of the clock per channel later.
        LoggingScreenEnvironment env = environment(demo, {}, 10);
        if (inputs)
            devices.setSimulatedDevices(*inputs);
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        screen->appear();
        header = std::make_unique<HeaderModel>(*screen);
        screen->sessions().waitForLoad();
    }

    DesktopTranscriber& engine() { return screen->transcriber(); }
    [[nodiscard]] Item item(const QList<Item>& menu, const QString& title) const
    {
        for (const Item& item : menu)
            if (item.title == title)
                return item;
        return {};
    }
    QUuid mark() { return screen->tapEntry(screen_test::Rig::button("moment", 5), clock.now(), clock.now(), {}); }

    std::unique_ptr<LoggingScreenModel> screen;
    std::unique_ptr<HeaderModel> header;
};

AudioInputDevice input(const QString& uid, int channels, bool isDefault = false)
{
    AudioInputDevice device;
    device.uid = uid;
    device.id = AudioDevices::idForUid(uid);
    device.name = uid.toUpper();
    device.channelCount = channels;
    device.channelNames = QStringList(channels, QString());
    device.isDefault = isDefault;
    return device;
}

LogSession savedLog(Date created, int markers)
{
    LogSession session{QUuid::createUuid(), created, {}, std::nullopt, QList<LogLine>{}};
    for (int i = 0; i < markers; ++i) {
        LogEntry entry;
        entry.id = QUuid::createUuid();
        entry.time = created;
        entry.type = QStringLiteral("moment");
        session.entries.append(entry);
    }
    // A log without entries is kept only for its transcript.
    session.transcript->append(LogLine{QStringLiteral("1-a"), std::nullopt, QStringLiteral("hello"), {}, 0});
    return session;
}

QStringList titles(const QList<Item>& menu)
{
    QStringList out;
    for (const Item& item : menu)
        out << (item.kind == Item::Kind::Divider ? QStringLiteral("--") : item.title);
    return out;
}

} // namespace

// The header's decisions on a real screen and a real stand-in: menus by state, the order of the
// session actions, a start held while a wrap is out, the banners and the Start/Stop title.
class HeaderModelTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    std::unique_ptr<HeaderRig> rig(bool demo = false, const std::optional<QList<AudioInputDevice>>& inputs = {})
    {
        return std::make_unique<HeaderRig>(m_standin->baseUrl(), m_cookie, demo, inputs);
    }
    QJsonObject shoot(const QString& token) { return m_standin->shoot(token); }
    void holdWrap(const QString& token, const QString& kind)
    {
        m_standin->control(QStringLiteral("fault"),
                           {{"path", "/api/logger/shoots/" + token + "/wrap"}, {"kind", kind}, {"delay_ms", 1500}});
    }
    // Start pressed in the header; true once the engine runs under a token.
    bool startCloudRun(HeaderRig& r)
    {
        r.header->toggleLogging();
        return QTest::qWaitFor([&] { return r.engine().running() && r.screen->log().shootToken(); }, kWaitMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        QVERIFY(!m_cookie.isEmpty());
    }

    // Saved logs newest first, at most 20; the open log's row alone carries the check, also when
    // the open log is past the twentieth and so not listed at all.
    void sessionsMenu_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("openRank");
        QTest::newRow("none saved") << 0 << -1;
        QTest::newRow("one, open") << 1 << 0;
        QTest::newRow("twenty, the oldest open") << 20 << 19;
        QTest::newRow("twenty-five, open one not listed") << 25 << 22;
    }
    void sessionsMenu()
    {
        QFETCH(int, stored);
        QFETCH(int, openRank);
        auto r = rig();
        QList<LogSession> byAge;
        for (int i = 0; i < stored; ++i)
            byAge.prepend(savedLog(r->clock.now().addingSeconds(-3600.0 * i), i % 3));
        for (int i = 0; i < stored; ++i)
            r->screen->sessions().upsert(byAge.at((i * 7) % stored)); // any order in, newest first out
        if (openRank >= 0)
            r->screen->log().load(byAge.at(stored - 1 - openRank));
        const QList<Item> menu = r->header->sessionsMenu();
        QCOMPARE(titles(menu).mid(0, 3), (QStringList{HeaderModel::kWrapTitle, "--", HeaderModel::kNewSessionTitle}));
        QVERIFY(!menu.at(0).enabled);
        if (stored == 0) {
            QCOMPARE(menu.size(), 3);
            return;
        }
        QCOMPARE(menu.at(4).kind, Item::Kind::Heading);
        const QList<Item> rows = menu.mid(5);
        QCOMPARE(rows.size(), std::min(stored, HeaderModel::kListedSessions));
        for (int rank = 0; rank < rows.size(); ++rank) {
            const LogSession& session = byAge.at(stored - 1 - rank);
            QCOMPARE(rows.at(rank).command.argument, session.id.toString(QUuid::WithoutBraces));
            QVERIFY(rows.at(rank).title.contains(QString("  ·  %1 markers").arg(session.entries.size())));
            QCOMPARE(rows.at(rank).title.endsWith(QStringLiteral("  ✓")), rank == openRank);
        }
    }

    // One check at most: the system default while none was chosen, else the chosen input's row,
    // none for an input that is not there. "Scan channels" needs channel settings.
    void inputMenu_data()
    {
        QTest::addColumn<QList<int>>("inputChannels");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("checkedRow");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("help");
        QTest::newRow("no inputs") << QList<int>{} << "" << 0 << "Input"
                                   << "Choose the audio input";
        QTest::newRow("default microphone") << QList<int>{1} << "" << 0 << "Input"
                                            << "Listening to IN0";
        QTest::newRow("default chosen by name") << QList<int>{1} << "in0" << 1 << "Input"
                                                << "Listening to IN0";
        QTest::newRow("chosen one unplugged") << QList<int>{1} << "gone" << -1 << "Input"
                                              << "Choose the audio input";
        QTest::newRow("interface") << QList<int>{1, 4} << "in1" << 2 << "4 of 4 ch"
                                   << "Listening to IN1";
    }
    void inputMenu()
    {
        QFETCH(QList<int>, inputChannels);
        QFETCH(QString, chosen);
        QFETCH(int, checkedRow);
        QList<AudioInputDevice> inputs;
        for (int i = 0; i < inputChannels.size(); ++i)
            inputs << input(QString("in%1").arg(i), inputChannels.at(i), i == 0);
        auto r = rig(false, inputs);
        if (!chosen.isEmpty())
            r->engine().selectDevice(chosen);
        QTEST(r->header->inputLabel(), "label");
        QTEST(r->header->inputHelp(), "help");
        const QList<Item> menu = r->header->inputMenu();
        QCOMPARE(menu.size(), 7 + inputs.size());
        QCOMPARE(menu.at(0).title, HeaderModel::kListenToTitle);
        for (int row = 0; row <= inputs.size(); ++row)
            QCOMPARE(menu.at(1 + row).title.endsWith(QStringLiteral("  ✓")), row == checkedRow);
        QCOMPARE(r->item(menu, HeaderModel::kScanTitle).enabled, inputChannels.value(1) > 2);
    }

    // The label counts channels that are on with a fader above 0.005.
    void liveChannelLabel_data()
    {
        QTest::addColumn<int>("switchedOff");
        QTest::addColumn<double>("fader");
        QTest::addColumn<QString>("label");
        QTest::newRow("one off") << 1 << 1.0 << "3 of 4 ch";
        QTest::newRow("all off") << 4 << 1.0 << "0 of 4 ch";
        QTest::newRow("fader at the threshold") << 0 << 0.005 << "3 of 4 ch";
        QTest::newRow("fader just above it") << 0 << 0.0051 << "4 of 4 ch";
    }
    void liveChannelLabel()
    {
        QFETCH(int, switchedOff);
        QFETCH(double, fader);
        auto r = rig(false, QList<AudioInputDevice>{input("desk", 4, true)});
        QCOMPARE(r->header->inputLabel(), QStringLiteral("4 of 4 ch"));
        QSignalSpy changed(r->header.get(), &HeaderModel::inputChanged);
        for (int i = 0; i < switchedOff; ++i)
            r->engine().setOn(i, false);
        r->engine().setFader(3, fader);
        QTEST(r->header->inputLabel(), "label");
        QVERIFY(!changed.isEmpty());
    }

    // The demo scans its pretend mixer as it starts: "Scan channels" waits for it to end.
    void scanDisabledWhileScanning()
    {
        auto r = rig(true);
        QVERIFY(!r->item(r->header->inputMenu(), HeaderModel::kScanTitle).enabled);
        r->header->toggleLogging();
        QVERIFY(r->header->startStop().running && r->engine().scanning());
        QVERIFY(!r->item(r->header->inputMenu(), HeaderModel::kScanTitle).enabled);
        r->clock.advance(std::chrono::seconds(1));
        const Item scan = r->item(r->header->inputMenu(), HeaderModel::kScanTitle);
        QVERIFY(scan.enabled);
        QSignalSpy changed(r->header.get(), &HeaderModel::inputChanged);
        r->header->run(scan.command);
        QVERIFY(r->engine().scanning() && !changed.isEmpty());
        QVERIFY(!r->item(r->header->inputMenu(), HeaderModel::kScanTitle).enabled);
    }

    // Each Layout item writes its setting at once and shows it; bad arguments change nothing.
    void layoutMenu_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("stored");
        QTest::newRow("mixer off") << "Mixer" << LoggingScreenModel::kShowMixerKey << QJsonValue(false);
        QTest::newRow("tag bar off") << "Tag bar" << LoggingScreenModel::kShowTagsKey << QJsonValue(false);
        QTest::newRow("chat off") << "Mark's chat" << ChannelAgent::kEnabledKey << QJsonValue(false);
        QTest::newRow("under the log") << "Under the log" << LoggingScreenModel::kAgentPlaceKey << QJsonValue("log");
        QTest::newRow("everything") << ChannelAgent::label(ChannelAgent::Sensitivity::High)
                                    << ChannelAgent::kSensitivityKey
                                    << QJsonValue(ChannelAgent::rawValue(ChannelAgent::Sensitivity::High));
    }
    void layoutMenu()
    {
        QFETCH(QString, title);
        QFETCH(QString, key);
        auto r = rig();
        const Item item = r->item(r->header->layoutMenu(), title);
        QCOMPARE(item.title, title);
        QVERIFY(item.kind == Item::Kind::Toggle || !item.checked);
        QSignalSpy changed(r->header.get(), &HeaderModel::layoutMenuChanged);
        r->header->run(item.command, !item.checked);
        QTEST(r->defaults.value(key), "stored");
        QCOMPARE(r->item(r->header->layoutMenu(), title).checked, !item.checked);
        QVERIFY(!changed.isEmpty());

        const QList<Item> before = r->header->layoutMenu();
        r->header->run({HeaderCommand::Kind::SetAgentPlace, QStringLiteral("sideways")});
        r->header->run({HeaderCommand::Kind::SetSensitivity, QStringLiteral("loud")});
        r->header->run({HeaderCommand::Kind::OpenSession, QStringLiteral("not-an-id")});
        QCOMPARE(r->header->layoutMenu(), before);
    }

    // Wrap: stop at once; the log keeps its token until the wrap is back, then loses it in the
    // open log and the saved copy; the shoot got the log's marker before it was wrapped.
    void wrapThisLog()
    {
        auto r = rig();
        QVERIFY(!r->header->brand().savedLine);
        QVERIFY(startCloudRun(*r));
        const QString token = *r->screen->log().shootToken();
        const QUuid marker = r->mark();
        r->cloud.flush();
        QVERIFY(QTest::qWaitFor([&] { return r->header->brand().savedLine.has_value(); }, kWaitMs));
        QVERIFY(r->header->brand().savedLine->startsWith(QStringLiteral("Saved to your Pindle account ")));
        QVERIFY(r->header->sessionsMenu().at(0).enabled);

        r->header->wrapLog();
        QVERIFY(!r->engine().running() && r->header->wrapping());
        QCOMPARE(r->screen->log().shootToken(), std::optional(token));
        QVERIFY(QTest::qWaitFor([&] { return !r->header->wrapping(); }, kWaitMs));
        QVERIFY(!r->screen->log().shootToken() && !r->screen->sessions().sessions().at(0).shootToken);
        QCOMPARE(r->screen->log().entries().size(), 1);
        QVERIFY(!r->header->sessionsMenu().at(0).enabled && !r->header->brand().savedLine);
        const QJsonObject wrapped = shoot(token);
        QCOMPARE(wrapped[QStringLiteral("wraps")].toInt(), 1);
        QCOMPARE(wrapped[QStringLiteral("markers")][0][QStringLiteral("id")].toString(),
                 marker.toString(QUuid::WithoutBraces).toUpper());
    }

    // A session action while running; the wrap is held back (slow or failing) by the service.
    // The wrap carries the log as chosen, Start waits for it and then runs under a shoot of its
    // own, which the old task never wraps.
    void startWaitsForWrap_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("fault");
        QTest::newRow("wrap, slow") << 0 << "slow";
        QTest::newRow("wrap, failing") << 0 << "status";
        QTest::newRow("new session, slow") << 1 << "slow";
        QTest::newRow("reopen a saved log, failing") << 2 << "status";
    }
    void startWaitsForWrap()
    {
        QFETCH(int, action);
        QFETCH(QString, fault);
        auto r = rig();
        const LogSession other = savedLog(r->clock.now().addingSeconds(-86400), 2);
        r->screen->sessions().upsert(other);
        QVERIFY(startCloudRun(*r));
        const QString token = *r->screen->log().shootToken();
        const QUuid marker = r->mark();
        const QUuid first = r->screen->log().id();
        r->screen->setSelectedEntry(marker);
        holdWrap(token, fault);
        const int shoots = int(m_standin->state().value(QStringLiteral("shoots")).toArray().size());

        if (action == 0)
            r->header->wrapLog();
        else if (action == 1)
            r->header->newSession();
        else
            r->header->openSavedSession(other.id);
        QVERIFY(!r->engine().running() && r->header->wrapping());
        const QUuid open = r->screen->log().id();
        QVERIFY(action == 0 ? open == first : action == 2 ? open == other.id : open != first && open != other.id);
        QCOMPARE(r->screen->log().entries().size(), action == 0 ? 1 : action == 2 ? 2 : 0);
        QCOMPARE(r->screen->selectedEntry().has_value(), action == 0);
        QVERIFY(std::any_of(r->screen->sessions().sessions().cbegin(), r->screen->sessions().sessions().cend(),
                            [&](const LogSession& s) { return s.id == first && s.entries.size() == 1; }));

        // The shoot the next run starts under, and whether the wrap was still out then.
        std::optional<QString> ranUnder;
        bool ranDuringWrap = false;
        QObject watch;
        connect(&r->engine(), &DesktopTranscriber::runningChanged, &watch, [&] {
            if (r->engine().running() && !ranUnder) {
                ranUnder = r->engine().shootToken();
                ranDuringWrap = r->header->wrapping();
            }
        });
        QSignalSpy titles(r->header.get(), &HeaderModel::startStopChanged);
        r->header->toggleLogging();
        r->header->toggleLogging();
        QVERIFY(r->header->startWaiting() && !r->screen->startPending());
        QCOMPARE(r->header->startStop(), (HeaderStartStop{HeaderModel::kStartingTitle, false, true}));
        QCOMPARE(titles.size(), 1);
        QTest::qWait(300);
        QVERIFY(!r->engine().running() && r->header->wrapping());

        QVERIFY(QTest::qWaitFor([&] { return r->engine().running() && r->screen->log().shootToken(); }, kWaitMs));
        QVERIFY(!r->header->wrapping() && !r->header->startWaiting());
        const QString next = *r->screen->log().shootToken();
        QVERIFY(next != token && !ranDuringWrap);
        QCOMPARE(ranUnder, std::optional(next));
        QCOMPARE(r->cloud.token(), std::optional(next));
        QCOMPARE(int(m_standin->state().value(QStringLiteral("shoots")).toArray().size()), shoots + 1);
        QCOMPARE(shoot(token)[QStringLiteral("wraps")].toInt(), fault == QLatin1String("slow") ? 1 : 0);
        QCOMPARE(shoot(token)[QStringLiteral("markers")].toArray().size(), 1);
        QCOMPARE(shoot(next)[QStringLiteral("wraps")].toInt(), 0);
        QCOMPARE(r->header->startStop().title, HeaderModel::kStopTitle);
    }

    // "Starting…" while the shoot is asked for; a second press then does nothing.
    void startTitleWhilePending()
    {
        auto r = rig();
        QCOMPARE(r->header->startStop(), (HeaderStartStop{HeaderModel::kStartTitle, false, false}));
        m_standin->control(QStringLiteral("fault"),
                           {{"path", "/api/logger/shoots"}, {"method", "POST"}, {"kind", "slow"}, {"delay_ms", 800}});
        r->header->toggleLogging();
        r->header->toggleLogging();
        QCOMPARE(r->header->startStop(), (HeaderStartStop{HeaderModel::kStartingTitle, false, true}));
        QVERIFY(QTest::qWaitFor([&] { return r->header->startStop().running; }, kWaitMs));
        QCOMPARE(r->header->startStop().title, HeaderModel::kStopTitle);
        r->header->toggleLogging();
        QCOMPARE(r->header->startStop().title, HeaderModel::kStartTitle);
    }

    // The notice goes on dismiss and comes back with the next one. The sync problem's dismissal
    // holds for that problem only: another failure, or the same after a good sync, shows again.
    void banners()
    {
        auto r = rig();
        QSignalSpy changed(r->header.get(), &HeaderModel::bannersChanged);
        r->engine().setNotice(QStringLiteral("Input lost"));
        QCOMPARE(r->header->notice(), std::optional(QStringLiteral("Input lost")));
        r->header->dismissNotice();
        QVERIFY(!r->header->notice() && !r->engine().notice());
        r->engine().setNotice(QStringLiteral("Input lost"));
        QVERIFY(r->header->notice());

        QVERIFY(startCloudRun(*r));
        const QString sync = "/api/logger/shoots/" + *r->screen->log().shootToken() + "/sync";
        const auto syncWith = [&](int status) {
            if (status != 200)
                m_standin->control(QStringLiteral("fault"), {{"path", sync}, {"kind", "status"}, {"status", status}});
            bool done = false;
            r->cloud.flush([&] { done = true; });
            return QTest::qWaitFor([&] { return done; }, kWaitMs);
        };
        QVERIFY(syncWith(500));
        const std::optional<QString> problem = r->header->syncProblem();
        QVERIFY(problem && problem->contains(QStringLiteral("500")));
        changed.clear();
        r->header->dismissSyncProblem();
        QVERIFY(!r->header->syncProblem() && r->cloud.problem() && changed.size() == 1);
        QVERIFY(syncWith(500));
        QVERIFY(!r->header->syncProblem());
        QVERIFY(syncWith(503));
        QVERIFY(r->header->syncProblem() && r->header->syncProblem()->contains(QStringLiteral("503")));
        r->header->dismissSyncProblem();
        QVERIFY(syncWith(200));
        QVERIFY(!r->cloud.problem());
        QVERIFY(syncWith(503));
        QVERIFY(r->header->syncProblem());
    }

    // The date line is the open log's: a new session a day later changes it, reopening the old
    // log brings it back. The Alerts pill's symbol follows the keywords.
    void dateLineAndAlertsSymbol()
    {
        auto r = rig();
        r->mark();
        const QUuid first = r->screen->log().id();
        const QString firstDate = r->header->brand().dateLine;
        QVERIFY(!firstDate.isEmpty());
        r->clock.advance(std::chrono::hours(24));
        QSignalSpy brand(r->header.get(), &HeaderModel::brandChanged);
        r->header->newSession();
        QVERIFY(!brand.isEmpty() && r->header->brand().dateLine != firstDate);
        r->header->openSavedSession(first);
        QCOMPARE(r->header->brand().dateLine, firstDate);

        QCOMPARE(r->header->pills().at(2).symbol, QStringLiteral("bell"));
        r->screen->keywords().add(QStringLiteral("lunch"));
        QCOMPARE(r->header->pills().at(2).symbol, QStringLiteral("bell.badge"));
        r->screen->keywords().remove(QStringLiteral("lunch"));
        QCOMPARE(r->header->pills().at(2).symbol, QStringLiteral("bell"));
    }

    // The Export menu waits for the first entry and closes again on an empty log; only a turn of
    // the flag is news, not every save.
    void exportNeedsEntries()
    {
        auto r = rig();
        QVERIFY(!r->header->exportEnabled());
        QSignalSpy turned(r->header.get(), &HeaderModel::exportEnabledChanged);
        const QUuid first = r->mark();
        QVERIFY(r->header->exportEnabled());
        const QUuid second = r->mark();
        r->screen->log().removeEntry(first);
        QVERIFY(r->header->exportEnabled());
        QCOMPARE(turned.size(), 1);
        r->screen->log().removeEntry(second);
        QVERIFY(!r->header->exportEnabled());
        QCOMPARE(turned.size(), 2);

        r->mark();
        const QUuid saved = r->screen->log().id();
        r->header->newSession();
        QVERIFY(!r->header->exportEnabled());
        r->header->openSavedSession(saved);
        QVERIFY(r->header->exportEnabled());
        QCOMPARE(turned.size(), 5);
    }

    // "System default" hands the input back to the machine's default: the chosen input is
    // forgotten, in the stored setting too, and the check moves to that row; with none chosen
    // it changes nothing.
    void systemDefaultRow_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: none
        QTest::addColumn<QString>("labelBefore");
        QTest::newRow("an interface") << "in1"
                                      << "4 of 4 ch";
        QTest::newRow("the default input, by name") << "in0"
                                                    << "Input";
        QTest::newRow("an unplugged input") << "gone"
                                            << "Input";
        QTest::newRow("none chosen") << ""
                                     << "Input";
    }
    void systemDefaultRow()
    {
        QFETCH(QString, chosen);
        const QString stored = QStringLiteral("pindle_log_input_device");
        auto r = rig(false, QList<AudioInputDevice>{input("in0", 1, true), input("in1", 4)});
        if (!chosen.isEmpty())
            r->engine().selectDevice(chosen);
        QTEST(r->header->inputLabel(), "labelBefore");
        QCOMPARE(r->defaults.value(stored).toString(), chosen);
        const Item row = r->header->inputMenu().at(1);
        QCOMPARE(row.title, chosen.isEmpty() ? QStringLiteral("System default  ✓") : QStringLiteral("System default"));

        QSignalSpy changed(r->header.get(), &HeaderModel::inputChanged);
        r->header->run(row.command);
        QCOMPARE(r->engine().deviceUID(), std::nullopt);
        QVERIFY(r->defaults.value(stored).isUndefined());
        QCOMPARE(changed.isEmpty(), chosen.isEmpty());
        QCOMPARE(titles(r->header->inputMenu()).mid(1, 3),
                 (QStringList{"System default  ✓", "IN0  ·  1 ch", "IN1  ·  4 ch"}));
        QCOMPARE(r->header->inputHelp(), QStringLiteral("Listening to IN0"));
        QCOMPARE(r->header->inputLabel(), QStringLiteral("Input"));
    }
};

PINDLE_TEST(HeaderModelTest)

#include "HeaderModelTest.moc"
