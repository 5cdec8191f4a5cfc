#include "common/TestMain.h"

#include "DecodeWorker.h"
#include "Recognizer.h"

#include <QDir>
#include <QFile>
#include <QJsonValue>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <barrier>
#include <cmath>
#include <cstring>
#include <semaphore>
#include <thread>

using namespace standin;

namespace {

// espeak-ng reading `text`, as 16 kHz mono; empty without espeak-ng and sox.
std::vector<qint16> speech(const QString& text)
{
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
    QTemporaryDir dir;
    if (espeak.isEmpty() || sox.isEmpty() || !dir.isValid())
        return {};
    const QString wav = dir.filePath(QStringLiteral("speech.wav"));
    const QString raw = dir.filePath(QStringLiteral("speech.raw"));
    if (QProcess::execute(espeak, {"-g", "0", "-w", wav, text}) != 0 ||
        QProcess::execute(sox, {wav, "-r", "16000", "-c", "1", "-b", "16", "-e", "signed", "-t", "raw", raw}) != 0)
        return {};
    QFile file(raw);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<qint16> samples(static_cast<size_t>(bytes.size() / 2));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

// Every word's start and end as the socket sends them, through the end of the audio.
QList<std::pair<double, double>> wordTimes(Recognizer& recognizer, const std::vector<qint16>& samples)
{
    QList<Heard> heard;
    for (size_t at = 0; at < samples.size(); at += 3200)
        recognizer.feed(std::span<const qint16>(samples).subspan(at, std::min<size_t>(3200, samples.size() - at)),
                        heard);
    recognizer.finish(heard);
    QList<std::pair<double, double>> times;
    for (const Heard& one : heard) {
        for (const QJsonValue& word : one.words)
            times.append({word[QStringLiteral("start")].toDouble(), word[QStringLiteral("end")].toDouble()});
    }
    return times;
}

} // namespace

// pocketsphinx in-process: loads from several threads at once, and utterances in sound that never
// pauses for long.
class StandinRecognizerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A model folder whose files are empty passes the existence check and fails inside
    // pocketsphinx, quickly enough to load hundreds of times: loads meeting in the library's
    // process-wide log file once freed it twice.
    void loadsAtOnce()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("en-us")));
        for (const char* name : {"en-us.lm.bin", "cmudict-en-us.dict"}) {
            QFile file(dir.filePath(QLatin1StringView(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        constexpr int kThreads = 4;
        constexpr int kRounds = 300;
        std::barrier meet(kThreads);
        std::atomic<int> refused{0};
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                for (int round = 0; round < kRounds; ++round) {
                    meet.arrive_and_wait();
                    QString problem;
                    if (!Recognizer::load(dir.path(), problem) && !problem.isEmpty())
                        ++refused;
                }
            });
        }
        threads.clear();
        QCOMPARE(refused.load(), kThreads * kRounds);
    }

    // Closing a stream while its decoder is busy (a slice, a model load) returns at once.
    void shutDownDoesNotWait()
    {
        DecodeThreads threads;
        auto* worker = new DecodeWorker(std::make_shared<RecognizerPool>(QStringLiteral("/nonexistent")));
        worker->startThread(threads);
        std::binary_semaphore busy(0);
        std::binary_semaphore release(0);
        bool released = false;
        QMetaObject::invokeMethod(worker, [&] {
            busy.release();
            released = release.try_acquire_for(std::chrono::seconds(5));
        });
        busy.acquire();
        worker->feed(QByteArray(3200, '\0'));
        worker->shutDown();
        release.release();
        threads.waitForAll();
        QVERIFY(released);
    }

    // Speech without a pause long enough for the voice detector still ends in utterances: at a
    // short pause once long, at the limit in any case, each text cut to whole words.
    void boundsContinuousSpeech()
    {
        const std::vector<qint16> samples =
            speech("the camera keeps rolling while the actors walk across the long field and the director watches "
                   "every single moment of the scene from the small tent near the road where the crew has parked all "
                   "of the trucks");
        if (samples.empty())
            QSKIP("espeak-ng and sox make the speech");
        UtteranceLimits limits;
        limits.longSamples = 3 * 16000;
        limits.maxSamples = 5 * 16000;
        limits.maxTextChars = 30;
        QString problem;
        const auto recognizer = Recognizer::load(QString::fromLatin1(Recognizer::kDefaultModelDir), problem, limits);
        if (!recognizer)
            QSKIP(qPrintable(problem));
        QList<Heard> heard;
        for (size_t at = 0; at < samples.size(); at += 3200)
            recognizer->feed(std::span<const qint16>(samples).subspan(at, std::min<size_t>(3200, samples.size() - at)),
                             heard);

        qsizetype finals = 0;
        for (const Heard& one : heard) {
            QVERIFY2(one.text.size() <= limits.maxTextChars, qPrintable(one.text));
            if (!one.final || one.words.isEmpty())
                continue;
            ++finals;
            const double span = one.words.last()[QStringLiteral("end")].toDouble() -
                                one.words.first()[QStringLiteral("start")].toDouble();
            QVERIFY2(span <= 5.1, qPrintable(QString::number(span)));
        }
        QVERIFY2(finals >= 2, qPrintable(QString::number(finals)));
    }

    // A recogniser goes back to the pool and serves the next connection: its word times count
    // from that connection's audio, not from the first audio it ever heard.
    void reusedRecognizerTimesFromItsConnection()
    {
        const std::vector<qint16> words = speech("quiet on set please. rolling. action.");
        if (words.empty())
            QSKIP("espeak-ng and sox make the speech");
        std::vector<qint16> samples(16000, 0);
        samples.insert(samples.end(), words.begin(), words.end());
        samples.insert(samples.end(), 16000, 0);
        RecognizerPool pool(QString::fromLatin1(Recognizer::kDefaultModelDir));
        QString problem;
        std::unique_ptr<Recognizer> recognizer = pool.take(problem);
        if (!recognizer)
            QSKIP(qPrintable(problem));
        // The speech lies between the second of silence before it and the one after.
        const double speechStart = 1.0;
        const double speechEnd = double(samples.size()) / 16000.0 - 1.0;
        for (int connection = 1; connection <= 3; ++connection) {
            const QList<std::pair<double, double>> times = wordTimes(*recognizer, samples);
            QVERIFY(!times.isEmpty());
            const QString where = QStringLiteral("connection %1: words from %2 s to %3 s")
                                      .arg(connection)
                                      .arg(times.first().first)
                                      .arg(times.last().second);
            QVERIFY2(times.first().first >= speechStart - 0.3 && times.first().first <= speechStart + 0.5,
                     qPrintable(where));
            QVERIFY2(times.last().second <= speechEnd + 0.3, qPrintable(where));
            pool.give(std::move(recognizer));
            recognizer = pool.take(problem);
            QVERIFY(recognizer);
        }
    }
};

PINDLE_TEST(StandinRecognizerTest)
#include "StandinRecognizerTest.moc"
