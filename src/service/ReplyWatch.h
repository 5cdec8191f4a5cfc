#pragma once

#include "platform/Clock.h"
#include "service/APIService.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkReply;

// Follows one exchange's QNetworkReply to its end for APIService::send: ends it after a silence
// (not while the body is still going up) or at a deadline, reads the answer up to
// APIService::kMaxBodyBytes, and maps how the reply ended to a ServiceResult.
//
// Threads: the watch is the reply's child and everything it does runs on the reply's thread; its
// timers are made, stopped and destroyed there.
class ReplyWatch final : public QObject {
public:
    using Done = std::function<void(ServiceResult<ServiceReply>)>;

    // Watches `reply` from now on, its silence on real time. `done` runs once, when the reply
    // finishes, and not if the reply is destroyed first; the reply is deleted later after that.
    static ReplyWatch* watch(QNetworkReply* reply, std::chrono::milliseconds silence, Done done);

    // Ends the exchange `span` from now on `clock`, however steadily the answer trickles in.
    void setDeadline(Clock& clock, std::chrono::milliseconds span);

    // Ends the exchange as timed out, unless it has already ended.
    void abort();

private:
    ReplyWatch(QNetworkReply* reply, std::chrono::milliseconds silence, Done done);

    void heard();
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
};
