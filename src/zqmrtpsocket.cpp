#include "zqmrtpsocket.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <new>

#include "stdafx.h"
#include "zqccriticalsection.h"
#include "zqclockmng.h"
#include "zqfdebuglog.h"

namespace {

const char* const kLogPath = "zqmrtpsocket";

// Sockets on a non-zero local port, by port. A socket is in the map while
// its count is at least 1; every change of a shared count happens under the
// map lock.
struct SocketMap {
    ZQCCriticalSection lock;
    std::map<int32_t, RTPSocket*> sockets;
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
    SocketMap& map = Sockets();
    ZQCLockMng<ZQCCriticalSection> lock(map.lock, -1);
    if (auto found = map.sockets.find(port); found != map.sockets.end() && found->second != nullptr) {
        found->second->AddRef();
        return found->second;
    }
    RTPSocket* socket = CreateRTPSocket(address, portText);
    if (socket == nullptr) {
        return nullptr;
    }
    try {
        map.sockets[port] = socket;
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
    auto found = map.sockets.find(port);
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

RTPSocket* FindSharedRTPSocket(int32_t port)
{
    SocketMap& map = Sockets();
    ZQCLockMng<ZQCCriticalSection> lock(map.lock, -1);
    auto found = map.sockets.find(port);
    return found != map.sockets.end() ? found->second : nullptr;
}

std::size_t SharedRTPSocketCount()
{
    SocketMap& map = Sockets();
    ZQCLockMng<ZQCCriticalSection> lock(map.lock, -1);
    return map.sockets.size();
}

}  // namespace zqm
