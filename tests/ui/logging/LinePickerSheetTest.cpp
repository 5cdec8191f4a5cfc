#include "ui/logging/LinePickerSheet.h"
#include "common/TestMain.h"

#include "ui/theme/AccessibleParts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

namespace {

LinePickerSheet::Content content(int count, const QSet<QString>& ticked)
{
    LinePickerSheet::Content out{QStringLiteral("Pick the lines for R&D <b>"), Qt::magenta, {}, ticked};
    for (int i = 0; i < count; ++i) {
        const std::optional<QString> speaker =
            i % 2 ? std::nullopt : std::optional(QStringLiteral("Speaker %1").arg(i));
        out.lines.append({QStringLiteral("l%1").arg(i), QStringLiteral("10:00:00:%1").arg(i, 2, 10, QLatin1Char('0')),
                          speaker, Qt::blue, QStringLiteral("Line %1 & <i>more</i>").arg(i)});
    }
    return out;
}

} // namespace

class LinePickerSheetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Exactly one answer per showing, whichever way out comes first; Return saves only with
    // something ticked; a withdrawn picker answers nothing. The dialog then goes.
    void answersOnce_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("saves");
        QTest::addColumn<int>("keeps");
        QTest::newRow("Save lines") << QStringLiteral("save") << true << 1 << 0;
        QTest::newRow("Return") << QStringLiteral("return") << true << 1 << 0;
        QTest::newRow("Return, nothing ticked, then Esc") << QStringLiteral("return,escape") << false << 0 << 1;
        QTest::newRow("Esc") << QStringLiteral("escape") << true << 0 << 1;
        QTest::newRow("Keep the last few seconds") << QStringLiteral("keep") << true << 0 << 1;
        QTest::newRow("window closed") << QStringLiteral("close") << true << 0 << 1;
        QTest::newRow("withdrawn") << QStringLiteral("withdraw") << true << 0 << 0;
    }
    void answersOnce()
    {
        QFETCH(QString, way);
        QFETCH(bool, ticked);
        QFETCH(int, saves);
        QFETCH(int, keeps);
        QWidget parent;
        parent.show();
        QPointer<LinePickerSheet> picker = new LinePickerSheet(&parent);
        picker->setContent(content(3, ticked ? QSet<QString>{QStringLiteral("l1")} : QSet<QString>{}));
        QSignalSpy saved(picker.data(), &LinePickerSheet::saveRequested);
        QSignalSpy kept(picker.data(), &LinePickerSheet::keepRequested);
        picker->open();
        QVERIFY(QTest::qWaitForWindowActive(picker.data()));
        QCOMPARE(picker->saveButton()->isEnabled(), ticked);
        const auto answer = [&](QStringView how) {
            QWidget* focus = QApplication::focusWidget();
            if (how == u"return")
                QTest::keyClick(focus, Qt::Key_Return);
            else if (how == u"escape")
                QTest::keyClick(focus, Qt::Key_Escape);
            else if (how == u"save")
                QTest::mouseClick(picker->saveButton(), Qt::LeftButton);
            else if (how == u"keep")
                QTest::mouseClick(picker->keepButton(), Qt::LeftButton);
            else if (how == u"withdraw")
                picker->withdraw();
            else
                picker->close();
        };
        const QStringList steps = way.split(u',');
        for (const QString& step : steps) {
            QVERIFY(picker->isVisible());
            answer(step);
        }
        QVERIFY(!picker->isVisible());
        picker->done(QDialog::Accepted);
        picker->done(QDialog::Rejected);
        QCOMPARE(saved.size(), saves);
        QCOMPARE(kept.size(), keeps);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(picker.isNull());
    }

    // A click reports its line and changes nothing by itself; the ticks shown are the set handed
    // in, and the count takes in ticked lines that are not shown. Texts stay as written.
    void ticks()
    {
        LinePickerSheet picker;
        const QString older = QStringLiteral("older than the shown lines");
        picker.setContent(content(4, {older}));
        QSignalSpy toggled(&picker, &LinePickerSheet::toggled);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        QCOMPARE(picker.countText(), QStringLiteral("1 ticked"));
        QVERIFY(picker.saveButton()->isEnabled());

        const QList<QAbstractButton*> rows = picker.rows();
        QCOMPARE(rows.size(), 4);
        QTest::mouseClick(rows.at(2), Qt::LeftButton);
        QTest::keyClick(rows.at(3), Qt::Key_Space);
        QCOMPARE(toggled.size(), 2);
        QCOMPARE(toggled.at(0).at(0).toString(), QStringLiteral("l2"));
        QCOMPARE(toggled.at(1).at(0).toString(), QStringLiteral("l3"));
        QVERIFY(!rows.at(2)->isChecked());
        QCOMPARE(rows.at(2)->accessibleName(), QStringLiteral("Line 2 & <i>more</i>"));

        LinePickerSheet::Content next = picker.content();
        next.ticked = {older, QStringLiteral("l2")};
        picker.setContent(next);
        QCOMPARE(picker.rows(), rows);
        QVERIFY(rows.at(2)->isChecked());
        QCOMPARE(rows.at(2)->accessibleName(), QStringLiteral("Ticked: Line 2 & <i>more</i>"));
        QCOMPARE(picker.countText(), QStringLiteral("2 ticked"));

        next.ticked.clear();
        picker.setContent(next);
        QVERIFY(!picker.saveButton()->isEnabled() && !rows.at(2)->isChecked());
        QCOMPARE(picker.countText(), QStringLiteral("0 ticked"));
        QCOMPARE(picker.windowTitle(), QStringLiteral("Pick the lines for R&D <b>"));
    }

    // Shown, the newest line is in view: the list is scrolled to its end.
    void showsTheNewest_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("40 lines") << 40;
        QTest::newRow("one line") << 1;
        QTest::newRow("no lines") << 0;
    }
    void showsTheNewest()
    {
        QFETCH(int, count);
        QWidget parent;
        parent.show();
        auto* picker = new LinePickerSheet(&parent);
        picker->setContent(content(count, {}));
        picker->open();
        QVERIFY(QTest::qWaitForWindowExposed(picker));
        const QScrollBar* bar = picker->scrollArea()->verticalScrollBar();
        QVERIFY(QTest::qWaitFor([&] { return bar->value() == bar->maximum(); }));
        QCOMPARE(bar->maximum() > 0, count == 40);
        if (count > 0) {
            QWidget* last = picker->rows().constLast();
            const QRect shown(last->mapTo(picker->scrollArea()->viewport(), QPoint()), last->size());
            QVERIFY(picker->scrollArea()->viewport()->rect().contains(shown));
        }
        picker->withdraw();
    }

    // A tool walks the list by the count it read a call earlier: once the scroll bar has gone
    // meanwhile, asking for the child it counted gets none, not a crash.
    void childGoneSinceCounted()
    {
        AccessibleParts::guardScrollAreas();
        QWidget parent;
        parent.show();
        auto* picker = new LinePickerSheet(&parent);
        picker->setContent(content(40, {}));
        picker->open();
        QVERIFY(QTest::qWaitForWindowExposed(picker));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(picker->scrollArea());
        QVERIFY(list);
        QTRY_COMPARE(list->childCount(), 2);
        QAccessibleInterface* bar = list->child(1);
        QVERIFY(bar && bar->object() == picker->scrollArea()->verticalScrollBar()->parentWidget());
        QCOMPARE(list->indexOfChild(bar), 1);

        picker->setContent(content(1, {}));
        QTRY_VERIFY(!picker->scrollArea()->verticalScrollBar()->isVisible());
        QCOMPARE(list->childCount(), 1);
        QCOMPARE(list->child(1), nullptr);
        QCOMPARE(list->child(-1), nullptr);
        QCOMPARE(list->child(0)->object(), picker->scrollArea()->viewport());
        picker->withdraw();
    }
};

PINDLE_TEST(LinePickerSheetTest)
#include "LinePickerSheetTest.moc"
