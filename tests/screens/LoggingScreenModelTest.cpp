#include "ScreenRig.h"
#include "SentLog.h"
#include "common/NotificationServer.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "audio/DemoShoot.h"
#include "audio/test_transcriber_support.h"

#include <QJsonArray>

using screen_test::kWaitMs;
using screen_test::Rig;
using screen_test::sent;
using screen_test::WrittenRig;
using namespace Qt::StringLiterals;

namespace {

// A logging screen on an idle interface of `inputs` channels whose capture plays `code` (the
// engine tests' voices: talkers a, b and c, s silence, n noise, h a steady hum), for real scans.
struct ScanRig {
    static constexpr auto kScan = std::chrono::milliseconds(1600);

    ScanRig(int inputs, const char* code)
    {
        audio.voices = transcriber_test::voices(code);
        audio.captureChannels = int(audio.voices.size());
        audio.env.scanDurationMs = int(kScan.count());
        audio.env.makeMonitorSink = [] { return std::unique_ptr<MonitorSink>(); };
        audio.setDevices({transcriber_test::device(u"i"_s, u"Interface"_s, inputs, true),
                          transcriber_test::device(u"o"_s, u"Other"_s, inputs)});
        LoggingScreenEnvironment env;
        env.defaults = audio.defaults.get();
        env.service = &service;
        env.cloud = &cloud;
        env.camera = &camera;
        env.clock = &audio.clock;
        env.sessionsFile = audio.dir.filePath(u"log-sessions.json"_s);
        env.transcriber = audio.env;
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        screen->appear();
    }
    DesktopTranscriber& engine() { return screen->transcriber(); }

    transcriber_test::Rig audio;
    InMemoryCookieStore store;
    APIService service{u"http://127.0.0.1:9"_s, store, &audio.clock};
    CameraTimecode camera{*audio.defaults};
    LoggerCloud cloud{service, camera, {std::chrono::hours(1), 45.0}, &audio.clock};
    std::unique_ptr<LoggingScreenModel> screen;
};

} // namespace

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
    // A screen on lines the test writes (no channel settings), or on the demo shoot.
    std::unique_ptr<WrittenRig> written(bool scripted = true)
    {
        return std::make_unique<WrittenRig>(m_standin->baseUrl(), m_cookie, scripted);
    }
    std::optional<QJsonObject> summaryAsked(const QString& text) { return screen_test::summaryAsked(*m_standin, text); }
    // The chip of `kind` as the bar draws it now.
    static LogButtonChip chipOf(const LoggingScreenModel& screen, const QString& kind)
    {
        for (const LogButtonChip& chip : screen.buttonChips())
            if (chip.button.kind == kind)
                return chip;
        return {};
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
        QTest::newRow("channel 0") << QVariantMap{{"channel", 0}} << std::optional(0) << false;
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

    // A press reaches back its button's reach from the moment of the press, in clock and camera
    // time, and quotes and offers the lines ending within that reach of the newest word: a line
    // ending right on the window's start is in, a hair earlier it is out.
    void pressQuotesItsReach_data()
    {
        QTest::addColumn<double>("edgeEnd");
        QTest::addColumn<QString>("highlight");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("ends on the window's start")
            << 85.0 << u"on the edge well inside"_s << QStringList{u"edge"_s, u"inside"_s};
        QTest::newRow("ends just before it") << 84.999 << u"well inside"_s << QStringList{u"inside"_s};
    }
    void pressQuotesItsReach()
    {
        QFETCH(double, edgeEnd);
        QFETCH(QString, highlight);
        QFETCH(QStringList, offered);
        auto r = written();
        r->put(u"before"_s, u"said before"_s, 80, 84.9);
        r->put(u"edge"_s, u"on the edge"_s, 84, edgeEnd);
        r->put(u"inside"_s, u"well inside"_s, 88, 90);
        r->stream->hear(u"now"_s, 95);
        const Date pressed = r->clock.now();
        r->screen->tapButton(Rig::button(u"moment"_s, 10));
        const LogEntry entry = r->entries().constLast();
        const Date start = pressed.addingSeconds(-10);
        QCOMPARE(entry.time, start);
        QCOMPARE(entry.timecode, r->camera.timecodeAt(start));
        QCOMPARE(entry.endTime, std::optional(pressed));
        QCOMPARE(entry.timecodeOut, std::optional(r->camera.timecodeAt(pressed)));
        QVERIFY(entry.timecode != *entry.timecodeOut);
        QCOMPARE(entry.type, u"moment"_s);
        QCOMPARE(entry.highlight, highlight);
        QVERIFY(entry.summarising && !entry.open && !entry.suggested);
        QVERIFY(!entry.speaker && !entry.lineID && !entry.lineIDs);
        QCOMPARE(r->screen->pickingFor(), std::optional(entry.id));
        QCOMPARE(r->screen->pickIDs(), QSet<QString>(offered.cbegin(), offered.cend()));
    }

    // With no line in its window a press asks for the summary at once: the words still heard,
    // the button's name with its kind's help line, and the lines that ended in the 45 s before
    // the window (one ending exactly 45 s before is not among them).
    void pressAsksItsSummaryAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("rename");
        QTest::addColumn<QString>("context");
        QTest::newRow("renamed Funny") << u"funny"_s << u"Big laugh"_s
                                       << u"The logger marked this moment as Big laugh: Marks a laugh worth keeping."_s;
        QTest::newRow("Don't use")
            << u"cut"_s << QString()
            << u"The logger marked this moment as Don't use: Flags a moment to skip in the edit."_s;
        QTest::newRow("no button of the kind") << u"confetti"_s << QString() << QString();
    }
    void pressAsksItsSummaryAtOnce()
    {
        QFETCH(QString, kind);
        QFETCH(QString, rename);
        QFETCH(QString, context);
        auto r = written();
        if (!rename.isEmpty())
            r->screen->buttons().rename(kind, rename);
        r->put(u"far"_s, u"too far back"_s, 38, 40);
        r->put(u"lead"_s, u"leads in"_s, 39, 40.001);
        r->put(u"close"_s, u"just before"_s, 80, 84.99);
        const QString heard = u"still heard, "_s + QString::fromLatin1(QTest::currentDataTag());
        r->stream->hear(heard, 95);
        r->screen->tapButton(r->screen->buttons().button(kind).value_or(Rig::button(kind, 10)));
        const LogEntry entry = r->entries().constLast();
        QCOMPARE(entry.highlight, heard);
        QVERIFY(!r->screen->pickingFor());
        QVERIFY(QTest::qWaitFor([&] { return summaryAsked(heard).has_value(); }, kWaitMs));
        const QJsonObject asked = *summaryAsked(heard);
        QCOMPARE(asked.value(u"context"_s).toString(), context);
        QCOMPARE(asked.value(u"leadIn"_s).toString(), u"leads in\njust before"_s);
        QVERIFY(QTest::qWaitFor([&] { return !r->entry(entry.id).summarising; }, kWaitMs));
    }

    // In / Out opens 5 s before its first press and records until the second, 12 s later, which
    // quotes the lines that ended over the whole 17 s, newest word back, and asks the summary
    // with the lines before the range.
    void inOutQuotesTheWholeRange_data()
    {
        QTest::addColumn<double>("edgeEnd");
        QTest::addColumn<QString>("highlight");
        QTest::newRow("line ends as the range opens") << 83.0 << u"on the mark, in the range"_s;
        QTest::newRow("line ends just before") << 82.999 << u"in the range"_s;
    }
    void inOutQuotesTheWholeRange()
    {
        QFETCH(double, edgeEnd);
        QFETCH(QString, highlight);
        auto r = written();
        r->screen->buttons().toggle(u"broll"_s);
        const LogButton inOut = *r->screen->buttons().button(u"broll"_s);
        r->stream->hear(u"rolling"_s, 50);
        const Date first = r->clock.now();
        r->screen->tapButton(inOut);
        const QUuid id = r->entries().constLast().id;
        QCOMPARE(r->entry(id).time, first.addingSeconds(-5.0));
        QCOMPARE(r->entry(id).timecode, r->camera.timecodeAt(first.addingSeconds(-5.0)));
        QVERIFY(r->entry(id).open && !r->entry(id).summarising);
        const LogButtonChip recording = chipOf(*r->screen, u"broll"_s);
        QVERIFY(recording.recording && recording.kept);

        r->clock.advance(std::chrono::seconds(12));
        r->put(u"early"_s, u"started before the range"_s, 70, 82.5);
        r->put(u"edge"_s, u"on the mark,"_s, 80, edgeEnd);
        r->put(u"inside"_s, u"in the range"_s, 90, 99);
        r->stream->hear(u"cut"_s, 100);
        r->screen->tapButton(inOut);
        const LogEntry range = r->entry(id);
        QVERIFY(!range.open);
        QCOMPARE(range.endTime, std::optional(first.addingSeconds(12)));
        QCOMPARE(range.highlight, highlight);
        QCOMPARE(r->screen->selectedEntry(), std::optional(id));
        const LogButtonChip stopped = chipOf(*r->screen, u"broll"_s);
        QVERIFY(!stopped.recording && !stopped.kept);
        QVERIFY(QTest::qWaitFor([&] { return summaryAsked(highlight).has_value(); }, kWaitMs));
        const QJsonObject asked = *summaryAsked(highlight);
        QCOMPARE(asked.value(u"context"_s).toString(),
                 u"The logger marked this moment as In / Out: Tap to mark in, tap again to mark out."_s);
        QCOMPARE(asked.value(u"leadIn"_s).toString(), u"started before the range\non the mark,"_s);
    }

    // The first nine chips read Ctrl+1 to Ctrl+9; from the tenth on a chip has no shortcut.
    void chipHotkeys_data()
    {
        QTest::addColumn<int>("shown");
        QTest::newRow("the four defaults") << 4;
        QTest::newRow("nine") << 9;
        QTest::newRow("ten") << 10;
        QTest::newRow("all fourteen") << 14;
    }
    void chipHotkeys()
    {
        QFETCH(int, shown);
        auto r = rig();
        const QList<LogButton> all = r->screen->buttons().buttons();
        for (const LogButton& button : all)
            if (!button.enabled && r->screen->buttons().visible().size() < shown)
                r->screen->buttons().toggle(button.kind);
        const QList<LogButtonChip> chips = r->screen->buttonChips();
        QCOMPARE(chips.size(), shown);
        for (int i = 0; i < shown; ++i)
            QCOMPARE(chips.at(i).hotkey, i < 9 ? u"Ctrl+%1"_s.arg(i + 1) : QString());
    }

    // The summary names the channels that are on with their fader above 0.005, in mixer order,
    // a watch-only one too and a shared name twice.
    void summaryNamesLiveChannels_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("speakers");
        const QStringList demo{u"Presenter"_s, u"Guest"_s, u"Kitchen"_s, u"Boom"_s, u"Ch 5"_s, u"Ch 6"_s};
        QStringList noGuest = demo;
        noGuest.removeAt(1);
        QStringList twice = demo;
        twice.last() = u"Presenter"_s;
        QTest::newRow("as the demo sets them") << QString() << demo;
        QTest::newRow("fader at 0.005") << u"fader 0.005"_s << noGuest;
        QTest::newRow("fader just above 0.005") << u"fader 0.0051"_s << demo;
        QTest::newRow("switched off") << u"off"_s << noGuest;
        QTest::newRow("a name twice") << u"rename"_s << twice;
    }
    void summaryNamesLiveChannels()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, speakers);
        auto r = rig();
        r->screen->toggleLogging();
        DesktopTranscriber& engine = r->engine();
        QCOMPARE(engine.channels().size(), 6);
        if (change.startsWith(u"fader "_s))
            engine.setFader(1, change.mid(6).toDouble());
        else if (change == u"off"_s)
            engine.setOn(1, false);
        else if (change == u"rename"_s)
            engine.renameChannel(5, u"Presenter"_s);
        QCOMPARE(r->screen->summarySpeakers(), speakers);

        LogEntry entry;
        entry.id = QUuid::createUuid();
        r->screen->log().appendEntry(entry);
        const QString text = u"who was there, "_s + QString::fromLatin1(QTest::currentDataTag());
        r->screen->requestSummary(entry.id, text, std::nullopt, std::nullopt);
        QVERIFY(QTest::qWaitFor([&] { return summaryAsked(text).has_value(); }, kWaitMs));
        QStringList sentSpeakers;
        for (const QJsonValue& name : summaryAsked(text)->value(u"speakers"_s).toArray())
            sentSpeakers.append(name.toString());
        QCOMPARE(sentSpeakers, speakers);
    }

    // Without channel settings the summary names the speakers heard, each once, under the names
    // given them, sorted.
    void summaryNamesSpeakersHeard()
    {
        auto r = written();
        r->put(u"1"_s, u"one"_s, 1, 2, u"Zoe"_s);
        r->put(u"2"_s, u"two"_s, 2, 3, u"Abe"_s);
        r->put(u"3"_s, u"three"_s, 3, 4, u"Zoe"_s);
        r->put(u"4"_s, u"four"_s, 4, 5);
        r->rename(u"Zoe"_s, u"Ann"_s);
        QCOMPARE(r->screen->summarySpeakers(), (QStringList{u"Abe"_s, u"Ann"_s}));
    }

    // Save rebuilds the entry from the ticked lines in transcript order. With two speakers or more
    // each line carries its speaker's name (the one given, or the label; none for a line without
    // a speaker) on a line of its own and the entry has no speaker; with one, the texts are
    // joined by spaces under that speaker. The entry spans the lines; an end before the start is
    // raised to it; lines without timing take the moment of saving. The summary is asked.
    void pickerSave_data()
    {
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QString>>("speaker");
        // Seconds after the engine's start; -1: the moment of saving.
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        const std::optional<QString> none;
        const std::optional<QString> ada(u"Ada"_s);
        QTest::newRow("two speakers, one renamed")
            << QStringList{u"p"_s, u"q"_s} << u"Ada: Rolling on two\nB: Speed"_s << none << 2.0 << 5.0;
        QTest::newRow("one speaker twice")
            << QStringList{u"p"_s, u"r"_s} << u"Rolling on two Mark it"_s << ada << 2.0 << 7.0;
        QTest::newRow("one speaker and a line without")
            << QStringList{u"p"_s, u"u"_s} << u"Rolling on two Action"_s << ada << 2.0 << 9.0;
        QTest::newRow("two speakers and a line without")
            << QStringList{u"p"_s, u"q"_s, u"u"_s} << u"Ada: Rolling on two\nB: Speed\nAction"_s << none << 2.0 << 9.0;
        QTest::newRow("end before its start") << QStringList{u"e"_s} << u"Backwards"_s << ada << 12.0 << 12.0;
        QTest::newRow("untimed") << QStringList{u"w"_s} << u"Not placed yet"_s << ada << -1.0 << -1.0;
    }
    void pickerSave()
    {
        QFETCH(QStringList, ticked);
        QFETCH(QString, text);
        QFETCH(std::optional<QString>, speaker);
        QFETCH(double, from);
        QFETCH(double, to);
        auto r = written();
        r->rename(u"A"_s, u"Ada"_s);
        const QString a = u"A"_s;
        r->put(u"p"_s, u"Rolling on two"_s, 2, 3, a);
        r->put(u"q"_s, u"Speed"_s, 4, 5, u"B"_s);
        r->put(u"r"_s, u"Mark it"_s, 6, 7, a);
        r->put(u"u"_s, u"Action"_s, 8, 9);
        r->put(u"e"_s, u"Backwards"_s, 12, 11, a);
        r->put(u"w"_s, u"Not placed yet"_s, -1, -1, a);
        r->stream->hear(u"now"_s, 20);
        // Early in the run the window reaches back before the start: the untimed line is in it.
        r->screen->buttons().setReach(u"funny"_s, 30);
        r->screen->tapButton(*r->screen->buttons().button(u"funny"_s));
        const QUuid id = r->entries().constLast().id;
        QCOMPARE(r->screen->pickingFor(), std::optional(id));
        QCOMPARE(r->screen->pickIDs().size(), 6);
        for (const QString& line : {u"p"_s, u"q"_s, u"r"_s, u"u"_s, u"e"_s, u"w"_s})
            r->screen->setPicked(line, ticked.contains(line));
        r->clock.advance(std::chrono::seconds(30));
        const Date saved = r->clock.now();
        r->screen->applyPickedLines();

        QVERIFY(!r->screen->pickingFor() && r->screen->pickIDs().isEmpty());
        const LogEntry entry = r->entry(id);
        const auto at = [&](double secs) { return secs < 0 ? saved : r->engineStart().addingSeconds(secs); };
        QCOMPARE(entry.type, u"funny"_s);
        QCOMPARE(entry.highlight, text);
        QCOMPARE(entry.speaker, speaker);
        QCOMPARE(entry.time, at(from));
        QCOMPARE(entry.timecode, r->camera.timecodeAt(at(from)));
        QCOMPARE(entry.endTime, std::optional(at(to)));
        QCOMPARE(entry.timecodeOut, std::optional(r->camera.timecodeAt(at(to))));
        QCOMPARE(entry.lineIDs, std::optional(ticked));
        QCOMPARE(entry.lineID, std::optional(ticked.constFirst()));
        QVERIFY(entry.summarising && !entry.open && entry.summary.isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return summaryAsked(text).has_value(); }, kWaitMs));
    }

    // With nothing ticked Save closes the picker and leaves the grabbed entry as it was, with no
    // summary asked; "Keep the last few seconds" asks the summary of the grabbed words, without
    // the lines before them.
    void pickerWithNothingTicked_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::newRow("Save lines") << false;
        QTest::newRow("Keep the last few seconds") << true;
    }
    void pickerWithNothingTicked()
    {
        QFETCH(bool, keep);
        auto r = written();
        const QString words = u"grabbed words, "_s + QString::fromLatin1(QTest::currentDataTag());
        r->put(u"lead"_s, u"what led up to it"_s, 0.5, 1);
        r->put(u"x"_s, words, 10, 12);
        r->stream->hear(u"tail"_s, 14);
        r->screen->tapButton(*r->screen->buttons().button(u"funny"_s));
        const LogEntry grabbed = r->entries().constLast();
        QCOMPARE(grabbed.highlight, words);
        QCOMPARE(r->screen->pickIDs(), QSet<QString>{u"x"_s});
        r->screen->setPicked(u"x"_s, false);
        if (keep)
            r->screen->keepWindowText();
        else
            r->screen->applyPickedLines();
        QVERIFY(!r->screen->pickingFor() && r->screen->pickIDs().isEmpty());
        QCOMPARE(r->entry(grabbed.id), grabbed);
        if (keep) {
            QVERIFY(QTest::qWaitFor([&] { return summaryAsked(words).has_value(); }, kWaitMs));
            const QJsonObject asked = *summaryAsked(words);
            QCOMPARE(asked.value(u"context"_s).toString(),
                     u"The logger marked this moment as Funny: Marks a laugh worth keeping."_s);
            QVERIFY(!asked.contains(u"leadIn"_s));
            QVERIFY(QTest::qWaitFor([&] { return !r->entry(grabbed.id).summarising; }, kWaitMs));
            return;
        }
        // A later request has been to the service and back; the grabbed words never went.
        LogEntry later;
        later.id = QUuid::createUuid();
        r->screen->log().appendEntry(later);
        const QString laterText = u"a later moment, "_s + words;
        r->screen->requestSummary(later.id, laterText, std::nullopt, std::nullopt);
        QVERIFY(QTest::qWaitFor([&] { return !r->entry(later.id).summary.isEmpty(); }, kWaitMs));
        QVERIFY(!summaryAsked(words));
        QVERIFY(r->entry(grabbed.id).summarising);
    }

    // Ctrl+Return selects the newest line no entry uses, a watch-only channel's too; a line used
    // in part counts as used; with every line used it does nothing.
    void newestUnusedLine_data()
    {
        // The newest shown lines logged whole; -1: the newest in part.
        QTest::addColumn<int>("used");
        // Counted back from the newest shown line; -1: none.
        QTest::addColumn<int>("selected");
        QTest::newRow("nothing used") << 0 << 0;
        QTest::newRow("newest in part") << -1 << 1;
        QTest::newRow("two newest") << 2 << 2;
        QTest::newRow("every shown line") << 4 << -1;
    }
    // Ctrl+Return selects the newest line the transcript shows that no entry uses; a watch-only
    // channel's line, newest of all, has no row and is passed over.
    void newestUnusedLine()
    {
        QFETCH(int, used);
        QFETCH(int, selected);
        auto r = rig(true, {}, 100);
        r->screen->toggleLogging();
        QVERIFY(r->playLines(5));
        r->screen->toggleLogging();
        const QList<DisplaySegment> lines = r->engine().segments();
        QCOMPARE(lines.size(), 5);
        // The fifth script line is the watch-only kitchen's.
        QCOMPARE(lines.constLast().channel, 2);
        QVERIFY(r->engine().channels().at(2).hidden);
        const QList<DisplaySegment> shown = lines.first(4);
        const auto back = [&](int n) { return shown.at(shown.size() - 1 - n); };
        const auto logLine = [&](const DisplaySegment& line, const QString& quote) {
            LogEntry entry;
            entry.id = QUuid::createUuid();
            entry.lineID = line.id;
            entry.highlight = quote;
            r->screen->log().appendEntry(entry);
        };
        if (used < 0)
            logLine(back(0), back(0).text.section(u' ', 0, 0));
        for (int n = 0; n < used; ++n)
            logLine(back(n), back(n).text);
        r->screen->selectNewestLine();
        QCOMPARE(r->screen->composingLine(), selected < 0 ? std::nullopt : std::optional(back(selected).id));
    }

    // A keyword alert is titled with the word and the channel, and its body names the channel:
    // the setting of the channel heard, else the line's speaker, else "the mic".
    void keywordAlertNamesTheChannel_data()
    {
        QTest::addColumn<bool>("demo");
        QTest::addColumn<std::optional<QString>>("speaker");
        QTest::addColumn<QString>("name");
        QTest::newRow("the channel's setting") << true << std::optional<QString>() << u"Presenter"_s;
        QTest::newRow("no setting: the speaker") << false << std::optional(u"Boom"_s) << u"Boom"_s;
        QTest::newRow("neither: the mic") << false << std::optional<QString>() << u"the mic"_s;
    }
    void keywordAlertNamesTheChannel()
    {
        QFETCH(bool, demo);
        QFETCH(std::optional<QString>, speaker);
        QFETCH(QString, name);
        NotificationServer server;
        if (!server.isReady())
            QSKIP("no session bus (scripts/test runs one)");
        auto r = written(!demo);
        DisplaySegment line;
        if (demo) {
            QVERIFY(r->play(2));
            // The guest's line, heard as the presenter's channel.
            line = r->screen->transcriber().segments().at(1);
            QCOMPARE(line.speaker, std::optional(u"Guest"_s));
        } else {
            line = r->put(u"k"_s, u"the boat is in"_s, 1, 2, speaker);
        }
        r->screen->onKeywordHit(0, u"boat"_s, line);
        QVERIFY(QTest::qWaitFor([&] { return !server.shown().isEmpty(); }, kWaitMs));
        const NotificationServer::Shown shown = server.shown().constFirst();
        QCOMPARE(shown.summary, u"\"boat\" on "_s + name);
        QCOMPARE(shown.body.section(u'\n', -1), u"Click to listen to "_s + name + u'.');
    }

    // A new brief raises an alert only for a watch-only channel, named after it; its click
    // monitors the channel and jumps to "agent-" + channel + "-" + the brief's whole seconds.
    void newTopicAlertOnlyWatchOnly_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<bool>("hide");
        // Empty: no alert.
        QTest::addColumn<QString>("name");
        QTest::newRow("watch-only kitchen") << 2 << false << u"Kitchen"_s;
        QTest::newRow("guest, listened to") << 1 << false << QString();
        QTest::newRow("guest made watch-only") << 1 << true << u"Guest"_s;
        QTest::newRow("no such channel") << 99 << false << QString();
    }
    void newTopicAlertOnlyWatchOnly()
    {
        QFETCH(int, channel);
        QFETCH(bool, hide);
        QFETCH(QString, name);
        NotificationServer server;
        if (!server.isReady())
            QSKIP("no session bus (scripts/test runs one)");
        auto r = rig();
        r->screen->toggleLogging();
        if (hide)
            r->engine().setHidden(channel, true);
        const ChannelAgent::Brief brief{u"boats"_s, u"new"_s, QString(), Date::fromSecondsSince1970(1'700'000'123.9)};
        r->screen->postAgentAlert(channel, brief);
        if (name.isEmpty()) {
            // The kitchen's, posted next, is the first alert the service sees.
            r->screen->postAgentAlert(2, brief);
            QVERIFY(QTest::qWaitFor([&] { return !server.shown().isEmpty(); }, kWaitMs));
            QCOMPARE(server.shown().constFirst().summary, u"\"Something new\" on Kitchen"_s);
            return;
        }
        QVERIFY(QTest::qWaitFor([&] { return !server.shown().isEmpty(); }, kWaitMs));
        const NotificationServer::Shown shown = server.shown().constFirst();
        QCOMPARE(shown.summary, u"\"Something new\" on "_s + name);
        QCOMPARE(shown.body.section(u'\n', -1), u"Click to listen to "_s + name + u'.');
        QSignalSpy raised(r->screen.get(), &LoggingScreenModel::raiseRequested);
        server.click(shown.id);
        QVERIFY(raised.wait());
        QCOMPARE(r->screen->scrollTarget(), std::optional(u"agent-%1-1700000123"_s.arg(channel)));
        QCOMPARE(r->engine().monitorChannel(), std::optional(channel));
    }

    // A scan that ends posts one chat line: every configured channel counted, those with speech,
    // and the muted ones (silent, timecode, copies; never quiet ones) by name, sorted.
    void scanSummary_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        // Ch 1 and Ch 6 talk, Ch 2 is dead, Boom (Ch 3) carries Ch 1 again, Ch 4 buzzes, Ch 5 hums.
        QTest::newRow("mixed shoot") << 6 << u"asanhb"_s << u"6 channels, 2 with speech"_s
                                     << u"Muted Boom copy of 1, Ch 2 silent, Ch 4 timecode"_s;
        QTest::newRow("every channel talking") << 3 << u"abc"_s << u"3 channels, 3 with speech"_s << QString();
        QTest::newRow("fewer delivered than configured")
            << 4 << u"as"_s << u"4 channels, 1 with speech"_s << u"Muted Ch 2 silent"_s;
    }
    void scanSummary()
    {
        QFETCH(int, inputs);
        QFETCH(QString, code);
        QFETCH(QString, text);
        QFETCH(QString, detail);
        ScanRig r(inputs, qPrintable(code));
        r.engine().renameChannel(2, u"Boom"_s);
        const qsizetype before = r.screen->agent().feed().size();
        r.engine().scanChannels();
        QVERIFY(r.engine().scanning());
        r.audio.play(ScanRig::kScan);
        QVERIFY(!r.engine().scanning());
        QCOMPARE(r.screen->agent().feed().size(), before + 1);
        const ChannelAgent::FeedItem item = r.screen->agent().feed().constLast();
        QCOMPARE(item.kind, ChannelAgent::FeedItem::Kind::Scan);
        QVERIFY(!item.channel);
        QCOMPARE(item.text, text);
        QCOMPARE(item.detail, detail);
        QCOMPARE(item.at, r.audio.clock.now());
    }

    // A scan whose input went away ends without verdicts and posts nothing.
    void scanWithoutVerdictsPostsNothing()
    {
        ScanRig r(3, "abc");
        const qsizetype before = r.screen->agent().feed().size();
        r.engine().scanChannels();
        r.audio.play(ScanRig::kScan / 2);
        r.engine().selectDevice(u"o"_s);
        QVERIFY(!r.engine().scanning());
        QVERIFY(r.engine().scanResults().isEmpty());
        QCOMPARE(r.screen->agent().feed().size(), before);
    }

    // A pretend scan goes on when the input changes under it: its verdicts then name the
    // channels the new input lacks by number, and only the new input's channels are counted.
    void scanOutlivesItsChannels()
    {
        Rig r(m_standin->baseUrl(), m_cookie, true, {}, 3'600'000, 100);
        r.screen->toggleLogging();
        QCOMPARE(r.engine().channels().size(), 6);
        const qsizetype before = r.screen->agent().feed().size();
        r.engine().scanChannels();
        r.screen->toggleLogging();
        r.devices.setSimulatedDevices(QList<AudioInputDevice>{transcriber_test::device(u"mic"_s, u"Mic"_s, 1, true),
                                                              transcriber_test::device(u"desk"_s, u"Desk"_s, 3)});
        r.engine().selectDevice(u"desk"_s);
        QCOMPARE(r.engine().channels().size(), 3);
        QVERIFY(r.engine().scanning());
        for (int i = 0; i < 100 && r.engine().scanning(); ++i)
            r.clock.advance(std::chrono::milliseconds(100));
        QVERIFY(!r.engine().scanning());
        QCOMPARE(r.engine().scanResults().size(), 6);
        QCOMPARE(r.screen->agent().feed().size(), before + 1);
        QCOMPARE(r.screen->agent().feed().constLast().text, u"3 channels, 3 with speech"_s);
        QCOMPARE(r.screen->agent().feed().constLast().detail, u"Muted Ch 5 timecode, Ch 6 silent"_s);
    }

    // The agent runs while logging does and stops when logging stops.
    void agentFollowsLogging()
    {
        auto r = rig();
        QVERIFY(!r->screen->agent().isRunning());
        r->screen->toggleLogging();
        QVERIFY(r->engine().running() && r->screen->agent().isRunning());
        r->screen->toggleLogging();
        QVERIFY(!r->engine().running());
        QVERIFY(!r->screen->agent().isRunning());
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
