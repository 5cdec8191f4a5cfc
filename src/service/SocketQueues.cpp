#include "service/SocketQueues.h"

#include <optional>

#if defined(Q_OS_LINUX)
#include <cstddef>
#include <cstdlib>

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
    return Connection{quint64(status.st_ino), qint64(info.tcpi_bytes_acked) + queued, queued};
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

BodyState bodyState(const Written& before, qint64 body)
{
    constexpr qint64 kUnflushed = 64 * 1024;
    constexpr qint64 kOverhead = 64 * 1024;
    BodyState state = BodyState::Unknown;
    if (body <= 0)
        return state;
    for (const Connection& connection : connections()) {
        const qint64 given = connection.written - before.value(connection.inode, 0);
        if (given <= 0 || given < body - kUnflushed || given > body + kOverhead + body / 64)
            continue;
        if (connection.queued > 0)
            return BodyState::Queued;
        if (given >= body)
            state = BodyState::Taken;
    }
    return state;
}

} // namespace SocketQueues
