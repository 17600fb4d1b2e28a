#include "zqcsocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "zqcresolve.h"
#include "zqcwakeevent.h"

namespace {

// The errors an ICMP report gives a UDP socket: the peer (or the way to it)
// did not take a datagram. The socket itself is fine.
bool IsPeerUnreachableError(int error)
{
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH;
}

// An error reported once is done with: the queued ICMP reports would
// otherwise fail later calls again, keep poll answering POLLERR and hold
// receive buffer space. Each report carries the destination of the datagram
// it is about; answers whether one named `peer`, or whether none could be
// read (the error then says nothing of whom it was about). errno is kept.
bool DrainErrorQueue(int fd, const ZQCInetAddress* peer)
{
    const int savedErrno = errno;
    bool aboutPeer = false;
    int reports = 0;
    char data[64];
    char control[256];
    for (;;) {
        ZQCInetAddress destination{};
        iovec io{data, sizeof data};
        msghdr message{};
        message.msg_name = &destination;
        message.msg_namelen = sizeof destination;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
            break;
        }
        ++reports;
        aboutPeer = aboutPeer || (peer != nullptr && message.msg_namelen >= ZQCInetAddressLength(destination) &&
                                  ZQCSameInetAddress(destination, *peer));
    }
    errno = savedErrno;
    return aboutPeer || reports == 0;
}

// The reports and the socket's pending error both: nothing is left for
// poll to answer POLLERR about.
void DropPendingErrors(int fd)
{
    DrainErrorQueue(fd, nullptr);
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
}

// Reads past ICMP reports (a few at most arrive between two reads).
constexpr int kReadAttempts = 4;

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
    ZQCInetAddress ip{};
    ip.any.sa_family = AF_INET;
    if (address != nullptr && *address != '\0' && !ZQCResolveAddress(address, &ip)) {
        return -1;
    }
    m_fd = socket(ip.any.sa_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return -1;
    }
    m_family = ip.any.sa_family;
    // Without it Linux keeps ICMP errors (port unreachable) from an
    // unconnected socket to itself; with it the next send reports them.
    // An IPv6 socket hears ICMPv6, and ICMP too about IPv4-mapped peers.
    const int on = 1;
    setsockopt(m_fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    if (m_family == AF_INET6) {
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
    }
    return 0;
}

int ZQCSocket::Bind(int type, const char* address, const char* port)
{
    if (type != kDatagram || m_fd < 0) {
        return -1;
    }
    // Zero is the any address of both families.
    ZQCInetAddress sa{};
    sa.any.sa_family = static_cast<sa_family_t>(m_family);
    if (address != nullptr && *address != '\0' && !ZQCResolveAddress(address, &sa)) {
        return -1;
    }
    uint16_t portNumber = 0;
    if (sa.any.sa_family != m_family || !ZQCParsePort(port, &portNumber)) {
        return -1;
    }
    ZQCSetInetAddressPort(&sa, portNumber);
    return bind(m_fd, &sa.any, ZQCInetAddressLength(sa)) == 0 ? 0 : -1;
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
    return RecvFrom(buffer, size, from, nullptr);
}

int ZQCSocket::EnableReceiveTimestamps()
{
    const int on = 1;
    return m_fd >= 0 && setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0 ? 0 : -1;
}

namespace {

// The kernel's receive time of a datagram read with recvmsg, or 0.
uint64_t ArrivalMicroseconds(msghdr& message)
{
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPNS &&
            header->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(header), sizeof stamp);
            return static_cast<uint64_t>(stamp.tv_sec) * 1000000u + static_cast<uint64_t>(stamp.tv_nsec) / 1000u;
        }
    }
    return 0;
}

}  // namespace

int ZQCSocket::RecvFrom(void* buffer, int size, ZQCSocketAddress& from, uint64_t* arrivalMicroseconds)
{
    if (m_fd < 0 || buffer == nullptr || size <= 0) {
        return -1;
    }
    ZQCInetAddress sa{};
    socklen_t length = sizeof sa;
    ssize_t n = -1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    iovec data{buffer, static_cast<size_t>(size)};
    msghdr message{};
    for (int attempt = 0; attempt < kReadAttempts && n < 0; ++attempt) {
        message = {};
        message.msg_name = &sa;
        message.msg_namelen = sizeof sa;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = arrivalMicroseconds != nullptr ? control : nullptr;
        message.msg_controllen = arrivalMicroseconds != nullptr ? sizeof control : 0;
        n = recvmsg(m_fd, &message, MSG_DONTWAIT);
        length = message.msg_namelen;
        if (n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        }
        // A pending error fails the read even with datagrams queued behind it.
        const bool peerError = IsPeerUnreachableError(errno);
        DrainErrorQueue(m_fd, nullptr);
        if (!peerError) {
            break;
        }
    }
    if (n < 0) {
        return -1;
    }
    if (arrivalMicroseconds != nullptr) {
        *arrivalMicroseconds = ArrivalMicroseconds(message);
    }
    from.SetSockAddr(&sa.any, length);
    return static_cast<int>(n);
}

int ZQCSocket::SendTo(const void* buffer, int size, const ZQCSocketAddress& to)
{
    if (m_fd < 0 || buffer == nullptr || size < 0 || to.GetFamily() != m_family) {
        return kSendFailed;
    }
    const long n = SendOnce(buffer, size, to);
    if (n >= 0) {
        return static_cast<int>(n);
    }
    if (IsPeerUnreachableError(errno)) {
        return SendAgainAfterPeerError(buffer, size, to);
    }
    DrainErrorQueue(m_fd, nullptr);
    return kSendFailed;
}

long ZQCSocket::SendOnce(const void* buffer, int size, const ZQCSocketAddress& to) const
{
    constexpr int kFlags = MSG_DONTWAIT | MSG_NOSIGNAL;
    return IsConnectedPeer(to) ? send(m_fd, buffer, static_cast<size_t>(size), kFlags)
                               : sendto(m_fd, buffer, static_cast<size_t>(size), kFlags, to.GetSockAddrPointer(),
                                        to.GetSockAddrLength());
}

// The error was an earlier datagram's and took this one with it; the
// reports say whether it was about this destination or another.
int ZQCSocket::SendAgainAfterPeerError(const void* buffer, int size, const ZQCSocketAddress& to) const
{
    const bool named = DrainErrorQueue(m_fd, &to.GetInetAddress());
    const bool aboutThisPeer = named || IsConnectedPeer(to);
    const long n = SendOnce(buffer, size, to);
    if (n < 0) {
        const bool peerError = IsPeerUnreachableError(errno);
        DrainErrorQueue(m_fd, nullptr);
        return peerError ? kPeerUnreachable : kSendFailed;
    }
    return aboutThisPeer ? kPeerUnreachable : static_cast<int>(n);
}

int ZQCSocket::Connect(const ZQCSocketAddress& peer)
{
    if (m_fd < 0 || peer.GetFamily() != m_family) {
        return -1;
    }
    // sendto refuses port 0, but a socket connected to it would send there.
    if (peer.GetPortNumber() == 0 || connect(m_fd, peer.GetSockAddrPointer(), peer.GetSockAddrLength()) != 0) {
        return -1;
    }
    m_peer = peer.GetInetAddress();
    m_connected = true;
    return 0;
}

bool ZQCSocket::IsConnectedPeer(const ZQCSocketAddress& to) const
{
    return m_connected && ZQCSameInetAddress(to.GetInetAddress(), m_peer);
}

int ZQCSocket::WaitReadable(int timeoutMs, const ZQCWakeEvent* cancel) const
{
    if (m_fd < 0) {
        return -2;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {cancel ? cancel->GetDescriptor() : -1, POLLIN, 0}};
    const nfds_t count = cancel ? 2 : 1;
    int waitMs = timeoutMs;
    for (;;) {
        const int ready = poll(fds, count, waitMs);
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
        if (fds[0].revents & POLLIN) {
            return 1;
        }
        if (fds[0].revents & POLLNVAL) {
            return -2;
        }
        if (!(fds[0].revents & POLLERR)) {
            return 1;
        }
        // POLLERR alone: only ICMP reports of earlier sends. Drop them and
        // wait out the rest of the time.
        DropPendingErrors(m_fd);
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return 0;
            }
            waitMs = static_cast<int>(left.count());
        }
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

int ZQCSocket::SetIPTOS(int tos)
{
    return m_family == AF_INET6 ? SetIntOption(m_fd, IPPROTO_IPV6, IPV6_TCLASS, tos)
                                : SetIntOption(m_fd, IPPROTO_IP, IP_TOS, tos);
}

int ZQCSocket::SetMulticastTileToLive(int ttl)
{
    if (m_fd < 0) {
        return -1;
    }
    if (m_family == AF_INET6) {
        return SetIntOption(m_fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, ttl);
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
    ZQCInetAddress ip{};
    return ZQCResolveAddress(address, &ip) ? 0 : -1;
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
    ZQCInetAddress sa{};
    socklen_t length = sizeof sa;
    if (getsockname(m_fd, &sa.any, &length) != 0) {
        return 0;
    }
    return ZQCInetAddressPort(sa);
}
