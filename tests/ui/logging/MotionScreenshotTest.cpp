#include "common/Screenshots.h"
#include "common/TestMain.h"
#include "platform/MotionPreference.h"
#include "screens/LogEntryListModel.h"
#include "screens/ScreenRig.h"
#include "screens/TranscriptListModel.h"
#include "screens/WrittenLines.h"
#include "ui/logging/ComposerView.h"
#include "ui/logging/LogPaneView.h"
#include "ui/logging/TranscriptListView.h"
#include "ui/logging/TranscriptPaneView.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QListView>
#include <QScrollBar>
#include <QVBoxLayout>

using namespace std::chrono_literals;
using screen_test::Rig;

namespace {

const QStringList kSaid{
    QStringLiteral("We lose the light in ten minutes, so this is the last one."),
    QStringLiteral("Rolling, speed, mark it."),
    QStringLiteral("Back to one, please."),
    QStringLiteral("The boat is out past the harbour wall."),
};

// A screen on a page in the window colour, as the logging screen places its panes.
QWidget* page(QWidget* content, QSize size)
{
    auto* screen = new QWidget;
    setPaletteColour(screen, QPalette::Window, Theme::background.current());
    screen->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(screen);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    screen->resize(size);
    return screen;
}

} // namespace

// Pictures of the log pane and the transcript caught in the middle of their motions. Runs only
// when PINDLE_SCREENSHOTS names a folder to write them to.
class MotionScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    // A row coming in, the flash fading over the selection, and a row leaving.
    void logRows_data() { screenshots::addAppearances(); }
    void logRows()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();
        Rig rig(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), true);
        MotionPreference motion;
        FrameClock frames(&rig.clock, &motion);
        LogEntryListModel rows(rig.screen->logPane());
        auto* pane = new LogPaneView(&rows, nullptr, &frames);
        const std::unique_ptr<QWidget> screen(page(pane, QSize(900, 320)));
        screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
        const auto press = [&](int i, const QString& kind) {
            rig.screen->tapButton(Rig::button(kind, 10));
            LogEntry entry = rig.screen->log().entries().constLast();
            entry.highlight = kSaid.at(i % kSaid.size());
            entry.speaker = i % 2 ? QStringLiteral("Ada") : QStringLiteral("Ben");
            rig.screen->log().replaceEntry(entry);
            QCoreApplication::processEvents();
        };
        const auto run = [&](std::chrono::milliseconds time) {
            for (auto t = 0ms; t < time; t += FrameClock::kInterval)
                rig.clock.advance(FrameClock::kInterval);
        };
        press(0, QStringLiteral("great"));
        press(1, QStringLiteral("funny"));
        run(3s);
        press(2, QStringLiteral("earmark"));
        run(64ms);
        QVERIFY(screenshots::save(screen.get(), m_folder,
                                  QStringLiteral("motion-log-row-entering-64ms") + suffix + ".png"));
        run(96ms);
        QVERIFY(screenshots::save(screen.get(), m_folder,
                                  QStringLiteral("motion-log-row-entering-160ms") + suffix + ".png"));
        run(500ms);
        QVERIFY(screenshots::save(screen.get(), m_folder,
                                  QStringLiteral("motion-log-flash-fading-660ms") + suffix + ".png"));
        run(3s);
        QVERIFY(screenshots::save(screen.get(), m_folder, QStringLiteral("motion-log-at-rest") + suffix + ".png"));
        rig.screen->logPane().deleteEntry(rig.screen->log().entries().at(1).id);
        run(112ms);
        QVERIFY(screenshots::save(screen.get(), m_folder,
                                  QStringLiteral("motion-log-row-leaving-112ms") + suffix + ".png"));
        run(3s);
    }

    // The composer coming down under its line, the SELECTED badge growing in, and the banner
    // fading in over the held rows.
    void transcript_data() { screenshots::addAppearances(); }
    void transcript()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();
        screen_test::RigParts parts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 100);
        std::shared_ptr<screen_test::WrittenLines> stream;
        LoggingScreenEnvironment env = parts.environment(false);
        env.transcriber.makeStream = [&stream](const StreamRequest& request) {
            stream = std::make_shared<screen_test::WrittenLines>(request.channel);
            return stream;
        };
        LoggingScreenModel screenModel(std::move(env));
        screenModel.appear();
        TranscriptPaneModel paneModel(screenModel);
        TranscriptListModel rows(paneModel);
        MotionPreference motion;
        ManualClock frameTime;
        FrameClock frames(&frameTime, &motion);
        auto* view = new TranscriptPaneView(&rows, nullptr, &frames);
        QObject::connect(&paneModel, &TranscriptPaneModel::stateChanged, view,
                         [&] { view->setState(paneModel.state()); });
        view->setState(paneModel.state());
        auto* composer = new ComposerView;
        view->setComposer(composer);
        QObject::connect(&screenModel, &LoggingScreenModel::composerChanged, composer, [&] {
            composer->setContent(
                {screenModel.draftNote(), screenModel.buttons().visible(), screenModel.composerKind(), false});
        });
        const std::unique_ptr<QWidget> screen(page(view, QSize(520, 560)));
        screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
        const auto run = [&](std::chrono::milliseconds time) {
            for (auto t = 0ms; t < time; t += FrameClock::kInterval)
                frameTime.advance(FrameClock::kInterval);
        };
        const auto put = [&](int from, int count) {
            for (int n = from; n < from + count; ++n) {
                DisplaySegment line;
                line.id = QStringLiteral("L%1").arg(n);
                line.text = kSaid.at(n % kSaid.size());
                line.startSecs = n * 4 + 1;
                line.endSecs = n * 4 + 3;
                line.speaker = n % 2 ? QStringLiteral("Ada") : QStringLiteral("Ben");
                line.channel = n % 2;
                line.firstSeen = parts.clock.now();
                stream->put(line);
            }
            QCoreApplication::processEvents();
        };
        screenModel.transcriber().start();
        put(0, 6);
        run(2s);
        screenModel.selectLine(QStringLiteral("L4"));
        QCoreApplication::processEvents();
        run(80ms);
        QVERIFY(screenshots::save(screen.get(), m_folder,
                                  QStringLiteral("motion-composer-entering-80ms") + suffix + ".png"));
        put(6, 2);
        run(96ms);
        QVERIFY(screenshots::save(screen.get(), m_folder, QStringLiteral("motion-banner-fading-in") + suffix + ".png"));
        run(2s);
        screenModel.commitComposer(QStringLiteral("L4"));
        QCoreApplication::processEvents();
        run(64ms);
        QVERIFY(screenshots::save(screen.get(), m_folder,
                                  QStringLiteral("motion-badge-and-composer-leaving-64ms") + suffix + ".png"));
        run(3s);
        QVERIFY(
            screenshots::save(screen.get(), m_folder, QStringLiteral("motion-transcript-at-rest") + suffix + ".png"));
        view->setComposer(nullptr);
        delete composer;
        screenModel.transcriber().stop();
    }

private:
    QString m_folder;
};

PINDLE_TEST(MotionScreenshotTest)
#include "MotionScreenshotTest.moc"
