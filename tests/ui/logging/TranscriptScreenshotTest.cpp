#include "common/Screenshots.h"
#include "common/TestMain.h"
#include "screens/WrittenLines.h"
#include "screens/ScreenRig.h"
#include "screens/TranscriptListModel.h"
#include "ui/logging/TranscriptListView.h"
#include "ui/logging/TranscriptPaneView.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr QSize kPaneSize(500, 600);
constexpr int kComposerHeight = 88;

using screen_test::WrittenLines;

// Stands in for the composer: a block of its height in the surface colour.
class ComposerStandIn final : public QWidget {
public:
    ComposerStandIn() { setFixedHeight(kComposerHeight); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Theme::surface.current());
        painter.setPen(Theme::muted.current());
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("composer"));
    }
};

struct Said {
    const char* speaker;
    int channel;
    const char* text;
};

constexpr Said kShoot[] = {
    {"Presenter", 0, "So when did you first realise something was wrong with the boat?"},
    {"Guest", 1, "Honestly, not until the second winter. We'd stopped going out by then."},
    {"Presenter", 0, "What changed?"},
    {"Guest", 1, "The price of diesel, then the quota. Then my brother sold his share."},
    {"Kitchen", 2, "If you sell that boat I am never speaking to you again, I mean it."},
    {"Boom", 3, "Can we go again from the top of that, there was a plane."},
    {"Guest", 1, "My dad fixed nets on this exact step. You can still see where the rope wore the stone."},
    {nullptr, -1, "Rolling. Speed. Mark it."},
    {"Presenter", 0, "Do you think you'll be the last one to fish from here?"},
    {"Guest", 1, "Probably. Nobody's coming after me. The kids have all gone to the city."},
    {"Presenter", 0, "If you could keep one thing from all of this, what would it be?"},
    {"Guest", 1, "The mornings. Four o'clock, flat water, nobody else awake."},
};

} // namespace

// Pictures of the transcript pane for a person to look at. Runs only when PINDLE_SCREENSHOTS
// names a folder to write them to.
class TranscriptScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
        QStandardPaths::setTestModeEnabled(true);
    }

    void cleanup() { screenshots::setDark(false); }

    void transcriptPane_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void transcriptPane()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        QCoreApplication::processEvents();
        const QString suffix = dark ? QStringLiteral("-dark") : QString();

        screen_test::RigParts parts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 100);
        std::shared_ptr<WrittenLines> stream;
        LoggingScreenEnvironment env = parts.environment(false);
        env.transcriber.makeStream = [&stream](const StreamRequest& request) {
            stream = std::make_shared<WrittenLines>(request.channel);
            return stream;
        };
        LoggingScreenModel screen(std::move(env));
        screen.appear();
        TranscriptPaneModel pane(screen);
        TranscriptListModel rows(pane);

        QWidget window;
        setPaletteColour(&window, QPalette::Window, Theme::background.current());
        window.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new TranscriptPaneView(&rows);
        layout->addWidget(view);
        QObject::connect(&pane, &TranscriptPaneModel::stateChanged, view, [&] { view->setState(pane.state()); });
        view->setState(pane.state());
        QObject::connect(view, &TranscriptPaneView::hoverChanged, &pane, &TranscriptPaneModel::setHover);
        QObject::connect(view, &TranscriptPaneView::hoverLeft, &pane, &TranscriptPaneModel::leaveHover);
        ComposerStandIn composer;
        view->setComposer(&composer);
        window.resize(kPaneSize);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        save(&window, QStringLiteral("transcript-empty%1.png").arg(suffix));

        screen.transcriber().start();
        int n = 0;
        for (const Said& said : kShoot) {
            DisplaySegment line;
            line.id = QStringLiteral("L%1").arg(n);
            line.text = QString::fromUtf8(said.text);
            line.speaker = said.speaker ? std::optional(QString::fromLatin1(said.speaker)) : std::nullopt;
            line.channel = said.channel;
            line.startSecs = 3.2 * ++n;
            line.endSecs = line.startSecs + 2.5;
            line.firstSeen = parts.clock.now();
            stream->put(line);
        }
        const auto entry = [&](const QString& lineID, const QString& quote) {
            LogEntry logged;
            logged.id = QUuid::createUuid();
            logged.type = QStringLiteral("moment");
            logged.highlight = quote;
            logged.lineID = lineID;
            screen.log().appendEntry(logged);
        };
        entry(QStringLiteral("L3"), QStringLiteral("The price of diesel, then the quota."));
        entry(QStringLiteral("L5"), QString::fromUtf8(kShoot[5].text));
        screen.onKeywordHit(2, QStringLiteral("boat"), *screen.segment(QStringLiteral("L4")));
        screen.selectLine(QStringLiteral("L8"));
        for (int more = 0; more < 2; ++more) {
            DisplaySegment line;
            line.id = QStringLiteral("late%1").arg(more);
            line.text = QStringLiteral("A line that came while the composer was open.");
            line.channel = 1;
            line.speaker = QStringLiteral("Guest");
            line.startSecs = 3.2 * ++n;
            line.endSecs = line.startSecs + 2;
            stream->put(line);
        }
        view->listView()->scrollTo(rows.index(*rows.rowOf(QStringLiteral("L8"))), QAbstractItemView::PositionAtBottom);
        QWidget* viewport = view->listView()->viewport();
        const QRect hovered = view->listView()->visualRect(rows.index(*rows.rowOf(QStringLiteral("L6"))));
        QTest::mouseMove(viewport, hovered.center() - QPoint(0, 2));
        QTest::mouseMove(viewport, hovered.center());
        save(&window, QStringLiteral("transcript%1.png").arg(suffix));

        screen.cancelComposer();
        screen.scrollTo(QStringLiteral("L2"));
        save(&window, QStringLiteral("transcript-jump%1.png").arg(suffix));
        screen.transcriber().stop();
    }

private:
    void save(QWidget* widget, const QString& name) { QVERIFY(screenshots::save(widget, m_folder, name)); }

    QString m_folder;
};

PINDLE_TEST(TranscriptScreenshotTest)
#include "TranscriptScreenshotTest.moc"
