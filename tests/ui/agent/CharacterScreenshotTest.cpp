#include "common/Screenshots.h"
#include "common/TestMain.h"

#include "agent/PindleCharacter.h"
#include "platform/ManualClock.h"
#include "ui/agent/PindleCharacterView.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

// Pictures of Mark for a person to look at: several faces and states at the panel's size and
// large (with room above and to the right for the thought bubble), light and dark. Runs only
// when PINDLE_SCREENSHOTS names a folder to write them to.
class CharacterScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }
    void cleanup() { screenshots::setDark(false); }

    void character_data()
    {
        QTest::addColumn<QString>("pose");
        QTest::addColumn<bool>("large");
        QTest::addColumn<bool>("dark");
        for (const bool dark : {false, true}) {
            for (const bool large : {false, true}) {
                for (const char* pose : {"neutral", "happy", "thinking", "worried", "blink", "dragged"})
                    QTest::addRow("%s-%s-%s", pose, large ? "large" : "panel", dark ? "dark" : "light")
                        << QString::fromLatin1(pose) << large << dark;
            }
        }
    }
    void character()
    {
        QFETCH(QString, pose);
        QFETCH(bool, large);
        QFETCH(bool, dark);
        screenshots::setDark(dark);

        ManualClock clock;
        FrameClock frames(&clock);
        PindleCharacter mark;
        QWidget host;
        setPaletteColour(&host, QPalette::Window, Theme::background.current());
        host.setAutoFillBackground(true);
        auto* view = new PindleCharacterView(mark, frames, &host, &clock);
        if (large) {
            host.resize(380, 420);
            view->setGeometry(host.rect());
            view->setTarget(QRectF(0, 110, 300, 300));
        } else {
            host.resize(PindleCharacterView::kPanelSize);
            view->setGeometry(host.rect());
        }
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        clock.advance(500ms);
        view->repaint();

        const QPoint middle = view->lastBodyPath().boundingRect().center().toPoint();
        if (pose == u"happy") {
            QTest::mouseClick(view, Qt::LeftButton, {}, middle + QPoint(0, -10));
            clock.advance(400ms);
        } else if (pose == u"thinking") {
            mark.setAgentState(PindleAgentState::Thinking);
            clock.advance(1500ms);
        } else if (pose == u"worried") {
            mark.setAgentState(PindleAgentState::Error);
            clock.advance(1500ms);
        } else if (pose == u"blink") {
            mark.state().blinkL.x = mark.state().blinkR.x = 0.85;
        } else if (pose == u"dragged") {
            QTest::mousePress(view, Qt::LeftButton, {}, middle);
            for (int i = 1; i <= 6; ++i) {
                clock.advance(16ms);
                QTest::mouseMove(view, middle + QPoint(5 * i, 2 * i));
            }
            clock.advance(48ms);
        }
        QVERIFY(screenshots::saveScaled(&host, m_folder,
                                        u"character-%1"_s.arg(QString::fromLatin1(QTest::currentDataTag()))));
        if (pose == u"dragged")
            QTest::mouseRelease(view, Qt::LeftButton, {}, middle + QPoint(30, 12));
    }

private:
    QString m_folder;
};

PINDLE_TEST(CharacterScreenshotTest)

#include "CharacterScreenshotTest.moc"
