// Shared I/O: the receive service reads the stack's sockets on one of its
// threads and runs the same datagram code as the stack's own threads. It
// never waits: without a free sample in the pool a datagram is read into a
// scratch buffer and dropped (counted), so a slow downstream module only
// costs its own stream.
#include <algorithm>
#include <array>

#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "stdafx.h"
#include "zqfmediasample.h"
#include "zqfmodule.h"
#include "zqfpin.h"
#include "zqmlog.h"
#include "zqmrtpsocket.h"

namespace {

using zqm::input::kLogPath;
using zqm::input::StackLock;

// As the own thread's "no data" line: every 200 waits of 100 ms.
constexpr uint32_t kQuietTicksPerLine = 200;
constexpr uint32_t kNoSampleLogEvery = 50;

// Per service thread: what is read only to be dropped, and RTCP.
uint8_t* ScratchBuffer()
{
    static_assert(zqm::ReceiveService::kScratchBytes >= ZQMInputRTPStack::kMaxDatagramBytes);
    return zqm::ReceiveService::ScratchBuffer();
}

}  // namespace

// The RTP socket unless data is disabled; the RTCP socket when RTCP is on
// and no listening thread of the stack's own reads it.
void ZQMInputRTPStack::JoinReceiveService()
{
    std::array<int, 2> descriptors{};
    size_t count = 0;
    if (GetDataDisabled() == 0) {
        descriptors[count++] = m_inputRTPSocket->GetDescriptor();
    }
    if (m_inputRTCPSocket != nullptr && m_rtcpListeningThread == nullptr && IsRTCPEnabled()) {
        descriptors[count++] = m_inputRTCPSocket->GetDescriptor();
    }
    if (count == 0) {
        return;
    }
    m_quietTicks = 0;
    m_noSampleDrops.store(0);
    if (!zqm::ReceiveService::Shared().Register(this, {descriptors.data(), count})) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failure: the receive service refused the sockets.",
                LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failure: the receive service refused the sockets.");
    }
    m_inReceiveService.store(true);
}

// Outside the stack lock: a callback running meanwhile may be waiting for it.
void ZQMInputRTPStack::LeaveReceiveService()
{
    if (m_inReceiveService.exchange(false)) {
        zqm::ReceiveService::Shared().Unregister(this);
    }
}

void ZQMInputRTPStack::OnReadable(int descriptor, int budget)
{
    // The sockets are released only after the stack left the service.
    if (m_inputRTPSocket != nullptr && descriptor == m_inputRTPSocket->GetDescriptor()) {
        ReceiveQueued(m_inputRTPSocket, budget);
    } else if (m_inputRTCPSocket != nullptr && descriptor == m_inputRTCPSocket->GetDescriptor()) {
        ReadQueuedRTCP(m_inputRTCPSocket, budget);
    }
}

// What is not read stays readable, and the service comes back for it at
// once: every datagram is read, into a sample or to be dropped.
void ZQMInputRTPStack::ReceiveQueued(RTPSocket* socket, int budget)
{
    ZQFPinOut* pin = m_ownerModule->GetOutputPin(0);
    const bool deliverable = pin != nullptr && pin->IsConnected();
    ZQCSocketAddress& from = m_serviceRTPSender;
    for (int turn = 0; turn < budget; ++turn) {
        ZQFMediaSample* sample = deliverable ? pin->GetNewSample(0) : nullptr;
        if (sample == nullptr) {
            if (socket->RecvFrom(ScratchBuffer(), kMaxDatagramBytes, &from) <= 0) {
                return;
            }
            if (m_noSampleDrops.fetch_add(1, std::memory_order_relaxed) % kNoSampleLogEvery == 0) {
                ZQM_LOG(ZQF_LOG_WARNING,
                        "<--RTPStack-->[%d] No free sample in the pool: datagram dropped (%u dropped so far).",
                        LogPort(), m_noSampleDrops.load(std::memory_order_relaxed));
            }
            continue;
        }
        const int size = std::min(kMaxDatagramBytes, sample->GetBufferSize());
        const int received = socket->RecvFrom(sample->GetDataBuffer(), size, &from, &m_datagramArrival);
        if (received <= 0) {
            sample->Recycle();
            return;
        }
        m_quietTicks = 0;
        HandleDatagram(sample, received, from, pin);
    }
}

void ZQMInputRTPStack::ReadQueuedRTCP(RTPSocket* socket, int budget)
{
    ZQCSocketAddress& from = m_serviceRTCPSender;
    for (int turn = 0; turn < budget; ++turn) {
        const int received = socket->RecvFrom(ScratchBuffer(), kMaxDatagramBytes, &from);
        if (received <= 0) {
            return;
        }
        HandleRTCPDatagram(ScratchBuffer(), received, from);
    }
}

void ZQMInputRTPStack::OnTick()
{
    if (++m_quietTicks % kQuietTicksPerLine == 0) {
        ZQM_LOG(ZQF_LOG_INFO, "ZQMInputRTPStack::EntryPoint dont received data on [%s : %s]", m_localIPAddress,
                m_localRTPPort);
    }
}
