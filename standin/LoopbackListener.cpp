#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {

namespace {
constexpr std::size_t kReserved = 4;
} // namespace

LoopbackListener::~LoopbackListener()
{
    close();
}

void LoopbackListener::close()
{
    releaseReserve();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

quint16 LoopbackListener::listen(quint16 port)
{
    close();
    m_descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_descriptor < 0)
        return 0;
    // A stand-in restarted on a fixed port must not wait for the old one's closed connections.
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::setsockopt(m_descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0 ||
        ::bind(m_descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_descriptor, SOMAXCONN) != 0 ||
        ::getsockname(m_descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close();
        return 0;
    }
    return ntohs(address.sin_port);
}

LoopbackListener::Accepted LoopbackListener::accept()
{
    Accepted accepted;
    if (refillReserve())
        accepted = acceptOne();
    else if (connectionWaiting())
        accepted.outcome = Outcome::Failed;
    // Without one more free descriptor the connections have taken the last: the reserve goes to
    // the rest of the process, and the next accept fails until descriptors come free.
    const int spare = ::fcntl(m_descriptor, F_DUPFD_CLOEXEC, 0);
    if (spare >= 0)
        ::close(spare);
    else
        releaseReserve();
    return accepted;
}

bool LoopbackListener::refillReserve()
{
    while (m_reserve.size() < kReserved) {
        const int descriptor = ::fcntl(m_descriptor, F_DUPFD_CLOEXEC, 0);
        if (descriptor < 0)
            return false;
        m_reserve.push_back(descriptor);
    }
    return true;
}

void LoopbackListener::releaseReserve()
{
    for (const int descriptor : m_reserve)
        ::close(descriptor);
    m_reserve.clear();
}

bool LoopbackListener::connectionWaiting() const
{
    pollfd listening{m_descriptor, POLLIN, 0};
    return ::poll(&listening, 1, 0) > 0;
}

LoopbackListener::Accepted LoopbackListener::acceptOne() const
{
    while (true) {
        const int descriptor = ::accept4(m_descriptor, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor >= 0)
            return {Outcome::Accepted, descriptor};
        switch (errno) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            return {Outcome::NoneWaiting};
        // That client gave up before it was taken; the next may be there.
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
            continue;
        default:
            return {Outcome::Failed};
        }
    }
}

} // namespace standin
