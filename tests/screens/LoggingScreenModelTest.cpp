#include "ScreenRig.h"
#include "SentLog.h"
#include "common/NotificationServer.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "audio/DemoShoot.h"

#include <QJsonArray>

using screen_test::kWaitMs;
using screen_test::Rig;
using screen_test::sent;

class LoggingScreenModelTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    std::unique_ptr<Rig> rig(bool demo = true, const QString& sessionsFile = {}, int lineMs = 3000)
    {
        return std::make_unique<Rig>(m_standin->baseUrl(), m_cookie, demo, sessionsFile, lineMs);
    }
    int shootCount() { return int(m_standin->state().value(QStringLiteral("shoots")).toArray().size()); }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        QVERIFY(!m_cookie.isEmpty());
    }

    // Lines 3 s apart; a press reaching back to exactly a line's end offers that line and the
    // newer ones, all ticked; a hair shorter leaves it out; a watch-only channel is never offered.
    void grabBackWindow_data()
    {
        QTest::addColumn<int>("boundary");
        QTest::addColumn<double>("shorter");
        QTest::addColumn<bool>("hideBoundaryChannel");
        QTest::newRow("window edge on a line's end") << 3 << 0.0 << false;
        QTest::newRow("just after the line's end") << 3 << 0.001 << false;
        QTest::newRow("edge line on a watch-only channel") << 3 << 0.0 << true;
    }
    void grabBackWindow()
    {
        QFETCH(int, boundary);
        QFETCH(double, shorter);
        QFETCH(bool, hideBoundaryChannel);
        auto r = rig();
        r->screen->toggleLogging();
        QVERIFY(r->playLines(6));
        r->screen->toggleLogging();
        const QList<DisplaySegment> lines = r->engine().segments();
        const DisplaySegment edge = lines.at(boundary);
        if (hideBoundaryChannel)
            r->engine().setHidden(edge.channel, true);
        const double t = *r->engine().currentTranscriptTime();
        r->screen->tapButton(Rig::button(QStringLiteral("moment"), t - edge.endSecs - shorter));
        const QUuid entry = r->screen->log().entries().constLast().id;
        QCOMPARE(r->screen->pickingFor(), std::optional(entry));
        QCOMPARE(r->screen->selectedEntry(), std::optional(entry));
        QSet<int> watchOnly;
        for (const ChannelConfig& config : r->engine().channels())
            if (config.hidden)
                watchOnly.insert(config.index);
        QSet<QString> expected;
        for (const DisplaySegment& line : lines)
            if (line.endSecs >= edge.endSecs + shorter && !watchOnly.contains(line.channel))
                expected.insert(line.id);
        QCOMPARE(r->screen->pickIDs(), expected);
        QCOMPARE(expected.contains(edge.id), shorter == 0.0 && !hideBoundaryChannel);
        QVERIFY(r->screen->flashing().contains(entry));
        r->clock.advance(LogPaneModel::kFlashHold);
        QVERIFY(r->screen->flashing().isEmpty());
    }

    // Before the first word there is no window: the entry is made, no picker, no summary.
    // While the composer is open a press only picks the kind; the pop clears after its hold.
    // The launch's demo reaches the agent too: it asks at the demo's pace.
    void demoReachesTheAgent_data()
    {
        QTest::addColumn<bool>("demo");
        QTest::newRow("demo") << true;
        QTest::newRow("live") << false;
    }
    void demoReachesTheAgent()
    {
        QFETCH(bool, demo);
        auto r = rig(demo);
        QCOMPARE(r->screen->agent().isDemo(), demo);
    }

    void pressWithoutTranscriptOrWhileComposing()
    {
        auto r = rig();
        r->screen->tapButton(Rig::button(QStringLiteral("moment"), 10));
        QCOMPARE(r->screen->log().entries().size(), 1);
        QVERIFY(!r->screen->pickingFor());
        QVERIFY(!r->screen->log().entries().constFirst().summarising);
        r->screen->setComposingLine(QStringLiteral("0-D1"));
        r->screen->tapButton(Rig::button(QStringLiteral("quote"), 10));
        QCOMPARE(r->screen->log().entries().size(), 1);
        QCOMPARE(r->screen->draftKind(), std::optional(QStringLiteral("quote")));
        QCOMPARE(r->screen->poppedKind(), std::optional(QStringLiteral("quote")));
        r->clock.advance(LoggingScreenModel::kPopHold);
        QVERIFY(!r->screen->poppedKind());
    }

    // The agent hears the newest sent entries, oldest first, at most its limit; an open range
    // is left out wherever it stands.
    void agentHearsTheNewestEntries_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("a few") << 3;
        QTest::newRow("the limit") << int(LoggingScreenModel::kAgentEntryLimit);
        QTest::newRow("past the limit") << int(LoggingScreenModel::kAgentEntryLimit) + 7;
    }

    void agentHearsTheNewestEntries()
    {
        QFETCH(int, count);
        auto r = rig();
        for (int n = 0; n < count; ++n) {
            r->screen->tapButton(Rig::button(QStringLiteral("moment"), 10));
            r->screen->logPane().setNote(r->screen->log().entries().constLast().id, QString::number(n));
            r->clock.advance(std::chrono::seconds(1));
        }
        r->screen->tapButton(Rig::button(LoggingScreenModel::kInOutKind, 10));
        const QJsonArray logged = r->screen->agent().logged();
        const int expected = std::min(count, int(LoggingScreenModel::kAgentEntryLimit));
        QCOMPARE(logged.size(), expected);
        for (int i = 0; i < expected; ++i)
            QCOMPARE(logged.at(i)[QStringLiteral("note")].toString(), QString::number(count - expected + i));
    }

    // In / Out pressed twice 12 s apart: one entry from 5 s before the first press to the second,
    // open (recording chip, kept out of the sync) in between.
    void inOutRange()
    {
        auto r = rig();
        const Date first = r->clock.now();
        const LogButton inOut = Rig::button(LoggingScreenModel::kInOutKind, 10);
        r->screen->tapButton(inOut);
        const QUuid id = r->screen->log().entries().constFirst().id;
        QVERIFY(r->entry(id).open);
        QVERIFY(sent(r->screen->cloudSnapshot()).markers.isEmpty() && r->screen->agent().logged().isEmpty());
        r->clock.advance(std::chrono::seconds(12));
        r->screen->tapButton(inOut);
        QCOMPARE(r->screen->log().entries().size(), 1);
        const LogEntry range = r->entry(id);
        QVERIFY(!range.open);
        QCOMPARE(range.time, first.addingSeconds(-LoggingScreenModel::kPreRoll));
        QCOMPARE(range.endTime, std::optional(first.addingSeconds(12)));
        const QJsonArray markers = sent(r->screen->cloudSnapshot()).markers;
        QCOMPARE(markers.size(), 1);
        QCOMPARE(r->screen->agent().logged().size(), 1);
        QCOMPARE(markers.at(0)[QStringLiteral("end_ms")].toInteger(), qint64(1'700'000'012'250));
    }

    // The session is rewritten on every tenth line, within the coalescing delay of any other
    // change, and on stop; every line change marks the sync dirty.
    void transcriptSaves()
    {
        auto r = rig(true, {}, 100);
        r->screen->toggleLogging();
        QVERIFY(r->playLines(10));
        QVERIFY(r->stored());
        QCOMPARE(r->stored()->transcript->size(), 10);
        QVERIFY(r->cloud.isDirty());
        QVERIFY(r->playLines(12));
        QCOMPARE(r->stored()->transcript->size(), 10);
        r->clock.advance(LoggingScreenModel::kTranscriptSaveDelay);
        QVERIFY(r->stored()->transcript->size() >= 12);
        r->engine().stop();
        QCOMPARE(r->stored()->transcript->size(), r->engine().segments().size());
    }

    // Start asks the stand-in for one shoot even when pressed twice; a refused shoot restarts
    // under a new token once, a second refusal soon after stops with a notice.
    void startAndRefusedRestarts()
    {
        auto r = rig(false);
        r->screen->tapButton(Rig::button(QStringLiteral("moment"), 10));
        const int before = shootCount();
        r->screen->toggleLogging();
        r->screen->toggleLogging();
        QVERIFY(r->screen->startPending());
        QVERIFY(QTest::qWaitFor([&] { return r->engine().running(); }, kWaitMs));
        QCOMPARE(shootCount(), before + 1);
        const std::optional<QString> first = r->screen->log().shootToken();
        QVERIFY(first && r->stored() && r->stored()->shootToken == first);

        r->engine().onShootEnded();
        r->clock.fireDue();
        QVERIFY(
            QTest::qWaitFor([&] { return r->engine().running() && r->screen->log().shootToken() != first; }, kWaitMs));
        QCOMPARE(r->stored()->shootToken, r->screen->log().shootToken());
        r->clock.advance(std::chrono::seconds(10));
        r->engine().onShootEnded();
        r->clock.fireDue();
        QVERIFY(!r->engine().running());
        QCOMPARE(r->engine().notice(), std::optional(QString::fromLatin1(LoggingScreenModel::kShootRefusedNotice)));
        QCOMPARE(shootCount(), before + 2);
    }

    // A Start still fetching its shoot when the logger opens a new log starts nothing, and the new
    // log does not take that shoot's token.
    void startForAnotherLog()
    {
        auto r = rig(false);
        m_standin->control(QStringLiteral("fault"),
                           {{"path", "/api/logger/shoots"}, {"kind", "slow"}, {"delay_ms", 500}});
        r->screen->toggleLogging();
        QVERIFY(r->screen->startPending());
        r->screen->log().reset();
        QVERIFY(QTest::qWaitFor([&] { return !r->screen->startPending(); }, kWaitMs));
        QVERIFY(!r->engine().running());
        QVERIFY(!r->screen->log().shootToken());
    }

    // The picker's Save rebuilds the entry and asks for its summary; a deleted entry takes no
    // late answer and leaves no state pointing at it; a rebuild outdates an earlier request.
    void pickedLinesAndLateSummaries()
    {
        auto r = rig();
        r->screen->toggleLogging();
        QVERIFY(r->playLines(4));
        r->screen->toggleLogging();
        r->screen->tapButton(Rig::button(QStringLiteral("moment"), 100));
        const QUuid id = *r->screen->pickingFor();
        r->screen->applyPickedLines();
        QVERIFY(!r->screen->pickingFor() && r->screen->pickIDs().isEmpty());
        QCOMPARE(r->entry(id).lineIDs->size(), 4);
        QVERIFY(r->entry(id).summarising);
        QVERIFY(QTest::qWaitFor([&] { return !r->entry(id).summarising; }, kWaitMs));
        QVERIFY(!r->entry(id).summary.isEmpty());

        r->screen->requestSummary(id, QStringLiteral("a first take"), std::nullopt, std::nullopt);
        r->screen->requestSummary(id, QString(), std::nullopt, std::nullopt);
        r->screen->tapButton(Rig::button(QStringLiteral("moment"), 100));
        const QUuid gone = *r->screen->pickingFor();
        r->screen->logPane().setEditingNote(gone);
        r->screen->applyPickedLines();
        r->screen->log().removeEntry(gone);
        QVERIFY(!r->screen->selectedEntry() && !r->screen->editingNote() && !r->screen->flashing().contains(gone));
        const QString before = r->entry(id).summary;
        QVERIFY(!QTest::qWaitFor([&] { return r->entry(id).summary != before; }, 1000));
        QVERIFY(!r->screen->log().entryRowOf(gone));
    }

    // A clicked alert: only a non-negative int channel is monitored, only a text line jumped to;
    // the jump target clears after its hold.
    void openAlert_data()
    {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<std::optional<int>>("monitored");
        QTest::addColumn<bool>("jumps");
        QTest::newRow("both") << QVariantMap{{"channel", 2}, {"line", "2-D4"}} << std::optional(2) << true;
        QTest::newRow("no channel") << QVariantMap{{"channel", -1}, {"line", "2-D4"}} << std::optional<int>() << true;
        QTest::newRow("wrong types") << QVariantMap{{"channel", "2"}, {"line", 4}} << std::optional<int>() << false;
        QTest::newRow("empty") << QVariantMap{} << std::optional<int>() << false;
    }
    void openAlert()
    {
        QFETCH(QVariantMap, info);
        QFETCH(std::optional<int>, monitored);
        QFETCH(bool, jumps);
        auto r = rig();
        r->screen->openAlert(info);
        QCOMPARE(r->engine().monitorChannel(), monitored);
        QCOMPARE(r->screen->scrollTarget().has_value(), jumps);
        r->clock.advance(LoggingScreenModel::kJumpHold);
        QVERIFY(!r->screen->scrollTarget());
    }

    // The snapshot sends renamed speakers and word timings only when they match the text; a
    // session that cannot reach the disk is said once in the banner.
    void snapshotAndFailedSaves()
    {
        auto r = rig(true, QStringLiteral("/proc/no-such-folder/log-sessions.json"), 20'000);
        int failures = 0;
        connect(&r->engine(), &DesktopTranscriber::noticeChanged, this,
                [&] { failures += r->engine().notice() == r->screen->sessions().saveError(); });
        r->screen->toggleLogging();
        QVERIFY(r->playLines(3));
        r->engine().stop();
        const DisplaySegment line = r->engine().segments().constLast();
        r->screen->setRenamingSpeaker(*line.speaker);
        r->screen->renameText = QStringLiteral(" \tAda \t");
        r->screen->saveSpeakerName();
        const QJsonObject sent = screen_test::sent(r->screen->cloudSnapshot()).segments.last().toObject();
        QCOMPARE(sent[QStringLiteral("speaker")].toString(), QStringLiteral("Ada"));
        QCOMPARE(sent[QStringLiteral("words")].toArray().size(), line.words.size());
        DisplaySegment doubled = line;
        doubled.words.removeLast();
        QVERIFY(!r->screen->syncSegment(doubled)->contains(QStringLiteral("words")));
        doubled.endSecs = -1;
        QVERIFY(!r->screen->syncSegment(doubled));

        for (int press = 0; press < 3; ++press) {
            r->screen->sessions().waitForWrites();
            r->screen->tapButton(Rig::button(QStringLiteral("moment"), 1));
        }
        QCOMPARE(failures, 1);
    }

    // An unreadable sessions file is kept aside at the first save, and the banner names it once.
    void unreadableFileKeptAside()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log-sessions.json"));
        QFile broken(path);
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("{\"sessions\": [") > 0);
        broken.close();
        auto r = rig(true, path);
        QSignalSpy notices(&r->engine(), &DesktopTranscriber::noticeChanged);
        for (int press = 0; press < 2; ++press) {
            r->screen->tapButton(Rig::button(QStringLiteral("moment"), 1));
            r->screen->sessions().waitForWrites();
        }
        QVERIFY(r->engine().notice() &&
                r->engine().notice()->contains(QStringLiteral("log-sessions.json.unreadable-")));
        QCOMPARE(notices.size(), 1);
    }

    // A keyword heard makes a suggested entry (no summary, selection kept, not synced), flags the
    // line, adds a chat item and posts an alert whose click jumps to the line and raises.
    void keywordAlertRoundTrip()
    {
        NotificationServer server;
        auto r = rig();
        r->screen->keywords().add(DemoShoot::script().at(1).text.split(u' ').constFirst());
        const QString word = r->screen->keywords().words().constFirst();
        r->screen->toggleLogging();
        QVERIFY(r->playLines(3) && !r->screen->flaggedLines().isEmpty());
        r->engine().stop();
        const LogEntry alert = r->screen->log().entries().constFirst();
        QVERIFY(alert.suggested && alert.type == QStringLiteral("earmark"));
        QCOMPARE(alert.tags, QStringList{QStringLiteral("Keyword: ") + word});
        QVERIFY(r->screen->flaggedLines().contains(*alert.lineID));
        QVERIFY(!r->screen->selectedEntry());
        QVERIFY(sent(r->screen->cloudSnapshot()).markers.isEmpty());
        QCOMPARE(r->screen->agent().feed().constLast().payload, word);
        if (!server.isReady())
            QSKIP("no session bus (scripts/test runs one)");
        QVERIFY(QTest::qWaitFor([&] { return !server.shown().isEmpty(); }, kWaitMs));
        QVERIFY(server.shown().constFirst().summary.startsWith(u'"' + word + QStringLiteral("\" on ")));
        QSignalSpy raised(r->screen.get(), &LoggingScreenModel::raiseRequested);
        server.click(server.shown().constFirst().id);
        QVERIFY(raised.wait());
        QCOMPARE(r->screen->scrollTarget(), alert.lineID);
    }

    // A hit handled after its line went (replaced under another id, or the transcript reset)
    // makes nothing: no entry, no flag, no chat item.
    void keywordHitOnAGoneLine()
    {
        auto r = rig();
        r->screen->toggleLogging();
        QVERIFY(r->playLines(2));
        DisplaySegment gone = r->engine().segments().constLast();
        gone.id += QStringLiteral("-replaced");
        const qsizetype feed = r->screen->agent().feed().size();
        r->screen->onKeywordHit(gone.channel, QStringLiteral("boat"), gone);
        QVERIFY(r->screen->log().entries().isEmpty());
        QVERIFY(!r->screen->flaggedLines().contains(gone.id));
        QCOMPARE(r->screen->agent().feed().size(), feed);
    }

    // The demo's line ids repeat each run: what the agent judged in one run is forgotten when
    // logging starts again, so no channel waits a tick for an id it saw last time.
    void startForgetsWhatTheAgentJudged()
    {
        auto r = rig(true, {}, 1000);
        const auto run = [&] {
            r->screen->toggleLogging();
            QVERIFY(QTest::qWaitFor([&] { return r->engine().running(); }, kWaitMs));
        };
        run();
        for (int step = 0; step < 120 && r->screen->agent().judgedUpTo().isEmpty(); ++step)
            r->clock.advance(std::chrono::seconds(1));
        QVERIFY(!r->screen->agent().judgedUpTo().isEmpty());
        r->screen->toggleLogging();
        QVERIFY(!r->engine().running());
        QVERIFY(!r->screen->agent().judgedUpTo().isEmpty());
        run();
        QVERIFY(r->screen->agent().judgedUpTo().isEmpty());
    }

    // A second press while the picker is open for the first moves the picker on; the first entry
    // keeps its grab-back text and still gets its summary.
    void pressWhilePicking()
    {
        auto r = rig();
        r->screen->toggleLogging();
        QVERIFY(r->playLines(4));
        r->screen->tapButton(Rig::button(QStringLiteral("moment"), 100));
        const QUuid first = *r->screen->pickingFor();
        // The words a live stream would have grabbed (the demo's streams hear none).
        LogEntry grabbed = r->entry(first);
        grabbed.highlight = QStringLiteral("we roll at dawn");
        grabbed.summarising = true;
        r->screen->log().replaceEntry(grabbed);
        r->screen->tapButton(Rig::button(QStringLiteral("funny"), 100));
        const std::optional<QUuid> second = r->screen->pickingFor();
        QVERIFY(second && *second != first);
        QVERIFY(!r->screen->pickIDs().isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return !r->entry(first).summarising; }, kWaitMs));
        QVERIFY(!r->entry(first).summary.isEmpty());
        QCOMPARE(r->entry(first).highlight, grabbed.highlight);
        QVERIFY(!r->entry(first).lineIDs);
    }
};

PINDLE_TEST(LoggingScreenModelTest)

#include "LoggingScreenModelTest.moc"
