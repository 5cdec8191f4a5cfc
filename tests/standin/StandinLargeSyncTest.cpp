#include "common/TestMain.h"

#include "StandinTestSupport.h"

#include <QUuid>

using namespace standin_test;

namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kSyncLimit = 256 * kMiB;
// Lines of about 1.1 KB each: a sync of this many is past the transport's 8 MiB.
constexpr int kLines = 9'000;
constexpr int kWordsPerLine = 14;
constexpr qint64 kStartMs = 1'765'100'000'000;

// Transcript lines as the logger sends them, each word timed, written out as compact JSON; the
// last line alone says "zebra". Written as text: a QJsonArray of a day is slow to build under the
// sanitizers.
QByteArray lines(int count)
{
    QByteArray out = "[";
    for (int i = 0; i < count; ++i) {
        const qint64 start = kStartMs + qint64(i) * 375;
        QByteArray words;
        QByteArray text;
        for (int w = 0; w < kWordsPerLine; ++w) {
            const QByteArray word = i + 1 == count && w == 0 ? QByteArray("zebra") : "camera" + QByteArray::number(w);
            text += (w > 0 ? " " : "") + word;
            words += (w > 0 ? ",{\"end_ms\":" : "{\"end_ms\":") + QByteArray::number(start + w * 400 + 350) +
                     ",\"start_ms\":" + QByteArray::number(start + w * 400) + ",\"text\":\"" + word + "\"}";
        }
        out += (i > 0 ? ",{\"channel\":" : "{\"channel\":") + QByteArray::number(i % 16) +
               ",\"end_ms\":" + QByteArray::number(start + kWordsPerLine * 400) + ",\"id\":\"1765100000-" +
               QByteArray::number(i % 16) + '-' + QByteArray::number(i) + "\",\"speaker\":\"Channel " +
               QByteArray::number(i % 16 + 1) + "\",\"start_ms\":" + QByteArray::number(start) + ",\"text\":\"" + text +
               "\",\"timecode\":\"01:02:03:04\",\"words\":[" + words + "]}";
    }
    return out + ']';
}

QJsonArray array(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).array();
}

QJsonArray markers(int count)
{
    QJsonArray out;
    for (int i = 0; i < count; ++i)
        out.append(QJsonObject{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                               {"type", "good"},
                               {"label", "Good"},
                               {"timecode_in", "01:02:03:04"},
                               {"start_ms", double(kStartMs + i * 30'000)},
                               {"quote", "camera one"},
                               {"summary", ""},
                               {"note", i % 10 == 0 ? "check the boom" : ""},
                               {"tags", QJsonArray{"b-roll"}}});
    return out;
}

// The long transcript, made once.
const QByteArray& dayLines()
{
    static const QByteArray day = lines(kLines);
    return day;
}

QByteArray syncBody(const QByteArray& segments, const QJsonArray& markerList)
{
    return "{\"deleted_markers\":[],\"markers\":" + QJsonDocument(markerList).toJson(QJsonDocument::Compact) +
           ",\"segments\":" + segments + ",\"tc_offset_ms\":40}";
}

// The answer to a body that does not parse: the parser's own problem and where it found it.
QString parseProblem(const QByteArray& body)
{
    QJsonParseError error{};
    QJsonDocument::fromJson(body, &error);
    return QStringLiteral("body is not valid JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset);
}

} // namespace

// A whole shoot day in one sync, over loopback: past the transport's 8 MiB on the sync route only,
// kept whole, and a damaged one refused as any other body.
class StandinLargeSyncTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_ada;

    QJsonObject shootState(const QString& token) { return m_standin->shoot(token); }

    QString syncPath(const QString& token) const { return QStringLiteral("/api/logger/shoots/%1/sync").arg(token); }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_ada = m_standin->signIn(kAda);
        QVERIFY(!m_ada.isEmpty());
    }

    void bodyLimits_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("status");
        const qint64 transport = 8 * kMiB;
        const QString sync = QStringLiteral("/api/logger/shoots/TOKEN/sync");
        QTest::newRow("sync past 8 MiB") << QByteArray("POST") << sync << transport + 1 << 100;
        QTest::newRow("sync at its limit") << QByteArray("POST") << sync << kSyncLimit << 100;
        QTest::newRow("sync past its limit") << QByteArray("POST") << sync << kSyncLimit + 1 << 413;
        QTest::newRow("sync of an unknown shoot")
            << QByteArray("POST") << QStringLiteral("/api/logger/shoots/nope/sync") << transport + 1 << 100;
        QTest::newRow("sync path by PUT") << QByteArray("PUT") << sync << transport + 1 << 413;
        QTest::newRow("create at 8 MiB") << QByteArray("POST") << QStringLiteral("/api/logger/shoots") << transport
                                         << 100;
        QTest::newRow("create past 8 MiB")
            << QByteArray("POST") << QStringLiteral("/api/logger/shoots") << transport + 1 << 413;
        QTest::newRow("wrap past 8 MiB") << QByteArray("POST") << QStringLiteral("/api/logger/shoots/TOKEN/wrap")
                                         << transport + 1 << 413;
        QTest::newRow("heartbeat past 8 MiB")
            << QByteArray("POST") << QStringLiteral("/api/velko/session/TOKEN/heartbeat") << transport + 1 << 413;
        QTest::newRow("summary past 8 MiB")
            << QByteArray("POST") << QStringLiteral("/api/shoot/summarise") << transport + 1 << 413;
        QTest::newRow("sync path with a suffix")
            << QByteArray("POST") << sync + QStringLiteral("/x") << transport + 1 << 413;
    }

    // Decided from the head alone: "100 Continue" means the body would be read, 413 that it never
    // is (and the connection closes).
    void bodyLimits()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(qint64, length);
        QFETCH(int, status);
        const QString token = createShoot(*m_standin, m_ada);
        RawClient client(m_standin->baseUrl());
        client.send(method + ' ' + path.replace(QStringLiteral("TOKEN"), token).toUtf8() +
                    " HTTP/1.1\r\nHost: x\r\nCookie: " + m_ada.toUtf8() +
                    "\r\nContent-Length: " + QByteArray::number(length) + "\r\nExpect: 100-continue\r\n\r\n");
        QCOMPARE(client.answer(), status);
        if (status == 413)
            QVERIFY(client.waitClosed());
    }

    // The sync is kept whole: the state, the search and the share page read it back, and the next
    // sync replaces it.
    void largeSyncKept()
    {
        const QString token = createShoot(*m_standin, m_ada);
        const QJsonArray markerList = markers(kLines / 80);
        const QByteArray body = syncBody(dayLines(), markerList);
        QVERIFY2(body.size() > 8 * kMiB, qPrintable(QString::number(body.size())));
        const auto answer = m_standin->request("POST", syncPath(token), body, m_ada);
        QCOMPARE(answer.status, 200);

        QJsonObject shoot = shootState(token);
        QCOMPARE(shoot.value(QStringLiteral("syncs")).toInt(), 1);
        const QJsonArray segments = array(dayLines());
        QCOMPARE(shoot.value(QStringLiteral("segments")).toArray(), segments);
        QCOMPARE(shoot.value(QStringLiteral("markers")).toArray(), markerList);
        QCOMPARE(shoot.value(QStringLiteral("last_sync")).toObject(), QJsonDocument::fromJson(body).object());

        const auto found = m_standin->request("GET", QStringLiteral("/api/velko/ai-search?q=ZEBRA"), {}, m_ada);
        const QJsonArray results = found.json().value(QStringLiteral("results")).toArray();
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.at(0)[QStringLiteral("text")], segments.last()[QStringLiteral("text")]);
        const QString share = shoot.value(QStringLiteral("share_token")).toString();
        QVERIFY(m_standin->request("GET", QStringLiteral("/open/") + share)
                    .body.contains(QByteArray::number(kLines) + " transcript lines, " +
                                   QByteArray::number(markerList.size()) + " markers"));

        const QByteArray fewer = lines(2);
        QCOMPARE(m_standin->request("POST", syncPath(token), syncBody(fewer, {}), m_ada).status, 200);
        shoot = shootState(token);
        QCOMPARE(shoot.value(QStringLiteral("segments")).toArray(), array(fewer));
        QCOMPARE(shoot.value(QStringLiteral("markers")).toArray(), QJsonArray());
    }

    void damagedLargeSync_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("problem");
        const QByteArray whole = syncBody(dayLines(), markers(4));
        const QByteArray cut = whole.left(whole.size() / 2);
        QTest::newRow("cut in half") << cut << parseProblem(cut);
        QTest::newRow("last brace missing") << whole.chopped(1) << parseProblem(whole.chopped(1));
        QByteArray badByte = whole;
        badByte[whole.size() - 100] = '\xFF';
        QTest::newRow("bad byte near the end") << badByte << parseProblem(badByte);
        QByteArray noComma = whole;
        noComma[whole.indexOf("},{", whole.size() / 3) + 1] = ' ';
        QTest::newRow("comma missing between lines") << noComma << parseProblem(noComma);
        const auto inserted = [&](const QByteArray& after, const QByteArray& what) {
            QByteArray body = whole;
            return body.insert(body.indexOf(after) + after.size(), what);
        };
        QTest::newRow("a line that is a number")
            << inserted("\"segments\":[", "7,") << QStringLiteral("\"segments\" must hold only objects");
        QTest::newRow("a marker that is null")
            << inserted("\"markers\":[", "null,") << QStringLiteral("\"markers\" must hold only objects");
    }

    // A damaged shoot day gets the same 400 as a small body would, and what was kept stays.
    void damagedLargeSync()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, problem);
        const QString token = createShoot(*m_standin, m_ada);
        const QByteArray kept = lines(3);
        QCOMPARE(m_standin->request("POST", syncPath(token), syncBody(kept, {}), m_ada).status, 200);
        const auto answer = m_standin->request("POST", syncPath(token), body, m_ada);
        QCOMPARE(answer.status, 400);
        QCOMPARE(answer.json().value(QStringLiteral("error")).toString(), problem);
        const QJsonObject shoot = shootState(token);
        QCOMPARE(shoot.value(QStringLiteral("syncs")).toInt(), 1);
        QCOMPARE(shoot.value(QStringLiteral("segments")).toArray(), array(kept));
    }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }
};

PINDLE_TEST(StandinLargeSyncTest)
#include "StandinLargeSyncTest.moc"
