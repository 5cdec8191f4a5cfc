#include "ScreenRig.h"
#include "common/TestMain.h"

#include "screens/LogEntryListModel.h"

#include <QAbstractItemModelTester>

using screen_test::Rig;

namespace {

// A screen with no service behind it: nothing here asks for a summary.
std::unique_ptr<Rig> offlineRig()
{
    return std::make_unique<Rig>(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), true);
}

} // namespace

// The log pane's rows follow the log row by row, and the tag bar finds its target.
class LogEntryListModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Presses insert one row each, a state change redraws only the rows it leaves and reaches,
    // a delete removes its row and every state pointing at it; the model is never reset.
    void rowsFollowTheLog()
    {
        auto r = offlineRig();
        LogEntryListModel rows(r->screen->logPane());
        QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&rows, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&rows, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&rows, &QAbstractItemModel::dataChanged);
        for (int press = 0; press < 3; ++press)
            r->screen->tapButton(Rig::button(QStringLiteral("moment"), 10));
        QCOMPARE(inserted.size(), 3);
        QCOMPARE(inserted.at(2).at(1).toInt(), 2);
        const QUuid first = rows.index(0).data(LogEntryListModel::IdRole).toUuid();
        const QUuid last = rows.index(2).data(LogEntryListModel::IdRole).toUuid();
        QVERIFY(rows.index(2).data(LogEntryListModel::SelectedRole).toBool());
        QVERIFY(rows.index(2).data(LogEntryListModel::FlashingRole).toBool());

        changed.clear();
        r->screen->logPane().selectEntry(first);
        QCOMPARE(changed.size(), 2);
        QVERIFY(rows.index(0).data(LogEntryListModel::SelectedRole).toBool());
        QVERIFY(!rows.index(2).data(LogEntryListModel::SelectedRole).toBool());
        r->screen->logPane().selectEntry(first);
        QVERIFY(!r->screen->selectedEntry());

        r->screen->logPane().startNote(last);
        r->clock.fireDue();
        QCOMPARE(r->screen->logPane().state().focusedNote, std::optional(last));
        QVERIFY(rows.setData(rows.index(2), QStringLiteral("wide"), LogEntryListModel::NoteRole));
        QCOMPARE(r->screen->log().entries().at(2).note, QStringLiteral("wide"));
        r->screen->logPane().deleteEntry(last);
        QCOMPARE(rows.rowCount(), 2);
        QVERIFY(!r->screen->selectedEntry() && !r->screen->editingNote() && !r->screen->logPane().state().focusedNote);
        QVERIFY(!r->screen->flashing().contains(last));
        QCOMPARE(resets.size(), 0);
    }

    // A row read out: its cells in order with the empty ones left out, then the note and
    // whether it is a suggestion; user text as it is.
    void readOut_data()
    {
        QTest::addColumn<QString>("speaker");
        QTest::addColumn<QString>("timecode");
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("suggested");
        QTest::addColumn<QString>("read");
        QTest::newRow("everything") << "Ada"
                                    << "10:00:00:00"
                                    << "wide" << true << "Moment, 10:00:00:00, Ada, said, Note: wide, suggested";
        QTest::newRow("no speaker, no note") << ""
                                             << "10:00:00:00"
                                             << "" << false << "Moment, 10:00:00:00, said";
        QTest::newRow("no timecode") << "Ada"
                                     << ""
                                     << "" << false << "Moment, Ada, said";
        QTest::newRow("markup") << "<b>Ada</b>"
                                << "10:00:00:00"
                                << "R&D" << false << "Moment, 10:00:00:00, <b>Ada</b>, said, Note: R&D";
    }
    void readOut()
    {
        QFETCH(QString, speaker);
        QFETCH(QString, timecode);
        QFETCH(QString, note);
        QFETCH(bool, suggested);
        QFETCH(QString, read);
        auto r = offlineRig();
        LogEntryListModel rows(r->screen->logPane());
        LogEntry entry;
        entry.id = QUuid::createUuid();
        entry.type = QStringLiteral("moment");
        entry.timecode = timecode;
        entry.highlight = QStringLiteral("said");
        entry.note = note;
        entry.suggested = suggested;
        if (!speaker.isEmpty())
            entry.speaker = speaker;
        r->screen->log().appendEntry(entry);
        QCOMPARE(rows.index(0).data(Qt::AccessibleTextRole).toString(), read);
    }

    // What a row says: words, else the summary, else the recording mark, else a dash; a kind no
    // button has is capitalised and grey.
    void rowTexts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("highlight");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("badge");
        QTest::newRow("open range, no words") << "broll"
                                              << ""
                                              << "" << true << "Recording…"
                                              << "In / Out";
        QTest::newRow("summary only") << "quote"
                                      << ""
                                      << "sum" << false << "sum"
                                      << "Quote";
        QTest::newRow("neither") << "turning point"
                                 << ""
                                 << "" << false << "–"
                                 << "Turning Point";
        QTest::newRow("words") << "moment"
                               << "said"
                               << "sum" << false << "said"
                               << "Moment";
    }
    void rowTexts()
    {
        QFETCH(QString, kind);
        QFETCH(QString, highlight);
        QFETCH(QString, summary);
        QFETCH(bool, open);
        QFETCH(QString, said);
        QFETCH(QString, badge);
        auto r = offlineRig();
        LogEntryListModel rows(r->screen->logPane());
        LogEntry entry;
        entry.id = QUuid::createUuid();
        entry.type = kind;
        entry.highlight = highlight;
        entry.summary = summary;
        entry.open = open;
        entry.speaker = QStringLiteral("Nobody");
        r->screen->log().appendEntry(entry);
        const QModelIndex row = rows.index(0);
        QCOMPARE(row.data(LogEntryListModel::SaidTextRole).toString(), said);
        QCOMPARE(row.data(LogEntryListModel::SaidMutedRole).toBool(), highlight.isEmpty());
        QCOMPARE(row.data(Qt::ToolTipRole).toString(), summary);
        QCOMPARE(row.data(LogEntryListModel::BadgeRole).toString(), badge);
        QCOMPARE(row.data(LogEntryListModel::SpeakerChannelRole).toInt(), -1);
        if (!r->screen->buttons().button(kind))
            QCOMPARE(row.data(LogEntryListModel::BadgeColorRole).value<QColor>(),
                     QColor::fromRgb(LogEntryListModel::kUnknownBadgeHex));
    }

    // The tag bar tags the selection, else the newest open range, else the last entry; with an
    // empty log it tags nothing.
    void tagTarget()
    {
        auto r = offlineRig();
        QCOMPARE(r->screen->logPane().tagTargetLabel(), QStringLiteral("latest clip"));
        r->screen->logPane().applyTag(QStringLiteral("wide"));
        r->screen->tapButton(Rig::button(LoggingScreenModel::kInOutKind, 10));
        r->screen->tapButton(Rig::button(QStringLiteral("moment"), 10));
        const QUuid range = r->screen->log().entries().at(0).id;
        r->screen->setSelectedEntry(std::nullopt);
        QCOMPARE(r->screen->logPane().tagTargetLabel(), QStringLiteral("open range"));
        r->screen->logPane().applyTag(QStringLiteral("wide"));
        r->screen->logPane().applyTag(QStringLiteral("wide"));
        QCOMPARE(r->screen->log().entries().at(0).tags, QStringList{QStringLiteral("wide")});
        QVERIFY(r->screen->log().entries().at(1).tags.isEmpty());
        r->screen->logPane().newTag = QStringLiteral("  close  ");
        r->screen->logPane().setShowAddTag(true);
        r->screen->logPane().addNewTag();
        QVERIFY(r->screen->tags().available().contains(QStringLiteral("close")));
        QVERIFY(!r->screen->logPane().state().showAddTag && r->screen->logPane().newTag.isEmpty());
        r->screen->logPane().selectEntry(range);
        QCOMPARE(r->screen->logPane().tagTargetLabel(), QStringLiteral("selected clip"));
    }
};

PINDLE_TEST(LogEntryListModelTest)
#include "LogEntryListModelTest.moc"
