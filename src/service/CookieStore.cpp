#include "service/CookieStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSemaphore>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {

// QtKeychain queues every job of the process through one executor object, which stalls for good
// if a job finishes on a thread other than the executor's. So all jobs of the process run on this
// one thread, started on first use and stopped when the application object goes away.
class KeyringThread {
public:
    static constexpr std::chrono::seconds kStopWait{10};

    static KeyringThread& instance()
    {
        // Deliberately never destroyed: stopped by the post routine below.
        static KeyringThread* thread = new KeyringThread;
        return *thread;
    }

    // The object whose thread runs the jobs; nullptr once stopped.
    QObject* worker()
    {
        QMutexLocker lock(&m_mutex);
        return m_stopped ? nullptr : m_worker;
    }

private:
    KeyringThread()
    {
        m_thread.setObjectName(QStringLiteral("pindle-keyring"));
        m_worker = new QObject;
        m_worker->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start();
        qAddPostRoutine(&KeyringThread::stop);
    }

    static void stop()
    {
        KeyringThread& self = instance();
        {
            QMutexLocker lock(&self.m_mutex);
            self.m_stopped = true;
        }
        // The jobs already queued (a sign-out's removal among them) run before the quit queued
        // behind them; quitting at once would cut the running job short. Each job is bounded.
        QMetaObject::invokeMethod(
            self.m_worker, [&self] { self.m_thread.quit(); }, Qt::QueuedConnection);
        self.m_thread.wait(QDeadlineTimer(kStopWait));
    }

    QThread m_thread;
    QObject* m_worker = nullptr;
    QMutex m_mutex;
    bool m_stopped = false;
};

} // namespace

SecretServiceCookieStore::SecretServiceCookieStore(QString service, QString account, std::chrono::milliseconds timeout)
    : m_service(std::move(service)), m_account(std::move(account)), m_timeout(timeout)
{
}

SecretServiceCookieStore::~SecretServiceCookieStore() = default;

// Runs one job on the keyring thread inside a local event loop bounded by `timeout`. A job that
// outlives the timeout finishes on its own and deletes itself; its answer is then ignored.
SecretServiceCookieStore::Outcome SecretServiceCookieStore::runJob(Operation operation, const QString& service,
                                                                   const QString& account, const QString& data,
                                                                   std::chrono::milliseconds timeout)
{
    QKeychain::Job* job = nullptr;
    switch (operation) {
    case Operation::Read:
        job = new QKeychain::ReadPasswordJob(service);
        break;
    case Operation::Write: {
        auto* write = new QKeychain::WritePasswordJob(service);
        write->setTextData(data);
        job = write;
        break;
    }
    case Operation::Delete:
        job = new QKeychain::DeletePasswordJob(service);
        break;
    }
    job->setKey(account);
    // Never fall back to a clear-text settings file.
    job->setInsecureFallback(false);
    job->setAutoDelete(true);

    Outcome outcome;
    outcome.error = QStringLiteral("The keyring did not answer in time.");
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* finished) {
        const QKeychain::Error error = finished->error();
        outcome.ok =
            error == QKeychain::NoError || (operation == Operation::Delete && error == QKeychain::EntryNotFound);
        outcome.error = outcome.ok ? QString() : finished->errorString();
        if (error == QKeychain::NoError && operation == Operation::Read)
            outcome.data = static_cast<QKeychain::ReadPasswordJob*>(finished)->binaryData();
        loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    job->start();
    loop.exec();
    return outcome;
}

SecretServiceCookieStore::Outcome SecretServiceCookieStore::run(Operation operation, const QString& data)
{
    struct Shared {
        QSemaphore done;
        Outcome outcome;
    };
    auto shared = std::make_shared<Shared>();

    QObject* worker = KeyringThread::instance().worker();
    const bool queued = worker != nullptr &&
                        QMetaObject::invokeMethod(
                            worker,
                            [shared, operation, service = m_service, account = m_account, data, timeout = m_timeout] {
                                shared->outcome = runJob(operation, service, account, data, timeout);
                                shared->done.release();
                            },
                            Qt::QueuedConnection);

    Outcome outcome;
    if (!queued) {
        outcome.error = QStringLiteral("The keyring is no longer available.");
    } else {
        // Jobs run one after another; allow for one that is ahead of ours.
        const auto wait = 2 * m_timeout + std::chrono::milliseconds(500);
        if (shared->done.tryAcquire(1, static_cast<int>(wait.count())))
            outcome = shared->outcome;
        else
            outcome.error = QStringLiteral("The keyring did not answer in time.");
    }

    {
        QMutexLocker lock(&m_errorMutex);
        m_lastError = outcome.error;
    }
    return outcome;
}

std::optional<QString> SecretServiceCookieStore::load()
{
    const Outcome outcome = run(Operation::Read, QString());
    if (!outcome.ok)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(outcome.data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool SecretServiceCookieStore::save(const QString& cookie)
{
    return run(Operation::Write, cookie).ok;
}

bool SecretServiceCookieStore::remove()
{
    return run(Operation::Delete, QString()).ok;
}

QString SecretServiceCookieStore::lastError() const
{
    QMutexLocker lock(&m_errorMutex);
    return m_lastError;
}

std::optional<QString> InMemoryCookieStore::load()
{
    m_loads.fetch_add(1);
    QMutexLocker lock(&m_mutex);
    return m_cookie;
}

bool InMemoryCookieStore::save(const QString& cookie)
{
    m_saves.fetch_add(1);
    QMutexLocker lock(&m_mutex);
    m_cookie = cookie;
    return true;
}

bool InMemoryCookieStore::remove()
{
    m_removes.fetch_add(1);
    QMutexLocker lock(&m_mutex);
    m_cookie.reset();
    return true;
}

std::optional<QString> InMemoryCookieStore::stored() const
{
    QMutexLocker lock(&m_mutex);
    return m_cookie;
}
