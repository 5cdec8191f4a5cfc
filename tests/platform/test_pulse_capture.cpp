#include "common/TestMain.h"

#include "platform/AudioDevices.h"
#include "platform/ManualClock.h"
#include "platform/PulseCapture.h"
#include "platform/PulseConnection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <pulse/introspect.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

// Inputs and capture through a real sound server: a private PulseAudio daemon whose pipe sources
// the test feeds, so every sample that comes out can be checked against what went in.

namespace {

constexpr int kRate = 48000;
constexpr int kDeskChannels = 16;
constexpr qsizetype kToneFrames = CaptureChunker::kFrames * 16;
constexpr int kBuffersChecked = 12;
const QString kDesk = QStringLiteral("pindle_desk");

// Channel c carries its own tone, (c + 1) × 250 Hz, whose level climbs from 0.2 to 0.6, so any
// run of frames has one place in the stream: a mixed, swapped, dropped or doubled sample shows.
float toneSample(qsizetype n, int channel)
{
    const double level = 0.2 + 0.4 * static_cast<double>(n) / static_cast<double>(kToneFrames);
    return static_cast<float>(level * std::sin(2.0 * std::numbers::pi * 250.0 * (channel + 1) * n / kRate));
}

// Writes the tone into a pipe source's FIFO on its own thread; the server reads it as it comes.
// Gives up when finished early, so a failed capture never leaves it blocked on a full pipe.
class ToneWriter {
public:
    ToneWriter(const QString& fifo, int channels) : m_thread([this, fifo, channels] { m_done = write(fifo, channels); })
    {
    }
    ~ToneWriter() { finish(); }
    ToneWriter(const ToneWriter&) = delete;
    ToneWriter& operator=(const ToneWriter&) = delete;

    // Stops and waits for the writer; true when it could open the pipe.
    bool finish()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_done;
    }

private:
    bool write(const QString& fifo, int channels)
    {
        // The server holds the FIFO open, so a non-blocking open finds its reader.
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        std::vector<float> tone;
        for (qsizetype n = 0; n < kToneFrames; ++n) {
            for (int c = 0; c < channels; ++c)
                tone.push_back(toneSample(n, c));
        }
        const auto* bytes = reinterpret_cast<const char*>(tone.data());
        size_t left = tone.size() * sizeof(float);
        while (left > 0 && !m_stop) {
            const ssize_t wrote = ::write(fd, bytes, left);
            if (wrote > 0) {
                bytes += wrote;
                left -= static_cast<size_t>(wrote);
            } else if (wrote < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            } else {
                pollfd pfd{fd, POLLOUT, 0};
                ::poll(&pfd, 1, 50);
            }
        }
        ::close(fd);
        return true;
    }

    std::atomic<bool> m_stop = false;
    bool m_done = false;
    std::thread m_thread;
};

// Buffers as the capture thread handed them over.
struct Captured {
    QMutex mutex;
    std::vector<float> samples;
    int buffers = 0;
    bool wrongShape = false;
    QThread* thread = nullptr;

    CaptureChunker::Handler handler(int channels)
    {
        return [this, channels](const float* data, int frames, int count, double rate) {
            QMutexLocker locker(&mutex);
            wrongShape |= frames != CaptureChunker::kFrames || count != channels || rate != kRate;
            samples.insert(samples.end(), data, data + qsizetype(frames) * count);
            thread = QThread::currentThread();
            ++buffers;
        };
    }
    int count()
    {
        QMutexLocker locker(&mutex);
        return buffers;
    }
};

// Runs one request on the server, as a control client would; false when it did not complete.
template <typename Request> bool ask(Request request)
{
    PulseConnection connection("pindle-test");
    if (!connection.waitForReady())
        return false;
    PulseLock lock(connection.mainloop());
    const PulseOperationPtr operation(request(connection.context()));
    return operation && connection.finishLocked(operation.get());
}

void setEnv(const char* name, const QString& value)
{
    qputenv(name, QFile::encodeName(value));
}

} // namespace

class PulseCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/pindle-pulse-XXXXXX")};
    QProcess m_server;
    QHash<QByteArray, std::optional<QByteArray>> m_savedEnv;

    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    // The daemon with no configuration but this script: an output (whose monitor is no input),
    // the 16-channel desk with the pro channel map as default, then the socket, so once the
    // socket answers the sources are there.
    bool startServer()
    {
        QStringList aux;
        for (int c = 0; c < kDeskChannels; ++c)
            aux.append(QStringLiteral("aux%1").arg(c));
        QFile script(path("server.pa"));
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write(QStringLiteral("load-module module-null-sink sink_name=pindle_out\n"
                                    "load-module module-pipe-source source_name=%1 file=%2 format=float32le rate=%3 "
                                    "channels=%4 channel_map=%5 source_properties=device.description=Desk\n"
                                    "set-default-source %1\n"
                                    "load-module module-native-protocol-unix auth-anonymous=1 socket=%6\n")
                         .arg(kDesk, path("desk"))
                         .arg(kRate)
                         .arg(kDeskChannels)
                         .arg(aux.join(QLatin1Char(',')), path("native"))
                         .toUtf8());
        script.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("run"));
        // Off any session bus: parallel test runs would fight over its names.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + path("no-bus"));
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.setStandardOutputFile(path("pulseaudio.log"), QIODevice::Append);
        m_server.start(QStandardPaths::findExecutable(QStringLiteral("pulseaudio")),
                       {QStringLiteral("--daemonize=no"), QStringLiteral("-n"), QStringLiteral("--exit-idle-time=-1"),
                        QStringLiteral("--use-pid-file=no"), QStringLiteral("--disallow-exit"),
                        QStringLiteral("--disable-shm=yes"), QStringLiteral("--realtime=no"),
                        QStringLiteral("--high-priority=no"), QStringLiteral("--log-target=stderr"),
                        QStringLiteral("-F"), script.fileName()});
        for (int attempt = 0; attempt < 300 && m_server.state() != QProcess::NotRunning; ++attempt) {
            QLocalSocket probe;
            probe.connectToServer(path("native"));
            if (probe.waitForConnected(1000))
                return true;
            m_server.waitForFinished(30);
        }
        QFile log(path("pulseaudio.log"));
        qWarning().noquote() << "pulseaudio did not come up:\n"
                             << (log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray());
        return false;
    }

    void stopServer()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty(),
                 "pulseaudio is not installed (scripts/install-deps installs it)");
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("home")) && QDir(m_dir.path()).mkpath(QStringLiteral("run")));
        QVERIFY(QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(startServer());
        // This process's clients reach only the private server, and leave the user's files alone.
        for (const char* name : {"PULSE_SERVER", "PULSE_COOKIE", "PULSE_CLIENTCONFIG"})
            m_savedEnv.insert(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        setEnv("PULSE_SERVER", QStringLiteral("unix:") + path("native"));
        setEnv("PULSE_COOKIE", path("cookie"));
        setEnv("PULSE_CLIENTCONFIG", path("client.conf"));
    }

    void cleanupTestCase()
    {
        stopServer();
        for (auto it = m_savedEnv.cbegin(); it != m_savedEnv.cend(); ++it) {
            if (it.value()) {
                qputenv(it.key().constData(), *it.value());
            } else {
                qunsetenv(it.key().constData());
            }
        }
    }

    // Sixteen tones go in on sixteen channels and come out on the same sixteen, sample for
    // sample, in exact 4096-frame buffers on the capture thread: nothing remixed or reordered.
    void sixteenChannelsArriveApart()
    {
        PulseCaptureSource source;
        Captured captured;
        source.onBuffer = captured.handler(kDeskChannels);
        const CaptureOpenResult byDefault = source.open(std::nullopt);
        QVERIFY2(byDefault.ok(), qPrintable(byDefault.error));
        QCOMPARE(*byDefault.format, (CaptureFormat{kRate, kDeskChannels}));
        QVERIFY(source.open(kDesk).ok());
        QVERIFY2(source.start(), qPrintable(source.errorString()));

        ToneWriter writer(path("desk"), kDeskChannels);
        QTRY_VERIFY_WITH_TIMEOUT(captured.count() >= kBuffersChecked, 20000);
        QVERIFY(writer.finish());
        source.stop();
        const int atStop = captured.count();
        QTest::qWait(100);
        QCOMPARE(captured.count(), atStop);
        QVERIFY(!captured.wrongShape);
        QVERIFY(captured.thread != QThread::currentThread());

        const std::vector<float>& got = captured.samples;
        const auto frames = static_cast<qsizetype>(got.size()) / kDeskChannels;
        const auto matchesAt = [&got](qsizetype offset, qsizetype length) {
            for (qsizetype i = 0; i < length && offset + i < kToneFrames; ++i) {
                for (int c = 0; c < kDeskChannels; ++c) {
                    if (got[static_cast<size_t>(i * kDeskChannels + c)] != toneSample(offset + i, c))
                        return false;
                }
            }
            return offset + length <= kToneFrames;
        };
        qsizetype offset = 0;
        while (offset < kToneFrames && !matchesAt(offset, 64))
            ++offset;
        QVERIFY2(offset < kToneFrames, "the captured audio is not the tones written");
        QVERIFY(matchesAt(offset, frames));
    }

    // An input plugged in shows with its channel names, the default follows the server, and
    // unplugging the input being captured ends the capture with one report naming it.
    void devicesFollowTheServer()
    {
        ManualClock clock;
        AudioDevices devices(nullptr, &clock);
        QCOMPARE(devices.list().size(), 1);
        const AudioInputDevice desk = devices.list().constFirst();
        QCOMPARE(desk.uid, kDesk);
        QCOMPARE(desk.name, QStringLiteral("Desk"));
        QCOMPARE(desk.channelCount, kDeskChannels);
        QCOMPARE(desk.channelNames, QStringList(kDeskChannels, QString()));
        QVERIFY(desk.isDefault);

        uint32_t pair = PA_INVALID_INDEX;
        const QByteArray args = QStringLiteral("source_name=pindle_pair file=%1 format=float32le rate=44100 channels=2 "
                                               "channel_map=front-left,front-right "
                                               "source_properties=device.description=Pair")
                                    .arg(path("pair"))
                                    .toUtf8();
        QVERIFY(ask([&](pa_context* c) {
            const auto loaded = [](pa_context*, uint32_t index, void* out) { *static_cast<uint32_t*>(out) = index; };
            return pa_context_load_module(c, "module-pipe-source", args.constData(), loaded, &pair);
        }));
        QTRY_COMPARE(devices.list().size(), 2);
        const AudioInputDevice added = devices.list().constLast();
        QCOMPARE(added.name, QStringLiteral("Pair"));
        QCOMPARE(added.channelNames, (QStringList{QStringLiteral("Front Left"), QStringLiteral("Front Right")}));
        QVERIFY(!added.isDefault);
        QVERIFY(ask([](pa_context* c) { return pa_context_set_default_source(c, "pindle_pair", nullptr, nullptr); }));
        QTRY_VERIFY(devices.defaultInput() && devices.defaultInput()->uid == added.uid);

        PulseCaptureSource capture;
        QStringList lost;
        capture.onLost = [&lost](const QString& reason) { lost.append(reason); };
        const CaptureOpenResult opened = capture.open(std::nullopt);
        QVERIFY2(opened.ok(), qPrintable(opened.error));
        QCOMPARE(*opened.format, (CaptureFormat{44100, 2}));
        QVERIFY(capture.start());
        QVERIFY(ask([pair](pa_context* c) { return pa_context_unload_module(c, pair, nullptr, nullptr); }));
        QTRY_COMPARE(lost, QStringList{QStringLiteral("Pair was disconnected.")});
        QTRY_COMPARE(devices.list().size(), 1);
        const CaptureOpenResult gone = capture.open(added.uid);
        QCOMPARE(gone.error, QStringLiteral("The input device \"pindle_pair\" is not present."));
        QVERIFY(!capture.start());
    }

    // The server going away ends a capture and empties the list; once it is back the list
    // returns on the next retry, and capture opens again.
    void serverGoneAndBack()
    {
        ManualClock clock;
        AudioDevices devices(nullptr, &clock);
        PulseCaptureSource capture;
        QStringList lost;
        capture.onLost = [&lost](const QString& reason) { lost.append(reason); };
        QVERIFY(capture.open(kDesk).ok());
        QVERIFY(capture.start());

        stopServer();
        QTRY_COMPARE(lost, QStringList{QStringLiteral("Desk stopped: the sound server went away.")});
        QTRY_VERIFY(devices.list().isEmpty());
        QVERIFY(capture.open(kDesk).error.contains(QStringLiteral("sound server")));

        QVERIFY(startServer());
        clock.advance(AudioDevices::kRetryInterval);
        QTRY_COMPARE(devices.list().size(), 1);
        QVERIFY(capture.open(kDesk).ok());
        QVERIFY(capture.start());
        capture.stop();
        QCOMPARE(lost.size(), 1);
    }

    // With nothing listening, or a server that never answers, the list is empty and opening
    // fails with a sentence, within the connection's deadlines.
    void unreachableServer_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing listening") << false << QStringLiteral("Couldn't reach the sound server: ");
        QTest::newRow("never answers") << true << QStringLiteral("The sound server did not answer in time.");
    }
    void unreachableServer()
    {
        QFETCH(bool, silent);
        QFETCH(QString, error);
        QLocalServer listener;
        QVERIFY(!silent || listener.listen(path("silent")));
        setEnv("PULSE_SERVER", QStringLiteral("unix:") + path("silent"));
        QElapsedTimer elapsed;
        elapsed.start();
        AudioDevices devices;
        PulseCaptureSource capture;
        const CaptureOpenResult opened = capture.open(std::nullopt);
        setEnv("PULSE_SERVER", QStringLiteral("unix:") + path("native"));
        QVERIFY(devices.list().isEmpty());
        QVERIFY2(opened.error.startsWith(error), qPrintable(opened.error));
        QVERIFY(!capture.start());
        QVERIFY(elapsed.elapsed() < 3 * PulseConnection::kTimeout.count());
    }
};

PINDLE_TEST(PulseCaptureTest)
#include "test_pulse_capture.moc"
