#include "platform/Defaults.h"

#include "platform/AppPaths.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <bit>
#include <cmath>

namespace {

// Stricter than QJsonValue's ==, which calls 0 and -0 equal and compares whole numbers past 2^53
// as doubles: a set skipped on such a match would lose the value.
bool sameValue(const QJsonValue& a, const QJsonValue& b)
{
    if (!a.isDouble() || !b.isDouble())
        return a == b;
    return std::bit_cast<quint64>(a.toDouble()) == std::bit_cast<quint64>(b.toDouble()) &&
           a.toInteger() == b.toInteger();
}

// The file: the values as an indented object, with the given texts spliced in as they are.
QByteArray fileText(const QJsonObject& values, const QHash<QString, QByteArray>& texts)
{
    if (texts.isEmpty())
        return QJsonDocument(values).toJson(QJsonDocument::Indented);
    QJsonObject plain = values;
    QStringList keys = texts.keys();
    keys.sort();
    for (const QString& key : std::as_const(keys))
        plain.remove(key);
    QByteArray text = QJsonDocument(plain).toJson(QJsonDocument::Indented);
    text.truncate(text.lastIndexOf('}'));
    while (text.endsWith('\n'))
        text.chop(1);
    bool first = plain.isEmpty();
    for (const QString& key : std::as_const(keys)) {
        // The key quoted as JSON quotes it: the one element of a compact array.
        const QByteArray quoted = QJsonDocument(QJsonArray{key}).toJson(QJsonDocument::Compact).chopped(1).sliced(1);
        text += (first ? "\n    " : ",\n    ") + quoted + ": " + texts.value(key);
        first = false;
    }
    return text + "\n}\n";
}

} // namespace

Defaults::Defaults(QString filePath, Clock* clock) : m_path(std::move(filePath)), m_clock(Clock::orSystem(clock))
{
    // A write cut off by a kill leaves its temporary beside the file.
    SafeFile::removeStaleTemporaries(m_path);
    QFile file(m_path);
    if (file.exists()) {
        const bool opened = file.open(QIODevice::ReadOnly);
        QJsonParseError error{};
        const QJsonDocument document = opened ? QJsonDocument::fromJson(file.readAll(), &error) : QJsonDocument();
        file.close();
        if (opened && error.error == QJsonParseError::NoError && document.isObject()) {
            m_values = document.object();
        } else {
            // Never overwrite what may still be recovered by hand.
            m_movedAside = SafeFile::moveAside(m_path);
            m_readOnly = m_movedAside.isEmpty();
        }
    }
    m_timer = m_clock.makeTimer([this] { onTimer(); });
    m_timer->setSingleShot(true);
    m_writer = std::thread([this] { run(); });
}

Defaults::~Defaults()
{
    flush();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_writer.join();
}

Defaults& Defaults::shared()
{
    static Defaults instance(AppPaths::defaultsFile());
    return instance;
}

QJsonValue Defaults::value(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.value(key);
}

bool Defaults::contains(const QString& key) const
{
    std::lock_guard lock(m_mutex);
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
    if (value.isUndefined()) {
        remove(key);
        return;
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_values.constFind(key);
    if (it != m_values.constEnd() && sameValue(*it, value))
        return;
    m_values.insert(key, value);
    m_texts.remove(key);
    changedLocked();
}

void Defaults::setJson(const QString& key, const QByteArray& json)
{
    const QByteArray text = json.trimmed();
    QJsonParseError error{};
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + text + ']', &error);
    if (text.isEmpty() || error.error != QJsonParseError::NoError || wrapped.array().size() != 1)
        return;
    const QJsonValue value = wrapped.array().at(0);
    std::lock_guard lock(m_mutex);
    const auto it = m_values.constFind(key);
    if (it != m_values.constEnd() && sameValue(*it, value) && m_texts.value(key) == text)
        return;
    m_values.insert(key, value);
    m_texts.insert(key, text);
    changedLocked();
}

void Defaults::set(const QString& key, const QStringList& value)
{
    set(key, QJsonValue(QJsonArray::fromStringList(value)));
}

void Defaults::remove(const QString& key)
{
    std::lock_guard lock(m_mutex);
    if (!m_values.contains(key))
        return;
    m_values.remove(key);
    m_texts.remove(key);
    changedLocked();
}

bool Defaults::flush()
{
    std::unique_lock lock(m_mutex);
    if (m_timerArmed && QThread::currentThread() == m_owner.thread()) {
        m_timer->stop();
        m_timerArmed = false;
    }
    quint64 target = m_generation;
    if (m_writtenGeneration >= target)
        return true;
    // The latest values were written and failed: a flush tries them again.
    if (m_finishedGeneration >= target)
        target = ++m_generation;
    if (m_submittedGeneration < target)
        submitLocked();
    m_finished.wait(lock, [&] { return m_finishedGeneration >= target; });
    return m_writtenGeneration >= target;
}

bool Defaults::lastWriteSucceeded() const
{
    std::lock_guard lock(m_mutex);
    return m_lastWriteOk;
}

int Defaults::writeCount() const
{
    std::lock_guard lock(m_mutex);
    return m_writeCount;
}

void Defaults::changedLocked()
{
    ++m_generation;
    if (m_timerArmed)
        return;
    // The first change after a quiet spell goes out at once; later ones wait out the interval.
    if (!m_submittedOnce || m_clock.monotonic() - m_lastSubmit >= writeInterval) {
        submitLocked();
        return;
    }
    m_timerArmed = true;
    if (QThread::currentThread() == m_owner.thread()) {
        startTimer();
    } else {
        QMetaObject::invokeMethod(
            &m_owner,
            [this] {
                std::lock_guard lock(m_mutex);
                startTimer();
            },
            Qt::QueuedConnection);
    }
}

void Defaults::startTimer()
{
    const auto remaining = m_lastSubmit + writeInterval - m_clock.monotonic();
    m_timer->start(std::max(std::chrono::ceil<std::chrono::milliseconds>(remaining), std::chrono::milliseconds(0)));
}

void Defaults::onTimer()
{
    std::lock_guard lock(m_mutex);
    m_timerArmed = false;
    if (m_submittedGeneration < m_generation)
        submitLocked();
}

void Defaults::submitLocked()
{
    // A snapshot shares the object's data; the next change copies it, once per write at most.
    m_pending.emplace(Snapshot{m_generation, m_values, m_texts});
    m_submittedGeneration = m_generation;
    m_lastSubmit = m_clock.monotonic();
    m_submittedOnce = true;
    m_wake.notify_one();
}

void Defaults::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending || m_stopping; });
        if (!m_pending)
            return;
        auto [generation, values, texts] = std::move(*m_pending);
        m_pending.reset();
        lock.unlock();

        const bool ok = !m_readOnly && SafeFile::writeAtomically(m_path, fileText(values, texts));
        values = QJsonObject();
        texts.clear();

        lock.lock();
        m_finishedGeneration = generation;
        m_lastWriteOk = ok;
        if (ok) {
            m_writtenGeneration = generation;
            ++m_writeCount;
        }
        m_finished.notify_all();
    }
}
