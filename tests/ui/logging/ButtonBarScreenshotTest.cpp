#include "common/Screenshots.h"
#include "common/TestMain.h"
#include "model/LogButtonKind.h"
#include "ui/logging/ButtonBar.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/logging/TextAlert.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QApplication>
#include <QDir>

// Pictures of the button bar and the text alerts for a person to look at. Runs only when
// PINDLE_SCREENSHOTS names a folder to write them to.
class ButtonBarScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void buttonBars_data() { screenshots::addAppearances(); }
    void buttonBars()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();
        for (const int width : {600, 1000}) {
            QWidget screen;
            setPaletteColour(&screen, QPalette::Window, Theme::background.current());
            screen.setAutoFillBackground(true);
            auto* bar = new ButtonBar(&screen);
            bar->setChips(twelveChips());
            const int height = bar->heightForWidth(width);
            bar->setGeometry(0, 0, width, height);
            screen.resize(width, height);
            screen.show();
            QVERIFY(QTest::qWaitForWindowExposed(&screen));
            save(&screen, QStringLiteral("buttonbar-%1%2.png").arg(width).arg(suffix));
        }
        const QPixmap preview =
            ButtonDrag::preview(twelveChips().at(2).button, 2.0, dark ? Appearance::Dark : Appearance::Light);
        QVERIFY(preview.save(QDir(m_folder).filePath(QStringLiteral("buttonbar-drag%1.png").arg(suffix))));
    }

    void alerts_data() { screenshots::addAppearances(); }
    void alerts()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();
        QWidget parent;
        parent.resize(500, 400);
        parent.show();
        const QList<std::pair<QString, TextAlert*>> alerts{
            {QStringLiteral("alert-speaker"),
             TextAlert::renameSpeaker(QStringLiteral("Speaker 2"), QStringLiteral("Ada"), &parent)},
            {QStringLiteral("alert-channel"), TextAlert::nameChannel(2, QString(), &parent)},
            {QStringLiteral("alert-timecode"), TextAlert::typeTimecode(QStringLiteral("10:00:05:00"), &parent)},
        };
        for (const auto& [name, alert] : alerts) {
            alert->open();
            QVERIFY(QTest::qWaitForWindowExposed(alert));
            save(alert, name + suffix + QStringLiteral(".png"));
            alert->reject();
        }
    }

private:
    static QList<LogButtonChip> twelveChips()
    {
        QList<LogButtonChip> chips;
        const QList<LogButtonKind>& kinds = LogButtonKind::all();
        for (int i = 0; i < 12; ++i) {
            // The first is the composer's kind, In / Out has a range open, the sixth just popped.
            const bool recording = kinds.at(i).kind == QLatin1String("broll");
            const QString hotkey = i < ButtonBar::kShortcutChips ? QStringLiteral("Ctrl+%1").arg(i + 1) : QString();
            chips.append({{kinds.at(i).kind, kinds.at(i).label, true, 10},
                          hotkey,
                          i == 0 || recording,
                          i == 5,
                          recording,
                          QString()});
        }
        return chips;
    }

    void save(QWidget* widget, const QString& name) { QVERIFY(screenshots::save(widget, m_folder, name)); }

    QString m_folder;
};

PINDLE_TEST(ButtonBarScreenshotTest)
#include "ButtonBarScreenshotTest.moc"
