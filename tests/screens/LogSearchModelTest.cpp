#include "common/TestMain.h"
#include "standin/StandinTestSupport.h"

#include "audio/TranscriptBook.h"
#include "model/LoggingLog.h"
#include "platform/Defaults.h"
#include "platform/JsonWriter.h"
#include "platform/ManualClock.h"
#include "screens/LogSearchModel.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "timecode/CameraTimecode.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>

using standin_test::createShoot;
using standin_test::json;

namespace {

using Jump = std::pair<std::optional<QUuid>, std::optional<QString>>;

QUuid entryId(int n)
{
    return QUuid(QStringLiteral("{00000000-0000-0000-0000-%1}").arg(n, 12, 10, QLatin1Char('0')));
}

LogEntry entry(int n, const QString& highlight, const QString& summary, const QString& note, const QStringList& tags,
               const std::optional<QString>& speaker, const std::optional<QString>& lineID)
{
    LogEntry e;
    e.id = entryId(n);
    e.timecode = QStringLiteral("01:00:0%1:00").arg(n);
    e.type = QStringLiteral("earmark");
    e.highlight = highlight;
    e.summary = summary;
    e.note = note;
    e.tags = tags;
    e.speaker = speaker;
    e.lineID = lineID;
    return e;
}

DisplaySegment line(const QString& id, const std::optional<QString>& speaker, const QString& text, double at)
{
    DisplaySegment s;
    s.id = id;
    s.speaker = speaker;
    s.text = text;
    s.startSecs = at;
    s.endSecs = at + 1;
    return s;
}

// A log and a transcript of their own, the search's sources without a screen.
struct Desk {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode camera{defaults};
    ManualClock clock{Date::fromSecondsSince1970(1700000000)};
    LoggingLog log{camera, &clock};
    TranscriptBook book;
    QList<Jump> jumps;

    Desk()
    {
        log.appendEntry(entry(0, QStringLiteral("We lose the light at six"), QStringLiteral("Light is going"), {},
                              {QStringLiteral("Keyword: boat")}, QStringLiteral("Ada"), QStringLiteral("0-1")));
        log.appendEntry(entry(1, QStringLiteral("Cut the boom"), {}, QStringLiteral("pickup needed"),
                              {QStringLiteral("B-cam")}, std::nullopt, std::nullopt));
        log.appendEntry(entry(2, {}, QStringLiteral("Quota talk"), {}, {QStringLiteral("Pickup")},
                              QStringLiteral("Bob"), QStringLiteral("1-2")));
        book.upsert(QList<DisplaySegment>{
            line(QStringLiteral("0-1"), QStringLiteral("Ada"), QStringLiteral("We lose the light at six."), 1),
            line(QStringLiteral("1-2"), QStringLiteral("Bob"), QStringLiteral("The price of diesel, then the quota."),
                 2),
            line(QStringLiteral("0-3"), std::nullopt, QStringLiteral("Rolling. Speed.\nMark it."), 3),
            line(QStringLiteral("2-4"), QStringLiteral("Boom Op"), QStringLiteral("Plane overhead"), 4)});
    }

    LogSearchModel::Sources sources(APIService* service = nullptr)
    {
        return {&log, &book, [](const DisplaySegment& s) { return QStringLiteral("tc ") + s.id; },
                [this](const std::optional<QUuid>& e, const std::optional<QString>& l) {
                    jumps.append({e, l});
                },
                service};
    }
};

// JSON written with single quotes, for readable tables.
QByteArray jsonText(const char* text)
{
    return QByteArray(text).replace('\'', '"');
}

// Hit ids, entries as "E<n>".
QStringList idsOf(const QList<LogSearchHit>& hits)
{
    QStringList ids;
    for (const LogSearchHit& hit : hits)
        ids.append(hit.entryID ? "E" + hit.entryID->toString(QUuid::WithoutBraces).right(1) : hit.id);
    return ids;
}

// What a search made afresh over the same sources finds: the incremental one must agree.
QList<LogSearchHit> freshHits(Desk& desk, const QString& query)
{
    LogSearchModel fresh(desk.sources());
    fresh.setQuery(query);
    return fresh.hits();
}

} // namespace

// The search sheet's rules: this log found as typed and kept current as the log moves; the
// service's search against a real stand-in, with its answers treated as untrusted.
class LogSearchModelTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    struct Cloud {
        explicit Cloud(Desk& desk, const QUrl& base, const QString& cookie, Clock* clock = nullptr)
            : store(cookie), service(base.toString(), store, clock), model(desk.sources(&service))
        {
            model.setScope(LogSearchModel::AllShoots);
        }
        bool ask(const QString& query)
        {
            model.setQuery(query);
            model.submit();
            return QTest::qWaitFor([this] { return !model.searching(); }, 10000);
        }
        QStringList titles() const
        {
            QStringList all;
            for (const CloudSearchHit& hit : model.cloudHits())
                all.append(hit.title);
            return all;
        }
        InMemoryCookieStore store;
        APIService service;
        LogSearchModel model;
    };

    static void seed(StandinProcess& standin, const QString& cookie)
    {
        const QString token = createShoot(standin, cookie, QStringLiteral("Harbour day"));
        const QJsonArray segments{
            QJsonObject{
                {"text", "Then the quota came in."}, {"channel", 0}, {"speaker", "Ada"}, {"timecode", "10:00:01:00"}},
            QJsonObject{{"text", "a&b=c+d? 100% über #1"}, {"channel", 1}}};
        standin.request("POST", QStringLiteral("/api/logger/shoots/%1/sync").arg(token),
                        json({{"segments", segments}, {"markers", QJsonArray()}, {"deleted_markers", QJsonArray()}}),
                        cookie);
    }

    int searchRequests()
    {
        return standin_test::logged(m_standin->state(), "GET /api/velko/ai-search")["count"].toInt();
    }
    void fault(const QJsonObject& fault) { QVERIFY(m_standin->control(QStringLiteral("fault"), fault)["ok"].toBool()); }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(standin_test::kAda);
        seed(*m_standin, m_cookie);
    }

    void cleanup() { m_standin->control(QStringLiteral("clear")); }

    void thisLog_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("hits");
        QTest::addColumn<bool>("nothing");
        QTest::newRow("one character") << "q" << QStringList() << false;
        QTest::newRow("two characters") << "qu" << QStringList{"E2", "1-2"} << false;
        QTest::newRow("two typed, one trimmed") << " q" << QStringList() << true;
        QTest::newRow("case ignored") << "QUOTA" << QStringList{"E2", "1-2"} << false;
        QTest::newRow("tag only") << "keyword: b" << QStringList{"E0"} << false;
        QTest::newRow("tag and note") << "pickup" << QStringList{"E1", "E2"} << false;
        QTest::newRow("speaker finds entries and lines") << "bob" << QStringList{"E2", "1-2"} << false;
        QTest::newRow("speaker alone finds a line") << "boom" << QStringList{"E1", "2-4"} << false;
        QTest::newRow("across joined parts") << "six light is" << QStringList{"E0"} << false;
        QTest::newRow("summary, empty note, tags") << "going  keyword" << QStringList{"E0"} << false;
        QTest::newRow("note then tags") << "needed b-cam" << QStringList{"E1"} << false;
        QTest::newRow("tags then speaker") << "boat ada" << QStringList{"E0"} << false;
        QTest::newRow("speaker is not first") << "ada we" << QStringList() << true;
        QTest::newRow("line break inside") << "speed.\nmark" << QStringList{"0-3"} << false;
        QTest::newRow("line break not trimmed") << "it.\n" << QStringList() << true;
        QTest::newRow("tab trimmed") << "it.\t" << QStringList{"0-3"} << false;
        QTest::newRow("unicode spaces trimmed")
            << QString::fromUtf8("\u00A0qu\u3000") << QStringList{"E2", "1-2"} << false;
        QTest::newRow("nothing matches") << "zz" << QStringList() << true;
    }
    void thisLog()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, hits);
        QFETCH(bool, nothing);
        Desk desk;
        LogSearchModel model(desk.sources());
        model.setQuery(query);
        QCOMPARE(idsOf(model.hits()), hits);
        QCOMPARE(model.nothingFound(), nothing);
    }

    // An entry shows its summary, else its highlight; a line's timecode is the screen's.
    void hitFields()
    {
        Desk desk;
        LogSearchModel model(desk.sources());
        model.setQuery(QStringLiteral("b-cam"));
        QCOMPARE(model.hit(0), (LogSearchHit{uuidText(entryId(1)), "01:00:01:00", "", "Cut the boom", {}, entryId(1)}));
        model.setQuery(QStringLiteral("qu"));
        QCOMPARE(model.hit(0),
                 (LogSearchHit{uuidText(entryId(2)), "01:00:02:00", "Bob", "Quota talk", "1-2", entryId(2)}));
        QCOMPARE(model.hit(1),
                 (LogSearchHit{"1-2", "tc 1-2", "Bob", "The price of diesel, then the quota.", "1-2", {}}));
        model.activate(0);
        model.activate(1);
        model.activate(2);
        QCOMPARE(desk.jumps, (QList<Jump>{{entryId(2), QStringLiteral("1-2")}, {std::nullopt, QStringLiteral("1-2")}}));
    }

    // An entry's hit reads its summary when it has one, its highlight otherwise, whatever the
    // query matched; the row the sheet draws carries the same text.
    void entryHitText_data()
    {
        QTest::addColumn<QString>("highlight");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("text");
        QTest::newRow("both: the summary") << "We never knew if the boats would come back"
                                           << "Boats may not return"
                                           << "Boats may not return";
        QTest::newRow("highlight alone") << "We never knew"
                                         << ""
                                         << "We never knew";
        QTest::newRow("summary alone") << ""
                                       << "Boats may not return"
                                       << "Boats may not return";
        QTest::newRow("neither") << ""
                                 << ""
                                 << "";
    }
    void entryHitText()
    {
        QFETCH(QString, highlight);
        QFETCH(QString, summary);
        Desk desk;
        desk.log.appendEntry(entry(5, highlight, summary, {}, {QStringLiteral("zzmark")}, {}, {}));
        LogSearchModel model(desk.sources());
        model.setQuery(QStringLiteral("zzmark"));
        QCOMPARE(model.hitCount(), 1);
        QTEST(model.hit(0).text, "text");
        QTEST(model.rows()->index(0).data(LogSearchRows::HitRole).value<LogSearchHit>().text, "text");
    }

    // Each edit of the log or the transcript under a query leaves exactly the hits a fresh search
    // finds, announced row by row.
    void followsTheLog_data()
    {
        QTest::addColumn<QString>("edit");
        for (const char* edit : {"line appended", "line before the others", "line edited to match",
                                 "line edited to stop matching", "speaker renamed", "line removed", "transcript reset",
                                 "entry appended", "note set", "entry removed", "log reloaded"})
            QTest::newRow(edit) << QString::fromLatin1(edit);
    }
    void followsTheLog()
    {
        QFETCH(QString, edit);
        Desk desk;
        LogSearchModel model(desk.sources());
        QAbstractItemModelTester tester(model.rows(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QString query = QStringLiteral("the");
        model.setQuery(query);
        const QList<LogSearchHit> before = model.hits();
        QVERIFY(!before.isEmpty());
        const auto put = [&](const DisplaySegment& s) { desk.book.upsert(QList<DisplaySegment>{s}); };
        if (edit == "line appended")
            put(line("9-9", "Ada", "Over the hill", 9));
        else if (edit == "line before the others")
            put(line("9-0", {}, "the first words", 0.5));
        else if (edit == "line edited to match")
            put(line("0-3", {}, "Rolling the camera", 3));
        else if (edit == "line edited to stop matching")
            put(line("0-1", "Ada", "Gone", 1));
        else if (edit == "speaker renamed")
            put(line("2-4", "Bathe Op", "Plane overhead", 4));
        else if (edit == "line removed")
            desk.book.remove({QStringLiteral("1-2")});
        else if (edit == "transcript reset")
            desk.book.replaceAll({line("7-7", {}, "the only line", 1)});
        else if (edit == "entry appended")
            desk.log.appendEntry(entry(5, "the end", {}, {}, {}, {}, {}));
        else if (edit == "note set")
            desk.log.setNote(entryId(2), QStringLiteral("ask the producer"));
        else if (edit == "entry removed")
            desk.log.removeEntry(entryId(0));
        else if (edit == "log reloaded")
            desk.log.load(LogSession{QUuid::createUuid(), {}, {entry(7, "the reload", {}, {}, {}, {}, {})}, {}, {}});
        QCOMPARE(model.hits(), freshHits(desk, query));
        QCOMPARE(model.rows()->rowCount(), model.hitCount());
        QVERIFY(model.hits() != before);
        // The kept texts of every other row are still right.
        for (const char* next : {"plane", "six.", "mark it", "bob", "op"}) {
            model.setQuery(QString::fromUtf8(next));
            QCOMPARE(model.hits(), freshHits(desk, QString::fromUtf8(next)));
        }
    }

    // A growing, shrinking or fresh query finds what a fresh search does.
    void typing_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("growing") << QStringList{"t", "th", "the", "the ", "the q", "the qu"};
        QTest::newRow("shrinking") << QStringList{"quota", "quot", "quo", "qu", "q"};
        QTest::newRow("replaced") << QStringList{"light", "ligh", "li", "bo", "boo", "boom"};
        QTest::newRow("growing at the front") << QStringList{"ota", "uota", "quota"};
    }
    void typing()
    {
        QFETCH(QStringList, keys);
        Desk desk;
        LogSearchModel model(desk.sources());
        for (const QString& query : keys) {
            model.setQuery(query);
            QCOMPARE(model.hits(), freshHits(desk, query));
        }
    }

    // A query matching thousands of lines hands them out a batch at a time; a line coming past
    // what the view was given waits for its batch, one coming after the last is shown.
    void rowsInBatches()
    {
        Desk desk;
        QList<DisplaySegment> many;
        for (int n = 0; n < 250; ++n)
            many.append(line(QStringLiteral("5-%1").arg(n), {}, QStringLiteral("take %1").arg(n), 10 + n));
        desk.book.upsert(many);
        LogSearchModel model(desk.sources());
        LogSearchRows& rows = *model.rows();
        model.setQuery(QStringLiteral("take"));
        QCOMPARE(model.hitCount(), 250);
        QCOMPARE(rows.rowCount(), LogSearchRows::kBatch);
        desk.book.upsert(QList<DisplaySegment>{line("5-x", {}, "take late", 1000)});
        QCOMPARE(rows.rowCount(), LogSearchRows::kBatch);
        while (rows.canFetchMore({}))
            rows.fetchMore({});
        QCOMPARE(rows.rowCount(), 251);
        desk.book.upsert(QList<DisplaySegment>{line("5-y", {}, "take later", 1001)});
        QCOMPARE(rows.rowCount(), 252);
        QCOMPARE(rows.index(251).data(LogSearchRows::HitRole).value<LogSearchHit>().id, QStringLiteral("5-y"));
    }

    // The button's rule reads the query as typed; what is sent is trimmed, and nothing under
    // three characters is sent.
    void submitting_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("sent");
        QTest::newRow("two characters") << "ab" << false << "";
        QTest::newRow("two characters with spaces") << "  ab " << true << "";
        QTest::newRow("three after trimming") << " quo\t" << true << "quo";
        QTest::newRow("punctuation") << "a&b=c+d? 100% über #1" << true << "a&b=c+d? 100% über #1";
        QTest::newRow("line break kept") << "the quota\n" << true << "the quota\n";
    }
    void submitting()
    {
        QFETCH(QString, typed);
        QFETCH(bool, enabled);
        QFETCH(QString, sent);
        Desk desk;
        Cloud cloud(desk, m_standin->baseUrl(), m_cookie);
        const int before = searchRequests();
        cloud.model.setQuery(typed);
        QCOMPARE(cloud.model.canSubmit(), enabled);
        QVERIFY(cloud.ask(typed));
        if (sent.isEmpty()) {
            QCOMPARE(searchRequests(), before);
            return;
        }
        const QJsonObject request = standin_test::logged(m_standin->state(), "GET /api/velko/ai-search");
        QCOMPARE(request["count"].toInt(), before + 1);
        QCOMPARE(request["query"].toString(), "q=" + sent);
        QCOMPARE(request["headers"]["cookie"].toString(), m_cookie);
        QVERIFY(!request["headers"].toObject().contains("x-pindle-client"));
        QVERIFY(!request["headers"].toObject().contains("content-type"));
        // The service found the line the query names.
        QCOMPARE(cloud.model.cloudHits().size(), 1);
        QVERIFY(cloud.model.problem().isEmpty());
    }

    // Whatever the service answers becomes the hits, under the caps, with the problem it calls for.
    void answers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QStringList>("titles");
        const QString none = LogSearchModel::kNoCloudHits;
        const QString failed = LogSearchModel::kSearchFailed;
        const QString untitled = LogSearchModel::kUntitledShoot;
        QTest::newRow("no results") << 200 << jsonText("{'results':[]}") << none << QStringList();
        QTest::newRow("missing fields") << 200 << jsonText("{'results':[{'text':'x'}]}") << "" << QStringList{untitled};
        QTest::newRow("error with reason") << 500 << jsonText("{'error':'Quota exceeded','results':[{'title':'A'}]}")
                                           << "Quota exceeded" << QStringList{"A"};
        QTest::newRow("error without reason") << 503 << jsonText("{}") << failed << QStringList();
        QTest::newRow("blank reason") << 400 << jsonText("{'error':' '}") << failed << QStringList();
        QTest::newRow("reason not text") << 500 << jsonText("{'error':42}") << failed << QStringList();
        QTest::newRow("long reason") << 500 << jsonText("{'error':'") + QByteArray(1000, 'r') + jsonText("'}")
                                     << QString(LogSearchModel::kLongestProblem, 'r') << QStringList();
        QTest::newRow("not JSON") << 200 << jsonText("<html>") << none << QStringList();
        QTest::newRow("results not an array") << 200 << jsonText("{'results':{'title':'A'}}") << none << QStringList();
        QTest::newRow("array at the top") << 200 << jsonText("[{'results':[{'title':'A'}]}]") << none << QStringList();
        QTest::newRow("wrong types") << 200
                                     << jsonText("{'results':[{'title':5,'share_token':null,'text':['x']},'A',7]}")
                                     << "" << QStringList{untitled};
        QTest::newRow("long title") << 200
                                    << jsonText("{'results':[{'title':'") + QByteArray(5000, 't') + jsonText("'}]}")
                                    << "" << QStringList{QString(LogSearchModel::kLongestCloudText, 't')};
        QByteArray many = jsonText("{'results':[");
        for (int n = 0; n < 300; ++n)
            many += QByteArray(n ? "," : "") + jsonText("{'title':'A'}");
        QTest::newRow("too many results") << 200 << many + "]}"
                                          << "" << QStringList(LogSearchModel::kMostCloudHits, QStringLiteral("A"));
        QTest::newRow("huge body") << 200
                                   << jsonText("{'results':[{'title':'A'}],'pad':'") +
                                          QByteArray(LogSearchModel::kLargestAnswerBytes, 'p') + jsonText("'}")
                                   << failed << QStringList();
    }
    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, problem);
        QFETCH(QStringList, titles);
        Desk desk;
        Cloud cloud(desk, m_standin->baseUrl(), m_cookie);
        QVERIFY(cloud.ask(QStringLiteral("quota")));
        QCOMPARE(cloud.titles(), QStringList{"Harbour day"});
        const CloudSearchHit real = cloud.model.cloudHits().value(0);
        QCOMPARE(real.speaker, QStringLiteral("Ada"));
        QCOMPARE(real.why, QStringLiteral("Mentions \"quota\"."));
        fault({{"path", "/api/velko/ai-search"},
               {"kind", "answer"},
               {"status", status},
               {"body", QString::fromUtf8(body)}});
        QVERIFY(cloud.ask(QStringLiteral("quota")));
        QCOMPARE(cloud.model.problem(), problem);
        QCOMPARE(cloud.titles(), titles);
        for (const CloudSearchHit& hit : cloud.model.cloudHits())
            QVERIFY(hit.why.isEmpty() && hit.token.isEmpty() && hit.speaker.isEmpty());
    }

    // An answer of up to 4 MiB is read; one byte more is refused as a failed search, whatever
    // it holds.
    void answerSizeCap_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QStringList>("titles");
        constexpr qsizetype fourMiB = 4 * 1024 * 1024;
        QTest::newRow("exactly 4 MiB") << fourMiB << "" << QStringList{"A"};
        QTest::newRow("one byte more") << fourMiB + 1 << LogSearchModel::kSearchFailed << QStringList();
    }
    void answerSizeCap()
    {
        QFETCH(qsizetype, size);
        Desk desk;
        Cloud cloud(desk, m_standin->baseUrl(), m_cookie);
        QVERIFY(cloud.ask(QStringLiteral("quota")));
        QCOMPARE(cloud.titles(), QStringList{"Harbour day"});
        const QByteArray head = jsonText("{'results':[{'title':'A'}],'pad':'");
        const QByteArray tail = jsonText("'}");
        const QByteArray body = head + QByteArray(size - head.size() - tail.size(), 'p') + tail;
        QCOMPARE(body.size(), size);
        fault(
            {{"path", "/api/velko/ai-search"}, {"kind", "answer"}, {"status", 200}, {"body", QString::fromUtf8(body)}});
        QVERIFY(cloud.ask(QStringLiteral("quota")));
        QTEST(cloud.model.problem(), "problem");
        QTEST(cloud.titles(), "titles");
    }

    // No answer at all keeps the hits shown; the search's deadline is 60 s however slow the
    // service is.
    void unreachable_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("connection dropped") << "drop";
        QTest::newRow("service stopped") << "stop";
        QTest::newRow("deadline") << "slow";
    }
    void unreachable()
    {
        QFETCH(QString, how);
        StandinProcess own;
        QVERIFY2(own.isReady(), qPrintable(own.failure()));
        const QString cookie = own.signIn(standin_test::kAda);
        seed(own, cookie);
        ManualClock clock;
        Desk desk;
        Cloud cloud(desk, own.baseUrl(), cookie, &clock);
        QVERIFY(cloud.ask(QStringLiteral("quota")));
        QCOMPARE(cloud.titles(), QStringList{"Harbour day"});
        if (how == "drop")
            own.control("fault", {{"path", "/api/velko/ai-search"}, {"kind", "drop"}, {"count", -1}});
        else if (how == "stop")
            QCOMPARE(own.stop(), 0);
        else
            own.control("fault", {{"path", "/api/velko/ai-search"}, {"kind", "slow"}, {"delay_ms", 30000}});
        cloud.model.setQuery(QStringLiteral("quota?"));
        cloud.model.submit();
        if (how == "slow") {
            QTRY_COMPARE(standin_test::logged(own.state(), "GET /api/velko/ai-search")["count"].toInt(), 2);
            clock.advance(LogSearchModel::kCloudTimeout - std::chrono::milliseconds(100));
            QTest::qWait(50);
            QVERIFY(cloud.model.searching());
            clock.advance(std::chrono::milliseconds(100));
        }
        QTRY_VERIFY(!cloud.model.searching());
        QCOMPARE(cloud.model.problem(), QString::fromLatin1(LogSearchModel::kUnreachable));
        QCOMPARE(cloud.titles(), QStringList{"Harbour day"});
    }

    // An answer to an older query never replaces a newer one's, whichever arrives first.
    void staleAnswers_data()
    {
        QTest::addColumn<QString>("older");
        QTest::addColumn<int>("olderDelay");
        QTest::addColumn<int>("newerDelay");
        QTest::newRow("older arrives last") << "the quota" << 1500 << 0;
        QTest::newRow("older arrives first") << "quota came" << 200 << 1500;
    }
    void staleAnswers()
    {
        QFETCH(QString, older);
        QFETCH(int, olderDelay);
        QFETCH(int, newerDelay);
        Desk desk;
        Cloud cloud(desk, m_standin->baseUrl(), m_cookie);
        const int before = searchRequests();
        fault({{"path", "/api/velko/ai-search"}, {"kind", "slow"}, {"delay_ms", olderDelay}});
        cloud.model.setQuery(older);
        cloud.model.submit();
        // The older must reach the service first, or it would take the newer one's fault.
        QTRY_COMPARE(searchRequests(), before + 1);
        if (newerDelay > 0)
            fault({{"path", "/api/velko/ai-search"}, {"kind", "slow"}, {"delay_ms", newerDelay}});
        cloud.model.setQuery(QStringLiteral("über"));
        cloud.model.submit();
        // Once the older has been answered and had time to arrive, it has changed nothing.
        QTRY_COMPARE(m_standin->state()["searches"].toArray().last()["q"].toString(), older);
        QTest::qWait(300);
        QCOMPARE(cloud.model.searching(), newerDelay > 0);
        QVERIFY(cloud.model.cloudHits().size() == (newerDelay > 0 ? 0 : 1));
        QTRY_VERIFY(!cloud.model.searching());
        QCOMPARE(cloud.model.cloudHits().size(), 1);
        QCOMPARE(cloud.model.cloudHits().value(0).text, QStringLiteral("a&b=c+d? 100% über #1"));
    }

    void copyText_data()
    {
        QTest::addColumn<QString>("speaker");
        QTest::addColumn<QString>("copied");
        QTest::newRow("speaker") << "Ada"
                                 << "10:00:01:00  Ada: Then the quota.";
        QTest::newRow("no speaker") << ""
                                    << "10:00:01:00  : Then the quota.";
    }
    void copyText()
    {
        QFETCH(QString, speaker);
        QFETCH(QString, copied);
        const CloudSearchHit hit{{}, "t", "T", "10:00:01:00", speaker, "Then the quota.", {}};
        QCOMPARE(LogSearchModel::copyText(hit), copied);
    }

    // The token is one path under "/open/", encoded as a path is; only web links are opened.
    void shootUrl_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("url");
        QTest::newRow("plain") << "https://pindle.io"
                               << "abc123"
                               << "https://pindle.io/open/abc123";
        QTest::newRow("space, non-ASCII, slash") << "http://127.0.0.1:8787"
                                                 << "a b/ü"
                                                 << "http://127.0.0.1:8787/open/a%20b/%C3%BC";
        QTest::newRow("query and fragment stay in the path") << "https://pindle.io"
                                                             << "x?y#z%"
                                                             << "https://pindle.io/open/x%3Fy%23z%25";
        QTest::newRow("not a web link") << "ftp://pindle.io"
                                        << "abc"
                                        << "";
        QTest::newRow("no host") << "https://"
                                 << "abc"
                                 << "";
        QTest::newRow("no token") << "https://pindle.io"
                                  << ""
                                  << "";
    }
    void shootUrl()
    {
        QFETCH(QString, base);
        QFETCH(QString, token);
        QFETCH(QString, url);
        const std::optional<QUrl> opened = LogSearchModel::shootUrl(base, token);
        QCOMPARE(opened ? QString::fromUtf8(opened->toEncoded()) : QString(), url);
    }
};

PINDLE_TEST(LogSearchModelTest)
#include "LogSearchModelTest.moc"
