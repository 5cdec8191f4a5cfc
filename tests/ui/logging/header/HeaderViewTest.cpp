#include "common/TestMain.h"
#include "screens/ScreenRig.h"

#include "ui/logging/header/BrandBlock.h"
#include "ui/logging/header/HeaderPillButton.h"
#include "ui/logging/header/HeaderView.h"
#include "ui/logging/header/StatusBanner.h"
#include "ui/theme/FrameClock.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPointer>

namespace {

using Kind = ToolbarPill::Kind;

// The header on a demo screen with no service behind it; the inputs are one with "&" in its name.
struct ViewRig : screen_test::RigParts {
    ViewRig() : RigParts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000)
    {
        LoggingScreenEnvironment env = environment(true);
        AudioInputDevice desk;
        desk.uid = QStringLiteral("desk");
        desk.id = AudioDevices::idForUid(desk.uid);
        desk.name = QStringLiteral("Bits & <b>Bobs</b>");
        desk.channelNames = QStringList{QString()};
        desk.isDefault = true;
        devices.setSimulatedDevices(QList<AudioInputDevice>{desk});
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        view = std::make_unique<HeaderView>(*screen, nullptr, &frames);
        view->resize(1300, view->sizeHint().height());
        view->show();
    }
    QStringList openMenu(HeaderPillButton* pill)
    {
        QTest::mouseClick(pill, Qt::LeftButton);
        QStringList texts;
        for (const QAction* action : pill->menu()->actions())
            texts << (action->isSeparator() ? QStringLiteral("--") : action->text());
        return texts;
    }
    QAction* action(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

    FrameClock frames{&clock};
    std::unique_ptr<LoggingScreenModel> screen;
    std::unique_ptr<HeaderView> view;
};

} // namespace

// The header through its real widgets: pills open the sheets, compact pills keep their titles as
// help, menus show their rows as written and act, Start/Stop and the banners follow the screen.
class HeaderViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void pillsOpenSheets_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::newRow("search") << int(Kind::Search) << "Search";
        QTest::newRow("buttons") << int(Kind::Buttons) << "Buttons";
        QTest::newRow("alerts") << int(Kind::Alerts) << "Alerts";
    }
    void pillsOpenSheets()
    {
        QFETCH(int, kind);
        ViewRig r;
        HeaderPillButton* pill = r.view->pill(Kind(kind));
        QTEST(pill->accessibleName(), "title");
        QTest::mouseClick(pill, Qt::LeftButton);
        const LoggingScreenModel& screen = *r.screen;
        const bool shown[] = {screen.showSearch(), screen.showButtons(), screen.showKeywords()};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(shown[i], i == kind);
    }

    // Compact pills show the symbol alone and narrower, the title still their help over the
    // symbol; the menus and Start/Stop keep their width.
    void compactPills()
    {
        ViewRig r;
        HeaderPillButton* search = r.view->pill(Kind::Search);
        const int full = search->sizeHint().width();
        const int startStop = r.view->startStopButton()->sizeHint().width();
        const int sessions = r.view->sessionsButton()->sizeHint().width();
        r.screen->setCompactHeader(true);
        for (const Kind kind : {Kind::Search, Kind::Buttons, Kind::Alerts, Kind::Layout})
            QVERIFY(r.view->pill(kind)->isCompact());
        QVERIFY(search->sizeHint().width() < full / 2);
        QCOMPARE(search->helpAt(search->contentRect().center().toPoint()), QStringLiteral("Search"));
        QCOMPARE(search->helpAt(QPoint(1, search->height() / 2)), r.view->model().pills().at(0).help);
        QCOMPARE(r.view->startStopButton()->sizeHint().width(), startStop);
        QCOMPARE(r.view->sessionsButton()->sizeHint().width(), sessions);
        r.screen->setCompactHeader(false);
        QCOMPARE(search->sizeHint().width(), full);
    }

    // Rows read as written with "&" doubled for the menu; choosing one acts; the help of the
    // Input pill names the chosen input as written.
    void menus()
    {
        ViewRig r;
        QCOMPARE(r.view->inputButton()->help(), QStringLiteral("Listening to Bits & <b>Bobs</b>"));
        const QStringList input = r.openMenu(r.view->inputButton());
        QCOMPARE(input.mid(0, 3), (QStringList{"Listen to", "System default  ✓", "Bits && <b>Bobs</b>  ·  1 ch"}));
        QVERIFY(!r.view->inputMenu()->actions().at(0)->isEnabled());
        r.action(r.view->inputMenu(), input.at(2))->trigger();
        QCOMPARE(r.screen->transcriber().deviceUID(), std::optional(QStringLiteral("desk")));
        QTRY_COMPARE(r.view->inputMenu()->actions().at(2)->text(), QStringLiteral("Bits && <b>Bobs</b>  ·  1 ch  ✓"));
        r.view->inputMenu()->hide();

        const QStringList sessions = r.openMenu(r.view->sessionsButton());
        QCOMPARE(sessions, (QStringList{HeaderModel::kWrapTitle, "--", HeaderModel::kNewSessionTitle}));
        QVERIFY(!r.view->sessionsMenu()->actions().at(0)->isEnabled());
        r.view->sessionsMenu()->hide();

        const QStringList layout = r.openMenu(r.view->pill(Kind::Layout));
        QCOMPARE(layout.first(), QStringLiteral("Mixer"));
        QAction* under = r.action(r.view->layoutMenu(), QStringLiteral("Under the log"));
        QAction* beside = r.action(r.view->layoutMenu(), QStringLiteral("By the channels"));
        QVERIFY(under->isCheckable() && !under->isChecked() && beside->isChecked());
        under->trigger();
        QCOMPARE(r.screen->agentPlace(), QStringLiteral("log"));
        QVERIFY(!beside->isChecked());
        QAction* mixer = r.action(r.view->layoutMenu(), QStringLiteral("Mixer"));
        mixer->trigger();
        QVERIFY(!r.screen->showMixer());
    }

    void startStopFollowsRunning()
    {
        ViewRig r;
        HeaderPillButton* button = r.view->startStopButton();
        QCOMPARE(button->title(), HeaderModel::kStartTitle);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(r.screen->transcriber().running());
        QCOMPARE(button->title(), HeaderModel::kStopTitle);
        QCOMPARE(button->dot(), HeaderPillButton::Dot::Lit);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->title(), HeaderModel::kStartTitle);
        QCOMPARE(button->dot(), HeaderPillButton::Dot::Unlit);
    }

    // The notice shows as written, its cross clears it and the banner fades away; a later
    // notice shows again.
    void noticeBanner()
    {
        ViewRig r;
        StatusBanner* banner = r.view->noticeBanner();
        QVERIFY(banner->isHidden() && r.view->syncBanner()->isHidden());
        const QString text = QStringLiteral("Lost & <b>found</b>");
        r.screen->transcriber().setNotice(text);
        QVERIFY(banner->isVisible());
        QCOMPARE(banner->shownText(), text);
        r.clock.advance(std::chrono::milliseconds(500));
        QCOMPARE(banner->opacity(), 1.0);
        QTest::mouseClick(banner->dismissButton(), Qt::LeftButton);
        QVERIFY(!r.screen->transcriber().notice());
        QVERIFY(banner->isVisible());
        r.clock.advance(std::chrono::milliseconds(500));
        QVERIFY(banner->isHidden());
        r.screen->transcriber().setNotice(text);
        QVERIFY(banner->isVisible() && banner->message() == text);
    }

    // An open Sessions menu follows each save in place: the row under the pointer stays the same
    // row, still highlighted, and reads its new count.
    void openSessionsMenuFollowsInPlace()
    {
        ViewRig r;
        const LogButton moment = screen_test::Rig::button(QStringLiteral("moment"), 5);
        r.screen->tapEntry(moment, r.clock.now(), r.clock.now(), {});
        r.openMenu(r.view->sessionsButton());
        QMenu* menu = r.view->sessionsMenu();
        QTRY_VERIFY(menu->isVisible());
        const QPointer<QAction> open = menu->actions().constLast();
        QVERIFY(open->text().endsWith(QStringLiteral("1 markers  ✓")));
        menu->setActiveAction(open);
        const QList<QAction*> rows = menu->actions();

        r.screen->tapEntry(moment, r.clock.now(), r.clock.now(), {});
        QTRY_VERIFY(open && open->text().endsWith(QStringLiteral("2 markers  ✓")));
        QCOMPARE(menu->actions(), rows);
        QCOMPARE(menu->activeAction(), open.data());

        // A newer log comes in at the top; the highlighted row stays.
        LogSession newer{QUuid::createUuid(), r.clock.now().addingSeconds(60), {}, std::nullopt, QList<LogLine>{}};
        newer.transcript->append(LogLine{QStringLiteral("1-a"), std::nullopt, QStringLiteral("hello"), {}, 0});
        r.screen->sessions().upsert(newer);
        QTRY_COMPARE(menu->actions().size(), rows.size() + 1);
        QCOMPARE(menu->actions().constLast(), open.data());
        QCOMPARE(menu->activeAction(), open.data());
        menu->hide();
    }

    // The Export menu's and the timecode panel's places take room only while filled.
    void slots()
    {
        ViewRig r;
        for (QWidget* slot : {r.view->exportSlot(), r.view->timecodeSlot()}) {
            QVERIFY(slot->isHidden());
            auto* item = new QLabel(QStringLiteral("item"));
            slot->layout()->addWidget(item);
            QTRY_VERIFY(slot->isVisible() && item->isVisible());
            delete item;
            QTRY_VERIFY(slot->isHidden());
        }
    }
};

PINDLE_TEST(HeaderViewTest)

#include "HeaderViewTest.moc"
