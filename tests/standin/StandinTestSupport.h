#pragma once

#include "common/StandinProcess.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QWebSocket>
#include <QtTest>

#include <memory>

// Shared by the stand-in's tests: one running stand-in per test class, signed in as Ada.
namespace standin_test {

inline constexpr int kWaitMs = 10'000;

inline QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

inline const QString kAda = QStringLiteral("ada@example.com");
inline const QString kBob = QStringLiteral("bob@example.com");

// A shoot body as the logger sends it on start.
inline QJsonObject shootBody(const QString& title)
{
    return QJsonObject{{QStringLiteral("title"), title},
                       {QStringLiteral("tc_format"), QStringLiteral("25|0|0")},
                       {QStringLiteral("audio_epoch_ms"), 1700000000000.0}};
}

// The request-log entry of one "METHOD /path" in the state.
inline QJsonObject logged(const QJsonObject& state, const QString& key)
{
    return state.value(QStringLiteral("requests")).toObject().value(key).toObject();
}

inline QString createShoot(StandinProcess& standin, const QString& cookie, const QString& title = QStringLiteral("S"))
{
    return standin.request("POST", QStringLiteral("/api/logger/shoots"), json(shootBody(title)), cookie)
        .json()
        .value(QStringLiteral("token"))
        .toString();
}

// A client of "/ws" with Qt's WebSocket: what a test sends and everything the stand-in answers.
class WsClient {
public:
    WsClient()
    {
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            texts.append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QObject::connect(&m_socket, &QWebSocket::disconnected, [this] {
            closed = true;
            closeCode = static_cast<int>(m_socket.closeCode());
        });
    }

    bool open(const QUrl& base, const QString& cookie, const QString& path = QStringLiteral("/ws"))
    {
        QUrl url = base;
        url.setScheme(QStringLiteral("ws"));
        url.setPath(path);
        QNetworkRequest request(url);
        if (!cookie.isEmpty())
            request.setRawHeader("Cookie", cookie.toUtf8());
        request.setRawHeader("x-pindle-client", "pindle-logger");
        bool connected = false;
        const auto connection = QObject::connect(&m_socket, &QWebSocket::connected, [&] { connected = true; });
        m_socket.open(request);
        const bool ok = QTest::qWaitFor([&] { return connected || closed; }, kWaitMs) && connected;
        QObject::disconnect(connection);
        return ok;
    }

    void send(const QJsonObject& message) { m_socket.sendTextMessage(QString::fromUtf8(json(message))); }
    void sendAudio(qsizetype bytes) { m_socket.sendBinaryMessage(QByteArray(bytes, '\0')); }
    void start(const QString& token, bool withToken = true)
    {
        QJsonObject message{{QStringLiteral("type"), QStringLiteral("questions_transcribe_start")},
                            {QStringLiteral("language"), QStringLiteral("en")},
                            {QStringLiteral("encoding"), QStringLiteral("linear16")},
                            {QStringLiteral("sample_rate"), 16000},
                            {QStringLiteral("client"), QStringLiteral("logger")}};
        if (withToken)
            message.insert(QStringLiteral("token"), token);
        send(message);
    }
    void stop() { send({{QStringLiteral("type"), QStringLiteral("recording_stop")}}); }
    bool waitTexts(qsizetype count)
    {
        return QTest::qWaitFor([&] { return texts.size() >= count; }, kWaitMs);
    }
    bool waitClosed()
    {
        return QTest::qWaitFor([&] { return closed; }, kWaitMs);
    }
    void close() { m_socket.close(); }

    QList<QJsonObject> texts;
    bool closed = false;
    int closeCode = -1;

private:
    QWebSocket m_socket;
};

// A bare TCP client: bytes out, bytes and the close in, for what well-behaved clients never send.
class RawClient {
public:
    explicit RawClient(const QUrl& base)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(base.port()));
        socket.waitForConnected(kWaitMs);
    }

    void send(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }

    // Waits for one whole HTTP answer and takes it from what was received; its status, 0 when
    // none came.
    int answer()
    {
        if (!QTest::qWaitFor([&] { return wholeAnswer() > 0 || closed; }, kWaitMs))
            return 0;
        const qsizetype size = wholeAnswer();
        if (size == 0)
            return 0;
        const int status = received.mid(9, 3).toInt();
        received.remove(0, size);
        return status;
    }

    bool waitClosed()
    {
        return QTest::qWaitFor([&] { return closed; }, kWaitMs);
    }

    QTcpSocket socket;
    QByteArray received;
    bool closed = false;

private:
    // The size of the first whole answer received (head and Content-Length body), else 0.
    qsizetype wholeAnswer() const
    {
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0)
            return 0;
        qsizetype length = 0;
        for (const QByteArray& line : received.left(end).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        return received.size() >= end + 4 + length ? end + 4 + length : 0;
    }
};

} // namespace standin_test
