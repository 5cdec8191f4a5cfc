#include "common/TestMain.h"

#include "DecodeWorker.h"
#include "Recognizer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <barrier>
#include <cstring>
#include <semaphore>
#include <thread>

using namespace standin;

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
        const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
        const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
        if (espeak.isEmpty() || sox.isEmpty())
            QSKIP("espeak-ng and sox make the speech");
        QTemporaryDir dir;
        const QString wav = dir.filePath(QStringLiteral("speech.wav"));
        const QString raw = dir.filePath(QStringLiteral("speech.raw"));
        QCOMPARE(QProcess::execute(espeak, {"-g", "0", "-w", wav,
                                            "the camera keeps rolling while the actors walk across the long field "
                                            "and the director watches every single moment of the scene from the "
                                            "small tent near the road where the crew has parked all of the trucks"}),
                 0);
        QCOMPARE(QProcess::execute(sox, {wav, "-r", "16000", "-c", "1", "-b", "16", "-e", "signed", "-t", "raw", raw}),
                 0);
        QFile file(raw);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        std::vector<qint16> samples(static_cast<size_t>(bytes.size() / 2));
        std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);

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
};

PINDLE_TEST(StandinRecognizerTest)
#include "StandinRecognizerTest.moc"
