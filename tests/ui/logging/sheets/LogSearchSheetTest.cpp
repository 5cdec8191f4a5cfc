#include "common/TestMain.h"
#include "screens/ScreenRig.h"
#include "standin/StandinTestSupport.h"

#include "ui/logging/sheets/LogSearchSheet.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>

using screen_test::Rig;

// Takes the links the sheet opens, in place of the browser.
class OpenedLinks : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }
};

namespace {

// A demo screen with eight lines and one entry, under a search sheet over a window.
struct SheetRig {
    explicit SheetRig(const QUrl& base, const QString& cookie) : rig(base, cookie, true)
    {
        rig.screen->toggleLogging();
        LogEntry mark = screen_test::earmark(QStringLiteral("10:00:00:00"));
        mark.highlight = QStringLiteral("the boat is sold");
        mark.lineID = QStringLiteral("1-D2");
        rig.screen->log().appendEntry(mark);
        window.show();
        sheet = new LogSearchSheet(LogSearchModel::Sources::of(*rig.screen, rig.service), &window);
        sheet->open();
    }
    QModelIndex row(int n) const { return sheet->hitList()->model()->index(n, 0); }
    void click(int n) const
    {
        QListView* list = sheet->hitList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row(n)).center());
    }
    QAbstractButton* link(int card, const QString& name) const
    {
        for (auto* button : sheet->cloudCards().value(card)->findChildren<QAbstractButton*>())
            if (button->text() == name)
                return button;
        return nullptr;
    }

    Rig rig;
    QWidget window;
    QPointer<LogSearchSheet> sheet;
};

// Written lines, with a speaker, without one and with an empty one; two entries, one summarised
// and one a marker kept with no lines and only a note.
struct ReadRig {
    ReadRig(const QUrl& base, const QString& cookie) : rig(base, cookie, true)
    {
        rig.put(QStringLiteral("w1"), QStringLiteral("Nets on the step"), 1, 2, QStringLiteral("Bob"));
        rig.put(QStringLiteral("w2"), QStringLiteral("Rolling, speed"), 3, 4);
        rig.put(QStringLiteral("w3"), QStringLiteral("Slow pan left"), 5, 6, QString());
        LogEntry summed = screen_test::earmark(QStringLiteral("10:00:01:00"));
        summed.speaker = QStringLiteral("Ada");
        summed.highlight = QStringLiteral("we sail at dawn");
        summed.summary = QStringLiteral("Boat leaves the harbour");
        rig.screen->log().appendEntry(summed);
        LogEntry bare = screen_test::earmark(QStringLiteral("10:00:02:00"));
        bare.note = QStringLiteral("tail slate");
        rig.screen->log().appendEntry(bare);
        window.show();
        sheet = new LogSearchSheet(LogSearchModel::Sources::of(*rig.screen, rig.service), &window);
        sheet->open();
    }

    screen_test::WrittenRig rig;
    QWidget window;
    QPointer<LogSearchSheet> sheet;
};

} // namespace

// The search sheet through its widgets: this log found as typed and jumped to by a click; the
// service's search on Return or "Search", its cards copying lines and opening shoots.
class LogSearchSheetTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    void answerNext(const QByteArray& body, int delayMs = 0)
    {
        m_standin->control(QStringLiteral("fault"), {{"path", "/api/velko/ai-search"},
                                                     {"kind", "answer"},
                                                     {"status", 200},
                                                     {"delay_ms", delayMs},
                                                     {"body", QString::fromUtf8(body)}});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(standin_test::kAda);
    }

    void cleanup() { m_standin->control(QStringLiteral("clear")); }

    // A click on a hit jumps the screen to it, entry or line, and closes the sheet.
    void clickJumps_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("selects");
        QTest::addColumn<QString>("line");
        QTest::newRow("entry") << 0 << true << "1-D2";
        QTest::newRow("line") << 2 << false << "2-D5";
    }
    void clickJumps()
    {
        QFETCH(int, row);
        QFETCH(bool, selects);
        QFETCH(QString, line);
        SheetRig r(m_standin->baseUrl(), m_cookie);
        QVERIFY(r.rig.playLines(8));
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        QCOMPARE(r.sheet->size(), QSize(600, 520));
        QCOMPARE(QApplication::focusWidget(), r.sheet->field());
        QTest::keyClicks(r.sheet->field(), QStringLiteral("BOAT"));
        QCOMPARE(r.sheet->hitList()->model()->rowCount(), 4);
        QVERIFY(r.row(0).data(LogSearchRows::FromEntryRole).toBool());
        QCOMPARE(r.row(0).data(LogSearchRows::HitRole).value<LogSearchHit>().text, QStringLiteral("the boat is sold"));

        // Return in this log neither closes nor jumps.
        QSignalSpy finished(r.sheet.data(), &QDialog::finished);
        QTest::keyClick(r.sheet->field(), Qt::Key_Return);
        QCOMPARE(finished.count(), 0);
        QVERIFY(!r.rig.screen->scrollTarget() && !r.rig.screen->selectedEntry());

        const std::optional<QUuid> entry = r.row(row).data(LogSearchRows::HitRole).value<LogSearchHit>().entryID;
        r.click(row);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(r.rig.screen->scrollTarget(), std::optional(line));
        QCOMPARE(r.rig.screen->selectedEntry(), selects ? entry : std::nullopt);
        QTRY_VERIFY(!r.sheet);
    }

    // A hit reads what its row shows: the timecode, the speaker when there is one, "SELECT" for
    // an entry, and the text when there is one. A marker with only a note still reads its header.
    void rowsReadWhatTheyShow_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("read");
        QTest::newRow("entry with a summary")
            << "harbour" << QString() << "10:00:01:00, Ada, SELECT, Boat leaves the harbour";
        QTest::newRow("entry found by its note only") << "SLATE" << QString() << "10:00:02:00, SELECT";
        QTest::newRow("line with a speaker") << "nets"
                                             << "w1"
                                             << "%1, Bob, Nets on the step";
        QTest::newRow("line without a speaker") << "rolling"
                                                << "w2"
                                                << "%1, Rolling, speed";
        QTest::newRow("line with an empty speaker") << "pan"
                                                    << "w3"
                                                    << "%1, Slow pan left";
    }
    void rowsReadWhatTheyShow()
    {
        QFETCH(QString, query);
        QFETCH(QString, line);
        QFETCH(QString, read);
        ReadRig r(m_standin->baseUrl(), m_cookie);
        QVERIFY(r.rig.play(3));
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        if (!line.isEmpty())
            read = read.arg(r.rig.screen->lineTimecode(*r.rig.screen->segment(line)));
        QTest::keyClicks(r.sheet->field(), query);
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(r.sheet->hitList());
        QCOMPARE(list->childCount(), 1);
        QCOMPARE(list->child(0)->text(QAccessible::Name), read);
    }

    // Return or Enter in the field asks the service across shoots only: in this log it sends
    // nothing, and the sheet stays open on its hits without jumping.
    void returnKey_data()
    {
        QTest::addColumn<int>("scope");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("requests");
        QTest::newRow("this log, Return") << 0 << int(Qt::Key_Return) << 0;
        QTest::newRow("this log, Enter") << 0 << int(Qt::Key_Enter) << 0;
        QTest::newRow("all my shoots, Return") << 1 << int(Qt::Key_Return) << 1;
        QTest::newRow("all my shoots, Enter") << 1 << int(Qt::Key_Enter) << 1;
    }
    void returnKey()
    {
        QFETCH(int, scope);
        QFETCH(int, key);
        QFETCH(int, requests);
        SheetRig r(m_standin->baseUrl(), m_cookie);
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        const auto searches = [this] {
            return standin_test::logged(m_standin->state(), "GET /api/velko/ai-search")["count"].toInt();
        };
        const int before = searches();
        if (scope == 1)
            QTest::mouseClick(r.sheet->scopeButton(1), Qt::LeftButton);
        // Long enough for either search: only the scope may hold the request back.
        QTest::keyClicks(r.sheet->field(), QStringLiteral("boat"));
        QSignalSpy finished(r.sheet.data(), &QDialog::finished);
        QTest::keyClick(r.sheet->field(), Qt::Key(key));
        // A search is under way from the moment it is asked for.
        QCOMPARE(r.sheet->model().searching(), requests > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!r.sheet->model().searching(), screen_test::kWaitMs);
        QCOMPARE(searches(), before + requests);
        QCOMPARE(finished.count(), 0);
        QVERIFY(!r.rig.screen->scrollTarget() && !r.rig.screen->selectedEntry());
        QCOMPARE(r.sheet->field()->text(), QStringLiteral("boat"));
    }

    // "Nothing in this log." follows the query as typed; a short trimmed query finds nothing.
    void nothingFound_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("nothing");
        QTest::newRow("one character") << "a" << false;
        QTest::newRow("two typed, one trimmed") << " a" << true;
        QTest::newRow("no match") << "zz" << true;
        QTest::newRow("a match") << "boat" << false;
    }
    void nothingFound()
    {
        QFETCH(QString, typed);
        QFETCH(bool, nothing);
        SheetRig r(m_standin->baseUrl(), m_cookie);
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        r.sheet->field()->setText(typed);
        QCOMPARE(r.sheet->nothingLabel()->isVisible(), nothing);
        QCOMPARE(r.sheet->hitList()->isVisible(), !nothing);
    }

    // The scope changes the prompt and the search row and keeps the query, hits and problem;
    // Return searches only across shoots, and the button says so while it runs.
    void scopes()
    {
        SheetRig r(m_standin->baseUrl(), m_cookie);
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        QCOMPARE(r.sheet->field()->placeholderText(), QString::fromLatin1(LogSearchSheet::kThisLogPrompt));
        QVERIFY(!r.sheet->searchButton()->isVisible());
        QTest::keyClicks(r.sheet->field(), QStringLiteral("ab"));
        QTest::mouseClick(r.sheet->scopeButton(1), Qt::LeftButton);
        QCOMPARE(r.sheet->field()->placeholderText(), QString::fromLatin1(LogSearchSheet::kAllShootsPrompt));
        QCOMPARE(r.sheet->field()->text(), QStringLiteral("ab"));
        QVERIFY(r.sheet->searchButton()->isVisible() && !r.sheet->searchButton()->isEnabled());

        QTest::keyClicks(r.sheet->field(), QStringLiteral("c"));
        QVERIFY(r.sheet->searchButton()->isEnabled());
        answerNext(standin_test::json({{"results", QJsonArray{QJsonObject{{"text", "x"}}}}}), 400);
        QTest::keyClick(r.sheet->field(), Qt::Key_Return);
        QCOMPARE(r.sheet->searchButton()->text(), QStringLiteral("Searching…"));
        QVERIFY(!r.sheet->searchButton()->isEnabled());
        QTRY_COMPARE(r.sheet->searchButton()->text(), QStringLiteral("Search"));
        QCOMPARE(r.sheet->cloudCards().size(), 1);

        answerNext("{\"results\":[]}");
        QTest::mouseClick(r.sheet->searchButton(), Qt::LeftButton);
        QTRY_COMPARE(r.sheet->problemLabel()->text(), QString::fromLatin1(LogSearchModel::kNoCloudHits));
        QVERIFY(r.sheet->problemLabel()->isVisible() && r.sheet->cloudCards().isEmpty());

        QTest::mouseClick(r.sheet->scopeButton(0), Qt::LeftButton);
        QVERIFY(!r.sheet->searchButton()->isVisible() && r.sheet->nothingLabel()->isVisible());
        QTest::mouseClick(r.sheet->scopeButton(1), Qt::LeftButton);
        QCOMPARE(r.sheet->problemLabel()->text(), QString::fromLatin1(LogSearchModel::kNoCloudHits));
        QCOMPARE(r.sheet->field()->text(), QStringLiteral("abc"));

        QSignalSpy finished(r.sheet.data(), &QDialog::finished);
        QTest::keyClick(r.sheet->field(), Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
    }

    // A card shows its shoot, line and reason; its links copy the line exactly and open the
    // shoot's page, and the sheet stays open.
    void cards_data()
    {
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QString>("copied");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<bool>("why");
        QTest::newRow("whole") << QByteArray(
                                      "{\"title\":\"Harbour\",\"share_token\":\"ab c/ü\",\"timecode\":\"10:00:01:00\","
                                      "\"speaker\":\"Ada\",\"text\":\"The quota.\",\"why\":\"Mentions it.\"}")
                               << "10:00:01:00  Ada: The quota."
                               << "/open/ab%20c/%C3%BC" << true;
        QTest::newRow("no speaker, title or reason")
            << QByteArray("{\"share_token\":\"t1\",\"timecode\":\"10:00:02:00\",\"text\":\"Cut.\",\"why\":\"\"}")
            << "10:00:02:00  : Cut."
            << "/open/t1" << false;
    }
    void cards()
    {
        QFETCH(QByteArray, result);
        QFETCH(QString, copied);
        QFETCH(QString, opened);
        QFETCH(bool, why);
        SheetRig r(m_standin->baseUrl(), m_cookie);
        OpenedLinks links;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &links, "open");
        // Also when a check fails first: the next row must not find this row's handler.
        const auto unsetHandler = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); });
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        QTest::mouseClick(r.sheet->scopeButton(1), Qt::LeftButton);
        QTest::keyClicks(r.sheet->field(), QStringLiteral("quota"));
        answerNext("{\"results\":[" + result + "]}");
        QTest::keyClick(r.sheet->field(), Qt::Key_Return);
        QTRY_COMPARE(r.sheet->cloudCards().size(), 1);

        // On screen as soon as it is listed, not a turn of the event loop later.
        QWidget* card = r.sheet->cloudCards().at(0);
        QVERIFY(card->isVisible());
        QStringList shown;
        for (QLabel* label : card->findChildren<QLabel*>())
            if (label->isVisible())
                shown.append(label->text());
        QCOMPARE(shown.contains(QStringLiteral("Untitled shoot")), !result.contains("title"));
        QCOMPARE(shown.contains(QStringLiteral("Mentions it.")), why);
        QCOMPARE(shown.size(), why ? 5 : 3);

        QTest::mouseClick(r.link(0, QStringLiteral("Copy line and timecode")), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        QTest::mouseClick(r.link(0, QStringLiteral("Open the shoot")), Qt::LeftButton);
        QCOMPARE(links.urls, QList<QUrl>{QUrl(m_standin->baseUrl().toString() + opened)});
        QVERIFY(r.sheet->isVisible());
    }
};

PINDLE_TEST(LogSearchSheetTest)
#include "LogSearchSheetTest.moc"
