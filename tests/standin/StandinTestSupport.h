#pragma once

#include "common/StandinProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

// Shared by the stand-in's tests: one running stand-in per test class, signed in as Ada.
namespace standin_test {

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

} // namespace standin_test
