#include "zqcsocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "zqcresolve.h"
#include "zqcwakeevent.h"

namespace {

// An error reported once is done with: the queued ICMP reports would
// otherwise fail later calls again, keep poll answering POLLERR and hold
// receive buffer space.
void DrainErrorQueue(int fd)
{
    char data[64];
    char control[256];
    for (;;) {
        iovec io{data, sizeof data};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
            return;
        }
    }
}

}  // namespace

ZQCSocket::ZQCSocket() = default;

ZQCSocket::~ZQCSocket()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

int ZQCSocket::CreateSocket(int type, const char* address)
{
    if (type != kDatagram || m_fd >= 0) {
        return -1;
    }
    in_addr ip{};
    if (address != nullptr && *address != '\0' && !ZQCResolveIPv4(address, &ip)) {
        return -1;
    }
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return -1;
    }
    // Without it Linux keeps ICMP errors (port unreachable) from an
    // unconnected socket to itself; with it the next send reports them.
    const int on = 1;
    setsockopt(m_fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    return 0;
}

int ZQCSocket::Bind(int type, const char* address, const char* port)
{
    if (type != kDatagram || m_fd < 0) {
        return -1;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    if (address != nullptr && *address != '\0' && !ZQCResolveIPv4(address, &sa.sin_addr)) {
        return -1;
    }
    uint16_t portNumber = 0;
    if (!ZQCParsePort(port, &portNumber)) {
        return -1;
    }
    sa.sin_port = htons(portNumber);
    return bind(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int ZQCSocket::SetNonBlocking(bool on)
{
    if (m_fd < 0) {
        return -1;
    }
    const int flags = fcntl(m_fd, F_GETFL, 0);
    if (flags < 0) {
        return -1;
    }
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(m_fd, F_SETFL, wanted) == 0 ? 0 : -1;
}

int ZQCSocket::RecvFrom(void* buffer, int size, ZQCSocketAddress& from)
{
    if (m_fd < 0 || buffer == nullptr || size <= 0) {
        return -1;
    }
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    const ssize_t n = recvfrom(m_fd, buffer, static_cast<size_t>(size), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&sa), &length);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            DrainErrorQueue(m_fd);
        }
        return -1;
    }
    if (length >= sizeof(sockaddr_in) && sa.sin_family == AF_INET) {
        from.SetSockAddr(sa);
    } else {
        from.Clear();
    }
    return static_cast<int>(n);
}

int ZQCSocket::SendTo(const void* buffer, int size, const ZQCSocketAddress& to)
{
    if (m_fd < 0 || buffer == nullptr || size < 0 || to.IsEmpty()) {
        return -1;
    }
    constexpr int kFlags = MSG_DONTWAIT | MSG_NOSIGNAL;
    const sockaddr_in& sa = to.GetSockAddr();
    const ssize_t n = IsConnectedPeer(to)
                          ? send(m_fd, buffer, static_cast<size_t>(size), kFlags)
                          : sendto(m_fd, buffer, static_cast<size_t>(size), kFlags,
                                   reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (n < 0) {
        DrainErrorQueue(m_fd);
        return -1;
    }
    return static_cast<int>(n);
}

int ZQCSocket::Connect(const ZQCSocketAddress& peer)
{
    if (m_fd < 0 || peer.IsEmpty()) {
        return -1;
    }
    const sockaddr_in& sa = peer.GetSockAddr();
    // sendto refuses port 0, but a socket connected to it would send there.
    if (sa.sin_port == 0 || connect(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        return -1;
    }
    m_peer = sa;
    m_connected = true;
    return 0;
}

bool ZQCSocket::IsConnectedPeer(const ZQCSocketAddress& to) const
{
    const sockaddr_in& sa = to.GetSockAddr();
    return m_connected && sa.sin_port == m_peer.sin_port && sa.sin_addr.s_addr == m_peer.sin_addr.s_addr;
}

int ZQCSocket::WaitReadable(int timeoutMs, const ZQCWakeEvent* cancel) const
{
    if (m_fd < 0) {
        return -2;
    }
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {cancel ? cancel->GetDescriptor() : -1, POLLIN, 0}};
    const nfds_t count = cancel ? 2 : 1;
    for (;;) {
        const int ready = poll(fds, count, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -2;
        }
        if (ready == 0) {
            return 0;
        }
        if (count == 2 && (fds[1].revents & POLLIN)) {
            return -1;
        }
        if (fds[0].revents & (POLLIN | POLLERR)) {
            return 1;
        }
        return (fds[0].revents & POLLNVAL) ? -2 : 1;
    }
}

namespace {

int SetIntOption(int fd, int level, int name, int value)
{
    if (fd < 0) {
        return -1;
    }
    return setsockopt(fd, level, name, &value, sizeof value) == 0 ? 0 : -1;
}

}  // namespace

int ZQCSocket::SetRecvBufferSize(int bytes)
{
    // Ask for the size as given; root may go past the system's ceiling.
    if (SetIntOption(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, bytes) == 0) {
        return 0;
    }
    return SetIntOption(m_fd, SOL_SOCKET, SO_RCVBUF, bytes);
}

int ZQCSocket::SetSendBufferSize(int bytes)
{
    if (SetIntOption(m_fd, SOL_SOCKET, SO_SNDBUFFORCE, bytes) == 0) {
        return 0;
    }
    return SetIntOption(m_fd, SOL_SOCKET, SO_SNDBUF, bytes);
}

int ZQCSocket::SetIPTOS(int tos) { return SetIntOption(m_fd, IPPROTO_IP, IP_TOS, tos); }

int ZQCSocket::SetMulticastTileToLive(int ttl)
{
    if (m_fd < 0) {
        return -1;
    }
    const unsigned char value = static_cast<unsigned char>(ttl);
    return setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &value, sizeof value) == 0 ? 0 : -1;
}

void ZQCSocket::CancelReadOrSend()
{
    if (m_fd >= 0) {
        shutdown(m_fd, SHUT_RDWR);
    }
}

int ZQCSocket::CheckAddress(const char* address)
{
    in_addr ip{};
    return ZQCResolveIPv4(address, &ip) ? 0 : -1;
}

int ZQCSocket::GetLocalIpAddress(char* buffer, int size)
{
    if (buffer == nullptr || size <= 0) {
        return -1;
    }
    char host[256] = {};
    in_addr ip{};
    if (gethostname(host, sizeof host - 1) != 0 || !ZQCResolveIPv4(host, &ip)) {
        inet_pton(AF_INET, "127.0.0.1", &ip);
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &ip, text, sizeof text);
    if (static_cast<int>(std::strlen(text)) >= size) {
        buffer[0] = '\0';
        return -1;
    }
    std::strcpy(buffer, text);
    return 0;
}

int ZQCSocket::GetBoundPort() const
{
    if (m_fd < 0) {
        return 0;
    }
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}
