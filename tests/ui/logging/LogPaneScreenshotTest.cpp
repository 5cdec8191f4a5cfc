#include "common/Screenshots.h"
#include "common/TestMain.h"
#include "model/LogButtonKind.h"
#include "screens/LogEntryListModel.h"
#include "ui/logging/LogPaneView.h"
#include "ui/logging/TagBar.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QApplication>
#include <QDir>
#include <QListView>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QVBoxLayout>

using Role = LogEntryListModel::Role;

namespace {

struct Shown {
    QString kind;
    QString timecode;
    QString speaker;
    int channel = -1;
    QString said;
    bool ownWords = false;
    QString note;
    bool open = false;
    bool suggested = false;
    bool selected = false;
    bool flashing = false;
    bool editing = false;
};

QStandardItem* itemOf(const Shown& shown)
{
    auto* item = new QStandardItem;
    const std::optional<LogButtonKind> kind = LogButtonKind::lookup(shown.kind);
    item->setData(QUuid::createUuid(), Role::IdRole);
    item->setData(kind ? kind->label : LogButtonKind::capitalized(shown.kind), Role::BadgeRole);
    item->setData(kind ? LogButtonKind::color(shown.kind).current()
                       : QColor::fromRgb(LogEntryListModel::kUnknownBadgeHex),
                  Role::BadgeColorRole);
    item->setData(shown.timecode, Role::TimecodeRole);
    item->setData(shown.open, Role::OpenRole);
    item->setData(shown.speaker, Role::SpeakerRole);
    item->setData(shown.channel, Role::SpeakerChannelRole);
    item->setData(shown.said, Role::SaidTextRole);
    item->setData(!shown.ownWords, Role::SaidMutedRole);
    item->setData(shown.ownWords ? QString() : shown.said, Qt::ToolTipRole);
    item->setData(shown.note, Role::NoteRole);
    item->setData(shown.suggested, Role::SuggestedRole);
    item->setData(shown.flashing, Role::FlashingRole);
    item->setData(shown.selected, Role::SelectedRole);
    item->setData(shown.editing, Role::EditingNoteRole);
    return item;
}

Shown shown(const QString& kind, const QString& timecode, const QString& speaker, int channel, const QString& said)
{
    Shown row;
    row.kind = kind;
    row.timecode = timecode;
    row.speaker = speaker;
    row.channel = channel;
    row.said = said;
    row.ownWords = true;
    return row;
}

QList<Shown> shootRows()
{
    QList<Shown> rows{
        shown(QStringLiteral("great"), QStringLiteral("10:02:11:04"), QStringLiteral("Ada"), 0,
              QStringLiteral("We lose the light in ten minutes, so this is the last one.")),
        shown(QStringLiteral("funny"), QStringLiteral("10:04:40:12"), QString(), -1,
              QStringLiteral("The crew laughs at the boat & the <b>dog</b>.")),
        shown(QStringLiteral("keyword_hit"), QStringLiteral("10:05:02:00"), QStringLiteral("Ben"), 1,
              QStringLiteral("Said \"boat\" again")),
        shown(QStringLiteral("soundbite"), QStringLiteral("10:06:30:21"), QStringLiteral("Speaker 3"), -1,
              QStringLiteral("Rolling, speed, mark it.")),
        shown(QStringLiteral("earmark"), QStringLiteral("10:07:15:08"), QStringLiteral("Ada"), 0,
              QStringLiteral("Camera reset for the wide.")),
        shown(QStringLiteral("cutaway"), QStringLiteral("10:08:01:16"), QStringLiteral("Ben"), 1,
              QStringLiteral("Back to one, please.")),
        shown(QStringLiteral("testimonial"), QStringLiteral("10:09:44:02"), QStringLiteral("Ada"), 0,
              QStringLiteral("I never thought we would get the boat out past the harbour wall before the tide "
                             "turned, and then the engine died, and we sat there for an hour laughing about it "
                             "while the light went gold and everyone forgot we were meant to be filming.")),
        shown(QStringLiteral("broll"), QStringLiteral("10:10:02:00"), QString(), -1, QStringLiteral("Recording…")),
    };
    rows[1].ownWords = false; // a summary only
    rows[2].suggested = true;
    rows[3].selected = true;
    rows[4].flashing = true;
    rows[5].note = QStringLiteral("Hero take, circle it");
    rows[5].editing = true;
    rows[6].note = QStringLiteral("Use for the trailer");
    rows[7].ownWords = false;
    rows[7].open = true;
    return rows;
}

} // namespace

// Pictures of the log pane and the tag bar for a person to look at. Runs only when
// PINDLE_SCREENSHOTS names a folder to write them to.
class LogPaneScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void logPane_data() { screenshots::addAppearances(); }
    void logPane()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();

        QStandardItemModel model;
        for (const Shown& row : shootRows())
            model.appendRow(itemOf(row));
        QWidget screen;
        setPaletteColour(&screen, QPalette::Window, Theme::background.current());
        screen.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&screen);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* pane = new LogPaneView(&model);
        layout->addWidget(pane);
        screen.resize(700, 500);
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        pane->setFocusedNote(model.item(5)->data(Role::IdRole).toUuid());
        QWidget* viewport = pane->listView()->viewport();
        const QRect hovered = pane->listView()->visualRect(pane->listView()->model()->index(1, 0));
        // A move to where the pointer already is would not count.
        QTest::mouseMove(viewport, QPoint(hovered.left() + 4, hovered.center().y() - 2));
        QTest::mouseMove(viewport, QPoint(hovered.left() + 4, hovered.center().y()));
        save(&screen, QStringLiteral("logpane%1.png").arg(suffix));

        model.clear();
        save(&screen, QStringLiteral("logpane-empty%1.png").arg(suffix));
    }

    void tagBar_data() { screenshots::addAppearances(); }
    void tagBar()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();
        QWidget screen;
        setPaletteColour(&screen, QPalette::Window, Theme::background.current());
        screen.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&screen);
        layout->setContentsMargins(12, 8, 12, 8);
        auto* bar = new TagBar;
        bar->setTags({QStringLiteral("wide"), QStringLiteral("pickup"), QStringLiteral("R&D"),
                      QStringLiteral("<b>loud</b>"), QStringLiteral("Keyword: boat"), QStringLiteral("golden hour"),
                      QStringLiteral("circle take"), QStringLiteral("sound issue"), QStringLiteral("NG")});
        bar->setTargetLabel(QStringLiteral("latest clip"));
        layout->addWidget(bar);
        screen.resize(700, bar->sizeHint().height() + 16);
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        save(&screen, QStringLiteral("tagbar%1.png").arg(suffix));

        bar->setAddPopoverOpen(true, QStringLiteral("B-roll"));
        QVERIFY(QTest::qWaitForWindowExposed(bar->addPopover()));
        save(bar->addPopover(), QStringLiteral("tagbar-popover%1.png").arg(suffix));
        bar->setAddPopoverOpen(false);
    }

private:
    void save(QWidget* widget, const QString& name) { QVERIFY(screenshots::save(widget, m_folder, name)); }

    QString m_folder;
};

PINDLE_TEST(LogPaneScreenshotTest)
#include "LogPaneScreenshotTest.moc"
