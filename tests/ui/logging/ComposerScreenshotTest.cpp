#include "common/Screenshots.h"
#include "common/TestMain.h"
#include "model/LogButtonKind.h"
#include "model/LogButtonStore.h"
#include "ui/logging/ComposerView.h"
#include "ui/logging/LinePickerSheet.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QVBoxLayout>

// Pictures of the note composer and the line picker for a person to look at. Runs only when
// PINDLE_SCREENSHOTS names a folder to write them to.
class ComposerScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void composer_data() { screenshots::addAppearances(); }
    void composer()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();
        // The default bar with an empty note; a dark-titled kind chosen and a typed note; every
        // kind shown in a narrow column.
        const QList<std::tuple<QString, int, int, ComposerView::Content>> shots{
            {QStringLiteral("composer-empty"), 480, 4, {QString(), buttons(4), QStringLiteral("earmark"), true}},
            {QStringLiteral("composer-typed"),
             480,
             4,
             {QStringLiteral("Plane overhead & the boom dipped, go again"), buttons(4), QStringLiteral("cutaway"),
              true}},
            {QStringLiteral("composer-narrow"),
             360,
             14,
             {QString(), buttons(14), QStringLiteral("proof_point"), false}},
        };
        for (const auto& [name, width, count, content] : shots) {
            QWidget screen;
            setPaletteColour(&screen, QPalette::Window, Theme::background.current());
            screen.setAutoFillBackground(true);
            auto* layout = new QVBoxLayout(&screen);
            layout->setContentsMargins(0, 12, 12, 12);
            auto* composer = new ComposerView(&screen);
            composer->setContent(content);
            layout->addWidget(composer);
            screen.resize(width, composer->heightForWidth(width - 12) + 24);
            screen.show();
            QVERIFY(QTest::qWaitForWindowExposed(&screen));
            QVERIFY(screenshots::save(&screen, m_folder, name + suffix + QStringLiteral(".png")));
        }
    }

    void picker_data() { screenshots::addAppearances(); }
    void picker()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();
        QWidget parent;
        parent.resize(700, 600);
        parent.show();
        auto* picker = new LinePickerSheet(&parent);
        LinePickerSheet::Content content{
            QStringLiteral("Pick the lines for Funny"), LogButtonKind::color(u"funny").current(), {}, {}};
        const QStringList texts{
            QStringLiteral("So when did you first realise something was wrong with the boat?"),
            QStringLiteral("Honestly, not until the second winter."),
            QStringLiteral("What changed?"),
            QStringLiteral("The price of diesel, then the quota. Then my brother sold his share, and after that "
                           "it was only a matter of time before the rest of us followed him off the water."),
            QStringLiteral("Can we go again from the top of that, there was a plane."),
        };
        for (int i = 0; i < 12; ++i) {
            const int channel = i % 4 == 3 ? -1 : i % 3;
            const std::optional<QString> speaker =
                channel < 0 ? std::nullopt : std::optional(QStringLiteral("Speaker %1").arg(channel + 1));
            const QString id = QStringLiteral("line-%1").arg(i);
            content.lines.append({id, QStringLiteral("10:00:%1:12").arg(11 + 3 * i), speaker,
                                  channel < 0 ? Theme::coral : channelColor(channel), texts.at(i % texts.size())});
            if (i >= 8)
                content.ticked.insert(id);
        }
        content.ticked.insert(QStringLiteral("an older line"));
        picker->setContent(content);
        picker->open();
        QVERIFY(QTest::qWaitForWindowExposed(picker));
        QTest::qWait(50);
        QVERIFY(screenshots::save(picker, m_folder, QStringLiteral("picker") + suffix + QStringLiteral(".png")));
        picker->withdraw();
    }

private:
    static QList<LogButton> buttons(int count)
    {
        QList<LogButton> out;
        for (const LogButton& button : LogButtonStore::defaultButtons().mid(0, count))
            out.append({button.kind, button.name, true, button.reach});
        return out;
    }

    QString m_folder;
};

PINDLE_TEST(ComposerScreenshotTest)
#include "ComposerScreenshotTest.moc"
