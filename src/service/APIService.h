#pragma once

#include "service/EncodedBody.h"
#include "service/ServiceError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

class Clock;
class CookieStore;
class NetworkThread;
class QNetworkAccessManager;
class QThreadPool;

// One HTTP exchange with the service, described by its caller.
struct ServiceRequest {
    // Appended to the base URL as text; begins with "/". Put ids and tokens in with
    // ServiceUrl::pathSegment.
    QString path;
    QByteArray method = "POST";
    // Sent as JSON with "Content-Type: application/json"; without a body no content type is sent.
    std::optional<QJsonObject> body;
    // A body already encoded as JSON, sent as it is in place of `body` (same content type). The
    // network layer reads these very bytes; no whole copy of them is made. Such a body (the shoot's
    // whole log) goes up from the service's upload thread, which lets go of it in the end: the
    // main thread only hands it over and takes the answer back.
    std::optional<EncodedBody> encodedBody;
    // Abandon the exchange when nothing arrives for this long (not counted while the body is still
    // going up, nor while the peer may still be reading it out of the sockets' buffers), and when
    // it has not ended this long after it began (plus time for a large body to go up, at
    // APIService::kSlowestUploadRate), however steadily the answer trickles in.
    std::chrono::milliseconds timeout{std::chrono::seconds(25)};
    // Send "Cookie" = APIService::sessionCookie() when there is one.
    bool withSession = true;
    // With `withSession`: the cookie to send in place of the one held when the request goes out,
    // for a request taken earlier that must go with the session it was taken in.
    std::optional<QString> sessionCookie;
    // The "x-pindle-client" header; empty leaves the header out.
    QByteArray client = "pindle-logger";
};

// The service's answer to one exchange, of any status. Untrusted: read it with the helpers.
struct ServiceReply {
    int status = 0;
    // At most APIService::kMaxBodyBytes; a bigger answer fails with TooLarge instead.
    QByteArray body;
    // The "Set-Cookie" header as received (several headers joined by "\n"); empty when absent.
    QByteArray setCookie;

    [[nodiscard]] bool isSuccess() const { return status >= 200 && status <= 299; }
    // The body as a JSON object. Not JSON (an empty body included) → a Json error; JSON that is
    // not an object → an empty object.
    [[nodiscard]] ServiceResult<QJsonObject> jsonObject() const;
    // The body as a JSON object, or an empty object for anything else (empty, not JSON, not an
    // object).
    [[nodiscard]] QJsonObject jsonObjectOrEmpty() const;
};

// The shared client of the online service: sign-in (send the e-mail code, check it and obtain the
// session cookie), the session cookie in memory and in the CookieStore, JSON requests that carry
// the session, and the summary of a marked moment.
//
// Threads: create and use the object on the main thread (its network requests run on the main
// event loop, those with an encoded body on an upload thread of its own, made on first use and
// joined by the destructor or when the application quits), except sessionCookie(), which is
// callable from any thread. Every asynchronous operation calls its completion on the main thread
// exactly once, never before the operation returns, and not at all when `context` (if given) has
// been destroyed by then or the service itself is destroyed first.
class APIService : public QObject {
    Q_OBJECT
public:
    // Answers bigger than this are abandoned (the service's answers are small JSON objects).
    static constexpr qint64 kMaxBodyBytes = 4 * 1024 * 1024;
    static constexpr std::chrono::seconds kLoginTimeout{60};
    static constexpr std::chrono::seconds kVerifyTimeout{20};
    static constexpr std::chrono::seconds kSummaryTimeout{30};
    // The slowest upload, in bytes per second, that a request's deadline allows for its body.
    static constexpr qint64 kSlowestUploadRate = 16 * 1024;
    // How long quitting waits for the keyring to take the last cookie save or removal.
    static constexpr std::chrono::seconds kQuitCookieWait{5};

    // Summary request limits, in user-perceived characters (and speakers).
    static constexpr int kSummaryTranscriptChars = 2000;
    static constexpr int kSummaryContextChars = 500;
    static constexpr int kSummaryLeadInChars = 1500;
    static constexpr int kSummaryMaxSpeakers = 8;

    using Completion = std::function<void(std::optional<ServiceError>)>;
    using JsonCompletion = std::function<void(ServiceResult<QJsonObject>)>;
    using ReplyCompletion = std::function<void(ServiceResult<ServiceReply>)>;

    // `baseUrl`: scheme and host, no trailing slash (see ServiceUrl). `store` must outlive the
    // service. `clock` (null: the system clock) times the requests' deadlines; their silence is
    // timed on real time, like the network itself.
    APIService(QString baseUrl, CookieStore& store, Clock* clock = nullptr, QObject* parent = nullptr);
    ~APIService() override;

    // The application's client: base URL from ServiceUrl::baseUrlFromEnvironment(), cookie in the
    // system keyring. Created on first use, on the main thread; lives until the process ends.
    static APIService& shared();

    [[nodiscard]] QString baseURL() const { return m_baseUrl; }

    // The session cookie as one name=value pair, or nullopt when signed out. The store is read at
    // most once per run (under the cookie lock); a missing or unusable stored value is remembered
    // as no cookie. Callable from any thread. The first call, at launch, should come from the main
    // thread (LoggerAccount does this), since it may wait for the keyring.
    [[nodiscard]] virtual std::optional<QString> sessionCookie();

    // Whether `cookie` may be sent as a "Cookie" header value: one name=value pair with both
    // halves present, at most 4096 characters, free of control characters (CR, LF, NUL ...) and
    // of ";" (which would inject headers or further cookies).
    [[nodiscard]] static bool isUsableCookie(const QString& cookie);

    // Keyring side of the cookie. Writes are queued in order on a background thread so the main
    // thread never waits for the keyring; waitForCookieWrites() blocks until they are done, or
    // `limit` has passed (then false). When the application quits, the service waits up to
    // kQuitCookieWait: the keyring goes away with the application object, and a sign-out just
    // before quitting must not leave the cookie behind.
    void saveSessionCookie(const QString& cookie);
    void deleteSessionCookie();
    bool waitForCookieWrites(std::optional<std::chrono::milliseconds> limit = std::nullopt);

    // The cookie half of the application's "Sign out": sessionEnding(), then forget the cookie in
    // memory (and never read the store again during this run), then delete the stored item.
    void forgetSessionCookie();

    // Asks the service to e-mail a sign-in code (POST "/auth/login"). Completes with nothing on
    // success, else the reason (loginFailed with the service's text or "Failed to send code", or
    // a transport / Json error).
    virtual void sendLoginCode(const QString& email, QObject* context, Completion done);

    // Checks the code (POST "/auth/verify") and keeps the session cookie it yields (in memory at
    // once, then in the store). Completes with nothing once the cookie is held; a refused code
    // fails with loginFailed (the service's "error" or "Unknown error"), an accepted code without
    // a usable cookie with loginFailed(kNoSessionText).
    virtual void verifyLoginCode(const QString& email, const QString& code, QObject* context, Completion done);

    // POSTs `body` with the session. Status other than exactly 200 → loginFailed("Server returned
    // status N"); a JSON answer that is not an object → an empty object.
    virtual void postJSON(const QString& path, const QJsonObject& body, std::chrono::milliseconds timeout,
                          QObject* context, JsonCompletion done);

    // Asks the service to summarise a marked moment ("/api/shoot/summarise"). Never fails: any
    // failure, and a transcript of only spaces and tabs (sent nowhere), yield an empty summary.
    virtual void summarise(const QString& transcript, const QString& context, const QString& leadIn,
                           const QStringList& speakers, const std::optional<QString>& token, QObject* receiver,
                           std::function<void(QString summary)> done);

    // The request body summarise() sends; nullopt when nothing would be sent.
    [[nodiscard]] static std::optional<QJsonObject> summaryBody(const QString& transcript, const QString& context,
                                                                const QString& leadIn, const QStringList& speakers,
                                                                const std::optional<QString>& token);

    // Sends one exchange and completes with the answer of any status, or with a transport,
    // timeout, size or URL error. The building block of every request to the service (sign-in,
    // session requests, phone scan, shoot sync). Cookies are handled only by us: nothing the
    // service sets is kept or replayed by the network layer, and redirects are not followed.
    void send(ServiceRequest request, QObject* context, ReplyCompletion done);

    // Shown when the code was accepted but the answer started no session.
    static constexpr char kNoSessionText[] = "The service did not start a session. Try again.";

Q_SIGNALS:
    // The session is about to be forgotten; sessionCookie() still has it. What must still reach
    // the account (the shoot's last sync) is taken now, with this cookie.
    void sessionEnding();

private:
    const QString m_baseUrl;
    CookieStore& m_store;
    Clock& m_clock;
    QNetworkAccessManager* m_network;
    QThreadPool* m_cookieWriter;
    NetworkThread* m_uploads = nullptr;

    // Guards the two cookie fields.
    QMutex m_cookieLock;
    std::optional<QString> m_cachedCookie;
    bool m_cookieLoaded = false;
};
