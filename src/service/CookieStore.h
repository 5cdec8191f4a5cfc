#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <atomic>
#include <chrono>
#include <optional>

// Where the session cookie survives restarts. Synchronous: each call returns when the store has
// answered (or given up). Failures are not reported beyond the return values: a store that cannot
// be read means "no cookie", a failed write or removal is ignored by the sign-in flow.
class CookieStore {
public:
    virtual ~CookieStore() = default;

    // The stored cookie text; nullopt when there is none or it cannot be read.
    [[nodiscard]] virtual std::optional<QString> load() = 0;
    // Replaces the stored cookie. Returns whether the store accepted it.
    virtual bool save(const QString& cookie) = 0;
    // Removes the stored cookie; returns whether the store confirmed it (absent counts as done).
    virtual bool remove() = 0;
};

// The system keyring through the freedesktop Secret Service (QtKeychain): one generic password
// with service "io.pindle.logger" and account "session_cookie", its data the cookie in UTF-8.
// Nothing is ever written in clear text when no keyring is reachable.
//
// Threads: QtKeychain jobs are asynchronous and not safe to start from several threads, so the
// store runs every job on its own keyring thread, inside a local event loop bounded by
// `timeout`. The calling thread only waits; it runs no event loop, so a call is safe from any
// thread, including the main thread, and never re-enters the caller's event handlers. A call
// blocks for at most about `timeout`.
class SecretServiceCookieStore final : public CookieStore {
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{5000};
    static constexpr char kService[] = "io.pindle.logger";
    static constexpr char kAccount[] = "session_cookie";

    // `service` and `account` name the keyring item; tests use their own names so they never
    // touch the application's item.
    explicit SecretServiceCookieStore(QString service = QString::fromLatin1(kService),
                                      QString account = QString::fromLatin1(kAccount),
                                      std::chrono::milliseconds timeout = kDefaultTimeout);
    ~SecretServiceCookieStore() override;

    SecretServiceCookieStore(const SecretServiceCookieStore&) = delete;
    SecretServiceCookieStore& operator=(const SecretServiceCookieStore&) = delete;

    // nullopt also when the item's data is not valid UTF-8.
    [[nodiscard]] std::optional<QString> load() override;
    bool save(const QString& cookie) override;
    bool remove() override;

    // The keyring's explanation of the last failed call (for tests and diagnostics; it never
    // contains the cookie). Empty after a success.
    [[nodiscard]] QString lastError() const;

private:
    enum class Operation { Read, Write, Delete };
    struct Outcome {
        bool ok = false;
        QByteArray data;
        QString error;
    };
    // On the calling thread: hands the job to the keyring thread and waits for it.
    [[nodiscard]] Outcome run(Operation operation, const QString& data);
    // On the keyring thread.
    [[nodiscard]] static Outcome runJob(Operation operation, const QString& service, const QString& account,
                                        const QString& data, std::chrono::milliseconds timeout);

    const QString m_service;
    const QString m_account;
    const std::chrono::milliseconds m_timeout;
    mutable QMutex m_errorMutex;
    QString m_lastError;
};

// A store in memory, for tests and for runs that must not touch the keyring. Thread-safe.
class InMemoryCookieStore final : public CookieStore {
public:
    InMemoryCookieStore() = default;
    explicit InMemoryCookieStore(std::optional<QString> initial) : m_cookie(std::move(initial)) {}

    [[nodiscard]] std::optional<QString> load() override;
    bool save(const QString& cookie) override;
    bool remove() override;

    // The stored value without counting as a load.
    [[nodiscard]] std::optional<QString> stored() const;
    // How many times load(), save() and remove() were called.
    [[nodiscard]] int loadCount() const { return m_loads.load(); }
    [[nodiscard]] int saveCount() const { return m_saves.load(); }
    [[nodiscard]] int removeCount() const { return m_removes.load(); }

private:
    mutable QMutex m_mutex;
    std::optional<QString> m_cookie;
    std::atomic<int> m_loads{0};
    std::atomic<int> m_saves{0};
    std::atomic<int> m_removes{0};
};
