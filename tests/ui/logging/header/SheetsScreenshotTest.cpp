#include "common/Screenshots.h"
#include "common/TestMain.h"

#include "model/LogButtonStore.h"
#include "model/LogKeywordStore.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "screens/TimecodePanelModel.h"
#include "ui/logging/TextAlert.h"
#include "ui/logging/header/LogButtonsSheet.h"
#include "ui/logging/header/LogKeywordsSheet.h"
#include "ui/logging/header/TimecodePanel.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QAbstractButton>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QVBoxLayout>

// Pictures of the timecode panel in its states and of the two editing sheets, light and dark, for
// a person to look at. Runs only when PINDLE_SCREENSHOTS names a folder to write them to.
class SheetsScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void timecodePanel_data() { screenshots::addAppearances(); }
    void timecodePanel()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        ManualClock time(Date::fromSecondsSince1970(1'700'000'000.0));
        CameraTimecode camera(defaults, &time);
        camera.setFormat({30, true, true});
        TimecodePanelModel model(camera);
        FrameClock frames(&time);

        QWidget header;
        setPaletteColour(&header, QPalette::Window, Theme::background.current());
        // Links are coral in the application's window.
        setPaletteColour(&header, QPalette::Link, Theme::coral);
        header.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&header);
        layout->setContentsMargins(16, 16, 16, 16);
        auto* panel = new TimecodePanel(model, &header, &frames);
        layout->addWidget(panel);
        header.resize(1000, header.sizeHint().height());
        header.show();
        QVERIFY(QTest::qWaitForWindowExposed(&header));

        const QString suffix = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
        save(&header, QStringLiteral("timecode-machine") + suffix);
        QVERIFY(camera.lockTyped(QStringLiteral("14:32:10;00")));
        time.advance(std::chrono::milliseconds(100));
        save(&header, QStringLiteral("timecode-synced") + suffix);
        camera.setDemoMode(true, {std::chrono::seconds(1), std::chrono::seconds(30)});
        camera.startScan();
        time.advance(std::chrono::seconds(1));
        save(&header, QStringLiteral("timecode-scanning") + suffix);
        camera.setScan(CameraTimecode::Failed{QStringLiteral("The phone didn't answer in time.")});
        save(&header, QStringLiteral("timecode-failed") + suffix);
        model.setCompact(true);
        save(&header, QStringLiteral("timecode-compact") + suffix);
    }

    void buttonsSheet_data() { screenshots::addAppearances(); }
    void buttonsSheet()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        LogButtonStore store(defaults);
        store.toggle(QStringLiteral("broll"));
        store.setReach(QStringLiteral("cutaway"), 7.6);
        QWidget window;
        window.resize(700, 700);
        window.show();
        QPointer<LogButtonsSheet> sheet = new LogButtonsSheet(store, &window);
        sheet->open();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        QTest::mouseClick(sheet->rowParts(1).reach, Qt::LeftButton);
        const QString suffix = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
        save(sheet, QStringLiteral("buttons-sheet") + suffix);
        QTest::mouseClick(sheet->rowParts(0).rename, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(sheet->renameAlert()));
        save(sheet->renameAlert(), QStringLiteral("buttons-rename") + suffix);
        sheet->renameAlert()->reject();
        sheet->accept();
    }

    void keywordsSheet_data() { screenshots::addAppearances(); }
    void keywordsSheet()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        LogKeywordStore store(defaults);
        QWidget window;
        window.resize(600, 500);
        window.show();
        QPointer<LogKeywordsSheet> sheet = new LogKeywordsSheet(store, &window);
        sheet->open();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        const QString suffix = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
        save(sheet, QStringLiteral("keywords-empty") + suffix);
        store.add(QStringLiteral("police, fight, Sarah, R&D, quarterly revenue, layoffs, merger, <b>NDA</b>, "
                                 "supply chain disruption in the northern region, churn, pricing, headcount, budget"));
        sheet->field()->setText(QStringLiteral("boom op"));
        save(sheet, QStringLiteral("keywords-words") + suffix);
        sheet->accept();
    }

private:
    void save(QWidget* widget, const QString& name) { QVERIFY(screenshots::saveScaled(widget, m_folder, name)); }

    QString m_folder;
};

PINDLE_TEST(SheetsScreenshotTest)
#include "SheetsScreenshotTest.moc"
