#include "common/Screenshots.h"
#include "common/TestMain.h"
#include "screens/ScreenRig.h"
#include "standin/StandinTestSupport.h"

#include "ui/logging/sheets/LogSearchSheet.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

// Pictures of the search sheet, light and dark: this log's hits, a marker found by its note alone,
// nothing found, and hits of other shoots with a problem line. Runs only when PINDLE_SCREENSHOTS
// names a folder.
class LogSearchSheetScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void sheet_data() { screenshots::addAppearances(); }
    void sheet()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        StandinProcess standin;
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        screen_test::Rig rig(standin.baseUrl(), standin.signIn(standin_test::kAda), true);
        rig.screen->toggleLogging();
        QVERIFY(rig.playLines(12));
        LogEntry mark = screen_test::earmark(QStringLiteral("10:00:04:12"));
        mark.highlight = QStringLiteral("If you sell that boat I am never speaking to you again");
        mark.summary = QStringLiteral("Sister threatens to cut contact if the boat is sold.");
        mark.speaker = QStringLiteral("Kitchen");
        rig.screen->log().appendEntry(mark);
        // A marker kept with no words: only its note finds it.
        LogEntry bare = screen_test::earmark(QStringLiteral("10:00:06:00"));
        bare.note = QStringLiteral("tail slate");
        rig.screen->log().appendEntry(bare);

        QWidget window;
        window.resize(700, 600);
        window.show();
        QPointer<LogSearchSheet> sheet =
            new LogSearchSheet(LogSearchModel::Sources::of(*rig.screen, rig.service), &window);
        sheet->open();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        const QString suffix = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
        sheet->field()->setText(QStringLiteral("boat"));
        save(sheet, QStringLiteral("search-this-log") + suffix);
        sheet->field()->setText(QStringLiteral("th"));
        save(sheet, QStringLiteral("search-many") + suffix);
        sheet->field()->setText(QStringLiteral("slate"));
        save(sheet, QStringLiteral("search-note-only") + suffix);
        sheet->field()->setText(QStringLiteral("harpoon"));
        save(sheet, QStringLiteral("search-nothing") + suffix);

        const QJsonArray results{
            QJsonObject{{"share_token", "t1"},
                        {"title", "Harbour day 2"},
                        {"timecode", "14:02:11:08"},
                        {"speaker", "Ada"},
                        {"text", "Then the quota came in and that was the end of the winter boats."},
                        {"why", "Mentions the quota and the boats."}},
            QJsonObject{{"share_token", "t2"},
                        {"timecode", "09:15:40:00"},
                        {"text", "Quota, quota, quota. That's all anyone says."},
                        {"why", ""}}};
        standin.control(QStringLiteral("fault"),
                        {{"path", "/api/velko/ai-search"},
                         {"kind", "answer"},
                         {"status", 200},
                         {"body", QString::fromUtf8(standin_test::json({{"results", results}}))}});
        QTest::mouseClick(sheet->scopeButton(1), Qt::LeftButton);
        sheet->field()->setText(QStringLiteral("where did anyone mention the quota?"));
        QTest::keyClick(sheet->field(), Qt::Key_Return);
        QTRY_COMPARE(sheet->cloudCards().size(), 2);
        save(sheet, QStringLiteral("search-all-shoots") + suffix);
        standin.control(QStringLiteral("fault"),
                        {{"path", "/api/velko/ai-search"}, {"kind", "status"}, {"status", 503}});
        QTest::mouseClick(sheet->searchButton(), Qt::LeftButton);
        QTRY_VERIFY(!sheet->model().searching());
        save(sheet, QStringLiteral("search-problem") + suffix);
        sheet->accept();
    }

private:
    void save(QWidget* widget, const QString& name) { QVERIFY(screenshots::saveScaled(widget, m_folder, name)); }

    QString m_folder;
};

PINDLE_TEST(LogSearchSheetScreenshotTest)
#include "LogSearchSheetScreenshotTest.moc"
