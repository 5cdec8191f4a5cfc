#include "service/APIService.h"

#include "platform/Clock.h"
#include "platform/TextCuts.h"
#include "service/CookieStore.h"
#include "service/NetworkThread.h"
#include "service/ReplyWatch.h"
#include "service/ServiceUrl.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>

#include <utility>

namespace {

// An HTTP method is a token of upper-case letters ("GET", "POST", "PUT" ...).
bool isMethodToken(const QByteArray& method)
{
    if (method.isEmpty() || method.size() > 16)
        return false;
    for (const char c : method) {
        if (c < 'A' || c > 'Z')
            return false;
    }
    return true;
}

std::chrono::milliseconds timerSpan(std::chrono::milliseconds span)
{
    constexpr qint64 kMaxMs = 24LL * 60 * 60 * 1000;
    return std::chrono::milliseconds(std::clamp<qint64>(span.count(), 1, kMaxMs));
}

// Wraps a completion so that it runs only while the caller's context object lives.
template <typename Completion> auto guarded(QObject* context, Completion done)
{
    return
        [hasContext = context != nullptr, guard = QPointer<QObject>(context), done = std::move(done)](auto&&... args) {
            if (hasContext && guard.isNull())
                return;
            if (done)
                done(std::forward<decltype(args)>(args)...);
        };
}

// The cookie a code check's answer carries: "sid=" + its "sid" string, else the first piece of
// the first "Set-Cookie" header up to ";" (the attributes that follow are not part of it).
std::optional<QString> cookieFromVerify(const QJsonObject& answer, const QByteArray& setCookie)
{
    const QJsonValue sid = answer.value(QLatin1String("sid"));
    if (sid.isString())
        return QStringLiteral("sid=") + sid.toString();
    const QList<QByteArray> headers = setCookie.split('\n');
    for (const QByteArray& header : headers) {
        const QList<QByteArray> pieces = header.split(';');
        for (const QByteArray& piece : pieces) {
            const QByteArray trimmed = piece.trimmed();
            if (!trimmed.isEmpty())
                return QString::fromUtf8(trimmed);
        }
    }
    return std::nullopt;
}

// Service texts shown to the user: a non-blank string, kept to a sane length; anything else is
// "no text". Line breaks go at the ends too, unlike in a quote: around one sentence they only pad
// the alert, and a text of nothing else falls back to ours.
QString shownText(const QJsonValue& value)
{
    constexpr qsizetype kMaxShown = 500;
    if (!value.isString())
        return QString();
    return TextCuts::cutToUnits(value.toString().trimmed(), kMaxShown);
}

// A text for one log line: control characters (line breaks included) become spaces.
QString forLog(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

ServiceResult<QJsonObject> ServiceReply::jsonObject() const
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return ServiceError::json(error.errorString());
    return document.isObject() ? document.object() : QJsonObject();
}

QJsonObject ServiceReply::jsonObjectOrEmpty() const
{
    const ServiceResult<QJsonObject> parsed = jsonObject();
    return parsed.ok() ? parsed.value() : QJsonObject();
}

APIService::APIService(QString baseUrl, CookieStore& store, Clock* clock, QObject* parent)
    : QObject(parent), m_baseUrl(ServiceUrl::normalisedBase(baseUrl)), m_store(store), m_clock(Clock::orSystem(clock)),
      m_network(NetworkThread::makeManager(m_baseUrl, this)), m_cookieWriter(new QThreadPool(this))
{
    // One writer thread keeps saves and deletions of the cookie in the order they were asked for.
    m_cookieWriter->setMaxThreadCount(1);
    // The shared service is never destroyed, so its destructor's wait never runs at exit. Nor
    // would its upload thread stop: it goes now, before the objects of the process it uses do
    // (an answer could no longer be delivered anyway).
    if (QCoreApplication* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            delete std::exchange(m_uploads, nullptr);
            waitForCookieWrites(std::chrono::milliseconds(kQuitCookieWait));
        });
    }
}

APIService::~APIService()
{
    // First, so that nothing the upload thread sends back meets a service half gone.
    delete m_uploads;
    waitForCookieWrites();
}

APIService& APIService::shared()
{
    // Never destroyed: other threads may still read the cookie while the process exits.
    static SecretServiceCookieStore* store = new SecretServiceCookieStore;
    static APIService* service = new APIService(ServiceUrl::baseUrlFromEnvironment(), *store);
    return *service;
}

std::optional<QString> APIService::sessionCookie()
{
    QMutexLocker lock(&m_cookieLock);
    if (!m_cookieLoaded) {
        std::optional<QString> stored = m_store.load();
        // A stored value we would not send is as good as none.
        if (stored && !isUsableCookie(*stored))
            stored.reset();
        m_cachedCookie = std::move(stored);
        m_cookieLoaded = true;
    }
    return m_cachedCookie;
}

bool APIService::isUsableCookie(const QString& cookie)
{
    constexpr qsizetype kMaxCookieLength = 4096;
    if (cookie.isEmpty() || cookie.size() > kMaxCookieLength)
        return false;
    // The service's sessions are name=value pairs with both halves present.
    const qsizetype equals = cookie.indexOf(QLatin1Char('='));
    if (equals <= 0 || equals == cookie.size() - 1)
        return false;
    for (const QChar c : cookie) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || u == u';')
            return false;
    }
    return true;
}

void APIService::saveSessionCookie(const QString& cookie)
{
    if (!isUsableCookie(cookie))
        return;
    CookieStore& store = m_store;
    m_cookieWriter->start([&store, cookie] {
        qInfo("[Pindle] login: persisting session cookie to Keychain");
        store.save(cookie);
        qInfo("[Pindle] login: Keychain write returned");
    });
}

void APIService::deleteSessionCookie()
{
    CookieStore& store = m_store;
    m_cookieWriter->start([&store] { store.remove(); });
}

bool APIService::waitForCookieWrites(std::optional<std::chrono::milliseconds> limit)
{
    return m_cookieWriter->waitForDone(limit ? static_cast<int>(timerSpan(*limit).count()) : -1);
}

void APIService::forgetSessionCookie()
{
    Q_EMIT sessionEnding();
    {
        QMutexLocker lock(&m_cookieLock);
        m_cachedCookie.reset();
        m_cookieLoaded = true;
    }
    deleteSessionCookie();
}

void APIService::send(ServiceRequest request, QObject* context, ReplyCompletion done)
{
    auto finish = guarded(context, std::move(done));
    auto failSoon = [this, &finish](ServiceError error) {
        // Never complete before send() returns: callers may still be setting up.
        QMetaObject::invokeMethod(
            this,
            [finish, error = std::move(error)]() mutable { finish(ServiceResult<ServiceReply>(std::move(error))); },
            Qt::QueuedConnection);
    };

    ServiceResult<QUrl> url = ServiceUrl::resolve(m_baseUrl, request.path);
    if (!url.ok())
        return failSoon(url.error());
    if (!isMethodToken(request.method))
        return failSoon(ServiceError::badResponse());

    QNetworkRequest networkRequest(url.value());
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    if (!request.client.isEmpty())
        networkRequest.setRawHeader("x-pindle-client", request.client);
    if (request.withSession) {
        const std::optional<QString> cookie = request.sessionCookie ? request.sessionCookie : sessionCookie();
        if (cookie && isUsableCookie(*cookie))
            networkRequest.setRawHeader("Cookie", cookie->toUtf8());
    }
    const bool encoded = request.encodedBody.has_value();
    const bool hasBody = encoded || request.body;
    if (hasBody)
        networkRequest.setRawHeader("Content-Type", "application/json");
    // Taken over, not copied: the network layer reads the caller's bytes.
    EncodedBody encodedBody = encoded ? std::exchange(*request.encodedBody, EncodedBody()) : EncodedBody();
    const QByteArray payload =
        request.body && !encoded ? QJsonDocument(*request.body).toJson(QJsonDocument::Compact) : QByteArray();
    const qsizetype bodySize = encoded ? encodedBody.size() : payload.size();

    // Silence (real time, see ReplyWatch) alone would let an answer trickling in byte by byte keep
    // the exchange open for ever: a deadline on the service's clock bounds it too. Small bodies get
    // no extra time; a large one a second per kSlowestUploadRate bytes.
    const std::chrono::milliseconds silence = timerSpan(request.timeout);
    const std::chrono::milliseconds deadline =
        timerSpan(request.timeout + std::chrono::seconds(bodySize / kSlowestUploadRate));

    // An encoded body may be the shoot's whole log: it goes up from the upload thread, so that its
    // chunks, their progress and its final release never reach the main thread.
    if (encoded) {
        if (!m_uploads)
            m_uploads = new NetworkThread(m_baseUrl, this);
        return m_uploads->send(networkRequest, request.method, std::move(encodedBody), silence, m_clock, deadline,
                               std::move(finish));
    }

    SocketQueues::Written writtenBefore = hasBody ? SocketQueues::written() : SocketQueues::Written();
    QNetworkReply* reply = hasBody || request.method != "GET"
                               ? m_network->sendCustomRequest(networkRequest, request.method, payload)
                               : m_network->get(networkRequest);
    ReplyWatch::watch(reply, silence, std::move(finish), std::move(writtenBefore))->setDeadline(m_clock, deadline);
}

void APIService::sendLoginCode(const QString& email, QObject* context, Completion done)
{
    ServiceRequest request;
    request.path = QStringLiteral("/auth/login");
    request.body = QJsonObject{{QStringLiteral("email"), email}};
    request.timeout = kLoginTimeout;
    request.withSession = false;
    request.client.clear();

    send(request, context, [done = std::move(done)](ServiceResult<ServiceReply> result) {
        if (!result.ok())
            return done(result.error());
        const ServiceReply& reply = result.value();
        const ServiceResult<QJsonObject> parsed = reply.jsonObject();
        if (!parsed.ok())
            return done(parsed.error());
        const QJsonObject& answer = parsed.value();
        if (answer.value(QLatin1String("ok")) == QJsonValue(true))
            return done(std::nullopt);
        // A "message" means the code is on its way, but only in a successful answer: an error
        // page with a message has sent nothing.
        if (reply.isSuccess() && answer.contains(QLatin1String("message")))
            return done(std::nullopt);
        QString text = shownText(answer.value(QLatin1String("error")));
        if (text.isEmpty() && !reply.isSuccess())
            text = shownText(answer.value(QLatin1String("message")));
        done(ServiceError::loginFailed(text.isEmpty() ? QStringLiteral("Failed to send code") : text));
    });
}

void APIService::verifyLoginCode(const QString& email, const QString& code, QObject* context, Completion done)
{
    ServiceRequest request;
    request.path = QStringLiteral("/auth/verify");
    request.body = QJsonObject{{QStringLiteral("email"), email}, {QStringLiteral("code"), code}};
    request.timeout = kVerifyTimeout;
    request.withSession = false;
    request.client = "live";

    qInfo("[Pindle] login: sending verify request");
    send(request, context, [this, email, done = std::move(done)](ServiceResult<ServiceReply> result) {
        if (!result.ok())
            return done(result.error());
        const ServiceReply& reply = result.value();
        qInfo("[Pindle] login: HTTP %d, %lld bytes", reply.status, static_cast<long long>(reply.body.size()));
        const ServiceResult<QJsonObject> parsed = reply.jsonObject();
        if (!parsed.ok())
            return done(parsed.error());
        const QJsonObject& answer = parsed.value();
        if (answer.value(QLatin1String("ok")) != QJsonValue(true)) {
            const QString text = shownText(answer.value(QLatin1String("error")));
            return done(ServiceError::loginFailed(text.isEmpty() ? QStringLiteral("Unknown error") : text));
        }

        // Never keep a cookie that could smuggle headers or further cookies into our requests.
        const std::optional<QString> cookie = cookieFromVerify(answer, reply.setCookie);
        if (!cookie || !isUsableCookie(*cookie))
            return done(ServiceError::loginFailed(QString::fromLatin1(kNoSessionText)));
        {
            QMutexLocker lock(&m_cookieLock);
            m_cachedCookie = *cookie;
            m_cookieLoaded = true;
        }
        saveSessionCookie(*cookie);

        const QString user = shownText(answer.value(QLatin1String("user")).toObject().value(QLatin1String("email")));
        qInfo("[Pindle] login: returning success for %s", qUtf8Printable(forLog(user.isEmpty() ? email : user)));
        done(std::nullopt);
    });
}

void APIService::postJSON(const QString& path, const QJsonObject& body, std::chrono::milliseconds timeout,
                          QObject* context, JsonCompletion done)
{
    ServiceRequest request;
    request.path = path;
    request.body = body;
    request.timeout = timeout;

    send(request, context, [done = std::move(done)](ServiceResult<ServiceReply> result) {
        if (!result.ok()) {
            // A path that forms no URL is the client's "invalid response".
            if (result.error().kind() == ServiceError::Kind::BadResponse)
                return done(ServiceError::invalidResponse());
            return done(result.error());
        }
        const ServiceReply& reply = result.value();
        if (reply.status != 200)
            return done(ServiceError::loginFailed(QStringLiteral("Server returned status %1").arg(reply.status)));
        done(reply.jsonObject());
    });
}

std::optional<QJsonObject> APIService::summaryBody(const QString& transcript, const QString& context,
                                                   const QString& leadIn, const QStringList& speakers,
                                                   const std::optional<QString>& token)
{
    const QString trimmed = TextCuts::trimSpacesAndTabs(transcript);
    if (trimmed.isEmpty())
        return std::nullopt;
    QJsonObject body{
        {QStringLiteral("transcript"), TextCuts::firstCharacters(trimmed, kSummaryTranscriptChars)},
        {QStringLiteral("context"), TextCuts::firstCharacters(context, kSummaryContextChars)},
    };
    if (!leadIn.isEmpty())
        body.insert(QStringLiteral("leadIn"), TextCuts::lastCharacters(leadIn, kSummaryLeadInChars));
    if (!speakers.isEmpty())
        body.insert(QStringLiteral("speakers"), QJsonArray::fromStringList(speakers.mid(0, kSummaryMaxSpeakers)));
    if (token)
        body.insert(QStringLiteral("token"), *token);
    return body;
}

void APIService::summarise(const QString& transcript, const QString& context, const QString& leadIn,
                           const QStringList& speakers, const std::optional<QString>& token, QObject* receiver,
                           std::function<void(QString summary)> done)
{
    auto finish = guarded(receiver, std::move(done));
    const std::optional<QJsonObject> body = summaryBody(transcript, context, leadIn, speakers, token);
    if (!body) {
        QMetaObject::invokeMethod(
            this, [finish]() mutable { finish(QString()); }, Qt::QueuedConnection);
        return;
    }
    postJSON(QStringLiteral("/api/shoot/summarise"), *body, kSummaryTimeout, receiver,
             [finish](ServiceResult<QJsonObject> result) mutable {
                 if (!result.ok())
                     return finish(QString());
                 const QJsonValue summary = result.value().value(QLatin1String("summary"));
                 finish(summary.isString() ? TextCuts::trimSpacesAndTabs(summary.toString()) : QString());
             });
}
