#pragma once

#include <QtGlobal>

#include <vector>

namespace standin {

// A listening TCP socket on 127.0.0.1 whose accepts report why they failed. Qt 6.4's QTcpServer
// keeps the failure to itself when the descriptors run out and retries at every pass of the event
// loop, at full CPU; here the caller sees it and can wait.
//
// A few descriptors are held in reserve while accepting and given back once the connections have
// taken the last free one: whatever else needs a descriptor then (a stream's model files, a
// sanitizer's probe in test builds) still gets one.
class LoopbackListener {
public:
    enum class Outcome {
        Accepted,
        NoneWaiting,
        Failed, // most likely out of descriptors: trying again at once would fail the same way
    };
    struct Accepted {
        Outcome outcome = Outcome::NoneWaiting;
        int descriptor = -1; // the caller's to close
    };

    LoopbackListener() = default;
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // `port` 0 picks a free one. Returns the port, or 0 on failure.
    [[nodiscard]] quint16 listen(quint16 port);
    [[nodiscard]] int descriptor() const { return m_descriptor; }
    // Takes the next waiting connection, non-blocking and closed on exec.
    [[nodiscard]] Accepted accept();

private:
    [[nodiscard]] Accepted acceptOne() const;
    // Needs no descriptor of its own, so it works when none is free.
    [[nodiscard]] bool connectionWaiting() const;
    // Holds kReserved descriptors; false when there are not that many free.
    bool refillReserve();
    void releaseReserve();
    void close();

    int m_descriptor = -1;
    std::vector<int> m_reserve;
};

} // namespace standin
