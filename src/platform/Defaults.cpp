#include "platform/Defaults.h"

#include "platform/AppPaths.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

Defaults::Defaults(QString filePath) : m_path(std::move(filePath))
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        // Something is there that cannot be read; never overwrite it.
        m_readOnly = SafeFile::moveAside(m_path).isEmpty();
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        SafeFile::moveAside(m_path);
        return;
    }
    m_values = document.object();
}

Defaults& Defaults::shared()
{
    static Defaults instance(AppPaths::defaultsFile());
    return instance;
}

QJsonValue Defaults::value(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.value(key);
}

bool Defaults::contains(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.contains(key);
}

std::optional<bool> Defaults::boolValue(const QString& key) const
{
    const QJsonValue v = value(key);
    return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt;
}

std::optional<double> Defaults::number(const QString& key) const
{
    const QJsonValue v = value(key);
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return std::nullopt;
    return v.toDouble();
}

std::optional<QString> Defaults::string(const QString& key) const
{
    const QJsonValue v = value(key);
    return v.isString() ? std::optional<QString>(v.toString()) : std::nullopt;
}

std::optional<QStringList> Defaults::stringList(const QString& key) const
{
    const QJsonValue v = value(key);
    if (!v.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue& element : v.toArray()) {
        if (!element.isString())
            return std::nullopt;
        list.append(element.toString());
    }
    return list;
}

void Defaults::set(const QString& key, const QJsonValue& value)
{
    QMutexLocker lock(&m_mutex);
    if (value.isUndefined())
        m_values.remove(key);
    else
        m_values.insert(key, value);
    writeLocked();
}

void Defaults::set(const QString& key, const QStringList& value)
{
    set(key, QJsonValue(QJsonArray::fromStringList(value)));
}

void Defaults::remove(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    m_values.remove(key);
    writeLocked();
}

bool Defaults::lastWriteSucceeded() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastWriteOk;
}

void Defaults::writeLocked()
{
    if (m_readOnly) {
        m_lastWriteOk = false;
        return;
    }
    m_lastWriteOk = SafeFile::writeAtomically(m_path, QJsonDocument(m_values).toJson(QJsonDocument::Indented));
}
