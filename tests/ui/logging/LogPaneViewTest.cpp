#include "ui/logging/LogPaneView.h"
#include "common/TestMain.h"
#include "platform/Fonts.h"
#include "platform/ManualClock.h"
#include "platform/MotionPreference.h"
#include "screens/LogEntryListModel.h"
#include "ui/theme/Theme.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTextDocument>
#include <QToolTip>

using namespace std::chrono_literals;
using Role = LogEntryListModel::Role;
using Control = EntryRow::Control;

namespace {

struct Entry {
    QString said = QStringLiteral("Words on set");
    QString note;
    QString summary;
    bool suggested = false;

    Entry saying(const QString& text) const { return with(&Entry::said, text); }
    Entry noting(const QString& text) const { return with(&Entry::note, text); }
    Entry summed(const QString& text) const { return with(&Entry::summary, text); }
    Entry suggesting(bool on) const { return with(&Entry::suggested, on); }

    template <typename T> Entry with(T Entry::*field, const T& value) const
    {
        Entry copy = *this;
        copy.*field = value;
        return copy;
    }
};

QStandardItem* rowOf(const Entry& entry)
{
    auto* item = new QStandardItem;
    item->setData(QUuid::createUuid(), Role::IdRole);
    item->setData(QStringLiteral("Moment"), Role::BadgeRole);
    item->setData(QColor(0x3FAE6B), Role::BadgeColorRole);
    item->setData(QStringLiteral("10:00:00:00"), Role::TimecodeRole);
    item->setData(false, Role::OpenRole);
    item->setData(QStringLiteral("Ada"), Role::SpeakerRole);
    item->setData(-1, Role::SpeakerChannelRole);
    item->setData(entry.said, Role::SaidTextRole);
    item->setData(true, Role::SaidMutedRole);
    item->setData(entry.summary, Qt::ToolTipRole);
    item->setData(entry.note, Role::NoteRole);
    item->setData(entry.suggested, Role::SuggestedRole);
    item->setData(false, Role::FlashingRole);
    item->setData(false, Role::SelectedRole);
    item->setData(false, Role::EditingNoteRole);
    return item;
}

QString plainToolTip()
{
    QTextDocument document;
    document.setHtml(QToolTip::text());
    return document.toPlainText();
}

} // namespace

class LogPaneViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { registerFonts(); }

    void cleanup()
    {
        QToolTip::hideText();
        m_pane.reset();
        m_model.reset();
    }

    void helpTextShowsExactlyWhileEmpty()
    {
        show(0);
        QVERIFY(m_pane->showsEmptyHelp());
        m_model->appendRow(rowOf(Entry()));
        QVERIFY(!m_pane->showsEmptyHelp());
        m_model->appendRow(rowOf(Entry()));
        m_model->removeRow(0);
        QVERIFY(!m_pane->showsEmptyHelp());
        m_model->removeRow(0);
        QVERIFY(m_pane->showsEmptyHelp());
    }

    void clickingARowSelectsIt()
    {
        show(3);
        QSignalSpy select(m_pane.get(), &LogPaneView::selectRequested);
        QSignalSpy start(m_pane.get(), &LogPaneView::startNoteRequested);
        QSignalSpy remove(m_pane.get(), &LogPaneView::deleteRequested);
        const QRect row = rowRect(1);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(row.center().x() - 60, row.center().y()));
        QCOMPARE(select.size(), 1);
        QCOMPARE(select.at(0).at(0).toUuid(), idOf(1));
        QCOMPARE(start.size() + remove.size(), 0);

        // A press that leaves its row before the release is no click.
        QTest::mousePress(viewport(), Qt::LeftButton, {}, rowRect(0).center());
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, rowRect(2).center());
        QCOMPARE(select.size(), 1);
    }

    void theCrossDeletesOrDismisses_data()
    {
        QTest::addColumn<bool>("suggested");
        QTest::addColumn<QString>("help");
        QTest::newRow("entry") << false << QStringLiteral("Delete");
        QTest::newRow("suggestion") << true << QStringLiteral("Dismiss");
    }

    void theCrossDeletesOrDismisses()
    {
        QFETCH(bool, suggested);
        QFETCH(QString, help);
        show(0);
        m_model->appendRow(rowOf(Entry().suggesting(suggested)));
        QSignalSpy remove(m_pane.get(), &LogPaneView::deleteRequested);
        QSignalSpy select(m_pane.get(), &LogPaneView::selectRequested);
        hover(0);
        const QRectF cross = controlRect(0, Control::Delete);
        QVERIFY(!cross.isEmpty());
        QCOMPARE(toolTipAt(cross.center().toPoint()), help);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, cross.center().toPoint());
        QCOMPARE(remove.size(), 1);
        QCOMPARE(remove.at(0).at(0).toUuid(), idOf(0));
        QCOMPARE(select.size(), 0);
    }

    void theCheckMarkOnlyKeepsSuggestions_data()
    {
        QTest::addColumn<bool>("suggested");
        QTest::addColumn<bool>("hovered");
        QTest::newRow("entry, hovered") << false << true;
        QTest::newRow("suggestion, hovered") << true << true;
        QTest::newRow("suggestion, not hovered") << true << false;
    }

    void theCheckMarkOnlyKeepsSuggestions()
    {
        QFETCH(bool, suggested);
        QFETCH(bool, hovered);
        show(0);
        m_model->appendRow(rowOf(Entry().suggesting(suggested)));
        m_model->appendRow(rowOf(Entry()));
        QSignalSpy keep(m_pane.get(), &LogPaneView::keepRequested);
        QSignalSpy remove(m_pane.get(), &LogPaneView::deleteRequested);
        hover(hovered ? 0 : 1);
        const QRectF check = controlRect(0, Control::Keep);
        QCOMPARE(!check.isEmpty(), suggested);
        // Where the cross stands, or the check mark when there is one; a suggestion's controls
        // show without the pointer over them.
        QCOMPARE(controlRect(0, Control::Delete).isEmpty(), !hovered && !suggested);
        if (!suggested)
            return;
        QCOMPARE(toolTipAt(check.center().toPoint()), QStringLiteral("Keep this alert"));
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, check.center().toPoint());
        QCOMPARE(keep.size(), 1);
        QCOMPARE(keep.at(0).at(0).toUuid(), idOf(0));
        QCOMPARE(remove.size(), 0);
    }

    // "+ Note" is drawn and clickable on the hovered row alone, and never on a row with a note.
    void addNoteShowsOnlyOnHover()
    {
        show(0);
        m_model->appendRow(rowOf(Entry()));
        m_model->appendRow(rowOf(Entry()));
        m_model->appendRow(rowOf(Entry().noting(QStringLiteral("Hero take"))));
        QSignalSpy start(m_pane.get(), &LogPaneView::startNoteRequested);
        QSignalSpy select(m_pane.get(), &LogPaneView::selectRequested);

        hover(0);
        const QRectF add = controlRect(0, Control::AddNote);
        QVERIFY(!add.isEmpty());
        QVERIFY(controlRect(1, Control::AddNote).isEmpty());
        const QRect spot0 = add.toAlignedRect();
        const QRect spot1 = spot0.translated(0, rowRect(1).top() - rowRect(0).top());
        QVERIFY(hasInk(spot0));
        QVERIFY(!hasInk(spot1));
        QCOMPARE(toolTipAt(add.center().toPoint()), QStringLiteral("Add a note (Ctrl+N for the newest row)"));

        hover(1);
        QVERIFY(!hasInk(spot0));
        QVERIFY(hasInk(spot1));
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, spot1.center());
        QCOMPARE(start.size(), 1);
        QCOMPARE(start.at(0).at(0).toUuid(), idOf(1));

        hover(2);
        QVERIFY(controlRect(2, Control::AddNote).isEmpty());
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, controlRect(2, Control::Note).center().toPoint());
        QCOMPARE(start.size(), 2);
        QCOMPARE(start.at(1).at(0).toUuid(), idOf(2));

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(viewport(), &leave);
        QVERIFY(!hasInk(spot1));
        QCOMPARE(select.size(), 0);
    }

    void endingANoteWritesItAndEndsOnce_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    void endingANoteWritesItAndEndsOnce()
    {
        QFETCH(int, key);
        show(0);
        m_model->appendRow(rowOf(Entry()));
        m_model->appendRow(rowOf(Entry().noting(QStringLiteral("Old"))));
        QSignalSpy end(m_pane.get(), &LogPaneView::endNoteRequested);
        m_model->item(1)->setData(true, Role::EditingNoteRole);
        m_pane->setFocusedNote(idOf(1));
        QPlainTextEdit* field = noteField(1);
        QVERIFY(field);
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(field->toPlainText(), QStringLiteral("Old"));
        QCOMPARE(field->accessibleName(), QStringLiteral("Note"));

        QTest::keyClicks(field, QStringLiteral(" & <b>loud</b>"));
        QCOMPARE(m_model->item(1)->data(Role::NoteRole).toString(), QStringLiteral("Old & <b>loud</b>"));
        QTest::keyClick(field, Qt::Key(key));
        QCOMPARE(end.size(), 1);
        QCOMPARE(m_pane->focusedNote(), std::nullopt);
        QVERIFY(!field->hasFocus());
        QCOMPARE(m_model->item(1)->data(Role::NoteRole).toString(), QStringLiteral("Old & <b>loud</b>"));
        QCOMPARE(m_model->item(0)->data(Role::NoteRole).toString(), QString());

        // The screen ends the editing; the row shows its note without a field.
        m_model->item(1)->setData(false, Role::EditingNoteRole);
        QTRY_VERIFY(!noteField(1));
        QCOMPARE(end.size(), 1);
    }

    void focusedNoteOpensAndClosesTheField()
    {
        show(2);
        QSignalSpy focus(m_pane.get(), &LogPaneView::focusedNoteChanged);
        m_pane->setFocusedNote(idOf(0));
        QPlainTextEdit* field = noteField(0);
        QVERIFY(field);
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(field->placeholderText(), QStringLiteral("Note"));
        m_pane->setFocusedNote(std::nullopt);
        QTRY_VERIFY(!noteField(0));

        // A row still editing its note keeps its field, without the keyboard.
        m_model->item(1)->setData(true, Role::EditingNoteRole);
        QVERIFY(noteField(1));
        m_pane->setFocusedNote(idOf(1));
        QTRY_VERIFY(noteField(1)->hasFocus());
        m_pane->setFocusedNote(std::nullopt);
        QVERIFY(noteField(1));
        QVERIFY(!noteField(1)->hasFocus());
        // What the owner said is not echoed back.
        QCOMPARE(focus.size(), 0);

        // A focus on a row that is gone opens nothing.
        m_pane->setFocusedNote(QUuid::createUuid());
        QVERIFY(!noteField(0));
    }

    // The user's own moves of the keyboard into and out of a field reach the owner.
    void clicksMoveTheNoteFocus()
    {
        show(2);
        m_model->item(1)->setData(true, Role::EditingNoteRole);
        QSignalSpy focus(m_pane.get(), &LogPaneView::focusedNoteChanged);
        QPlainTextEdit* field = noteField(1);
        QVERIFY(field);
        QTest::mouseClick(field->viewport(), Qt::LeftButton);
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(focus.size(), 1);
        QCOMPARE(focus.at(0).at(0).value<std::optional<QUuid>>(), std::optional<QUuid>(idOf(1)));
        QCOMPARE(m_pane->focusedNote(), std::optional<QUuid>(idOf(1)));

        QTest::mouseClick(viewport(), Qt::LeftButton, {}, rowRect(0).center());
        QTRY_VERIFY(!field->hasFocus());
        QCOMPARE(focus.size(), 2);
        QCOMPARE(focus.at(1).at(0).value<std::optional<QUuid>>(), std::nullopt);
        QVERIFY(noteField(1));

        // A field opened for the keyboard alone closes when the keyboard leaves it.
        m_pane->setFocusedNote(idOf(0));
        QTRY_VERIFY(noteField(0) && noteField(0)->hasFocus());
        QTest::keyClick(noteField(0), Qt::Key_Tab);
        QTRY_VERIFY(!noteField(0));
        QCOMPARE(focus.size(), 3);
    }

    void keepsTheLastRowInViewAsRowsComeAndGo()
    {
        show(40);
        QScrollBar* bar = m_pane->listView()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        // Not on first show.
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 0);

        m_model->appendRow(rowOf(Entry()));
        QTRY_COMPARE(bar->value(), bar->maximum());
        QVERIFY(m_pane->listView()->visualRect(index(40)).bottom() <= viewport()->height());

        bar->setValue(0);
        m_model->removeRow(40);
        QTRY_VERIFY(bar->value() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        // Edits keep the place.
        bar->setValue(0);
        m_model->item(3)->setData(QStringLiteral("Changed"), Role::SaidTextRole);
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 0);
    }

    void rowsGrowWithTheSaidTextUpToThreeLines_data()
    {
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("lines");
        QTest::newRow("empty") << QString() << 1;
        QTest::newRow("typed line break") << QStringLiteral("Speed.\nRolling.") << 2;
        QTest::newRow("five typed lines") << QStringLiteral("a\nb\nc\nd\ne") << 3;
        QTest::newRow("one word longer than the column") << QStringLiteral("x").repeated(400) << 3;
        QTest::newRow("words without spaces") << QStringLiteral("撮影開始します").repeated(60) << 3;
        QTest::newRow("many short words") << QStringLiteral("a ").repeated(2000) << 3;
    }

    void rowsGrowWithTheSaidTextUpToThreeLines()
    {
        QFETCH(QString, said);
        QFETCH(int, lines);
        show(0);
        // Plain words filling about one, one and a half, and two and a half lines.
        const QString word = QStringLiteral("rolling ");
        const qreal line = LogColumns::layout(0, viewport()->width())[LogColumns::Said].width;
        const qreal wordWidth = QFontMetricsF(TextStyle::body.font()).horizontalAdvance(word);
        for (const qreal fill : {0.1, 1.5, 2.5})
            m_model->appendRow(rowOf(Entry().saying(word.repeated(std::max(1, int(fill * line / wordWidth))))));
        const std::array<int, 3> heights = {rowRect(0).height(), rowRect(1).height(), rowRect(2).height()};
        QVERIFY(heights[0] < heights[1] && heights[1] < heights[2]);

        m_model->appendRow(rowOf(Entry().saying(said)));
        QCOMPARE(rowRect(3).height(), heights[size_t(lines - 1)]);
    }

    void rowsFollowChangesAndTheWidth()
    {
        show(0);
        const QString word = QStringLiteral("rolling ");
        m_model->appendRow(rowOf(Entry().saying(word)));
        m_model->appendRow(rowOf(Entry().saying(word.repeated(300))));
        const int one = rowRect(0).height();
        const int three = rowRect(1).height();

        m_model->item(0)->setData(word.repeated(300), Role::SaidTextRole);
        QTRY_COMPARE(rowRect(0).height(), three);
        m_model->item(0)->setData(word, Role::SaidTextRole);
        QTRY_COMPARE(rowRect(0).height(), one);

        // A long note is capped the same way.
        m_model->item(0)->setData(word.repeated(300), Role::NoteRole);
        QTRY_VERIFY(rowRect(0).height() > one);
        const int noted = rowRect(0).height();
        m_model->item(0)->setData(word.repeated(600), Role::NoteRole);
        QCoreApplication::processEvents();
        QCOMPARE(rowRect(0).height(), noted);
        m_model->item(0)->setData(QString(), Role::NoteRole);
        QTRY_COMPARE(rowRect(0).height(), one);

        // Two lines at this width, one in a wider pane, and the rows under it moved up at once:
        // rows painted at the new width where the old heights put them would overlap.
        const qreal line = LogColumns::layout(0, viewport()->width())[LogColumns::Said].width;
        const int words = int(1.3 * line / QFontMetricsF(TextStyle::body.font()).horizontalAdvance(word));
        m_model->item(0)->setData(word.repeated(words), Role::SaidTextRole);
        // The list has placed the rows under it again.
        QTRY_VERIFY(rowRect(1).top() > rowRect(0).top() + one);
        const int secondTop = rowRect(1).top();
        // Before the next paint.
        m_pane->resize(1400, m_pane->height());
        QCOMPARE(rowRect(0).height(), one);
        QCOMPARE(rowRect(1).top(), rowRect(0).top() + one);
        QVERIFY(rowRect(1).top() < secondTop);
    }

    void onlyNewRowsPopAndLeaveNoStateBehind()
    {
        ManualClock clock;
        FrameClock frames(&clock);
        m_model = std::make_unique<QStandardItemModel>();
        m_model->appendRow(rowOf(Entry()));
        m_pane = std::make_unique<LogPaneView>(m_model.get(), nullptr, &frames);
        m_pane->resize(700, 400);
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
        QCOMPARE(m_pane->poppingCount(), 0);
        QVERIFY(!frames.isTicking());

        m_model->appendRow(rowOf(Entry()));
        QCOMPARE(m_pane->poppingCount(), 1);
        clock.advance(100ms);
        QCOMPARE(m_pane->poppingCount(), 1);
        clock.advance(3s);
        QCOMPARE(m_pane->poppingCount(), 0);
        QVERIFY(!frames.isTicking());

        // A row removed while it pops takes its animation with it.
        m_model->appendRow(rowOf(Entry()));
        m_model->removeRow(2);
        QCOMPARE(m_pane->poppingCount(), 0);

        // A load of many rows at once is no news.
        QList<QStandardItem*> load;
        for (int i = 0; i < 100; ++i)
            load.append(rowOf(Entry()));
        m_model->invisibleRootItem()->appendRows(load);
        QCOMPARE(m_pane->poppingCount(), 0);
        m_pane.reset();
    }

    // A row's background: coral at 0.2 while it flashes, over any other state (selected or
    // suggested); else coral at 0.08 while selected; else amber at 0.07 for a suggestion; else
    // none. Read beside the type cell of the row drawn on nothing, so the opacity is exact.
    void rowBackgrounds_data()
    {
        QTest::addColumn<bool>("flashing");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("suggested");
        QTest::addColumn<QColor>("tint");
        QTest::addColumn<double>("opacity");
        QTest::newRow("plain") << false << false << false << QColor(Theme::coral) << 0.0;
        QTest::newRow("flashing") << true << false << false << QColor(Theme::coral) << 0.2;
        QTest::newRow("flashing and selected") << true << true << false << QColor(Theme::coral) << 0.2;
        QTest::newRow("flashing suggestion") << true << false << true << QColor(Theme::coral) << 0.2;
        QTest::newRow("selected") << false << true << false << QColor(Theme::coral) << 0.08;
        QTest::newRow("selected suggestion") << false << true << true << QColor(Theme::coral) << 0.08;
        QTest::newRow("suggestion") << false << false << true << QColor(Theme::amber) << 0.07;
    }
    void rowBackgrounds()
    {
        QFETCH(bool, flashing);
        QFETCH(bool, selected);
        QFETCH(bool, suggested);
        QFETCH(QColor, tint);
        QFETCH(double, opacity);
        show(0);
        QStandardItem* row = rowOf(Entry().suggesting(suggested));
        row->setData(flashing, Role::FlashingRole);
        row->setData(selected, Role::SelectedRole);
        m_model->appendRow(row);
        QTRY_VERIFY(rowRect(0).height() > 8);
        QStyleOptionViewItem option;
        option.widget = m_pane->listView();
        option.state = QStyle::State_Enabled;
        option.rect = QRect(QPoint(), rowRect(0).size());
        QImage drawn(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        m_pane->delegate()->paint(&painter, option, index(0));
        painter.end();
        const QColor seen = drawn.pixelColor(4, 4);
        QVERIFY2(std::abs(seen.alpha() - std::lround(255 * opacity)) <= 1, qPrintable(QString::number(seen.alpha())));
        if (opacity > 0) {
            // Unmixed from so little opacity, each part is only known to a few steps.
            QVERIFY2(std::abs(seen.red() - tint.red()) <= 16 && std::abs(seen.green() - tint.green()) <= 16 &&
                         std::abs(seen.blue() - tint.blue()) <= 16,
                     qPrintable(seen.name()));
        }
    }

    void userTextIsShownLiterally()
    {
        show(0);
        const QString text = QStringLiteral("<b>Cut</b> & print");
        m_model->appendRow(rowOf(Entry().saying(text).summed(text)));
        const QRect row = rowRect(0);
        const LogColumns columns = LogColumns::layout(0, viewport()->width());
        const QPoint said(int(columns[LogColumns::Said].left) + 5, row.center().y());
        QCOMPARE(toolTipAt(said), text);
        // What was said, as assistive tools read its cell.
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(m_pane->listView());
        QVERIFY(table && table->child(0));
        QCOMPARE(table->child(0)->child(LogColumns::Said)->text(QAccessible::Name), text);
        QCOMPARE(m_pane->listView()->accessibleName(), QStringLiteral("Log"));
    }

private:
    void show(int rows)
    {
        m_model = std::make_unique<QStandardItemModel>();
        for (int i = 0; i < rows; ++i)
            m_model->appendRow(rowOf(Entry()));
        // These tests look at rows at rest: with reduced motion rows are drawn at their end state.
        m_pane = std::make_unique<LogPaneView>(m_model.get(), nullptr, &m_frames);
        m_pane->resize(700, 400);
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
    }

    QWidget* viewport() const { return m_pane->listView()->viewport(); }
    QModelIndex index(int row) const { return m_pane->listView()->model()->index(row, 0); }
    QUuid idOf(int row) const { return m_model->item(row)->data(Role::IdRole).toUuid(); }
    QRect rowRect(int row) const { return m_pane->listView()->visualRect(index(row)); }

    QRectF controlRect(int row, Control control) const
    {
        return m_pane->delegate()->controlRect(index(row), rowRect(row), control);
    }

    void hover(int row)
    {
        QTest::mouseMove(viewport(), QPoint(rowRect(row).left() + 4, rowRect(row).center().y()));
        QTRY_COMPARE(m_pane->delegate()->hoveredRow(), index(row));
    }

    QPlainTextEdit* noteField(int row) const
    {
        return qobject_cast<QPlainTextEdit*>(m_pane->listView()->indexWidget(index(row)));
    }

    QString toolTipAt(const QPoint& at)
    {
        QHelpEvent help(QEvent::ToolTip, at, viewport()->mapToGlobal(at));
        QApplication::sendEvent(viewport(), &help);
        return plainToolTip();
    }

    // Something other than the row's background is drawn in `area`.
    bool hasInk(const QRect& area)
    {
        QCoreApplication::processEvents();
        const QImage image = viewport()->grab(area).toImage();
        const QRgb first = image.pixel(0, 0);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != first)
                    return true;
        return false;
    }

    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<LogPaneView> m_pane;
    MotionPreference m_reduced{true};
    FrameClock m_frames{nullptr, &m_reduced};
};

PINDLE_TEST(LogPaneViewTest)
#include "LogPaneViewTest.moc"
