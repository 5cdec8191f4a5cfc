#pragma once

#include "platform/Clock.h"
#include "service/APIService.h"
#include "service/SocketQueues.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkReply;

// Follows one exchange's QNetworkReply to its end for APIService::send: ends it after a silence
// (not while the body is still going up, nor while the peer is still taking it in) or at a
// deadline, reads the answer up to APIService::kMaxBodyBytes, and maps how the reply ended to a
// ServiceResult.
//
// Threads: the watch is the reply's child and everything it does runs on the reply's thread; its
// timers are made, stopped and destroyed there.
class ReplyWatch final : public QObject {
public:
    using Done = std::function<void(ServiceResult<ServiceReply>)>;

    // Watches `reply` from now on, its silence on real time. `done` runs once, when the reply
    // finishes, and not if the reply is destroyed first; the reply is deleted later after that.
    // A request with a body passes what the connections had been given before it was made
    // (SocketQueues::written()), so that the connection taking the body can be told apart.
    static ReplyWatch* watch(QNetworkReply* reply, std::chrono::milliseconds silence, Done done,
                             SocketQueues::Written writtenBefore = {});

    // Ends the exchange `span` from now on `clock`, however steadily the answer trickles in.
    void setDeadline(Clock& clock, std::chrono::milliseconds span);

    // Ends the exchange as timed out, unless it has already ended.
    void abort();

private:
    ReplyWatch(QNetworkReply* reply, std::chrono::milliseconds silence, Done done, SocketQueues::Written writtenBefore);

    void heard();
    void sent(qint64 sent, qint64 total);
    void watchDrain();
    // Finds where the request's connection goes: its URL's host and port.
    void findPeer();
    void take();
    void finish();
    [[nodiscard]] ServiceResult<ServiceReply> outcome();

    QNetworkReply* const m_reply;
    const std::chrono::milliseconds m_silenceLimit;
    Done m_done;
    std::unique_ptr<Clock::Timer> m_silence;
    std::unique_ptr<Clock::Timer> m_deadline;
    QByteArray m_body;
    bool m_tooLarge = false;
    // Still handing the body to the network.
    bool m_sending = false;
    // Once Qt has handed the whole body over, the peer may still be reading it out of the sockets'
    // buffers: polled while no answer has begun. The connection is picked out by where it goes and
    // how much was written to it since the exchange began (see SocketQueues).
    const SocketQueues::Written m_writtenBefore;
    SocketQueues::Peer m_peer;
    qint64 m_bodySize = 0;
    std::unique_ptr<Clock::Timer> m_drainPoll;
    bool m_answerBegun = false;
};
