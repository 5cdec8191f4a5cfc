#include "ui/logging/TagBar.h"
#include "common/TestMain.h"
#include "platform/Fonts.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>

namespace {

QString plain(const QString& toolTip)
{
    QTextDocument document;
    document.setHtml(toolTip);
    return document.toPlainText();
}

} // namespace

class TagBarTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { registerFonts(); }

    void chipsSayWhatTheyTag_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("tag");
        QTest::newRow("selected clip") << QStringLiteral("selected clip") << QStringLiteral("pickup");
        QTest::newRow("open range") << QStringLiteral("open range") << QStringLiteral("wide");
        QTest::newRow("latest clip, ampersand") << QStringLiteral("latest clip") << QStringLiteral("R&D");
        QTest::newRow("markup") << QStringLiteral("latest clip") << QStringLiteral("<b>loud</b> & clear");
    }

    void chipsSayWhatTheyTag()
    {
        QFETCH(QString, label);
        QFETCH(QString, tag);
        TagBar bar;
        bar.setTargetLabel(QStringLiteral("selected clip"));
        bar.setTags({QStringLiteral("first"), tag});
        // A later label reaches chips made before it.
        bar.setTargetLabel(label);
        QAbstractButton* chip = bar.chips().at(1);
        const QString help = QStringLiteral("Tag the ") + label + QStringLiteral(" with ") + tag;
        QCOMPARE(plain(chip->toolTip()), help);
        QCOMPARE(chip->accessibleDescription(), help);
        QCOMPARE(chip->accessibleName(), tag);
        // No mnemonic is made of an "&" in a tag.
        QVERIFY(chip->shortcut().isEmpty());
    }

    void aChipClickReportsItsTag()
    {
        TagBar bar;
        bar.setTags({QStringLiteral("a"), QStringLiteral("R&D"), QStringLiteral("c")});
        QSignalSpy clicked(&bar, &TagBar::tagClicked);
        bar.resize(400, 40);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QTest::mouseClick(bar.chips().at(1), Qt::LeftButton);
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked.at(0).at(0).toString(), QStringLiteral("R&D"));
    }

    void chipsFollowThePalette()
    {
        TagBar bar;
        bar.setTags({QStringLiteral("a"), QStringLiteral("b")});
        const QList<QAbstractButton*> before = bar.chips();
        bar.setTags({QStringLiteral("a"), QStringLiteral("b")});
        QCOMPARE(bar.chips(), before);
        bar.setTags({QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
        QCOMPARE(bar.chips().size(), 3);
        QCOMPARE(bar.chips().at(0)->accessibleName(), QStringLiteral("b"));
        QCOMPARE(bar.chips().at(2)->accessibleName(), QStringLiteral("d"));
        bar.setTags({});
        QVERIFY(bar.chips().isEmpty());
    }

    void plusAsksToAddATag()
    {
        TagBar bar;
        QSignalSpy add(&bar, &TagBar::addRequested);
        QCOMPARE(bar.addButton()->toolTip(), QStringLiteral("Add a tag to the palette"));
        QCOMPARE(bar.addButton()->accessibleName(), QStringLiteral("Add a tag to the palette"));
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QTest::mouseClick(bar.addButton(), Qt::LeftButton);
        QCOMPARE(add.size(), 1);
        QVERIFY(!bar.isAddPopoverOpen());
    }

    void popoverEndsOneWayEach_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("submitted");
        QTest::addColumn<int>("dismissed");
        QTest::newRow("Add") << QStringLiteral("add") << 1 << 0;
        QTest::newRow("Return") << QStringLiteral("return") << 1 << 0;
        QTest::newRow("Escape") << QStringLiteral("escape") << 0 << 1;
        QTest::newRow("closed by the window system") << QStringLiteral("close") << 0 << 1;
        QTest::newRow("closed by the owner") << QStringLiteral("owner") << 0 << 0;
    }

    void popoverEndsOneWayEach()
    {
        QFETCH(QString, how);
        QFETCH(int, submitted);
        QFETCH(int, dismissed);
        TagBar bar;
        bar.resize(400, 40);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QSignalSpy submit(&bar, &TagBar::newTagSubmitted);
        QSignalSpy dismiss(&bar, &TagBar::addPopoverDismissed);

        bar.setAddPopoverOpen(true, QStringLiteral("B-ro"));
        QVERIFY(bar.isAddPopoverOpen());
        QLineEdit* field = bar.newTagField();
        QCOMPARE(field->text(), QStringLiteral("B-ro"));
        QCOMPARE(field->placeholderText(), QStringLiteral("New tag"));
        QCOMPARE(field->width(), 160);
        // Under the "+".
        const QRect plus(bar.addButton()->mapToGlobal(QPoint(0, 0)), bar.addButton()->size());
        QVERIFY(bar.addPopover()->geometry().top() > plus.bottom());
        QTRY_VERIFY(field->hasFocus());
        QSignalSpy edited(&bar, &TagBar::newTagEdited);
        QTest::keyClicks(field, QStringLiteral("ll & <i>"));
        QCOMPARE(edited.size(), 8);
        QCOMPARE(edited.last().at(0).toString(), QStringLiteral("B-roll & <i>"));

        if (how == QLatin1String("add"))
            QTest::mouseClick(bar.newTagAddButton(), Qt::LeftButton);
        else if (how == QLatin1String("return"))
            QTest::keyClick(field, Qt::Key_Return);
        else if (how == QLatin1String("escape"))
            QTest::keyClick(field, Qt::Key_Escape);
        else if (how == QLatin1String("close"))
            bar.addPopover()->close();
        QCOMPARE(submit.size(), submitted);
        if (submitted > 0)
            QCOMPARE(submit.at(0).at(0).toString(), QStringLiteral("B-roll & <i>"));
        // The owner closes the popover once it has taken the tag, or whenever it likes.
        bar.setAddPopoverOpen(false, QString());
        QVERIFY(!bar.isAddPopoverOpen());
        QCOMPARE(dismiss.size(), dismissed);
        if (dismissed > 0)
            QCOMPARE(dismiss.at(0).at(0).toString(), QStringLiteral("B-roll & <i>"));
        QCOMPARE(submit.size(), submitted);
    }

    void reopeningKeepsTheOwnersText()
    {
        TagBar bar;
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        bar.setAddPopoverOpen(true, QStringLiteral("wide"));
        bar.newTagField()->setCursorPosition(2);
        // The same state again changes nothing under the user's cursor.
        bar.setAddPopoverOpen(true, QStringLiteral("wide"));
        QCOMPARE(bar.newTagField()->cursorPosition(), 2);
        // The owner's text is no edit of the user's.
        QSignalSpy edited(&bar, &TagBar::newTagEdited);
        bar.setAddPopoverOpen(true, QStringLiteral("wider"));
        QCOMPARE(bar.newTagField()->text(), QStringLiteral("wider"));
        QCOMPARE(edited.size(), 0);
        bar.setAddPopoverOpen(false);
        bar.setAddPopoverOpen(true, QString());
        QCOMPARE(bar.newTagField()->text(), QString());
    }
};

PINDLE_TEST(TagBarTest)
#include "TagBarTest.moc"
