#pragma once
// The thread of a sending stack that listens on its input RTCP socket for the
// reports of the remote receivers.
#include <array>
#include <cstddef>
#include <cstdint>

#include "zqfthread.h"

class ZQMOutputRTPStack;

class ZQMOutputRTPStackRTCPListeningThread : public ZQFThread {
public:
    static constexpr size_t kReceiveBufferBytes = 32768;

    explicit ZQMOutputRTPStackRTCPListeningThread(ZQMOutputRTPStack* owner);
    ~ZQMOutputRTPStackRTCPListeningThread() override;

    // Reused for every datagram.
    uint8_t* GetReceiveBuffer() { return m_receiveBuffer.data(); }

protected:
    int ThreadFunc(void* param) override;

private:
    ZQMOutputRTPStack* m_owner;  // not owned
    std::array<uint8_t, kReceiveBufferBytes> m_receiveBuffer{};
};
