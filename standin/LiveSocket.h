#pragma once

#include "DecodeWorker.h"
#include "HttpMessage.h"
#include "LiveScript.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <optional>

namespace standin {

class LiveConnection;
class RecognizerPool;
class StandinService;
class WebSocketLink;

struct LiveConfig {
    bool testControl = false; // serve the "/__control/ws-*" routes
    QString modelDir;         // the pocketsphinx model; Recognizer::kDefaultModelDir when empty
    // Streams at once (each may hold a decoder of about 90 MB); a start past this is refused
    // with "too_many_streams".
    int maxStreams = 8;
};

// A refusal a test asks for: the next connections' start messages are answered with it.
struct ForcedRefusal {
    QString code;
    QString message;
    int count = 1; // -1: until cleared
};

// The streaming transcription socket "/ws": WebSocket connections on the server's port, signed in by
// the "sid" cookie. Each connection (LiveConnection) waits for its start message, takes 16 kHz
// 16-bit audio and answers "live_transcript" results from pocketsphinx, or from a script a test
// handed over. Utterance ids count per shoot, so they stay unique across reconnects.
//
// Test control (with LiveConfig::testControl):
//   POST /__control/ws-script  {"results": [step, ...]}   played by the next accepted connection
//   POST /__control/ws-refuse  {"code", "message"?, "count"?}   refuse the next start messages
//   POST /__control/ws-clear   drops waiting scripts and refusals
//   GET  /__control/ws-state   every connection and what it received
class LiveSocket : public QObject {
    Q_OBJECT

public:
    // Connections remembered for the state; older closed ones are forgotten.
    static constexpr int kKeptConnections = 200;

    LiveSocket(StandinService& service, LiveConfig config, QObject* parent = nullptr);
    ~LiveSocket() override;

    // Takes a WebSocket connection to "/ws".
    void accept(std::unique_ptr<WebSocketLink> link);

    // The answer to a "/__control/ws-*" request; nullopt for any other request (or when test
    // control is off).
    [[nodiscard]] std::optional<Reply> handleControl(const Request& request);

    [[nodiscard]] QJsonObject stateJson() const;

    // For connections.
    [[nodiscard]] StandinService& service() { return m_service; }
    [[nodiscard]] const std::shared_ptr<RecognizerPool>& recognizers() const { return m_recognizers; }
    [[nodiscard]] DecodeThreads& decodeThreads() { return m_decodeThreads; }
    // The next utterance id of a shoot (1, 2, ...).
    [[nodiscard]] qint64 nextUtteranceId(const QString& shootToken);
    // A forced refusal for the start message now arriving, if one is waiting.
    [[nodiscard]] std::optional<ForcedRefusal> takeForcedRefusal();
    // The script for a connection whose start was accepted, if one is waiting.
    [[nodiscard]] std::optional<QList<ScriptStep>> takeScript();
    // Whether the streams started and still open are within the limit.
    [[nodiscard]] bool streamsWithinLimit() const;
    [[nodiscard]] int maxStreams() const { return m_config.maxStreams; }

private:
    void forgetOldConnections();
    Reply script(const Request& request);
    Reply refuse(const Request& request);

    StandinService& m_service;
    const LiveConfig m_config;
    std::shared_ptr<RecognizerPool> m_recognizers;
    DecodeThreads m_decodeThreads;
    QList<LiveConnection*> m_connections; // children; oldest first
    int m_connectionCount = 0;
    QHash<QString, qint64> m_utterances; // shoot token -> last utterance id
    std::deque<QList<ScriptStep>> m_scripts;
    std::optional<ForcedRefusal> m_refusal;
};

} // namespace standin
