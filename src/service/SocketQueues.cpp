#include "service/SocketQueues.h"

#include <algorithm>
#include <optional>

#if defined(Q_OS_LINUX)
#include <cstddef>
#include <cstdlib>

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#endif

namespace SocketQueues {

#if defined(Q_OS_LINUX)

namespace {

// `fd` as a TCP connection; nothing for any other descriptor. The descriptor may be closed and
// reused by another thread meanwhile: then this reads whatever it has become, which is harmless.
std::optional<Connection> tcpConnection(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode))
        return std::nullopt;
    int value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &value, &length) != 0 || value != SOCK_STREAM)
        return std::nullopt;
    length = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &value, &length) != 0 || (value != AF_INET && value != AF_INET6))
        return std::nullopt;
    // The kernel fills as much of the structure as it knows; acknowledged bytes came in 4.1.
    tcp_info info{};
    length = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked)
        return std::nullopt;
    // Unsent plus unacknowledged; a listening socket has no queue and refuses.
    int queued = 0;
    if (::ioctl(fd, SIOCOUTQ, &queued) != 0 || queued < 0)
        return std::nullopt;
    sockaddr_storage far{};
    length = sizeof far;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&far), &length) != 0)
        return std::nullopt;
    const quint16 port = far.ss_family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6*>(&far)->sin6_port)
                                                   : ntohs(reinterpret_cast<const sockaddr_in*>(&far)->sin_port);
    return Connection{quint64(status.st_ino), qint64(info.tcpi_bytes_acked) + queued, queued,
                      QHostAddress(reinterpret_cast<const sockaddr*>(&far)), port};
}

} // namespace

bool isSupported()
{
    return true;
}

std::vector<Connection> connections()
{
    std::vector<Connection> found;
    DIR* directory = ::opendir("/proc/self/fd");
    if (!directory)
        return found;
    const int own = ::dirfd(directory);
    while (const dirent* entry = ::readdir(directory)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own || fd < 0)
            continue;
        if (const std::optional<Connection> connection = tcpConnection(int(fd)))
            found.push_back(*connection);
    }
    ::closedir(directory);
    return found;
}

#else

bool isSupported()
{
    return false;
}

std::vector<Connection> connections()
{
    return {};
}

#endif

Written written()
{
    Written found;
    for (const Connection& connection : connections())
        found.insert(connection.inode, connection.written);
    return found;
}

bool Peer::isFarEndOf(const Connection& connection) const
{
    if (port == 0 || connection.peerPort != port)
        return false;
    // An IPv6 socket reaches an IPv4 host through a mapped address.
    return std::any_of(addresses.cbegin(), addresses.cend(), [&](const QHostAddress& address) {
        return address.isEqual(connection.peer, QHostAddress::ConvertV4MappedToIPv4);
    });
}

BodyState bodyState(const Written& before, qint64 body, const Peer& peer)
{
    constexpr qint64 kUnflushed = 64 * 1024;
    constexpr qint64 kOverhead = 64 * 1024;
    if (body <= 0)
        return BodyState::Unknown;
    const std::vector<Connection> all = connections();
    const Connection* own = nullptr;
    qint64 ownGiven = 0;
    for (const Connection& connection : all) {
        if (!peer.isFarEndOf(connection))
            continue;
        const qint64 given = connection.written - before.value(connection.inode, 0);
        if (given <= 0 || given < body - kUnflushed || given > body + kOverhead + body / 64)
            continue;
        if (own)
            return BodyState::Unknown;
        own = &connection;
        ownGiven = given;
    }
    if (!own)
        return BodyState::Unknown;
    if (own->queued > 0)
        return BodyState::Queued;
    return ownGiven >= body ? BodyState::Taken : BodyState::Unknown;
}

} // namespace SocketQueues
