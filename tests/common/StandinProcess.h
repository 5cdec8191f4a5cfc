#pragma once

// A real pindle-standin for one test: the peer of service tests, never a mock.
//
// It starts the built stand-in with `--port 0 --code 424242 --test-control` (plus any extra
// arguments), waits up to 10 s for its "listening" line, and stops it when destroyed.
//
//   #include "common/StandinProcess.h"          // link pindle_test_standin
//
//   StandinProcess standin;
//   QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
//   qputenv("PINDLE_SERVICE_URL", standin.baseUrl().toString().toUtf8());
//   const QString cookie = standin.signIn(QStringLiteral("ada@example.com"));  // "sid=..."
//
//   // Spoil the next request to a path, then look at what the client sent:
//   standin.control(QStringLiteral("fault"), {{"path", "/api/logger/shoots"}, {"kind", "status"},
//                                             {"status", 500}});
//   const QJsonObject state = standin.state();   // shoots, scans, requests ("POST /auth/verify")...
//
// control() posts to "/__control/<path>" (the routes are listed in standin/ControlDesk.h and
// standin/README.md) and returns the answer's object. Note for "drop" faults: Qt's network stack
// resends a request once when a reused connection closes before any answer byte, so a drop that
// should reach a QNetworkAccessManager caller as an error needs count -1 (then "clear").
//
// The helpers block on a local event loop (at most 10 s each) and must run on the thread that
// owns the StandinProcess, which is the test's thread.

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class StandinProcess {
public:
    // One HTTP exchange; status 0 with `error` set when no answer came.
    struct Answer {
        int status = 0;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        QString error;

        [[nodiscard]] QJsonObject json() const;
        [[nodiscard]] QByteArray header(const QByteArray& name) const;
    };

    static constexpr const char* kCode = "424242";

    // `fixedCode` false leaves out "--code": the stand-in then makes up a code per address and
    // prints it ("sign-in code for <email>: <code>"), as it does for a person. `launcher`, when
    // given, is a command that runs the stand-in (such as {"prlimit", "--nofile=48"}).
    explicit StandinProcess(const QStringList& extraArguments = {}, bool fixedCode = true,
                            const QStringList& launcher = {});
    ~StandinProcess();

    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    [[nodiscard]] bool isReady() const { return m_ready; }
    // Why the start failed, with what the process printed.
    [[nodiscard]] QString failure() const { return m_failure; }

    // "http://127.0.0.1:<port>", no trailing slash.
    [[nodiscard]] QUrl baseUrl() const { return m_baseUrl; }
    [[nodiscard]] QString code() const { return QString::fromLatin1(kCode); }
    // The built pindle-standin, for tests that start it themselves.
    [[nodiscard]] static QString executable();
    // The process started (the launcher's, which becomes the stand-in when it execs it), for
    // tests that watch it through /proc or change its limits with `prlimit --pid`.
    [[nodiscard]] qint64 processId() const { return m_process->processId(); }

    // POST /__control/<path> (or `path` itself when it starts with "/") with `body`.
    QJsonObject control(const QString& path, const QJsonObject& body = {});
    // GET /__control/state.
    [[nodiscard]] QJsonObject state();
    // The state's shoot with this token; empty when there is none.
    [[nodiscard]] QJsonObject shoot(const QString& token);
    // The ids of that shoot's markers, sorted.
    [[nodiscard]] QStringList markerIDs(const QString& token);
    // Signs in with the fixed code; the session cookie "sid=...", empty on failure.
    [[nodiscard]] QString signIn(const QString& email);

    // Any request to the stand-in. `cookie` goes into "Cookie" when not empty; a body is sent
    // as application/json on every method but GET.
    Answer request(const QByteArray& method, const QString& pathAndQuery, const QByteArray& body = {},
                   const QString& cookie = {});

    // Types a console line ("scan latest 10:00:00:00").
    void sendConsole(const QByteArray& line);
    // Everything printed on standard output so far.
    [[nodiscard]] QByteArray output();
    // Waits until standard output holds `needle`.
    [[nodiscard]] bool waitForOutput(const QByteArray& needle, int timeoutMs = 5000);

    // Stops the stand-in through its console and returns its exit code (-1 when it had to be
    // killed). A clean 0 also means the sanitizers found nothing at exit.
    [[nodiscard]] int stop();

private:
    std::unique_ptr<QProcess> m_process;
    QNetworkAccessManager m_network;
    QByteArray m_output;
    QUrl m_baseUrl;
    QString m_failure;
    bool m_ready = false;
};
