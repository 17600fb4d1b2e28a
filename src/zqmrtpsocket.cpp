#include "zqmrtpsocket.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <utility>

#include "stdafx.h"
#include "zqccriticalsection.h"
#include "zqclockmng.h"
#include "zqfdebuglog.h"
#include "zqmendpoint.h"

namespace {

const char* const kLogPath = "zqmrtpsocket";

// Sockets on a non-zero local port, by family and port: an IPv4 and an
// IPv6 socket may hold the same port number. A socket is in the map while
// its count is at least 1; every change of a shared count happens under the
// map lock.
using SocketKey = std::pair<int, int32_t>;

struct SocketMap {
    ZQCCriticalSection lock;
    std::map<SocketKey, RTPSocket*> sockets;
};

SocketMap& Sockets()
{
    static SocketMap map;
    return map;
}

// The map exists from load to unload, not from first use.
[[maybe_unused]] const bool g_socketMapReady = (Sockets(), true);

int32_t PortNumber(const char* portText) { return portText ? std::atoi(portText) : 0; }

const char* OrEmpty(const char* text) { return text ? text : ""; }

// The family of the socket a stack opens for the address text: IPv4 for an
// empty text, AF_UNSPEC for one that does not resolve.
int FamilyOf(const char* address)
{
    if (address == nullptr || *address == '\0') {
        return AF_INET;
    }
    ZQCInetAddress resolved{};
    return ZQCResolveAddress(address, &resolved) ? resolved.any.sa_family : AF_UNSPEC;
}

const char* FamilyName(int family) { return family == AF_INET6 ? "IPv6" : "IPv4"; }

void Trace(const RTPSocket* socket, int32_t port, uint32_t count)
{
    // The address is printed as 32 bits, as the trace always did.
    RTPDebugLog("   RTPSocket %8x. port=%d, refcount=%d",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(socket)), port, static_cast<int>(count));
}

}  // namespace

RTPSocket::RTPSocket() = default;

RTPSocket::~RTPSocket() { CancelReadOrSend(); }

int RTPSocket::Create(const char* address) { return CreateSocket(kDatagram, address); }

int RTPSocket::Bind(const char* address, const char* portText)
{
    m_port = PortNumber(portText);
    return ZQCSocket::Bind(kDatagram, address, portText);
}

uint32_t RTPSocket::AddRef()
{
    const uint32_t count = m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
    Trace(this, m_port, count);
    return count;
}

uint32_t RTPSocket::Release()
{
    const uint32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    Trace(this, m_port, count);
    if (count == 0) {
        delete this;
    }
    return count;
}

int RTPSocket::RecvFrom(void* buffer, int size, ZQCSocketAddress* from)
{
    return from ? ZQCSocket::RecvFrom(buffer, size, *from) : -1;
}

int RTPSocket::RecvFrom(void* buffer, int size, ZQCSocketAddress* from, uint64_t* arrivalMicroseconds)
{
    return from ? ZQCSocket::RecvFrom(buffer, size, *from, arrivalMicroseconds) : -1;
}

int RTPSocket::SendTo(const void* buffer, int size, ZQCSocketAddress* to)
{
    return to ? ZQCSocket::SendTo(buffer, size, *to) : -1;
}

RTPSocket* CreateRTPSocket(const char* address, const char* portText)
{
    RTPSocket* socket = new (std::nothrow) RTPSocket;
    if (socket == nullptr) {
        return nullptr;
    }
    if (socket->Create(address) < 0) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "<--RTPSocket-->Failed to create socket on address %s",
                 OrEmpty(address));
        delete socket;
        return nullptr;
    }
    if (socket->SetNonBlocking(true) < 0) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "<--RTPSocket-->Failed to set socket non blocking !");
        delete socket;
        return nullptr;
    }
    if (socket->Bind(address, portText) < 0) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "<--RTPSocket-->Failed to bind socket on port %s",
                 OrEmpty(portText));
        delete socket;
        return nullptr;
    }
    DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "<--RTPSocket-->Success to bind socket on [%s:%s]", OrEmpty(address),
             OrEmpty(portText));
    socket->AddRef();
    return socket;
}

RTPSocket* AcquireRTPSocket(const char* address, const char* portText)
{
    const int32_t port = PortNumber(portText);
    if (port == 0) {
        return CreateRTPSocket(address, portText);
    }
    // An address that does not resolve fails to create a socket; it shares
    // one as it always did when its port is held.
    const int family = FamilyOf(address) == AF_INET6 ? AF_INET6 : AF_INET;
    SocketMap& map = Sockets();
    ZQCLockMng<ZQCCriticalSection> lock(map.lock, -1);
    const SocketKey key{family, port};
    if (auto found = map.sockets.find(key); found != map.sockets.end() && found->second != nullptr) {
        found->second->AddRef();
        return found->second;
    }
    RTPSocket* socket = CreateRTPSocket(address, portText);
    if (socket == nullptr) {
        return nullptr;
    }
    try {
        map.sockets[key] = socket;
    } catch (const std::bad_alloc&) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "Failed to insert socket into the rtpSocketMap, port:%d", port);
        socket->Release();
        return nullptr;
    }
    return socket;
}

void ReleaseRTPSocket(RTPSocket** holder)
{
    if (holder == nullptr || *holder == nullptr) {
        return;
    }
    RTPSocket* socket = *holder;
    const int32_t port = socket->GetPort();
    if (!socket->IsShared()) {
        socket->Release();
        *holder = nullptr;
        return;
    }
    SocketMap& map = Sockets();
    ZQCLockMng<ZQCCriticalSection> lock(map.lock, -1);
    auto found = map.sockets.find(SocketKey{socket->GetFamily(), port});
    if (found == map.sockets.end()) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "Failed to release rtp socket on port %d. Not in map !", port);
        return;
    }
    if (found->second != socket) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "Failed to release rtp socket on port %d. Empty entry in map",
                 port);
        return;
    }
    if (socket->Release() == 0) {
        map.sockets.erase(found);
    }
    *holder = nullptr;
}

bool IsValidAddress(const char* address)
{
    ZQCSocket probe;
    return probe.CheckAddress(address) >= 0;
}

namespace zqm {

bool IsSameAddress(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    if (std::strcmp(a, b) == 0) {
        return true;
    }
    ZQCInetAddress first{};
    ZQCInetAddress second{};
    return ZQCParseNumericAddress(a, &first) && ZQCParseNumericAddress(b, &second) &&
           Endpoint::Of(first).SameAddress(Endpoint::Of(second));
}

bool CheckAddressFamilies(const char* local, const char* remoteRTP, const char* remoteRTCP)
{
    const int localFamily = FamilyOf(local);
    const auto fits = [&](const char* remote, const char* setting) {
        const int remoteFamily = remote != nullptr && *remote != '\0' ? FamilyOf(remote) : AF_UNSPEC;
        if (localFamily == AF_UNSPEC || remoteFamily == AF_UNSPEC || remoteFamily == localFamily) {
            return true;
        }
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR,
                 "<--RTPSocket-->%s [%s] is an %s address but LocalIPAddress [%s] is %s: both must be of one family.",
                 setting, remote, FamilyName(remoteFamily), OrEmpty(local), FamilyName(localFamily));
        return false;
    };
    return fits(remoteRTP, "RemoteIPAddress") && fits(remoteRTCP, "remote RTCP address");
}

RTPSocket* FindSharedRTPSocket(int32_t port)
{
    RTPSocket* socket = FindSharedRTPSocket(AF_INET, port);
    return socket != nullptr ? socket : FindSharedRTPSocket(AF_INET6, port);
}

RTPSocket* FindSharedRTPSocket(int family, int32_t port)
{
    SocketMap& map = Sockets();
    ZQCLockMng<ZQCCriticalSection> lock(map.lock, -1);
    auto found = map.sockets.find(SocketKey{family, port});
    return found != map.sockets.end() ? found->second : nullptr;
}

std::size_t SharedRTPSocketCount()
{
    SocketMap& map = Sockets();
    ZQCLockMng<ZQCCriticalSection> lock(map.lock, -1);
    return map.sockets.size();
}

}  // namespace zqm
