#include "screens/LogSearchModel.h"

#include "export/LogExportText.h"
#include "service/APIService.h"

#include <QJsonArray>
#include <QJsonObject>

// The search across shoots: the service's route, its answer checked and capped, and the two
// actions of a hit.

namespace {

// The characters a URL path keeps as they are, beside letters, digits and "-._~".
constexpr char kPathKept[] = "!$&'()*+,;=:@/";

QString cappedText(const QJsonValue& value, const QString& fallback = QString())
{
    return value.isString() ? LogExport::leftCharacters(value.toString(), LogSearchModel::kLongestCloudText) : fallback;
}

QList<CloudSearchHit> cloudHitsOf(const QJsonObject& body)
{
    QList<CloudSearchHit> hits;
    const QJsonValue results = body.value(QLatin1StringView("results"));
    if (!results.isArray())
        return hits;
    for (const QJsonValue& value : results.toArray()) {
        if (hits.size() >= LogSearchModel::kMostCloudHits)
            break;
        if (!value.isObject())
            continue;
        const QJsonObject result = value.toObject();
        hits.append(CloudSearchHit{
            QUuid::createUuid(),
            cappedText(result.value(QLatin1StringView("share_token"))),
            cappedText(result.value(QLatin1StringView("title")), QString::fromLatin1(LogSearchModel::kUntitledShoot)),
            cappedText(result.value(QLatin1StringView("timecode"))),
            cappedText(result.value(QLatin1StringView("speaker"))),
            cappedText(result.value(QLatin1StringView("text"))),
            cappedText(result.value(QLatin1StringView("why"))),
        });
    }
    return hits;
}

QString problemOf(const QJsonObject& body)
{
    const QJsonValue error = body.value(QLatin1StringView("error"));
    // A blank reason says nothing: the general one is shown instead.
    const QString text = error.isString() ? error.toString() : QString();
    if (text.trimmed().isEmpty())
        return QString::fromLatin1(LogSearchModel::kSearchFailed);
    return LogExport::leftCharacters(text, LogSearchModel::kLongestProblem);
}

} // namespace

bool LogSearchModel::canSubmit() const
{
    return !m_searching && longEnough(m_query, kShortestCloudQuery);
}

void LogSearchModel::submit()
{
    const QString query = LogExport::trimSpacesAndTabs(m_query);
    if (!longEnough(query, kShortestCloudQuery))
        return;
    if (!m_sources.service) {
        setCloud(false, QString::fromLatin1(kUnreachable), std::nullopt);
        return;
    }
    const quint64 ticket = ++m_ticket;
    setCloud(true, QString(), std::nullopt);
    ServiceRequest request;
    request.method = "GET";
    request.path = QStringLiteral("/api/velko/ai-search?q=") + QString::fromLatin1(QUrl::toPercentEncoding(query));
    request.timeout = kCloudTimeout;
    request.client.clear();
    m_sources.service->send(request, this,
                            [this, ticket](ServiceResult<ServiceReply> result) { answer(ticket, result); });
}

void LogSearchModel::answer(quint64 ticket, const ServiceResult<ServiceReply>& result)
{
    // An answer to a query the logger has since replaced would overwrite the newer one's hits.
    if (ticket != m_ticket)
        return;
    if (!result.ok()) {
        switch (result.error().kind()) {
        case ServiceError::Kind::TooLarge:
        case ServiceError::Kind::InvalidResponse:
            // An answer came, and it is not one we can use.
            setCloud(false, QString::fromLatin1(kSearchFailed), QList<CloudSearchHit>());
            return;
        default:
            setCloud(false, QString::fromLatin1(kUnreachable), std::nullopt);
            return;
        }
    }
    const ServiceReply& reply = result.value();
    if (reply.body.size() > kLargestAnswerBytes) {
        setCloud(false, QString::fromLatin1(kSearchFailed), QList<CloudSearchHit>());
        return;
    }
    const QJsonObject body = reply.jsonObjectOrEmpty();
    QList<CloudSearchHit> hits = cloudHitsOf(body);
    QString problem;
    if (reply.status != 200)
        problem = problemOf(body);
    else if (hits.isEmpty())
        problem = QString::fromLatin1(kNoCloudHits);
    setCloud(false, problem, std::move(hits));
}

void LogSearchModel::setCloud(bool searching, const QString& problem, const std::optional<QList<CloudSearchHit>>& hits)
{
    m_searching = searching;
    m_problem = problem;
    if (hits)
        m_cloudHits = *hits;
    Q_EMIT cloudChanged();
}

QString LogSearchModel::copyText(const CloudSearchHit& hit)
{
    return hit.timecode + QStringLiteral("  ") + hit.speaker + QStringLiteral(": ") + hit.text;
}

std::optional<QUrl> LogSearchModel::shootUrl(const QString& base, const QString& token)
{
    if (token.isEmpty())
        return std::nullopt;
    const QByteArray path = QUrl::toPercentEncoding(token, QByteArray(kPathKept));
    const QUrl url(base + QStringLiteral("/open/") + QString::fromLatin1(path), QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return url;
}

std::optional<QUrl> LogSearchModel::shootUrl(const CloudSearchHit& hit) const
{
    if (!m_sources.service)
        return std::nullopt;
    return shootUrl(m_sources.service->baseURL(), hit.token);
}
