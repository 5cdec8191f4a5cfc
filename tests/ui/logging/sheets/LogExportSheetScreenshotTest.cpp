#include "common/Screenshots.h"
#include "common/TestMain.h"

#include "model/LogButtonStore.h"
#include "platform/Defaults.h"
#include "ui/logging/sheets/LogExportSheet.h"

#include <QComboBox>
#include <QDir>
#include <QPointer>
#include <QTemporaryDir>

// Pictures of the export sheet on a day with several kinds and tags, light and dark, for a person
// to look at. Runs only when PINDLE_SCREENSHOTS names a folder to write them to.
class LogExportSheetScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void exportSheet_data() { screenshots::addAppearances(); }
    void exportSheet()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        defaults.set(ExportSheetModel::tapeKey, QStringLiteral("A001"));
        LogButtonStore buttons(defaults);
        QList<LogEntry> entries;
        const QStringList kinds{"great", "cut", "note", "funny", "turning_point", "broll", "moment", "soundbite"};
        for (qsizetype i = 0; i < kinds.size(); ++i) {
            LogEntry entry;
            entry.id = QUuid::createUuid();
            entry.type = kinds.at(i);
            entry.suggested = i == 2;
            if (i % 3 == 0)
                entry.tags = {QStringLiteral("hero"), QStringLiteral("R&D")};
            entries << entry;
        }
        QWidget window;
        window.resize(700, 700);
        window.show();
        QPointer<LogExportSheet> sheet = new LogExportSheet(entries, buttons, defaults, &window);
        sheet->open();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        const QString suffix = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
        save(sheet, QStringLiteral("export-ale") + suffix);
        sheet->model().setKindChecked(QStringLiteral("cut"), false);
        sheet->model().setFormat(ExportFormat::Edl);
        save(sheet, QStringLiteral("export-edl") + suffix);
        sheet->model().setFormat(ExportFormat::Pdf);
        save(sheet, QStringLiteral("export-pdf") + suffix);
        sheet->reject();
    }

private:
    void save(QWidget* widget, const QString& name) { QVERIFY(screenshots::saveScaled(widget, m_folder, name)); }

    QString m_folder;
};

PINDLE_TEST(LogExportSheetScreenshotTest)
#include "LogExportSheetScreenshotTest.moc"
