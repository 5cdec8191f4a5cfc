#include "common/TestMain.h"

#include "platform/AudioCapture.h"

#include <QAudioDevice>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMediaDevices>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

// Capture through a real sound server: a private PulseAudio daemon with a pipe source that the
// test feeds with a known tone, opened through DeviceCaptureSource like any microphone.
//
// Qt's PulseAudio backend connects once per process, and other classes in this executable use
// QMediaDevices first; so the capture runs in a child process of this same executable, which
// finds the server through its environment from the start.

namespace {

constexpr int kRate = 48000;
constexpr double kToneHz = 1000.0;
// Enough for the buffers checked plus slack for audio written before the record stream ran.
constexpr qsizetype kToneFrames = CaptureChunker::kFrames * 16;
constexpr int kBuffersChecked = 12;

const char* const kProbeVariable = "PINDLE_PULSE_PROBE_FIFO";
const char* const kSourceName = "pindle_tone";

// The tone written into the pipe: 1 kHz whose level climbs from 0.2 to 0.6, so any run of
// samples has one place in it (a dropped, doubled or reordered frame shows).
float toneSample(qsizetype n)
{
    const double level = 0.2 + 0.4 * static_cast<double>(n) / static_cast<double>(kToneFrames);
    return static_cast<float>(level * std::sin(2.0 * std::numbers::pi * kToneHz * static_cast<double>(n) / kRate));
}

// Writes the whole tone into the pipe source's FIFO on its own thread; the server reads it as it
// comes. Gives up when stopped, so a failed capture never leaves it blocked on a full pipe.
class ToneWriter {
public:
    explicit ToneWriter(const QString& fifo) : m_thread([this, fifo] { m_done = write(fifo); }) {}
    ~ToneWriter() { finish(); }
    ToneWriter(const ToneWriter&) = delete;
    ToneWriter& operator=(const ToneWriter&) = delete;

    // Stops and waits for the writer; true when it could open the pipe.
    bool finish()
    {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_done;
    }

private:
    bool write(const QString& fifo)
    {
        // The server holds the FIFO open, so a non-blocking open finds its reader.
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        std::vector<float> tone(static_cast<size_t>(kToneFrames));
        for (qsizetype n = 0; n < kToneFrames; ++n) {
            tone[static_cast<size_t>(n)] = toneSample(n);
        }
        const auto* bytes = reinterpret_cast<const char*>(tone.data());
        size_t left = tone.size() * sizeof(float);
        while (left > 0) {
            const ssize_t wrote = ::write(fd, bytes, left);
            if (wrote > 0) {
                bytes += wrote;
                left -= static_cast<size_t>(wrote);
                continue;
            }
            if (wrote < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            }
            // The pipe is full until the server reads; look again shortly unless told to stop.
            if (m_stop) {
                break;
            }
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 50);
        }
        ::close(fd);
        return true;
    }

    std::atomic<bool> m_stop = false;
    bool m_done = false;
    std::thread m_thread;
};

// Rising crossings of zero in one buffer; a 1 kHz tone at 48 kHz makes 4096 / 48 ≈ 85.3.
int risingCrossings(const std::vector<float>& buffer)
{
    int crossings = 0;
    for (size_t i = 1; i < buffer.size(); ++i) {
        crossings += (buffer[i - 1] < 0.0f && buffer[i] >= 0.0f) ? 1 : 0;
    }
    return crossings;
}

double rms(const std::vector<float>& buffer)
{
    double sum = 0.0;
    for (const float s : buffer) {
        sum += static_cast<double>(s) * static_cast<double>(s);
    }
    return buffer.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(buffer.size()));
}

QString readLog(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

bool sourceListed()
{
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    return std::any_of(inputs.cbegin(), inputs.cend(),
                       [](const QAudioDevice& d) { return d.id() == QByteArray(kSourceName); });
}

// Buffers as the capture thread handed them over.
struct Captured {
    QMutex mutex;
    std::vector<std::vector<float>> buffers;
    bool wrongShape = false;
    double rate = 0.0;

    int count()
    {
        QMutexLocker locker(&mutex);
        return static_cast<int>(buffers.size());
    }
};

} // namespace

class PulseCaptureTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A tone fed into the sound server comes out of DeviceCaptureSource as exact 4096-frame
    // buffers at the device's own format, every frame once and in order.
    void capturesToneFromSoundServer()
    {
        const QString fifo = qEnvironmentVariable(kProbeVariable);
        if (fifo.isEmpty()) {
            runServerAndProbe();
        } else {
            probe(fifo);
        }
    }

private:
    // Parent: a private server, then this executable again as the capturing client.
    void runServerAndProbe()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        QVERIFY2(!daemon.isEmpty(), "pulseaudio is not installed (scripts/install-deps installs it)");

        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/pindle-pulse-XXXXXX"));
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("home")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("run")));
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString socket = dir.filePath(QStringLiteral("native"));
        const QString fifo = dir.filePath(QStringLiteral("tone"));
        const QString clientConfig = dir.filePath(QStringLiteral("client.conf"));
        {
            QFile config(clientConfig);
            QVERIFY(config.open(QIODevice::WriteOnly));
            // A client that can't reach our server must fail, not start one of its own.
            config.write("autospawn = no\n");
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("PULSE_CLIENTCONFIG"), clientConfig);
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
        env.remove(QStringLiteral("PULSE_SINK"));
        env.remove(QStringLiteral("PULSE_SOURCE"));
        env.remove(QStringLiteral("DISPLAY"));
        // Keep the server off any session bus: parallel test runs would fight over its names.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("no-bus")));

        QProcess server;
        server.setProcessEnvironment(env);
        const QString serverLog = dir.filePath(QStringLiteral("pulseaudio.log"));
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.setStandardOutputFile(serverLog);
        // No configuration files: exactly these modules. The protocol loads last, so once its
        // socket exists the sources are there too.
        server.start(daemon,
                     {QStringLiteral("--daemonize=no"), QStringLiteral("-n"), QStringLiteral("--exit-idle-time=-1"),
                      QStringLiteral("--use-pid-file=no"), QStringLiteral("--disallow-exit"),
                      QStringLiteral("--disable-shm=yes"), QStringLiteral("--realtime=no"),
                      QStringLiteral("--high-priority=no"), QStringLiteral("--log-target=stderr"), QStringLiteral("-L"),
                      QStringLiteral("module-null-sink sink_name=pindle_out"), QStringLiteral("-L"),
                      QStringLiteral("module-pipe-source source_name=%1 file=%2 format=float32le rate=%3 channels=1")
                          .arg(QString::fromLatin1(kSourceName), fifo)
                          .arg(kRate),
                      QStringLiteral("-L"),
                      QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=%1").arg(socket)});
        QVERIFY2(server.waitForStarted(10000), qPrintable(server.errorString()));

        // Ready when the socket takes a connection.
        bool ready = false;
        for (int attempt = 0; attempt < 300 && !ready && server.state() == QProcess::Running; ++attempt) {
            if (QFileInfo::exists(socket)) {
                QLocalSocket probe;
                probe.connectToServer(socket);
                ready = probe.waitForConnected(1000);
            }
            if (!ready) {
                server.waitForFinished(50);
            }
        }
        QVERIFY2(ready, qPrintable(QStringLiteral("pulseaudio did not come up:\n") + readLog(serverLog)));
        QVERIFY(QFileInfo(fifo).exists());

        QProcess client;
        QProcessEnvironment clientEnv = env;
        clientEnv.insert(QString::fromLatin1(kProbeVariable), fifo);
        clientEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        client.setProcessEnvironment(clientEnv);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("PulseCaptureTest"), QStringLiteral("capturesToneFromSoundServer")});
        QVERIFY2(client.waitForStarted(10000), qPrintable(client.errorString()));
        const bool finished = client.waitForFinished(120000);
        const QString output = QString::fromLocal8Bit(client.readAll());
        const bool passed = finished && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
        if (!passed) {
            qWarning().noquote() << "capturing client:\n" << output;
            qWarning().noquote() << "pulseaudio:\n" << readLog(serverLog);
        }

        server.terminate();
        if (!server.waitForFinished(5000)) {
            server.kill();
            server.waitForFinished(5000);
        }
        QVERIFY2(finished, "the capturing client did not finish");
        QVERIFY2(passed, "the capturing client failed (its output is above)");
    }

    // Child: capture the pipe source while the tone is written into it.
    void probe(const QString& fifo)
    {
        // The server lists its sources to a fresh client at once; allow a slow start all the same.
        QTRY_VERIFY_WITH_TIMEOUT(sourceListed(), 10000);

        Captured captured;
        DeviceCaptureSource source;
        source.onBuffer = [&captured](const float* data, int frames, int channels, double rate) {
            QMutexLocker locker(&captured.mutex);
            captured.wrongShape |= frames != CaptureChunker::kFrames || channels != 1;
            captured.rate = rate;
            if (frames > 0 && channels > 0) {
                captured.buffers.emplace_back(data, data + qsizetype(frames) * channels);
            }
        };
        QString lost;
        source.onLost = [&lost](const QString& reason) { lost = reason; };

        const CaptureOpenResult opened = source.open(QString::fromLatin1(kSourceName));
        QVERIFY2(opened.ok(), qPrintable(opened.error));
        QCOMPARE(opened.format->channelCount, 1);
        QCOMPARE(opened.format->sampleRate, double(kRate));
        QVERIFY2(source.start(), qPrintable(source.errorString()));

        // The pipe delivers only what is written, so nothing arrives before the tone.
        ToneWriter writer(fifo);
        QTRY_VERIFY_WITH_TIMEOUT(captured.count() >= kBuffersChecked || !lost.isEmpty(), 60000);
        const bool wrote = writer.finish();
        source.stop();
        const int afterStop = captured.count();
        QTest::qWait(200);
        QCOMPARE(captured.count(), afterStop);

        QVERIFY(wrote);
        QVERIFY2(lost.isEmpty(), qPrintable(lost));
        QVERIFY(!captured.wrongShape);
        QCOMPARE(captured.rate, double(kRate));

        // Every buffer is the tone: its level and its pitch.
        for (const std::vector<float>& buffer : captured.buffers) {
            const double level = rms(buffer);
            QVERIFY2(level > 0.2 / std::numbers::sqrt2 * 0.9 && level < 0.6 / std::numbers::sqrt2 * 1.1,
                     qPrintable(QString::number(level)));
            const int crossings = risingCrossings(buffer);
            const double expected = kToneHz * CaptureChunker::kFrames / kRate;
            QVERIFY2(std::abs(crossings - expected) <= 1.5, qPrintable(QString::number(crossings)));
        }

        // And sample for sample the tone as written, from wherever the record stream joined it.
        std::vector<float> stream;
        for (const std::vector<float>& buffer : captured.buffers) {
            stream.insert(stream.end(), buffer.begin(), buffer.end());
        }
        const auto matchesAt = [&stream](qsizetype offset, qsizetype length) {
            if (offset + length > kToneFrames || length > static_cast<qsizetype>(stream.size())) {
                return false;
            }
            for (qsizetype i = 0; i < length; ++i) {
                if (std::abs(stream[static_cast<size_t>(i)] - toneSample(offset + i)) > 1e-5f) {
                    return false;
                }
            }
            return true;
        };
        qsizetype offset = -1;
        for (qsizetype candidate = 0; candidate < kToneFrames && offset < 0; ++candidate) {
            if (matchesAt(candidate, 256)) {
                offset = candidate;
            }
        }
        QVERIFY2(offset >= 0, "the captured audio is not the tone written");
        QVERIFY(matchesAt(offset, static_cast<qsizetype>(stream.size())));
    }
};

PINDLE_TEST(PulseCaptureTest)
#include "test_pulse_capture.moc"
