#pragma once

#include "LiveScript.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace standin {

class DecodeWorker;
class LiveSocket;
class WebSocketLink;

// One connection to "/ws". Signed in by the upgrade's "sid" cookie (else refused at once with
// "unauthorized"); the first text message must be the start message, which is refused with
// "shoot_required" (no token), "shoot_not_found" (not a shoot of the account), "shoot_ended"
// (wrapped), "unsupported_audio" (not linear16 at 16000 Hz), "too_many_streams" (the stand-in's
// limit of streams at once) or a code a test forced. Once started, binary messages are the audio;
// "recording_stop" ends the utterance under way. A refusal is an {"type": "error", "code",
// "message"} text message, then a close with code 1008.
class LiveConnection : public QObject {
    Q_OBJECT

public:
    // The state keeps the order of the first messages and the first utterance ids.
    static constexpr int kKeptSequence = 64;
    static constexpr int kKeptIds = 200;

    LiveConnection(LiveSocket& hub, int number, std::unique_ptr<WebSocketLink> socket, QObject* parent);
    ~LiveConnection() override;

    [[nodiscard]] bool isOpen() const { return m_socket != nullptr; }
    // Started and neither refused nor closed.
    [[nodiscard]] bool isStreaming() const { return isOpen() && m_start && m_refusal.isEmpty(); }
    [[nodiscard]] QJsonObject stateJson() const;

private:
    void onText(const QByteArray& message);
    void onBinary(const QByteArray& message);
    void onDisconnected();

    void handleStart(const QJsonObject& start);
    void refuse(const QString& code, const QString& message);
    void playStep(qsizetype index);
    void playAudioSteps();
    void onHeard(bool final, const QString& text, const QJsonArray& words);
    void sendText(const QByteArray& frame);
    // The utterance under way, opened (with the shoot's next id) when there is none.
    [[nodiscard]] qint64 openUtterance();
    void note(const QString& event);
    void endDecoding();

    LiveSocket& m_hub;
    const int m_number;
    std::unique_ptr<WebSocketLink> m_socket;
    DecodeWorker* m_decoder = nullptr;

    QString m_account;
    QString m_clientHeader;
    bool m_cookieSent = false;
    std::optional<QJsonObject> m_start;
    QString m_token;
    QString m_refusal;
    QString m_transcriber = QStringLiteral("none");
    QString m_problem;

    QList<ScriptStep> m_script;
    QList<bool> m_played;
    std::optional<qint64> m_utterance;

    qint64 m_audioBytes = 0;
    qint64 m_audioMessages = 0;
    qint64 m_audioBeforeStart = 0;
    qint64 m_decodeDropped = 0;
    qint64 m_textMessages = 0;
    qint64 m_resultsSent = 0;
    bool m_stopReceived = false;
    int m_closeCode = -1;
    QStringList m_sequence;
    QJsonArray m_utteranceIds;
};

} // namespace standin
