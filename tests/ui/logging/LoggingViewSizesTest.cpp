#include "common/TestMain.h"
#include "common/WidgetReach.h"
#include "screens/ScreenRig.h"

#include "platform/Fonts.h"
#include "ui/agent/AgentPanel.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/TagBar.h"
#include "ui/logging/header/BrandBlock.h"
#include "ui/logging/header/HeaderPillButton.h"
#include "ui/logging/header/HeaderView.h"
#include "ui/logging/header/TimecodePanel.h"
#include "ui/mixer/ChannelControls.h"
#include "ui/mixer/ChannelStrip.h"
#include "ui/mixer/CompactChannelRow.h"
#include "ui/mixer/MixerFader.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/mixer/MixerView.h"
#include "ui/theme/LoggerSpinner.h"
#include "ui/theme/PaneParts.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>

using widget_reach::whyNotWhole;

namespace {

// The logging screen in a window of the given size, playing the demo shoot with Mark on.
struct SizedRig : screen_test::RigParts {
    SizedRig(QSize size, int tab, const QString& agentPlace, int channels = 6)
        : RigParts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000)
    {
        view = std::make_unique<LoggingView>(environment(true));
        LoggingScreenModel& screen = view->screen();
        screen.agent().setEnabled(true);
        screen.setAgentPlace(agentPlace);
        screen.setTab(tab);
        view->resize(size);
        view->show();
        if (channels > 0)
            screen.transcriber().startDemo(channels);
    }
    // Lets queued layout work (the header's compact turn, deferred deletes) land.
    bool settle()
    {
        if (!QTest::qWaitForWindowExposed(view.get()))
            return false;
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
        return true;
    }
    std::unique_ptr<LoggingView> view;
};

QList<QWidget*> controlsOf(ChannelControl* control)
{
    return {control->nameButton(),  control->meter(),        control->fader(),      control->muteButton(),
            control->watchButton(), control->listenButton(), control->agentButton()};
}

QRect inView(const QWidget* widget, const QWidget* view)
{
    return QRect(widget->mapTo(view, QPoint()), widget->size());
}

// Horizontal hairlines on screen, in the view's coordinates.
QList<QRect> hairlines(const LoggingView& view)
{
    QList<QRect> lines;
    for (const LineDivider* divider : view.findChildren<LineDivider*>())
        if (divider->isVisibleTo(&view) && divider->width() > divider->height())
            lines.append(inView(divider, &view));
    return lines;
}

} // namespace

// The logging screen at the window sizes a logger uses: every mixer control can be seen whole
// (on screen, or by scrolling the pane it is in), the top bar's texts are never cut, and no two
// hairlines sit on top of each other.
class LoggingViewSizesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        registerFonts();
    }

    void stripsWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("place");
        for (const auto& [place, count] : {std::pair{"channels", 6}, std::pair{"log", 6}, std::pair{"channels", 9}}) {
            QTest::newRow(qPrintable(QStringLiteral("default, chat by %1, %2 ch").arg(place).arg(count)))
                << QSize(1180, 800) << 0 << count << QString::fromLatin1(place);
            QTest::newRow(qPrintable(QStringLiteral("1400x900, chat by %1, %2 ch").arg(place).arg(count)))
                << QSize(1400, 900) << 0 << count << QString::fromLatin1(place);
            QTest::newRow(qPrintable(QStringLiteral("transcript tab 700x800, chat by %1, %2 ch").arg(place).arg(count)))
                << QSize(700, 800) << 1 << count << QString::fromLatin1(place);
            QTest::newRow(qPrintable(QStringLiteral("transcript tab 420x560, chat by %1, %2 ch").arg(place).arg(count)))
                << QSize(420, 560) << 1 << count << QString::fromLatin1(place);
        }
    }
    // Names, meters, faders and the four buttons of every channel, strips or compact rows.
    void stripsWhole()
    {
        QFETCH(QSize, size);
        QFETCH(int, tab);
        QFETCH(int, channels);
        QFETCH(QString, place);
        SizedRig r(size, tab, place, channels);
        MixerView* mixer = r.view->mixer();
        QTRY_COMPARE(int(mixer->strips().size() + mixer->rows().size()), channels);
        QVERIFY(r.settle());
        QCOMPARE(r.view->size(), size);
        QList<ChannelControl*> shown;
        for (ChannelStrip* strip : mixer->strips())
            shown.append(strip);
        for (CompactChannelRow* row : mixer->rows())
            shown.append(row);
        for (ChannelControl* control : std::as_const(shown))
            for (QWidget* part : controlsOf(control)) {
                const QString why = whyNotWhole(part, r.view.get());
                QVERIFY2(why.isEmpty(), qPrintable(QStringLiteral("channel %1: %2").arg(control->index()).arg(why)));
            }
        QVERIFY2(whyNotWhole(mixer->headerButton(), r.view.get()).isEmpty(), "the band's header is cut");
    }

    void topBarWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("running");
        QTest::newRow("default 1180x800") << QSize(1180, 800) << 0 << false;
        QTest::newRow("large 1400x900, running") << QSize(1400, 900) << 0 << true;
        QTest::newRow("900, running") << QSize(900, 700) << 0 << true;
        QTest::newRow("narrow 760") << QSize(760, 700) << 1 << false;
        QTest::newRow("narrow transcript 700x800") << QSize(700, 800) << 1 << false;
        QTest::newRow("narrow 600") << QSize(600, 700) << 0 << false;
        QTest::newRow("minimum 420x560") << QSize(420, 560) << 1 << false;
        QTest::newRow("minimum 420x560, running") << QSize(420, 560) << 0 << true;
    }
    // Every item of the top bar at its natural size, apart from the others, Start/Stop on the
    // right; the date and Start/Stop texts whole. The date is about the longest English one.
    void topBarWhole()
    {
        QFETCH(QSize, size);
        QFETCH(int, tab);
        QFETCH(bool, running);
        SizedRig r(size, tab, QStringLiteral("channels"), 0);
        LogSession wednesday;
        wednesday.id = QUuid::createUuid();
        wednesday.createdAt = Date::fromSecondsSince1970(1'695'808'800); // Wednesday, September 27, 2023
        r.view->screen().log().load(wednesday);
        if (running)
            r.view->screen().toggleLogging();
        QVERIFY(r.settle());
        HeaderView* header = r.view->header();
        QTRY_COMPARE(header->startStopButton()->title(),
                     running ? QStringLiteral("Stop") : QStringLiteral("Start logging"));
        QVERIFY(r.settle());

        QLabel* date = header->brand()->dateLabel();
        QVERIFY(date->text().contains(QStringLiteral("September")));
        QVERIFY2(date->fontMetrics().horizontalAdvance(date->text()) <= date->contentsRect().width(),
                 qPrintable(QStringLiteral("date %1 wide in %2")
                                .arg(date->fontMetrics().horizontalAdvance(date->text()))
                                .arg(date->width())));

        QList<QWidget*> items{header->brand(), header->sessionsButton(), header->inputButton()};
        for (const ToolbarPill::Kind kind : {ToolbarPill::Kind::Search, ToolbarPill::Kind::Buttons,
                                             ToolbarPill::Kind::Alerts, ToolbarPill::Kind::Layout})
            items.append(header->pill(kind));
        items << r.view->exportButton() << header->startStopButton();
        for (QWidget* item : std::as_const(items)) {
            const QString why = whyNotWhole(item, r.view.get());
            QVERIFY2(why.isEmpty(), qPrintable(why));
            QVERIFY2(item->width() >= item->sizeHint().width() && item->height() >= item->sizeHint().height(),
                     qPrintable(QStringLiteral("%1 squeezed to %2 of %3")
                                    .arg(widget_reach::describe(item))
                                    .arg(item->width())
                                    .arg(item->sizeHint().width())));
        }
        for (qsizetype i = 0; i < items.size(); ++i)
            for (qsizetype j = i + 1; j < items.size(); ++j)
                QVERIFY2(!inView(items[i], r.view.get()).intersects(inView(items[j], r.view.get())),
                         qPrintable(widget_reach::describe(items[i]) + QStringLiteral(" overlaps ") +
                                    widget_reach::describe(items[j])));
        const QRect startStop = inView(header->startStopButton(), r.view.get());
        for (QWidget* item : std::as_const(items))
            QVERIFY(inView(item, r.view.get()).right() <= startStop.right());
    }

    void timecodePanelWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("scan"); // 0 none, 1 waiting, 2 failed with a long message
        QTest::addColumn<bool>("sourceBeside");
        for (const int scan : {0, 1, 2}) {
            const char* what = scan == 0 ? "no scan" : scan == 1 ? "scan waiting" : "scan failed";
            QTest::addRow("default 1180x800, %s", what) << QSize(1180, 800) << 0 << scan << true;
            QTest::addRow("narrow transcript 700x800, %s", what) << QSize(700, 800) << 1 << scan << true;
            QTest::addRow("minimum 420x560, %s", what) << QSize(420, 560) << 0 << scan << false;
            QTest::addRow("minimum transcript 420x560, %s", what) << QSize(420, 560) << 1 << scan << false;
        }
    }
    // The camera clock's row: the digits, both pills and the source block at their natural
    // sizes, apart from each other, the source line and the frame rate never cut; a scan's row
    // whole, its message wrapped when the header is too narrow for it. While the row holds them
    // all, the source block stands beside the pills; at the minimum width it goes under them.
    void timecodePanelWhole()
    {
        QFETCH(QSize, size);
        QFETCH(int, tab);
        QFETCH(int, scan);
        QFETCH(bool, sourceBeside);
        SizedRig r(size, tab, QStringLiteral("channels"), 0);
        if (scan == 1)
            r.camera.setScan(CameraTimecode::Waiting{0});
        else if (scan == 2)
            r.camera.setScan(CameraTimecode::Failed{QStringLiteral(
                "The phone could not read a timecode on the camera's screen. Hold it closer and try again.")});
        QVERIFY(r.settle());
        QCOMPARE(r.view->size(), size);
        auto* panel = r.view->findChild<TimecodePanel*>();
        QVERIFY(panel);
        QWidget* digits = panel->layout()->itemAt(0)->widget();
        QVERIFY(digits);
        QList<QWidget*> items{digits, panel->frameRatePill(), panel->syncPill(), panel->sourceLabel(),
                              panel->formatLabel()};
        if (scan == 1)
            items << panel->scanSpinner() << panel->scanLabel() << panel->scanCancelButton();
        else if (scan == 2)
            items << panel->scanLabel() << panel->scanRetryButton();
        for (QWidget* item : std::as_const(items)) {
            const QString why = whyNotWhole(item, r.view.get());
            QVERIFY2(why.isEmpty(), qPrintable(why));
        }
        for (QWidget* item :
             {digits, static_cast<QWidget*>(panel->frameRatePill()), static_cast<QWidget*>(panel->syncPill())})
            QVERIFY2(item->size() == item->sizeHint(), qPrintable(QStringLiteral("%1 squeezed to %2 of %3")
                                                                      .arg(widget_reach::describe(item))
                                                                      .arg(item->width())
                                                                      .arg(item->sizeHint().width())));
        for (QLabel* line : {panel->sourceLabel(), panel->formatLabel()})
            QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) <= line->contentsRect().width(),
                     qPrintable(line->text() + QStringLiteral(" cut to %1").arg(line->width())));
        if (scan != 0) {
            // Whole, and on one line where the header has the room for it: only the long failure
            // wraps, and only in the minimum window.
            QLabel* message = panel->scanLabel();
            QVERIFY2(message->height() >= message->heightForWidth(message->width()),
                     qPrintable(QStringLiteral("scan message %1 high, needs %2")
                                    .arg(message->height())
                                    .arg(message->heightForWidth(message->width()))));
            QCOMPARE(message->heightForWidth(message->width()) < 2 * message->fontMetrics().lineSpacing(),
                     scan == 1 || sourceBeside);
        }
        for (qsizetype i = 0; i < items.size(); ++i)
            for (qsizetype j = i + 1; j < items.size(); ++j)
                QVERIFY2(!inView(items[i], r.view.get()).intersects(inView(items[j], r.view.get())),
                         qPrintable(widget_reach::describe(items[i]) + QStringLiteral(" overlaps ") +
                                    widget_reach::describe(items[j])));
        const QRect sync = inView(panel->syncPill(), r.view.get());
        const QRect source = inView(panel->sourceLabel(), r.view.get());
        QCOMPARE(source.left() > sync.right() && source.top() < sync.bottom(), sourceBeside);
        QCOMPARE(source.top() > inView(digits, r.view.get()).bottom(), !sourceBeside);
        // Nothing under the panel is pushed over it: the next row starts below its last line.
        const QRect whole = inView(panel, r.view.get());
        for (QWidget* item : std::as_const(items))
            QVERIFY(whole.contains(inView(item, r.view.get())));
    }

    void tagRowFollowsTheTab_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("showTags");
        QTest::addColumn<bool>("shown");
        QTest::newRow("wide, tags on") << QSize(1180, 800) << 0 << true << true;
        QTest::newRow("wide, tags off") << QSize(1180, 800) << 0 << false << false;
        QTest::newRow("820 is wide: tags off") << QSize(820, 800) << 0 << false << false;
        QTest::newRow("819 Log tab, tags off") << QSize(819, 800) << 0 << false << true;
        QTest::newRow("819 Log tab, tags on") << QSize(819, 800) << 0 << true << true;
        QTest::newRow("Transcript tab") << QSize(700, 800) << 1 << true << false;
        QTest::newRow("minimum Log tab, tags off") << QSize(420, 560) << 0 << false << true;
    }
    // The tag bar follows the Layout menu in the wide layout only; the narrow Log tab always has
    // it, the Transcript tab never. Shown, it is padded 12 across and 8 down, under a line.
    void tagRowFollowsTheTab()
    {
        QFETCH(QSize, size);
        QFETCH(int, tab);
        QFETCH(bool, showTags);
        QFETCH(bool, shown);
        SizedRig r(size, tab, QStringLiteral("channels"), 0);
        r.view->screen().setShowTags(showTags);
        QVERIFY(r.settle());
        TagBar* bar = r.view->tagBar();
        QCOMPARE(bar->isVisibleTo(r.view.get()), shown);
        if (!shown)
            return;
        QCOMPARE(bar->pos(), QPoint(12, 8));
        QCOMPARE(bar->parentWidget()->height(), bar->height() + 16);
        const QRect row = inView(bar->parentWidget(), r.view.get());
        const QList<QRect> lines = hairlines(*r.view);
        QVERIFY(std::any_of(lines.cbegin(), lines.cend(),
                            [&row](const QRect& line) { return line.bottom() + 1 == row.top(); }));
    }

    void hairlinesApart_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("place");
        QTest::addColumn<bool>("tags");
        QTest::newRow("chat under the log, tags") << QSize(1180, 800) << 0 << "log" << true;
        QTest::newRow("chat under the log, no tags") << QSize(1180, 800) << 0 << "log" << false;
        QTest::newRow("chat by the channels") << QSize(1180, 800) << 0 << "channels" << true;
        QTest::newRow("transcript tab") << QSize(700, 800) << 1 << "log" << true;
    }
    // Mark's chat has a line above it and none doubles another: under the log the chat's own
    // line comes first, and the tag bar's line follows the panel.
    void hairlinesApart()
    {
        QFETCH(QSize, size);
        QFETCH(int, tab);
        QFETCH(QString, place);
        QFETCH(bool, tags);
        SizedRig r(size, tab, place);
        r.view->screen().setShowTags(tags);
        QTRY_VERIFY(r.view->mixer()->isVisible());
        QVERIFY(r.settle());
        const QList<QRect> lines = hairlines(*r.view);
        for (qsizetype i = 0; i < lines.size(); ++i)
            for (qsizetype j = i + 1; j < lines.size(); ++j) {
                const QRect a = lines[i], b = lines[j];
                const bool across = a.left() < b.right() && b.left() < a.right();
                QVERIFY2(!across || std::abs(a.top() - b.top()) > 2,
                         qPrintable(QStringLiteral("double line at y %1").arg(a.top())));
            }
        const AgentPanel* panel = nullptr;
        for (const AgentPanel* candidate : r.view->agentPanels())
            if (candidate->isVisibleTo(r.view.get()))
                panel = candidate;
        QVERIFY(panel);
        const QRect chat = inView(panel, r.view.get());
        const bool lineAbove = std::any_of(lines.cbegin(), lines.cend(), [&chat](const QRect& line) {
            return line.bottom() < chat.top() && chat.top() - line.bottom() <= 2 && line.left() <= chat.left() + 1;
        });
        QVERIFY2(lineAbove, "no line above Mark's chat");
    }
};

PINDLE_TEST(LoggingViewSizesTest)
#include "LoggingViewSizesTest.moc"
