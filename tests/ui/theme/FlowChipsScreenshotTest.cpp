#include "common/Screenshots.h"
#include "common/TestMain.h"

#include "ui/theme/FlowChips.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QDir>
#include <QVBoxLayout>

// Keyword chips at a sheet's width and a wide window's, light and dark, for a person to look at.
// Runs only when PINDLE_SCREENSHOTS names a folder to write them to.
class FlowChipsScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Skipped per test, so the classes after this one in the executable still run.
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void keywords_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("dark");
        for (const int width : {320, 600}) {
            QTest::addRow("%d light", width) << width << false;
            QTest::addRow("%d dark", width) << width << true;
        }
    }
    void keywords()
    {
        QFETCH(int, width);
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const Appearance appearance = currentAppearance();
        QCOMPARE(appearance, dark ? Appearance::Dark : Appearance::Light);

        QWidget sheet;
        QPalette background = sheet.palette();
        background.setColor(QPalette::Window, Theme::background.resolve(appearance));
        sheet.setPalette(background);
        sheet.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&sheet);
        layout->setContentsMargins(16, 16, 16, 16);
        auto* flow = new FlowChips;
        flow->setWords({"budget", "quarterly revenue", "Q3", "layoffs", "merger", "R&D", "%1 growth", "<b>NDA</b>",
                        "supply chain disruption in the northern region", "churn", "budget", "pricing", "headcount"});
        layout->addWidget(flow);
        layout->addStretch(1);
        sheet.resize(width, sheet.heightForWidth(width));
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        const QString name = QStringLiteral("flowchips-%1-%2").arg(width).arg(dark ? "dark" : "light");
        QVERIFY(screenshots::saveScaled(&sheet, m_folder, name));
    }

private:
    QString m_folder;
};

PINDLE_TEST(FlowChipsScreenshotTest)
#include "FlowChipsScreenshotTest.moc"
