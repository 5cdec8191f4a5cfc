#pragma once

// The base of engine tests against a real stand-in whose streaming socket plays scripted
// results: one stand-in per test class, signed in, with a service over it.

#include "common/StandinProcess.h"

#include "service/APIService.h"
#include "service/CookieStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QObject>
#include <QtTest>

#include <memory>

// A final result as the socket plays it, `afterMs` into the stream, with one timed word.
inline QJsonObject finalResult(int afterMs, const QString& id, const QString& text, double start, double end)
{
    return {{QStringLiteral("type"), QStringLiteral("final")},
            {QStringLiteral("after_ms"), afterMs},
            {QStringLiteral("id"), id},
            {QStringLiteral("text"), text},
            {QStringLiteral("words"),
             QJsonArray{QJsonObject{
                 {QStringLiteral("word"), text}, {QStringLiteral("start"), start}, {QStringLiteral("end"), end}}}}};
}

class ScriptedStandinTest : public QObject {
protected:
    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<InMemoryCookieStore> m_store;
    std::unique_ptr<APIService> m_service;
    QString m_cookie;

    // For initTestCase: the stand-in started and signed in.
    void startStandin()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        QVERIFY(!m_cookie.isEmpty());
        m_store = std::make_unique<InMemoryCookieStore>(m_cookie);
        m_service = std::make_unique<APIService>(m_standin->baseUrl().toString(), *m_store);
    }

    // A new shoot on the account; its token, empty when it could not be made.
    QString createShoot(const QString& title)
    {
        const QJsonObject body{{QStringLiteral("title"), title},
                               {QStringLiteral("tc_format"), QStringLiteral("25|0|0")},
                               {QStringLiteral("audio_epoch_ms"), 1700000000000.0}};
        return m_standin
            ->request("POST", QStringLiteral("/api/logger/shoots"), QJsonDocument(body).toJson(QJsonDocument::Compact),
                      m_cookie)
            .json()
            .value(QStringLiteral("token"))
            .toString();
    }

    // What the socket plays to the next streams.
    void script(const QJsonArray& steps)
    {
        const QJsonObject answer =
            m_standin->control(QStringLiteral("ws-script"), {{QStringLiteral("results"), steps}});
        QVERIFY2(answer.value(QStringLiteral("ok")).toBool(), QJsonDocument(answer).toJson().constData());
    }

    // The socket's connections so far, oldest first.
    QJsonArray connections()
    {
        return m_standin->request("GET", QStringLiteral("/__control/ws-state"))
            .json()
            .value(QStringLiteral("connections"))
            .toArray();
    }
};
