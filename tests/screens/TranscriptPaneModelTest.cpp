#include "ScreenRig.h"
#include "WrittenLines.h"
#include "common/TestMain.h"

#include "screens/TranscriptListModel.h"
#include "screens/TranscriptPaneModel.h"

#include <QAbstractItemModelTester>

using Role = TranscriptListModel::Role;

namespace {

constexpr int kLineMs = 100;

using screen_test::WrittenLines;

// A logging screen with its transcript pane and rows, on the demo shoot or on the test's lines.
struct PaneRig : screen_test::RigParts {
    explicit PaneRig(bool demo) : RigParts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), kLineMs)
    {
        LoggingScreenEnvironment env = environment(demo);
        if (!demo)
            env.transcriber.makeStream = [this](const StreamRequest& request) {
                stream = std::make_shared<WrittenLines>(request.channel);
                return stream;
            };
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        screen->appear();
        pane = std::make_unique<TranscriptPaneModel>(*screen);
        rows = std::make_unique<TranscriptListModel>(*pane);
        tester = std::make_unique<QAbstractItemModelTester>(rows.get(),
                                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    DisplaySegment put(const QString& id, const QString& text, double start,
                       const std::optional<QString>& speaker = std::nullopt)
    {
        DisplaySegment line;
        line.id = id;
        line.text = text;
        line.startSecs = start;
        line.endSecs = start + 0.5;
        line.speaker = speaker;
        line.channel = -1;
        line.firstSeen = clock.now();
        stream->put(line);
        return line;
    }
    void putLines(int count, int from = 0)
    {
        for (int n = from; n < from + count; ++n)
            put(QStringLiteral("L%1").arg(n), QStringLiteral("Line %1 said on set").arg(n), n + 1);
    }
    bool play(qsizetype count)
    {
        for (int step = 0; step < 2000 && screen->transcriber().segments().size() < count; ++step)
            clock.advance(std::chrono::milliseconds(lineMs));
        return screen->transcriber().segments().size() >= count;
    }
    [[nodiscard]] QStringList rowIds() const
    {
        QStringList ids;
        for (int row = 0; row < rows->rowCount(); ++row)
            ids.append(rows->index(row).data(Role::IdRole).toString());
        return ids;
    }
    [[nodiscard]] QStringList liveIds() const
    {
        QStringList ids;
        for (const DisplaySegment& line : screen->transcriber().segments())
            ids.append(line.id);
        return ids;
    }
    [[nodiscard]] QString rowText(const QString& id) const
    {
        return rows->index(*rows->rowOf(id)).data(Role::TextRole).toString();
    }
    QUuid logEntry(const QString& lineID, const QString& highlight)
    {
        LogEntry entry;
        entry.id = QUuid::createUuid();
        entry.type = QStringLiteral("moment");
        entry.highlight = highlight;
        entry.lineID = lineID;
        screen->log().appendEntry(entry);
        return entry.id;
    }

    std::shared_ptr<WrittenLines> stream;
    std::unique_ptr<LoggingScreenModel> screen;
    std::unique_ptr<TranscriptPaneModel> pane;
    std::unique_ptr<TranscriptListModel> rows;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

std::unique_ptr<PaneRig> writtenRig()
{
    auto rig = std::make_unique<PaneRig>(false);
    rig->screen->transcriber().start();
    return rig;
}

} // namespace

// The transcript pane: the hold, the visible lines, what rows draw and the rename route.
class TranscriptPaneModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // While held the rows keep the snapshot's lines and text; lines that came, changed, left or
    // landed between held ones show when the hold ends, in order, once each, with no reset.
    void holdLosesNoLine_data()
    {
        QTest::addColumn<QString>("holdBy");
        QTest::addColumn<int>("arrivals");
        QTest::addColumn<bool>("changeHeld");
        QTest::addColumn<bool>("takeBackHeld");
        QTest::addColumn<bool>("lateLine");
        QTest::newRow("composer, one line comes") << "composer" << 1 << false << false << false;
        QTest::newRow("composer, held line changed") << "composer" << 3 << true << false << false;
        QTest::newRow("note edit, held line taken back") << "note" << 2 << false << true << false;
        QTest::newRow("picker, a late line between held ones") << "picker" << 2 << true << false << true;
    }
    void holdLosesNoLine()
    {
        QFETCH(QString, holdBy);
        QFETCH(int, arrivals);
        QFETCH(bool, changeHeld);
        QFETCH(bool, takeBackHeld);
        QFETCH(bool, lateLine);
        auto r = writtenRig();
        r->putLines(5);
        const QUuid entry = r->logEntry(QStringLiteral("L0"), QStringLiteral("Line 0"));
        QSignalSpy resets(r->rows.get(), &QAbstractItemModel::modelReset);

        if (holdBy == QLatin1String("composer"))
            r->screen->selectLine(QStringLiteral("L2"));
        else if (holdBy == QLatin1String("note"))
            r->screen->logPane().startNote(entry);
        else
            r->screen->openPicker(entry);
        QVERIFY(r->pane->state().held && r->rows->isHeld());
        const QStringList held = r->rowIds();

        r->putLines(arrivals, 5);
        if (changeHeld)
            r->stream->change(QStringLiteral("L1"), QStringLiteral("Line 1, corrected"));
        if (takeBackHeld)
            r->stream->takeBack(QStringLiteral("L3"));
        if (lateLine)
            r->put(QStringLiteral("late"), QStringLiteral("A late line"), 2.5);
        QCOMPARE(r->rowIds(), held);
        QCOMPARE(r->rowText(QStringLiteral("L1")), QStringLiteral("Line 1 said on set"));
        const qsizetype waiting = r->liveIds().size() - held.size();
        QCOMPARE(r->pane->state().waiting, waiting);

        QSignalSpy changed(r->rows.get(), &QAbstractItemModel::dataChanged);
        if (holdBy == QLatin1String("composer"))
            r->screen->cancelComposer();
        else if (holdBy == QLatin1String("note"))
            r->screen->logPane().endNote();
        else
            r->screen->closePicker();
        QVERIFY(!r->pane->state().held && !r->rows->isHeld());
        QCOMPARE(r->rowIds(), r->liveIds());
        for (const DisplaySegment& line : r->screen->transcriber().segments())
            QCOMPARE(r->rowText(line.id), line.text);
        // The row whose text changed meanwhile is redrawn, so the view lays it out again.
        const int corrected = *r->rows->rowOf(QStringLiteral("L1"));
        const bool redrawn = std::any_of(changed.cbegin(), changed.cend(), [&](const QList<QVariant>& signal) {
            return signal.at(0).toModelIndex().row() <= corrected && signal.at(1).toModelIndex().row() >= corrected &&
                   signal.at(2).value<QList<int>>().isEmpty();
        });
        QCOMPARE(redrawn, changeHeld);
        QCOMPARE(resets.size(), 0);
    }

    // "line" for one waiting line, "lines" otherwise; no banner while the picker holds the rows
    // or nothing waits.
    void waitingBanner_data()
    {
        QTest::addColumn<int>("arrivals");
        QTest::addColumn<bool>("picking");
        QTest::addColumn<QString>("banner");
        QTest::newRow("none waiting") << 0 << false << "";
        QTest::newRow("one") << 1 << false << "Paused while you type · 1 new line waiting";
        QTest::newRow("two") << 2 << false << "Paused while you type · 2 new lines waiting";
        QTest::newRow("picker open") << 2 << true << "";
    }
    void waitingBanner()
    {
        QFETCH(int, arrivals);
        QFETCH(bool, picking);
        QFETCH(QString, banner);
        auto r = writtenRig();
        r->putLines(3);
        if (picking)
            r->screen->openPicker(r->logEntry(QStringLiteral("L0"), QString()));
        else
            r->screen->selectLine(QStringLiteral("L1"));
        r->putLines(arrivals, 3);
        QCOMPARE(r->pane->state().waiting, qsizetype(arrivals));
        QCOMPARE(r->pane->state().banner, banner);
    }

    // Watch-only channels stay out, except a line that raised a keyword alert; a flag arriving
    // later inserts that one row where it belongs, without a reset.
    void watchOnlyLinesStayOutUnlessFlagged()
    {
        PaneRig r(true);
        r.screen->toggleLogging();
        // Script line 4 is the watch-only kitchen's "If you sell that boat…".
        QVERIFY(r.play(11));
        const QList<DisplaySegment> all = r.screen->transcriber().segments();
        const auto kitchen = [](const DisplaySegment& line) { return line.channel == 2; };
        QVERIFY(std::count_if(all.cbegin(), all.cend(), kitchen) >= 2);
        QStringList shown;
        for (const DisplaySegment& line : all)
            if (!kitchen(line))
                shown.append(line.id);
        QCOMPARE(r.rowIds(), shown);

        QSignalSpy inserted(r.rows.get(), &QAbstractItemModel::rowsInserted);
        QSignalSpy resets(r.rows.get(), &QAbstractItemModel::modelReset);
        const auto boat = std::find_if(all.cbegin(), all.cend(), [&](const DisplaySegment& line) {
            return kitchen(line) && line.text.contains(u"boat");
        });
        QVERIFY(boat != all.cend());
        r.screen->onKeywordHit(2, QStringLiteral("boat"), *boat);
        QCOMPARE(resets.size(), 0);
        QCOMPARE(inserted.size(), 1);
        const std::optional<int> row = r.rows->rowOf(boat->id);
        QVERIFY(row);
        QCOMPARE(inserted.at(0).at(1).toInt(), *row);
        QVERIFY(*row < r.rows->rowCount() - 1);
        QVERIFY(r.rows->index(*row).data(Role::FlaggedRole).toBool());
        QVERIFY(r.rows->index(*row).data(Qt::AccessibleTextRole).toString().contains(u"Keyword alert"));
        QCOMPARE(r.pane->visibleCount(), qsizetype(shown.size()) + 1);

        // A new line after the flagged one still lands at the end.
        const qsizetype before = r.rows->rowCount();
        QVERIFY(r.play(all.size() + 3));
        QCOMPARE(r.rows->rowCount(), int(r.pane->visibleCount()));
        QVERIFY(r.rows->rowCount() > before);
        QVERIFY(r.rowIds().contains(boat->id));
    }

    // Where a line's logged words stand, in UTF-16 units, and what that makes of the line.
    // What an assistive tool reads for a line: its timecode when it has one, the speaker, the
    // words; a line not yet placed in time starts with its speaker, not with a separator.
    void readOut_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<std::optional<QString>>("speaker");
        QTest::addColumn<bool>("timecoded");
        QTest::addColumn<QString>("rest");
        QTest::newRow("timed, spoken") << 3.0 << std::optional(QStringLiteral("Boom")) << true
                                       << QStringLiteral("Boom, we roll");
        QTest::newRow("timed, no speaker") << 3.0 << std::optional<QString>() << true << QStringLiteral("we roll");
        QTest::newRow("untimed, spoken") << -1.0 << std::optional(QStringLiteral("Boom")) << false
                                         << QStringLiteral("Boom, we roll");
        QTest::newRow("untimed, no speaker") << -1.0 << std::optional<QString>() << false << QStringLiteral("we roll");
    }
    void readOut()
    {
        QFETCH(double, start);
        QFETCH(std::optional<QString>, speaker);
        QFETCH(bool, timecoded);
        QFETCH(QString, rest);
        auto r = writtenRig();
        const DisplaySegment line = r->put(QStringLiteral("R"), QStringLiteral("we roll"), start, speaker);
        const QModelIndex row = r->rows->index(*r->rows->rowOf(line.id));
        const QString timecode = r->pane->lineTimecode(line);
        QCOMPARE(timecode.isEmpty(), !timecoded);
        QCOMPARE(row.data(Qt::AccessibleTextRole).toString(),
                 timecoded ? timecode + QStringLiteral(", ") + rest : rest);
    }

    void marksAndUse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("quotes");
        QTest::addColumn<QList<int>>("marks");
        QTest::addColumn<int>("use");
        QTest::addColumn<QString>("help");
        const int unused = int(LineUse::State::Unused);
        const int partly = int(LineUse::State::PartlyUsed);
        const int fully = int(LineUse::State::FullyUsed);
        QTest::newRow("nothing logged") << "Rolling, speed" << QStringList() << QList<int>() << unused
                                        << "Select this line";
        QTest::newRow("emoji before the quote") << "🎬 Rolling now, speed" << QStringList{"Rolling now"}
                                                << QList<int>{3, 11} << partly << "Select the new words in this line";
        QTest::newRow("quote ends the line")
            << "Camera set, rolling" << QStringList{"rolling"} << QList<int>{12, 7} << fully << "Already selected";
        QTest::newRow("quote twice marks the first")
            << "go go go" << QStringList{"go"} << QList<int>{0, 2} << partly << "Select the new words in this line";
        QTest::newRow("quote not in the line")
            << "Back to one" << QStringList{"Cut"} << QList<int>() << partly << "Select the new words in this line";
        QTest::newRow("two quotes cover it") << "Back to one, please" << QStringList{"Back to one", ", please"}
                                             << QList<int>{0, 11, 11, 8} << fully << "Already selected";
    }
    void marksAndUse()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, quotes);
        QFETCH(QList<int>, marks);
        QFETCH(int, use);
        QFETCH(QString, help);
        auto r = writtenRig();
        r->putLines(3);
        r->put(QStringLiteral("T"), text, 10);
        QSignalSpy changed(r->rows.get(), &QAbstractItemModel::dataChanged);
        for (const QString& quote : quotes)
            r->logEntry(QStringLiteral("T"), quote);
        const QModelIndex row = r->rows->index(*r->rows->rowOf(QStringLiteral("T")));
        QList<int> drawn;
        for (const auto& [at, length] : row.data(Role::MarksRole).value<TranscriptListModel::Marks>())
            drawn << int(at) << int(length);
        QCOMPARE(drawn, marks);
        QCOMPARE(row.data(Role::UseRole).toInt(), use);
        QCOMPARE(row.data(Qt::ToolTipRole).toString(), help);
        // Only the line the entries name is redrawn.
        for (const QList<QVariant>& signal : std::as_const(changed))
            QCOMPARE(signal.at(0).toModelIndex().row(), row.row());
        QVERIFY(changed.size() <= quotes.size());
    }

    // Each new line is one inserted row, a late one at its place; a changed line redraws only
    // its row; the model is never reset.
    void rowsFollowLineByLine()
    {
        auto r = writtenRig();
        QSignalSpy inserted(r->rows.get(), &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(r->rows.get(), &QAbstractItemModel::dataChanged);
        QSignalSpy resets(r->rows.get(), &QAbstractItemModel::modelReset);
        r->putLines(20);
        QCOMPARE(inserted.size(), 20);
        for (int n = 0; n < 20; ++n) {
            QCOMPARE(inserted.at(n).at(1).toInt(), n);
            QCOMPARE(inserted.at(n).at(2).toInt(), n);
        }
        r->put(QStringLiteral("late"), QStringLiteral("late"), 4.5);
        QCOMPARE(inserted.constLast().at(1).toInt(), 4);
        changed.clear();
        r->stream->change(QStringLiteral("L7"), QStringLiteral("Line 7, again"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 8);
        QCOMPARE(r->rowText(QStringLiteral("L7")), QStringLiteral("Line 7, again"));
        QCOMPARE(resets.size(), 0);
        QCOMPARE(r->pane->state().lineCount, 21);
    }

    // Hover is set by entering a line and cleared only by leaving that same line; each change
    // redraws the rows it leaves and reaches.
    void hoverClearsOnlyItsOwnLine()
    {
        auto r = writtenRig();
        r->putLines(4);
        QSignalSpy changed(r->rows.get(), &QAbstractItemModel::dataChanged);
        r->pane->setHover(QStringLiteral("L1"));
        r->pane->setHover(QStringLiteral("L2"));
        r->pane->leaveHover(QStringLiteral("L1"));
        QCOMPARE(r->pane->state().hoverLine, std::optional<QString>(QStringLiteral("L2")));
        QVERIFY(r->rows->index(2).data(Role::HoverRole).toBool());
        QVERIFY(!r->rows->index(1).data(Role::HoverRole).toBool());
        r->pane->leaveHover(QStringLiteral("L2"));
        QVERIFY(!r->pane->state().hoverLine);
        QCOMPARE(changed.size(), 4);
        for (const QList<QVariant>& signal : std::as_const(changed))
            QCOMPARE(signal.at(2).value<QList<int>>(), QList<int>{Role::HoverRole});
    }

    // The status line shows neither resting state; the empty text follows running, and a
    // transcript whose lines are all watch-only shows neither text nor rows.
    void statusAndEmptyTexts_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("empty");
        QTest::addColumn<int>("rows");
        QTest::newRow("stopped") << "stopped"
                                 << ""
                                 << "Press Start logging to begin transcribing your audio input." << 0;
        QTest::newRow("listening, no line yet") << "listening"
                                                << ""
                                                << "Listening…" << 0;
        QTest::newRow("no input") << "no input"
                                  << "No microphone input found"
                                  << "Press Start logging to begin transcribing your audio input." << 0;
        QTest::newRow("every line watch-only") << "all hidden"
                                               << ""
                                               << "" << 0;
        QTest::newRow("lines shown") << "lines"
                                     << ""
                                     << "" << 3;
    }
    void statusAndEmptyTexts()
    {
        QFETCH(QString, situation);
        QFETCH(QString, status);
        QFETCH(QString, empty);
        QFETCH(int, rows);
        const bool demo = situation == QLatin1String("all hidden");
        PaneRig r(demo);
        if (situation == QLatin1String("no input"))
            r.devices.setSimulatedDevices(QList<AudioInputDevice>{});
        if (demo)
            r.screen->toggleLogging();
        else if (situation != QLatin1String("stopped"))
            r.screen->transcriber().start();
        if (situation == QLatin1String("all hidden"))
            for (const ChannelConfig& config : QList<ChannelConfig>(r.screen->transcriber().channels()))
                r.screen->transcriber().setHidden(config.index, true);
        if (situation == QLatin1String("all hidden"))
            QVERIFY(r.play(3));
        if (situation == QLatin1String("lines"))
            r.putLines(3);
        QCOMPARE(r.pane->state().status, status);
        QCOMPARE(r.pane->state().emptyText, empty);
        QCOMPARE(r.rows->rowCount(), rows);
    }

    // The rename item opens the channel-name alert when a channel is named like the line's
    // speaker label, else the speaker alert with the name given so far; nothing without a speaker.
    void renameRoute_data()
    {
        QTest::addColumn<QString>("speaker");
        QTest::addColumn<QString>("givenName");
        QTest::addColumn<bool>("channelAlert");
        QTest::addColumn<QString>("renameText");
        QTest::newRow("channel named like the label") << "Presenter"
                                                      << "" << true << "";
        QTest::newRow("speaker never named") << "Ben"
                                             << "" << false << "";
        QTest::newRow("speaker named before") << "Ben"
                                              << "Benjamin" << false << "Benjamin";
        QTest::newRow("no speaker") << ""
                                    << "" << false << "";
    }
    void renameRoute()
    {
        QFETCH(QString, speaker);
        QFETCH(QString, givenName);
        QFETCH(bool, channelAlert);
        QFETCH(QString, renameText);
        PaneRig r(channelAlert);
        QString lineID;
        if (channelAlert) {
            r.screen->toggleLogging();
            QVERIFY(r.play(1));
            lineID = r.screen->transcriber().segments().constFirst().id;
        } else {
            r.screen->transcriber().start();
            lineID = r.put(QStringLiteral("S"), QStringLiteral("Said"), 1,
                           speaker.isEmpty() ? std::nullopt : std::optional(speaker))
                         .id;
        }
        if (!givenName.isEmpty()) {
            r.screen->setRenamingSpeaker(speaker);
            r.screen->renameText = givenName;
            r.screen->saveSpeakerName();
            QCOMPARE(r.rows->index(0).data(Role::SpeakerRole).toString(), givenName);
            QCOMPARE(r.rows->index(0).data(Role::SpeakerLabelRole).toString(), speaker);
        }
        r.pane->renameFromLine(lineID);
        if (channelAlert) {
            QCOMPARE(r.screen->renamingChannel(), std::optional(0));
            QCOMPARE(r.screen->channelNameText, speaker);
            QVERIFY(!r.screen->renamingSpeaker());
        } else if (speaker.isEmpty()) {
            QVERIFY(!r.screen->renamingSpeaker() && !r.screen->renamingChannel());
        } else {
            QCOMPARE(r.screen->renamingSpeaker(), std::optional(speaker));
            QCOMPARE(r.screen->renameText, renameText);
            QVERIFY(!r.screen->renamingChannel());
        }
    }
};

PINDLE_TEST(TranscriptPaneModelTest)
#include "TranscriptPaneModelTest.moc"
