// The stand-in taking the shoot sync at the end of a long day: twelve hours of sixteen channels (a
// final line per channel about every 6 s, 14 timed words each, a marker every 30 s with a note on
// every tenth), the body built the way the logger builds it.
//
// Reported: the body's size; the sync handled in-process (reading and keeping it); the same sync
// over loopback to a real pindle-standin, with the stand-in's resident memory before the first
// sync and at its peak (VmHWM) after syncing the day again and again; and, for comparison, a
// QJsonDocument of the body, as the sync handler used to build. What the stand-in should meet: the
// sync handled well within a second, its peak no more than about twice the body over what it held
// before.

#include "HttpMessage.h"
#include "StandinService.h"
#include "SyncedLog.h"
#include "common/BenchStandin.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace {

constexpr int kHours = 12;
constexpr int kChannels = 16;
constexpr int kLineSeconds = 6;
constexpr int kWordsPerLine = 14;
constexpr int kMarkerSeconds = 30;
constexpr int kNoteEveryMarkers = 10;
constexpr qint64 kRunStart = 1'765'100'000;
constexpr qint64 kStartMs = kRunStart * 1000;
constexpr int kFps = 25;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kStandinTimeoutMs = 10'000;
// The logger gives up on a sync after this long.
constexpr int kSyncTimeoutMs = 25'000;
constexpr const char* kCode = BenchStandin::kCode;
constexpr char kEmail[] = "ada@example.com";

const QStringList& vocabulary()
{
    static const QStringList words =
        QStringLiteral("camera rolling speed mark scene take again from the top quiet please lights "
                       "we are going to move the boom over there and check focus before action cut "
                       "that was lovely one more for safety reset back to one interview question "
                       "tell me about the first time you came to this place")
            .split(u' ');
    return words;
}

QString timecodeAt(qint64 ms)
{
    const qint64 frames = ms * kFps / 1000;
    return QStringLiteral("%1:%2:%3:%4")
        .arg(frames / (kFps * 3600) % 24, 2, 10, QChar(u'0'))
        .arg(frames / (kFps * 60) % 60, 2, 10, QChar(u'0'))
        .arg(frames / kFps % 60, 2, 10, QChar(u'0'))
        .arg(frames % kFps, 2, 10, QChar(u'0'));
}

// A final line as the logging screen sends it: ids from the run start, epoch milliseconds, the
// camera timecode, and a timing per word.
QJsonObject segment(int channel, int index, qint64 startMs)
{
    const QStringList& words = vocabulary();
    QStringList text;
    QJsonArray timed;
    const qint64 wordMs = kLineSeconds * 1000 / (kWordsPerLine + 1);
    for (int w = 0; w < kWordsPerLine; ++w) {
        const QString word = words.at((index * 7 + w * 3 + channel) % words.size());
        text.append(word);
        timed.append(QJsonObject{{QStringLiteral("text"), word},
                                 {QStringLiteral("start_ms"), startMs + w * wordMs},
                                 {QStringLiteral("end_ms"), startMs + (w + 1) * wordMs - 40}});
    }
    const qint64 endMs = startMs + kWordsPerLine * wordMs;
    return QJsonObject{
        {QStringLiteral("id"), QStringLiteral("%1-%2-%3").arg(kRunStart).arg(channel).arg(index)},
        {QStringLiteral("text"), text.join(u' ')},
        {QStringLiteral("start_ms"), startMs},
        {QStringLiteral("end_ms"), endMs},
        {QStringLiteral("timecode"), timecodeAt(startMs - kStartMs)},
        {QStringLiteral("channel"), channel},
        {QStringLiteral("speaker"), QStringLiteral("Channel %1").arg(channel + 1)},
        {QStringLiteral("words"), timed},
    };
}

QJsonObject marker(int index, qint64 startMs)
{
    QJsonObject out{
        {QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("type"), QStringLiteral("good")},
        {QStringLiteral("label"), QStringLiteral("Good")},
        {QStringLiteral("timecode_in"), timecodeAt(startMs - kStartMs)},
        {QStringLiteral("start_ms"), startMs},
        {QStringLiteral("quote"), QStringLiteral("that was lovely one more for safety")},
        {QStringLiteral("summary"), QStringLiteral("Summary: that was lovely one more for safety")},
        {QStringLiteral("note"),
         index % kNoteEveryMarkers == 0 ? QStringLiteral("Check the boom in the top of frame") : QString()},
        {QStringLiteral("tags"), QJsonArray{QStringLiteral("b-roll")}},
    };
    if (index % 2 == 0) {
        out.insert(QStringLiteral("timecode_out"), timecodeAt(startMs - kStartMs + 8000));
        out.insert(QStringLiteral("end_ms"), startMs + 8000);
        out.insert(QStringLiteral("speaker"), QStringLiteral("Channel 1"));
    }
    return out;
}

struct SyncBody {
    QByteArray bytes;
    qsizetype segments = 0;
    qsizetype markers = 0;
};

SyncBody buildTwelveHourBody()
{
    QJsonArray segments;
    const int lines = kHours * 3600 / kLineSeconds;
    for (int line = 0; line < lines; ++line) {
        for (int channel = 0; channel < kChannels; ++channel) {
            // The channels' lines end at different moments within the 6 s.
            const qint64 startMs = kStartMs + qint64(line) * kLineSeconds * 1000 + channel * 370;
            segments.append(segment(channel, line, startMs));
        }
    }
    QJsonArray markers;
    for (int i = 0; i < kHours * 3600 / kMarkerSeconds; ++i)
        markers.append(marker(i, kStartMs + qint64(i) * kMarkerSeconds * 1000));
    const QJsonObject body{{QStringLiteral("segments"), segments},
                           {QStringLiteral("markers"), markers},
                           {QStringLiteral("deleted_markers"), QJsonArray()},
                           {QStringLiteral("tc_offset_ms"), 40}};
    return {QJsonDocument(body).toJson(QJsonDocument::Compact), segments.size(), markers.size()};
}

const SyncBody& twelveHourBody()
{
    static const SyncBody body = buildTwelveHourBody();
    return body;
}

double residentMiB(const QString& statusFile, const QByteArray& field)
{
    QFile status(statusFile);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void BM_SyncBodyOfTwelveHours(benchmark::State& state)
{
    SyncBody body;
    for (auto _ : state)
        body = buildTwelveHourBody();
    state.counters["body_MiB"] = double(body.bytes.size()) / kMiB;
    state.counters["body_bytes"] = double(body.bytes.size());
    state.counters["segments"] = double(body.segments);
    state.counters["markers"] = double(body.markers);
}
BENCHMARK(BM_SyncBodyOfTwelveHours)->Unit(benchmark::kMillisecond)->Iterations(1);

// Reading and checking the body, and noting its segments and markers: the sync handler's work.
void BM_ReadSyncBody(benchmark::State& state)
{
    const QByteArray& bytes = twelveHourBody().bytes;
    for (auto _ : state) {
        standin::SyncedLog log;
        QStringList deleted;
        standin::Reply error;
        if (!standin::readSyncBody(bytes, log, deleted, error)) {
            state.SkipWithError("the body was refused");
            return;
        }
        benchmark::DoNotOptimize(log.segments.size());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ReadSyncBody)->Unit(benchmark::kMillisecond)->Iterations(5);

standin::Request get(const QString& path, const QByteArray& cookie)
{
    standin::Request request;
    request.method = "GET";
    request.segments = standin::decodePathSegments(path.toUtf8());
    request.path = path;
    if (!cookie.isEmpty())
        request.headers.append({"Cookie", cookie});
    return request;
}

standin::Request post(const QString& path, const QByteArray& body, const QByteArray& cookie)
{
    standin::Request request = get(path, cookie);
    request.method = "POST";
    request.body = body;
    return request;
}

QByteArray signIn(standin::StandinService& service)
{
    const standin::Reply verified = service.handle(post(
        QStringLiteral("/auth/verify"), QJsonDocument(QJsonObject{{"email", kEmail}, {"code", kCode}}).toJson(), {}));
    return "sid=" + QJsonDocument::fromJson(verified.body).object().value(QStringLiteral("sid")).toString().toLatin1();
}

QByteArray createBody()
{
    return QJsonDocument(QJsonObject{{"title", "Day"}, {"tc_format", "25|0|0"}, {"audio_epoch_ms", 1}})
        .toJson(QJsonDocument::Compact);
}

QString createShoot(standin::StandinService& service, const QByteArray& cookie)
{
    const standin::Reply created = service.handle(post(QStringLiteral("/api/logger/shoots"), createBody(), cookie));
    return QJsonDocument::fromJson(created.body).object().value(QStringLiteral("token")).toString();
}

QString syncPath(const QString& token)
{
    return QStringLiteral("/api/logger/shoots/%1/sync").arg(token);
}

// The whole route in-process, signed in, the shoot holding the previous sync.
void BM_HandleSync(benchmark::State& state)
{
    standin::StandinService service(standin::StandinConfig{QString::fromLatin1(kCode), std::nullopt, false});
    const QByteArray cookie = signIn(service);
    const standin::Request sync = post(syncPath(createShoot(service, cookie)), twelveHourBody().bytes, cookie);
    for (auto _ : state) {
        if (service.handle(sync).status != 200) {
            state.SkipWithError("the sync was refused");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * sync.body.size());
}
BENCHMARK(BM_HandleSync)->Unit(benchmark::kMillisecond)->Iterations(5);

// A search that no line answers, so that every line of the day is read.
void BM_SearchTwelveHours(benchmark::State& state)
{
    standin::StandinService service(standin::StandinConfig{QString::fromLatin1(kCode), std::nullopt, false});
    const QByteArray cookie = signIn(service);
    if (service.handle(post(syncPath(createShoot(service, cookie)), twelveHourBody().bytes, cookie)).status != 200) {
        state.SkipWithError("the sync was refused");
        return;
    }
    standin::Request search = get(QStringLiteral("/api/velko/ai-search"), cookie);
    search.query.addQueryItem(QStringLiteral("q"), QStringLiteral("xylophone"));
    for (auto _ : state) {
        const standin::Reply reply = service.handle(search);
        if (reply.status != 200) {
            state.SkipWithError("the search failed");
            return;
        }
    }
    state.counters["lines"] = double(twelveHourBody().segments);
}
BENCHMARK(BM_SearchTwelveHours)->Unit(benchmark::kMillisecond)->Iterations(5);

// A real stand-in, started with a fixed sign-in code on a free port; one request at a time over
// one keep-alive connection.
class Standin {
public:
    Standin()
    {
        if (m_run.baseUrl().isEmpty())
            return;
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), m_run.port());
        m_socket.waitForConnected(kStandinTimeoutMs);
    }
    ~Standin() { m_socket.abort(); }
    Standin(const Standin&) = delete;
    Standin& operator=(const Standin&) = delete;

    [[nodiscard]] bool isReady() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    [[nodiscard]] QString statusFile() const { return QStringLiteral("/proc/%1/status").arg(m_run.processId()); }

    // The status and body of the answer; status 0 when none came in time.
    std::pair<int, QByteArray> post(const QString& path, const QByteArray& body, const QByteArray& cookie = {})
    {
        QByteArray head =
            "POST " + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
        if (!cookie.isEmpty())
            head += "Cookie: " + cookie + "\r\n";
        m_socket.write(head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n");
        m_socket.write(body);
        const QDeadlineTimer deadline(kSyncTimeoutMs);
        while (m_socket.bytesToWrite() > 0 && !deadline.hasExpired())
            m_socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())));
        QByteArray answer;
        while (!deadline.hasExpired()) {
            const qsizetype end = answer.indexOf("\r\n\r\n");
            if (end > 0) {
                static const QRegularExpression length(QStringLiteral("(?i)content-length: *(\\d+)"));
                const qsizetype size = length.match(QString::fromLatin1(answer.left(end))).captured(1).toLongLong();
                if (answer.size() >= end + 4 + size)
                    return {answer.mid(9, 3).toInt(), answer.mid(end + 4, size)};
            }
            if (!m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                break;
            answer += m_socket.readAll();
        }
        return {0, {}};
    }

private:
    BenchStandin m_run;
    QTcpSocket m_socket;
};

// The sync over loopback to a real stand-in, again and again as the logger does: each one
// replaces the last, so at its peak the stand-in holds the day it kept and the day arriving.
void BM_SyncOverLoopback(benchmark::State& state)
{
    Standin standin;
    if (!standin.isReady()) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    const auto verified =
        standin.post(QStringLiteral("/auth/verify"),
                     QJsonDocument(QJsonObject{{"email", kEmail}, {"code", kCode}}).toJson(QJsonDocument::Compact));
    const QByteArray cookie =
        "sid=" + QJsonDocument::fromJson(verified.second).object().value(QStringLiteral("sid")).toString().toLatin1();
    const auto created = standin.post(QStringLiteral("/api/logger/shoots"), createBody(), cookie);
    const QString token = QJsonDocument::fromJson(created.second).object().value(QStringLiteral("token")).toString();
    const QByteArray& bytes = twelveHourBody().bytes;
    const double before = residentMiB(standin.statusFile(), "VmRSS");
    for (auto _ : state) {
        if (standin.post(syncPath(token), bytes, cookie).first != 200) {
            state.SkipWithError("the sync was refused");
            return;
        }
    }
    const double peak = residentMiB(standin.statusFile(), "VmHWM");
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["body_MiB"] = double(bytes.size()) / kMiB;
    state.counters["rss_before_MiB"] = before;
    state.counters["peak_MiB"] = peak;
    state.counters["peak_growth_per_body"] = (peak - before) * kMiB / double(bytes.size());
}
BENCHMARK(BM_SyncOverLoopback)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// For comparison: the whole body as one QJsonDocument, what it takes and what it allocates.
void BM_QJsonDocumentOfBody(benchmark::State& state)
{
    const QByteArray& bytes = twelveHourBody().bytes;
    double held = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        held = double(mallinfo2().uordblks + mallinfo2().hblkhd - before);
        benchmark::DoNotOptimize(document.isObject());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["document_MiB"] = held / kMiB;
    state.counters["document_per_body"] = held / double(bytes.size());
}
BENCHMARK(BM_QJsonDocumentOfBody)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
