#include "LiveConnection.h"

#include "DecodeWorker.h"
#include "LiveSocket.h"
#include "StandinService.h"
#include "WebSocketLink.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimer>

namespace standin {

namespace {

constexpr qint64 kBytesPerMs = 32; // 16 kHz, 2 bytes a sample
constexpr int kExpectedRate = 16000;

} // namespace

LiveConnection::LiveConnection(LiveSocket& hub, int number, std::unique_ptr<WebSocketLink> socket, QObject* parent)
    : QObject(parent), m_hub(hub), m_number(number), m_socket(std::move(socket))
{
    connect(m_socket.get(), &WebSocketLink::textReceived, this, &LiveConnection::onText);
    connect(m_socket.get(), &WebSocketLink::binaryReceived, this, &LiveConnection::onBinary);
    connect(m_socket.get(), &WebSocketLink::disconnected, this, &LiveConnection::onDisconnected);

    const Request& request = m_socket->request();
    m_clientHeader = QString::fromUtf8(request.header("x-pindle-client"));
    m_cookieSent = !request.header("cookie").isEmpty();
    if (const auto account = m_hub.service().auth().accountFor(request)) {
        m_account = *account;
    } else {
        refuse(QStringLiteral("unauthorized"), QStringLiteral("sign in first"));
    }
}

LiveConnection::~LiveConnection()
{
    endDecoding();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void LiveConnection::endDecoding()
{
    if (!m_decoder)
        return;
    m_decodeDropped = m_decoder->droppedBytes();
    std::exchange(m_decoder, nullptr)->shutDown();
}

void LiveConnection::note(const QString& event)
{
    if (m_sequence.size() < kKeptSequence)
        m_sequence.append(event);
}

void LiveConnection::sendText(const QByteArray& frame)
{
    if (!m_socket)
        return;
    m_socket->sendText(frame);
}

void LiveConnection::refuse(const QString& code, const QString& message)
{
    if (!m_socket || !m_refusal.isEmpty())
        return;
    m_refusal = code;
    sendText(QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("error")},
                                       {QStringLiteral("code"), code},
                                       {QStringLiteral("message"), message}})
                 .toJson(QJsonDocument::Compact));
    m_socket->close(ws::kPolicy, code);
}

void LiveConnection::onText(const QByteArray& message)
{
    ++m_textMessages;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(message, &error);
    const QJsonObject object = document.object();
    const QString type = object.value(QLatin1StringView("type")).toString();
    if (error.error != QJsonParseError::NoError || !document.isObject() || type.isEmpty()) {
        note(QStringLiteral("text"));
        return;
    }
    if (type == QLatin1StringView("questions_transcribe_start")) {
        note(QStringLiteral("start"));
        if (!m_start && m_refusal.isEmpty())
            handleStart(object);
        return;
    }
    if (type == QLatin1StringView("recording_stop")) {
        note(QStringLiteral("stop"));
        m_stopReceived = true;
        if (m_decoder)
            m_decoder->finish();
        return;
    }
    note(type);
}

void LiveConnection::handleStart(const QJsonObject& start)
{
    m_start = start;
    if (const auto forced = m_hub.takeForcedRefusal()) {
        refuse(forced->code, forced->message);
        return;
    }
    if (start.value(QLatin1StringView("encoding")) != QJsonValue(QStringLiteral("linear16")) ||
        start.value(QLatin1StringView("sample_rate")) != QJsonValue(kExpectedRate)) {
        refuse(QStringLiteral("unsupported_audio"), QStringLiteral("send linear16 audio at 16000 Hz"));
        return;
    }
    const QJsonValue token = start.value(QLatin1StringView("token"));
    if (!token.isString() || token.toString().isEmpty()) {
        refuse(QStringLiteral("shoot_required"), QStringLiteral("start a shoot first"));
        return;
    }
    m_token = token.toString();
    const Shoot* shoot = nullptr;
    for (const Shoot* candidate : m_hub.service().shoots().shootsOf(m_account)) {
        if (candidate->token == m_token)
            shoot = candidate;
    }
    if (!shoot) {
        refuse(QStringLiteral("shoot_not_found"), QStringLiteral("no such shoot"));
        return;
    }
    if (shoot->ended) {
        refuse(QStringLiteral("shoot_ended"), QStringLiteral("the shoot has been wrapped"));
        return;
    }
    if (!m_hub.streamsWithinLimit()) {
        refuse(QStringLiteral("too_many_streams"),
               QStringLiteral("at most %1 streams at once; close one first").arg(m_hub.maxStreams()));
        return;
    }

    if (auto script = m_hub.takeScript()) {
        m_transcriber = QStringLiteral("script");
        m_script = std::move(*script);
        m_played = QList<bool>(m_script.size(), false);
        for (qsizetype i = 0; i < m_script.size(); ++i) {
            if (const auto delay = m_script.at(i).afterMs)
                QTimer::singleShot(*delay, this, [this, i] { playStep(i); });
        }
        return;
    }
    m_transcriber = QStringLiteral("pocketsphinx");
    m_decoder = new DecodeWorker(m_hub.recognizers());
    connect(m_decoder, &DecodeWorker::heard, this, &LiveConnection::onHeard);
    connect(m_decoder, &DecodeWorker::unavailable, this, [this](const QString& problem) {
        m_problem = problem;
        m_transcriber = QStringLiteral("none");
    });
    m_decoder->startThread(m_hub.decodeThreads());
}

void LiveConnection::onBinary(const QByteArray& message)
{
    note(QStringLiteral("audio"));
    if (!m_start || !m_refusal.isEmpty()) {
        m_audioBeforeStart += message.size();
        return;
    }
    m_audioBytes += message.size();
    ++m_audioMessages;
    if (m_decoder)
        m_decoder->feed(message);
    playAudioSteps();
}

void LiveConnection::playAudioSteps()
{
    const qint64 heardMs = m_audioBytes / kBytesPerMs;
    for (qsizetype i = 0; i < m_script.size(); ++i) {
        const auto threshold = m_script.at(i).afterAudioMs;
        if (threshold && !m_played.at(i) && heardMs >= *threshold)
            playStep(i);
    }
}

qint64 LiveConnection::openUtterance()
{
    if (!m_utterance) {
        m_utterance = m_hub.nextUtteranceId(m_token);
        if (m_utteranceIds.size() < kKeptIds)
            m_utteranceIds.append(*m_utterance);
    }
    return *m_utterance;
}

void LiveConnection::playStep(qsizetype index)
{
    if (!m_socket || m_played.at(index))
        return;
    m_played[index] = true;
    const ScriptStep& step = m_script.at(index);
    switch (step.kind) {
    case ScriptStep::Kind::Interim:
    case ScriptStep::Kind::Final: {
        QJsonValue id;
        if (step.needsUtteranceId())
            id = openUtterance();
        if (step.kind == ScriptStep::Kind::Final && step.needsUtteranceId())
            m_utterance.reset();
        ++m_resultsSent;
        sendText(step.textFrame(id));
        return;
    }
    case ScriptStep::Kind::Error:
    case ScriptStep::Kind::Raw:
        sendText(step.textFrame({}));
        return;
    case ScriptStep::Kind::Binary:
        m_socket->sendBinary(QByteArray(step.padBytes, '\0'));
        return;
    case ScriptStep::Kind::Close:
        m_socket->close(step.closeCode, QStringLiteral("closed by the script"));
        return;
    case ScriptStep::Kind::Abort:
        m_socket->abort();
        return;
    }
}

void LiveConnection::onHeard(bool final, const QString& text, const QJsonArray& words)
{
    if (!m_socket)
        return;
    QJsonObject result{{QStringLiteral("type"), QStringLiteral("live_transcript")},
                       {QStringLiteral("id"), openUtterance()},
                       {QStringLiteral("interim"), !final},
                       {QStringLiteral("text"), text},
                       {QStringLiteral("speaker"), QLatin1StringView(kDefaultSpeaker)}};
    if (final) {
        result.insert(QStringLiteral("wordTimings"), words);
        m_utterance.reset();
    }
    ++m_resultsSent;
    sendText(QJsonDocument(result).toJson(QJsonDocument::Compact));
}

void LiveConnection::onDisconnected()
{
    m_closeCode = m_socket->closeCode();
    endDecoding();
    // Deleted once its own signal has returned.
    m_socket->disconnect(this);
    m_socket.release()->deleteLater();
}

QJsonObject LiveConnection::stateJson() const
{
    return QJsonObject{
        {QStringLiteral("number"), m_number},
        {QStringLiteral("open"), isOpen()},
        {QStringLiteral("account"), m_account.isEmpty() ? QJsonValue() : QJsonValue(m_account)},
        {QStringLiteral("client_header"), m_clientHeader},
        {QStringLiteral("cookie_sent"), m_cookieSent},
        {QStringLiteral("start"), m_start ? QJsonValue(*m_start) : QJsonValue()},
        {QStringLiteral("refusal"), m_refusal.isEmpty() ? QJsonValue() : QJsonValue(m_refusal)},
        {QStringLiteral("transcriber"), m_transcriber},
        {QStringLiteral("problem"), m_problem},
        {QStringLiteral("audio_bytes"), m_audioBytes},
        {QStringLiteral("audio_messages"), m_audioMessages},
        {QStringLiteral("audio_before_start_bytes"), m_audioBeforeStart},
        {QStringLiteral("decode_dropped_bytes"), m_decoder ? m_decoder->droppedBytes() : m_decodeDropped},
        {QStringLiteral("text_messages"), m_textMessages},
        {QStringLiteral("results_sent"), m_resultsSent},
        {QStringLiteral("stop_received"), m_stopReceived},
        {QStringLiteral("close_code"), m_closeCode},
        {QStringLiteral("sequence"), QJsonArray::fromStringList(m_sequence)},
        {QStringLiteral("utterance_ids"), m_utteranceIds},
    };
}

} // namespace standin
