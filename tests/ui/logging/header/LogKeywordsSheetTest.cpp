#include "common/TestMain.h"

#include "model/LogKeywordStore.h"
#include "platform/Defaults.h"
#include "ui/logging/header/LogKeywordsSheet.h"
#include "ui/theme/FlowChips.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>

// The keyword sheet through its widgets: words go in by the store's rules from Return, Enter or
// "Add" without closing the sheet; chips take words out; every change reaches a new store.
class LogKeywordsSheetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void add_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key"); // 0: the "Add" button
        QTest::addColumn<QStringList>("after");
        QTest::newRow("pieces in order, blanks and repeats skipped")
            << ""
            << "police, Fight, , police" << int(Qt::Key_Return) << QStringList{"police", "Fight"};
        QTest::newRow("there in other case") << "police"
                                             << "POLICE" << int(Qt::Key_Enter) << QStringList{"police"};
        QTest::newRow("empty field") << "a"
                                     << "" << 0 << QStringList{"a"};
        QTest::newRow("blanks and tabs trimmed") << ""
                                                 << "  boom op \t,\tgaffer  " << 0 << QStringList{"boom op", "gaffer"};
        QTest::newRow("markup and ampersands as typed")
            << ""
            << "R&D, <b>NDA</b>" << int(Qt::Key_Return) << QStringList{"R&D", "<b>NDA</b>"};
    }
    void add()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QStringList, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        QStringList stored;
        {
            Defaults defaults(path);
            LogKeywordStore store(defaults);
            store.add(before);
            QWidget window;
            window.show();
            QPointer<LogKeywordsSheet> sheet = new LogKeywordsSheet(store, &window);
            sheet->open();
            QVERIFY(QTest::qWaitForWindowExposed(sheet));
            QSignalSpy finished(sheet.data(), &QDialog::finished);
            sheet->field()->setText(typed);
            if (key == 0)
                QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
            else
                QTest::keyClick(sheet->field(), Qt::Key(key));
            QVERIFY(sheet->field()->text().isEmpty());
            QVERIFY(sheet->isVisible());
            QCOMPARE(finished.count(), 0);
            QCOMPARE(sheet->chips()->words(), after);
            QCOMPARE(sheet->emptyLabel()->isVisible(), after.isEmpty());
            QCOMPARE(sheet->chipsArea()->isVisible(), !after.isEmpty());
        }
        Defaults reread(path);
        QCOMPARE(LogKeywordStore(reread).words(), after);
    }

    // A chip removes its word; without words "No keywords yet." is back; Return outside the
    // field is "Done", which closes the sheet once, and it goes away.
    void removeAndDone()
    {
        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        LogKeywordStore store(defaults);
        store.add(QStringLiteral("cut"));
        QWidget window;
        window.show();
        QPointer<LogKeywordsSheet> sheet = new LogKeywordsSheet(store, &window);
        sheet->open();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        QAbstractButton* chip = sheet->chips()->chips().at(0);
        QTest::mouseClick(chip, Qt::LeftButton, {}, QPoint(4, chip->height() / 2));
        QVERIFY(store.words().isEmpty());
        QVERIFY(sheet->emptyLabel()->isVisible() && !sheet->chipsArea()->isVisible());
        QCOMPARE(sheet->emptyLabel()->text(), QStringLiteral("No keywords yet."));

        QSignalSpy finished(sheet.data(), &QDialog::finished);
        sheet->doneButton()->setFocus();
        QTest::keyClick(sheet->doneButton(), Qt::Key_Return);
        QCOMPARE(finished.count(), 1);
        QTRY_VERIFY(!sheet);
    }
};

PINDLE_TEST(LogKeywordsSheetTest)
#include "LogKeywordsSheetTest.moc"
