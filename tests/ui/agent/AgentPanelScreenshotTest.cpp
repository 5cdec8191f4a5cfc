#include "agent/AgentTestSupport.h"
#include "common/Screenshots.h"
#include "common/TestMain.h"

#include "screens/AgentPanelModel.h"
#include "ui/agent/AgentChatView.h"
#include "ui/agent/AgentPanel.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QPainter>
#include <QVBoxLayout>

using namespace agent_test;
using namespace std::chrono_literals;

namespace {

// A coral disc where the character will stand, so the picture shows the column's proportions.
class CharacterStandIn : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::withOpacity(Theme::coral, 0.35));
        painter.drawEllipse(rect().adjusted(8, 8, -8, -8));
    }
};

ChannelAgent::FeedItem item(ChannelAgent::FeedItem::Kind kind, std::optional<int> channel, const QString& payload,
                            const QString& text, const QString& detail, int minute)
{
    ChannelAgent::FeedItem made;
    made.kind = kind;
    made.channel = channel;
    made.payload = payload;
    made.text = text;
    made.detail = detail;
    made.at = Date::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, minute)));
    return made;
}

} // namespace

// Pictures of Mark's panel for a person to look at: the empty state, several bubbles of every
// kind, and the live lines of an opened channel, light and dark. Runs only when
// PINDLE_SCREENSHOTS names a folder to write them to.
class AgentPanelScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }
    void cleanup()
    {
        screenshots::setDark(false);
        QLocale::setDefault(QLocale::system());
    }

    void panel_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("dark");
        for (const bool dark : {false, true}) {
            for (const char* content : {"empty", "bubbles", "live"})
                QTest::addRow("%s-%s", content, dark ? "dark" : "light") << QString::fromLatin1(content) << dark;
        }
    }
    void panel()
    {
        QFETCH(QString, content);
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        using Kind = ChannelAgent::FeedItem::Kind;

        AgentRig rig(4);
        DesktopTranscriber& engine = rig.transcriber();
        engine.renameChannel(0, u"Boom"_s);
        engine.renameChannel(1, u"Lav Kirsty"_s);
        ChannelAgent& agent = *rig.agent;
        AgentPanelModel model(agent, engine, [](std::optional<int>) {});
        if (content != u"empty") {
            rig.run();
            agent.appendFeedItem(item(Kind::Brief, 0, u"same"_s, u"asking why the fishing stopped"_s,
                                      u"Covered by your earlier selects"_s, 2));
            agent.appendFeedItem(item(Kind::Brief, 1, u"new"_s, u"his dad mending nets on the step"_s,
                                      u"Family memory, not in your selects"_s, 4));
            agent.appendFeedItem(item(Kind::Keyword, 2, u"boat"_s, u"\"boat\""_s,
                                      u"We'd have to sell the boat before the second winter, and nobody wants to "
                                      u"say it out loud at the table, not with the kids there listening."_s,
                                      5));
            agent.appendFeedItem(item(Kind::Brief, 3, u"quiet"_s, u"crew chat between takes"_s, {}, 7));
            agent.appendFeedItem(
                item(Kind::Scan, std::nullopt, {}, u"4 channels, 3 with speech"_s, u"Muted Ch 4 silent"_s, 8));
        }
        if (content == u"live") {
            rig.say(1, u"1"_s, u"He'd be down there before four, every morning."_s, 3.0);
            rig.say(1, u"2"_s, u"You don't get used to the cold, you just stop talking about it."_s, 5.0);
            rig.say(1, u"3"_s,
                    u"My dad mended nets on that step for thirty years, and his dad before him, and "
                    u"I thought I'd do the same, I really did."_s,
                    8.0);
            rig.say(1, u"4"_s, u"And then the quota came."_s, 9.0);
            agent.hop();
            agent.setBubble(1);
        }

        FrameClock frames(&rig.clock);
        QWidget host;
        setPaletteColour(&host, QPalette::Window, Theme::background.current());
        setPaletteColour(&host, QPalette::Link, Theme::coral);
        host.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new AgentPanel(model, new CharacterStandIn, &frames);
        layout->addWidget(view);
        host.resize(560, content == u"live" ? 420 : 340);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        for (int i = 0; i < 120 && view->chat()->isMoving(); ++i)
            rig.clock.advance(16ms);
        if (content == u"live")
            view->chat()->scrollToBottom();
        QVERIFY(screenshots::saveScaled(&host, m_folder,
                                        u"agent-panel-%1"_s.arg(QString::fromLatin1(QTest::currentDataTag()))));
    }

private:
    QString m_folder;
};

PINDLE_TEST(AgentPanelScreenshotTest)

#include "AgentPanelScreenshotTest.moc"
