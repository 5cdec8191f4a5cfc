#include "DecodeWorker.h"

#include <QThread>
#include <QtEndian>

#include <vector>

namespace standin {

void DecodeThreads::add(QThread* thread)
{
    m_threads.removeAll(nullptr);
    m_threads.append(thread);
}

void DecodeThreads::waitForAll()
{
    for (const QPointer<QThread>& thread : std::exchange(m_threads, {})) {
        if (!thread)
            continue;
        thread->wait();
        delete thread.get();
    }
}

DecodeWorker::DecodeWorker(std::shared_ptr<RecognizerPool> pool) : m_pool(std::move(pool))
{
}

DecodeWorker::~DecodeWorker()
{
    m_pool->give(std::move(m_recognizer));
}

void DecodeWorker::startThread(DecodeThreads& threads)
{
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("standin.decode"));
    moveToThread(m_thread);
    // The worker goes with its thread's end, on that thread; the thread object afterwards, on
    // the thread that made it.
    QThread* thread = m_thread;
    connect(
        thread, &QThread::finished, this, [this] { delete this; }, Qt::DirectConnection);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    threads.add(thread);
    thread->start();
}

void DecodeWorker::feed(const QByteArray& audio)
{
    if (m_pending.load() + audio.size() > kMaxPendingBytes) {
        m_dropped += audio.size();
        return;
    }
    m_pending += audio.size();
    QMetaObject::invokeMethod(
        this, [this, audio] { decode(audio); }, Qt::QueuedConnection);
}

void DecodeWorker::finish()
{
    QMetaObject::invokeMethod(
        this, [this] { end(); }, Qt::QueuedConnection);
}

void DecodeWorker::shutDown()
{
    m_abandoned.store(true);
    // Never waited for here: the server's thread must not stall behind a slice or a model load.
    m_thread->quit();
}

bool DecodeWorker::ensureRecognizer()
{
    if (m_recognizer)
        return true;
    if (m_failed)
        return false;
    QString problem;
    m_recognizer = m_pool->take(problem);
    if (!m_recognizer) {
        m_failed = true;
        Q_EMIT unavailable(problem);
        return false;
    }
    return true;
}

void DecodeWorker::decode(const QByteArray& audio)
{
    m_pending -= audio.size();
    if (m_abandoned.load() || !ensureRecognizer())
        return;
    QByteArray bytes = m_carry + audio;
    m_carry.clear();
    if (bytes.size() % 2 != 0) {
        m_carry = bytes.right(1);
        bytes.chop(1);
    }
    std::vector<qint16> samples(static_cast<size_t>(bytes.size() / 2));
    qFromLittleEndian<qint16>(bytes.constData(), static_cast<qsizetype>(samples.size()), samples.data());
    QList<Heard> heardList;
    m_recognizer->feed(samples, heardList);
    report(heardList);
}

void DecodeWorker::end()
{
    if (m_abandoned.load() || !m_recognizer)
        return;
    QList<Heard> heardList;
    m_recognizer->finish(heardList);
    report(heardList);
}

void DecodeWorker::report(const QList<Heard>& heardList)
{
    for (const Heard& heard : heardList)
        Q_EMIT this->heard(heard.final, heard.text, heard.words);
}

} // namespace standin
