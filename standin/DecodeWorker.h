#pragma once

#include "Recognizer.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

namespace standin {

// The decoding threads of the stand-in. A closed connection's thread ends by itself, after the
// slice or model load under way; the stand-in waits for those still running only when it stops.
// Main thread only.
class DecodeThreads {
public:
    DecodeThreads() = default;
    ~DecodeThreads() { waitForAll(); }
    DecodeThreads(const DecodeThreads&) = delete;
    DecodeThreads& operator=(const DecodeThreads&) = delete;

    void add(QThread* thread);
    void waitForAll();

private:
    QList<QPointer<QThread>> m_threads;
};

// Runs the recogniser of one connection on a thread of its own, so that decoding never holds up
// the server. Audio goes in with feed() (any thread); what was heard comes out through heard(),
// delivered to the receiver's thread.
class DecodeWorker : public QObject {
    Q_OBJECT

public:
    explicit DecodeWorker(std::shared_ptr<RecognizerPool> pool);
    ~DecodeWorker() override;

    // Starts the worker on a new thread, kept in `threads`. Call once, from the thread that made it.
    void startThread(DecodeThreads& threads);
    // Audio waiting to be decoded beyond this (30 s) is dropped: a recogniser that falls behind
    // must not make the stand-in's memory grow.
    static constexpr qint64 kMaxPendingBytes = 30 * 32000;

    // Queues 16 kHz little-endian int16 audio.
    void feed(const QByteArray& audio);
    // Bytes dropped because too much audio was waiting. Any thread.
    [[nodiscard]] qint64 droppedBytes() const { return m_dropped.load(); }
    // Queues the end of the audio: the final of the utterance under way.
    void finish();
    // Ends the thread without waiting for it, dropping the audio not yet decoded; the worker
    // deletes itself once its thread stops. It must not be used afterwards.
    void shutDown();

Q_SIGNALS:
    void heard(bool final, const QString& text, const QJsonArray& words);
    // The recogniser could not be loaded; nothing will be heard.
    void unavailable(const QString& problem);

private:
    void decode(const QByteArray& audio);
    void end();
    [[nodiscard]] bool ensureRecognizer();
    void report(const QList<Heard>& heardList);

    std::shared_ptr<RecognizerPool> m_pool;
    std::unique_ptr<Recognizer> m_recognizer;
    QThread* m_thread = nullptr;
    QByteArray m_carry; // an odd byte left from the last message
    std::atomic<bool> m_abandoned{false};
    std::atomic<qint64> m_pending{0};
    std::atomic<qint64> m_dropped{0};
    bool m_failed = false;
};

} // namespace standin
