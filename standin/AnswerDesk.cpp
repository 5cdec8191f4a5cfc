#include "AnswerDesk.h"

#include "JsonFields.h"
#include "TextAnswers.h"

namespace standin {

namespace {

constexpr qsizetype kShortestQuery = 3;
constexpr qsizetype kKeptQueryChars = 200;

// What the state keeps of a request body: summaries may carry a whole day's transcript.
QJsonValue kept(const Call& call, const QJsonObject& body)
{
    const qsizetype bytes = call.request.body.size();
    if (bytes <= AnswerDesk::kKeptBodyBytes)
        return body;
    return QJsonObject{{QStringLiteral("cut"), true}, {QStringLiteral("bytes"), static_cast<double>(bytes)}};
}

void remember(QJsonArray& list, const QJsonObject& entry)
{
    list.append(entry);
    while (list.size() > AnswerDesk::kKeptRequests)
        list.removeFirst();
}

// Uses a topic needs before it counts, by the agent's sensitivity.
std::optional<int> minUsesFor(const QString& sensitivity)
{
    if (sensitivity == QLatin1StringView("low"))
        return 3;
    if (sensitivity == QLatin1StringView("normal"))
        return 2;
    if (sensitivity == QLatin1StringView("high"))
        return 1;
    return std::nullopt;
}

} // namespace

void AnswerDesk::registerRoutes(Router& router)
{
    router.add("POST", QStringLiteral("/api/shoot/summarise"), Access::Session,
               [this](const Call& call) { return summarise(call); });
    router.add("POST", QStringLiteral("/api/logger/channel-brief"), Access::Session,
               [this](const Call& call) { return channelBrief(call); });
    router.add("GET", QStringLiteral("/api/velko/ai-search"), Access::Session,
               [this](const Call& call) { return search(call); });
    // Opened in a browser, which carries no session.
    router.add("GET", QStringLiteral("/open/{}"), Access::Open, [this](const Call& call) { return openShoot(call); });
}

Reply AnswerDesk::summarise(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const QString transcript = fields.string(QLatin1StringView("transcript"), true);
    fields.string(QLatin1StringView("context"), false);
    fields.string(QLatin1StringView("leadIn"), false);
    fields.stringArray(QLatin1StringView("speakers"), false);
    fields.string(QLatin1StringView("token"), false);
    if (!fields.ok())
        return fields.error();

    const QString summary = text::summarise(transcript);
    remember(m_summaries,
             QJsonObject{{QStringLiteral("request"), kept(call, body)}, {QStringLiteral("summary"), summary}});
    return jsonReply(
        QJsonObject{{QStringLiteral("summary"), summary}, {QStringLiteral("sentiment"), QStringLiteral("neutral")}});
}

Reply AnswerDesk::channelBrief(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const auto channels = fields.objectArray(QLatin1StringView("channels"), true);
    fields.objectArray(QLatin1StringView("logged"), true);
    const QString sensitivity = fields.string(QLatin1StringView("sensitivity"), true);
    fields.string(QLatin1StringView("token"), false);
    if (!fields.ok())
        return fields.error();
    const auto minUses = minUsesFor(sensitivity);
    if (!minUses)
        return errorReply(400, QStringLiteral("\"sensitivity\" must be \"low\", \"normal\" or \"high\""));

    QJsonArray briefs;
    for (const QJsonValue& value : *channels) {
        JsonFields channel(value.toObject());
        const auto index = channel.integer(QLatin1StringView("index"), true);
        channel.string(QLatin1StringView("name"), true);
        const auto lines = channel.objectArray(QLatin1StringView("lines"), true);
        const QString previous = channel.string(QLatin1StringView("previous_topic"), false);
        if (!channel.ok())
            return errorReply(400, QStringLiteral("channel: ") + channel.problem());
        QStringList texts;
        for (const QJsonValue& lineValue : *lines) {
            JsonFields line(lineValue.toObject());
            texts.append(line.string(QLatin1StringView("text"), true));
            line.string(QLatin1StringView("speaker"), false);
            if (!line.ok())
                return errorReply(400, QStringLiteral("channel line: ") + line.problem());
        }
        briefs.append(text::briefFor(*index, texts, previous, *minUses));
    }
    remember(m_briefs, QJsonObject{{QStringLiteral("request"), kept(call, body)}, {QStringLiteral("briefs"), briefs}});
    return jsonReply(QJsonObject{{QStringLiteral("briefs"), briefs}});
}

Reply AnswerDesk::search(const Call& call)
{
    const QString query = call.request.query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded).trimmed();
    if (query.size() < kShortestQuery) {
        return jsonReply(QJsonObject{{QStringLiteral("error"), QStringLiteral("Ask with at least 3 characters.")},
                                     {QStringLiteral("results"), QJsonArray()}},
                         400);
    }
    const QJsonArray results = text::search(m_shoots.shootsOf(call.account), query);
    remember(m_searches, QJsonObject{{QStringLiteral("q"), query.left(kKeptQueryChars)},
                                     {QStringLiteral("results"), results.size()}});
    return jsonReply(QJsonObject{{QStringLiteral("results"), results}});
}

Reply AnswerDesk::openShoot(const Call& call) const
{
    const Shoot* shoot = m_shoots.byShareToken(call.params.value(0));
    if (!shoot)
        return htmlReply("<!doctype html>\n<html><body><h1>No such shoot</h1></body></html>\n", 404);
    return htmlReply(text::sharePage(*shoot));
}

QJsonObject AnswerDesk::stateJson() const
{
    return QJsonObject{{QStringLiteral("summaries"), m_summaries},
                       {QStringLiteral("briefs"), m_briefs},
                       {QStringLiteral("searches"), m_searches}};
}

} // namespace standin
