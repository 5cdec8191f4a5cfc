#include "ui/logging/LogPaneAccessible.h"
#include "common/TestMain.h"

#include "screens/LogEntryListModel.h"
#include "ui/logging/LogHeader.h"
#include "ui/logging/LogPaneView.h"

#include <QAccessible>
#include <QListView>
#include <QStandardItemModel>

namespace {

using Role = LogEntryListModel::Role;
using namespace LogPaneAccessible;

struct Row {
    QString said = QStringLiteral("We lose the light");
    QString speaker = QStringLiteral("Ada");
    QString note;
    bool suggested = false;
};

Row saying(const QString& said, const QString& note = {}, bool suggested = false)
{
    Row row;
    row.said = said;
    row.note = note;
    row.suggested = suggested;
    return row;
}

QStandardItem* itemOf(const Row& row)
{
    auto* item = new QStandardItem;
    item->setData(QUuid::createUuid(), Role::IdRole);
    item->setData(QStringLiteral("Moment"), Role::BadgeRole);
    item->setData(QColor(0x3FAE6B), Role::BadgeColorRole);
    item->setData(QStringLiteral("10:00:00:00"), Role::TimecodeRole);
    item->setData(false, Role::OpenRole);
    item->setData(row.speaker, Role::SpeakerRole);
    item->setData(-1, Role::SpeakerChannelRole);
    item->setData(row.said, Role::SaidTextRole);
    item->setData(false, Role::SaidMutedRole);
    item->setData(QStringLiteral("Summary of ") + row.said, Qt::ToolTipRole);
    item->setData(QStringLiteral("Moment, ") + row.said, Qt::AccessibleTextRole);
    item->setData(row.note, Role::NoteRole);
    item->setData(row.suggested, Role::SuggestedRole);
    item->setData(false, Role::FlashingRole);
    item->setData(false, Role::SelectedRole);
    item->setData(false, Role::EditingNoteRole);
    return item;
}

// The pane over a plain model, shown; the table and header as assistive tools get them.
struct PaneRig {
    explicit PaneRig(const QList<Row>& rows)
    {
        for (const Row& row : rows)
            model.appendRow(itemOf(row));
        pane = std::make_unique<LogPaneView>(&model);
        pane->resize(760, 400);
        pane->show();
        exposed = QTest::qWaitForWindowExposed(pane.get());
    }
    [[nodiscard]] QAccessibleInterface* table() const
    {
        return QAccessible::queryAccessibleInterface(pane->listView());
    }
    [[nodiscard]] QUuid idOf(int row) const { return model.item(row)->data(Role::IdRole).toUuid(); }

    QStandardItemModel model;
    std::unique_ptr<LogPaneView> pane;
    bool exposed = false;
};

QStringList captions()
{
    return {QStringLiteral("TYPE"), QStringLiteral("TIMECODE"), QStringLiteral("WHO"), QStringLiteral("WHAT WAS SAID"),
            QStringLiteral("NOTE")};
}

} // namespace

// The log pane through QAccessible, as a screen reader walks it: the captions, the rows with
// their cells and actions, following the model as rows come, change and go. (What a listening
// tool is told needs a live accessibility bridge: the end-to-end test over the bus checks it.)
class LogPaneAccessibleTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every row is a row of the table, reading as its line, holding one cell per caption; the
    // captions are column headers standing over their cells.
    void readsRowsCellsAndCaptions()
    {
        PaneRig r({Row{}, [] {
                       Row row = saying(QStringLiteral("Second"), QStringLiteral("wide & <b>tight</b>"));
                       row.speaker.clear();
                       return row;
                   }()});
        QVERIFY(r.exposed);
        QAccessibleInterface* table = r.table();
        QCOMPARE(table->role(), QAccessible::Table);
        QCOMPARE(table->text(QAccessible::Name), QStringLiteral("Log"));
        QCOMPARE(table->childCount(), 2);

        QAccessibleInterface* header = QAccessible::queryAccessibleInterface(r.pane->header());
        QCOMPARE(header->childCount(), 5);
        QAccessibleInterface* second = table->child(1);
        QCOMPARE(second->role(), QAccessible::Row);
        QCOMPARE(second->parent(), table);
        QCOMPARE(table->indexOfChild(second), 1);
        QCOMPARE(second->text(QAccessible::Name), QStringLiteral("Moment, Second"));
        QCOMPARE(second->text(QAccessible::Description), QStringLiteral("Summary of Second"));
        const QStringList cells = {QStringLiteral("Moment"), QStringLiteral("10:00:00:00"), QString(),
                                   QStringLiteral("Second"), QStringLiteral("wide & <b>tight</b>")};
        QCOMPARE(second->childCount(), 5);
        for (int column = 0; column < 5; ++column) {
            QAccessibleInterface* cell = second->child(column);
            QCOMPARE(cell->role(), QAccessible::Cell);
            QCOMPARE(cell->parent(), second);
            QCOMPARE(second->indexOfChild(cell), column);
            QCOMPARE(cell->text(QAccessible::Name), cells.at(column));
            QCOMPARE(cell->textInterface()->text(0, -1), cells.at(column));
            QCOMPARE(cell->text(QAccessible::Description), captions().at(column));
            QAccessibleInterface* caption = header->child(column);
            QCOMPARE(caption->role(), QAccessible::ColumnHeader);
            QCOMPARE(caption->text(QAccessible::Name), captions().at(column));
            QCOMPARE(header->indexOfChild(caption), column);
            // A caption stands over its column's cells.
            QCOMPARE(caption->rect().left(), cell->rect().left());
            QVERIFY(second->rect().contains(cell->rect().center()));
        }
        QCOMPARE(table->childAt(second->rect().center().x(), second->rect().center().y()), second);
    }

    // A row offers the controls it draws: the note control by what it does now, keep only for a
    // suggestion, whose cross dismisses rather than deletes.
    void actionsFollowTheRow_data()
    {
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("suggested");
        QTest::addColumn<QStringList>("actions");
        QTest::newRow("plain") << QString() << false << QStringList{kSelectAction, kAddNoteAction, kDeleteAction};
        QTest::newRow("with a note") << QStringLiteral("wide") << false
                                     << QStringList{kSelectAction, kEditNoteAction, kDeleteAction};
        QTest::newRow("suggested") << QString() << true
                                   << QStringList{kSelectAction, kAddNoteAction, kKeepAction, kDismissAction};
    }
    void actionsFollowTheRow()
    {
        QFETCH(QString, note);
        QFETCH(bool, suggested);
        QFETCH(QStringList, actions);
        PaneRig r({saying(QStringLiteral("said"), note, suggested)});
        QAccessibleActionInterface* row = r.table()->child(0)->actionInterface();
        QVERIFY(row);
        QCOMPARE(row->actionNames(), actions);
        QVERIFY(!row->localizedActionDescription(actions.last()).isEmpty());
    }

    // Each action asks what the click on its control asks, for that row; an action the row does
    // not offer (keep on an ordinary entry) asks nothing.
    void actionsAskWhatAClickAsks_data()
    {
        QTest::addColumn<bool>("suggested");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("asked");
        QTest::newRow("select") << false << kSelectAction << "select";
        QTest::newRow("+ Note") << false << kAddNoteAction << "note";
        QTest::newRow("delete") << false << kDeleteAction << "delete";
        QTest::newRow("keep a suggestion") << true << kKeepAction << "keep";
        QTest::newRow("dismiss a suggestion") << true << kDismissAction << "delete";
        QTest::newRow("keep an ordinary entry") << false << kKeepAction << "";
        QTest::newRow("dismiss an ordinary entry") << false << kDismissAction << "";
        QTest::newRow("unknown") << false << QStringLiteral("Press") << "";
    }
    void actionsAskWhatAClickAsks()
    {
        QFETCH(bool, suggested);
        QFETCH(QString, action);
        QFETCH(QString, asked);
        PaneRig r({Row{}, saying(QStringLiteral("said"), QString(), suggested)});
        QStringList requests;
        const auto record = [&](const char* what) {
            return [&requests, what](const QUuid& id) {
                requests.append(QString::fromLatin1(what) + u' ' + id.toString());
            };
        };
        connect(r.pane.get(), &LogPaneView::selectRequested, this, record("select"));
        connect(r.pane.get(), &LogPaneView::startNoteRequested, this, record("note"));
        connect(r.pane.get(), &LogPaneView::keepRequested, this, record("keep"));
        connect(r.pane.get(), &LogPaneView::deleteRequested, this, record("delete"));
        r.table()->child(1)->actionInterface()->doAction(action);
        QCOMPARE(requests, asked.isEmpty() ? QStringList() : QStringList{asked + u' ' + r.idOf(1).toString()});
    }

    // Rows keep their interfaces as rows come and go before them; a removed row's interface goes
    // with it; a reset starts again.
    void rowsFollowTheModel()
    {
        PaneRig r({saying(QStringLiteral("one")), saying(QStringLiteral("two")), saying(QStringLiteral("three"))});
        QAccessibleInterface* table = r.table();
        QAccessibleInterface* two = table->child(1);
        QAccessibleInterface* three = table->child(2);
        const QAccessible::Id oneId = QAccessible::uniqueId(table->child(0));
        const QAccessible::Id cellId = QAccessible::uniqueId(table->child(0)->child(3));

        r.model.removeRow(0);
        QVERIFY(!QAccessible::accessibleInterface(oneId));
        QVERIFY(!QAccessible::accessibleInterface(cellId));
        QCOMPARE(table->child(0), two);
        QCOMPARE(table->indexOfChild(three), 1);
        r.model.insertRow(0, itemOf(saying(QStringLiteral("zero"))));
        QCOMPARE(table->childCount(), 3);
        QCOMPARE(table->child(1), two);
        QCOMPARE(table->child(0)->child(3)->text(QAccessible::Name), QStringLiteral("zero"));
        QCOMPARE(three->child(3)->text(QAccessible::Name), QStringLiteral("three"));

        const QAccessible::Id twoId = QAccessible::uniqueId(two);
        r.model.clear();
        QVERIFY(!QAccessible::accessibleInterface(twoId));
        QCOMPARE(table->childCount(), 0);
        QVERIFY(!table->child(0));
    }

    // A row's texts are read when asked, so they follow the model without being told; a load
    // of many rows makes no interfaces until they are read.
    void readsTheModelAsItIsNow()
    {
        PaneRig r({Row{}});
        QAccessibleInterface* table = r.table();
        QAccessibleInterface* row = table->child(0);
        QAccessibleInterface* note = row->child(LogColumns::Note);
        QCOMPARE(note->text(QAccessible::Name), QString());
        r.model.item(0)->setData(QStringLiteral("wide"), Role::NoteRole);
        r.model.item(0)->setData(QStringLiteral("Moment, wide"), Qt::AccessibleTextRole);
        QCOMPARE(note->text(QAccessible::Name), QStringLiteral("wide"));
        QCOMPARE(row->text(QAccessible::Name), QStringLiteral("Moment, wide"));
        QCOMPARE(row->actionInterface()->actionNames().at(1), kEditNoteAction);

        QList<QStandardItem*> load;
        for (int i = 0; i < 100; ++i)
            load.append(itemOf(saying(QStringLiteral("load %1").arg(i))));
        r.model.invisibleRootItem()->appendRows(load);
        QCOMPARE(table->childCount(), 101);
        QCOMPARE(table->child(0), row);
        QCOMPARE(table->child(100)->child(3)->text(QAccessible::Name), QStringLiteral("load 99"));
    }
};

PINDLE_TEST(LogPaneAccessibleTest)
#include "LogPaneAccessibleTest.moc"
