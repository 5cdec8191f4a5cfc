#include "LiveSocket.h"

#include "ControlDesk.h"
#include "JsonFields.h"
#include "LiveConnection.h"
#include "Recognizer.h"
#include "WebSocketLink.h"

#include <QJsonArray>

namespace standin {

namespace {

constexpr int kLongestRefusalCount = 1000;
constexpr qsizetype kLongestCode = 200;

QJsonObject done()
{
    return QJsonObject{{QStringLiteral("ok"), true}};
}

} // namespace

LiveSocket::LiveSocket(StandinService& service, LiveConfig config, QObject* parent)
    : QObject(parent), m_service(service), m_config(std::move(config)),
      m_recognizers(std::make_shared<RecognizerPool>(
          m_config.modelDir.isEmpty() ? QString::fromLatin1(Recognizer::kDefaultModelDir) : m_config.modelDir))
{
}

LiveSocket::~LiveSocket()
{
    // Connections first: they tell their decoding threads to end, which are then waited for.
    qDeleteAll(std::exchange(m_connections, {}));
    m_decodeThreads.waitForAll();
}

void LiveSocket::accept(std::unique_ptr<WebSocketLink> link)
{
    m_connections.append(new LiveConnection(*this, ++m_connectionCount, std::move(link), this));
    forgetOldConnections();
}

bool LiveSocket::streamsWithinLimit() const
{
    const auto open = std::count_if(m_connections.cbegin(), m_connections.cend(),
                                    [](const LiveConnection* connection) { return connection->isStreaming(); });
    return open <= m_config.maxStreams;
}

void LiveSocket::forgetOldConnections()
{
    for (qsizetype i = 0; m_connections.size() > kKeptConnections && i < m_connections.size();) {
        if (!m_connections.at(i)->isOpen())
            delete m_connections.takeAt(i);
        else
            ++i;
    }
}

qint64 LiveSocket::nextUtteranceId(const QString& shootToken)
{
    return ++m_utterances[shootToken];
}

std::optional<ForcedRefusal> LiveSocket::takeForcedRefusal()
{
    if (!m_refusal)
        return std::nullopt;
    ForcedRefusal refusal = *m_refusal;
    if (m_refusal->count > 0 && --m_refusal->count == 0)
        m_refusal.reset();
    return refusal;
}

std::optional<QList<ScriptStep>> LiveSocket::takeScript()
{
    if (m_scripts.empty())
        return std::nullopt;
    QList<ScriptStep> script = std::move(m_scripts.front());
    m_scripts.pop_front();
    return script;
}

std::optional<Reply> LiveSocket::handleControl(const Request& request)
{
    if (!m_config.testControl || request.segments.size() != 2 ||
        request.segments.at(0) != QLatin1StringView(ControlDesk::kPrefix) ||
        !request.segments.at(1).startsWith(QLatin1StringView("ws-")))
        return std::nullopt;
    const QString route = request.segments.at(1);
    const bool post = request.method == "POST";
    if (route == QLatin1StringView("ws-state"))
        return request.method == "GET" ? jsonReply(stateJson()) : errorReply(405, QStringLiteral("use GET"));
    if (!post)
        return errorReply(405, QStringLiteral("use POST"));
    if (route == QLatin1StringView("ws-script"))
        return script(request);
    if (route == QLatin1StringView("ws-refuse"))
        return refuse(request);
    if (route == QLatin1StringView("ws-clear")) {
        m_scripts.clear();
        m_refusal.reset();
        return jsonReply(done());
    }
    return errorReply(404, QStringLiteral("not found"));
}

Reply LiveSocket::script(const Request& request)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(request, body, bad))
        return bad;
    QString problem;
    auto steps = parseScript(body, problem);
    if (!steps)
        return errorReply(400, problem);
    m_scripts.push_back(std::move(*steps));
    return jsonReply(done());
}

Reply LiveSocket::refuse(const Request& request)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(request, body, bad))
        return bad;
    JsonFields fields(body);
    const QString code = fields.string(QLatin1StringView("code"), true);
    const QString message = fields.string(QLatin1StringView("message"), false);
    const auto count = fields.integer(QLatin1StringView("count"), false);
    if (!fields.ok())
        return fields.error();
    if (code.isEmpty() || code.size() > kLongestCode)
        return errorReply(400, QStringLiteral("\"code\" must hold 1 to %1 characters").arg(kLongestCode));
    if (count && (*count == 0 || *count < -1 || *count > kLongestRefusalCount))
        return errorReply(400,
                          QStringLiteral("\"count\" must be -1 or lie between 1 and %1").arg(kLongestRefusalCount));
    m_refusal = ForcedRefusal{code, message.isEmpty() ? QStringLiteral("refused by the test") : message,
                              static_cast<int>(count.value_or(1))};
    return jsonReply(done());
}

QJsonObject LiveSocket::stateJson() const
{
    QJsonArray connections;
    for (const LiveConnection* connection : m_connections)
        connections.append(connection->stateJson());
    QJsonObject utterances;
    for (auto it = m_utterances.constBegin(); it != m_utterances.constEnd(); ++it)
        utterances.insert(it.key(), it.value());
    QJsonObject refusal;
    if (m_refusal) {
        refusal = QJsonObject{{QStringLiteral("code"), m_refusal->code},
                              {QStringLiteral("message"), m_refusal->message},
                              {QStringLiteral("count"), m_refusal->count}};
    }
    return QJsonObject{
        {QStringLiteral("connections"), connections},
        {QStringLiteral("utterances"), utterances},
        {QStringLiteral("scripts_waiting"), static_cast<qint64>(m_scripts.size())},
        {QStringLiteral("forced_refusal"), m_refusal ? QJsonValue(refusal) : QJsonValue()},
    };
}

} // namespace standin
